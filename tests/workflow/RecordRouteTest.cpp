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
using bx::test::addTaskRow;

namespace {

const QDateTime kMonday = naive(QDate(2024, 3, 4), QTime(9, 30, 0));
const QString kActor = QStringLiteral("bob");

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
             route.number(QStringLiteral("Route_Number")),
             route.dateTime(QStringLiteral("Route_Date_Out")),
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
        e.ownerUser = QStringLiteral("ann");
        e.groupId = 4;
        return e;
    }

    /** A task whose history has begun: one closed row and one open row for ann. */
    qlonglong startedTask(const QVariantMap& columns = {})
    {
        const qlonglong task = addTaskRow(db(), columns);
        EXPECT_TRUE(RecordRoute(db(), entry(task, QStringLiteral("Create Request")),
                                kMonday.addSecs(-3600), kActor, nullptr));
        return task;
    }

    RecordSet routeRows(qlonglong task)
    {
        return db().query(
            QStringLiteral("SELECT * FROM ROUTE WHERE SCR_Number = ? ORDER BY Route_Number"),
            {task});
    }

    qlonglong pointer(qlonglong task)
    {
        return db()
            .scalar(QStringLiteral("SELECT SCR_Route_Number FROM SCR WHERE SCR_Number = ?"), {task})
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
            ASSERT_EQ(rows.value(i, QStringLiteral("Route_Date_Out")).isNull(), last)
                << "row " << i << " of " << rows.rowCount();
            if (i > 0) {
                ASSERT_EQ(stamp(i - 1, "Route_Date_Out"), stamp(i, "Route_Date_In"))
                    << "row " << i << " of " << rows.rowCount();
            }
        }
        EXPECT_EQ(pointer(task),
                  rows.value(rows.rowCount() - 1, QStringLiteral("Route_Number")).toLongLong());
    }
};

TEST_P(RecordRouteTest, ClosedRowNamesWhereTheTaskWasRouted)
{
    const qlonglong shop = 5;
    bx::test::addWorkshop(db(), shop, QStringLiteral("O'Brien's \"Ærø\" & co"));
    const struct
    {
        const char* action;
        const char* owner;
        qlonglong group;
        QString expected;
    } cases[] = {
        {"Task routed", "ann", 4, QStringLiteral("Task routed to 'ann' (Workshop:  4 )")},
        {"Task routed", "", shop, QStringLiteral("Task routed to 'O'Brien's \"Ærø\" & co'")},
        {"task ROUTED ", "O'Brien", 0, QStringLiteral("task ROUTED  to 'O'Brien' (Workshop:  0 )")},
        {"Task routed", "", shop + 1000, QStringLiteral("Task routed to ''")},
        {"YES", "ann", 4, QStringLiteral("YES")},
        {"Task routed back", "ann", 4, QStringLiteral("Task routed back")},
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
        EXPECT_EQ(rows.value(1, QStringLiteral("Route_Action")).toString(), c.expected);
        EXPECT_EQ(rows.value(2, QStringLiteral("USER_ID")).toString(), e.ownerUser);
        EXPECT_TRUE(rows.value(2, QStringLiteral("Route_Action")).toString().isEmpty());
    }
}

TEST_P(RecordRouteTest, ClosesTheOpenRowAndOpensTheNext)
{
    const qlonglong task = startedTask({{scr::Status, QStringLiteral("C")}});
    RouteHistoryEntry e = entry(task, QStringLiteral("YES"));
    e.stageName = QStringLiteral("Review 'B'");
    e.comment = QStringLiteral("it's \"done\" & signed");
    e.ownerUser = QStringLiteral("O'Brien");
    e.targetDate = naive(QDate(2024, 3, 29), QTime(17, 0));
    ASSERT_TRUE(RecordRoute(db(), e, kMonday, kActor, nullptr));

    RecordSet rows = routeRows(task);
    ASSERT_EQ(rows.rowCount(), 3);
    rows.setPosition(1);
    EXPECT_EQ(rows.dateTime(QStringLiteral("Route_Date_Out")), kMonday);
    EXPECT_EQ(rows.text(QStringLiteral("Route_Action")), QStringLiteral("YES"));
    EXPECT_EQ(rows.text(QStringLiteral("Route_Note")),
              QStringLiteral("Review 'B': it's \"done\" & signed"));
    EXPECT_EQ(rows.text(QStringLiteral("USER_ID")), kActor);
    rows.setPosition(2);
    EXPECT_EQ(rows.text(QStringLiteral("USER_ID")), QStringLiteral("O'Brien"));
    EXPECT_EQ(rows.dateTime(QStringLiteral("Route_Date_In")), kMonday);
    EXPECT_EQ(rows.dateTime(QStringLiteral("Route_Target_Date")), e.targetDate);
    EXPECT_EQ(rows.text(QStringLiteral("Route_Status")), QStringLiteral("C"));
    EXPECT_EQ(rows.number(QStringLiteral("Route_OwnerType")), 0);
    EXPECT_TRUE(rows.isNull(QStringLiteral("Route_Note")));
    expectLinearChain(task);

    // Without a stage the note is the comment alone.
    e.stageName.clear();
    ASSERT_TRUE(RecordRoute(db(), e, kMonday.addSecs(60), kActor, nullptr));
    EXPECT_EQ(routeRows(task).value(2, QStringLiteral("Route_Note")).toString(), e.comment);
}

