#include "contacts/Contacts.h"

#include "core/UserRights.h"
#include "core/schema/TaskColumns.h"
#include "support/ContactRows.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::contacts;
using bx::test::addContactAttachment;
using bx::test::addContactRow;
using bx::test::countRows;

namespace {

class ContactsTest : public bx::test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        user.userId = QStringLiteral("ann");
        user.editContactInfo = true;
        user.deleteContactInfo = true;
    }
    static Contact named(const char* last, const char* first)
    {
        Contact c;
        c.lastName = QString::fromUtf8(last);
        c.firstName = QString::fromUtf8(first);
        return c;
    }
    QStringList names(const QString& prefix)
    {
        QStringList out;
        for (const ListedContact& c : search(db(), prefix))
            out << c.name;
        return out;
    }
    UserRecord user;
};

} // namespace

// A card saved with names only keeps no empty text: the other fields hold one blank each, which
// the card, its text on a task and the list all show as nothing.
TEST_P(ContactsTest, NamesOnlyStoreSingleBlanksThatReadAsEmpty)
{
    const Outcome<qlonglong, ContactField> saved = save(db(), user, named("Smith", "Jo"));
    ASSERT_TRUE(saved);
    EXPECT_EQ(countRows(db(), QStringLiteral("CONTACT"),
                        QStringLiteral("CONTACT_KEY = ? AND Title = ' ' AND Notes = ' ' AND "
                                       "Phone_Cell = ' ' AND Zip = ' '"),
                        {*saved}),
              1);
    const std::optional<Contact> loaded = load(db(), *saved);
    ASSERT_TRUE(loaded);
    Contact expected = named("Smith", "Jo");
    expected.key = *saved;
    EXPECT_EQ(*loaded, expected);
    EXPECT_EQ(cardText(db(), *saved), QStringLiteral("Smith, Jo"));

    // Saving again changes the same row.
    expected.city = QStringLiteral("Oslo");
    expected.phoneWork = QStringLiteral("555");
    ASSERT_TRUE(save(db(), user, expected));
    EXPECT_EQ(countRows(db(), QStringLiteral("CONTACT")), 1);
    EXPECT_EQ(cardText(db(), *saved), QStringLiteral("Smith, Jo\r\nOslo\r\nWork:555"));
}

TEST_P(ContactsTest, CardTextKeepsTheLinesThatHaveFields)
{
    Contact c = named("O'Neil", "Ann");
    c.title = QStringLiteral("Buyer");
    c.company = QStringLiteral("Acme");
    c.address = QStringLiteral("1 Road");
    c.city = QStringLiteral("Leeds");
    c.state = QStringLiteral("WY");
    c.zip = QStringLiteral("LS1");
    c.phoneHome = QStringLiteral("1");
    c.fax = QStringLiteral("3");
    c.email = QStringLiteral("ann@acme.test");
    const qlonglong key = *save(db(), user, c);
    EXPECT_EQ(cardText(db(), key),
              QStringLiteral("O'Neil, Ann\r\nBuyer\r\nAcme\r\n1 Road\r\nLeeds, WY LS1\r\nHome:1\r\n"
                             "FAX:3\r\nann@acme.test"));
    EXPECT_EQ(cardText(db(), key + 100), QString());
}

// Each refusal writes nothing: not the row, not a change of an existing one.
TEST_P(ContactsTest, RefusedSavesWriteNothing)
{
    const qlonglong existing = addContactRow(db(), QStringLiteral("Old"), QStringLiteral("Name"));
    UserRecord reader;
    reader.userId = QStringLiteral("bob");
    const struct
    {
        const UserRecord* who;
        Contact contact;
        QString message;
        ContactField field;
    } cases[] = {
        {&user, named(" ", "Jo"), kLastNameMissing, ContactField::LastName},
        {&user, named("Smith", ""), kFirstNameMissing, ContactField::FirstName},
        {&reader, named("Smith", "Jo"), UserRights::kNoEditContacts, ContactField::None},
    };
    for (const auto& c : cases) {
        for (const qlonglong key : {qlonglong(0), existing}) {
            Contact contact = c.contact;
            contact.key = key;
            const Outcome<qlonglong, ContactField> saved = save(db(), *c.who, contact);
            ASSERT_TRUE(saved.refusal()) << c.message.toStdString();
            EXPECT_EQ(saved.refusal()->message, c.message);
            EXPECT_EQ(saved.refusal()->field, c.field);
        }
    }
    EXPECT_EQ(countRows(db(), QStringLiteral("CONTACT")), 1);
    EXPECT_EQ(load(db(), existing)->lastName, QStringLiteral("Old"));
}

