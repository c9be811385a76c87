#include "mainwindow/ui/TeamView.h"

#include "core/Clock.h"
#include "core/db/Database.h"
#include "mainwindow/ListOptions.h"
#include "mainwindow/ui/TeamTreeModel.h"
#include "support/ContactRows.h"
#include "support/WindowTest.h"

#include <QAction>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using bx::test::child;

namespace {

class TeamViewTest : public bx::test::WindowTest
{
protected:
    void arrange() override { enterWorkshop(kShop, u"O'Neil's desk"_s); }

    /** An active task of the workshop, asked for and owned by admin. */
    qlonglong addTask(QVariantMap columns)
    {
        columns.insert(u"Meeting_ID"_s, 0);
        return addOwnTask(columns);
    }

    /** The texts of the tree's nodes, depth first. */
    static QStringList texts(const QAbstractItemModel& model, const QModelIndex& parent = {})
    {
        QStringList out;
        for (int r = 0; r < model.rowCount(parent); ++r) {
            const QModelIndex i = model.index(r, 0, parent);
            out << i.data().toString() << texts(model, i);
        }
        return out;
    }

    static constexpr qlonglong kShop = 70;
};

// The folder commands work on the selected node and the tree follows.
TEST_F(TeamViewTest, FolderCommandsChangeTheTree)
{
    TeamView view(session, prompt);
    ASSERT_TRUE(view.refresh());
    auto* tree = child<QTreeView>(view, "IvvTree1");
    const QAbstractItemModel& model = *tree->model();
    EXPECT_TRUE(texts(model).contains(u"O'Neil's desk"_s));

    prompt.answerInput(u"O'Brien's folder"_s);
    view.newFolder();
    ASSERT_TRUE(texts(model).contains(u"O'Brien's folder"_s))
        << texts(model).join(u'|').toStdString();

    const QModelIndexList found = model.match(model.index(0, 0), Qt::DisplayRole,
                                              u"O'Brien's folder"_s, 1, Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1);
    tree->setCurrentIndex(found.first());
    prompt.answer(PromptAnswer::Yes);
    view.deleteFolder();
    EXPECT_FALSE(texts(model).contains(u"O'Brien's folder"_s));
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM FOLDER"_s).toInt(), 0);
}

// With the options' columns the title still leads, and a narrow window shows it first.
TEST_F(TeamViewTest, OptionColumnsKeepTheTitleFirstInANarrowWindow)
{
    addTask({{u"SCR_Title"_s, u"Ann's printer"_s}});
    TeamView view(session, prompt);
    ASSERT_TRUE(view.refresh());
    view.applyListOptions();
    const QAbstractItemModel& grid = *view.grid()->model();
    EXPECT_EQ(grid.headerData(0, Qt::Horizontal).toString(), u"Task Title"_s);
    EXPECT_EQ(grid.index(0, 0).data().toString(), u"Ann's printer"_s);
    auto* gridView = child<QTableView>(view, "TaskGrid");
    view.resize(420, 300);
    view.show();
    gridView->horizontalScrollBar()->setValue(gridView->horizontalScrollBar()->maximum());
    ASSERT_TRUE(view.refresh());
    QCoreApplication::processEvents();
    EXPECT_GT(gridView->horizontalScrollBar()->maximum(), 0) << "the columns overflow the width";
    EXPECT_EQ(gridView->horizontalScrollBar()->value(), 0);
}

// The contact column names the task's contact, also when it is chosen after the list was read.
// (The lists of single owners leave out tasks that name a contact; the whole view has them.)
TEST_F(TeamViewTest, ContactColumnShowsTheContactsName)
{
    session.user.record.fullAccess = true;
    test::addContactRow(db(), u"First"_s, u"Key 1, the marker"_s);
    const qlonglong key = test::addContactRow(db(), u"O'Neil"_s, u"Ann"_s);
    addTask({{u"SCR_Title"_s, u"Call back"_s}, {u"SCR_Contact_Key"_s, key}});
    TeamView view(session, prompt);
    ASSERT_TRUE(view.refresh());
    ListOptions options(session.settings());
    ListOptionsSet set = options.current();
    set.columns = QStringList{u"SCR_Contact_Key"_s};
    ASSERT_TRUE(options.apply(set, prompt));
    view.applyListOptions();
    const QAbstractItemModel& grid = *view.grid()->model();
    EXPECT_EQ(grid.headerData(1, Qt::Horizontal).toString(), u"Contact Name"_s);
    EXPECT_EQ(grid.index(0, 1).data().toString(), u"O'Neil, Ann"_s);
    ASSERT_TRUE(view.refresh());
    EXPECT_EQ(grid.index(0, 1).data().toString(), u"O'Neil, Ann"_s);
}

// A read in the background fills the same tree and grid; a newer read replaces one still
// running, so the view ends on the filter chosen last.
TEST_F(TeamViewTest, BackgroundReadEndsOnTheNewestFilter)
{
    for (const auto& [number, status] : {std::pair{11, "A"}, std::pair{12, "C"}})
        addTask({{u"SCR_Number"_s, number},
                 {u"SCR_Title"_s, u"Task %1"_s.arg(number)},
                 {u"SCR_Status"_s, QString::fromLatin1(status)}});
    TeamView view(session, prompt);
    view.refreshInBackground();
    view.filter().apply(ViewCommand::Complete);
    view.refreshInBackground();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.reading(); }, 20000));
    const QAbstractItemModel& grid = *view.grid()->model();
    ASSERT_EQ(grid.rowCount(), 1);
    EXPECT_EQ(grid.index(0, 0).data(Qt::UserRole).toLongLong(), 12);
    EXPECT_NE(view.tree().findTask(12), nullptr);
    EXPECT_EQ(view.tree().findTask(11), nullptr);
}

