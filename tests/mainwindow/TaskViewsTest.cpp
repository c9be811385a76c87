#include "mainwindow/TaskViews.h"

#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "dbadmin/UpgradeLog.h"
#include "dbadmin/UpgradeSteps.h"
#include "mainwindow/MainWindowRows.h"
#include "support/ContactRows.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

using Set = std::set<std::string>;

constexpr qlonglong kShop = 7;
constexpr qlonglong kOtherShop = 8;
const QString kObrien = u"O'Brien"_s;
const QString kBobs = u"Bob's projects"_s;

QDateTime at(int y, int mo, int d, int h = 0, int mi = 0)
{
    return naive(QDate(y, mo, d), QTime(h, mi));
}

class TaskViewsTest : public test::SessionTest
{
protected:
    void arrange() override
    {
        clock.set(at(2024, 1, 31, 14, 5));
        test::addUsers(db(), {u"ann"_s, u"bob"_s, u"carl"_s, u"dora"_s, kObrien});
        db().execute(u"INSERT INTO LU_USER (USER_ID, Disabled) VALUES (?, ?)"_s,
                     {u"gone"_s, db().dialect().trueValue()});
        test::addCategories(db(), {kBobs, u"Misc"_s});
        for (const QString& p : {u"High"_s, u"Low"_s})
            db().execute(u"INSERT INTO LU_PRIORITY (Priority) VALUES (?)"_s, {p});
        for (qlonglong g : {kShop, kOtherShop})
            test::addWorkshop(db(), g);
        session.currentWorkshopId = int(kShop);
    }

    /** A task of the current workshop, active, owned by bob and requested by carl. */
    qlonglong addTask(const QString& title, const QVariantMap& columns = {})
    {
        return test::addTaskRow(db(),
                                {{scr::Title, title},
                                 {scr::OwnerUserId, u"bob"_s},
                                 {scr::RequestId, u"carl"_s},
                                 {scr::OwnerDateViewed, at(2024, 1, 2)},
                                 {scr::StartDate, at(2023, 6, 1)},
                                 {scr::MeetingId, 0}},
                                columns);
    }
    void addRoute(qlonglong task, const QString& status, const QDateTime& in)
    {
        db().insertNumbered(u"ROUTE"_s, u"Route_Number"_s,
                            {u"SCR_Number"_s, u"USER_ID"_s, u"Route_Status"_s, u"Route_Date_In"_s},
                            {task, u"bob"_s, status, in});
    }

    /** The titles in the order the statement gives them, or sorted, "|" between them. */
    std::string ordered(const TaskCriteria& statement, bool sorted = false)
    {
        QStringList list =
            test::columnTexts(session.db(), statement.sql, statement.params, scr::Title);
        if (sorted)
            list.sort();
        return list.join(u'|').toStdString();
    }

    Set viewOf(const TaskViewFilter& filter)
    {
        const QString names =
            QString::fromStdString(ordered(gridTaskQuery(nullptr, filter, session)));
        Set out;
        for (const QString& t : names.split(u'|', Qt::SkipEmptyParts))
            out.insert(t.toStdString());
        return out;
    }

    /** The rows every criteria case looks at. */
    void addViewRows()
    {
        const QString s = scr::Status;
        addTask(u"viewed"_s, {{scr::Category, kBobs},
                              {scr::Priority, u"High"_s},
                              {scr::StartDate, at(2024, 1, 20, 10)},
                              {scr::OwnerTargetDate, at(2024, 2, 10)}});
        addTask(u"unviewed"_s, {{scr::OwnerDateViewed, QVariant()},
                                {scr::RequestId, u"ann"_s},
                                {scr::Category, u"Misc"_s},
                                {scr::Priority, u"Low"_s},
                                {scr::StartDate, at(2024, 1, 25, 23, 30)},
                                {scr::OwnerTargetDate, at(2024, 1, 30)}});
        const qlonglong closed = addTask(u"complete"_s, {{s, u"C"_s}});
        addRoute(closed, u"C"_s, at(2024, 1, 15, 9));
        addRoute(closed, u"C"_s, at(2023, 11, 1));
        const qlonglong never =
            addTask(u"never closed"_s, {{s, u"C"_s}, {scr::OwnerTargetDate, at(2024, 1, 1)}});
        addRoute(never, u"A"_s, at(2024, 1, 16));
        addTask(u"incomplete"_s, {{s, u"I"_s}, {scr::StartDate, at(2024, 1, 26, 0, 30)}});
        addTask(u"canceled"_s, {{s, u"X"_s}});
        addTask(u"elsewhere"_s, {{scr::GroupId, kOtherShop}});
        addTask(u"irish"_s, {{scr::RequestId, kObrien}});
    }
};

