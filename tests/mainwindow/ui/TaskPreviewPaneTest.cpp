#include "mainwindow/ui/TaskPreviewPane.h"

#include "core/db/Database.h"
#include "support/TaskRows.h"
#include "support/Watchdog.h"
#include "support/WindowTest.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

class TaskPreviewPaneTest : public bx::test::WindowTest
{
};

// The pane shows the chosen task, nothing for a task that is gone, and reports a failed read.
TEST_F(TaskPreviewPaneTest, ShowsTheTaskAndReportsReadErrors)
{
    bx::test::addWorkshop(db(), 70, u"Desk"_s);
    const qlonglong n = bx::test::addTaskRow(db(), {{u"SCR_Title"_s, u"<b>O'Brien"_s},
                                                    {u"SCR_Request_ID"_s, u"admin"_s},
                                                    {u"SCR_Owner_User_ID"_s, u"admin"_s},
                                                    {u"SCR_Group_ID"_s, 70}});

    TaskPreviewPane pane(session, prompt);
    ASSERT_TRUE(pane.showTask(n));
    EXPECT_TRUE(pane.toPlainText().startsWith(u"<b>O'Brien"_s)) << pane.toPlainText().toStdString();
    EXPECT_EQ(pane.task(), n);

    EXPECT_TRUE(pane.showTask(n + 1000));
    EXPECT_TRUE(pane.toPlainText().isEmpty());
    EXPECT_EQ(pane.task(), 0);
    EXPECT_TRUE(prompt.records().isEmpty());

    ASSERT_TRUE(pane.showTask(n));
    db().execute(u"ALTER TABLE SCR RENAME TO SCR_gone"_s);
    EXPECT_FALSE(pane.showTask(n));
    EXPECT_TRUE(pane.toPlainText().isEmpty());
    ASSERT_EQ(prompt.records().size(), 1);
    EXPECT_EQ(prompt.last().icon, PromptIcon::Critical);
}

// A description naming /dev/zero or a pipe as an image is shown at once, as text.
TEST_F(TaskPreviewPaneTest, DescriptionsLoadNothing)
{
    const QString fifo = dir.filePath(u"fifo"_s);
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    bx::test::addWorkshop(db(), 70, u"Desk"_s);
    TaskPreviewPane pane(session, prompt);
    pane.resize(400, 300);
    for (const QString& source : {u"file:///dev/zero"_s, fifo}) {
        const QString comment = u"<p>see<img src=\""_s + source + u"\"></p>"_s;
        const qlonglong n = bx::test::addTaskRow(db(), {{u"SCR_Title"_s, u"planted"_s},
                                                        {u"SCR_Comments"_s, comment},
                                                        {u"SCR_Group_ID"_s, 70}});
        const bx::test::Watchdog watchdog("previewing a task whose description names " +
                                          source.toStdString());
        QElapsedTimer timer;
        timer.start();
        ASSERT_TRUE(pane.showTask(n));
        pane.viewport()->grab();
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_TRUE(pane.toPlainText().contains(u"see"_s)) << source.toStdString();
    }
}

} // namespace
