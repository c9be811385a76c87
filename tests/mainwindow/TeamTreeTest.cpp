#include "mainwindow/TeamTree.h"

#include "core/db/Database.h"
#include "mainwindow/MainWindowRows.h"
#include "mainwindow/Presence.h"
#include "support/Lifecycles.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

constexpr qlonglong kShop = 7;
constexpr qlonglong kSub = 8;
constexpr qlonglong kOther = 4;
const QString kAnn = u"ann"_s;
const QString kObrien = u"O'Brien"_s;
const QDateTime kNow(QDate(2026, 3, 10), QTime(12, 0));

const QStringList kColumns =
    u"SCR_Number,SCR_Title,SCR_Owner_User_ID,SCR_Group_ID,SCR_Parent_Folder_Number,"
    "SCR_Parent_Number,SCR_Category,SCR_Status,SCR_Owner_Target_Date,"
    "SCR_Owner_Date_Viewed,SCR_Sensitive,SCR_Request_ID"_s.split(u',');

struct Task
{
    qlonglong number;
    QString owner;
    qlonglong folder = 0;
    qlonglong parent = 0;
    QString category = {};
    bool sensitive = false;
    QString requester = u"ann"_s;
    qlonglong group = kShop;
    QDateTime target = {};
    QDateTime viewed = kNow;
};

QVariantList rowOf(const Task& t)
{
    return {t.number,
            u"Task "_s + QString::number(t.number),
            t.owner,
            t.group,
            t.folder,
            t.parent,
            t.category,
            u"A"_s,
            t.target.isValid() ? QVariant(t.target) : QVariant(),
            t.viewed.isValid() ? QVariant(t.viewed) : QVariant(),
            t.sensitive ? 1 : 0,
            t.requester};
}

RecordSet rowsOf(const std::vector<Task>& tasks)
{
    QList<QVariantList> rows;
    for (const Task& t : tasks)
        rows << rowOf(t);
    return RecordSet(kColumns, rows);
}

TaskRow taskRow(const Task& t)
{
    return TaskRow::fromRecord(rowsOf({t}), 0);
}

QStringList childTexts(const TreeNode* node)
{
    QStringList texts;
    for (const auto& child : node->children)
        texts << child->text;
    return texts;
}

/** Records the listener calls as text. */
struct Recorder : TeamTreeListener
{
    QStringList calls;
    void aboutToInsert(const TreeNode* parent, int row) override
    {
        calls << u"+%1@%2"_s.arg(parent->text).arg(row);
    }
    void inserted() override {}
    void aboutToRemove(const TreeNode* parent, int row) override
    {
        calls << u"-%1@%2"_s.arg(parent->text).arg(row);
    }
    void removed() override {}
    void changed(const TreeNode* node) override { calls << u"~"_s + node->text; }
    void aboutToReset() override {}
    void reset() override { calls << u"reset"_s; }
};

class TeamTreeTest : public test::CurrentSchemaTest
{
protected:
    void arrange() override
    {
        test::addUsers(db(), {kAnn, kObrien, u"bob"_s, u"gone"_s});
        // Node texts are the users' names, not their IDs.
        db().execute(u"UPDATE LU_USER SET User_Name = USER_ID || ' N'"_s);
        db().execute(u"UPDATE LU_USER SET Disabled = ? WHERE USER_ID = 'gone'"_s, {true});
        test::addWorkshop(db(), kShop, u"Shop"_s);
        test::addWorkshop(db(), kSub, u"Sub"_s);
        test::addWorkshop(db(), kOther, u"Other"_s);
        db().execute(u"UPDATE LU_GROUP SET parent_workshop = ? WHERE GROUP_ID = ?"_s,
                     {kShop, kSub});
        test::addMembers(db(), kShop, {kAnn, kObrien, u"gone"_s});
        test::addMembers(db(), kSub, {u"bob"_s});
        test::addMembers(db(), kOther, {u"bob"_s});
        alpha = test::addFolder(db(), kAnn, u"Alpha"_s);
        beta = test::addFolder(db(), kAnn, u"Beta"_s, alpha);
        test::addFolder(db(), kAnn, u"Elsewhere"_s, 0, kOther);
        test::addFolder(db(), kObrien, u"Theirs"_s);
        test::addFolder(db(), kAnn, u"Mail"_s, 0, kShop, 1);
    }

