#include "core/db/Database.h"
#include "mainwindow/Poller.h"
#include "mainwindow/TaskViews.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QThread>

#include <functional>
#include <gtest/gtest.h>
#include <utility>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

/**
 * The poll of a second client of workshop 7 with notices on its worker connection, whose view is
 * the grid's Active list of the workshop, checked by the workshop's change markers; the test's own
 * connection plays the other client. On the embedded engine the same poll takes no notices and
 * goes on polling.
 */
class PollNoticesTest : public test::SessionTest
{
protected:
    explicit PollNoticesTest(bool notices = true)
        : m_notices(notices)
    {
    }

    void arrange() override
    {
        test::addUsers(db(), {u"ann"_s});
        for (const int shop : {7, 8})
            test::addWorkshop(db(), shop);
        session.currentWorkshopId = 7;
        first = test::addTaskRow(db(), {{u"SCR_Title"_s, u"first"_s}});
        second = test::addTaskRow(db(), {{u"SCR_Title"_s, u"second"_s}});

        poller = std::make_unique<Poller>(clock, std::make_unique<DatabasePollBackend>([this] {
                                              std::unique_ptr<Database> c = connectAgain();
                                              pollDb = c.get();
                                              ++connections;
                                              return c;
                                          }));
        poller->setUserId(u"ann"_s);
        poller->setIntervals({1, 0});
        poller->setNotices(m_notices);
        poller->setWorkshop([] { return 7; });
        poller->setTaskProbe([this] { return gridTaskQuery(nullptr, filter, session); });
        poller->setMarkerScope([this] { return markerScope(filter, session); });
        poller->setKeyedTaskProbe([this](const QList<qlonglong>& numbers) {
            return someTasksQuery(numbers, nullptr, filter, session);
        });
        QObject::connect(poller.get(), &Poller::tasksRead,
                         [this](const QList<qlonglong>& numbers, const RecordSet& rows) {
                             read << numbers;
                             readRows = rows;
                         });
        QObject::connect(poller.get(), &Poller::refreshTasks, [this] { ++refreshes; });
        QObject::connect(poller.get(), &Poller::connectionLost, [this] {
            ++lost;
            pollDb = nullptr; // the backend dropped it
        });
        poller->start(0);
        tickAfter(60); // listens, and takes the view's digest as the base line
        ASSERT_EQ(connections, 1);
    }

    void tickAfter(qint64 seconds)
    {
        clock.advanceSeconds(seconds);
        poller->tick();
        if (poller->busy()) {
            QSignalSpy done(poller.get(), &Poller::tickFinished);
            ASSERT_TRUE(done.wait(10000));
        }
    }

    /** Ticks until the poll has marked something, for at most `ms`; false when nothing came. */
    bool hear(int ms = 5000)
    {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            tickAfter(0);
            if (!poller->marks().empty())
                return true;
            QThread::msleep(20);
        }
        return false;
    }

    /** Statements the poll's connection ran; read between ticks only. */
    quint64 statements() const { return pollDb ? pollDb->statementCount() : 0; }

    void retitle(qlonglong task, const QString& title)
    {
        db().execute(u"UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?"_s, {title, task});
    }

    TaskViewFilter filter; // Active, no date window
    qlonglong first = 0;
    qlonglong second = 0;
    std::unique_ptr<Poller> poller;
    Database* pollDb = nullptr;
    int connections = 0;
    QList<qlonglong> read;
    RecordSet readRows;
    int refreshes = 0;
    int lost = 0;

private:
    bool m_notices;
};

TEST_P(PollNoticesTest, ACommitElsewhereReachesTheNextTickWithoutAFullRead)
{
    retitle(first, u"O'Brien's"_s);
    if (!isServer()) {
        EXPECT_FALSE(hear(300));
        tickAfter(60);
        EXPECT_EQ(refreshes, 1) << "the full check finds the change";
        EXPECT_EQ(lost, 0);
        return;
    }
    ASSERT_TRUE(hear());
    const quint64 before = statements();
    tickAfter(0);
    EXPECT_EQ(statements() - before, 1u) << "one keyed statement, no whole view";
    EXPECT_EQ(read, QList<qlonglong>{first});
    ASSERT_EQ(readRows.rowCount(), 1);
    EXPECT_EQ(readRows.value(0, scr::Title).toString(), u"O'Brien's"_s);
    EXPECT_EQ(refreshes, 0);

    // The safety-net check finds the view as the keyed read left it: nothing to refresh.
    tickAfter(60);
    EXPECT_EQ(refreshes, 0);

    // A task that leaves the view comes back without its row.
    db().execute(u"UPDATE SCR SET SCR_Status = 'C' WHERE SCR_Number = ?"_s, {second});
    read.clear();
    ASSERT_TRUE(hear());
    tickAfter(0);
    EXPECT_EQ(read, QList<qlonglong>{second});
    EXPECT_TRUE(readRows.isEmpty());
    EXPECT_EQ(lost, 0);
}

TEST_P(PollNoticesTest, ANoticeForAnotherWorkshopReadsNothing)
{
    if (!isServer())
        GTEST_SKIP() << "the embedded engine sends no notices";
    const quint64 before = statements();
    test::addTaskRow(db(), {{u"SCR_Group_ID"_s, 8}});
    EXPECT_FALSE(hear(700));
    EXPECT_EQ(statements(), before);
    EXPECT_TRUE(read.isEmpty());
    EXPECT_EQ(refreshes, 0);
}

