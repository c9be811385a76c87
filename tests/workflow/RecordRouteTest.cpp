#include "workflow/RecordRoute.h"

#include "core/Clock.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"
#include "workflow/TaskNotifier.h"

#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

using namespace bx;
using namespace Qt::StringLiterals;
using bx::test::addTaskRow;

namespace {

const QDateTime kMonday = naive(QDate(2024, 3, 4), QTime(9, 30, 0));
const QString kActor = u"bob"_s;

/** One call of the notifier: what it was given and what the tables held at that moment. */
struct Notice
{
    qlonglong taskNumber = 0;
    qlonglong routeNumber = 0;
    QDateTime closedAt;      ///< Route_Date_Out of the route row handed over
    QVariantList words;      ///< action, stage, target date, owner, workshop, comment
    QList<qlonglong> tables; ///< the task's ROUTE rows, of them open, its SCR_Route_Number
};

class RecordingNotifier final : public TaskNotifier
{
public:
    explicit RecordingNotifier(Database& db)
        : m_db(db)
    {
    }

    void NotifyTaskEvent(Database& /*db*/, const RecordSet& task, const RecordSet& route,
                         const QString& action, const QString& stageName,
                         const QDateTime& targetDate, const QString& ownerUser, qlonglong groupId,
                         const QString& comment) override
    {
        const QVariantList key{task.number(scr::Number)};
        const auto scalar = [&](const char* sql) {
            return m_db.scalar(QString::fromUtf8(sql), key).toLongLong();
        };
        notices.append(
            {key.first().toLongLong(),
             route.number(u"Route_Number"_s),
             route.dateTime(u"Route_Date_Out"_s),
             {action, stageName, targetDate, ownerUser, groupId, comment},
             {scalar("SELECT COUNT(*) FROM ROUTE WHERE SCR_Number = ?"),
              scalar("SELECT COUNT(*) FROM ROUTE WHERE SCR_Number = ? AND Route_Date_Out IS NULL"),
              scalar("SELECT SCR_Route_Number FROM SCR WHERE SCR_Number = ?")}});
        if (failWith)
            throw std::runtime_error(failWith);
    }

    QList<Notice> notices;
    const char* failWith = nullptr;

private:
    Database& m_db;
};

class RecordRouteTest : public bx::test::CurrentSchemaTest
{
protected:
    RouteHistoryEntry entry(qlonglong task, const QString& action) const
    {
        RouteHistoryEntry e;
        e.taskNumber = task;
        e.action = action;
        e.ownerUser = u"ann"_s;
        e.groupId = 4;
        return e;
    }

    /** A task whose history has begun: one closed row and one open row for ann. */
    qlonglong startedTask(const QVariantMap& columns = {})
    {
        const qlonglong task = addTaskRow(db(), columns);
        EXPECT_TRUE(RecordRoute(db(), entry(task, u"Create Request"_s), kMonday.addSecs(-3600),
                                kActor, nullptr));
        return task;
    }

    RecordSet routeRows(qlonglong task)
    {
        return db().query(u"SELECT * FROM ROUTE WHERE SCR_Number = ? ORDER BY Route_Number"_s,
                          {task});
    }

    qlonglong pointer(qlonglong task)
    {
        return db()
            .scalar(u"SELECT SCR_Route_Number FROM SCR WHERE SCR_Number = ?"_s, {task})
            .toLongLong();
    }

