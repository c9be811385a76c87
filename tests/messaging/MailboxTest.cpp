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
using namespace Qt::StringLiterals;
using bx::test::PromptRecord;

const QString kObrien = u"O'Brien"_s;

class MailboxTest : public bx::test::SessionTest
{
protected:
    void arrange() override
    {
        test::addUsers(db(), {u"ann"_s, u"bob"_s, kObrien});
        db().execute(u"UPDATE LU_USER SET User_Email = ? WHERE USER_ID = ?"_s,
                     {u"Bob@Example.com"_s, u"bob"_s});
        test::addWorkshop(db(), 7);
        test::addWorkshop(db(), 8);
    }

    Mailbox box(const QString& user = u"ann"_s, qlonglong workshop = 7)
    {
        return Mailbox(session.db(), {user, user + u" Smith"_s, user + u"@home.example"_s},
                       workshop, clock);
    }

    qlonglong count(const QString& table)
    {
        return db().scalar(u"SELECT COUNT(*) FROM "_s + table).toLongLong();
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
    const QString body = u"Lunch at O'Brien's?\nSecond line"_s;
    const auto sent = box().send({u"bob"_s, kObrien, u"ANN"_s}, body, prompt);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->received, 3);
    EXPECT_TRUE(sent->toSelf);
    EXPECT_EQ(sent->composeText, u"\n============ Message sent =========== \n"_s + body);

    const RecordSet rs =
        db().query(u"SELECT Owner_User_ID, Sender, Title, Body, Sent, SourceID, group_id FROM "
                   "MAIL ORDER BY Mail_Number"_s);
    ASSERT_EQ(rs.rowCount(), 4);
    EXPECT_EQ(rs.value(0, u"Owner_User_ID"_s).toString(), u"ann"_s);
    EXPECT_NE(rs.value(0, u"Sent"_s).toLongLong(), 0);
    EXPECT_EQ(rs.value(0, u"SourceID"_s).toLongLong(), 0);
    const QStringList owners{u"bob"_s, kObrien, u"ann"_s};
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(rs.value(i, u"Owner_User_ID"_s).toString(), owners[i - 1]);
        EXPECT_EQ(rs.value(i, u"Title"_s).toString(), u"Lunch at O'Brien's?"_s);
        EXPECT_EQ(rs.value(i, u"Body"_s).toString(), body);
        EXPECT_EQ(rs.value(i, u"Sent"_s).toLongLong(), 0);
        EXPECT_EQ(rs.value(i, u"SourceID"_s).toLongLong(), sent->senderCopy);
        EXPECT_EQ(rs.value(i, u"group_id"_s).toLongLong(), 7);
    }

    // The sent box names the recipients; the inbox holds the copy to oneself, unread.
    const MailList sentBox = box().list(MailBox::Sent);
    ASSERT_EQ(sentBox.rows.size(), 1);
    EXPECT_EQ(sentBox.rows[0].party, u"bob; O'Brien; ann"_s);
    const MailList inbox = box().list(MailBox::Inbox);
    ASSERT_EQ(inbox.rows.size(), 1);
    EXPECT_FALSE(inbox.rows[0].viewed);
    EXPECT_EQ(inbox.probe.unread, 1);
    const MailList obrien = box(kObrien).list(MailBox::Inbox);
    ASSERT_EQ(obrien.rows.size(), 1);
    EXPECT_EQ(obrien.rows[0].party, u"ann"_s);

    // Reading marks the message viewed; the probe follows.
    ASSERT_TRUE(box().read(inbox.rows[0].number));
    EXPECT_EQ(box().probe().unread, 0);
}

