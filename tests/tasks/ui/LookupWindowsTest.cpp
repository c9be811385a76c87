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

using namespace Qt::StringLiterals;
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
        db.execute(u"INSERT INTO LU_PRIORITY (Priority) VALUES (?)"_s, {u"0 - O'Brien's"_s});
        bx::test::addSubfolder(db, u"Beta"_s, QVariant());
        bx::test::addSubfolder(db, u"Alpha's kid"_s, u"Alpha"_s);
        bx::test::addSubfolder(db, u"Alpha"_s, QVariant());
        bx::test::addTaskRow(db, {{scr::Priority, u"1 - High"_s}});
    }
};
using LookupWindowsTest = LookupWindows;
using PickerWindowsTest = LookupWindows;

TEST_F(PickerWindowsTest, PriorityOkNeedsASelectionThenReturnsIt)
{
    dlgPriority picker(session, prompt, false);
    auto* tree = child<QTreeWidget>(picker, "tvwPriority");
    EXPECT_EQ(shown(tree),
              (QStringList{u"0 - O'Brien's"_s, u"1 - High"_s, u"2 - Normal"_s, u"3 - Low"_s}));
    child<QPushButton>(picker, "cmdOK")->click();
    EXPECT_EQ(prompt.texts(), QStringList{u"Please select a priority."_s});
    EXPECT_NE(picker.result(), QDialog::Accepted);

    tree->setCurrentItem(node(tree, u"0 - O'Brien's"_s));
    child<QPushButton>(picker, "cmdOK")->click();
    EXPECT_EQ(picker.result(), QDialog::Accepted);
    EXPECT_EQ(picker.chosen(), QStringList{u"0 - O'Brien's"_s});
}

TEST_F(PickerWindowsTest, FolderTreePreselectsCurrent)
{
    dlgCategories picker(session, prompt, false, nullptr, u"ALPHA'S KID"_s);
    auto* tree = child<QTreeWidget>(picker, "tvwCategories");
    EXPECT_EQ(shown(tree), (QStringList{u"Alpha"_s, u"Alpha's kid"_s, u"Beta"_s}));
    ASSERT_NE(node(tree, u"Alpha's kid"_s), nullptr);
    EXPECT_EQ(node(tree, u"Alpha's kid"_s)->parent(), node(tree, u"Alpha"_s));
    child<QPushButton>(picker, "cmdOK")->click();
    EXPECT_TRUE(prompt.records().isEmpty());
    EXPECT_EQ(picker.chosen(), QStringList{u"Alpha's kid"_s});
}

// Choosing several, only ticks count, not the selection; the current folder comes ticked.
TEST_F(PickerWindowsTest, SeveralAreChosenByTicking)
{
    dlgPriority priorities(session, prompt, true);
    auto* tree = child<QTreeWidget>(priorities, "tvwPriority");
    tree->setCurrentItem(node(tree, u"2 - Normal"_s));
    EXPECT_FALSE(priorities.confirm());
    EXPECT_EQ(prompt.texts(), QStringList{u"Please select a priority."_s});

    dlgCategories folders(session, prompt, true, nullptr, u"beta"_s);
    tree = child<QTreeWidget>(folders, "tvwCategories");
    node(tree, u"Alpha's kid"_s)->setCheckState(0, Qt::Checked);
    EXPECT_TRUE(folders.confirm());
    EXPECT_EQ(folders.chosen(), (QStringList{u"Alpha's kid"_s, u"Beta"_s}));
}

TEST_F(PickerWindowsTest, CancelGivesNothing)
{
    const auto cancelShown = [] {
        QTimer::singleShot(0, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->findChild<QPushButton*>(u"cmdCancel"_s)->click();
        });
    };
    cancelShown();
    EXPECT_FALSE(dlgCategories::choose(session, prompt, false, nullptr, u"Beta"_s));
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
    auto* fields = child<QComboBox>(picker, "cboField");
    fields->setCurrentIndex(fields->findText(u"Close Date"_s));

    // Which input is refused with which text: DateRangeTest.
    child<QRadioButton>(picker, "optBetween")->setChecked(true);
    start->setDate(today.addDays(1));
    child<QPushButton>(picker, "cmdOK")->click();
    EXPECT_EQ(prompt.texts(), QStringList{u"Start Date is more then the End one."_s});
    EXPECT_NE(picker.result(), QDialog::Accepted);

    child<QRadioButton>(picker, "optDays")->setChecked(true);
    QTest::keyClicks(child<QLineEdit>(picker, "txtDays"), u"10"_s);
    child<QPushButton>(picker, "cmdOK")->click();
    EXPECT_EQ(picker.result(), QDialog::Accepted);
    ASSERT_TRUE(picker.chosen().has_value());
    EXPECT_EQ(picker.chosen()->field, u"closedate"_s);
    EXPECT_EQ(picker.chosen()->start, QDate(2024, 1, 21));
}

