#include "core/PasswordCipher.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace bx;

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

bool isLowerHex(const QString& text)
{
    static const QRegularExpression hex(s("^[0-9a-f]+$"));
    return hex.match(text).hasMatch();
}

} // namespace

TEST(PasswordCipher, LoginPasswordIgnoresCaseAndSurroundingBlanks)
{
    const QString p = PasswordCipher::loginPassword(s("secret"));
    EXPECT_EQ(p.size(), 64);
    EXPECT_TRUE(isLowerHex(p));
    EXPECT_EQ(PasswordCipher::loginPassword(s("  secret\t")), p);
    EXPECT_EQ(PasswordCipher::loginPassword(s(" SeCrEt ")), p) << "passwords ignore letter case";
    EXPECT_NE(PasswordCipher::loginPassword(s("sec ret")), p);
    EXPECT_EQ(PasswordCipher::loginPassword(QString()).size(), 64);
}

TEST(PasswordCipher, SharedFormIsNineCharactersUnderItsOwnKey)
{
    const QString shared = PasswordCipher::sharedLoginPassword(s("secret"));
    EXPECT_EQ(shared.size(), 9);
    EXPECT_TRUE(isLowerHex(shared));
    EXPECT_EQ(PasswordCipher::sharedLoginPassword(s(" secret ")), shared);

    QString sameKeyTail = PasswordCipher::loginPassword(s("secret")).right(9);
    std::reverse(sameKeyTail.begin(), sameKeyTail.end());
    EXPECT_NE(shared, sameKeyTail);
}

// Existing login roles on servers carry these passwords: a change to the program's constants
// would lock every user out, so the values are pinned.
TEST(PasswordCipher, ValuesArePinned)
{
    EXPECT_EQ(PasswordCipher::loginPassword(s("secret")),
              s("c34f6a31d83181ffe3e1866e9abd14986e350469896ccf0e889d670cba0959b7"));
    EXPECT_EQ(PasswordCipher::sharedLoginPassword(s("KWRMZ")), s("18a9dd6f8"));
}
