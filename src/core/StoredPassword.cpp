#include "core/StoredPassword.h"

#include "core/Scrambler.h"

#include <QRegularExpression>

#include <new>
#include <optional>
#include <sodium.h>
#include <stdexcept>

namespace bx::StoredPassword {

namespace {

// Interactive limits: about 0.08 s and 64 MiB per hash on a two-core desktop, so a log-on stays
// quick while each guess at a copied table costs an attacker the same.
constexpr unsigned long long kOpsLimit = crypto_pwhash_OPSLIMIT_INTERACTIVE;
constexpr size_t kMemLimit = crypto_pwhash_MEMLIMIT_INTERACTIVE;

// The hash of a random password nobody knows, made with the limits above: comparing with it costs
// what comparing with a user's hash costs. Made anew whenever the limits change.
constexpr char kNoUserHash[] = "$argon2id$v=19$m=65536,t=2,p=1$2bYQa1wRtlgTrdsvfCdEAw$"
                               "ndMGzyJ0f10u3/UtoK6mbqAVWHKA8rBq+ehW8ZzXAL0";

QString normalized(const QString& password)
{
    return password.trimmed().toLower();
}

void ensureSodium()
{
    // sodium_init() is safe to call more than once, but once is enough; it fails only when the
    // system offers no source of randomness, and then no salt could be drawn either.
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw std::runtime_error("libsodium could not be initialised");
}

} // namespace

QString scramble(const QString& text)
{
    return Scrambler::scramble(text);
}

QString unscramble(const QString& stored)
{
    return Scrambler::unscramble(stored);
}

QString forStorage(const QString& typed)
{
    ensureSodium();
    const QByteArray password = normalized(typed).toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    // The only failure is memory the system refuses to give.
    if (crypto_pwhash_str_alg(hash, password.constData(),
                              static_cast<unsigned long long>(password.size()), kOpsLimit,
                              kMemLimit, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::bad_alloc();
    return kHashPrefix + QString::fromLatin1(hash);
}

bool isHashed(const QString& stored)
{
    return stored.startsWith(kHashPrefix);
}

QString settingOf(const QString& stored)
{
    if (!isHashed(stored))
        return {};
    return stored.left(stored.lastIndexOf(QLatin1Char('$')));
}

namespace {

/** What hashWithSetting takes from a setting: the limits and the salt. */
struct Setting
{
    unsigned long long opsLimit = 0;
    size_t memLimit = 0;
    unsigned char salt[crypto_pwhash_SALTBYTES] = {};
};

// Exactly the form crypto_pwhash_str gives (one lane, version 19, a salt of SALTBYTES); limits
// beyond the sensitive ones are refused so that a damaged row cannot claim all memory.
std::optional<Setting> parse(const QString& setting)
{
    static const QRegularExpression form(
        QStringLiteral("^\\$argon2id\\$v=19\\$m=([0-9]{1,10}),t=([0-9]{1,10}),p=1\\$"
                       "([A-Za-z0-9+/]+)$"));
    if (!setting.startsWith(kHashPrefix))
        return std::nullopt;
    const QRegularExpressionMatch m = form.match(QStringView(setting).mid(kHashPrefix.size()));
    if (!m.hasMatch())
        return std::nullopt;
    Setting s;
    const qulonglong kib = m.captured(1).toULongLong();
    s.opsLimit = m.captured(2).toULongLong();
    if (kib * 1024 < crypto_pwhash_MEMLIMIT_MIN || kib * 1024 > crypto_pwhash_MEMLIMIT_SENSITIVE ||
        s.opsLimit < crypto_pwhash_OPSLIMIT_MIN || s.opsLimit > crypto_pwhash_OPSLIMIT_SENSITIVE)
        return std::nullopt;
    s.memLimit = static_cast<size_t>(kib * 1024);
    const QByteArray salt = m.captured(3).toLatin1();
    size_t saltLength = 0;
    if (sodium_base642bin(s.salt, sizeof s.salt, salt.constData(), size_t(salt.size()), nullptr,
                          &saltLength, nullptr, sodium_base64_VARIANT_ORIGINAL_NO_PADDING) != 0 ||
        saltLength != sizeof s.salt)
        return std::nullopt;
    return s;
}

} // namespace

QString hashWithSetting(const QString& setting, const QString& typed)
{
    ensureSodium();
    const std::optional<Setting> s = parse(setting);
    if (!s)
        return {};
    const QByteArray password = normalized(typed).toUtf8();
    // crypto_pwhash_str stores a hash of 32 bytes.
    unsigned char hash[32];
    if (crypto_pwhash(hash, sizeof hash, password.constData(),
                      static_cast<unsigned long long>(password.size()), s->salt, s->opsLimit,
                      s->memLimit, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::bad_alloc();
    char encoded[sodium_base64_ENCODED_LEN(sizeof hash, sodium_base64_VARIANT_ORIGINAL_NO_PADDING)];
    sodium_bin2base64(encoded, sizeof encoded, hash, sizeof hash,
                      sodium_base64_VARIANT_ORIGINAL_NO_PADDING);
    return setting + QLatin1Char('$') + QString::fromLatin1(encoded);
}

bool needsRehash(const QString& setting)
{
    const std::optional<Setting> s = parse(setting);
    return s && (s->opsLimit < kOpsLimit || s->memLimit < kMemLimit);
}

namespace {

bool verifyHash(const QByteArray& hash, const QString& typed)
{
    ensureSodium();
    const QByteArray password = normalized(typed).toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), password.constData(),
                                    static_cast<unsigned long long>(password.size())) == 0;
}

} // namespace

bool matches(const QString& stored, const QString& typed)
{
    if (isHashed(stored))
        return verifyHash(stored.mid(kHashPrefix.size()).toLatin1(), typed);
    // unscramble() leaves a clear-text password as it is.
    return normalized(unscramble(stored)) == normalized(typed);
}

bool matchesNoUser(const QString& typed)
{
    verifyHash(QByteArray(kNoUserHash), typed);
    return false;
}

} // namespace bx::StoredPassword