TEST_P(RecordRouteTest, TaskWithoutOpenRowGetsAClosedRowFirst)
{
    // No history at all, and a pointer at a row that is gone: both start the chain afresh.
    for (qlonglong dangling : {qlonglong(0), qlonglong(987654)}) {
        SCOPED_TRACE(dangling);
        const qlonglong task =
            addTaskRow(db(), {{scr::Status, QStringLiteral("I")}, {scr::RouteNumber, dangling}});
        RouteHistoryEntry e = entry(task, QStringLiteral("NO"));
        e.stageName = QStringLiteral("Stage");
        e.comment = QStringLiteral("why");
        ASSERT_TRUE(RecordRoute(db(), e, kMonday, kActor, nullptr));

        RecordSet rows = routeRows(task);
        ASSERT_EQ(rows.rowCount(), 2);
        EXPECT_EQ(rows.text(QStringLiteral("USER_ID")), kActor);
        EXPECT_EQ(rows.dateTime(QStringLiteral("Route_Date_In")), kMonday);
        EXPECT_EQ(rows.dateTime(QStringLiteral("Route_Date_Out")), kMonday);
        EXPECT_EQ(rows.text(QStringLiteral("Route_Action")), QStringLiteral("NO"));
        EXPECT_EQ(rows.text(QStringLiteral("Route_Status")), QStringLiteral("I"));
        EXPECT_TRUE(rows.isNull(QStringLiteral("Route_Note")));
        // An empty target date is stored as Null, never as an empty text.
        for (int row : {0, 1})
            EXPECT_TRUE(rows.value(row, QStringLiteral("Route_Target_Date")).isNull());
        expectLinearChain(task);
    }
}

TEST_P(RecordRouteTest, ARouteNumberCopiedFromAnotherTaskNeverClosesItsRow)
{
    const qlonglong original = startedTask();
    const qlonglong copy = addTaskRow(db(), {{scr::RouteNumber, pointer(original)}});
    ASSERT_TRUE(
        RecordRoute(db(), entry(copy, QStringLiteral("Task cloned")), kMonday, kActor, nullptr));

    const RecordSet rows = routeRows(original);
    ASSERT_EQ(rows.rowCount(), 2);
    EXPECT_TRUE(rows.value(1, QStringLiteral("Route_Date_Out")).isNull())
        << "the original's open row stays open";
    expectLinearChain(original);
    expectLinearChain(copy);
}

TEST_P(RecordRouteTest, SensitiveTaskKeepsNoHistory)
{
    RecordingNotifier notifier(db());
    const qlonglong task = addTaskRow(db(), {{scr::Sensitive, true}, {scr::RouteNumber, 5}});
    EXPECT_FALSE(
        RecordRoute(db(), entry(task, QStringLiteral("Task routed")), kMonday, kActor, &notifier));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM ROUTE")).toLongLong(), 0);
    EXPECT_EQ(pointer(task), 5);
    EXPECT_TRUE(notifier.notices.isEmpty());
    EXPECT_EQ(db().transactionDepth(), 0);
}

TEST_P(RecordRouteTest, NotifierIsToldBetweenClosingAndOpening)
{
    RecordingNotifier notifier(db());
    const qlonglong task = addTaskRow(db());
    RouteHistoryEntry routed = entry(task, QStringLiteral("Task routed"));
    routed.stageName = QStringLiteral("Build");
    routed.targetDate = naive(QDate(2024, 2, 29), QTime(12, 0));
    routed.ownerUser = QString();
    routed.groupId = 6;
    routed.comment = QStringLiteral("over to \"Ops\"");
    ASSERT_TRUE(RecordRoute(db(), entry(task, QStringLiteral("Create Request")), kMonday, kActor,
                            &notifier));
    ASSERT_TRUE(RecordRoute(db(), routed, kMonday.addSecs(5), kActor, &notifier));

    ASSERT_EQ(notifier.notices.size(), 2);
    const RecordSet rows = routeRows(task);
    ASSERT_EQ(rows.rowCount(), 3);
    // First entry on a task without history: the closed row exists, the open one does not yet.
    const Notice& first = notifier.notices.at(0);
    EXPECT_EQ(first.routeNumber, rows.value(0, QStringLiteral("Route_Number")).toLongLong());
    EXPECT_EQ(first.tables, (QList<qlonglong>{1, 0, 0}));

    const Notice& second = notifier.notices.at(1);
    EXPECT_EQ(second.taskNumber, task);
    EXPECT_EQ(second.routeNumber, rows.value(1, QStringLiteral("Route_Number")).toLongLong());
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
    EXPECT_THROW(RecordRoute(db(), entry(task, QStringLiteral("YES")), kMonday, kActor, &notifier),
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
                RouteHistoryEntry e = entry(task, QStringLiteral("Task routed"));
                e.ownerUser = QStringLiteral("user%1").arg(client);
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
