#include "people/StoredPassword.h"

#include "core/Scrambler.h"

#include <new>
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

bool needsRehash(const QString& stored)
{
    if (!isHashed(stored))
        return true;
    ensureSodium();
    const QByteArray hash = stored.mid(kHashPrefix.size()).toLatin1();
    // A damaged hash (-1) matches nothing, so it is never found to need a new one.
    return crypto_pwhash_str_needs_rehash(hash.constData(), kOpsLimit, kMemLimit) == 1;
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
