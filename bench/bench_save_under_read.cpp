// A save on the embedded engine while another client reads the large workshop's view, with the
// write-ahead log (WAL, what the program opens on a local disk) and with the rollback journal
// (what it keeps on a network drive). The workshop is the shared one of BenchSupport.h (100,000
// tasks, workshop 900); the reader runs the grid's Active view (about 60,000 rows) in a loop on a
// thread and connection of its own, stepping through every row.
//
// The writer saves as the program does: one write transaction that retitles a task and adds a
// route to it (so the triggers of the schema run too), committed; BX_BENCH_SAVES saves (default
// 100), one every 50 ms. Runs:
//
//   SaveUnderRead/sqlite/wal        the file in WAL, as opened by the program
//   SaveUnderRead/sqlite/rollback   the same file put back into the rollback journal
//                                   (SqliteDatabase::useJournal, while the writer has it alone)
//
// The reader is a bare connection of the engine's library: opening the file through the program
// would put it into WAL again, since the file lies on a local disk.
//
// Time (manual): the median save, begin to commit. Counters: median_ms, p99_ms, max_ms of the
// saves; reads, the reader's whole passes over the view during the run; read_ms, one pass.

#include "BenchSupport.h"
#include "core/Clock.h"
#include "core/Session.h"
#include "core/db/Dialect.h"
#include "core/db/SqliteDatabase.h"
#include "core/settings/SettingsStore.h"
#include "mainwindow/TaskViews.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <sqlite3.h>
#include <thread>
#include <vector>

namespace {

using namespace bx;
namespace ws = bx::bench::workshop;

QString g_sqlitePath;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;

int saves()
{
    bool ok = false;
    const int count = qEnvironmentVariableIntValue("BX_BENCH_SAVES", &ok);
    return ok && count > 0 ? count : 100;
}

/** The view's statement on a bare connection, its values bound as the program binds them. */
class ViewReader
{
public:
    ViewReader(const QString& path, const TaskCriteria& view)
    {
        sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(m_db, 60000);
        const QByteArray sql = view.sql.toUtf8();
        if (sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &m_stmt, nullptr) !=
            SQLITE_OK) {
            std::fprintf(stderr, "%s\n", sqlite3_errmsg(m_db));
            return;
        }
        for (int i = 0; i < view.params.size(); ++i) {
            const QVariant& v = view.params.at(i);
            switch (v.typeId()) {
            case QMetaType::Int:
            case QMetaType::LongLong:
                sqlite3_bind_int64(m_stmt, i + 1, v.toLongLong());
                break;
            case QMetaType::QDateTime: {
                const QByteArray text = Dialect::storedDateTime(v.toDateTime()).toUtf8();
                sqlite3_bind_text(m_stmt, i + 1, text.constData(), int(text.size()),
                                  SQLITE_TRANSIENT);
                break;
            }
            default: {
                const QByteArray text = v.toString().toUtf8();
                sqlite3_bind_text(m_stmt, i + 1, text.constData(), int(text.size()),
                                  SQLITE_TRANSIENT);
            }
            }
        }
    }
    ~ViewReader()
    {
        sqlite3_finalize(m_stmt);
        sqlite3_close_v2(m_db);
    }

    /** One pass over every row; the number of rows, or -1 on an error. */
    qint64 pass()
    {
        if (!m_stmt)
            return -1;
        qint64 rows = 0;
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
            sqlite3_column_text(m_stmt, 1);
            ++rows;
        }
        sqlite3_reset(m_stmt);
        return rc == SQLITE_DONE ? rows : -1;
    }

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
};

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values.at(at);
}

void runSaves(benchmark::State& state, JournalMode mode)
{
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("MRBX.conf")));
    Session session(settings, g_clock);
    session.user.userId = ws::user(0);
    session.currentWorkshopId = ws::kWorkshop;
    const TaskCriteria view =
        gridTaskQuery(nullptr, TaskViewFilter::defaults(QDate::currentDate()), session);

    std::unique_ptr<SqliteDatabase> writer;
    try {
        writer = SqliteDatabase::open(g_sqlitePath);
        writer->useJournal(mode);
    } catch (const DbError& e) {
        state.SkipWithError(e.what());
        return;
    }

    std::atomic<bool> stop = false;
    std::atomic<int> reads = 0;
    std::atomic<qint64> readNs = 0;
    std::atomic<bool> readFailed = false;
    std::thread reader([&] {
        ViewReader r(g_sqlitePath, view);
        QElapsedTimer t;
        while (!stop) {
            t.start();
            if (r.pass() < 0) {
                readFailed = true;
                return;
            }
            readNs += t.nsecsElapsed();
            ++reads;
        }
    });
    // The first pass is under way before the first save.
    QThread::msleep(100);

    std::vector<double> latencies;
    const QString retitle = QStringLiteral("UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?");
    for (auto _ : state) {
        for (int i = 0; i < saves(); ++i) {
            const qlonglong task = 1 + (i * 997) % ws::kTasks;
            QElapsedTimer t;
            t.start();
            Transaction tx(*writer);
            writer->execute(retitle, {QStringLiteral("Saved %1").arg(i), task});
            writer->insertNumbered(QStringLiteral("ROUTE"), QStringLiteral("Route_Number"),
                                   {QStringLiteral("SCR_Number"), QStringLiteral("USER_ID")},
                                   {task, ws::user(1)});
            tx.commit();
            latencies.push_back(double(t.nsecsElapsed()) / 1e6);
            QThread::msleep(50);
        }
        state.SetIterationTime(percentile(latencies, 0.5) / 1e3);
    }
    stop = true;
    reader.join();
    if (readFailed)
        state.SkipWithError("the reader failed");
    state.counters["median_ms"] = percentile(latencies, 0.5);
    state.counters["p99_ms"] = percentile(latencies, 0.99);
    state.counters["max_ms"] = percentile(latencies, 1.0);
    state.counters["reads"] = reads.load();
    state.counters["read_ms"] = reads > 0 ? double(readNs.load()) / 1e6 / reads.load() : 0.0;
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QCoreApplication app(argc, argv);
    // The embedded engine only: no server database is made.
    qunsetenv("BX_TEST_PG");

    const std::unique_ptr<QTemporaryDir> scratch = bx::bench::scratchDir();
    if (!scratch)
        return 1;
    std::unique_ptr<bx::bench::ServerDatabase> none;
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("saves.mdb"), g_prompt, g_clock,
                                         g_sqlitePath, none, ws::fill))
        return 1;
    benchmark::RegisterBenchmark("SaveUnderRead/sqlite/wal", runSaves, JournalMode::Wal)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("SaveUnderRead/sqlite/rollback", runSaves, JournalMode::Rollback)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
