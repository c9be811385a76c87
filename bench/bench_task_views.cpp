// The team view's lists over a large workshop, on each engine, in a database of the program's
// current schema (indexes of step 76 included) made the way the creation wizard makes it.
//
// The workshop holds 100,000 tasks among 20 users: 60% active, 30% complete (each with a
// completing route entry), 5% incomplete, 5% canceled; 10% are sub-tasks, 10% lie in a folder;
// half are viewed. Runs:
//
//   TaskViews/criteria                      building the conditions of a busy filter (no database)
//   TaskViews/<engine>/grid_workshop        the grid of the whole workshop, Active (about 60,000)
//   TaskViews/<engine>/grid_user            the grid of one user's node, Active
//   TaskViews/<engine>/tree_users           the tree statement for all 20 users, Active
//   TaskViews/<engine>/grid_late            the Late quick view
//   TaskViews/<engine>/grid_unviewed        the Unviewed quick view
//   TaskViews/<engine>/grid_category        two categories and one priority, any status
//   TaskViews/<engine>/grid_closedate       completed in the last 30 days, any status
//
// Each database run fills the list through fillTaskList (so the time includes reading every row
// and the sensitive-task check). Counters: rows listed, peak_MiB (the process's peak resident set
// during the run) and peak_rise_MiB (how far it rose above the resident set at the start).

#include "BenchSupport.h"
#include "core/Clock.h"
#include "core/Session.h"
#include "core/settings/SettingsStore.h"
#include "mainwindow/TaskViews.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <memory>

namespace {

using namespace bx;
using bx::bench::ServerDatabase;
namespace ws = bx::bench::workshop;

QString g_sqlitePath;
std::unique_ptr<ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;

enum class View
{
    GridWorkshop,
    GridUser,
    TreeUsers,
    Late,
    Unviewed,
    Category,
    CloseDate
};

TaskCriteria statementFor(View view, const Session& session)
{
    const QDate today = QDate::currentDate();
    TaskViewFilter f = TaskViewFilter::defaults(today);
    OwnerSet users{OwnerKind::User, {}};
    for (int u = 0; u < ws::kUsers; ++u)
        users.ids << ws::user(u);
    const OwnerSet one{OwnerKind::User, {ws::user(3)}};
    switch (view) {
    case View::GridWorkshop:
        break;
    case View::GridUser:
        return gridTaskQuery(&one, f, session);
    case View::TreeUsers:
        return treeTaskQuery(users, f, session);
    case View::Late:
        f.apply(QuickView::LateTasks);
        break;
    case View::Unviewed:
        f.apply(QuickView::UnviewedTasks);
        break;
    case View::Category:
        f.active = false;
        f.categories = {ws::categories().at(2), ws::categories().at(4)};
        f.priorities = {ws::priorities().at(0)};
        break;
    case View::CloseDate:
        f.active = false;
        f.window = TaskDateWindow::fromChoice(
            {QStringLiteral("closedate"), 0, 30, today.addDays(-30), today});
        break;
    }
    return gridTaskQuery(nullptr, f, session);
}

void runView(benchmark::State& state, Engine engine, View view)
{
    QTemporaryDir settingsDir;
    SettingsStore settings(settingsDir.filePath(QStringLiteral("MRBX.conf")));
    Session session(settings, g_clock);
    try {
        session.setDatabase(bx::bench::connectTo(engine, g_sqlitePath, g_server.get()));
    } catch (const DbError& e) {
        state.SkipWithError(e.what());
        return;
    }
    session.user.userId = ws::user(0);
    session.currentWorkshopId = ws::kWorkshop;
    session.system.queryWait = 3600;
    bx::bench::restartPeak();
    const double startMiB = double(bx::bench::peakKiB()) / 1024.0;
    qlonglong rows = 0;
    for (auto _ : state) {
        const TaskCriteria statement = statementFor(view, session);
        int listed = 0;
        try {
            listed = fillTaskList(session, statement, [](const RecordSet& set, int r) {
                         benchmark::DoNotOptimize(set.value(r, QStringLiteral("SCR_Number")));
                     }).inserted;
        } catch (const DbError& e) {
            state.SkipWithError(e.what());
            break;
        }
        rows = listed;
    }
    state.counters["rows"] = double(rows);
    state.counters["peak_MiB"] = double(bx::bench::peakKiB()) / 1024.0;
    state.counters["peak_rise_MiB"] = state.counters["peak_MiB"] - startMiB;
}

void buildCriteria(benchmark::State& state)
{
    QTemporaryDir settingsDir;
    SettingsStore settings(settingsDir.filePath(QStringLiteral("MRBX.conf")));
    Session session(settings, g_clock);
    session.user.userId = ws::user(0);
    session.currentWorkshopId = ws::kWorkshop;
    TaskViewFilter f = TaskViewFilter::defaults(QDate::currentDate());
    f.apply(ViewCommand::RequestedBy);
    f.categories = ws::categories();
    f.priorities = ws::priorities();
    f.window.on = true;
    f.late = true;
    for (auto _ : state)
        benchmark::DoNotOptimize(buildTaskCriteria(f, session));
}

void registerAll(Engine engine, const char* name)
{
    const std::pair<View, const char*> views[] = {
        {View::GridWorkshop, "grid_workshop"}, {View::GridUser, "grid_user"},
        {View::TreeUsers, "tree_users"},       {View::Late, "grid_late"},
        {View::Unviewed, "grid_unviewed"},     {View::Category, "grid_category"},
        {View::CloseDate, "grid_closedate"}};
    for (const auto& [view, label] : views) {
        const std::string full = std::string("TaskViews/") + name + "/" + label;
        benchmark::RegisterBenchmark(full.c_str(), runView, engine, view)
            ->UseRealTime()
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
    benchmark::RegisterBenchmark("TaskViews/criteria", buildCriteria)
        ->Unit(benchmark::kMicrosecond);
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("views.mdb"), g_prompt, g_clock,
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
    return 0;
}
