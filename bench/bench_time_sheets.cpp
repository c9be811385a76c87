// The time-sheet report over a large workshop, on each engine, in a database of the program's
// current schema made the way the creation wizard makes it.
//
// The workshop of the task-view benchmarks (100,000 tasks among 20 users) plus 100,000 bookings by
// its 20 users on 1,000 of its tasks, spread over the last twelve months, each user at a rate of
// his own. Runs:
//
//   TimeSheets/<engine>/report_12_months   the report of the last 12 months for all team members,
//                                          read, priced and written as "RepTmp.html", as the
//                                          report window's Refresh does, by an administrator;
//                                          read_ms: the reading alone (one more, untimed)
//
// Floor: every report under 2 s; the program exits with status 1 when one takes longer.

#include "BenchSupport.h"
#include "core/Clock.h"
#include "core/Gmt.h"
#include "core/Session.h"
#include "core/settings/SettingsStore.h"
#include "reports/TimeSheetReport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <memory>

namespace {

using namespace bx;
using bx::bench::ServerDatabase;
namespace ws = bx::bench::workshop;

constexpr int kBookings = 100000;
constexpr int kBookedTasks = 1000;
constexpr double kFloorSeconds = 2.0;

QString g_sqlitePath;
std::unique_ptr<ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;
bool g_floorBroken = false;

/** The users' rates and the bookings, in one transaction; then ANALYZE. */
void addBookings(Database& db)
{
    ws::fill(db);
    Transaction tx(db);
    for (int u = 0; u < ws::kUsers; ++u)
        db.execute(QStringLiteral("UPDATE LU_USER SET Rate = ? WHERE USER_ID = ?"),
                   {QStringLiteral("%1.%2").arg(20 + u).arg(u * 5 % 100, 2, 10, QLatin1Char('0')),
                    ws::user(u)});
    bx::bench::BatchInsert rows(db, QStringLiteral("TIME_SHEET"),
                                {QStringLiteral("ID_Sheet"), QStringLiteral("SCR_Number_Sheet"),
                                 QStringLiteral("User_ID"), QStringLiteral("Date_Sheet"),
                                 QStringLiteral("Start_Sheet"), QStringLiteral("Time_Sheet"),
                                 QStringLiteral("Time_Sheet_Minute"),
                                 QStringLiteral("Comment_Sheet"), QStringLiteral("Timer_Running")});
    const GmtConverter gmt(g_clock);
    const QDate today = g_clock.nowLocal().date();
    QRandomGenerator rng(32);
    for (int i = 1; i <= kBookings; ++i) {
        // Every hundredth task of the workshop, spread over its numbers.
        const int task = 1 + int(rng.bounded(kBookedTasks)) * (ws::kTasks / kBookedTasks);
        const QDate day = today.addDays(-qint64(rng.bounded(360)));
        const QTime start(8 + int(rng.bounded(9)), int(rng.bounded(4)) * 15);
        rows.add({i, task, ws::user(int(rng.bounded(ws::kUsers))),
                  gmt.toGmt(QDateTime(day, QTime(0, 0))), gmt.toGmt(QDateTime(day, start)),
                  int(rng.bounded(4)), int(rng.bounded(60)),
                  QStringLiteral("Booking %1 of O'Hara's <work>").arg(i), 0});
    }
    rows.flush();
    tx.commit();
    db.executeScript(QStringLiteral("ANALYZE"));
}

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
    session.user.userId = session.user.record.userId = QStringLiteral("admin");
    session.currentWorkshopId = ws::kWorkshop;

    const QDate today = g_clock.nowLocal().date();
    const auto period =
        timesheet::periodOf(PeriodKind::LastMonths, QStringLiteral("12"), today, today, today);
    TimeSheetRequest request;
    request.workshop = ws::kWorkshop;
    request.from = period->first;
    request.to = period->second;

    double slowest = 0;
    qint64 bytes = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        try {
            const QString path = timesheet::writeReport(session, request, QString(), folder.path());
            bytes = QFileInfo(path).size();
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            break;
        }
        slowest = std::max(slowest, double(timer.nsecsElapsed()) / 1e9);
    }
    // Outside the timings: the lines the page holds, and what reading them alone takes.
    QElapsedTimer reading;
    reading.start();
    const TimeSheetTotals totals = timesheet::readTimeSheets(session, request);
    state.counters["read_ms"] = double(reading.nsecsElapsed()) / 1e6;
    state.counters["lines"] = double(totals.lines.size());
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
    benchmark::RegisterBenchmark((std::string("TimeSheets/") + name + "/report_12_months").c_str(),
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
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("timesheets.mdb"), g_prompt,
                                         g_clock, g_sqlitePath, g_server, addBookings)) {
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
