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
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace bx;
using bx::test::child;

namespace {

constexpr qlonglong kShop = 4;
const QString kObrien = QStringLiteral("O'Brien");

class MessagesPageTest : public bx::test::WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        enterWorkshop(kShop);
        bx::test::addUsers(db(), {kObrien});
        session.user.record.userName = QStringLiteral("Admin Person");
    }

    /** A message from O'Brien to admin, sent through another connection as his client would. */
    qlonglong receive(const QString& body, Database& through)
    {
        Mailbox theirs(through, {kObrien, kObrien, {}}, kShop, clock);
        const auto sent = theirs.send({QStringLiteral("admin")}, body, prompt);
        EXPECT_TRUE(sent);
        return through
            .scalar(QStringLiteral("SELECT MAX(Mail_Number) FROM MAIL WHERE Owner_User_ID = ?"),
                    {QStringLiteral("admin")})
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
    const qlonglong first = receive(QStringLiteral("First from O'Brien"), db());
    const qlonglong second = receive(QStringLiteral("Second"), db());
    MessagesPage page(session, prompt);
    page.RefreshMessageList();
    EXPECT_EQ(page.unread(), 2);
    QSignalSpy unread(&page, &MessagesPage::unreadChanged);

    select(page, first); // nothing written yet: no question
    EXPECT_EQ(boxText(page), QStringLiteral("First from O'Brien"));
    EXPECT_TRUE(prompt.records().isEmpty());
    ASSERT_EQ(unread.count(), 1);
    EXPECT_EQ(unread.at(0).at(0).toLongLong(), 1);
    EXPECT_NE(db().scalar(QStringLiteral("SELECT Viewed FROM MAIL WHERE Mail_Number = ?"), {first})
                  .toLongLong(),
              0);

    auto* body = child<QPlainTextEdit>(page, "NewMessageBody");
    body->clear();
    QTest::keyClicks(body, QStringLiteral("Draft"));
    prompt.answer(PromptAnswer::No);
    select(page, second);
    EXPECT_EQ(prompt.last().text, mail::kReadOverCompose);
    EXPECT_EQ(boxText(page), QStringLiteral("Draft"));
    prompt.answer(PromptAnswer::Yes);
    select(page, first);
    select(page, second);
    EXPECT_EQ(boxText(page), QStringLiteral("Second"));
}

TEST_F(MessagesPageTest, ReplyAndForwardFillTheComposeBox)
{
    const qlonglong number = receive(QStringLiteral("Question?"), db());
    MessagesPage page(session, prompt);
    page.RefreshMessageList();
    select(page, number);
    auto* to = child<QLabel>(page, "lblTo");
    child<QAction>(page, "Reply")->trigger();
    EXPECT_EQ(to->text(), kObrien);
    EXPECT_EQ(boxText(page),
              QStringLiteral("\n\n=======( Admin Person 2024-01-31 14:05) ======\n\nQuestion?"));

    child<QAction>(page, "Forward")->trigger();
    EXPECT_EQ(to->text(), QStringLiteral("To: Select Recipient from TeamView"));
    EXPECT_TRUE(boxText(page).startsWith(
        QStringLiteral("\n\n=======( Forwarded: O'Brien, 2024-01-31 14:05) ======\n\n")));

    // A send from the page: to O'Brien and to an address typed in the line, which is asked about.
    page.setRecipients({kObrien});
    child<QLineEdit>(page, "txtTo")->setText(QStringLiteral("x@one.example"));
    session.user.record.email = QStringLiteral("admin@home.example");
    prompt.answer(PromptAnswer::Yes);
    QSignalSpy status(&page, &MessagesPage::status);
    child<QPushButton>(page, "cmdSendMessage")->click();
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status.at(0).at(0).toString(), mail::kMessageSent);
    EXPECT_TRUE(boxText(page).startsWith(mail::kSentMarkerLf));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM MAIL_OUTBOX")).toLongLong(), 1);
}

// A message written by another client reaches the list through the window's poll.
TEST_F(MessagesPageTest, PollShowsAMessageFromAnotherConnection)
{
    settings.set(QStringLiteral("Options"), QStringLiteral("CheckMessages"), QStringLiteral("5"));
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

    const std::unique_ptr<Database> other =
        SqliteDatabase::open(dir.filePath(QStringLiteral("pax.db")));
    const qlonglong number = receive(QStringLiteral("Hello from elsewhere"), *other);
    tick();
    EXPECT_EQ(read.count(), 1);
    EXPECT_TRUE(page.model()->messageIndex(number).isValid());
    EXPECT_EQ(page.unread(), 1);
}

} // namespace
