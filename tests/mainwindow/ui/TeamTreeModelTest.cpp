#include "mainwindow/ui/TeamTreeModel.h"

#include "core/db/SqliteDatabase.h"

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

const QDateTime kNow(QDate(2026, 3, 10), QTime(12, 0));

RecordSet tasks(const QList<QVariantList>& rows)
{
    return RecordSet({u"SCR_Number"_s, u"SCR_Title"_s, u"SCR_Owner_User_ID"_s, u"SCR_Group_ID"_s,
                      u"SCR_Parent_Number"_s, u"SCR_Status"_s, u"SCR_Owner_Target_Date"_s,
                      u"SCR_Owner_Date_Viewed"_s},
                     rows);
}

QVariantList task(qlonglong n, const QString& owner, qlonglong parent, bool viewed, int dueIn)
{
    return {n,
            u"T%1"_s.arg(n),
            owner,
            7,
            parent,
            u"A"_s,
            kNow.addDays(dueIn),
            viewed ? QVariant(kNow) : QVariant()};
}

class TeamTreeModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        db = SqliteDatabase::open(dir.filePath(u"t.db"_s), SqliteDatabase::OpenMode::Create);
        db->executeScript(
            u"CREATE TABLE LU_GROUP (GROUP_ID INTEGER, GROUP_NAME TEXT, parent_workshop INTEGER);"
            "CREATE TABLE GROUPLINK (GROUP_ID INTEGER, USER_ID TEXT);"
            "CREATE TABLE LU_USER (USER_ID TEXT, User_Name TEXT, Disabled INTEGER);"
            "CREATE TABLE FOLDER (Folder_Counter INTEGER, Folder_Name TEXT, Folder_Owner_ID TEXT,"
            " Parent_Folder_Counter INTEGER, Folder_Type INTEGER, Group_ID INTEGER);"
            "INSERT INTO LU_GROUP VALUES (7, 'Shop', NULL);"
            "INSERT INTO LU_GROUP VALUES (8, 'Sub', 7);"
            "INSERT INTO LU_USER VALUES ('ann', 'Ann', 0);"
            "INSERT INTO GROUPLINK VALUES (7, 'ann');"
            "INSERT INTO FOLDER VALUES (1, 'Mine', 'ann', 0, 0, 7)"_s);
        tree.setOptions({u"ann"_s, false, kNow});
        tree.buildSkeleton(*db, 7, false);
    }

    QTemporaryDir dir;
    std::unique_ptr<SqliteDatabase> db;
    TeamTree tree;
};

TEST_F(TeamTreeModelTest, FollowsTheTreeAndPassesTheModelTester)
{
    TeamTreeModel model(tree);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    tree.placeTasks(tasks({task(1, u"ann"_s, 0, true, 5), task(2, u"ann"_s, 1, true, 5),
                           task(3, QString(), 0, true, 5)}));
    const QModelIndex shop = model.index(0, 0);
    EXPECT_EQ(model.data(shop).toString(), u"Shop"_s);
    EXPECT_EQ(model.rowCount(shop), 3); // Sub, Unassigned, Ann
    const QModelIndex ann = model.index(2, 0, shop);
    EXPECT_EQ(model.data(ann, TeamTreeModel::TagRole).toString(), u"LU_USER"_s);
    EXPECT_EQ(model.rowCount(ann), 2); // Mine, T1
    const QModelIndex t1 = model.indexOf(tree.findTask(1));
    EXPECT_EQ(t1, model.index(1, 0, ann));
    EXPECT_EQ(model.data(model.index(0, 0, t1)).toString(), u"T2"_s);
    EXPECT_EQ(model.parent(model.index(0, 0, t1)), t1);

    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    ASSERT_NE(tree.insertTask(TaskRow::fromRecord(tasks({task(4, u"ann"_s, 1, false, 5)}), 0)),
              nullptr);
    ASSERT_EQ(inserted.size(), 1);
    EXPECT_EQ(inserted[0][0].value<QModelIndex>(), t1);
    EXPECT_EQ(inserted[0][1].toInt(), 1);

    EXPECT_TRUE(tree.removeTask(1));
    ASSERT_EQ(removed.size(), 1);
    EXPECT_EQ(removed[0][0].value<QModelIndex>(), ann);
    EXPECT_EQ(model.rowCount(ann), 1);
    EXPECT_EQ(resets.size(), 0);
}

