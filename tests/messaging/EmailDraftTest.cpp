#include "messaging/EmailDraft.h"

#include "core/db/Database.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace bx;
namespace email = bx::email;

namespace {

class EmailDraftTest : public bx::test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        bx::test::addUsers(db(), {QStringLiteral("ann")});
        db().execute(
            QStringLiteral("UPDATE LU_USER SET User_Name = ?, User_Email = ? WHERE USER_ID = ?"),
            {QStringLiteral("Ann O'Neil"), QStringLiteral("ann@example.org"),
             QStringLiteral("ann")});
        // The sender is the session's user as the log-on read him.
        session.user.record.userName = QStringLiteral("Ann O'Neil");
        session.user.record.email = QStringLiteral("ann@example.org");
    }
    void addContact(const QVariant& first, const QVariant& last, const QVariant& mail)
    {
        db().insertNumbered(
            QStringLiteral("CONTACT"), QStringLiteral("CONTACT_KEY"),
            {QStringLiteral("First_Name"), QStringLiteral("Last_Name"), QStringLiteral("Email")},
            {first, last, mail});
    }
    qlonglong queued()
    {
        return db().scalar(QStringLiteral("SELECT COUNT(*) FROM MAIL_OUTBOX")).toLongLong();
    }
    qlonglong queued(const QString& recipient)
    {
        return db()
            .scalar(QStringLiteral("SELECT COUNT(*) FROM MAIL_OUTBOX WHERE Recipient = ?"),
                    {recipient})
            .toLongLong();
    }
    Outcome<QString, email::EmailField> send(const QString& to)
    {
        return email::send(
            session, {to, QStringLiteral("Printer's toner"), QStringLiteral("Line one\nLine two")});
    }
};

} // namespace

// Names and addresses are completed from their start, ignoring case; what the user typed is
// matched literally, so "%" and "_" are no wildcards and a quote is just a character.
TEST_P(EmailDraftTest, CompletionMatchesTheTypedTextLiterally)
{
    addContact(QStringLiteral("Pat"), QStringLiteral("O'Brien"), QStringLiteral("pat@example.org"));
    addContact(QString(), QStringLiteral("100%"), QStringLiteral("pct@example.org"));
    addContact(QStringLiteral("Sam"), QStringLiteral("1000"), QStringLiteral("sam@example.org"));
    addContact(QStringLiteral("No"), QStringLiteral("Address"), QVariant());

    const QString pat = QStringLiteral("Pat O'Brien <pat@example.org>");
    for (const char* typed : {"o'b", "PAT O'", "Pat@Ex"})
        EXPECT_EQ(email::completions(db(), QString::fromUtf8(typed)), QStringList{pat}) << typed;
    EXPECT_EQ(email::completions(db(), QStringLiteral("100%")),
              QStringList{QStringLiteral("100% <pct@example.org>")});
    for (const char* typed : {"%", "_", "No"})
        EXPECT_TRUE(email::completions(db(), QString::fromUtf8(typed)).isEmpty()) << typed;

    // The entry being typed is the one after the last ";", and a chosen one replaces only it.
    const QString box = QStringLiteral("bob@example.org; o'b");
    EXPECT_EQ(email::typedEntry(box).entry, QStringLiteral("o'b"));
    EXPECT_EQ(email::withCompletion(box, pat),
              QStringLiteral("bob@example.org; ") + pat + QStringLiteral("; "));
}

// Every recipient is checked before anything is written: one bad entry queues nothing at all.
TEST_P(EmailDraftTest, RefusalsQueueNothing)
{
    auto refusal = [&](const QString& to) {
        const auto sent = send(to);
        EXPECT_FALSE(sent) << to.toStdString();
        return sent.refusal().value_or(email::EmailRefusal{});
    };
    EXPECT_EQ(refusal(QStringLiteral(" ; ")),
              (email::EmailRefusal{email::kNoRecipient, email::EmailField::To}));
    EXPECT_EQ(refusal(QStringLiteral("bob@example.org; Pat O'Brien")).message,
              QStringLiteral("Pat O'Brien is not a valid e-mail address"));
    session.user.record.email.clear();
    EXPECT_EQ(refusal(QStringLiteral("bob@example.org")).message, email::kNoSenderAddress);
    EXPECT_EQ(queued(), 0);
}

// One row per distinct recipient, from the user, one Message-ID for all; the record tells the
// editor what was sent. A failure at the second row undoes the first.
TEST_P(EmailDraftTest, OneRowPerRecipientInOneTransaction)
{
    clock.setStandardOffsetSeconds(3600);
    session.system.personalMail = true;
    const QString to =
        QStringLiteral("Pat O'Brien <pat@example.org>; bob@example.org ;PAT@example.org; ");
    const auto sent = send(to);
    ASSERT_TRUE(sent);
    EXPECT_EQ(*sent, QStringLiteral("   ======================= Email ====================  \n"
                                    "Date:      2024-01-31 13:05:09 (GMT) \n"
                                    "To:        Pat O'Brien <pat@example.org>; "
                                    "bob@example.org; PAT@example.org\nSubject:   Printer's toner\n"
                                    "   ====================== Message ===================  \n"
                                    "Line one\nLine two"));
    const RecordSet rs = db().query(QStringLiteral(
        "SELECT DISTINCT Sender_Name, Sender_Address, Message_ID, Queued_By, Personal, State "
        "FROM MAIL_OUTBOX"));
    ASSERT_EQ(rs.rowCount(), 1) << "the copies differ only in their recipient";
    EXPECT_EQ(rs.text(QStringLiteral("Sender_Name")), QStringLiteral("Ann O'Neil"));
    EXPECT_EQ(rs.text(QStringLiteral("Sender_Address")), QStringLiteral("ann@example.org"));
    EXPECT_EQ(rs.text(QStringLiteral("Queued_By")), QStringLiteral("ann"));
    EXPECT_TRUE(rs.flag(QStringLiteral("Personal")));
    EXPECT_EQ(queued(QStringLiteral("pat@example.org")), 1);
    EXPECT_EQ(queued(QStringLiteral("bob@example.org")), 1);

    // A recipient the table takes no second row for makes the send fail after its first row.
    db().execute(QStringLiteral("CREATE UNIQUE INDEX IX_Test_Once ON MAIL_OUTBOX (Recipient)"));
    EXPECT_THROW(send(QStringLiteral("carol@example.org; bob@example.org")), DbError);
    EXPECT_EQ(queued(QStringLiteral("carol@example.org")), 0);
    EXPECT_EQ(session.db().transactionDepth(), 0);
}

BX_INSTANTIATE_ENGINES(EmailDraftTest);
