#include "core/PasswordCipher.h"

#include <gtest/gtest.h>

using namespace bx;

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

// Existing login roles on servers carry these passwords: a change to the program's constants
// would lock every user out, so the values are pinned. Letter case and surrounding blanks of the
// typed password do not count; blanks inside it do.
TEST(PasswordCipher, ValuesArePinnedAndIgnoreCaseAndSurroundingBlanks)
{
    const QString login = s("c34f6a31d83181ffe3e1866e9abd14986e350469896ccf0e889d670cba0959b7");
    for (const char* typed : {"secret", "  secret\t", " SeCrEt "})
        EXPECT_EQ(PasswordCipher::loginPassword(s(typed)), login) << typed;
    EXPECT_NE(PasswordCipher::loginPassword(s("sec ret")), login);
    EXPECT_EQ(PasswordCipher::loginPassword(QString()).size(), 64);
    for (const char* typed : {"KWRMZ", " KWRMZ "})
        EXPECT_EQ(PasswordCipher::sharedLoginPassword(s(typed)), s("18a9dd6f8")) << typed;
}
