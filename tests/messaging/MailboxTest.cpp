#include "messaging/Mailbox.h"

#include "core/db/Database.h"
#include "core/db/RecordSet.h"
#include "messaging/Outbox.h"
#include "support/RefuseInserts.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

namespace {

using namespace bx;
using bx::test::PromptRecord;

const QString kObrien = QStringLiteral("O'Brien");

class MailboxTest : public bx::test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        test::addUsers(db(), {QStringLiteral("ann"), QStringLiteral("bob"), kObrien});
        db().execute(QStringLiteral("UPDATE LU_USER SET User_Email = ? WHERE USER_ID = ?"),
                     {QStringLiteral("Bob@Example.com"), QStringLiteral("bob")});
        test::addWorkshop(db(), 7);
        test::addWorkshop(db(), 8);
    }

    Mailbox box(const QString& user = QStringLiteral("ann"), qlonglong workshop = 7)
    {
        return Mailbox(
            session.db(),
            {user, user + QStringLiteral(" Smith"), user + QStringLiteral("@home.example")},
            workshop, clock);
    }

    qlonglong count(const QString& table)
    {
        return db().scalar(QStringLiteral("SELECT COUNT(*) FROM ") + table).toLongLong();
    }

    int questions() const
    {
        int n = 0;
        for (const PromptRecord& r : prompt.records())
            n += r.kind == PromptRecord::Kind::Ask;
        return n;
    }
};

TEST_P(MailboxTest, SendWritesTheSenderCopyAndOneReceivedCopyEach)
{
    const QString body = QStringLiteral("Lunch at O'Brien's?\nSecond line");
    const auto sent =
        box().send({QStringLiteral("bob"), kObrien, QStringLiteral("ANN")}, body, prompt);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->received, 3);
    EXPECT_TRUE(sent->toSelf);
    EXPECT_EQ(sent->composeText, mail::kSentMarkerLf + body);

    const RecordSet rs = db().query(
        QStringLiteral("SELECT Owner_User_ID, Sender, Title, Body, Sent, SourceID, group_id FROM "
                       "MAIL ORDER BY Mail_Number"));
    ASSERT_EQ(rs.rowCount(), 4);
    EXPECT_EQ(rs.value(0, QStringLiteral("Owner_User_ID")).toString(), QStringLiteral("ann"));
    EXPECT_NE(rs.value(0, QStringLiteral("Sent")).toLongLong(), 0);
    EXPECT_EQ(rs.value(0, QStringLiteral("SourceID")).toLongLong(), 0);
    const QStringList owners{QStringLiteral("bob"), kObrien, QStringLiteral("ann")};
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(rs.value(i, QStringLiteral("Owner_User_ID")).toString(), owners[i - 1]);
        EXPECT_EQ(rs.value(i, QStringLiteral("Title")).toString(),
                  QStringLiteral("Lunch at O'Brien's?"));
        EXPECT_EQ(rs.value(i, QStringLiteral("Body")).toString(), body);
        EXPECT_EQ(rs.value(i, QStringLiteral("Sent")).toLongLong(), 0);
        EXPECT_EQ(rs.value(i, QStringLiteral("SourceID")).toLongLong(), sent->senderCopy);
        EXPECT_EQ(rs.value(i, QStringLiteral("group_id")).toLongLong(), 7);
    }

    // The sent box names the recipients; the inbox holds the copy to oneself, unread.
    const MailList sentBox = box().list(MailBox::Sent);
    ASSERT_EQ(sentBox.rows.size(), 1);
    EXPECT_EQ(sentBox.rows[0].party, QStringLiteral("bob; O'Brien; ann"));
    const MailList inbox = box().list(MailBox::Inbox);
    ASSERT_EQ(inbox.rows.size(), 1);
    EXPECT_FALSE(inbox.rows[0].viewed);
    EXPECT_EQ(inbox.probe.unread, 1);
    const MailList obrien = box(kObrien).list(MailBox::Inbox);
    ASSERT_EQ(obrien.rows.size(), 1);
    EXPECT_EQ(obrien.rows[0].party, QStringLiteral("ann"));

    // Reading marks the message viewed; the probe follows.
    ASSERT_TRUE(box().read(inbox.rows[0].number));
    EXPECT_EQ(box().probe().unread, 0);
}

