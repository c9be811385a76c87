#include "core/Session.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "support/ScriptedPrompt.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"
#include "tasks/ui/F_LOOKUP.h"
#include "tasks/ui/LOOKUP_FORM.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
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

/** A new embedded database with the categories Alpha > Alpha's kid, and Beta. */
class LookupWindowsTest : public bx::test::WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        Database& db = session.db();
        const QString insert =
            QStringLiteral("INSERT INTO LU_CATEGORY (Category, Parent_Category) VALUES (?, ?)");
        db.execute(insert, {QStringLiteral("Alpha"), QVariant()});
        db.execute(insert, {QStringLiteral("Alpha's kid"), QStringLiteral("Alpha")});
        db.execute(insert, {QStringLiteral("Beta"), QVariant()});
        bx::test::addTaskRow(db, {{scr::Priority, QStringLiteral("1 - High")}});
    }
};

TEST_F(LookupWindowsTest, DeleteAsksAndRefusesAPriorityInUse)
{
    F_LOOKUP window(session, prompt);
    auto* list = child<QListWidget>(window, "lstItems");
    auto* remove = child<QPushButton>(window, "DELETE");
    ASSERT_EQ(list->count(), 3);

    remove->click();
    EXPECT_EQ(prompt.last().text, QStringLiteral("No item selected"));

    list->setCurrentRow(0); // "1 - High", used by task 1
    prompt.answer(PromptAnswer::Ok);
    remove->click();
    EXPECT_EQ(prompt.last().text,
              QStringLiteral("There are tasks of this Priority. You can't delete it."));

    list->setCurrentItem(list->findItems(QStringLiteral("3 - Low"), Qt::MatchExactly).value(0));
    prompt.answer(PromptAnswer::Cancel);
    remove->click();
    EXPECT_EQ(prompt.last().text, QStringLiteral("Are you sure?"));
    EXPECT_EQ(prompt.last().buttons, PromptButtons::OkCancel);
    EXPECT_EQ(list->count(), 3);
    prompt.answer(PromptAnswer::Ok);
    remove->click();
    EXPECT_EQ(list->count(), 2);
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
