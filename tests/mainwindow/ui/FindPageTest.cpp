#include "mainwindow/ui/FindPage.h"

#include "core/db/Database.h"
#include "mainwindow/ui/F_DOCFIND.h"
#include "mainwindow/ui/F_FIND.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace bx;
using bx::test::child;

namespace {

class FindPageTest : public bx::test::WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        enterWorkshop(7);
    }

    qlonglong addTask(const QString& title)
    {
        return addOwnTask({{QStringLiteral("SCR_Title"), title},
                           {QStringLiteral("SCR_StartDate"), naive(QDate(2024, 1, 2))}});
    }
};

TEST_F(FindPageTest, TheDialogChecksAndLeavesItsOptionsInTheSession)
{
    F_FIND dialog(session, prompt);
    child<QLineEdit>(dialog, "txtTitle")->setText(QStringLiteral("[a]"));
    EXPECT_FALSE(dialog.confirm());
    child<QLineEdit>(dialog, "txtTitle")->setText(QStringLiteral(" O'Brien* "));
    child<QRadioButton>(dialog, "optDays")->setChecked(true);
    EXPECT_FALSE(dialog.confirm());
    child<QLineEdit>(dialog, "txtDays")->setText(QStringLiteral("7"));
    child<QCheckBox>(dialog, "chkAllStatus")->setChecked(false);
    child<QCheckBox>(dialog, "chkCanceled")->setChecked(true);
    EXPECT_TRUE(dialog.confirm());
    EXPECT_EQ(prompt.texts(),
              (QStringList{kBadTitlePattern, QStringLiteral("Please specify Number of Days")}));
    EXPECT_EQ(session.search.titlePattern, QStringLiteral("O'Brien*"));
    EXPECT_EQ(session.search.statuses, QStringLiteral("X"));
    EXPECT_EQ(session.search.from, clock.nowLocal().date().addDays(-7));
    EXPECT_TRUE(session.search.searchMode);
}

// Hits fill the tree (attachment titles under their task); a failing plug-in table is reported
// and the hits found before it stay.
TEST_F(FindPageTest, RunFillsTheTreeAndOpensTasks)
{
    const qlonglong a = addTask(QStringLiteral("Plan A"));
    addTask(QStringLiteral("Other"));
    db().insertNumbered(QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
                        {QStringLiteral("SCR_Number"), QStringLiteral("Attach_Title"),
                         QStringLiteral("Attach_Type")},
                        {a, QStringLiteral("plan notes"), QStringLiteral("M")});
    db().execute(QStringLiteral("INSERT INTO SEARCH_TABLES (TableName, SCR_Number_Field, "
                                "FieldName) VALUES ('Gone', 'n', 'x')"));

    FindPage page(session, prompt);
    QSignalSpy opened(&page, &FindPage::openTask);
    SearchOptions o;
    o.titlePattern = QStringLiteral("plan*");
    o.attachments = o.extraTables = true;
    o.from = QDate(2000, 1, 1);
    o.to = QDate(2030, 1, 1);
    session.search.searchMode = true;
    page.run(o);
    EXPECT_FALSE(session.search.searchMode);
    ASSERT_EQ(prompt.texts().size(), 1);
    EXPECT_TRUE(prompt.texts().first().contains(QStringLiteral("no such table: Gone")));

    auto* tree = child<QTreeView>(page, "IvvTree4");
    const QAbstractItemModel& model = *tree->model();
    ASSERT_EQ(model.rowCount(), 1);
    const QModelIndex task = model.index(0, 0);
    EXPECT_EQ(task.data().toString(), QStringLiteral("Plan A"));
    ASSERT_EQ(model.rowCount(task), 1);
    const QModelIndex note = model.index(0, 0, task);
    EXPECT_EQ(note.data().toString(), QStringLiteral("plan notes"));
    emit tree->doubleClicked(note);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first().first().toLongLong(), a);

    db().execute(QStringLiteral("DELETE FROM SEARCH_TABLES"));
    o.titlePattern = QStringLiteral("other");
    page.run(o);
    ASSERT_EQ(model.rowCount(), 1) << "the tree is cleared first";
    EXPECT_EQ(model.index(0, 0).data().toString(), QStringLiteral("Other"));
}

TEST_F(FindPageTest, TheDocumentSearchNotesMissingFolderAccess)
{
    db().execute(QStringLiteral("INSERT INTO LU_USER (USER_ID, Disabled) VALUES ('ann', 0)"));
    session.user.userId = QStringLiteral("ann");
    F_DOCFIND none(session, prompt);
    EXPECT_EQ(child<QLabel>(none, "lblNote")->text(), kNoFolderAccess);
    EXPECT_EQ(child<QListWidget>(none, "lstFolders")->count(), 0);

    test::addCategories(db(), {QStringLiteral("Plans")});
    test::grantFolder(db(), QStringLiteral("ann"), QStringLiteral("Plans"));
    F_DOCFIND some(session, prompt);
    EXPECT_TRUE(child<QLabel>(some, "lblNote")->text().isEmpty());
    child<QLineEdit>(some, "txtTitle")->setText(QStringLiteral("memo"));
    ASSERT_TRUE(some.confirm());
    EXPECT_EQ(some.chosen()->folders,
              (QStringList{QStringLiteral("Plans"), QStringLiteral("Unspecified Folder")}));
    EXPECT_TRUE(prompt.texts().isEmpty());
}

} // namespace
