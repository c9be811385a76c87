#include "messaging/Outbox.h"

#include "core/db/Database.h"
#include "core/db/RecordSet.h"
#include "support/SessionTest.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using bx::outbox::QueuedMail;

const QString kStamp = u"yyyy-MM-dd HH:mm:ss"_s;

class OutboxTest : public bx::test::CurrentSchemaTest
{
protected:
    QueuedMail mail() const
    {
        QueuedMail m;
        m.recipient = u"o'brien@example.org"_s;
        m.senderName = u"Zoë Ørsted"_s;
        m.senderAddress = u"zoe@example.org"_s;
        m.subject = u"BX#17[Printer], YES"_s;
        m.body = u"Title: Printer\r\n"_s;
        return m;
    }
    qlonglong rows() { return db().scalar(u"SELECT COUNT(*) FROM MAIL_OUTBOX"_s).toLongLong(); }
    const QDateTime now{QDate(2026, 12, 7), QTime(9, 30), Qt::UTC};
};

TEST_P(OutboxTest, QueuedRowWaitsForItsDigestAndKeepsItsId)
{
    QueuedMail m = mail();
    m.digestMinutes = 15;
    const auto number = bx::outbox::queue(db(), m, u"ann"_s, now);
    ASSERT_TRUE(number);
    const bx::RecordSet rs =
        db().query(u"SELECT Recipient, State, Next_Attempt, Message_ID, Attach_Text FROM "
                   "MAIL_OUTBOX WHERE Outbox_Number = ?"_s,
                   {*number});
    ASSERT_FALSE(rs.isEmpty());
    EXPECT_EQ(rs.text(u"Recipient"_s), m.recipient);
    EXPECT_EQ(rs.text(u"State"_s), u"P"_s);
    EXPECT_EQ(rs.value(u"Next_Attempt"_s).toDateTime().toString(kStamp), u"2026-12-07 09:45:00"_s);
    EXPECT_TRUE(rs.text(u"Message_ID"_s).endsWith(u"@example.org>"_s));
    EXPECT_TRUE(rs.value(u"Attach_Text"_s).isNull());
}

TEST_P(OutboxTest, AnAddressThatIsNotOneMailboxQueuesNothing)
{
    for (const QString& bad :
         {u"a@example.org\r\nRCPT TO:<b@example.org>"_s, u"a@example.org, b@example.org"_s,
          u"Ann <a@example.org>"_s, u"nobody"_s}) {
        QueuedMail m = mail();
        m.recipient = bad;
        const auto refused = bx::outbox::queue(db(), m, u"ann"_s, now);
        ASSERT_FALSE(refused) << bad.toStdString();
        EXPECT_EQ(refused.refusal()->message, bad + u" is not a valid e-mail address"_s);
    }
    QueuedMail m = mail();
    m.senderAddress = u"zoe@example.org\nBcc: x@example.org"_s;
    EXPECT_FALSE(bx::outbox::queue(db(), m, u"ann"_s, now));
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(bx::outbox::bareAddress(u" Ann O'Neil <ann@example.org> "_s), u"ann@example.org"_s);
}

BX_INSTANTIATE_ENGINES(OutboxTest);

} // namespace
