#include "core/Session.h"
#include "core/db/Database.h"
#include "support/ScriptedPrompt.h"
#include "support/WindowTest.h"
#include "tasks/ui/dlgCategories.h"
#include "tasks/ui/dlgDateInF.h"
#include "tasks/ui/dlgPriority.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace bx;
using bx::test::child;
using bx::test::ScriptedPrompt;

namespace {

QTreeWidgetItem* node(QTreeWidget* tree, const QString& name)
{
    const auto found = tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

QStringList shown(QTreeWidget* tree)
{
    QStringList out;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        out << (*it)->text(0);
    return out;
}

/** A new embedded database with the priority O'Brien's and the folders Alpha > Alpha's kid, Beta.
 */
class PickerWindowsTest : public bx::test::WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        Database& db = session.db();
        db.execute(QStringLiteral("INSERT INTO LU_PRIORITY (Priority) VALUES (?)"),
                   {QStringLiteral("0 - O'Brien's")});
        const QString insert =
            QStringLiteral("INSERT INTO LU_CATEGORY (Category, Parent_Category) VALUES (?, ?)");
        db.execute(insert, {QStringLiteral("Beta"), QVariant()});
        db.execute(insert, {QStringLiteral("Alpha's kid"), QStringLiteral("Alpha")});
        db.execute(insert, {QStringLiteral("Alpha"), QVariant()});
    }
};

} // namespace

TEST_F(PickerWindowsTest, PriorityOkNeedsASelectionThenReturnsIt)
{
    dlgPriority picker(session, prompt, false);
    auto* tree = child<QTreeWidget>(picker, "tvwPriority");
    EXPECT_EQ(shown(tree), (QStringList{QStringLiteral("0 - O'Brien's"), QStringLiteral("1 - High"),
                                        QStringLiteral("2 - Normal"), QStringLiteral("3 - Low")}));
    child<QPushButton>(picker, "cmdOK")->click();
    EXPECT_EQ(prompt.texts(), QStringList{QStringLiteral("Please select a priority.")});
    EXPECT_NE(picker.result(), QDialog::Accepted);

    tree->setCurrentItem(node(tree, QStringLiteral("0 - O'Brien's")));
    child<QPushButton>(picker, "cmdOK")->click();
    EXPECT_EQ(picker.result(), QDialog::Accepted);
    EXPECT_EQ(picker.chosen(), QStringList{QStringLiteral("0 - O'Brien's")});
}

TEST_F(PickerWindowsTest, FolderTreePreselectsCurrent)
{
    dlgCategories picker(session, prompt, false, nullptr, QStringLiteral("ALPHA'S KID"));
    auto* tree = child<QTreeWidget>(picker, "tvwCategories");
    EXPECT_EQ(shown(tree), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Alpha's kid"),
                                        QStringLiteral("Beta")}));
    ASSERT_NE(node(tree, QStringLiteral("Alpha's kid")), nullptr);
    EXPECT_EQ(node(tree, QStringLiteral("Alpha's kid"))->parent(),
              node(tree, QStringLiteral("Alpha")));
    child<QPushButton>(picker, "cmdOK")->click();
    EXPECT_TRUE(prompt.records().isEmpty());
    EXPECT_EQ(picker.chosen(), QStringList{QStringLiteral("Alpha's kid")});
}

// Choosing several, only ticks count, not the selection; the current folder comes ticked.
TEST_F(PickerWindowsTest, SeveralAreChosenByTicking)
{
    dlgPriority priorities(session, prompt, true);
    auto* tree = child<QTreeWidget>(priorities, "tvwPriority");
    tree->setCurrentItem(node(tree, QStringLiteral("2 - Normal")));
    EXPECT_FALSE(priorities.confirm());
    EXPECT_EQ(prompt.texts(), QStringList{QStringLiteral("Please select a priority.")});

    dlgCategories folders(session, prompt, true, nullptr, QStringLiteral("beta"));
    tree = child<QTreeWidget>(folders, "tvwCategories");
    node(tree, QStringLiteral("Alpha's kid"))->setCheckState(0, Qt::Checked);
    EXPECT_TRUE(folders.confirm());
    EXPECT_EQ(folders.chosen(),
              (QStringList{QStringLiteral("Alpha's kid"), QStringLiteral("Beta")}));
}

TEST_F(PickerWindowsTest, CancelGivesNothing)
{
    const auto cancelShown = [] {
        QTimer::singleShot(0, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->click();
        });
    };
    cancelShown();
    EXPECT_FALSE(dlgCategories::choose(session, prompt, false, nullptr, QStringLiteral("Beta")));
    cancelShown();
    EXPECT_FALSE(dlgPriority::choose(session, prompt, true, nullptr));
    cancelShown();
    EXPECT_FALSE(dlgDateInF::choose(session, prompt, nullptr));
    EXPECT_TRUE(prompt.records().isEmpty());
}

TEST_F(PickerWindowsTest, DateRangeShowsRefusalsAndReturnsTheRange)
{
    dlgDateInF picker(session, prompt);
    const QDate today(2024, 1, 31);
    auto* start = child<QDateEdit>(picker, "dtStart");
    EXPECT_EQ(start->date(), today);
    EXPECT_EQ(child<QDateEdit>(picker, "dtEnd")->date(), today);
    auto* fields = child<QComboBox>(picker, "cboField");
    fields->setCurrentIndex(fields->findText(QStringLiteral("Close Date")));

    child<QPushButton>(picker, "cmdOK")->click(); // months chosen, none typed
    child<QRadioButton>(picker, "optBetween")->setChecked(true);
    start->setDate(today.addDays(1));
    child<QPushButton>(picker, "cmdOK")->click();
    EXPECT_EQ(prompt.texts(),
              (QStringList{QStringLiteral("Please specify Number of Months"),
                           QStringLiteral("Start Date is more then the End one.")}));
    EXPECT_NE(picker.result(), QDialog::Accepted);

    child<QRadioButton>(picker, "optDays")->setChecked(true);
    QTest::keyClicks(child<QLineEdit>(picker, "txtDays"), QStringLiteral("10"));
    child<QPushButton>(picker, "cmdOK")->click();
    EXPECT_EQ(picker.result(), QDialog::Accepted);
    ASSERT_TRUE(picker.chosen().has_value());
    EXPECT_EQ(picker.chosen()->field, QStringLiteral("closedate"));
    EXPECT_EQ(picker.chosen()->days, 10);
    EXPECT_EQ(picker.chosen()->start, QDate(2024, 1, 21));
    EXPECT_EQ(picker.chosen()->end, today);
}
