// The quick team report "Who's Working on What Report" over a large workshop, on each engine, in
// a database of the program's current schema made the way the creation wizard makes it.
//
// The workshop of the task-view benchmarks: 100,000 tasks among 20 users, about 60,000 of them
// active, 2% sensitive. Run:
//
//   QuickReports/<engine>/current_work   the report for all 20 users of the team tree, signed in
//                                        as user00, read and written as "CurTasks.html" with the
//                                        logo beside it, as the Reports menu does (the browser is
//                                        not started); read_ms: the statement alone (one more,
//                                        untimed)
//
// Floor: every report under 3 s; the program exits with status 1 when one takes longer.

#include "BenchSupport.h"
#include "core/Clock.h"
#include "core/Session.h"
#include "core/settings/SettingsStore.h"
#include "mainwindow/QuickReports.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <memory>

namespace {

using namespace bx;
using bx::bench::ServerDatabase;
namespace ws = bx::bench::workshop;

constexpr double kFloorSeconds = 3.0;

QString g_sqlitePath;
std::unique_ptr<ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;
bool g_floorBroken = false;

void report(benchmark::State& state, Engine engine, const char* label)
{
    QTemporaryDir folder;
    SettingsStore settings(folder.filePath(QStringLiteral("MRBX.conf")));
    Session session(settings, g_clock);
    try {
        session.setDatabase(bx::bench::connectTo(engine, g_sqlitePath, g_server.get()));
    } catch (const DbError& e) {
        state.SkipWithError(e.what());
        return;
    }
    session.user.userId = session.user.record.userId = ws::user(0);
    session.currentWorkshopId = ws::kWorkshop;
    QStringList owners;
    for (int u = 0; u < ws::kUsers; ++u)
        owners << ws::user(u);

    double slowest = 0;
    qint64 bytes = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        try {
            const Outcome<QString> page =
                quick::writeReport(session, quick::QuickReport::CurrentWork, owners, folder.path(),
                                   QCoreApplication::applicationDirPath());
            if (!page) {
                state.SkipWithError(page.refusal() ? qPrintable(page.refusal()->message)
                                                   : "no page");
                break;
            }
            bytes = QFileInfo(*page).size();
        } catch (const DbError& e) {
            state.SkipWithError(e.what());
            break;
        }
        slowest = std::max(slowest, double(timer.nsecsElapsed()) / 1e9);
    }
    // Outside the timings: the rows the statement reads, and what reading them alone takes.
    QElapsedTimer reading;
    reading.start();
    const TaskCriteria q = quick::reportStatement(quick::QuickReport::CurrentWork, owners, session);
    const RecordSet rows = session.db().query(q.sql, q.params);
    state.counters["read_ms"] = double(reading.nsecsElapsed()) / 1e6;
    state.counters["rows"] = double(rows.rowCount());
    state.counters["page_KiB"] = double(bytes) / 1024;
    state.counters["slowest_s"] = slowest;
    if (slowest >= kFloorSeconds) {
        std::fprintf(stderr, "*** %s: the report took %.2f s (floor %.1f s)\n", label, slowest,
                     kFloorSeconds);
        g_floorBroken = true;
    }
}

void registerAll(Engine engine, const char* name)
{
    benchmark::RegisterBenchmark((std::string("QuickReports/") + name + "/current_work").c_str(),
                                 report, engine, name)
        ->UseRealTime()
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);
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
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("quick.mdb"), g_prompt, g_clock,
                                         g_sqlitePath, g_server, ws::fill)) {
        g_server.reset();
        return 1;
    }
    registerAll(Engine::Sqlite, "sqlite");
    if (g_server)
        registerAll(Engine::Postgres, "postgres");

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server.reset();
    return g_floorBroken ? 1 : 0;
}
