#include "mainwindow/ui/DiscussionPage.h"

#include "core/db/Database.h"
#include "mainwindow/ui/TaskGridModel.h"
#include "support/WindowTest.h"

#include <QCheckBox>
#include <QSignalSpy>
#include <QTableView>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

class DiscussionPageTest : public test::WindowTest
{
protected:
    void arrange() override
    {
        enterWorkshop(7);
        talked = addTask(u"O'Brien's talk"_s);
        addTask(u"quiet"_s);
        db().insertNumbered(u"ATTACH"_s, u"Attach_Number"_s,
                            {u"SCR_Number"_s, u"Attach_Type"_s, u"Group_ID"_s},
                            {talked, u"D"_s, 7});
    }

    qlonglong addTask(const QString& title) { return addOwnTask({{u"SCR_Title"_s, title}}); }

    qlonglong talked = 0;
};

TEST_F(DiscussionPageTest, ListsTheWorkshopAndNarrowsToDiscussionsWhenChecked)
{
    DiscussionPage page(session, prompt);
    page.refresh();
    EXPECT_EQ(page.model()->rowCount(), 2);

    test::child<QCheckBox>(page, "chkOnlyDiscussion")->setChecked(true);
    ASSERT_EQ(page.model()->rowCount(), 1);
    EXPECT_EQ(page.model()->data(page.model()->index(0, 0)).toString(), u"O'Brien's talk"_s);

    QSignalSpy opened(&page, &DiscussionPage::openTask);
    auto* list = test::child<QTableView>(page, "lvDiscussion");
    emit list->doubleClicked(page.model()->index(0, 0));
    ASSERT_EQ(opened.count(), 1);
    EXPECT_EQ(opened.at(0).at(0).toLongLong(), talked);
    EXPECT_TRUE(prompt.records().isEmpty());
}

} // namespace