TEST_P(ContactsTest, ContactRightsFollowTheFlagsAndAdministrators)
{
    UserRecord plain;
    plain.userId = QStringLiteral("bob");
    UserRecord admin;
    admin.userId = QStringLiteral("Admin");
    UserRecord editor = plain;
    editor.editContactInfo = true;
    EXPECT_FALSE(UserRights::mayEditContacts(plain));
    EXPECT_FALSE(UserRights::mayDeleteContacts(editor));
    EXPECT_TRUE(UserRights::mayEditContacts(editor));
    EXPECT_TRUE(UserRights::mayEditContacts(admin));
    EXPECT_TRUE(UserRights::mayDeleteContacts(admin));
}

// The list searches last names from their start, every typed character literal.
TEST_P(ContactsTest, SearchMatchesTheBeginningOfLastNamesLiterally)
{
    addContactRow(db(), QStringLiteral("O'Neil"), QStringLiteral("Ann"), QStringLiteral("Acme"));
    addContactRow(db(), QStringLiteral("ONeil"), QStringLiteral("Bob"));
    addContactRow(db(), QStringLiteral("o'neill"), QStringLiteral("Cy"));
    addContactRow(db(), QStringLiteral("100% Ltd"), QStringLiteral("Di"));
    addContactRow(db(), QStringLiteral("1000 Co"), QStringLiteral("Ed"));
    addContactRow(db(), QStringLiteral("Smith O'Neil"), QStringLiteral("Fay"));
    addContactRow(db(), QStringLiteral("smith o'neil"), QStringLiteral("al"));
    EXPECT_EQ(names(QStringLiteral("o'n")),
              (QStringList{QStringLiteral("O'Neil Ann"), QStringLiteral("o'neill Cy")}));
    EXPECT_EQ(names(QStringLiteral("100%")), QStringList{QStringLiteral("100% Ltd Di")});
    EXPECT_EQ(names(QStringLiteral("_")), QStringList());
    // Every contact, by last and then first name, letter case aside.
    EXPECT_EQ(names(QString()),
              (QStringList{QStringLiteral("100% Ltd Di"), QStringLiteral("1000 Co Ed"),
                           QStringLiteral("O'Neil Ann"), QStringLiteral("o'neill Cy"),
                           QStringLiteral("ONeil Bob"), QStringLiteral("smith o'neil al"),
                           QStringLiteral("Smith O'Neil Fay")}));
    EXPECT_EQ(search(db(), QStringLiteral("O'Neil")).constFirst().company, QStringLiteral("Acme"));
}

TEST_P(ContactsTest, CompaniesCompleteAndTheFirstContactLendsItsDetails)
{
    const qlonglong first = addContactRow(db(), QStringLiteral("A"), QStringLiteral("B"),
                                          QStringLiteral("Acme"), QStringLiteral("a@acme.test"));
    addContactRow(db(), QStringLiteral("C"), QStringLiteral("D"), QStringLiteral("Acme"));
    addContactRow(db(), QStringLiteral("E"), QStringLiteral("F"), QStringLiteral("Apex's"));
    addContactRow(db(), QStringLiteral("G"), QStringLiteral("H"), QStringLiteral("Zed"));
    EXPECT_EQ(companies(db(), QStringLiteral("a")),
              (QStringList{QStringLiteral("Acme"), QStringLiteral("Apex's")}));
    EXPECT_EQ(companies(db(), QStringLiteral("Apex'")), QStringList{QStringLiteral("Apex's")});
    EXPECT_EQ(companies(db(), QString()).size(), 3);
    const std::optional<Contact> lender = firstOfCompany(db(), QStringLiteral("acme"));
    ASSERT_TRUE(lender);
    EXPECT_EQ(lender->key, first);
    EXPECT_EQ(lender->email, QStringLiteral("a@acme.test"));
    EXPECT_FALSE(firstOfCompany(db(), QStringLiteral("None")));
}