struct CriteriaCase
{
    const char* name;
    std::function<void(TaskViewFilter&)> change;
    Set expected;
    QString user = u"ann"_s;
};

TEST_P(TaskViewsTest, EachCriteriaPieceSelectsItsRows)
{
    addViewRows();
    const Set all{"viewed",     "unviewed", "complete", "never closed",
                  "incomplete", "canceled", "irish"};
    const auto none = [](TaskViewFilter& f) { f.active = false; };
    const auto command = [](auto c) { return [c](TaskViewFilter& f) { f.apply(c); }; };
    /** Any status, within the window; `on` false leaves the window switched off. */
    const auto window = [](const QString& field, QDate from, QDate to, bool on = true) {
        return [=](TaskViewFilter& f) {
            f.active = false;
            f.window = TaskDateWindow::fromChoice({field, 0, 0, from, to});
            if (!on)
                f.window.on = false;
        };
    };
    const QString closed = u"closedate"_s;
    const QList<CriteriaCase> cases{
        {"default", [](TaskViewFilter&) {}, {"viewed", "unviewed", "irish"}},
        {"complete", command(ViewCommand::Complete), {"complete", "never closed"}},
        {"incomplete", command(ViewCommand::Incomplete), {"incomplete"}},
        {"canceled", command(ViewCommand::Canceled), {"canceled"}},
        {"no status", none, all},
        {"search, no status", [](TaskViewFilter& f) { f.search.on = true; },
         [&] {
             Set s = all;
             s.insert("elsewhere");
             return s;
         }()},
        {"search, C and X",
         [](TaskViewFilter& f) {
             f.search.on = true;
             f.search.statuses = u"cX"_s;
         },
         {"complete", "never closed", "canceled"}},
        {"viewed", command(ViewCommand::Viewed), {"viewed", "irish"}},
        {"unviewed", command(ViewCommand::Unviewed), {"unviewed"}},
        {"requested by me", command(ViewCommand::RequestedBy), {"unviewed"}},
        {"requested by O'Brien", command(QuickView::RequestedBy), {"irish"}, kObrien},
        {"two categories, any status",
         [&](TaskViewFilter& f) {
             none(f);
             f.categories = {kBobs, u"misc"_s};
         },
         {"viewed", "unviewed"}},
        {"priority", [](TaskViewFilter& f) { f.priorities = {u"Low"_s}; }, {"unviewed"}},
        {"start date window includes the whole last day",
         window({}, QDate(2024, 1, 20), QDate(2024, 1, 25)),
         {"viewed", "unviewed"}},
        {"window off", window({}, QDate(2024, 1, 20), QDate(2024, 1, 25), false), all},
        {"closedate window", window(closed, QDate(2024, 1, 1), QDate(2024, 1, 31)), {"complete"}},
        {"closedate window before the newest close",
         window(closed, QDate(2023, 10, 1), QDate(2023, 12, 1)),
         {}},
        {"search window",
         [](TaskViewFilter& f) {
             f.search.on = true;
             f.search.window = TaskDateWindow::fromChoice(
                 {scr::OwnerTargetDate, 0, 0, QDate(2024, 1, 1), QDate(2024, 1, 30)});
         },
         {"unviewed", "never closed"}},
        {"late", command(QuickView::LateTasks), {"unviewed"}},
    };
    for (const CriteriaCase& c : cases) {
        session.user.userId = c.user;
        TaskViewFilter filter = TaskViewFilter::defaults(QDate(2024, 1, 31));
        c.change(filter);
        EXPECT_EQ(viewOf(filter), c.expected) << c.name;
        const QString sql = buildTaskCriteria(filter, session).sql;
        EXPECT_FALSE(sql.contains(kBobs) || sql.contains(kObrien)) << c.name;
    }
}

