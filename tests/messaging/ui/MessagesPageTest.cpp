#include "messaging/ui/MessagesPage.h"

#include "core/db/Database.h"
#include "core/db/SqliteDatabase.h"
#include "mainwindow/Poller.h"
#include "mainwindow/ui/Access_Form.h"
#include "mainwindow/ui/TeamView.h"
#include "messaging/Mailbox.h"
#include "messaging/ui/MailTreeModel.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
using bx::test::child;

namespace {

constexpr qlonglong kShop = 4;
const QString kObrien = u"O'Brien"_s;

class MessagesPageTest : public bx::test::WindowTest
{
protected:
    void arrange() override
    {
        enterWorkshop(kShop);
        bx::test::addUsers(db(), {kObrien});
        session.user.record.userName = u"Admin Person"_s;
    }

    /** A message from O'Brien to admin, sent through another connection as his client would. */
    qlonglong receive(const QString& body, Database& through)
    {
        Mailbox theirs(through, {kObrien, kObrien, {}}, kShop, clock);
        const auto sent = theirs.send({u"admin"_s}, body, prompt);
        EXPECT_TRUE(sent);
        return through
            .scalar(u"SELECT MAX(Mail_Number) FROM MAIL WHERE Owner_User_ID = ?"_s, {u"admin"_s})
            .toLongLong();
    }

    static void select(MessagesPage& page, qlonglong number)
    {
        const QModelIndex at = page.model()->messageIndex(number);
        ASSERT_TRUE(at.isValid());
        page.tree()->setCurrentIndex(at);
    }

    static QString boxText(MessagesPage& page)
    {
        return child<QPlainTextEdit>(page, "NewMessageBody")->toPlainText();
    }
};

TEST_F(MessagesPageTest, ReadingOverUnsentTextAsksAndNoKeepsIt)
{
    const qlonglong first = receive(u"First from O'Brien"_s, db());
    const qlonglong second = receive(u"Second"_s, db());
    MessagesPage page(session, prompt);
    page.RefreshMessageList();
    EXPECT_EQ(page.unread(), 2);
    QSignalSpy unread(&page, &MessagesPage::unreadChanged);

    select(page, first); // nothing written yet: no question
    EXPECT_EQ(boxText(page), u"First from O'Brien"_s);
    EXPECT_TRUE(prompt.records().isEmpty());
    ASSERT_EQ(unread.count(), 1);
    EXPECT_EQ(unread.at(0).at(0).toLongLong(), 1);

    auto* body = child<QPlainTextEdit>(page, "NewMessageBody");
    body->clear();
    QTest::keyClicks(body, u"Draft"_s);
    prompt.answer(PromptAnswer::No);
    select(page, second);
    EXPECT_EQ(prompt.last().text,
              u"Your existing message will be cleared if you read this messsage.  Are you sure?"_s);
    EXPECT_EQ(boxText(page), u"Draft"_s);
    EXPECT_EQ(page.tree()->currentIndex(), page.model()->messageIndex(first));
    prompt.answer(PromptAnswer::Yes);
    select(page, second);
    EXPECT_EQ(boxText(page), u"Second"_s);
}

TEST_F(MessagesPageTest, ReplyAndForwardFillTheComposeBox)
{
    const qlonglong number = receive(u"Question?"_s, db());
    MessagesPage page(session, prompt);
    page.RefreshMessageList();
    select(page, number);
    auto* to = child<QLabel>(page, "lblTo");
    child<QAction>(page, "Reply")->trigger();
    EXPECT_EQ(to->text(), kObrien);
    EXPECT_EQ(boxText(page), u"\n\n=======( Admin Person 2024-01-31 14:05) ======\n\nQuestion?"_s);

    child<QAction>(page, "Forward")->trigger();
    EXPECT_EQ(to->text(), u"To: Select Recipient from TeamView"_s);
    EXPECT_EQ(boxText(page),
              u"\n\n=======( Forwarded: O'Brien, 2024-01-31 14:05) ======\n\nQuestion?"_s);

    // A send from the page: to O'Brien and to an address typed in the line, which is asked about.
    page.setRecipients({kObrien});
    child<QLineEdit>(page, "txtTo")->setText(u"x@one.example"_s);
    session.user.record.email = u"admin@home.example"_s;
    prompt.answer(PromptAnswer::Yes);
    QSignalSpy status(&page, &MessagesPage::status);
    child<QPushButton>(page, "cmdSendMessage")->click();
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status.at(0).at(0).toString(), u"Message sent"_s);
    EXPECT_TRUE(boxText(page).startsWith(u"\n============ Message sent =========== \n"_s));
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM MAIL_OUTBOX"_s).toLongLong(), 1);
}

