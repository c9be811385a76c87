#include "mainwindow/ui/TaskPreviewPane.h"

#include "core/db/Database.h"
#include "support/TaskRows.h"
#include "support/Watchdog.h"
#include "support/WindowTest.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>
#include <sys/stat.h>

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

// A description naming /dev/zero or a pipe as an image is shown at once, as text.
TEST_F(TaskPreviewPaneTest, DescriptionsLoadNothing)
{
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    bx::test::addWorkshop(db(), 70, QStringLiteral("Desk"));
    TaskPreviewPane pane(session, prompt);
    pane.resize(400, 300);
    for (const QString& source : {QStringLiteral("file:///dev/zero"), fifo}) {
        const QString comment =
            QStringLiteral("<p>see<img src=\"") + source + QStringLiteral("\"></p>");
        const qlonglong n =
            bx::test::addTaskRow(db(), {{QStringLiteral("SCR_Title"), QStringLiteral("planted")},
                                        {QStringLiteral("SCR_Comments"), comment},
                                        {QStringLiteral("SCR_Group_ID"), 70}});
        const bx::test::Watchdog watchdog("previewing a task whose description names " +
                                          source.toStdString());
        QElapsedTimer timer;
        timer.start();
        ASSERT_TRUE(pane.showTask(n));
        pane.viewport()->grab();
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_TRUE(pane.toPlainText().contains(QStringLiteral("see"))) << source.toStdString();
    }
}

} // namespace
