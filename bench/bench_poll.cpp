// The main window's poll tick over a large workshop, on each engine: what one tick costs the
// user-interface thread when it finds nothing new. The workshop is the shared one of
// BenchSupport.h (100,000 tasks among 20 users, workshop 900).
//
// Each iteration moves the clock a minute on and ticks once, with CheckTasks = 1 minute, so that
// every tick runs the task check (the grid's Active view of the whole workshop, about 60,000
// rows, read and digested on the worker thread) and the heartbeat with the presence read. The
// rows never change, so no tick asks for a refresh. Runs:
//
//   Poll/<engine>/tick_idle          manual time: the tick's time on the user-interface thread
//                                    (decision, dispatch and the handling of its result)
//   Poll/<engine>/tick_idle_markers  the same with the workshop's change markers, as the window
//                                    polls: the check reads them and, since they stay put, not
//                                    the view (which the first tick read)
//
// Counters: worker_ms, the wall time from the tick until its result was handled (the work done
// away from the user-interface thread, plus the hand-over); refreshes, ticks that asked for a
// refresh (0 when all is well).

#include "BenchSupport.h"
#include "core/Clock.h"
#include "core/Session.h"
#include "core/db/PgDatabase.h"
#include "core/db/SqliteDatabase.h"
#include "core/settings/SettingsStore.h"
#include "mainwindow/Poller.h"
#include "mainwindow/TaskViews.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <string>

namespace {

using namespace bx;
using bx::bench::ServerDatabase;

/** A clock the benchmark moves on by hand. */
class StepClock final : public Clock
{
public:
    QDateTime nowLocal() const override { return m_now; }
    int standardOffsetSeconds() const override { return 0; }
    int currentOffsetSeconds() const override { return 0; }
    void advance(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now = naive(QDateTime::currentDateTime());
};

QString g_sqlitePath;
std::unique_ptr<ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;

DatabasePollBackend::Connector connectorFor(Engine engine)
{
    if (engine == Engine::Sqlite)
        return [] { return std::unique_ptr<Database>(SqliteDatabase::open(g_sqlitePath)); };
    const PgConnectParams p = g_server->params();
    return [p] { return std::unique_ptr<Database>(PgDatabase::connect(p)); };
}

/** Ticks once and waits for the tick's result; false when the tick failed. */
bool tickAndWait(Poller& poller, StepClock& clock, qint64& waitedNs)
{
    clock.advance(60);
    bool failed = false;
    QEventLoop loop;
    const auto done = QObject::connect(&poller, &Poller::tickFinished, &loop, &QEventLoop::quit);
    const auto lost =
        QObject::connect(&poller, &Poller::connectionLost, &loop, [&](const QString& detail) {
            std::fprintf(stderr, "%s\n", qPrintable(detail));
            failed = true;
        });
    QElapsedTimer wall;
    wall.start();
    poller.tick();
    if (poller.busy())
        loop.exec();
    waitedNs = wall.nsecsElapsed();
    QObject::disconnect(done);
    QObject::disconnect(lost);
    return !failed;
}

void runTick(benchmark::State& state, Engine engine, bool markers)
{
    QTemporaryDir settingsDir;
    SettingsStore settings(settingsDir.filePath(QStringLiteral("MRBX.conf")));
    Session session(settings, g_clock);
    session.user.userId = bench::workshop::user(0);
    session.currentWorkshopId = bench::workshop::kWorkshop;
    const TaskViewFilter filter = TaskViewFilter::defaults(QDate::currentDate());

    StepClock clock;
    Poller poller(clock, std::make_unique<DatabasePollBackend>(connectorFor(engine)));
    poller.setUserId(session.user.userId);
    poller.setIntervals({1, 0});
    poller.setTaskProbe([&] { return gridTaskQuery(nullptr, filter, session); });
    if (markers)
        poller.setMarkerScope([&] { return markerScope(filter, session); });
    int refreshes = 0;
    QObject::connect(&poller, &Poller::refreshTasks, [&] { ++refreshes; });
    poller.start(0);

    qint64 waited = 0;
    if (!tickAndWait(poller, clock, waited)) { // the base line of the task check
        state.SkipWithError("the first tick failed");
        return;
    }
    qint64 workerNs = 0;
    for (auto _ : state) {
        if (!tickAndWait(poller, clock, waited)) {
            state.SkipWithError("a tick failed");
            return;
        }
        workerNs += waited;
        state.SetIterationTime(double(poller.lastTickUiNanoseconds()) / 1e9);
    }
    state.counters["worker_ms"] =
        benchmark::Counter(double(workerNs) / 1e6, benchmark::Counter::kAvgIterations);
    state.counters["refreshes"] = refreshes;
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QCoreApplication app(argc, argv);

    const std::unique_ptr<QTemporaryDir> scratch = bx::bench::scratchDir();
    if (!scratch)
        return 1;
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("poll.mdb"), g_prompt, g_clock,
                                         g_sqlitePath, g_server, bench::workshop::fill)) {
        g_server.reset();
        return 1;
    }
    for (const bool markers : {false, true}) {
        const char* suffix = markers ? "tick_idle_markers" : "tick_idle";
        for (const Engine engine : {Engine::Sqlite, Engine::Postgres}) {
            if (engine == Engine::Postgres && !g_server)
                continue;
            const std::string name = std::string("Poll/") +
                                     (engine == Engine::Sqlite ? "sqlite/" : "postgres/") + suffix;
            benchmark::RegisterBenchmark(name.c_str(), runTick, engine, markers)
                ->UseManualTime()
                ->Iterations(20)
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server.reset();
    return 0;
}