    void build(const QString& me = kAnn, bool ownOnly = false, bool byCategory = false)
    {
        tree.setOptions({me, byCategory, kNow});
        tree.setCategoryPath([](const QString& c) { return c.isEmpty() ? c : u"Top\\"_s + c; });
        tree.buildSkeleton(db(), kShop, ownOnly);
    }

    const TreeNode* shop() const { return tree.root()->child(0); }
    /** Text of the node's parent; "" when the task is not in the tree. */
    QString parentText(qlonglong task) const
    {
        const TreeNode* n = tree.findTask(task);
        return n ? n->parent->text : QString();
    }

    qlonglong alpha = 0;
    qlonglong beta = 0;
    TeamTree tree;
};

TEST_P(TeamTreeTest, SkeletonListsSubWorkshopsUnassignedMembersAndOwnFolders)
{
    build();
    ASSERT_EQ(tree.root()->childCount(), 1);
    EXPECT_EQ(shop()->tag, u"LU_GROUP"_s);
    EXPECT_EQ(shop()->text, u"Shop"_s);
    EXPECT_EQ(childTexts(shop()),
              (QStringList{u"Sub"_s, u"Unassigned"_s, u"ann N"_s, u"O'Brien N"_s}));
    EXPECT_EQ(shop()->child(0)->kind, TreeNodeKind::SubWorkshop);
    EXPECT_EQ(childTexts(shop()->child(0)), QStringList{u"bob N"_s});
    EXPECT_EQ(tree.findUser(QString())->key.toString(), QString());
    EXPECT_EQ(childTexts(tree.findUser(u"ANN"_s)), QStringList{u"Alpha"_s});
    EXPECT_EQ(childTexts(tree.findFolder(alpha)), QStringList{u"Beta"_s});
    EXPECT_EQ(tree.findFolder(beta)->tag, u"FOLDER"_s);
    EXPECT_TRUE(tree.findUser(kObrien)->children.empty());

    build(kObrien, true);
    EXPECT_EQ(childTexts(shop()), (QStringList{u"Sub"_s, u"Unassigned"_s, u"O'Brien N"_s}));
    EXPECT_EQ(childTexts(tree.findUser(kObrien)), QStringList{u"Theirs"_s});
    EXPECT_TRUE(shop()->child(0)->children.empty());
}

TEST_P(TeamTreeTest, TasksGoUnderOwnerFolderAndParentAndSensitiveOnesOnlyForOwnerOrRequester)
{
    build();
    const std::vector<Task> tasks{
        {1, kAnn, beta},
        {2, kObrien},
        {3, kObrien, 0, 2},
        {4, QString()},
        {5, u"bob"_s, 0, 0, {}, false, kAnn, kSub},
        {6, kObrien, 0, 0, {}, true},
        {7, u"bob"_s, 0, 0, {}, true, kObrien, kSub},
        {8, kObrien, 0, 9},
        {9, kObrien, alpha},
        {10, u"stranger"_s},
        {11, kAnn, 999},
        {12, kAnn, 0, 0, {}, true, kObrien},
        {13, kAnn, 0, 2},
    };
    EXPECT_EQ(tree.placeTasks(rowsOf(tasks)), 11);
    const struct
    {
        qlonglong task;
        QString parent;
    } expected[] = {{1, u"Beta"_s},   {2, u"O'Brien N"_s}, {3, u"Task 2"_s}, {4, u"Unassigned"_s},
                    {5, u"bob N"_s},  {6, u"O'Brien N"_s}, {7, QString()},   {8, u"Task 9"_s},
                    {9, u"Alpha"_s},  {10, QString()},     {11, u"ann N"_s}, {12, u"ann N"_s},
                    {13, u"Task 2"_s}};
    for (const auto& e : expected)
        EXPECT_EQ(parentText(e.task), e.parent) << "task " << e.task;
    EXPECT_EQ(tree.findTask(2)->tag, u"SCR"_s);

    // The supervisor of O'Brien and bob sees neither sensitive task they did not request.
    build(u"boss"_s);
    tree.placeTasks(rowsOf(tasks));
    EXPECT_EQ(parentText(6), QString());
    EXPECT_EQ(parentText(7), QString());
    EXPECT_EQ(parentText(12), QString());
    EXPECT_EQ(parentText(1), u"ann N"_s); // ann's folders are hers alone
}