TEST(TaskViewFilterTest, MenuCommandsKeepTheirChecksExclusive)
{
    TaskViewFilter f = TaskViewFilter::defaults(QDate(2024, 1, 31));
    f.apply(ViewCommand::RequestedBy);
    f.apply(ViewCommand::OwnedBy);
    f.apply(ViewCommand::Unviewed);
    EXPECT_FALSE(f.requestedBy);
    EXPECT_FALSE(f.ownedBy);
    f.apply(ViewCommand::Complete);
    f.apply(ViewCommand::Late);
    EXPECT_TRUE(f.late && f.active && !f.complete);
    EXPECT_EQ(f.viewed, ViewedState::Both);
    EXPECT_EQ(f.captionSuffix(), u" (Active) (Late) (Viewed & Unviewed)"_s);
    f.apply(ViewCommand::Late);
    EXPECT_FALSE(f.late);
    f.apply(ViewCommand::Canceled);
    f.apply(ViewCommand::Active);
    EXPECT_TRUE(f.active && !f.canceled);
}

TEST_P(TaskViewsTest, TreeListsSubTasksUnderParentsInTheViewOnly)
{
    const qlonglong parent = addTask(u"parent"_s);
    addTask(u"child"_s, {{scr::ParentNumber, parent}});
    const qlonglong done = addTask(u"done parent"_s, {{scr::Status, u"C"_s}});
    addTask(u"orphaned child"_s, {{scr::ParentNumber, done}});
    addTask(u"meeting"_s, {{scr::MeetingId, 5}});
    addTask(u"from disabled"_s, {{scr::RequestId, u"gone"_s}});
    addTask(u"carl's"_s, {{scr::OwnerUserId, u"carl"_s}});
    addTask(u"shop's"_s, {{scr::OwnerUserId, u"7"_s}, {scr::OwnerType, 1}});

    const TaskViewFilter f = TaskViewFilter::defaults(QDate(2024, 1, 31));
    const OwnerSet users{OwnerKind::User, {u"BOB"_s, kObrien}};
    EXPECT_EQ(ordered(treeTaskQuery(users, f, session), true), "orphaned child|parent");
    EXPECT_EQ(ordered(treeTaskQuery(users, f, session, true), true), "child|orphaned child|parent");
    EXPECT_EQ(ordered(treeTaskQuery({OwnerKind::Workshop, {u"7"_s}}, f, session)), "shop's");
    const OwnerSet carl{OwnerKind::User, {u"carl"_s}};
    EXPECT_EQ(ordered(gridTaskQuery(&carl, f, session)), "carl's");
}

TEST_P(TaskViewsTest, GridIsOrderedByCategoryPriorityAndDateIn)
{
    addTask(u"b"_s, {{scr::Category, u"Misc"_s}});
    addTask(u"a2"_s, {{scr::Category, kBobs}, {scr::Priority, u"Low"_s}});
    addTask(
        u"a1b"_s,
        {{scr::Category, kBobs}, {scr::Priority, u"High"_s}, {scr::OwnerDateIn, at(2024, 1, 9)}});
    addTask(
        u"a1a"_s,
        {{scr::Category, kBobs}, {scr::Priority, u"High"_s}, {scr::OwnerDateIn, at(2024, 1, 8)}});
    EXPECT_EQ(
        ordered(gridTaskQuery(nullptr, TaskViewFilter::defaults(QDate(2024, 1, 31)), session)),
        "a1a|a1b|a2|b");
}

TEST_P(TaskViewsTest, SensitiveTasksOnlyForOwnerAndRequester)
{
    addTask(u"secret"_s, {{scr::Sensitive, db().dialect().trueValue()}});
    addTask(u"open"_s);
    const TaskCriteria grid =
        gridTaskQuery(nullptr, TaskViewFilter::defaults(QDate(2024, 1, 31)), session);
    const std::pair<QString, int> cases[] = {{u"Bob"_s, 2}, {u"CARL"_s, 2}, {u"ann"_s, 1}};
    for (const auto& [user, visible] : cases) {
        session.user.userId = user;
        QStringList seen;
        const TaskListFill fill = fillTaskList(session, grid, [&](const RecordSet& rows, int r) {
            seen << rows.value(r, scr::Title).toString();
        });
        EXPECT_EQ(fill.inserted, visible) << user.toStdString();
        EXPECT_EQ(fill.hidden, 2 - visible) << user.toStdString();
        EXPECT_FALSE(fill.stopped);
    }
}

