#include "mainwindow/ui/TaskPreviewPane.h"

#include "core/db/Database.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"

#include <gtest/gtest.h>

using namespace bx;

namespace {

class TaskPreviewPaneTest : public bx::test::WindowTest
{
};

// The pane shows the chosen task, nothing for a task that is gone, and reports a failed read.
TEST_F(TaskPreviewPaneTest, ShowsTheTaskAndReportsReadErrors)
{
    bx::test::addWorkshop(db(), 70, QStringLiteral("Desk"));
    const qlonglong n =
        bx::test::addTaskRow(db(), {{QStringLiteral("SCR_Title"), QStringLiteral("<b>O'Brien")},
                                    {QStringLiteral("SCR_Request_ID"), QStringLiteral("admin")},
                                    {QStringLiteral("SCR_Owner_User_ID"), QStringLiteral("admin")},
                                    {QStringLiteral("SCR_Group_ID"), 70}});

    TaskPreviewPane pane(session, prompt);
    ASSERT_TRUE(pane.showTask(n));
    EXPECT_TRUE(pane.toPlainText().startsWith(QStringLiteral("<b>O'Brien")))
        << pane.toPlainText().toStdString();
    EXPECT_EQ(pane.task(), n);

    EXPECT_TRUE(pane.showTask(n + 1000));
    EXPECT_TRUE(pane.toPlainText().isEmpty());
    EXPECT_EQ(pane.task(), 0);
    EXPECT_TRUE(prompt.records().isEmpty());

    ASSERT_TRUE(pane.showTask(n));
    db().execute(QStringLiteral("ALTER TABLE SCR RENAME TO SCR_gone"));
    EXPECT_FALSE(pane.showTask(n));
    EXPECT_TRUE(pane.toPlainText().isEmpty());
    ASSERT_EQ(prompt.records().size(), 1);
    EXPECT_EQ(prompt.last().icon, PromptIcon::Critical);
}

} // namespace