TEST_P(MailboxTest, AddressesOfUsersGoInsideAndOthersOutAfterOneQuestion)
{
    prompt.answer(PromptAnswer::Yes);
    const auto sent =
        box().send({u"Bob Jones <bob@example.COM>"_s, u"x@one.example"_s, u"o'neil@two.example"_s},
                   u"Hi"_s, prompt);
    ASSERT_TRUE(sent);
    EXPECT_EQ(questions(), 1);
    EXPECT_EQ(prompt.last().title, u"Send by Email?"_s);
    EXPECT_EQ(sent->received, 1);
    EXPECT_EQ(sent->emailed, 2);
    const RecordSet out = db().query(
        u"SELECT Recipient, Sender_Name, Sender_Address, Subject FROM MAIL_OUTBOX ORDER BY "
        "Outbox_Number"_s);
    ASSERT_EQ(out.rowCount(), 2);
    EXPECT_EQ(out.value(1, u"Recipient"_s).toString(), u"o'neil@two.example"_s);
    EXPECT_EQ(out.value(0, u"Sender_Name"_s).toString(), u"ann Smith"_s);
    EXPECT_EQ(out.value(0, u"Sender_Address"_s).toString(), u"ann@home.example"_s);
    EXPECT_EQ(box().list(MailBox::Outbox).rows.size(), 2);

    // No keeps the e-mail back and still delivers inside.
    prompt.clear();
    prompt.answer(PromptAnswer::No);
    ASSERT_TRUE(box().send({u"z@one.example"_s, u"bob"_s}, u"Again"_s, prompt));
    EXPECT_EQ(count(u"MAIL_OUTBOX"_s), 2);
    EXPECT_EQ(box(u"bob"_s).list(MailBox::Inbox).rows.size(), 2);
}

TEST_P(MailboxTest, RefusedOrEmptySendsWriteNothing)
{
    const struct
    {
        QStringList to;
        QString body;
        QString refusal; ///< empty: nothing sent, nothing said
    } cases[] = {
        {{}, u"Hi"_s, {}},
        {{u"bob"_s}, u"  \n "_s, u"Please enter Message body."_s},
        {{u"bob"_s}, u"\r\n============ Message sent =========== \r\n"_s, {}},
        {{u"bob"_s, u"a b@x.example"_s}, u"Hi"_s, u"a b@x.example is not a valid e-mail address"_s},
        {{u"bob"_s, u"nosuchuser"_s}, u"Hi"_s, u"nosuchuser is not a valid e-mail address"_s},
    };
    for (const auto& c : cases) {
        const auto sent = box().send(c.to, c.body, prompt);
        EXPECT_FALSE(sent) << c.body.toStdString();
        EXPECT_EQ(sent.refusal() ? sent.refusal()->message : QString(), c.refusal);
    }
    // A sender without an address of his own cannot e-mail anybody.
    prompt.answer(PromptAnswer::Yes);
    const auto noAddress = Mailbox(session.db(), {u"ann"_s, u"Ann"_s, QString()}, 7, clock)
                               .send({u"bob"_s, u"x@one.example"_s}, u"Hi"_s, prompt);
    ASSERT_TRUE(noAddress.refusal());
    EXPECT_EQ(noAddress.refusal()->message, outbox::kNoSenderAddress);
    EXPECT_EQ(count(u"MAIL"_s), 0);
}

TEST_P(MailboxTest, TitleIsTheFirstLineCutToFiftyCharacters)
{
    EXPECT_EQ(mail::titleOf(u"First\r\nsecond"_s), u"First"_s);
    EXPECT_EQ(mail::titleOf(u"First\u2028second"_s), u"First"_s);
    EXPECT_EQ(mail::titleOf(QString(60, u'x')).size(), 50);
    // The marker of a previous send goes; an empty first line gives the box's own titles.
    ASSERT_TRUE(box().send(
        {u"bob"_s}, u"\n============ Message sent =========== \n"_s + u"\nBody below"_s, prompt));
    const RecordSet rs = db().query(u"SELECT Title, Body FROM MAIL ORDER BY Sent"_s);
    ASSERT_EQ(rs.rowCount(), 2);
    EXPECT_EQ(rs.value(0, u"Body"_s).toString(), u"\nBody below"_s);
    QStringList titles{rs.value(0, u"Title"_s).toString(), rs.value(1, u"Title"_s).toString()};
    titles.sort();
    EXPECT_EQ(titles, (QStringList{u"Message :"_s, u"Sent Message :"_s}));
}

