// The pivot engine over rows already read, as an analysis hands them over after its query.
//
// 100,000 rows shaped like the result of "Task ownership over time" (category, priority, entry
// date as the embedded engine returns a computed one, status, owner, a count per row) among 20
// owners, 5 priorities, 4 statuses and three years of dates. Runs:
//
//   Pivot/owner_by_priority_by_status   owner and priority down, status across; the sum of Item
//   Pivot/month_by_owner                year, quarter and month of the entry date down (local
//                                       date, +2 h bias), owner across; sum, count and average
//
// Each reports peak_MiB: how far the process's peak resident set rose during the run above what
// it held before (the rows included), from restartPeak. Floor: every pivot under 0.5 s (the
// query's share of the second an analysis has is left to the reading); the program exits with
// status 1 when one takes longer.

#include "BenchSupport.h"
#include "reports/Pivot.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

using namespace bx;
using namespace bx::pivot;

constexpr int kRows = 100000;
constexpr double kFloorSeconds = 0.5;
bool g_floorBroken = false;

const Source& rows()
{
    static const Source source = [] {
        Source s;
        s.columns = {QStringLiteral("Category"),   QStringLiteral("Priority"),
                     QStringLiteral("Enter Date"), QStringLiteral("Task Status"),
                     QStringLiteral("User Name"),  QStringLiteral("Item")};
        s.kinds = {ColumnKind::Text, ColumnKind::Number, ColumnKind::Date,
                   ColumnKind::Text, ColumnKind::Text,   ColumnKind::Number};
        s.biasSeconds = 2 * 3600;
        const QString statuses[] = {QStringLiteral("Active"), QStringLiteral("Complete"),
                                    QStringLiteral("Incomplete"), QStringLiteral("Cancelled")};
        const QDateTime start(QDate(2022, 1, 1), QTime(0, 0), Qt::UTC);
        QRandomGenerator random(42);
        s.rows.reserve(kRows);
        for (int i = 0; i < kRows; ++i) {
            const QDateTime entered = start.addSecs(qint64(random.bounded(3 * 365 * 86400)));
            s.rows.append(
                {QStringLiteral("Category %1").arg(random.bounded(8)),
                 qlonglong(random.bounded(5) + 1),
                 entered.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                 statuses[random.bounded(4)],
                 QStringLiteral("user%1").arg(random.bounded(20), 2, 10, QLatin1Char('0')),
                 qlonglong(random.bounded(3) + 1)});
        }
        return s;
    }();
    return source;
}

Dimension column(const char* name, std::optional<olap::DatePart> part = std::nullopt)
{
    return {QString::fromLatin1(name), QString::fromLatin1(name), part};
}

Fact item(olap::Aggregate aggregate)
{
    return {QStringLiteral("Item"), QStringLiteral("Item"), aggregate, false};
}

void run(benchmark::State& state, const char* label, const Definition& definition)
{
    const Source& source = rows();
    bx::bench::restartPeak();
    const qint64 before = bx::bench::peakKiB();
    double slowest = 0;
    int cells = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const Outcome<Grid> grid = build(source, definition);
        if (!grid) {
            state.SkipWithError(qPrintable(grid.refusal()->message));
            return;
        }
        cells = grid->rows().size() * grid->columns().size() * int(grid->facts().size());
        slowest = std::max(slowest, double(timer.nsecsElapsed()) / 1e9);
    }
    state.counters["cells"] = cells;
    state.counters["peak_MiB"] = double(bx::bench::peakKiB() - before) / 1024;
    state.counters["slowest_s"] = slowest;
    if (slowest >= kFloorSeconds) {
        std::fprintf(stderr, "*** %s: the pivot took %.2f s (floor %.1f s)\n", label, slowest,
                     kFloorSeconds);
        g_floorBroken = true;
    }
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QCoreApplication app(argc, argv);
    rows();

    using olap::Aggregate;
    using olap::DatePart;
    const Definition byStatus{
        {column("User Name"), column("Priority")}, {column("Task Status")}, {item(Aggregate::Sum)}};
    const Definition byMonth{
        {column("Enter Date", DatePart::Year), column("Enter Date", DatePart::Quarter),
         column("Enter Date", DatePart::Month)},
        {column("User Name")},
        {item(Aggregate::Sum), item(Aggregate::Count), item(Aggregate::Average)}};
    benchmark::RegisterBenchmark("Pivot/owner_by_priority_by_status", run,
                                 "owner_by_priority_by_status", byStatus)
        ->UseRealTime()
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Pivot/month_by_owner", run, "month_by_owner", byMonth)
        ->UseRealTime()
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return g_floorBroken ? 1 : 0;
}
