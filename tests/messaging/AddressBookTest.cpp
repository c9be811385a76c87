#include "messaging/AddressBook.h"

#include "support/ContactRows.h"
#include "support/SessionTest.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::addressbook;
using namespace Qt::StringLiterals;
using bx::test::addContactRow;

namespace {

class AddressBookTest : public bx::test::CurrentSchemaTest
{
};

} // namespace

TEST_P(AddressBookTest, AddressBookSearchesNameMailAndCompany)
{
    addContactRow(db(), u"Ng"_s, u"Al"_s, u"Acme"_s, u" al@x.test "_s);
    addContactRow(db(), u"Bo"_s, u"Cy"_s, {}, {});
    const QList<AddressEntry> book = addressBook(db());
    ASSERT_EQ(book.size(), 2);
    EXPECT_EQ(book.at(1).name, u"Ng Al"_s);
    EXPECT_EQ(book.at(1).email, u"al@x.test"_s);
    for (const char* text : {"g a", "AL@X", "cme", ""})
        EXPECT_TRUE(matches(book.at(1), QString::fromLatin1(text))) << text;
    EXPECT_FALSE(matches(book.at(0), u"acme"_s));
}

TEST(JoinRecipientsTest, BareAddressesNoneEmptyNoneTwice)
{
    const struct
    {
        const char* box;
        QStringList chosen;
        const char* joined;
    } cases[] = {
        {"", {u" a@x.test "_s}, "a@x.test"},
        {"a@x.test; ", {u"A@X.test"_s, u"b@x.test"_s}, "a@x.test;b@x.test"},
        {"Ann <a@x.test>", {u"a@x.test"_s, QString(), u" "_s}, "Ann <a@x.test>"},
        {"", {u"Bob <b@x.test>"_s, u"b@x.test"_s}, "b@x.test"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(joinRecipients(QString::fromLatin1(c.box), c.chosen),
                  QString::fromLatin1(c.joined))
            << c.box;
}

BX_INSTANTIATE_ENGINES(AddressBookTest);