TEST_P(PollNoticesTest, AKilledNoticeConnectionIsReplacedAndTheViewReadOnce)
{
    if (!isServer())
        GTEST_SKIP() << "the embedded engine sends no notices";
    const QVariant pid = pollDb->scalar(u"SELECT pg_backend_pid()"_s);
    db().execute(u"SELECT pg_terminate_backend(CAST(? AS integer))"_s, {pid});
    // Nobody hears this change: the dead connection was the one listening.
    retitle(second, u"changed unheard"_s);
    QDeadlineTimer deadline(5000);
    while (connections < 2 && !deadline.hasExpired()) {
        tickAfter(0);
        QThread::msleep(20);
    }
    ASSERT_EQ(connections, 2);
    EXPECT_EQ(lost, 0) << "a lost notice connection is no lost session";

    // The tick after reads the whole view once, which finds the change.
    tickAfter(0);
    EXPECT_EQ(refreshes, 1);
    tickAfter(0);
    tickAfter(60);
    EXPECT_EQ(refreshes, 1);

    // The new connection listens.
    retitle(first, u"heard again"_s);
    ASSERT_TRUE(hear());
    tickAfter(0);
    EXPECT_EQ(read, QList<qlonglong>{first});
    EXPECT_EQ(refreshes, 1);
}

BX_INSTANTIATE_ENGINES(PollNoticesTest);

/**
 * The same client polling without notices (the embedded engine, or a server whose notice
 * connection is down): each check reads the workshop's change markers, and the view only when
 * they moved.
 */
class PollMarkersTest : public PollNoticesTest
{
protected:
    PollMarkersTest()
        : PollNoticesTest(false)
    {
    }

    /**
     * What the next task check costs: its statements beyond the heartbeat's, and the refreshes
     * it asked for. Ticks twice: the heartbeat alone, then the heartbeat with the check.
     */
    std::pair<quint64, int> nextCheck()
    {
        const int opened = connections;
        quint64 start = statements();
        tickAfter(30);
        if (connections != opened)
            start = 0; // the tick opened a new connection
        const quint64 heartbeat = statements() - start;
        const quint64 checkStart = statements();
        const int refreshed = refreshes;
        tickAfter(30);
        return {statements() - checkStart - heartbeat, refreshes - refreshed};
    }
};

TEST_P(PollMarkersTest, AnUnchangedWorkshopCostsOneSmallQueryPerCheck)
{
    const struct
    {
        const char* name;
        std::function<void()> change;
        quint64 statements; ///< of the check, beyond the heartbeat's
        int refreshes;
    } cases[] = {
        {"nothing changed", [] {}, 1, 0},
        {"a task of the workshop retitled", [this] { retitle(first, u"O'Brien's"_s); }, 2, 1},
        {"again nothing", [] {}, 1, 0},
        {"a task of another workshop",
         [this] {
             test::addTaskRow(db(), {{u"SCR_Group_ID"_s, 8}});
         },
         1, 0},
        {"a task moved out of the workshop",
         [this] {
             db().execute(u"UPDATE SCR SET SCR_Group_ID = 8 WHERE SCR_Number = ?"_s, {second});
         },
         2, 1},
        {"a task deleted",
         [this] { db().execute(u"DELETE FROM SCR WHERE SCR_Number = ?"_s, {first}); }, 2, 1},
        {"a change that leaves the view as it was",
         [this] {
             db().execute(u"INSERT INTO ROUTE (Route_Number, SCR_Number, USER_ID) "
                          "VALUES (901, ?, 'ann')"_s,
                          {test::addTaskRow(db(), {{u"SCR_Status"_s, u"C"_s}})});
         },
         2, 0},
    };
    for (const auto& c : cases) {
        c.change();
        const auto [statementsRun, refreshed] = nextCheck();
        EXPECT_EQ(statementsRun, c.statements) << c.name;
        EXPECT_EQ(refreshed, c.refreshes) << c.name;
    }
    EXPECT_EQ(lost, 0);
}

// A view across workshops (a search) follows every workshop's markers. A new connection, as after
// a reconnect (perhaps to another server), reads the view once whatever the markers say.
TEST_P(PollMarkersTest, ASearchFollowsEveryWorkshopAndANewConnectionReadsTheViewOnce)
{
    filter.search.on = true;
    filter.search.statuses = u"A"_s;
    // Another statement: read once, and it lists the same two tasks.
    EXPECT_EQ(nextCheck(), std::make_pair(quint64(2), 0));
    test::addTaskRow(db(), {{u"SCR_Group_ID"_s, 8}});
    EXPECT_EQ(nextCheck(), std::make_pair(quint64(2), 1));
    EXPECT_EQ(nextCheck(), std::make_pair(quint64(1), 0));
    if (!isServer())
        return;

    tickAfter(30); // the heartbeat alone
    db().execute(u"SELECT pg_terminate_backend(CAST(? AS integer))"_s,
                 {pollDb->scalar(u"SELECT pg_backend_pid()"_s)});
    tickAfter(30); // the check finds the connection lost
    ASSERT_EQ(lost, 1);
    EXPECT_EQ(nextCheck(), std::make_pair(quint64(2), 0));
    EXPECT_EQ(nextCheck(), std::make_pair(quint64(1), 0));
    EXPECT_EQ(connections, 2);
}

BX_INSTANTIATE_ENGINES(PollMarkersTest);

} // namespace
