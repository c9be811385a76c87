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

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

const QString kMe = u"ann"_s;
const QString kOther = u"O'Brien"_s;
constexpr qlonglong kShop = 7;
constexpr qlonglong kQuotedShop = 4;
const QString kQuotedShopName = u"O'Neil's desk"_s;

class TaskMovesTest : public test::SessionTest
{
protected:
    void arrange() override
    {
        test::addUsers(db(), {kMe, kOther});
        test::addWorkshop(db(), kShop, u"Seventh"_s);
        test::addWorkshop(db(), kQuotedShop, kQuotedShopName);
        session.currentWorkshopId = static_cast<int>(kShop);
    }

    /** A task of workshop 7 with its first history rows (one closed, one open for the owner). */
    qlonglong addTask(const QString& owner, const QString& status = u"A"_s, bool sensitive = false,
                      qlonglong folder = 0)
    {
        const qlonglong n = test::addTaskRow(
            db(), {{u"SCR_Title"_s, u"Fix Bob's \"printer\""_s},
                   {u"SCR_Status"_s, status},
                   {u"SCR_Owner_User_ID"_s, owner},
                   {u"SCR_Group_ID"_s, kShop},
                   {u"SCR_Sensitive"_s, sensitive},
                   {u"SCR_Parent_Folder_Number"_s, folder},
                   {u"SCR_Owner_Date_Viewed"_s, naive(QDate(2024, 1, 2), QTime(8, 0))}});
        RouteHistoryEntry e;
        e.taskNumber = n;
        e.action = u"Create Request"_s;
        e.ownerUser = owner;
        e.groupId = kShop;
        RecordRoute(db(), e, naive(QDate(2024, 1, 2), QTime(6, 0)), kMe, nullptr);
        return n;
    }

    RecordSet task(qlonglong n)
    {
        return db().query(u"SELECT * FROM SCR WHERE SCR_Number = ?"_s, {n});
    }

