// A stored report of 10,000 rows printed to PDF: rows already read, as the report window hands
// them over after its query.
//
// The layout groups the rows by owner (50 owners of 200 rows each, header and footer with the
// group's count and sum), shows the task number, title, start date (local, +2 h bias), an amount
// in currency and a flag, and ends on the report's count and sum; header and footer on every page
// with "page N of M". Runs, three iterations each:
//
//   ReportRender/html   the renderer alone: the rows laid out as one HTML page
//   ReportRender/pdf    renderer and printer: the page laid out on A4 and written as PDF bytes
//
// Counters: pages, out_KiB (the PDF, or the page as text), slowest_s, and peak_MiB: how far the
// process's peak resident set rose during the run above what it held before (the rows included),
// from restartPeak. Floor: the PDF under 5 s; the program exits with status 1 when it takes longer.

#include "BenchSupport.h"
#include "reports/ReportRenderer.h"
#include "reports/ui/ReportPrinter.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

using namespace bx;

constexpr int kRows = 10000;
constexpr int kOwners = 50;
constexpr double kFloorSeconds = 5.0;
bool g_floorBroken = false;

class BenchClock final : public Clock
{
public:
    QDateTime nowLocal() const override { return naive(QDate(2024, 5, 6), QTime(9, 0)); }
    int standardOffsetSeconds() const override { return 2 * 3600; }
    int currentOffsetSeconds() const override { return 2 * 3600; }
};

const BenchClock g_clock;

ReportLayout layout()
{
    ReportLayout l;
    l.title = QStringLiteral("Tasks by owner");
    l.footer = QStringLiteral("{title} - printed {date} by {user} - page {page} of {pages}");
    l.header = QStringLiteral("{title}");
    l.columns = {
        {QStringLiteral("Owner"), QStringLiteral("Owner"), 14, ReportAlign::Left,
         ReportFormat::Text, -1, true},
        {QStringLiteral("Number"), QStringLiteral("ID"), 7, ReportAlign::Right,
         ReportFormat::Number, 0, false},
        {QStringLiteral("Title"), QStringLiteral("Title"), 45, ReportAlign::Left,
         ReportFormat::Text, -1, false},
        {QStringLiteral("Start"), QStringLiteral("Start Date"), 11, ReportAlign::Left,
         ReportFormat::Date, -1, false},
        {QStringLiteral("Amount"), QStringLiteral("Amount"), 12, ReportAlign::Right,
         ReportFormat::Currency, -1, false},
        {QStringLiteral("Firm"), QStringLiteral("Firm?"), 5, ReportAlign::Center,
         ReportFormat::Flag, -1, false},
    };
    l.grouping = {{QStringLiteral("Owner"), QStringLiteral("Owner"), true, true}};
    l.totals = {
        {QStringLiteral("Number"), ReportFunction::Count, ReportLevel::Group,
         QStringLiteral("Tasks")},
        {QStringLiteral("Amount"), ReportFunction::Sum, ReportLevel::Group,
         QStringLiteral("Amount")},
        {QStringLiteral("Number"), ReportFunction::Count, ReportLevel::Report,
         QStringLiteral("All tasks")},
        {QStringLiteral("Amount"), ReportFunction::Sum, ReportLevel::Report,
         QStringLiteral("Total")},
    };
    return l;
}

const RecordSet& rows()
{
    static const RecordSet set = [] {
        QRandomGenerator random(42);
        const QDateTime start(QDate(2022, 1, 1), QTime(0, 0), Qt::UTC);
        QList<QVariantList> rows;
        rows.reserve(kRows);
        for (int i = 0; i < kRows; ++i) {
            const int owner = i / (kRows / kOwners);
            rows.append({QStringLiteral("user%1").arg(owner, 2, 10, QLatin1Char('0')),
                         qlonglong(i + 1),
                         QStringLiteral("Task %1 of the <b>R&D</b> plan, second phase").arg(i + 1),
                         naive(start.addSecs(qint64(random.bounded(3 * 365 * 86400)))),
                         double(random.bounded(1000000)) / 100, qlonglong(random.bounded(2))});
        }
        return RecordSet({QStringLiteral("owner"), QStringLiteral("number"),
                          QStringLiteral("title"), QStringLiteral("start"),
                          QStringLiteral("amount"), QStringLiteral("firm")},
                         rows);
    }();
    return set;
}

void run(benchmark::State& state, bool toPdf)
{
    const ReportLayout report = layout();
    const RecordSet& source = rows();
    bx::bench::restartPeak();
    const qint64 before = bx::bench::peakKiB();
    double slowest = 0;
    qint64 bytes = 0;
    int pages = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const RenderedReport rendered =
            reportrender::render(report, source, g_clock, QStringLiteral("user00"));
        if (toPdf) {
            HtmlPrinter printer = reportPrinter(rendered);
            // Counts the pages through the footer, which is told their number.
            printer.setPageTexts({}, [&pages](int, int count) {
                pages = count;
                return QString();
            });
            bytes = printer.pdf().size();
        } else {
            bytes = rendered.html.size() * 2;
        }
        slowest = std::max(slowest, double(timer.nsecsElapsed()) / 1e9);
    }
    state.counters["pages"] = pages;
    state.counters["out_KiB"] = double(bytes) / 1024; // the PDF, or the page's UTF-16 text
    state.counters["peak_MiB"] = double(bx::bench::peakKiB() - before) / 1024;
    state.counters["slowest_s"] = slowest;
    if (toPdf && slowest >= kFloorSeconds) {
        std::fprintf(stderr, "*** the report took %.2f s to print (floor %.1f s)\n", slowest,
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    rows();

    benchmark::RegisterBenchmark("ReportRender/html", run, false)
        ->UseRealTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ReportRender/pdf", run, true)
        ->UseRealTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return g_floorBroken ? 1 : 0;
}