    /**
     * Checks the chain: all rows but the last closed, each opened at the moment its predecessor
     * was closed, and the task pointing at the last. Reports the first break only.
     */
    void expectLinearChain(qlonglong task)
    {
        const RecordSet rows = routeRows(task);
        ASSERT_GE(rows.rowCount(), 2);
        const auto stamp = [&](int row, const char* column) {
            return RecordSet::toDateTime(rows.value(row, QString::fromUtf8(column)))
                .toString(Qt::ISODate);
        };
        for (int i = 0; i < rows.rowCount(); ++i) {
            const bool last = i == rows.rowCount() - 1;
            ASSERT_EQ(rows.value(i, u"Route_Date_Out"_s).isNull(), last)
                << "row " << i << " of " << rows.rowCount();
            if (i > 0) {
                ASSERT_EQ(stamp(i - 1, "Route_Date_Out"), stamp(i, "Route_Date_In"))
                    << "row " << i << " of " << rows.rowCount();
            }
        }
        EXPECT_EQ(pointer(task), rows.value(rows.rowCount() - 1, u"Route_Number"_s).toLongLong());
    }
};

TEST_P(RecordRouteTest, ClosedRowNamesWhereTheTaskWasRouted)
{
    const qlonglong shop = 5;
    bx::test::addWorkshop(db(), shop, u"O'Brien's \"Ærø\" & co"_s);
    const struct
    {
        const char* action;
        const char* owner;
        qlonglong group;
        QString expected;
    } cases[] = {
        {"Task routed", "ann", 4, u"Task routed to 'ann' (Workshop:  4 )"_s},
        {"Task routed", "", shop, u"Task routed to 'O'Brien's \"Ærø\" & co'"_s},
        {"task ROUTED ", "O'Brien", 0, u"task ROUTED  to 'O'Brien' (Workshop:  0 )"_s},
        {"Task routed", "", shop + 1000, u"Task routed to ''"_s},
        {"YES", "ann", 4, u"YES"_s},
        {"Task routed back", "ann", 4, u"Task routed back"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected.toStdString());
        const qlonglong task = startedTask();
        RouteHistoryEntry e = entry(task, QString::fromUtf8(c.action));
        e.ownerUser = QString::fromUtf8(c.owner);
        e.groupId = c.group;
        ASSERT_TRUE(RecordRoute(db(), e, kMonday, kActor, nullptr));

        RecordSet rows = routeRows(task);
        ASSERT_EQ(rows.rowCount(), 3);
        EXPECT_EQ(rows.value(1, u"Route_Action"_s).toString(), c.expected);
        EXPECT_EQ(rows.value(2, u"USER_ID"_s).toString(), e.ownerUser);
        EXPECT_TRUE(rows.value(2, u"Route_Action"_s).toString().isEmpty());
    }
}

TEST_P(RecordRouteTest, ClosesTheOpenRowAndOpensTheNext)
{
    const qlonglong task = startedTask({{scr::Status, u"C"_s}});
    RouteHistoryEntry e = entry(task, u"YES"_s);
    e.stageName = u"Review 'B'"_s;
    e.comment = u"it's \"done\" & signed"_s;
    e.ownerUser = u"O'Brien"_s;
    e.targetDate = naive(QDate(2024, 3, 29), QTime(17, 0));
    ASSERT_TRUE(RecordRoute(db(), e, kMonday, kActor, nullptr));

    RecordSet rows = routeRows(task);
    ASSERT_EQ(rows.rowCount(), 3);
    rows.setPosition(1);
    EXPECT_EQ(rows.dateTime(u"Route_Date_Out"_s), kMonday);
    EXPECT_EQ(bx::test::rowTexts(rows, {u"Route_Action"_s, u"Route_Note"_s, u"USER_ID"_s}),
              (QStringList{u"YES"_s, u"Review 'B': it's \"done\" & signed"_s, kActor}));
    rows.setPosition(2);
    EXPECT_EQ(rows.text(u"USER_ID"_s), u"O'Brien"_s);
    EXPECT_EQ(rows.dateTime(u"Route_Date_In"_s), kMonday);
    EXPECT_EQ(rows.dateTime(u"Route_Target_Date"_s), e.targetDate);
    EXPECT_EQ(rows.text(u"Route_Status"_s), u"C"_s);
    EXPECT_EQ(rows.number(u"Route_OwnerType"_s), 0);
    EXPECT_TRUE(rows.isNull(u"Route_Note"_s));
    expectLinearChain(task);

    // Without a stage the note is the comment alone.
    e.stageName.clear();
    ASSERT_TRUE(RecordRoute(db(), e, kMonday.addSecs(60), kActor, nullptr));
    EXPECT_EQ(routeRows(task).value(2, u"Route_Note"_s).toString(), e.comment);
}

TEST_P(RecordRouteTest, TaskWithoutOpenRowGetsAClosedRowFirst)
{
    // No history at all, and a pointer at a row that is gone: both start the chain afresh.
    for (qlonglong dangling : {qlonglong(0), qlonglong(987654)}) {
        SCOPED_TRACE(dangling);
        const qlonglong task =
            addTaskRow(db(), {{scr::Status, u"I"_s}, {scr::RouteNumber, dangling}});
        RouteHistoryEntry e = entry(task, u"NO"_s);
        e.stageName = u"Stage"_s;
        e.comment = u"why"_s;
        ASSERT_TRUE(RecordRoute(db(), e, kMonday, kActor, nullptr));

        RecordSet rows = routeRows(task);
        ASSERT_EQ(rows.rowCount(), 2);
        EXPECT_EQ(bx::test::rowTexts(rows, {u"USER_ID"_s, u"Route_Action"_s, u"Route_Status"_s}),
                  (QStringList{kActor, u"NO"_s, u"I"_s}));
        EXPECT_EQ(rows.dateTime(u"Route_Date_In"_s), kMonday);
        EXPECT_EQ(rows.dateTime(u"Route_Date_Out"_s), kMonday);
        EXPECT_TRUE(rows.isNull(u"Route_Note"_s));
        // An empty target date is stored as Null, never as an empty text.
        for (int row : {0, 1})
            EXPECT_TRUE(rows.value(row, u"Route_Target_Date"_s).isNull());
        expectLinearChain(task);
    }
}

TEST_P(RecordRouteTest, ARouteNumberCopiedFromAnotherTaskNeverClosesItsRow)
{
    const qlonglong original = startedTask();
    const qlonglong copy = addTaskRow(db(), {{scr::RouteNumber, pointer(original)}});
    ASSERT_TRUE(RecordRoute(db(), entry(copy, u"Task cloned"_s), kMonday, kActor, nullptr));

    const RecordSet rows = routeRows(original);
    ASSERT_EQ(rows.rowCount(), 2);
    EXPECT_TRUE(rows.value(1, u"Route_Date_Out"_s).isNull())
        << "the original's open row stays open";
    expectLinearChain(original);
    expectLinearChain(copy);
}

TEST_P(RecordRouteTest, SensitiveTaskKeepsNoHistory)
{
    RecordingNotifier notifier(db());
    const qlonglong task = addTaskRow(db(), {{scr::Sensitive, true}, {scr::RouteNumber, 5}});
    EXPECT_FALSE(RecordRoute(db(), entry(task, u"Task routed"_s), kMonday, kActor, &notifier));
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM ROUTE"_s).toLongLong(), 0);
    EXPECT_EQ(pointer(task), 5);
    EXPECT_TRUE(notifier.notices.isEmpty());
    EXPECT_EQ(db().transactionDepth(), 0);
}

TEST_P(RecordRouteTest, NotifierIsToldBetweenClosingAndOpening)
{
    RecordingNotifier notifier(db());
    const qlonglong task = addTaskRow(db());
    RouteHistoryEntry routed = entry(task, u"Task routed"_s);
    routed.stageName = u"Build"_s;
    routed.targetDate = naive(QDate(2024, 2, 29), QTime(12, 0));
    routed.ownerUser = QString();
    routed.groupId = 6;
    routed.comment = u"over to \"Ops\""_s;
    ASSERT_TRUE(RecordRoute(db(), entry(task, u"Create Request"_s), kMonday, kActor, &notifier));
    ASSERT_TRUE(RecordRoute(db(), routed, kMonday.addSecs(5), kActor, &notifier));

    ASSERT_EQ(notifier.notices.size(), 2);
    const RecordSet rows = routeRows(task);
    ASSERT_EQ(rows.rowCount(), 3);
    // First entry on a task without history: the closed row exists, the open one does not yet.
    const Notice& first = notifier.notices.at(0);
    EXPECT_EQ(first.routeNumber, rows.value(0, u"Route_Number"_s).toLongLong());
    EXPECT_EQ(first.tables, (QList<qlonglong>{1, 0, 0}));

    const Notice& second = notifier.notices.at(1);
    EXPECT_EQ(second.taskNumber, task);
    EXPECT_EQ(second.routeNumber, rows.value(1, u"Route_Number"_s).toLongLong());
    EXPECT_EQ(second.closedAt, kMonday.addSecs(5));
    EXPECT_EQ(second.tables, (QList<qlonglong>{2, 0, second.routeNumber}));
    // The words as queued: the recipient suffix belongs to the stored row only.
    EXPECT_EQ(second.words, (QVariantList{routed.action, routed.stageName, routed.targetDate,
                                          QString(), routed.groupId, routed.comment}));
}

TEST_P(RecordRouteTest, FailingNotifierLeavesNothingBehind)
{
    const qlonglong task = startedTask();
    const QList<QVariantList> before = routeRows(task).rows();
    const qlonglong pointerBefore = pointer(task);

    RecordingNotifier notifier(db());
    notifier.failWith = "mail server gone";
    EXPECT_THROW(RecordRoute(db(), entry(task, u"YES"_s), kMonday, kActor, &notifier),
                 std::runtime_error);
    EXPECT_EQ(routeRows(task).rows(), before);
    EXPECT_EQ(pointer(task), pointerBefore);
    EXPECT_EQ(db().transactionDepth(), 0);
}

TEST_P(RecordRouteTest, TwoClientsOnOneTaskLeaveOneChain)
{
    const qlonglong task = startedTask();
    constexpr int kPerClient = 25;
    std::unique_ptr<Database> clients[] = {connectAgain(), connectAgain()};
    std::atomic<int> ready{0};
    QString failures[2];

    auto work = [&](int client) {
        try {
            ready.fetch_add(1);
            while (ready.load() < 2)
                std::this_thread::yield();
            for (int i = 0; i < kPerClient; ++i) {
                RouteHistoryEntry e = entry(task, u"Task routed"_s);
                e.ownerUser = u"user%1"_s.arg(client);
                // Distinct moments, so that the chain check can tell whose row was closed by whom.
                RecordRoute(*clients[client], e, kMonday.addSecs(i * 2 + client), kActor, nullptr);
            }
        } catch (const std::exception& ex) {
            failures[client] = QString::fromUtf8(ex.what());
        }
    };
    std::thread a(work, 0);
    std::thread b(work, 1);
    a.join();
    b.join();
    EXPECT_EQ(failures[0], QString());
    EXPECT_EQ(failures[1], QString());
    EXPECT_EQ(routeRows(task).rowCount(), 2 + 2 * kPerClient);
    expectLinearChain(task);
}

BX_INSTANTIATE_ENGINES(RecordRouteTest);

} // namespace