// Folders that point at a missing parent or at each other still show, under the box, and a
// message dragged onto a folder node is handed over with that folder.
TEST(MailTreeModelTest, BrokenFolderParentsLandUnderTheBoxAndDropsNameTheFolder)
{
    MailList list;
    list.folders = {{1, u"A"_s, 2}, {2, u"B"_s, 1}, {3, u"C"_s, 99}, {4, u"D"_s, 3}};
    list.rows = {{10, u"in D"_s, {}, {}, true, 4, false, {}},
                 {11, u"in a lost folder"_s, {}, {}, true, 77, false, {}}};
    MailTreeModel model;
    model.setList(MailBox::Inbox, u"Inbox"_s, list);
    const QModelIndex box = model.boxIndex();
    EXPECT_EQ(model.parent(model.folderIndex(3)), box);
    EXPECT_EQ(model.parent(model.folderIndex(4)), model.folderIndex(3));
    EXPECT_EQ(model.parent(model.messageIndex(10)), model.folderIndex(4));
    EXPECT_EQ(model.parent(model.messageIndex(11)), box);
    // Of the two folders in a loop, one hangs under the box and the other under it.
    const QModelIndex a = model.folderIndex(1);
    const QModelIndex b = model.folderIndex(2);
    EXPECT_TRUE((model.parent(a) == box && model.parent(b) == a) ||
                (model.parent(b) == box && model.parent(a) == b));
    EXPECT_EQ(model.rowCount(box), 3); // a folder of the loop, C and the lost message

    qlonglong movedMessage = 0;
    qlonglong movedTo = -1;
    model.setDropHandler([&](qlonglong message, qlonglong folder) {
        movedMessage = message;
        movedTo = folder;
    });
    std::unique_ptr<QMimeData> mime(model.mimeData({model.messageIndex(11)}));
    ASSERT_NE(mime, nullptr);
    EXPECT_FALSE(model.canDropMimeData(mime.get(), Qt::MoveAction, -1, -1, model.messageIndex(10)));
    model.dropMimeData(mime.get(), Qt::MoveAction, -1, -1, model.folderIndex(4));
    EXPECT_EQ(movedMessage, 11);
    EXPECT_EQ(movedTo, 4);
}

// A message written by another client reaches the list through the window's poll.
TEST_F(MessagesPageTest, PollShowsAMessageFromAnotherConnection)
{
    settings.set(u"Options"_s, u"CheckMessages"_s, u"5"_s);
    Access_Form form(session, prompt);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.teamView()->reading(); }, 20000));
    ASSERT_NE(form.poller(), nullptr);
    MessagesPage& page = *form.messagesPage();
    EXPECT_EQ(page.model()->list().rows.size(), 0);
    const auto tick = [&] {
        clock.advanceSeconds(5);
        form.poller()->tick();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form.poller()->busy(); }, 20000));
    };
    QSignalSpy read(&page, &MessagesPage::listRead);
    tick();
    EXPECT_EQ(read.count(), 0); // nothing new: the list is not read again

    const std::unique_ptr<Database> other = SqliteDatabase::open(dir.filePath(u"pax.db"_s));
    const qlonglong number = receive(u"Hello from elsewhere"_s, *other);
    tick();
    EXPECT_EQ(read.count(), 1);
    EXPECT_TRUE(page.model()->messageIndex(number).isValid());
    EXPECT_EQ(page.unread(), 1);
}

// Fetching runs away from the window's thread: the window answers meanwhile, cmdSTOP reaches the
// fetch, and what the fetch stored is listed when it ends.
TEST_F(MessagesPageTest, MailIsFetchedWithoutHoldingTheWindow)
{
    MessagesPage page(session, prompt);
    const QString path = dir.filePath(u"pax.db"_s);
    std::atomic_bool started{false};
    page.setMailFetcher([&](const FetchRequest& request, const std::atomic_bool& stop) {
        started = true;
        const std::unique_ptr<Database> own = SqliteDatabase::open(path);
        Mailbox theirs(*own, {kObrien, kObrien, {}}, kShop, clock);
        bx::test::ScriptedPrompt silent;
        EXPECT_TRUE(theirs.send({request.userId}, u"Fetched"_s, silent));
        for (int i = 0; i < 500 && !stop; ++i)
            QThread::msleep(10);
        return Outcome<int>(RefusalOf<>{stop ? u"stopped"_s : u"no stop"_s});
    });
    page.GET_MAIL();
    auto* cmdStop = child<QPushButton>(page, "cmdSTOP");
    ASSERT_TRUE(page.fetching());
    EXPECT_FALSE(cmdStop->isHidden());
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(started); }, 5000));
    QTest::mouseClick(cmdStop, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page.fetching(); }, 10000));
    EXPECT_TRUE(cmdStop->isHidden());
    EXPECT_EQ(prompt.last().text, u"stopped"_s);
    EXPECT_EQ(page.model()->list().rows.size(), 1);

    page.setMailFetcher([](const FetchRequest&, const std::atomic_bool&) -> Outcome<int> {
        throw DbError(DbErrorKind::Other, u"1"_s, u"disk I/O error"_s);
    });
    page.GET_MAIL();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page.fetching(); }, 10000));
    EXPECT_TRUE(prompt.last().text.contains(u"disk I/O error"_s));
}

} // namespace