TEST_P(MailboxTest, MailOutsideAnyWorkshopIsKeptApart)
{
    ASSERT_TRUE(box(u"ann"_s, 0).send({u"bob"_s}, u"Hi"_s, prompt));
    ASSERT_TRUE(box().send({u"bob"_s}, u"In 7"_s, prompt));
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM MAIL WHERE group_id IS NULL"_s).toLongLong(), 2);
    const MailList outside = box(u"bob"_s, 0).list(MailBox::Inbox);
    ASSERT_EQ(outside.rows.size(), 1);
    EXPECT_EQ(outside.rows[0].title, u"Hi"_s);
    EXPECT_EQ(outside.probe, (MailProbe{1, outside.rows[0].number}));
}

TEST_P(MailboxTest, AFailedCopyLeavesNoRowOfTheSend)
{
    // Refuse every copy for bob, the second of the send.
    test::refuseInserts(db(), u"MAIL"_s, u"NEW.Owner_User_ID = 'bob'"_s);
    prompt.answer(PromptAnswer::Yes);
    EXPECT_THROW(box().send({u"x@one.example"_s, u"bob"_s}, u"Hi"_s, prompt), DbError);
    EXPECT_EQ(count(u"MAIL"_s), 0);
    EXPECT_EQ(count(u"MAIL_OUTBOX"_s), 0);
}

TEST_P(MailboxTest, DeleteAllClearsTheUsersMailOfOneWorkshop)
{
    ASSERT_TRUE(box().send({u"ann"_s, u"bob"_s}, u"7"_s, prompt));
    ASSERT_TRUE(box(u"ann"_s, 8).send({u"ann"_s}, u"8"_s, prompt));
    prompt.answer(PromptAnswer::No);
    EXPECT_FALSE(box().removeAll(MailBox::Inbox, prompt));
    prompt.answer(PromptAnswer::Yes);
    const auto removed = box().removeAll(MailBox::Inbox, prompt);
    ASSERT_TRUE(removed);
    EXPECT_EQ(*removed, 2);
    EXPECT_EQ(prompt.last().text, u"All messages will be removed. Are you sure?"_s);
    EXPECT_EQ(box(u"ann"_s, 8).list(MailBox::Inbox).rows.size(), 1);
    EXPECT_EQ(box(u"bob"_s).list(MailBox::Inbox).rows.size(), 1);

    // DEL takes only a message of the user's own.
    const qlonglong bobs = box(u"bob"_s).list(MailBox::Inbox).rows[0].number;
    EXPECT_EQ(box().remove(MailBox::Inbox, 0).refusal()->message, mail::kNoItemSelected);
    EXPECT_EQ(*box().remove(MailBox::Inbox, bobs), 0);
    EXPECT_EQ(*box(u"bob"_s).remove(MailBox::Inbox, bobs), 1);
}

TEST_P(MailboxTest, MessagesMoveOnlyIntoTheUsersMailFolders)
{
    ASSERT_TRUE(box().send({u"ann"_s}, u"Hi"_s, prompt));
    const qlonglong number = box().list(MailBox::Inbox).rows[0].number;
    const auto folder = [&](const QString& owner, int type) {
        return db().insertNumbered(u"FOLDER"_s, u"Folder_Counter"_s,
                                   {u"Folder_Owner_ID"_s, u"Folder_Name"_s,
                                    u"Parent_Folder_Counter"_s, u"Folder_Type"_s, u"Group_ID"_s},
                                   {owner, u"Kept"_s, 0, type, 7});
    };
    EXPECT_FALSE(box().move(number, folder(u"bob"_s, 1)));
    EXPECT_FALSE(box().move(number, folder(u"ann"_s, 0)));
    const qlonglong mine = folder(u"ann"_s, 1);
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
                EXPECT_FALSE(sql.contains(u"Body"_s, Qt::CaseInsensitive)) << sql.toStdString();
                EXPECT_FALSE(sql.contains(u'*')) << sql.toStdString();
            }
        }
    }
}

BX_INSTANTIATE_ENGINES(MailboxTest);

} // namespace