// A delete takes the contact, its calls and the task attachments naming it in one go; tasks
// naming it keep no key, and other contacts' rows stay.
TEST_P(ContactsTest, DeleteTakesCallsAndAttachmentsAndClearsTasks)
{
    const qlonglong kept = addContactRow(db(), QStringLiteral("Kept"), QStringLiteral("K"));
    const qlonglong gone = addContactRow(db(), QStringLiteral("Gone"), QStringLiteral("G"));
    const qlonglong task = bx::test::addTaskRow(db(), {{scr::ContactKey, gone}});
    bx::test::addTaskRow(db(), {{scr::ContactKey, kept}});
    for (const qlonglong c : {gone, kept}) {
        ASSERT_TRUE(saveCall(db(), clock, {0, c, clock.nowLocal(), QStringLiteral("Rang")}));
        addContactAttachment(db(), task, c);
    }
    prompt.answer(PromptAnswer::Yes);
    ASSERT_TRUE(remove(db(), user, prompt, gone));
    EXPECT_EQ(prompt.texts(), QStringList{kDeleteQuestion});
    EXPECT_FALSE(load(db(), gone));
    EXPECT_EQ(countRows(db(), QStringLiteral("CALL_LOG")), 1);
    EXPECT_EQ(countRows(db(), QStringLiteral("ATTACH")), 1);
    EXPECT_EQ(countRows(db(), QStringLiteral("SCR"), scr::ContactKey + QStringLiteral(" IS NULL")),
              1);
    EXPECT_EQ(
        countRows(db(), QStringLiteral("SCR"), scr::ContactKey + QStringLiteral(" = ?"), {kept}),
        1);
}

// Key 1 marks the tasks kept for a contact: deleting the contact that has key 1 leaves it.
TEST_P(ContactsTest, DeletingContactOneKeepsTheMarker)
{
    db().execute(QStringLiteral("INSERT INTO CONTACT (CONTACT_KEY, Last_Name, First_Name) "
                                "VALUES (1, 'One', 'O')"));
    bx::test::addTaskRow(db(), {{scr::ContactKey, 1}});
    prompt.answer(PromptAnswer::Yes);
    ASSERT_TRUE(remove(db(), user, prompt, 1));
    EXPECT_EQ(countRows(db(), QStringLiteral("CONTACT")), 0);
    EXPECT_EQ(countRows(db(), QStringLiteral("SCR"), scr::ContactKey + QStringLiteral(" = 1")), 1);
}

TEST_P(ContactsTest, RefusedOrDeclinedDeletesWriteNothing)
{
    const qlonglong key = addContactRow(db(), QStringLiteral("Stay"), QStringLiteral("S"));
    bx::test::addTaskRow(db(), {{scr::ContactKey, key}});
    UserRecord editorOnly = user;
    editorOnly.deleteContactInfo = false;

    const Outcome<Done> refused = remove(db(), editorOnly, prompt, key);
    ASSERT_TRUE(refused.refusal());
    EXPECT_EQ(refused.refusal()->message, UserRights::kNoDeleteContacts);
    EXPECT_TRUE(prompt.texts().isEmpty()) << "refused before the question";

    prompt.answer(PromptAnswer::No);
    const Outcome<Done> declined = remove(db(), user, prompt, key);
    EXPECT_FALSE(declined);
    EXPECT_FALSE(declined.refusal());

    prompt.answer(PromptAnswer::Yes);
    const Outcome<Done> missing = remove(db(), user, prompt, key + 50);
    ASSERT_TRUE(missing.refusal());
    EXPECT_EQ(missing.refusal()->message, kNotFoundForDelete);

    EXPECT_TRUE(load(db(), key));
    EXPECT_EQ(
        countRows(db(), QStringLiteral("SCR"), scr::ContactKey + QStringLiteral(" = ?"), {key}), 1);
}

TEST(CallSummaryTest, FirstLineCutToFifty)
{
    const struct
    {
        QString content;
        QString summary;
    } cases[] = {
        {QStringLiteral("Short"), QStringLiteral("Short")},
        {QStringLiteral("One\r\nTwo"), QStringLiteral("One")},
        {QStringLiteral("One\nTwo"), QStringLiteral("One")},
        {QStringLiteral("One\rTwo"), QStringLiteral("One")},
        {QStringLiteral("\r\nSecond"), QString()},
        {QString(60, QLatin1Char('x')), QString(50, QLatin1Char('x'))},
    };
    for (const auto& c : cases)
        EXPECT_EQ(callSummary(c.content), c.summary) << c.content.toStdString();
}