TEST_F(LookupWindowsTest, DeleteAsksAndTheListFollows)
{
    F_LOOKUP window(session, prompt);
    auto* list = child<QListWidget>(window, "lstItems");
    auto* remove = child<QPushButton>(window, "DELETE");
    ASSERT_EQ(list->count(), 4);

    // The refusals themselves, and their order: LookupListsTest.
    list->setCurrentItem(list->findItems(u"3 - Low"_s, Qt::MatchExactly).value(0));
    prompt.answer(PromptAnswer::Cancel);
    remove->click();
    EXPECT_EQ(prompt.last().text, u"Are you sure?"_s);
    EXPECT_EQ(prompt.last().buttons, PromptButtons::OkCancel);
    EXPECT_EQ(list->count(), 4);
    prompt.answer(PromptAnswer::Ok);
    remove->click();
    EXPECT_EQ(list->count(), 3);
    EXPECT_TRUE(list->findItems(u"3 - Low"_s, Qt::MatchExactly).isEmpty());
}

TEST_F(LookupWindowsTest, CategoryTreeMovesKeepExpandedNodesAndGuardsPseudoEntries)
{
    F_LOOKUP window(session, prompt);
    auto* table = child<QComboBox>(window, "cmbTable");
    table->setCurrentIndex(table->findText(u"Categories"_s));
    auto* tree = child<QTreeWidget>(window, "tvwFolders");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), u"Top Level"_s);
    ASSERT_NE(node(tree, u"Alpha"_s), nullptr);
    node(tree, u"Alpha"_s)->setExpanded(true);

    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(window.moveCategory(u"Beta"_s, u"Alpha's kid"_s));
    ASSERT_NE(node(tree, u"Beta"_s), nullptr);
    EXPECT_EQ(node(tree, u"Beta"_s)->parent()->text(0), u"Alpha's kid"_s);
    EXPECT_TRUE(node(tree, u"Alpha"_s)->isExpanded());
    EXPECT_TRUE(tree->topLevelItem(0)->isExpanded());

    prompt.answer(PromptAnswer::Yes);
    EXPECT_FALSE(window.moveCategory(u"Alpha"_s, u"Beta"_s));
    EXPECT_EQ(prompt.last().text, u"You can not move Alpha under to Beta"_s);

    tree->setCurrentItem(node(tree, u"Unspecified Folder"_s));
    child<QPushButton>(window, "MODIFY")->click();
    EXPECT_EQ(prompt.last().text, u"You can't rename Unspecified Folder"_s);
}

TEST_F(LookupWindowsTest, NameEditorOffersParentsForFoldersAndRefusesDuplicates)
{
    LOOKUP_FORM form(session, prompt, LookupKind::Category, u"OPEN"_s, u"Alpha"_s, u"Top Level"_s);
    auto* key = child<QLineEdit>(form, "HOLD_KEY");
    EXPECT_EQ(key->text(), u"Alpha"_s);
    auto* parents = child<QTreeWidget>(form, "tvwParent");
    EXPECT_EQ(node(parents, u"Alpha's kid"_s), nullptr); // not below itself
    EXPECT_EQ(parents->currentItem()->text(0), u"Top Level"_s);

    key->clear();
    QTest::keyClicks(key, u"beta"_s);
    child<QPushButton>(form, "cmdOK")->click();
    EXPECT_EQ(prompt.last().text, u"Value 'beta' already exists."_s);
    EXPECT_NE(form.result(), QDialog::Accepted);

    key->setText(u"Alpha O'Neil"_s);
    parents->setCurrentItem(node(parents, u"Beta"_s));
    child<QPushButton>(form, "cmdOK")->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(session.db()
                  .scalar(u"SELECT Parent_Category FROM LU_CATEGORY WHERE "
                          "Category = ?"_s,
                          {u"Alpha's kid"_s})
                  .toString(),
              u"Alpha O'Neil"_s);
}

} // namespace
