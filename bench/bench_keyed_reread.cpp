// What a change notice costs the client that shows the large workshop, on each engine: one task
// changed by another connection is read again with the view's statement kept to its number, and
// the team page (TeamView, tree and grid) takes the row in, as the poll does after a notice.
//
// The workshop is bench::workshop (100,000 tasks among 20 users; BX_BENCH_WORKSHOP_TASKS sets
// another count for a quick look), seen by user00 with full access through the page's default
// filter (Active, about 60,000 rows), read once before the runs. Each iteration retitles one
// active task of the view on a second connection (not timed), then times:
//
//   KeyedReread/<engine>/one_task   manual time: the keyed read plus the page's update and the
//                                   event loop's handling of it (the repaint of a shown page)
//
// Counters: read_ms (the statement alone), update_ms (TeamView::showTasks and the events after
// it), grid_rows (rows of the grid after the runs, the same as before them). The goal is under
// 50 ms a change.

#include "BenchSupport.h"
#include "core/Clock.h"
#include "core/Session.h"
#include "core/schema/TaskColumns.h"
#include "core/settings/SettingsStore.h"
#include "mainwindow/TaskViews.h"
#include "mainwindow/ui/TeamView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <memory>

namespace {

using namespace bx;
namespace ws = bx::bench::workshop;

QString g_sqlitePath;
std::unique_ptr<bx::bench::ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;

int workshopTasks()
{
    bool ok = false;
    const int count = qEnvironmentVariableIntValue("BX_BENCH_WORKSHOP_TASKS", &ok);
    return ok && count > 0 ? count : ws::kTasks;
}

void runOneTask(benchmark::State& state, Engine engine)
{
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("MRBX.conf")));
    Session session(settings, g_clock);
    std::unique_ptr<Database> writer;
    try {
        session.setDatabase(bx::bench::connectTo(engine, g_sqlitePath, g_server.get()));
        writer = bx::bench::connectTo(engine, g_sqlitePath, g_server.get());
    } catch (const DbError& e) {
        state.SkipWithError(e.what());
        return;
    }
    session.user.userId = ws::user(0);
    session.user.record.userId = ws::user(0);
    session.user.record.fullAccess = true;
    session.currentWorkshopId = ws::kWorkshop;
    session.system.queryWait = 3600;

    TeamView view(session, g_prompt);
    view.resize(1280, 800);
    view.show();
    if (!view.refresh() || view.rows().isEmpty()) {
        state.SkipWithError("the view could not be read");
        return;
    }
    QApplication::processEvents();
    const RecordSet shown = view.rows();
    const qlonglong task = shown.value(shown.rowCount() / 2, scr::Number).toLongLong();

    double readMs = 0;
    double updateMs = 0;
    int round = 0;
    for (auto _ : state) {
        writer->execute(QStringLiteral("UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?"),
                        {QStringLiteral("O'Brien's change %1").arg(++round), task});
        QElapsedTimer timer;
        timer.start();
        const TaskCriteria q = view.keyedStatement({task});
        const RecordSet rows = session.db().query(q.sql, q.params);
        const qint64 readNs = timer.nsecsElapsed();
        view.showTasks({task}, rows);
        QApplication::processEvents();
        const qint64 totalNs = timer.nsecsElapsed();
        state.SetIterationTime(double(totalNs) / 1e9);
        readMs += double(readNs) / 1e6;
        updateMs += double(totalNs - readNs) / 1e6;
    }
    const double n = double(std::max<qint64>(state.iterations(), 1));
    state.counters["read_ms"] = readMs / n;
    state.counters["update_ms"] = updateMs / n;
    state.counters["grid_rows"] = view.grid()->model()->rowCount();
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const std::unique_ptr<QTemporaryDir> scratch = bx::bench::scratchDir();
    if (!scratch)
        return 1;
    const int count = workshopTasks();
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("keyed.mdb"), g_prompt, g_clock,
                                         g_sqlitePath, g_server,
                                         [count](Database& db) { ws::fillTasks(db, count); })) {
        g_server.reset();
        return 1;
    }
    benchmark::RegisterBenchmark("KeyedReread/sqlite/one_task", runOneTask, Engine::Sqlite)
        ->UseManualTime()
        ->Iterations(20)
        ->Unit(benchmark::kMillisecond);
    if (g_server)
        benchmark::RegisterBenchmark("KeyedReread/postgres/one_task", runOneTask, Engine::Postgres)
            ->UseManualTime()
            ->Iterations(20)
            ->Unit(benchmark::kMillisecond);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server.reset();
    return 0;
}
