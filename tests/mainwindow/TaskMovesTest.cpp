#include "mainwindow/TaskMoves.h"

#include "core/UserRights.h"
#include "core/db/Database.h"
#include "mainwindow/MainWindowRows.h"
#include "mainwindow/TaskViews.h"
#include "mainwindow/TeamTree.h"
#include "support/ActingPrompt.h"
#include "support/Lifecycles.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"
#include "tasks/cSCR.h"
#include "workflow/RecordRoute.h"

#include <gtest/gtest.h>

using namespace bx;

namespace {

const QString kMe = QStringLiteral("ann");
const QString kOther = QStringLiteral("O'Brien");
constexpr qlonglong kShop = 7;
constexpr qlonglong kQuotedShop = 4;
const QString kQuotedShopName = QStringLiteral("O'Neil's desk");

class TaskMovesTest : public test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        test::addUsers(db(), {kMe, kOther});
        test::addWorkshop(db(), kShop, QStringLiteral("Seventh"));
        test::addWorkshop(db(), kQuotedShop, kQuotedShopName);
        session.currentWorkshopId = static_cast<int>(kShop);
    }

    /** A task of workshop 7 with its first history rows (one closed, one open for the owner). */
    qlonglong addTask(const QString& owner, const QString& status = QStringLiteral("A"),
                      bool sensitive = false, qlonglong folder = 0)
    {
        const qlonglong n = test::addTaskRow(
            db(),
            {{QStringLiteral("SCR_Title"), QStringLiteral("Fix Bob's \"printer\"")},
             {QStringLiteral("SCR_Status"), status},
             {QStringLiteral("SCR_Owner_User_ID"), owner},
             {QStringLiteral("SCR_Group_ID"), kShop},
             {QStringLiteral("SCR_Sensitive"), sensitive},
             {QStringLiteral("SCR_Parent_Folder_Number"), folder},
             {QStringLiteral("SCR_Owner_Date_Viewed"), naive(QDate(2024, 1, 2), QTime(8, 0))}});
        RouteHistoryEntry e;
        e.taskNumber = n;
        e.action = QStringLiteral("Create Request");
        e.ownerUser = owner;
        e.groupId = kShop;
        RecordRoute(db(), e, naive(QDate(2024, 1, 2), QTime(6, 0)), kMe, nullptr);
        return n;
    }

    RecordSet task(qlonglong n)
    {
        return db().query(QStringLiteral("SELECT * FROM SCR WHERE SCR_Number = ?"), {n});
    }

    /** Route_Action of the closed rows, oldest first; then "open:" + the open row's user. */
    QStringList history(qlonglong n)
    {
        const RecordSet rows = db().query(
            QStringLiteral("SELECT * FROM ROUTE WHERE SCR_Number = ? ORDER BY Route_Number"), {n});
        QStringList out;
        for (int i = 0; i < rows.rowCount(); ++i) {
            out << (rows.value(i, QStringLiteral("Route_Date_Out")).isNull()
                        ? QStringLiteral("open:") +
                              rows.value(i, QStringLiteral("User_ID")).toString()
                        : rows.value(i, QStringLiteral("Route_Action")).toString());
        }
        return out;
    }

    bool drop(qlonglong n, DropTarget target, const QVariant& key)
    {
        prompt.answer(PromptAnswer::Yes);
        return dropTask(session, prompt, n, target, key);
    }
};

