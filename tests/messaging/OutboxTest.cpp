#include "messaging/Outbox.h"

#include "core/db/Database.h"
#include "core/db/RecordSet.h"
#include "support/SessionTest.h"

#include <gtest/gtest.h>

namespace {

using bx::outbox::QueuedMail;

const QString kStamp = QStringLiteral("yyyy-MM-dd HH:mm:ss");

class OutboxTest : public bx::test::CurrentSchemaTest
{
protected:
    QueuedMail mail() const
    {
        QueuedMail m;
        m.recipient = QStringLiteral("o'brien@example.org");
        m.senderName = QStringLiteral("Zoë Ørsted");
        m.senderAddress = QStringLiteral("zoe@example.org");
        m.subject = QStringLiteral("BX#17[Printer], YES");
        m.body = QStringLiteral("Title: Printer\r\n");
        return m;
    }
    qlonglong rows()
    {
        return db().scalar(QStringLiteral("SELECT COUNT(*) FROM MAIL_OUTBOX")).toLongLong();
    }
    const QDateTime now{QDate(2026, 12, 7), QTime(9, 30), Qt::UTC};
};

TEST_P(OutboxTest, QueuedRowWaitsForItsDigestAndKeepsItsId)
{
    QueuedMail m = mail();
    m.digestMinutes = 15;
    const auto number = bx::outbox::queue(db(), m, QStringLiteral("ann"), now);
    ASSERT_TRUE(number);
    const bx::RecordSet rs = db().query(
        QStringLiteral("SELECT Recipient, State, Next_Attempt, Message_ID, Attach_Text FROM "
                       "MAIL_OUTBOX WHERE Outbox_Number = ?"),
        {*number});
    ASSERT_FALSE(rs.isEmpty());
    EXPECT_EQ(rs.text(QStringLiteral("Recipient")), m.recipient);
    EXPECT_EQ(rs.text(QStringLiteral("State")), QStringLiteral("P"));
    EXPECT_EQ(rs.value(QStringLiteral("Next_Attempt")).toDateTime().toString(kStamp),
              QStringLiteral("2026-12-07 09:45:00"));
    EXPECT_TRUE(rs.text(QStringLiteral("Message_ID")).endsWith(QStringLiteral("@example.org>")));
    EXPECT_TRUE(rs.value(QStringLiteral("Attach_Text")).isNull());
}

TEST_P(OutboxTest, AnAddressThatIsNotOneMailboxQueuesNothing)
{
    for (const QString& bad : {QStringLiteral("a@example.org\r\nRCPT TO:<b@example.org>"),
                               QStringLiteral("a@example.org, b@example.org"),
                               QStringLiteral("Ann <a@example.org>"), QStringLiteral("nobody")}) {
        QueuedMail m = mail();
        m.recipient = bad;
        const auto refused = bx::outbox::queue(db(), m, QStringLiteral("ann"), now);
        ASSERT_FALSE(refused) << bad.toStdString();
        EXPECT_EQ(refused.refusal()->message,
                  bad + QStringLiteral(" is not a valid e-mail address"));
    }
    QueuedMail m = mail();
    m.senderAddress = QStringLiteral("zoe@example.org\nBcc: x@example.org");
    EXPECT_FALSE(bx::outbox::queue(db(), m, QStringLiteral("ann"), now));
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(bx::outbox::bareAddress(QStringLiteral(" Ann O'Neil <ann@example.org> ")),
              QStringLiteral("ann@example.org"));
}

BX_INSTANTIATE_ENGINES(OutboxTest);

} // namespace
