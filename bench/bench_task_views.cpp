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
#include "core/ErrorLog.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/PgDatabase.h"
#include "core/db/SqliteDatabase.h"
#include "core/settings/SettingsStore.h"
#include "dbadmin/DatabaseCreator.h"
#include "mainwindow/TaskViews.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

using namespace bx;
using bx::bench::ServerDatabase;
using bx::bench::testCluster;

constexpr int kTasks = 100000;
constexpr int kUsers = 20;
constexpr int kWorkshop = 900;
constexpr int kRowsPerInsert = 50;

const QStringList kCategories{QStringLiteral("Design"), QStringLiteral("Build"),
                              QStringLiteral("O'Hara's"), QStringLiteral("Support"),
                              QStringLiteral("Sales")};
const QStringList kPriorities{QStringLiteral("High"), QStringLiteral("Normal"),
                              QStringLiteral("Low")};

QString g_sqlitePath;
std::unique_ptr<ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;

QString user(int i)
{
    return QStringLiteral("user%1").arg(i, 2, 10, QLatin1Char('0'));
}

qint64 peakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

/** Starts a new peak: writing 5 to clear_refs sets VmHWM back to the present resident set. */
void restartPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

std::unique_ptr<Database> connectTo(Engine engine)
{
    if (engine == Engine::Sqlite)
        return SqliteDatabase::open(g_sqlitePath);
    return PgDatabase::connect(g_server->params());
}

/** The workshop, its users and lookups, and the tasks; the same rows on every engine. */
void fill(Database& db)
{
    Transaction tx(db);
    db.execute(QStringLiteral("INSERT INTO LU_GROUP (GROUP_ID, GROUP_NAME) VALUES (?, ?)"),
               {kWorkshop, QStringLiteral("Bench")});
    for (int u = 0; u < kUsers; ++u) {
        db.execute(QStringLiteral("INSERT INTO LU_USER (USER_ID, Disabled) VALUES (?, 0)"),
                   {user(u)});
        db.execute(QStringLiteral("INSERT INTO GROUPLINK (GROUP_ID, USER_ID) VALUES (?, ?)"),
                   {kWorkshop, user(u)});
    }
    for (const QString& c : kCategories)
        db.execute(QStringLiteral("INSERT INTO LU_CATEGORY (Category) VALUES (?)"), {c});
    for (const QString& p : kPriorities) {
        if (db.query(QStringLiteral("SELECT Priority FROM LU_PRIORITY WHERE Priority = ?"), {p})
                .isEmpty())
            db.execute(QStringLiteral("INSERT INTO LU_PRIORITY (Priority) VALUES (?)"), {p});
    }

    const QStringList columns{QStringLiteral("SCR_Counter"),
                              QStringLiteral("SCR_Number"),
                              QStringLiteral("SCR_Title"),
                              QStringLiteral("SCR_Status"),
                              QStringLiteral("SCR_Owner_User_ID"),
                              QStringLiteral("SCR_Request_ID"),
                              QStringLiteral("SCR_Group_ID"),
                              QStringLiteral("SCR_Category"),
                              QStringLiteral("SCR_Priority"),
                              QStringLiteral("SCR_StartDate"),
                              QStringLiteral("SCR_Owner_Date_In"),
                              QStringLiteral("SCR_Owner_Target_Date"),
                              QStringLiteral("SCR_Owner_Date_Viewed"),
                              QStringLiteral("SCR_Parent_Number"),
                              QStringLiteral("SCR_Parent_Folder_Number"),
                              QStringLiteral("SCR_Sensitive"),
                              QStringLiteral("Meeting_ID")};
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks << QStringLiteral("?");
    const QString row = QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');

    QRandomGenerator rng(76);
    const QDateTime now = naive(QDateTime::currentDateTime());
    QVariantList params;
    QVariantList routes;
    int pending = 0;
    auto flush = [&] {
        if (pending == 0)
            return;
        QStringList rows;
        for (int i = 0; i < pending; ++i)
            rows << row;
        db.execute(QStringLiteral("INSERT INTO SCR (") + columns.join(QLatin1Char(',')) +
                       QStringLiteral(") VALUES ") + rows.join(QLatin1Char(',')),
                   params);
        params.clear();
        pending = 0;
    };
    for (int n = 1; n <= kTasks; ++n) {
        const int roll = int(rng.bounded(100));
        const QString status = roll < 60   ? QStringLiteral("A")
                               : roll < 90 ? QStringLiteral("C")
                               : roll < 95 ? QStringLiteral("I")
                                           : QStringLiteral("X");
        const QDateTime start = now.addSecs(-qint64(rng.bounded(730 * 86400)));
        const bool sub = n > 10 && rng.bounded(10) == 0;
        params << n << n << QStringLiteral("Task %1").arg(n) << status
               << user(int(rng.bounded(kUsers))) << user(int(rng.bounded(kUsers))) << kWorkshop
               << kCategories.at(int(rng.bounded(kCategories.size())))
               << kPriorities.at(int(rng.bounded(kPriorities.size()))) << start << start.addDays(1)
               << now.addDays(int(rng.bounded(120)) - 60)
               << (rng.bounded(2) ? QVariant(start.addDays(2)) : QVariant())
               << (sub ? int(rng.bounded(n - 1)) + 1 : 0)
               << (rng.bounded(10) == 0 ? 1000 + int(rng.bounded(kUsers)) : 0)
               << db.dialect().flag(rng.bounded(50) == 0) << 0;
        if (status == QStringLiteral("C"))
            routes << n << now.addSecs(-qint64(rng.bounded(365 * 86400)));
        if (++pending == kRowsPerInsert)
            flush();
    }
    flush();
    for (qsizetype i = 0; i < routes.size(); i += 2)
        db.insertNumbered(QStringLiteral("ROUTE"), QStringLiteral("Route_Number"),
                          {QStringLiteral("SCR_Number"), QStringLiteral("USER_ID"),
                           QStringLiteral("Route_Status"), QStringLiteral("Route_Date_In")},
                          {routes.at(i), user(0), QStringLiteral("C"), routes.at(i + 1)});
    tx.commit();
    db.executeScript(QStringLiteral("ANALYZE"));
}

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
    for (int u = 0; u < kUsers; ++u)
        users.ids << user(u);
    const OwnerSet one{OwnerKind::User, {user(3)}};
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
        f.categories = {kCategories.at(2), kCategories.at(4)};
        f.priorities = {kPriorities.at(0)};
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
        session.setDatabase(connectTo(engine));
    } catch (const DbError& e) {
        state.SkipWithError(e.what());
        return;
    }
    session.user.userId = user(0);
    session.currentWorkshopId = kWorkshop;
    session.system.queryWait = 3600;
    restartPeak();
    const double startMiB = double(peakKiB()) / 1024.0;
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
    state.counters["peak_MiB"] = double(peakKiB()) / 1024.0;
    state.counters["peak_rise_MiB"] = state.counters["peak_MiB"] - startMiB;
}

void buildCriteria(benchmark::State& state)
{
    QTemporaryDir settingsDir;
    SettingsStore settings(settingsDir.filePath(QStringLiteral("MRBX.conf")));
    Session session(settings, g_clock);
    session.user.userId = user(0);
    session.currentWorkshopId = kWorkshop;
    TaskViewFilter f = TaskViewFilter::defaults(QDate::currentDate());
    f.apply(ViewCommand::RequestedBy);
    f.categories = kCategories;
    f.priorities = kPriorities;
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
                                         g_sqlitePath, g_server, fill)) {
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
