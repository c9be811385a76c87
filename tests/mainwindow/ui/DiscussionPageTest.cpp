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
        enterWorkshop(7);
        talked = addTask(QStringLiteral("O'Brien's talk"));
        addTask(QStringLiteral("quiet"));
        db().insertNumbered(QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
                            {QStringLiteral("SCR_Number"), QStringLiteral("Attach_Type"),
                             QStringLiteral("Group_ID")},
                            {talked, QStringLiteral("D"), 7});
    }

    qlonglong addTask(const QString& title)
    {
        return addOwnTask({{QStringLiteral("SCR_Title"), title}});
    }

    qlonglong talked = 0;
};

TEST_F(DiscussionPageTest, ListsTheWorkshopAndNarrowsToDiscussionsWhenChecked)
{
    DiscussionPage page(session, prompt);
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
