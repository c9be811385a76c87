#include "core/db/Database.h"
#include "messaging/EmailDraft.h"
#include "messaging/ui/dlgEmail.h"
#include "support/WindowTest.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
using bx::test::child;

namespace {

class EmailWindowTest : public bx::test::WindowTest
{
protected:
    void arrange() override
    {
        session.user.record.email = u"admin@example.org"_s; // as the log-on read it
    }
    qlonglong queued() { return db().scalar(u"SELECT COUNT(*) FROM MAIL_OUTBOX"_s).toLongLong(); }
};

} // namespace

// Closing asks only while a box holds text; No keeps the window and its text.
TEST_F(EmailWindowTest, ClosingWithUnsentTextAsksFirst)
{
    {
        dlgEmail window(session, prompt);
        window.show();
        window.close();
        EXPECT_FALSE(window.isVisible());
        EXPECT_TRUE(prompt.records().isEmpty());
    }
    dlgEmail window(session, prompt);
    window.show();
    child<QPlainTextEdit>(window, "txtMessage")->setPlainText(u"Draft"_s);
    prompt.answer(PromptAnswer::No);
    window.close();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(prompt.texts(), QStringList{u"Are you sure?"_s});
    prompt.answer(PromptAnswer::Yes);
    window.reject(); // Escape
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Rejected);
}

// A refused address keeps the window open with the focus on the recipients; a sent e-mail closes
// it without the question, leaving its record.
TEST_F(EmailWindowTest, SendClosesOnlyOnceQueued)
{
    dlgEmail window(session, prompt);
    window.show();
    QApplication::setActiveWindow(&window);
    auto* to = child<QLineEdit>(window, "txtTo");
    to->setText(u"bob"_s);
    child<QLineEdit>(window, "txtSubject")->setText(u"O'Brien's desk"_s);
    child<QAction>(window, "Send")->trigger();
    EXPECT_EQ(prompt.texts(), QStringList{u"bob is not a valid e-mail address"_s});
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.focusWidget(), to);
    EXPECT_EQ(queued(), 0);

    prompt.clear();
    to->setText(u"bob@example.org"_s);
    child<QAction>(window, "Send")->trigger();
    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.record().contains(u"Subject:   O'Brien's desk"_s));
    EXPECT_EQ(queued(), 1);
}