    /** Route_Action of the closed rows, oldest first; then "open:" + the open row's user. */
    QStringList history(qlonglong n)
    {
        const RecordSet rows =
            db().query(u"SELECT * FROM ROUTE WHERE SCR_Number = ? ORDER BY Route_Number"_s, {n});
        QStringList out;
        for (int i = 0; i < rows.rowCount(); ++i) {
            out << (rows.value(i, u"Route_Date_Out"_s).isNull()
                        ? u"open:"_s + rows.value(i, u"User_ID"_s).toString()
                        : rows.value(i, u"Route_Action"_s).toString());
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
        {"own incomplete, other case", u" ANN "_s, u"I"_s, false, true},
        {"own completed", kMe, u"C"_s, true, false},
        {"own cancelled", kMe, u"X"_s, true, false},
        {"another's", kOther, u"A"_s, false, false},
        {"another's with Edit_Unowned", kOther, u"A"_s, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        session.user.record.editUnowned = c.editUnowned;
        const qlonglong n = addTask(c.owner, c.status);
        prompt.clear();
        if (c.allowed) {
            EXPECT_TRUE(drop(n, DropTarget::Workshop, kQuotedShop));
            EXPECT_EQ(prompt.last().text,
                      u"Would you like to Route Fix Bob's \"printer\" to Workshop "_s +
                          kQuotedShopName);
            EXPECT_EQ(task(n).number(u"SCR_Group_ID"_s), kQuotedShop);
        } else {
            EXPECT_FALSE(dropTask(session, prompt, n, DropTarget::Workshop, kQuotedShop));
            EXPECT_EQ(prompt.texts(), QStringList{UserRights::kMayNotDetachSubtask});
            EXPECT_EQ(task(n).number(u"SCR_Group_ID"_s), kShop);
        }
    }
}

TEST_P(TaskMovesTest, RoutingByDropClearsFolderAndViewedDateAndRecordsRoute)
{
    const qlonglong n = addTask(kMe, u"A"_s, false, 55);
    ASSERT_TRUE(drop(n, DropTarget::User, kOther));
    EXPECT_EQ(prompt.last().text,
              u"Would you like to Route Fix Bob's \"printer\" to User O'Brien"_s);
    const RecordSet row = task(n);
    EXPECT_EQ(row.text(u"SCR_Owner_User_ID"_s), kOther);
    EXPECT_EQ(row.number(u"SCR_Parent_Folder_Number"_s), 0);
    EXPECT_TRUE(row.isNull(u"SCR_Owner_Date_Viewed"_s));
    EXPECT_EQ(row.number(u"SCR_OwnerType"_s), 0);
    EXPECT_EQ(history(n), (QStringList{u"Create Request"_s, u"ROUTE"_s, u"open:"_s + kOther}));

    const qlonglong toShop = addTask(kMe);
    ASSERT_TRUE(drop(toShop, DropTarget::Workshop, kQuotedShop));
    const RecordSet shopRow = task(toShop);
    EXPECT_EQ(shopRow.text(u"SCR_Owner_User_ID"_s), QString::number(kQuotedShop));
    EXPECT_EQ(shopRow.number(u"SCR_OwnerType"_s), 1);

    const qlonglong secret = addTask(kMe, u"A"_s, true, 55);
    ASSERT_TRUE(drop(secret, DropTarget::User, kOther));
    EXPECT_EQ(task(secret).number(u"SCR_Parent_Folder_Number"_s), 0);
    EXPECT_TRUE(history(secret).isEmpty());
}

// Given to a workshop by the editor's routing or by a drop on its node, a task shows in that
// workshop's grid and under it in its tree. Then routed from the editor to a person, it belongs
// to that person: it shows in his list and under his node.
TEST_P(TaskMovesTest, TasksGivenToAWorkshopOrTakenFromItShowWhereTheyWent)
{
    const auto routeFromEditor = [&](qlonglong n, const cSelUser& to) {
        cSCR task(session, prompt);
        ASSERT_TRUE(task.Load(n));
        ASSERT_TRUE(task.Route_SCR({to}, QString())) << prompt.texts().join(u'|').toStdString();
    };
    /** The view of `owner` (all when null) in `workshop`: the tasks listed and the tree. */
    const auto view = [&](qlonglong workshop, const OwnerSet* owner, TeamTree& tree) {
        session.currentWorkshopId = static_cast<int>(workshop);
        const TaskCriteria q = gridTaskQuery(owner, TaskViewFilter{}, session);
        const RecordSet rows = db().query(q.sql, q.params);
        tree.setOptions({kMe, false, clock.nowLocal()});
        tree.buildSkeleton(db(), workshop, false);
        tree.placeTasks(rows);
        return test::columnTexts(db(), q.sql, q.params, u"SCR_Number"_s);
    };
    const qlonglong dropped = addTask(kMe);
    ASSERT_TRUE(drop(dropped, DropTarget::Workshop, kQuotedShop));
    const qlonglong routed = addTask(kMe);
    routeFromEditor(routed, {QString(), kQuotedShop, OwnerType::Workshop});
    TeamTree desk;
    const QStringList grid = view(kQuotedShop, nullptr, desk);
    for (const qlonglong n : {dropped, routed}) {
        SCOPED_TRACE(n == dropped ? "dropped" : "routed");
        EXPECT_TRUE(grid.contains(QString::number(n)));
        EXPECT_NE(desk.findTask(n), nullptr);
    }

    test::addMembers(db(), kShop, {kOther});
    const qlonglong taken = addTask(kMe);
    db().execute(u"UPDATE SCR SET SCR_Request_ID = ? WHERE SCR_Number = ?"_s, {kMe, taken});
    ASSERT_TRUE(drop(taken, DropTarget::Workshop, kShop));
    routeFromEditor(taken, {kOther, kShop, OwnerType::User});
    const OwnerSet owner{OwnerKind::User, {kOther}};
    TeamTree shop;
    EXPECT_EQ(view(kShop, &owner, shop), QStringList{QString::number(taken)});
    const TreeNode* placed = shop.findTask(taken);
    ASSERT_NE(placed, nullptr);
    EXPECT_EQ(placed->parent, shop.findUser(kOther));
}

TEST_P(TaskMovesTest, FolderAndCategoryDropsRecordFolderChange)
{
    const qlonglong mine = test::addFolder(db(), kMe, u"Ann's"_s);
    const qlonglong n = addTask(kMe);
    ASSERT_TRUE(drop(n, DropTarget::Folder, mine));
    EXPECT_EQ(prompt.last().text,
              u"Would you like to move Fix Bob's \"printer\" into Folder Ann's"_s);
    EXPECT_EQ(task(n).number(u"SCR_Parent_Folder_Number"_s), mine);
    EXPECT_EQ(history(n), (QStringList{u"Create Request"_s, u"FOLDER CHANGE"_s, u"open:ann"_s}));

    // A folder of somebody else first routes the task to him.
    const qlonglong theirs = test::addFolder(db(), kOther, u"Inbox"_s);
    const qlonglong routed = addTask(kMe);
    ASSERT_TRUE(drop(routed, DropTarget::Folder, theirs));
    EXPECT_EQ(task(routed).text(u"SCR_Owner_User_ID"_s), kOther);
    EXPECT_EQ(task(routed).number(u"SCR_Parent_Folder_Number"_s), theirs);
    EXPECT_EQ(history(routed),
              (QStringList{u"Create Request"_s, u"ROUTE"_s, u"FOLDER CHANGE"_s, u"open:ann"_s}));

    test::addCategories(db(), {u"Bob's"_s});
    test::addSubfolder(db(), u"Q'1"_s, u"Bob's"_s);
    const qlonglong filed = addTask(kMe);
    ASSERT_TRUE(drop(filed, DropTarget::Category, u"Q'1"_s));
    EXPECT_EQ(prompt.last().text,
              u"Would you like to change Folder of Fix Bob's \"printer\" to Bob's\\Q'1"_s);
    EXPECT_EQ(task(filed).text(u"SCR_Category"_s), u"Q'1"_s);
    EXPECT_EQ(history(filed).value(1), u"FOLDER CHANGE"_s);
}

TEST_P(TaskMovesTest, SubtaskDropsRefuseLoops)
{
    const qlonglong parent = addTask(kMe);
    const qlonglong child = addTask(kMe);
    ASSERT_TRUE(drop(child, DropTarget::Task, parent));
    EXPECT_EQ(task(child).number(u"SCR_Parent_Number"_s), parent);

    for (const qlonglong target : {parent, child}) {
        prompt.clear();
        EXPECT_FALSE(dropTask(session, prompt, parent, DropTarget::Task, target));
        EXPECT_EQ(prompt.texts(), QStringList{u"You can't make a task Fix Bob's \"printer\" a "
                                              "Subtask of Fix Bob's \"printer\""_s});
    }
    EXPECT_EQ(task(parent).number(u"SCR_Parent_Number"_s), 0);
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
        {DropTarget::Folder, test::addFolder(db(), kOther, u"Bob's box"_s)},
        {DropTarget::Task, addTask(kMe)},
    };
    for (const auto& [target, key] : drops) {
        SCOPED_TRACE(static_cast<int>(target));
        const qlonglong n = addTask(kMe);
        const qlonglong before = task(n).number(u"SCR_Row_Version"_s);
        test::ActingPrompt renaming;
        renaming.whileAsked = [&] {
            db().execute(u"UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?"_s,
                         {u"Renamed by O'Brien"_s, n});
        };
        EXPECT_FALSE(dropTask(session, renaming, n, target, key));
        EXPECT_EQ(renaming.shown.last(),
                  u"This task was changed since you opened it. Your changes were "
                  "not saved."_s);
        // The rename raised the version once; any write of the drop would have raised it again.
        EXPECT_EQ(task(n).number(u"SCR_Row_Version"_s), before + 1);
    }
}

TEST_P(TaskMovesTest, TaskCommandsOfTheMainWindow)
{
    const qlonglong theirs = addTask(kOther);
    EXPECT_FALSE(closeTask(session, prompt, theirs));
    EXPECT_EQ(prompt.last().text, u"You can close only your own tasks"_s);
    EXPECT_EQ(task(theirs).text(u"SCR_Status"_s), u"A"_s);

    const qlonglong mine = addTask(kMe);
    EXPECT_TRUE(closeTask(session, prompt, mine));
    EXPECT_EQ(task(mine).text(u"SCR_Status"_s), u"C"_s);

    const qlonglong parent = addTask(kMe);
    db().execute(u"UPDATE SCR SET SCR_Parent_Number = ? WHERE SCR_Number = ?"_s, {parent, theirs});
    EXPECT_FALSE(makeIndependent(session, prompt, theirs));
    EXPECT_EQ(prompt.last().text, UserRights::kMayNotDetachSubtask);
    session.user.record.editUnowned = true;
    EXPECT_TRUE(makeIndependent(session, prompt, theirs));
    EXPECT_EQ(prompt.last().text, u"Task \"Fix Bob's \"printer\"\" is now independent"_s);
    EXPECT_EQ(task(theirs).number(u"SCR_Parent_Number"_s), 0);

    db().execute(u"UPDATE LU_USER SET Supervisor_User_ID = ? WHERE USER_ID = ?"_s, {kOther, kMe});
    EXPECT_EQ(supervisorOf(session, prompt, kMe), kOther);
    EXPECT_FALSE(supervisorOf(session, prompt, kOther));
    EXPECT_EQ(prompt.last().text, u"Top of team structure reached"_s);
}

BX_INSTANTIATE_ENGINES(TaskMovesTest);

} // namespace
