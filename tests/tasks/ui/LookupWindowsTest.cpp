// The windows that keep and pick from the lookup lists: priorities, folders, rules, date ranges.

#include "core/Session.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "support/ScriptedPrompt.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"
#include "tasks/ui/F_LOOKUP.h"
#include "tasks/ui/LOOKUP_FORM.h"
#include "tasks/ui/dlgCategories.h"
#include "tasks/ui/dlgDateInF.h"
#include "tasks/ui/dlgPriority.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace bx;
using bx::test::child;

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

/**
 * A new embedded database with the priority O'Brien's, used by no task, and "1 - High", used by
 * one; the folders Alpha > Alpha's kid, and Beta, the child stored before its parent.
 */
class LookupWindows : public bx::test::WindowTest
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
        bx::test::addSubfolder(db, QStringLiteral("Beta"), QVariant());
        bx::test::addSubfolder(db, QStringLiteral("Alpha's kid"), QStringLiteral("Alpha"));
        bx::test::addSubfolder(db, QStringLiteral("Alpha"), QVariant());
        bx::test::addTaskRow(db, {{scr::Priority, QStringLiteral("1 - High")}});
    }
};
using LookupWindowsTest = LookupWindows;
using PickerWindowsTest = LookupWindows;

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

TEST_F(LookupWindowsTest, DeleteAsksAndRefusesAPriorityInUse)
{
    F_LOOKUP window(session, prompt);
    auto* list = child<QListWidget>(window, "lstItems");
    auto* remove = child<QPushButton>(window, "DELETE");
    ASSERT_EQ(list->count(), 4);

    remove->click();
    EXPECT_EQ(prompt.last().text, QStringLiteral("No item selected"));

    list->setCurrentItem(list->findItems(QStringLiteral("1 - High"), Qt::MatchExactly).value(0));
    prompt.answer(PromptAnswer::Ok);
    remove->click();
    EXPECT_EQ(prompt.last().text,
              QStringLiteral("There are tasks of this Priority. You can't delete it."));

    list->setCurrentItem(list->findItems(QStringLiteral("3 - Low"), Qt::MatchExactly).value(0));
    prompt.answer(PromptAnswer::Cancel);
    remove->click();
    EXPECT_EQ(prompt.last().text, QStringLiteral("Are you sure?"));
    EXPECT_EQ(prompt.last().buttons, PromptButtons::OkCancel);
    EXPECT_EQ(list->count(), 4);
    prompt.answer(PromptAnswer::Ok);
    remove->click();
    EXPECT_EQ(list->count(), 3);
    EXPECT_TRUE(list->findItems(QStringLiteral("3 - Low"), Qt::MatchExactly).isEmpty());
}

TEST_F(LookupWindowsTest, CategoryTreeMovesKeepExpandedNodesAndGuardsPseudoEntries)
{
    F_LOOKUP window(session, prompt);
    auto* table = child<QComboBox>(window, "cmbTable");
    table->setCurrentIndex(table->findText(QStringLiteral("Categories")));
    auto* tree = child<QTreeWidget>(window, "tvwFolders");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("Top Level"));
    ASSERT_NE(node(tree, QStringLiteral("Alpha")), nullptr);
    node(tree, QStringLiteral("Alpha"))->setExpanded(true);

    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(window.moveCategory(QStringLiteral("Beta"), QStringLiteral("Alpha's kid")));
    ASSERT_NE(node(tree, QStringLiteral("Beta")), nullptr);
    EXPECT_EQ(node(tree, QStringLiteral("Beta"))->parent()->text(0), QStringLiteral("Alpha's kid"));
    EXPECT_TRUE(node(tree, QStringLiteral("Alpha"))->isExpanded());
    EXPECT_TRUE(tree->topLevelItem(0)->isExpanded());

    prompt.answer(PromptAnswer::Yes);
    EXPECT_FALSE(window.moveCategory(QStringLiteral("Alpha"), QStringLiteral("Beta")));
    EXPECT_EQ(prompt.last().text, QStringLiteral("You can not move Alpha under to Beta"));

    tree->setCurrentItem(node(tree, QStringLiteral("Unspecified Folder")));
    child<QPushButton>(window, "MODIFY")->click();
    EXPECT_EQ(prompt.last().text, QStringLiteral("You can't rename Unspecified Folder"));
    prompt.answer(PromptAnswer::Ok);
    child<QPushButton>(window, "DELETE")->click();
    EXPECT_EQ(prompt.last().text, QStringLiteral("You can't delete 'Unspecified Folder'"));
}

TEST_F(LookupWindowsTest, NameEditorOffersParentsForFoldersAndRefusesDuplicates)
{
    LOOKUP_FORM form(session, prompt, LookupKind::Category, QStringLiteral("OPEN"),
                     QStringLiteral("Alpha"), QStringLiteral("Top Level"));
    auto* key = child<QLineEdit>(form, "HOLD_KEY");
    EXPECT_EQ(key->text(), QStringLiteral("Alpha"));
    auto* parents = child<QTreeWidget>(form, "tvwParent");
    EXPECT_EQ(node(parents, QStringLiteral("Alpha's kid")), nullptr); // not below itself
    EXPECT_EQ(parents->currentItem()->text(0), QStringLiteral("Top Level"));

    key->clear();
    QTest::keyClicks(key, QStringLiteral("beta"));
    child<QPushButton>(form, "cmdOK")->click();
    EXPECT_EQ(prompt.last().text, QStringLiteral("Value 'beta' already exists."));
    EXPECT_NE(form.result(), QDialog::Accepted);

    key->setText(QStringLiteral("Alpha O'Neil"));
    parents->setCurrentItem(node(parents, QStringLiteral("Beta")));
    child<QPushButton>(form, "cmdOK")->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(session.db()
                  .scalar(QStringLiteral("SELECT Parent_Category FROM LU_CATEGORY WHERE "
                                         "Category = ?"),
                          {QStringLiteral("Alpha's kid")})
                  .toString(),
              QStringLiteral("Alpha O'Neil"));
}

} // namespace