// Tasks read again by number join, change in or leave the tree and the grid as the filter says.
TEST_F(TeamViewTest, TasksReadAgainByNumberEnterOrLeaveTreeAndGrid)
{
    const struct
    {
        qlonglong number;
        const char *status, *title, *newStatus, *newTitle;
        bool shownAfter;
    } cases[] = {
        {21, "A", "Stays", "A", "O'Brien's, renamed", true},
        {22, "A", "Leaves", "C", "Leaves", false},
        {23, "C", "Enters", "A", "Enters", true},
        {24, "C", "Stays out", "C", "Stays out", false},
    };
    for (const auto& c : cases)
        addTask({{u"SCR_Number"_s, c.number},
                 {u"SCR_Title"_s, QString::fromUtf8(c.title)},
                 {u"SCR_Status"_s, QString::fromUtf8(c.status)}});
    TeamView view(session, prompt);
    ASSERT_TRUE(view.refresh());
    QList<qlonglong> numbers;
    for (const auto& c : cases) {
        numbers << c.number;
        db().execute(u"UPDATE SCR SET SCR_Status = ?, SCR_Title = ? WHERE SCR_Number = ?"_s,
                     {QString::fromUtf8(c.newStatus), QString::fromUtf8(c.newTitle), c.number});
    }
    const QAbstractItemModel& grid = *view.grid()->model();
    for (int r = 0; r < grid.rowCount(); ++r) {
        if (grid.index(r, 0).data(Qt::UserRole).toLongLong() == 21)
            view.grid()->setCurrentIndex(grid.index(r, 0));
    }
    const TaskCriteria q = view.keyedStatement(numbers);
    ASSERT_FALSE(q.sql.isEmpty());
    view.showTasks(numbers, db().query(q.sql, q.params));

    QHash<qlonglong, QString> inGrid;
    for (int r = 0; r < grid.rowCount(); ++r)
        inGrid.insert(grid.index(r, 0).data(Qt::UserRole).toLongLong(),
                      grid.index(r, 0).data().toString());
    const QStringList treeTexts = texts(*view.treeView()->model());
    for (const auto& c : cases) {
        EXPECT_EQ(inGrid.contains(c.number), c.shownAfter) << c.title;
        EXPECT_EQ(view.tree().findTask(c.number) != nullptr, c.shownAfter) << c.title;
        if (c.shownAfter) {
            EXPECT_EQ(inGrid.value(c.number), QString::fromUtf8(c.newTitle));
            EXPECT_TRUE(treeTexts.contains(QString::fromUtf8(c.newTitle)))
                << treeTexts.join(u'|').toStdString();
        }
    }
    EXPECT_EQ(view.rows().rowCount(), 2);
    // Only the rows of those tasks changed: the selection stays where it was.
    EXPECT_EQ(view.grid()->currentIndex().data(Qt::UserRole).toLongLong(), 21);
}

} // namespace