TEST_P(TaskViewsTest, FillingStopsAtTheQueryWaitLimit)
{
    for (int i = 0; i < 4; ++i)
        addTask(u"t%1"_s.arg(i));
    session.system.queryWait = 2;
    const qint64 ticks[] = {0, 1000, 2000, 2001, 9000};
    int call = 0;
    int inserted = 0;
    const TaskListFill fill = fillTaskList(
        session, gridTaskQuery(nullptr, TaskViewFilter::defaults(QDate(2024, 1, 31)), session),
        [&](const RecordSet&, int) { ++inserted; }, [&] { return ticks[call++]; });
    EXPECT_TRUE(fill.stopped);
    EXPECT_EQ(inserted, 3);
    EXPECT_EQ(fill.message, kTooManyTasks);
}

// The contact column shows "Last, First"; no key, the marker of tasks kept for a contact (even
// when a contact has that key) and a key naming nobody show empty.
TEST_P(TaskViewsTest, ContactColumnNamesTheContact)
{
    db().execute(u"INSERT INTO CONTACT (CONTACT_KEY, Last_Name, First_Name) "
                 "VALUES (1, 'Marker', 'M')"_s);
    const qlonglong lee = test::addContactRow(db(), u"Lee"_s, u"Al"_s);
    const std::pair<const char*, QVariant> cases[] = {
        {"zero", 0}, {"null", QVariant()}, {"marker", 1}, {"unknown", lee + 100}, {"lee", lee}};
    for (const auto& [title, key] : cases)
        addTask(QString::fromLatin1(title), {{scr::ContactKey, key}});
    QStringList names;
    QList<QVariantList> rows;
    fillTaskList(session,
                 gridTaskQuery(nullptr, TaskViewFilter::defaults(QDate(2024, 1, 31)), session),
                 [&](const RecordSet& rs, int row) {
                     names = rs.columns();
                     rows << rs.rows().at(row);
                 });
    ASSERT_EQ(rows.size(), 5);
    nameTaskContacts(db(), names, rows);
    const RecordSet named(names, rows);
    QHash<QString, QVariant> shown;
    for (int r = 0; r < named.rowCount(); ++r)
        shown.insert(named.value(r, scr::Title).toString(), named.value(r, scr::ContactKey));
    for (const auto& [title, key] : cases)
        EXPECT_EQ(shown.value(QString::fromLatin1(title)),
                  qstrcmp(title, "lee") == 0 ? QVariant(u"Lee, Al"_s) : QVariant())
            << title;
}

TEST_P(TaskViewsTest, ApprovalListsTasksWaitingForMySignOff)
{
    const qlonglong waiting = addTask(u"waiting"_s);
    const qlonglong signedOff = addTask(u"signed"_s);
    const auto attach = [&](qlonglong task) {
        return test::addAttachment(
            db(), task, {{u"Attach_Type"_s, u"K"_s}, {u"Attach_Filename"_s, u"Ann's list"_s}});
    };
    attach(waiting);
    const qlonglong a2 = attach(signedOff);
    const QString insert = u"INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, "
                           "Sign_User_ID, Attach_Number) VALUES (?, ?, ?, ?)"_s;
    db().execute(insert, {u"Ann's list"_s, u"QA"_s, u"ann"_s, 0});
    db().execute(insert, {u"Ann's list"_s, u"QA"_s, QVariant(), a2});
    EXPECT_EQ(ordered(approvalGridQuery(session)), "waiting");
    session.user.userId = u"bob"_s;
    EXPECT_EQ(ordered(approvalGridQuery(session)), "");
}

TEST_P(TaskViewsTest, IndexStepCanRunAgain)
{
    const auto steps = upgradeSteps76();
    ASSERT_EQ(steps.size(), 1);
    UpgradeLog log(tempDir() + u"/again.txt"_s);
    const UpgradeContext context{tempDir(), &clock};
    DefinedStep step(steps.first());
    Transaction tx(db());
    EXPECT_NO_THROW(step.execute(db(), log, context));
    tx.commit();
    const QString sql = isServer() ? u"SELECT COUNT(*) FROM pg_indexes WHERE "
                                     "lower(indexname) = lower(?)"_s
                                   : u"SELECT COUNT(*) FROM sqlite_master WHERE type = "
                                     "'index' AND lower(name) = lower(?)"_s;
    EXPECT_EQ(db().scalar(sql, {u"IX_SCR_Group_Owner_Status"_s}).toInt(), 1);
}

BX_INSTANTIATE_ENGINES(TaskViewsTest);

} // namespace
