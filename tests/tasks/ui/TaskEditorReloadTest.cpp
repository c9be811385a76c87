// The task editor when its save is refused because the task changed elsewhere meanwhile.

#include "core/Session.h"
#include "core/db/Database.h"
#include "support/ScriptedPrompt.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"
#include "tasks/ui/SCR_FORM.h"

#include <QAction>
#include <QLineEdit>
#include <QTextEdit>

#include <gtest/gtest.h>

using namespace bx;
using bx::test::child;

namespace {

const QString kRefused =
    QStringLiteral("This task was changed since you opened it. Your changes were not saved.");

class TaskEditorReloadTest : public bx::test::WindowTest
{
protected:
    void SetUp() override
    {
        qputenv("BRINDLEPAX_DATA", dir.path().toUtf8());
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        session.user.userId = QStringLiteral("ann");
        session.currentWorkshopId = 7;
        bx::test::addUsers(db(), {QStringLiteral("ann")});
        bx::test::addWorkshop(db(), 7);
    }
    void TearDown() override
    {
        session.closeDatabase();
        qunsetenv("BRINDLEPAX_DATA");
    }

    QString stored(qlonglong task, const QString& column)
    {
        return db()
            .scalar(QStringLiteral("SELECT ") + column +
                        QStringLiteral(" FROM SCR WHERE SCR_Number = ?"),
                    {task})
            .toString();
    }
};

// No keeps the window with everything typed; Yes shows the task as stored, with the typed
// description after the stored one, and nothing is written until the next save writes it.
TEST_F(TaskEditorReloadTest, RefusedSaveKeepsTheWindowOpenAndReloadKeepsTheTypedDescription)
{
    const qlonglong n = bx::test::addTaskRow(
        db(), {{QStringLiteral("SCR_Title"), QStringLiteral("Plan")},
               {QStringLiteral("SCR_Comments"), QStringLiteral("Stored words")}});
    SCR_FORM window(session, prompt, nullptr);
    ASSERT_TRUE(window.open(TaskOpening::existing(n)));
    window.show();
    auto* title = child<QLineEdit>(window, "T_TITLE");
    auto* description = child<QTextEdit>(window, "T_SCRCOMMENTS");
    title->setText(QStringLiteral("Ann's plan"));
    description->moveCursor(QTextCursor::End);
    description->insertPlainText(QStringLiteral(" and Ann's"));
    db().execute(QStringLiteral("UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?"),
                 {QStringLiteral("Bob's plan"), n});

    prompt.answer(PromptAnswer::No);
    EXPECT_FALSE(window.saveTask());
    EXPECT_TRUE(prompt.last().text.startsWith(kRefused + QStringLiteral("\n\n")))
        << prompt.last().text.toStdString();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(title->text(), QStringLiteral("Ann's plan"));
    EXPECT_EQ(description->toPlainText(), QStringLiteral("Stored words and Ann's"));
    EXPECT_EQ(stored(n, QStringLiteral("SCR_Title")), QStringLiteral("Bob's plan"));

    prompt.answer(PromptAnswer::Yes);
    EXPECT_FALSE(window.saveTask());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(title->text(), QStringLiteral("Bob's plan"));
    EXPECT_EQ(description->toPlainText(), QStringLiteral("Stored words\nStored words and Ann's"));
    EXPECT_TRUE(window.isDirty());

    prompt.clear();
    EXPECT_TRUE(window.saveTask());
    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
    EXPECT_EQ(stored(n, QStringLiteral("SCR_Title")), QStringLiteral("Bob's plan"));
    EXPECT_EQ(stored(n, QStringLiteral("SCR_Comments_AsText")),
              QStringLiteral("Stored words\nStored words and Ann's"));
    EXPECT_FALSE(window.isVisible());
}

} // namespace
