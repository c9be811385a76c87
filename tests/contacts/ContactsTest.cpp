#include "contacts/Contacts.h"

#include "core/UserRights.h"
#include "core/schema/TaskColumns.h"
#include "support/ContactRows.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
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
        user.userId = u"ann"_s;
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
    EXPECT_EQ(countRows(db(), u"CONTACT"_s,
                        u"CONTACT_KEY = ? AND Title = ' ' AND Notes = ' ' AND "
                        "Phone_Cell = ' ' AND Zip = ' '"_s,
                        {*saved}),
              1);
    const std::optional<Contact> loaded = load(db(), *saved);
    ASSERT_TRUE(loaded);
    Contact expected = named("Smith", "Jo");
    expected.key = *saved;
    EXPECT_EQ(*loaded, expected);
    EXPECT_EQ(cardText(db(), *saved), u"Smith, Jo"_s);

    // Saving again changes the same row.
    expected.city = u"Oslo"_s;
    expected.phoneWork = u"555"_s;
    ASSERT_TRUE(save(db(), user, expected));
    EXPECT_EQ(countRows(db(), u"CONTACT"_s), 1);
    EXPECT_EQ(cardText(db(), *saved), u"Smith, Jo\r\nOslo\r\nWork:555"_s);
}

TEST_P(ContactsTest, CardTextKeepsTheLinesThatHaveFields)
{
    Contact c = named("O'Neil", "Ann");
    c.title = u"Buyer"_s;
    c.company = u"Acme"_s;
    c.address = u"1 Road"_s;
    c.city = u"Leeds"_s;
    c.state = u"WY"_s;
    c.zip = u"LS1"_s;
    c.phoneHome = u"1"_s;
    c.fax = u"3"_s;
    c.email = u"ann@acme.test"_s;
    const qlonglong key = *save(db(), user, c);
    EXPECT_EQ(cardText(db(), key),
              u"O'Neil, Ann\r\nBuyer\r\nAcme\r\n1 Road\r\nLeeds, WY LS1\r\nHome:1\r\n"
              "FAX:3\r\nann@acme.test"_s);
    EXPECT_EQ(cardText(db(), key + 100), QString());
}