TEST_P(TaskMovesTest, WhoMayDropWhichTask)
{
    struct Case
    {
        const char* name;
        QString owner;
        QString status;
        bool editUnowned;
        bool allowed;
    };
    const Case cases[] = {
        {"own active", kMe, QStringLiteral("A"), false, true},
        {"own incomplete, other case", QStringLiteral(" ANN "), QStringLiteral("I"), false, true},
        {"own completed", kMe, QStringLiteral("C"), true, false},
        {"own cancelled", kMe, QStringLiteral("X"), true, false},
        {"another's", kOther, QStringLiteral("A"), false, false},
        {"another's with Edit_Unowned", kOther, QStringLiteral("A"), true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        session.user.record.editUnowned = c.editUnowned;
        const qlonglong n = addTask(c.owner, c.status);
        prompt.clear();
        if (c.allowed) {
            EXPECT_TRUE(drop(n, DropTarget::Workshop, kQuotedShop));
            EXPECT_EQ(prompt.last().text,
                      QStringLiteral("Would you like to Route Fix Bob's \"printer\" to Workshop ") +
                          kQuotedShopName);
            EXPECT_EQ(task(n).number(QStringLiteral("SCR_Group_ID")), kQuotedShop);
        } else {
            EXPECT_FALSE(dropTask(session, prompt, n, DropTarget::Workshop, kQuotedShop));
            EXPECT_EQ(prompt.texts(), QStringList{UserRights::kMayNotDetachSubtask});
            EXPECT_EQ(task(n).number(QStringLiteral("SCR_Group_ID")), kShop);
        }
    }
}

TEST_P(TaskMovesTest, RoutingByDropClearsFolderAndViewedDateAndRecordsRoute)
{
    const qlonglong n = addTask(kMe, QStringLiteral("A"), false, 55);
    ASSERT_TRUE(drop(n, DropTarget::User, kOther));
    EXPECT_EQ(prompt.last().text,
              QStringLiteral("Would you like to Route Fix Bob's \"printer\" to User O'Brien"));
    const RecordSet row = task(n);
    EXPECT_EQ(row.text(QStringLiteral("SCR_Owner_User_ID")), kOther);
    EXPECT_EQ(row.number(QStringLiteral("SCR_Parent_Folder_Number")), 0);
    EXPECT_TRUE(row.isNull(QStringLiteral("SCR_Owner_Date_Viewed")));
    EXPECT_EQ(row.number(QStringLiteral("SCR_OwnerType")), 0);
    EXPECT_EQ(history(n), (QStringList{QStringLiteral("Create Request"), QStringLiteral("ROUTE"),
                                       QStringLiteral("open:") + kOther}));

    const qlonglong toShop = addTask(kMe);
    ASSERT_TRUE(drop(toShop, DropTarget::Workshop, kQuotedShop));
    const RecordSet shopRow = task(toShop);
    EXPECT_EQ(shopRow.text(QStringLiteral("SCR_Owner_User_ID")), QString::number(kQuotedShop));
    EXPECT_EQ(shopRow.number(QStringLiteral("SCR_OwnerType")), 1);

    const qlonglong secret = addTask(kMe, QStringLiteral("A"), true, 55);
    ASSERT_TRUE(drop(secret, DropTarget::User, kOther));
    EXPECT_EQ(task(secret).number(QStringLiteral("SCR_Parent_Folder_Number")), 0);
    EXPECT_TRUE(history(secret).isEmpty());
}

// Given to a workshop by the editor's routing or by a drop on its node, a task shows in that
// workshop's grid and under it in its tree.
TEST_P(TaskMovesTest, TasksGivenToAWorkshopShowInItsTreeAndGrid)
{
    const qlonglong dropped = addTask(kMe);
    ASSERT_TRUE(drop(dropped, DropTarget::Workshop, kQuotedShop));
    const qlonglong routed = addTask(kMe);
    {
        cSCR task(session, prompt);
        ASSERT_TRUE(task.Load(routed));
        ASSERT_TRUE(task.Route_SCR({{QString(), kQuotedShop, OwnerType::Workshop}},
                                   QStringLiteral("to the desk")))
            << prompt.texts().join(u'|').toStdString();
    }

    session.currentWorkshopId = static_cast<int>(kQuotedShop);
    const TaskCriteria q = gridTaskQuery(nullptr, TaskViewFilter{}, session);
    const RecordSet rows = db().query(q.sql, q.params);
    QList<qlonglong> grid;
    for (int r = 0; r < rows.rowCount(); ++r)
        grid << rows.value(r, QStringLiteral("SCR_Number")).toLongLong();
    TeamTree tree;
    tree.setOptions({kMe, false, clock.nowLocal()});
    tree.buildSkeleton(db(), kQuotedShop, false);
    tree.placeTasks(rows);
    for (const qlonglong n : {dropped, routed}) {
        SCOPED_TRACE(n == dropped ? "dropped" : "routed");
        EXPECT_TRUE(grid.contains(n));
        EXPECT_NE(tree.findTask(n), nullptr);
    }
}

// A task once dropped on a workshop and then routed from the editor to a person, directly or by a
// lifecycle stage, belongs to that person: it shows in his list and under his node.
TEST_P(TaskMovesTest, ATaskTakenFromAWorkshopShowsForItsNewOwner)
{
    test::addMembers(db(), kShop, {kOther});
    const qlonglong n = addTask(kMe);
    db().execute(QStringLiteral("UPDATE SCR SET SCR_Request_ID = ? WHERE SCR_Number = ?"),
                 {kMe, n});
    ASSERT_TRUE(drop(n, DropTarget::Workshop, kShop));
    {
        cSCR task(session, prompt);
        ASSERT_TRUE(task.Load(n));
        ASSERT_TRUE(task.Route_SCR({{kOther, kShop, OwnerType::User}}, QString()));
    }
    const OwnerSet owner{OwnerKind::User, {kOther}};
    const TaskCriteria q = gridTaskQuery(&owner, TaskViewFilter{}, session);
    const RecordSet rows = db().query(q.sql, q.params);
    ASSERT_EQ(rows.rowCount(), 1);
    TeamTree tree;
    tree.setOptions({kMe, false, clock.nowLocal()});
    tree.buildSkeleton(db(), kShop, false);
    tree.placeTasks(rows);
    const TreeNode* placed = tree.findTask(n);
    ASSERT_NE(placed, nullptr);
    EXPECT_EQ(placed->parent, tree.findUser(kOther));
}

TEST_P(TaskMovesTest, FolderAndCategoryDropsRecordFolderChange)
{
    const qlonglong mine = test::addFolder(db(), kMe, QStringLiteral("Ann's"));
    const qlonglong n = addTask(kMe);
    ASSERT_TRUE(drop(n, DropTarget::Folder, mine));
    EXPECT_EQ(prompt.last().text,
              QStringLiteral("Would you like to move Fix Bob's \"printer\" into Folder Ann's"));
    EXPECT_EQ(task(n).number(QStringLiteral("SCR_Parent_Folder_Number")), mine);
    EXPECT_EQ(history(n),
              (QStringList{QStringLiteral("Create Request"), QStringLiteral("FOLDER CHANGE"),
                           QStringLiteral("open:ann")}));

    // A folder of somebody else first routes the task to him.
    const qlonglong theirs = test::addFolder(db(), kOther, QStringLiteral("Inbox"));
    const qlonglong routed = addTask(kMe);
    ASSERT_TRUE(drop(routed, DropTarget::Folder, theirs));
    EXPECT_EQ(task(routed).text(QStringLiteral("SCR_Owner_User_ID")), kOther);
    EXPECT_EQ(task(routed).number(QStringLiteral("SCR_Parent_Folder_Number")), theirs);
    EXPECT_EQ(history(routed),
              (QStringList{QStringLiteral("Create Request"), QStringLiteral("ROUTE"),
                           QStringLiteral("FOLDER CHANGE"), QStringLiteral("open:ann")}));

    test::addCategories(db(), {QStringLiteral("Bob's")});
    test::addSubfolder(db(), QStringLiteral("Q'1"), QStringLiteral("Bob's"));
    const qlonglong filed = addTask(kMe);
    ASSERT_TRUE(drop(filed, DropTarget::Category, QStringLiteral("Q'1")));
    EXPECT_EQ(
        prompt.last().text,
        QStringLiteral("Would you like to change Folder of Fix Bob's \"printer\" to Bob's\\Q'1"));
    EXPECT_EQ(task(filed).text(QStringLiteral("SCR_Category")), QStringLiteral("Q'1"));
    EXPECT_EQ(history(filed).value(1), QStringLiteral("FOLDER CHANGE"));
}

TEST_P(TaskMovesTest, SubtaskDropsRefuseLoops)
{
    const qlonglong parent = addTask(kMe);
    const qlonglong child = addTask(kMe);
    ASSERT_TRUE(drop(child, DropTarget::Task, parent));
    EXPECT_EQ(task(child).number(QStringLiteral("SCR_Parent_Number")), parent);

    for (const qlonglong target : {parent, child}) {
        prompt.clear();
        EXPECT_FALSE(dropTask(session, prompt, parent, DropTarget::Task, target));
        EXPECT_EQ(prompt.texts(),
                  QStringList{QStringLiteral("You can't make a task Fix Bob's \"printer\" a "
                                             "Subtask of Fix Bob's \"printer\"")});
    }
    EXPECT_EQ(task(parent).number(QStringLiteral("SCR_Parent_Number")), 0);
}

// A task another client changes while the drop's question is open is left as that client left
// it, whatever it was dropped on.
TEST_P(TaskMovesTest, EveryDropRefusesATaskChangedWhileAsked)
{
    test::addCategories(db(), {kQuotedShopName});
    const std::pair<DropTarget, QVariant> drops[] = {
        {DropTarget::User, kOther},
        {DropTarget::Workshop, kQuotedShop},
        {DropTarget::Category, kQuotedShopName},
        {DropTarget::Folder, test::addFolder(db(), kOther, QStringLiteral("Bob's box"))},
        {DropTarget::Task, addTask(kMe)},
    };
    for (const auto& [target, key] : drops) {
        SCOPED_TRACE(static_cast<int>(target));
        const qlonglong n = addTask(kMe);
        const qlonglong before = task(n).number(QStringLiteral("SCR_Row_Version"));
        test::ActingPrompt renaming;
        renaming.whileAsked = [&] {
            db().execute(QStringLiteral("UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?"),
                         {QStringLiteral("Renamed by O'Brien"), n});
        };
        EXPECT_FALSE(dropTask(session, renaming, n, target, key));
        EXPECT_EQ(renaming.shown.last(),
                  QStringLiteral("This task was changed since you opened it. Your changes were "
                                 "not saved."));
        // The rename raised the version once; any write of the drop would have raised it again.
        EXPECT_EQ(task(n).number(QStringLiteral("SCR_Row_Version")), before + 1);
    }
}

TEST_P(TaskMovesTest, TaskCommandsOfTheMainWindow)
{
    const qlonglong theirs = addTask(kOther);
    EXPECT_FALSE(closeTask(session, prompt, theirs));
    EXPECT_EQ(prompt.last().text, taskmoves::kCloseOnlyOwn);
    EXPECT_EQ(task(theirs).text(QStringLiteral("SCR_Status")), QStringLiteral("A"));

    const qlonglong mine = addTask(kMe);
    EXPECT_TRUE(closeTask(session, prompt, mine));
    EXPECT_EQ(task(mine).text(QStringLiteral("SCR_Status")), QStringLiteral("C"));

    const qlonglong parent = addTask(kMe);
    db().execute(QStringLiteral("UPDATE SCR SET SCR_Parent_Number = ? WHERE SCR_Number = ?"),
                 {parent, theirs});
    EXPECT_FALSE(makeIndependent(session, prompt, theirs));
    EXPECT_EQ(prompt.last().text, UserRights::kMayNotDetachSubtask);
    session.user.record.editUnowned = true;
    EXPECT_TRUE(makeIndependent(session, prompt, theirs));
    EXPECT_EQ(prompt.last().text,
              QStringLiteral("Task \"Fix Bob's \"printer\"\" is now independent"));
    EXPECT_EQ(task(theirs).number(QStringLiteral("SCR_Parent_Number")), 0);

    db().execute(QStringLiteral("UPDATE LU_USER SET Supervisor_User_ID = ? WHERE USER_ID = ?"),
                 {kOther, kMe});
    EXPECT_EQ(supervisorOf(session, prompt, kMe), kOther);
    EXPECT_FALSE(supervisorOf(session, prompt, kOther));
    EXPECT_EQ(prompt.last().text, taskmoves::kTopOfTeam);
}

BX_INSTANTIATE_ENGINES(TaskMovesTest);

} // namespace