TEST_P(MailboxTest, AddressesOfUsersGoInsideAndOthersOutAfterOneQuestion)
{
    prompt.answer(PromptAnswer::Yes);
    const auto sent =
        box().send({QStringLiteral("Bob Jones <bob@example.COM>"), QStringLiteral("x@one.example"),
                    QStringLiteral("o'neil@two.example")},
                   QStringLiteral("Hi"), prompt);
    ASSERT_TRUE(sent);
    EXPECT_EQ(questions(), 1);
    EXPECT_EQ(prompt.last().title, mail::kSendByEmailTitle);
    EXPECT_EQ(sent->received, 1);
    EXPECT_EQ(sent->emailed, 2);
    const RecordSet out = db().query(QStringLiteral(
        "SELECT Recipient, Sender_Name, Sender_Address, Subject FROM MAIL_OUTBOX ORDER BY "
        "Outbox_Number"));
    ASSERT_EQ(out.rowCount(), 2);
    EXPECT_EQ(out.value(1, QStringLiteral("Recipient")).toString(),
              QStringLiteral("o'neil@two.example"));
    EXPECT_EQ(out.value(0, QStringLiteral("Sender_Name")).toString(), QStringLiteral("ann Smith"));
    EXPECT_EQ(out.value(0, QStringLiteral("Sender_Address")).toString(),
              QStringLiteral("ann@home.example"));
    EXPECT_EQ(box().list(MailBox::Outbox).rows.size(), 2);

    // No keeps the e-mail back and still delivers inside.
    prompt.clear();
    prompt.answer(PromptAnswer::No);
    ASSERT_TRUE(box().send({QStringLiteral("z@one.example"), QStringLiteral("bob")},
                           QStringLiteral("Again"), prompt));
    EXPECT_EQ(count(QStringLiteral("MAIL_OUTBOX")), 2);
    EXPECT_EQ(box(QStringLiteral("bob")).list(MailBox::Inbox).rows.size(), 2);
}

TEST_P(MailboxTest, RefusedOrEmptySendsWriteNothing)
{
    const struct
    {
        QStringList to;
        QString body;
        QString refusal; ///< empty: nothing sent, nothing said
    } cases[] = {
        {{}, QStringLiteral("Hi"), {}},
        {{QStringLiteral("bob")}, QStringLiteral("  \n "), mail::kEmptyBody},
        {{QStringLiteral("bob")}, mail::kSentMarker, {}},
        {{QStringLiteral("bob"), QStringLiteral("a b@x.example")},
         QStringLiteral("Hi"),
         QStringLiteral("a b@x.example is not a valid e-mail address")},
        {{QStringLiteral("bob"), QStringLiteral("nosuchuser")},
         QStringLiteral("Hi"),
         QStringLiteral("nosuchuser is not a valid e-mail address")},
    };
    for (const auto& c : cases) {
        const auto sent = box().send(c.to, c.body, prompt);
        EXPECT_FALSE(sent) << c.body.toStdString();
        EXPECT_EQ(sent.refusal() ? sent.refusal()->message : QString(), c.refusal);
    }
    // A sender without an address of his own cannot e-mail anybody.
    prompt.answer(PromptAnswer::Yes);
    const auto noAddress =
        Mailbox(session.db(), {QStringLiteral("ann"), QStringLiteral("Ann"), QString()}, 7, clock)
            .send({QStringLiteral("bob"), QStringLiteral("x@one.example")}, QStringLiteral("Hi"),
                  prompt);
    ASSERT_TRUE(noAddress.refusal());
    EXPECT_EQ(noAddress.refusal()->message, outbox::kNoSenderAddress);
    EXPECT_EQ(count(QStringLiteral("MAIL")), 0);
}

TEST_P(MailboxTest, TitleIsTheFirstLineCutToFiftyCharacters)
{
    EXPECT_EQ(mail::titleOf(QStringLiteral("First\r\nsecond")), QStringLiteral("First"));
    EXPECT_EQ(mail::titleOf(QStringLiteral("First\u2028second")), QStringLiteral("First"));
    EXPECT_EQ(mail::titleOf(QString(60, QLatin1Char('x'))).size(), 50);
    // The marker of a previous send goes; an empty first line gives the box's own titles.
    ASSERT_TRUE(box().send({QStringLiteral("bob")},
                           mail::kSentMarkerLf + QStringLiteral("\nBody below"), prompt));
    const RecordSet rs = db().query(QStringLiteral("SELECT Title, Body FROM MAIL ORDER BY Sent"));
    ASSERT_EQ(rs.rowCount(), 2);
    EXPECT_EQ(rs.value(0, QStringLiteral("Body")).toString(), QStringLiteral("\nBody below"));
    QStringList titles{rs.value(0, QStringLiteral("Title")).toString(),
                       rs.value(1, QStringLiteral("Title")).toString()};
    titles.sort();
    EXPECT_EQ(titles, (QStringList{mail::kReceivedTitle, mail::kSentTitle}));
}