// Each refusal writes nothing: not the row, not a change of an existing one.
TEST_P(ContactsTest, RefusedSavesWriteNothing)
{
    const qlonglong existing = addContactRow(db(), u"Old"_s, u"Name"_s);
    UserRecord reader;
    reader.userId = u"bob"_s;
    const struct
    {
        const UserRecord* who;
        Contact contact;
        QString message;
        ContactField field;
    } cases[] = {
        {&user, named(" ", "Jo"), u"Last Name must be specified"_s, ContactField::LastName},
        {&user, named("Smith", ""), u"First Name must be specified"_s, ContactField::FirstName},
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
    EXPECT_EQ(countRows(db(), u"CONTACT"_s), 1);
    EXPECT_EQ(load(db(), existing)->lastName, u"Old"_s);
}

// The flags' own answers show in the refusals below; an administrator needs neither flag.
TEST_P(ContactsTest, AdministratorsNeedNoContactRights)
{
    UserRecord admin;
    admin.userId = u"Admin"_s;
    EXPECT_TRUE(UserRights::mayEditContacts(admin));
    EXPECT_TRUE(UserRights::mayDeleteContacts(admin));
}

// The list searches last names from their start, every typed character literal.
TEST_P(ContactsTest, SearchMatchesTheBeginningOfLastNamesLiterally)
{
    addContactRow(db(), u"O'Neil"_s, u"Ann"_s, u"Acme"_s);
    addContactRow(db(), u"ONeil"_s, u"Bob"_s);
    addContactRow(db(), u"o'neill"_s, u"Cy"_s);
    addContactRow(db(), u"100% Ltd"_s, u"Di"_s);
    addContactRow(db(), u"1000 Co"_s, u"Ed"_s);
    addContactRow(db(), u"Smith O'Neil"_s, u"Fay"_s);
    addContactRow(db(), u"smith o'neil"_s, u"al"_s);
    EXPECT_EQ(names(u"o'n"_s), (QStringList{u"O'Neil Ann"_s, u"o'neill Cy"_s}));
    EXPECT_EQ(names(u"100%"_s), QStringList{u"100% Ltd Di"_s});
    EXPECT_EQ(names(u"_"_s), QStringList());
    // Every contact, by last and then first name, letter case aside.
    EXPECT_EQ(names(QString()),
              (QStringList{u"100% Ltd Di"_s, u"1000 Co Ed"_s, u"O'Neil Ann"_s, u"o'neill Cy"_s,
                           u"ONeil Bob"_s, u"smith o'neil al"_s, u"Smith O'Neil Fay"_s}));
    EXPECT_EQ(search(db(), u"O'Neil"_s).constFirst().company, u"Acme"_s);
}

TEST_P(ContactsTest, CompaniesCompleteAndTheFirstContactLendsItsDetails)
{
    const qlonglong first = addContactRow(db(), u"A"_s, u"B"_s, u"Acme"_s, u"a@acme.test"_s);
    addContactRow(db(), u"C"_s, u"D"_s, u"Acme"_s);
    addContactRow(db(), u"E"_s, u"F"_s, u"Apex's"_s);
    addContactRow(db(), u"G"_s, u"H"_s, u"Zed"_s);
    EXPECT_EQ(companies(db(), u"a"_s), (QStringList{u"Acme"_s, u"Apex's"_s}));
    EXPECT_EQ(companies(db(), u"Apex'"_s), QStringList{u"Apex's"_s});
    EXPECT_EQ(companies(db(), QString()).size(), 3);
    const std::optional<Contact> lender = firstOfCompany(db(), u"acme"_s);
    ASSERT_TRUE(lender);
    EXPECT_EQ(lender->key, first);
    EXPECT_EQ(lender->email, u"a@acme.test"_s);
    EXPECT_FALSE(firstOfCompany(db(), u"None"_s));
}

// A delete takes the contact, its calls and the task attachments naming it in one go; tasks
// naming it keep no key, and other contacts' rows stay.
TEST_P(ContactsTest, DeleteTakesCallsAndAttachmentsAndClearsTasks)
{
    const qlonglong kept = addContactRow(db(), u"Kept"_s, u"K"_s);
    const qlonglong gone = addContactRow(db(), u"Gone"_s, u"G"_s);
    const qlonglong task = bx::test::addTaskRow(db(), {{scr::ContactKey, gone}});
    bx::test::addTaskRow(db(), {{scr::ContactKey, kept}});
    for (const qlonglong c : {gone, kept}) {
        ASSERT_TRUE(saveCall(db(), clock, {0, c, clock.nowLocal(), u"Rang"_s}));
        addContactAttachment(db(), task, c);
    }
    prompt.answer(PromptAnswer::Yes);
    ASSERT_TRUE(remove(db(), user, prompt, gone));
    EXPECT_EQ(prompt.texts(), QStringList{u"Delete the contact from Brindlepax?"_s});
    EXPECT_FALSE(load(db(), gone));
    EXPECT_EQ(countRows(db(), u"CALL_LOG"_s), 1);
    EXPECT_EQ(countRows(db(), u"ATTACH"_s), 1);
    EXPECT_EQ(countRows(db(), u"SCR"_s, scr::ContactKey + u" IS NULL"_s), 1);
    EXPECT_EQ(countRows(db(), u"SCR"_s, scr::ContactKey + u" = ?"_s, {kept}), 1);
}

// Key 1 marks the tasks kept for a contact: deleting the contact that has key 1 leaves it.
TEST_P(ContactsTest, DeletingContactOneKeepsTheMarker)
{
    db().execute(u"INSERT INTO CONTACT (CONTACT_KEY, Last_Name, First_Name) "
                 "VALUES (1, 'One', 'O')"_s);
    bx::test::addTaskRow(db(), {{scr::ContactKey, 1}});
    prompt.answer(PromptAnswer::Yes);
    ASSERT_TRUE(remove(db(), user, prompt, 1));
    EXPECT_EQ(countRows(db(), u"CONTACT"_s), 0);
    EXPECT_EQ(countRows(db(), u"SCR"_s, scr::ContactKey + u" = 1"_s), 1);
}

TEST_P(ContactsTest, RefusedOrDeclinedDeletesWriteNothing)
{
    const qlonglong key = addContactRow(db(), u"Stay"_s, u"S"_s);
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
    EXPECT_EQ(missing.refusal()->message, u"Unable to locate contact record"_s);

    EXPECT_TRUE(load(db(), key));
    EXPECT_EQ(countRows(db(), u"SCR"_s, scr::ContactKey + u" = ?"_s, {key}), 1);
}

TEST(CallSummaryTest, FirstLineCutToFifty)
{
    const struct
    {
        QString content;
        QString summary;
    } cases[] = {
        {u"Short"_s, u"Short"_s},
        {u"One\nTwo"_s, u"One"_s},
        {u"One\rTwo"_s, u"One"_s},
        {u"\r\nSecond"_s, QString()},
        {QString(60, QLatin1Char('x')), QString(50, QLatin1Char('x'))},
    };
    for (const auto& c : cases)
        EXPECT_EQ(callSummary(c.content), c.summary) << c.content.toStdString();
}

// Calls are stored in GMT and shown in local time, newest first; an empty text is refused.
TEST_P(ContactsTest, CallsStoreGmtAndListNewestFirst)
{
    clock.setStandardOffsetSeconds(2 * 3600);
    const qlonglong key = addContactRow(db(), u"Call"_s, u"Me"_s);
    const QDateTime morning(QDate(2024, 3, 1), QTime(9, 30));
    const QDateTime noon(QDate(2024, 3, 1), QTime(12, 0));
    const qlonglong early = *saveCall(db(), clock, {0, key, morning, u"Early\nmore"_s});
    const qlonglong late = *saveCall(db(), clock, {0, key, noon, u"Late"_s});
    EXPECT_EQ(RecordSet::toDateTime(
                  db().scalar(u"SELECT Date FROM CALL_LOG WHERE CALL_ID = ?"_s, {early})),
              QDateTime(QDate(2024, 3, 1), QTime(7, 30)));
    const QList<ListedCall> listed = calls(db(), clock, key);
    ASSERT_EQ(listed.size(), 2);
    EXPECT_EQ(listed.at(0).id, late);
    EXPECT_EQ(listed.at(1).date, morning);
    EXPECT_EQ(listed.at(1).summary, u"Early"_s);

    Call edited = *loadCall(db(), clock, early);
    EXPECT_EQ(edited.date, morning);
    edited.content = u" \r\n "_s;
    const Outcome<qlonglong, ContactField> refused = saveCall(db(), clock, edited);
    ASSERT_TRUE(refused.refusal());
    EXPECT_EQ(refused.refusal()->message, u"Please define a Content."_s);
    EXPECT_EQ(loadCall(db(), clock, early)->content, u"Early\nmore"_s);

    deleteCall(db(), late);
    EXPECT_EQ(calls(db(), clock, key).size(), 1);
}

// The task list names a task's contact "Last, First"; 0, 1 and keys naming nobody stay empty.
TEST_P(ContactsTest, ListNamesLeaveMarkerAndUnknownKeysOut)
{
    db().execute(u"INSERT INTO CONTACT (CONTACT_KEY, Last_Name, First_Name) "
                 "VALUES (1, 'One', 'O')"_s);
    const qlonglong key = addContactRow(db(), u"Lee"_s, u" "_s);
    const qlonglong both = addContactRow(db(), u"Ng"_s, u"Al"_s);
    const QHash<qlonglong, QString> shown = listNames(db(), {0, 1, key, both, both, 99999});
    EXPECT_EQ(shown, (QHash<qlonglong, QString>{{key, u"Lee"_s}, {both, u"Ng, Al"_s}}));
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
        addContactRow(db(), u"First"_s, u"F"_s);
        for (qsizetype i = 0; i <= kKeysBoundOneByOne + 1; ++i) {
            const qlonglong key = addContactRow(db(), u"Doe %1"_s.arg(i), u"J"_s);
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
    EXPECT_EQ(shown.value(asked.constFirst()), u"Doe 0, J"_s);
}

BX_INSTANTIATE_ENGINES(ContactsTest);
