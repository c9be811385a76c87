#include "mainwindow/ui/DiscussionPage.h"

#include "core/db/Database.h"
#include "mainwindow/ui/TaskGridModel.h"
#include "support/WindowTest.h"

#include <QCheckBox>
#include <QSignalSpy>
#include <QTableView>

#include <gtest/gtest.h>

using namespace bx;

namespace {

class DiscussionPageTest : public test::WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        db().execute(QStringLiteral("INSERT INTO LU_GROUP (GROUP_ID, GROUP_NAME) VALUES (?, ?)"),
                     {7, QStringLiteral("Shop")});
        session.currentWorkshopId = 7;
        talked = addTask(QStringLiteral("O'Brien's talk"));
        addTask(QStringLiteral("quiet"));
        db().insertNumbered(QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
                            {QStringLiteral("SCR_Number"), QStringLiteral("Attach_Type"),
                             QStringLiteral("Group_ID")},
                            {talked, QStringLiteral("D"), 7});
    }

    qlonglong addTask(const QString& title)
    {
        const qlonglong n = db().insertNumbered(
            QStringLiteral("SCR"), QStringLiteral("SCR_Counter"),
            {QStringLiteral("SCR_Title"), QStringLiteral("SCR_Status"),
             QStringLiteral("SCR_Owner_User_ID"), QStringLiteral("SCR_Request_ID"),
             QStringLiteral("SCR_Group_ID")},
            {title, QStringLiteral("A"), QStringLiteral("admin"), QStringLiteral("admin"), 7});
        db().execute(
            QStringLiteral("UPDATE SCR SET SCR_Number = SCR_Counter WHERE SCR_Counter = ?"), {n});
        return n;
    }

    qlonglong talked = 0;
};

TEST_F(DiscussionPageTest, ListsTheWorkshopAndNarrowsToDiscussionsWhenChecked)
{
    DiscussionPage page(session, prompt);
    EXPECT_EQ(page.objectName(), QStringLiteral("DISCUSSION"));
    page.refresh();
    EXPECT_EQ(page.model()->rowCount(), 2);

    test::child<QCheckBox>(page, "chkOnlyDiscussion")->setChecked(true);
    ASSERT_EQ(page.model()->rowCount(), 1);
    EXPECT_EQ(page.model()->data(page.model()->index(0, 0)).toString(),
              QStringLiteral("O'Brien's talk"));

    QSignalSpy opened(&page, &DiscussionPage::openTask);
    auto* list = test::child<QTableView>(page, "lvDiscussion");
    emit list->doubleClicked(page.model()->index(0, 0));
    ASSERT_EQ(opened.count(), 1);
    EXPECT_EQ(opened.at(0).at(0).toLongLong(), talked);
    EXPECT_TRUE(prompt.records().isEmpty());
}

} // namespace
