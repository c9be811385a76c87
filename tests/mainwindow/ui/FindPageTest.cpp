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

using namespace Qt::StringLiterals;
using namespace bx;
using bx::test::child;

namespace {

class FindPageTest : public bx::test::WindowTest
{
protected:
    void arrange() override { enterWorkshop(7); }

    qlonglong addTask(const QString& title)
    {
        return addOwnTask(
            {{u"SCR_Title"_s, title}, {u"SCR_StartDate"_s, naive(QDate(2024, 1, 2))}});
    }
};

TEST_F(FindPageTest, TheDialogChecksAndLeavesItsOptionsInTheSession)
{
    F_FIND dialog(session, prompt);
    child<QLineEdit>(dialog, "txtTitle")->setText(u" O'Brien* "_s);
    child<QRadioButton>(dialog, "optDays")->setChecked(true);
    EXPECT_FALSE(dialog.confirm());
    EXPECT_EQ(prompt.texts(), QStringList{u"Please specify Number of Days"_s});
    child<QLineEdit>(dialog, "txtDays")->setText(u"7"_s);
    child<QCheckBox>(dialog, "chkAllStatus")->setChecked(false);
    child<QCheckBox>(dialog, "chkCanceled")->setChecked(true);
    EXPECT_TRUE(dialog.confirm());
    EXPECT_EQ(session.search.titlePattern, u"O'Brien*"_s);
    EXPECT_EQ(session.search.statuses, u"X"_s);
    EXPECT_EQ(session.search.from, clock.nowLocal().date().addDays(-7));
    EXPECT_TRUE(session.search.searchMode);
}

// Hits fill the tree (attachment titles under their task); a failing plug-in table is reported
// and the hits found before it stay.
TEST_F(FindPageTest, RunFillsTheTreeAndOpensTasks)
{
    const qlonglong a = addTask(u"Plan A"_s);
    addTask(u"Other"_s);
    db().insertNumbered(u"ATTACH"_s, u"Attach_Number"_s,
                        {u"SCR_Number"_s, u"Attach_Title"_s, u"Attach_Type"_s},
                        {a, u"plan notes"_s, u"M"_s});
    db().execute(u"INSERT INTO SEARCH_TABLES (TableName, SCR_Number_Field, "
                 "FieldName) VALUES ('Gone', 'n', 'x')"_s);

    FindPage page(session, prompt);
    QSignalSpy opened(&page, &FindPage::openTask);
    SearchOptions o;
    o.titlePattern = u"plan*"_s;
    o.attachments = o.extraTables = true;
    o.from = QDate(2000, 1, 1);
    o.to = QDate(2030, 1, 1);
    session.search.searchMode = true;
    page.run(o);
    EXPECT_FALSE(session.search.searchMode);
    ASSERT_EQ(prompt.texts().size(), 1);
    EXPECT_TRUE(prompt.texts().first().contains(u"no such table: Gone"_s));

    auto* tree = child<QTreeView>(page, "IvvTree4");
    const QAbstractItemModel& model = *tree->model();
    ASSERT_EQ(model.rowCount(), 1);
    const QModelIndex task = model.index(0, 0);
    EXPECT_EQ(task.data().toString(), u"Plan A"_s);
    ASSERT_EQ(model.rowCount(task), 1);
    const QModelIndex note = model.index(0, 0, task);
    EXPECT_EQ(note.data().toString(), u"plan notes"_s);
    emit tree->doubleClicked(note);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first().first().toLongLong(), a);

    db().execute(u"DELETE FROM SEARCH_TABLES"_s);
    o.titlePattern = u"other"_s;
    page.run(o);
    ASSERT_EQ(model.rowCount(), 1) << "the tree is cleared first";
    EXPECT_EQ(model.index(0, 0).data().toString(), u"Other"_s);
}

TEST_F(FindPageTest, TheDocumentSearchNotesMissingFolderAccess)
{
    db().execute(u"INSERT INTO LU_USER (USER_ID, Disabled) VALUES ('ann', 0)"_s);
    session.user.userId = u"ann"_s;
    F_DOCFIND none(session, prompt);
    EXPECT_EQ(child<QLabel>(none, "lblNote")->text(), kNoFolderAccess);
    EXPECT_EQ(child<QListWidget>(none, "lstFolders")->count(), 0);

    test::addCategories(db(), {u"Plans"_s});
    test::grantFolder(db(), u"ann"_s, u"Plans"_s);
    F_DOCFIND some(session, prompt);
    EXPECT_TRUE(child<QLabel>(some, "lblNote")->text().isEmpty());
    child<QLineEdit>(some, "txtTitle")->setText(u"memo"_s);
    ASSERT_TRUE(some.confirm());
    EXPECT_EQ(some.chosen()->folders, (QStringList{u"Plans"_s, u"Unspecified Folder"_s}));
    EXPECT_TRUE(prompt.texts().isEmpty());
}

} // namespace