TEST_P(MailboxTest, MailOutsideAnyWorkshopIsKeptApart)
{
    ASSERT_TRUE(
        box(QStringLiteral("ann"), 0).send({QStringLiteral("bob")}, QStringLiteral("Hi"), prompt));
    ASSERT_TRUE(box().send({QStringLiteral("bob")}, QStringLiteral("In 7"), prompt));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM MAIL WHERE group_id IS NULL"))
                  .toLongLong(),
              2);
    const MailList outside = box(QStringLiteral("bob"), 0).list(MailBox::Inbox);
    ASSERT_EQ(outside.rows.size(), 1);
    EXPECT_EQ(outside.rows[0].title, QStringLiteral("Hi"));
    EXPECT_EQ(outside.probe, (MailProbe{1, outside.rows[0].number}));
}

TEST_P(MailboxTest, AFailedCopyLeavesNoRowOfTheSend)
{
    // Refuse every copy for bob, the second of the send.
    test::refuseInserts(db(), QStringLiteral("MAIL"), QStringLiteral("NEW.Owner_User_ID = 'bob'"));
    prompt.answer(PromptAnswer::Yes);
    EXPECT_THROW(box().send({QStringLiteral("x@one.example"), QStringLiteral("bob")},
                            QStringLiteral("Hi"), prompt),
                 DbError);
    EXPECT_EQ(count(QStringLiteral("MAIL")), 0);
    EXPECT_EQ(count(QStringLiteral("MAIL_OUTBOX")), 0);
}

TEST_P(MailboxTest, DeleteAllClearsTheUsersMailOfOneWorkshop)
{
    ASSERT_TRUE(
        box().send({QStringLiteral("ann"), QStringLiteral("bob")}, QStringLiteral("7"), prompt));
    ASSERT_TRUE(
        box(QStringLiteral("ann"), 8).send({QStringLiteral("ann")}, QStringLiteral("8"), prompt));
    prompt.answer(PromptAnswer::No);
    EXPECT_FALSE(box().removeAll(MailBox::Inbox, prompt));
    prompt.answer(PromptAnswer::Yes);
    const auto removed = box().removeAll(MailBox::Inbox, prompt);
    ASSERT_TRUE(removed);
    EXPECT_EQ(*removed, 2);
    EXPECT_EQ(prompt.last().text, mail::kDeleteAll);
    EXPECT_EQ(box(QStringLiteral("ann"), 8).list(MailBox::Inbox).rows.size(), 1);
    EXPECT_EQ(box(QStringLiteral("bob")).list(MailBox::Inbox).rows.size(), 1);

    // DEL takes only a message of the user's own.
    const qlonglong bobs = box(QStringLiteral("bob")).list(MailBox::Inbox).rows[0].number;
    EXPECT_EQ(box().remove(MailBox::Inbox, 0).refusal()->message, mail::kNoItemSelected);
    EXPECT_EQ(*box().remove(MailBox::Inbox, bobs), 0);
    EXPECT_EQ(*box(QStringLiteral("bob")).remove(MailBox::Inbox, bobs), 1);
}

TEST_P(MailboxTest, MessagesMoveOnlyIntoTheUsersMailFolders)
{
    ASSERT_TRUE(box().send({QStringLiteral("ann")}, QStringLiteral("Hi"), prompt));
    const qlonglong number = box().list(MailBox::Inbox).rows[0].number;
    const auto folder = [&](const QString& owner, int type) {
        return db().insertNumbered(QStringLiteral("FOLDER"), QStringLiteral("Folder_Counter"),
                                   {QStringLiteral("Folder_Owner_ID"),
                                    QStringLiteral("Folder_Name"),
                                    QStringLiteral("Parent_Folder_Counter"),
                                    QStringLiteral("Folder_Type"), QStringLiteral("Group_ID")},
                                   {owner, QStringLiteral("Kept"), 0, type, 7});
    };
    EXPECT_FALSE(box().move(number, folder(QStringLiteral("bob"), 1)));
    EXPECT_FALSE(box().move(number, folder(QStringLiteral("ann"), 0)));
    const qlonglong mine = folder(QStringLiteral("ann"), 1);
    EXPECT_TRUE(box().move(number, mine));
    const MailList inbox = box().list(MailBox::Inbox);
    ASSERT_EQ(inbox.folders.size(), 1);
    EXPECT_EQ(inbox.rows[0].folder, mine);
}

TEST(MailboxListTest, TheListNeverReadsABody)
{
    for (MailBox b : {MailBox::Inbox, MailBox::Sent, MailBox::Outbox}) {
        for (qlonglong workshop : {0, 7}) {
            for (const QString& sql : Mailbox::listStatements(b, workshop)) {
                EXPECT_FALSE(sql.contains(QStringLiteral("Body"), Qt::CaseInsensitive))
                    << sql.toStdString();
                EXPECT_FALSE(sql.contains(QLatin1Char('*'))) << sql.toStdString();
            }
        }
    }
}

BX_INSTANTIATE_ENGINES(MailboxTest);

} // namespace
