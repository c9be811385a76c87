#include "messaging/EmailDraft.h"

#include "core/db/Database.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
namespace email = bx::email;

namespace {

class EmailDraftTest : public bx::test::SessionTest
{
protected:
    void arrange() override
    {
        bx::test::addUsers(db(), {u"ann"_s});
        db().execute(u"UPDATE LU_USER SET User_Name = ?, User_Email = ? WHERE USER_ID = ?"_s,
                     {u"Ann O'Neil"_s, u"ann@example.org"_s, u"ann"_s});
        // The sender is the session's user as the log-on read him.
        session.user.record.userName = u"Ann O'Neil"_s;
        session.user.record.email = u"ann@example.org"_s;
    }
    void addContact(const QVariant& first, const QVariant& last, const QVariant& mail)
    {
        db().insertNumbered(u"CONTACT"_s, u"CONTACT_KEY"_s,
                            {u"First_Name"_s, u"Last_Name"_s, u"Email"_s}, {first, last, mail});
    }
    qlonglong queued() { return db().scalar(u"SELECT COUNT(*) FROM MAIL_OUTBOX"_s).toLongLong(); }
    qlonglong queued(const QString& recipient)
    {
        return db()
            .scalar(u"SELECT COUNT(*) FROM MAIL_OUTBOX WHERE Recipient = ?"_s, {recipient})
            .toLongLong();
    }
    Outcome<QString, email::EmailField> send(const QString& to)
    {
        return email::send(session, {to, u"Printer's toner"_s, u"Line one\nLine two"_s});
    }
};

} // namespace

// Names and addresses are completed from their start, ignoring case; what the user typed is
// matched literally, so "%" and "_" are no wildcards and a quote is just a character.
TEST_P(EmailDraftTest, CompletionMatchesTheTypedTextLiterally)
{
    addContact(u"Pat"_s, u"O'Brien"_s, u"pat@example.org"_s);
    addContact(QString(), u"100%"_s, u"pct@example.org"_s);
    addContact(u"Sam"_s, u"1000"_s, u"sam@example.org"_s);
    addContact(u"No"_s, u"Address"_s, QVariant());

    const QString pat = u"Pat O'Brien <pat@example.org>"_s;
    for (const char* typed : {"o'b", "PAT O'", "Pat@Ex"})
        EXPECT_EQ(email::completions(db(), QString::fromUtf8(typed)), QStringList{pat}) << typed;
    EXPECT_EQ(email::completions(db(), u"100%"_s), QStringList{u"100% <pct@example.org>"_s});
    for (const char* typed : {"%", "_", "No"})
        EXPECT_TRUE(email::completions(db(), QString::fromUtf8(typed)).isEmpty()) << typed;

    // The entry being typed is the one after the last ";", and a chosen one replaces only it.
    const QString box = u"bob@example.org; o'b"_s;
    EXPECT_EQ(email::typedEntry(box).entry, u"o'b"_s);
    EXPECT_EQ(email::withCompletion(box, pat), u"bob@example.org; "_s + pat + u"; "_s);
}

// Every recipient is checked before anything is written: one bad entry queues nothing at all.
TEST_P(EmailDraftTest, RefusalsQueueNothing)
{
    auto refusal = [&](const QString& to) {
        const auto sent = send(to);
        EXPECT_FALSE(sent) << to.toStdString();
        return sent.refusal().value_or(email::EmailRefusal{});
    };
    EXPECT_EQ(refusal(u" ; "_s), (email::EmailRefusal{u"Recipient e-mail address not specified"_s,
                                                      email::EmailField::To}));
    EXPECT_EQ(refusal(u"bob@example.org; Pat O'Brien"_s).message,
              u"Pat O'Brien is not a valid e-mail address"_s);
    session.user.record.email.clear();
    EXPECT_EQ(refusal(u"bob@example.org"_s).message, email::kNoSenderAddress);
    EXPECT_EQ(queued(), 0);
}

// One row per distinct recipient, from the user, one Message-ID for all; the record tells the
// editor what was sent. A failure at the second row undoes the first.
TEST_P(EmailDraftTest, OneRowPerRecipientInOneTransaction)
{
    clock.setStandardOffsetSeconds(3600);
    session.system.personalMail = true;
    const QString to = u"Pat O'Brien <pat@example.org>; bob@example.org ;PAT@example.org; "_s;
    const auto sent = send(to);
    ASSERT_TRUE(sent);
    EXPECT_EQ(*sent,
              u"   ======================= Email ====================  \nDate:      "
              "2024-01-31 13:05:09 (GMT) \nTo:        Pat O'Brien <pat@example.org>; "
              "bob@example.org; PAT@example.org\nSubject:   Printer's toner\n"
              "   ====================== Message ===================  \nLine one\nLine two"_s);
    const RecordSet rs = db().query(
        u"SELECT DISTINCT Sender_Name, Sender_Address, Message_ID, Queued_By, Personal, State "
        "FROM MAIL_OUTBOX"_s);
    ASSERT_EQ(rs.rowCount(), 1) << "the copies differ only in their recipient";
    EXPECT_EQ(rs.text(u"Sender_Name"_s), u"Ann O'Neil"_s);
    EXPECT_EQ(rs.text(u"Sender_Address"_s), u"ann@example.org"_s);
    EXPECT_EQ(rs.text(u"Queued_By"_s), u"ann"_s);
    EXPECT_TRUE(rs.flag(u"Personal"_s));
    EXPECT_EQ(queued(u"pat@example.org"_s), 1);
    EXPECT_EQ(queued(u"bob@example.org"_s), 1);

    // A recipient the table takes no second row for makes the send fail after its first row.
    db().execute(u"CREATE UNIQUE INDEX IX_Test_Once ON MAIL_OUTBOX (Recipient)"_s);
    EXPECT_THROW(send(u"carol@example.org; bob@example.org"_s), DbError);
    EXPECT_EQ(queued(u"carol@example.org"_s), 0);
    EXPECT_EQ(session.db().transactionDepth(), 0);
}

BX_INSTANTIATE_ENGINES(EmailDraftTest);
