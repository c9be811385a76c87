#include "messaging/AddressBook.h"

#include "support/ContactRows.h"
#include "support/SessionTest.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::addressbook;
using bx::test::addContactRow;

namespace {

class AddressBookTest : public bx::test::CurrentSchemaTest
{
};

} // namespace

TEST_P(AddressBookTest, AddressBookSearchesNameMailAndCompany)
{
    addContactRow(db(), QStringLiteral("Ng"), QStringLiteral("Al"), QStringLiteral("Acme"),
                  QStringLiteral(" al@x.test "));
    addContactRow(db(), QStringLiteral("Bo"), QStringLiteral("Cy"), {}, {});
    const QList<AddressEntry> book = addressBook(db());
    ASSERT_EQ(book.size(), 2);
    EXPECT_EQ(book.at(1).name, QStringLiteral("Ng Al"));
    EXPECT_EQ(book.at(1).email, QStringLiteral("al@x.test"));
    for (const char* text : {"g a", "AL@X", "cme", ""})
        EXPECT_TRUE(matches(book.at(1), QString::fromLatin1(text))) << text;
    EXPECT_FALSE(matches(book.at(0), QStringLiteral("acme")));
}

TEST(JoinRecipientsTest, BareAddressesNoneEmptyNoneTwice)
{
    const struct
    {
        const char* box;
        QStringList chosen;
        const char* joined;
    } cases[] = {
        {"", {QStringLiteral(" a@x.test ")}, "a@x.test"},
        {"a@x.test; ",
         {QStringLiteral("A@X.test"), QStringLiteral("b@x.test")},
         "a@x.test;b@x.test"},
        {"Ann <a@x.test>",
         {QStringLiteral("a@x.test"), QString(), QStringLiteral(" ")},
         "Ann <a@x.test>"},
        {"", {QStringLiteral("Bob <b@x.test>"), QStringLiteral("b@x.test")}, "b@x.test"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(joinRecipients(QString::fromLatin1(c.box), c.chosen),
                  QString::fromLatin1(c.joined))
            << c.box;
}

BX_INSTANTIATE_ENGINES(AddressBookTest);