TEST_P(TeamTreeTest, FlagsAndCategoryGroups)
{
    build(kAnn, false, true);
    Task late{1, kAnn, 0, 0, u"Bugs"_s};
    late.target = kNow.addDays(-1);
    late.viewed = {};
    Task due{2, kAnn, alpha, 0, u"bugs"_s};
    due.target = kNow.addDays(1);
    tree.placeTasks(rowsOf({late, due, {3, kAnn}}));

    const TreeNode* t1 = tree.findTask(1);
    EXPECT_TRUE(t1->unviewed);
    EXPECT_TRUE(t1->overdue);
    EXPECT_FALSE(tree.findTask(2)->unviewed);
    EXPECT_FALSE(tree.findTask(2)->overdue);
    EXPECT_EQ(t1->parent->text, u"Top\\Bugs"_s);
    EXPECT_EQ(t1->parent->tag, u"SCR_CATEGORY"_s);
    EXPECT_EQ(parentText(2), u"Top\\Bugs"_s); // grouped inside its folder
    EXPECT_EQ(tree.findTask(2)->parent->parent->text, u"Alpha"_s);
    EXPECT_EQ(parentText(3), u"Unspecified Folder"_s);
    EXPECT_EQ(childTexts(tree.findUser(kAnn)),
              (QStringList{u"Alpha"_s, u"Top\\Bugs"_s, u"Unspecified Folder"_s}));

    // The group goes with its last task.
    EXPECT_TRUE(tree.removeTask(3));
    EXPECT_EQ(childTexts(tree.findUser(kAnn)), (QStringList{u"Alpha"_s, u"Top\\Bugs"_s}));
}

TEST_P(TeamTreeTest, InsertRemoveAndRefreshFollowOneTask)
{
    build();
    tree.placeTasks(rowsOf({{1, kAnn}, {2, kAnn, 0, 1}}));
    Recorder rec;
    tree.setListener(&rec);

    ASSERT_NE(tree.insertTask(taskRow({3, kObrien})), nullptr);
    EXPECT_EQ(tree.insertTask(taskRow({3, kObrien})), nullptr); // once only
    EXPECT_EQ(tree.insertTask(taskRow({4, kObrien, 0, 0, {}, true, kObrien})), nullptr);
    EXPECT_EQ(rec.calls, QStringList{u"+O'Brien N@0"_s});

    // Retitled in place; routed to O'Brien it moves with its sub-task.
    rec.calls.clear();
    TaskRow one = taskRow({1, kAnn});
    one.title = u"Renamed"_s;
    EXPECT_EQ(tree.refreshTask(one)->text, u"Renamed"_s);
    one.owner = kObrien;
    tree.refreshTask(one);
    EXPECT_EQ(parentText(1), u"O'Brien N"_s);
    EXPECT_EQ(parentText(2), u"Renamed"_s);
    EXPECT_EQ(rec.calls, (QStringList{u"~Renamed"_s, u"-ann N@1"_s, u"+O'Brien N@1"_s}));

    // A parent may not move under its own sub-task.
    one.parentTask = 2;
    tree.refreshTask(one);
    EXPECT_EQ(parentText(1), u"O'Brien N"_s);

    rec.calls.clear();
    EXPECT_TRUE(tree.removeTask(1));
    EXPECT_FALSE(tree.removeTask(1));
    EXPECT_EQ(tree.findTask(2), nullptr);
    EXPECT_EQ(tree.findTask(3)->row, 0);
    EXPECT_EQ(rec.calls, QStringList{u"-O'Brien N@1"_s});
    tree.setListener(nullptr);
}

TEST_P(TeamTreeTest, UserNodesCarryTheOnlineMark)
{
    build();
    Recorder rec;
    tree.setListener(&rec);
    tree.setOnline({{presenceKey(kObrien), true}, {QString(), true}});
    EXPECT_TRUE(tree.findUser(kObrien)->online);
    EXPECT_FALSE(tree.findUser(kAnn)->online);
    EXPECT_FALSE(tree.findUser(QString())->online); // "Unassigned" is nobody
    EXPECT_EQ(rec.calls, QStringList{u"~O'Brien N"_s});

    tree.setOnline({{presenceKey(kObrien), true}});
    EXPECT_EQ(rec.calls.size(), 1); // no change, no notice
    tree.setOnline({});
    EXPECT_FALSE(tree.findUser(kObrien)->online);
    EXPECT_EQ(rec.calls.size(), 2);
    tree.setListener(nullptr);
}

BX_INSTANTIATE_ENGINES(TeamTreeTest);

} // namespace