// Calls are stored in GMT and shown in local time, newest first; an empty text is refused.
TEST_P(ContactsTest, CallsStoreGmtAndListNewestFirst)
{
    clock.setStandardOffsetSeconds(2 * 3600);
    const qlonglong key = addContactRow(db(), QStringLiteral("Call"), QStringLiteral("Me"));
    const QDateTime morning(QDate(2024, 3, 1), QTime(9, 30));
    const QDateTime noon(QDate(2024, 3, 1), QTime(12, 0));
    const qlonglong early =
        *saveCall(db(), clock, {0, key, morning, QStringLiteral("Early\nmore")});
    const qlonglong late = *saveCall(db(), clock, {0, key, noon, QStringLiteral("Late")});
    EXPECT_EQ(RecordSet::toDateTime(db().scalar(
                  QStringLiteral("SELECT Date FROM CALL_LOG WHERE CALL_ID = ?"), {early})),
              QDateTime(QDate(2024, 3, 1), QTime(7, 30)));
    const QList<ListedCall> listed = calls(db(), clock, key);
    ASSERT_EQ(listed.size(), 2);
    EXPECT_EQ(listed.at(0).id, late);
    EXPECT_EQ(listed.at(1).date, morning);
    EXPECT_EQ(listed.at(1).summary, QStringLiteral("Early"));

    Call edited = *loadCall(db(), clock, early);
    EXPECT_EQ(edited.date, morning);
    edited.content = QStringLiteral(" \r\n ");
    const Outcome<qlonglong, ContactField> refused = saveCall(db(), clock, edited);
    ASSERT_TRUE(refused.refusal());
    EXPECT_EQ(refused.refusal()->message, kNoContent);
    EXPECT_EQ(loadCall(db(), clock, early)->content, QStringLiteral("Early\nmore"));

    deleteCall(db(), late);
    EXPECT_EQ(calls(db(), clock, key).size(), 1);
}

// The task list names a task's contact "Last, First"; 0, 1 and keys naming nobody stay empty.
TEST_P(ContactsTest, ListNamesLeaveMarkerAndUnknownKeysOut)
{
    db().execute(QStringLiteral("INSERT INTO CONTACT (CONTACT_KEY, Last_Name, First_Name) "
                                "VALUES (1, 'One', 'O')"));
    const qlonglong key = addContactRow(db(), QStringLiteral("Lee"), QStringLiteral(" "));
    const qlonglong both = addContactRow(db(), QStringLiteral("Ng"), QStringLiteral("Al"));
    const QHash<qlonglong, QString> shown = listNames(db(), {0, 1, key, both, both, 99999});
    EXPECT_EQ(shown, (QHash<qlonglong, QString>{{key, QStringLiteral("Lee")},
                                                {both, QStringLiteral("Ng, Al")}}));
    EXPECT_TRUE(listNames(db(), {0, 1}).isEmpty());
}

// A task list may name more contacts than a statement binds values: those are read as their
// range, and only the keys asked for come back.
TEST_P(ContactsTest, ListNamesOfManyKeysReadsOnlyThoseAskedFor)
{
    QList<qlonglong> asked;
    qlonglong left = 0;
    {
        Transaction tx(db());
        // The embedded engine's first key is the marker 1, which names nobody in a task list.
        addContactRow(db(), QStringLiteral("First"), QStringLiteral("F"));
        for (qsizetype i = 0; i <= kKeysBoundOneByOne + 1; ++i) {
            const qlonglong key =
                addContactRow(db(), QStringLiteral("Doe %1").arg(i), QStringLiteral("J"));
            if (i == kKeysBoundOneByOne / 2)
                left = key;
            else
                asked << key << key;
        }
        tx.commit();
    }
    const qlonglong unknown = asked.constLast() + 1;
    asked << 0 << 1 << unknown;
    const QHash<qlonglong, QString> shown = listNames(db(), asked);
    EXPECT_EQ(shown.size(), kKeysBoundOneByOne + 1);
    EXPECT_FALSE(shown.contains(left));
    EXPECT_EQ(shown.value(asked.constFirst()), QStringLiteral("Doe 0, J"));
}

BX_INSTANTIATE_ENGINES(ContactsTest);
