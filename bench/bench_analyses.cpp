// Analyses over the large workshop, on each engine, in a database of the program's current schema
// made the way the creation wizard makes it: the query read through the read-only path (fence,
// cap, types) and the pivot built from its rows, as dlgBI runs them.
//
// The workshop is the one the task-view benchmarks share (bench/BenchSupport.h): 100,000 tasks
// among 20 users. Runs, on each engine:
//
//   Analyses/<engine>/ownership_user_by_status   "Task ownership over time", User Name down,
//                                                Task Status across, the sum of Item
//   Analyses/<engine>/custom_owner_by_priority   a custom analysis over SCR: owner down, priority
//                                                across, tasks and late tasks
//   Analyses/<engine>/delivered_completed        the delivered "Completed tasks over time" as its
//                                                items lay it out
//
// Counters: rows read, cells of the grid, slowest_s, and peak_MiB: how far the process's peak
// resident set rose during the run above what it held before (restartPeak). Floor: query and
// pivot under 1 s, peak under 300 MiB (release build); the program exits with status 1 when a run
// breaks one.

#include "BenchSupport.h"
#include "core/Clock.h"
#include "reports/Analyses.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

namespace {

using namespace bx;
using bx::bench::ServerDatabase;
namespace ws = bx::bench::workshop;

constexpr double kFloorSeconds = 1.0;
constexpr double kFloorMiB = 300;

QString g_sqlitePath;
std::unique_ptr<ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;
bool g_floorBroken = false;

enum class Run
{
    Ownership,
    Custom,
    Delivered,
};

pivot::Dimension dimension(const char* column)
{
    return {QString::fromLatin1(column), QString::fromLatin1(column), std::nullopt};
}

/** The analysis of a run and how it is laid out; refused when the database lacks it. */
Outcome<std::pair<Analysis, pivot::Definition>> analysisFor(Run run, Database& db)
{
    const AnalysisContext context{ws::kWorkshop, ws::user(0), g_clock.nowUtc()};
    switch (run) {
    case Run::Ownership: {
        pivot::Definition layout;
        layout.rows = {dimension("User Name")};
        layout.columns = {dimension("Task Status")};
        layout.facts = {{QStringLiteral("Item"), QStringLiteral("Count"), olap::Aggregate::Sum}};
        return std::pair{builtInAnalysis(BuiltInAnalysis::TaskOwnership, context), layout};
    }
    case Run::Custom: {
        Analysis a;
        a.title = QStringLiteral("Owner by priority");
        a.query = QStringLiteral(
            "SELECT SCR_Owner_User_ID AS Owner, SCR_Priority AS Priority, 1 AS Tasks, CASE WHEN "
            "SCR_Status IN ('A', 'I') AND SCR_Owner_Target_Date < ? THEN 1 ELSE 0 END AS Late "
            "FROM SCR WHERE SCR_Group_ID = ?");
        a.params = {context.nowGmt, ws::kWorkshop};
        a.items = {
            AnalysisItem::dimension(QStringLiteral("Owner"), QStringLiteral("Owner"),
                                    AnalysisArea::Vertical),
            AnalysisItem::dimension(QStringLiteral("Priority"), QStringLiteral("Priority"),
                                    AnalysisArea::Horizontal),
            AnalysisItem::fact(QStringLiteral("Tasks"), QStringLiteral("Tasks"),
                               olap::Aggregate::Sum),
            AnalysisItem::fact(QStringLiteral("Late"), QStringLiteral("Late tasks"),
                               olap::Aggregate::Sum),
        };
        Outcome<pivot::Definition> layout = layoutOf(a);
        if (!layout)
            return *layout.refusal();
        return std::pair{a, *layout};
    }
    case Run::Delivered:
        for (const AnalysisSummary& s : listAnalyses(db)) {
            if (s.title != QLatin1String("Completed tasks over time"))
                continue;
            const std::optional<Analysis> a = loadAnalysis(db, s.id);
            Outcome<pivot::Definition> layout = layoutOf(*a);
            if (!layout)
                return *layout.refusal();
            return std::pair{*a, *layout};
        }
        break;
    }
    return RefusalOf<>{QStringLiteral("no such analysis")};
}

void runAnalysisBench(benchmark::State& state, Engine engine, Run run, const char* label)
{
    std::unique_ptr<Database> db;
    try {
        db = bx::bench::connectTo(engine, g_sqlitePath, g_server.get());
    } catch (const DbError& e) {
        state.SkipWithError(e.what());
        return;
    }
    const Outcome<std::pair<Analysis, pivot::Definition>> chosen = analysisFor(run, *db);
    if (!chosen) {
        state.SkipWithError(qPrintable(chosen.refusal()->message));
        return;
    }
    const auto& [analysis, layout] = *chosen;
    AnalysisRun how;
    how.biasSeconds = g_clock.standardOffsetSeconds();
    how.waitSeconds = 3600;
    bx::bench::restartPeak();
    const qint64 before = bx::bench::peakKiB();
    double slowest = 0;
    qsizetype cells = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        try {
            const Outcome<pivot::Grid> grid = runAnalysis(*db, analysis, layout, how);
            if (!grid) {
                state.SkipWithError(qPrintable(grid.refusal()->message));
                return;
            }
            cells = qsizetype(grid->rows().size()) * grid->columns().size() * grid->facts().size();
        } catch (const DbError& e) {
            state.SkipWithError(e.what());
            return;
        }
        slowest = std::max(slowest, double(timer.nsecsElapsed()) / 1e9);
    }
    const double peakMiB = double(bx::bench::peakKiB() - before) / 1024;
    state.counters["cells"] = double(cells);
    state.counters["slowest_s"] = slowest;
    state.counters["peak_MiB"] = peakMiB;
    if (slowest >= kFloorSeconds || peakMiB >= kFloorMiB) {
        std::fprintf(stderr, "*** %s: %.2f s, %.0f MiB (floor %.1f s, %.0f MiB)\n", label, slowest,
                     peakMiB, kFloorSeconds, kFloorMiB);
        g_floorBroken = true;
    }
}

void registerAll(Engine engine, const char* name)
{
    const std::pair<Run, const char*> runs[] = {{Run::Ownership, "ownership_user_by_status"},
                                                {Run::Custom, "custom_owner_by_priority"},
                                                {Run::Delivered, "delivered_completed"}};
    for (const auto& [run, label] : runs) {
        const std::string full = std::string("Analyses/") + name + "/" + label;
        benchmark::RegisterBenchmark(full.c_str(), runAnalysisBench, engine, run, label)
            ->UseRealTime()
            ->Iterations(3)
            ->Unit(benchmark::kMillisecond);
    }
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
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("analyses.mdb"), g_prompt,
                                         g_clock, g_sqlitePath, g_server, ws::fill)) {
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
