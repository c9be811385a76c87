#include "core/PasswordCipher.h"

#include <QMessageAuthenticationCode>

#include <algorithm>

namespace bx {

namespace {

// Changing any of these changes every server password derived from them: existing login roles
// would no longer accept the program's logins. They are fixed for the life of the product.
constexpr char kLoginKey[] = "Brindlepax/login-role/v1:7c41e09b2d";
constexpr char kSharedKey[] = "Brindlepax/shared-login/v1:e5a3906f18";
constexpr char kSuffix[] = "#bx~pw";
constexpr qsizetype kSharedLength = 9;

QString cipher(const char* key, const QString& typed)
{
    // Passwords ignore letter case everywhere, so the server's login password must too.
    const QByteArray message = (typed.trimmed().toLower() + QLatin1String(kSuffix)).toUtf8();
    const QByteArray mac =
        QMessageAuthenticationCode::hash(message, QByteArray(key), QCryptographicHash::Sha256);
    return QString::fromLatin1(mac.toHex());
}

} // namespace

QString PasswordCipher::loginPassword(const QString& typed)
{
    return cipher(kLoginKey, typed);
}

QString PasswordCipher::sharedLoginPassword(const QString& typedAsStored)
{
    QString tail = cipher(kSharedKey, typedAsStored).right(kSharedLength);
    std::reverse(tail.begin(), tail.end());
    return tail;
}

} // namespace bx