// Unviewed tasks are bold, late ones italic and red, and both when both; the list options' fonts
// and colours reach the nodes of their kind.
TEST_F(TeamTreeModelTest, FontsFollowNodeKindViewedAndDueState)
{
    TeamTreeModel model(tree);
    tree.placeTasks(tasks({task(1, u"ann"_s, 0, true, 5), task(2, u"ann"_s, 0, false, 5),
                           task(3, u"ann"_s, 0, true, -1), task(4, u"ann"_s, 0, false, -1)}));
    const auto font = [&](const TreeNode* n) {
        return model.data(model.indexOf(n), Qt::FontRole).value<QFont>();
    };
    const auto colour = [&](const TreeNode* n) {
        return model.data(model.indexOf(n), Qt::ForegroundRole).value<QColor>();
    };
    const struct
    {
        qlonglong task;
        bool bold, italic, red;
    } states[] = {{1, false, false, false},
                  {2, true, false, false},
                  {3, false, true, true},
                  {4, true, true, true}};
    for (const auto& c : states) {
        const QFont f = font(tree.findTask(c.task));
        EXPECT_EQ(f.bold(), c.bold) << c.task;
        EXPECT_EQ(f.italic(), c.italic) << c.task;
        EXPECT_EQ(colour(tree.findTask(c.task)) == QColor(Qt::red), c.red) << c.task;
    }

    const struct
    {
        NodeKind kind;
        const TreeNode* node;
        const char* family;
        int size;
        QColor colour;
    } kinds[] = {{NodeKind::Workshop, tree.root()->child(0), "Shop Face", 14, Qt::darkGreen},
                 {NodeKind::User, tree.findUser(u"ann"_s), "User Face", 11, Qt::blue},
                 {NodeKind::Folder, tree.findFolder(1), "Folder Face", 9, Qt::darkYellow},
                 {NodeKind::Task, tree.findTask(1), "Task Face", 10, Qt::darkGray},
                 {NodeKind::UnviewedTask, tree.findTask(2), "Unviewed Face", 12, Qt::magenta},
                 {NodeKind::OverdueTask, tree.findTask(3), "Late Face", 13, Qt::darkRed}};
    ListOptionsSet options;
    for (const auto& c : kinds) {
        NodeFont& f = options.font(c.kind);
        f.name = QString::fromLatin1(c.family);
        f.size = c.size;
        f.color = c.colour;
    }
    model.setFonts(TeamTreeFonts::fromOptions(options));
    for (const auto& c : kinds) {
        ASSERT_NE(c.node, nullptr) << c.family;
        EXPECT_EQ(font(c.node).family(), QString::fromLatin1(c.family));
        EXPECT_EQ(font(c.node).pointSize(), c.size) << c.family;
        EXPECT_EQ(colour(c.node), c.colour) << c.family;
    }
    EXPECT_TRUE(font(tree.findTask(4)).bold()) << "late and unviewed";
}

} // namespace

// Only tasks are dragged; a drop hands the task and the node to the handler and moves no rows.
// "Unassigned" takes the task for its workshop.
TEST_F(TeamTreeModelTest, DroppedTasksGoToTheHandlerWithTheirTarget)
{
    TeamTreeModel model(tree);
    tree.placeTasks(tasks({task(1, u"ann"_s, 0, true, 5)}));
    QList<std::pair<qlonglong, std::optional<std::pair<DropTarget, QVariant>>>> drops;
    model.setDropHandler([&](qlonglong number, const TreeNode* target) {
        drops.append({number, dropTargetFor(*target)});
    });
    const QModelIndex shop = model.index(0, 0);
    const QModelIndex unassigned = model.index(1, 0, shop);
    const QModelIndex ann = model.index(2, 0, shop);
    const QModelIndex t1 = model.indexOf(tree.findTask(1));
    const QModelIndex folder = model.index(0, 0, ann);

    EXPECT_TRUE(model.flags(t1) & Qt::ItemIsDragEnabled);
    EXPECT_FALSE(model.flags(ann) & Qt::ItemIsDragEnabled);
    EXPECT_FALSE(model.flags(QModelIndex()) & Qt::ItemIsDropEnabled);
    std::unique_ptr<QMimeData> dragged(model.mimeData({t1}));
    ASSERT_NE(dragged, nullptr);
    EXPECT_EQ(model.mimeData({ann}), nullptr);

    for (const QModelIndex& target : {folder, unassigned, ann})
        EXPECT_FALSE(model.dropMimeData(dragged.get(), Qt::MoveAction, -1, 0, target));
    QMimeData foreign;
    foreign.setText(u"1"_s);
    EXPECT_FALSE(model.canDropMimeData(&foreign, Qt::MoveAction, -1, 0, ann));

    ASSERT_EQ(drops.size(), 3);
    EXPECT_EQ(drops[0].first, 1);
    EXPECT_EQ(drops[0].second->first, DropTarget::Folder);
    EXPECT_EQ(drops[0].second->second.toLongLong(), 1);
    EXPECT_EQ(drops[1].second->first, DropTarget::Workshop);
    EXPECT_EQ(drops[1].second->second.toLongLong(), 7);
    EXPECT_EQ(drops[2].second->first, DropTarget::User);
    EXPECT_EQ(drops[2].second->second.toString(), u"ann"_s);
    EXPECT_EQ(model.rowCount(ann), 2) << "no row moved";
}
