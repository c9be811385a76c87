// Streams one large binary value into and out of each engine (Database::writeBlob / readBlob,
// file to database to file) and sets the rates beside those of `cp` copying the same file on the
// same disk, measured in the same run. It also watches the peak resident memory of the process:
// streaming exists so that memory stays bounded whatever the size, and the program exits non-zero
// when any run's peak exceeds 64 MiB.
//
// Sizes and rates are in MiB (2^20 bytes). Every timed phase ends with its data handed to the disk
// in the same way:
//   in   writeBlob, which commits (the embedded engine fsyncs on commit; the server fsyncs only
//        when the cluster runs with fsync on);
//   out  readBlob into a new file, then fdatasync of that file;
//   cp   `cp SOURCE COPY`, then fdatasync of the copy.
// Every phase starts after a sync(), so none pays for write-back left over by another, and the
// source file is in the page cache for all of them. "in_flushed" adds the sync() that follows a
// write, i.e. the time until the engine's data files are on disk even when the engine did not ask
// for that; "cp_cached" is cp without the fdatasync, for reference.

#include "BenchSupport.h"
#include "core/db/PgDatabase.h"
#include "core/db/SqliteDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

using namespace bx;
using bx::bench::ServerDatabase;
using bx::bench::testCluster;

using bx::bench::kMiB;
using bx::bench::sameContent;
using bx::bench::valueBytes;
using bx::bench::writeSourceFile;
constexpr qint64 kPeakLimitKiB = 64 * 1024;

// ---- peak resident memory ----------------------------------------------------------------------

using bx::bench::peakKiB;

qint64 g_processPeakKiB = 0;
bool g_overLimit = false;
bool g_peakResets = true;

/** Starts a new peak for the next run; the process-wide peak keeps the largest seen. */
void restartRunPeak()
{
    g_processPeakKiB = std::max(g_processPeakKiB, peakKiB());
    if (!bx::bench::restartPeak())
        g_peakResets = false;
}

// ---- files -------------------------------------------------------------------------------------

bool flushToDisk(QFile& file)
{
    return file.flush() && ::fdatasync(file.handle()) == 0;
}

/**
 * Seconds that `cp` takes to copy `from` to the new file `to`; with `durable`, until the copy is on
 * disk. Nothing when cp fails.
 */
std::optional<double> timeCopy(const QString& from, const QString& to, bool durable)
{
    QFile::remove(to);
    ::sync();
    QElapsedTimer timer;
    timer.start();
    if (QProcess::execute(QStringLiteral("cp"), {from, to}) != 0)
        return std::nullopt;
    if (durable) {
        QFile copy(to);
        if (!copy.open(QIODevice::ReadOnly) || ::fdatasync(copy.handle()) != 0)
            return std::nullopt;
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    QFile::remove(to);
    return seconds;
}

// ---- the engines -------------------------------------------------------------------------------

std::unique_ptr<QTemporaryDir> g_work;
QString g_source;
std::unique_ptr<ServerDatabase> g_server;

enum class Target
{
    /** Embedded engine; OLE_Data is the last column, as the streaming code requires. */
    Sqlite,
    /** Server engine, OLE_Data a large object. */
    Postgres,
};

QString attachTable(Target target)
{
    switch (target) {
    case Target::Sqlite:
        return QStringLiteral(
            "CREATE TABLE ATTACH (Attach_Number INTEGER PRIMARY KEY, SCR_Number INTEGER, "
            "Attach_Title TEXT, Attach_Type TEXT, Attach_Owner TEXT, Attach_Date DATETIME, "
            "Attach_Filename TEXT, Publish INTEGER, Show_In_TabBar INTEGER, Temp_Status INTEGER, "
            "Category TEXT, Group_ID INTEGER, Parent_ID INTEGER, OLE_Data BLOB)");
    case Target::Postgres:
        return QStringLiteral(
            "DROP TABLE IF EXISTS ATTACH; "
            "CREATE TABLE ATTACH (Attach_Number integer PRIMARY KEY, SCR_Number integer, "
            "Attach_Title text, Attach_Type text, Attach_Owner text, Attach_Date timestamp, "
            "Attach_Filename text, OLE_Data oid, Publish smallint, Show_In_TabBar smallint, "
            "Temp_Status integer, Category text, Group_ID integer, Parent_ID integer)");
    }
    return {};
}

/** A fresh database holding one ATTACH row (number 1) without content. */
std::unique_ptr<Database> freshDatabase(Target target)
{
    std::unique_ptr<Database> db;
    if (target == Target::Postgres) {
        db = PgDatabase::connect(g_server->params());
    } else {
        const QString path = g_work->filePath(QStringLiteral("blob.db"));
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
        db = SqliteDatabase::open(path, SqliteDatabase::OpenMode::Create);
    }
    db->executeScript(attachTable(target));
    db->execute(QStringLiteral("INSERT INTO ATTACH (Attach_Number, SCR_Number, Attach_Title, "
                               "Attach_Type, Attach_Owner, Attach_Filename, Publish, "
                               "Show_In_TabBar, Temp_Status, Category, Group_ID, Parent_ID) "
                               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                {1, 1, QStringLiteral("Streamed value"), QStringLiteral("F"),
                 QStringLiteral("admin"), QStringLiteral("source.bin"), 0, 0, 0,
                 QStringLiteral("Documents"), 1, 0});
    return db;
}

/**
 * Has the server write out what it still holds in its own buffers, so that its background writes
 * do not land in the middle of the cp timing. Needs a superuser (or pg_checkpoint); without that
 * the timing is merely noisier.
 */
void settleServer(Database& db)
{
    try {
        db.executeScript(QStringLiteral("CHECKPOINT"));
    } catch (const DbError&) {
    }
}

struct Totals
{
    int rounds = 0;
    double in = 0;
    double inFlushed = 0;
    double out = 0;
    double cp = 0;
    double cpCached = 0;
};

void blobStream(benchmark::State& state, Target target, const char* name)
{
    restartRunPeak();
    const qint64 size = valueBytes();
    const QString outPath = g_work->filePath(QStringLiteral("out.bin"));
    const QString copyPath = g_work->filePath(QStringLiteral("copy.bin"));
    const BlobRef ref{QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"), 1,
                      QStringLiteral("OLE_Data")};
    // The program always passes a progress callback (it drives a progress bar); so does this.
    qint64 reported = 0;
    const BlobProgress progress = [&reported](qint64 done, qint64) { reported = done; };
    Totals t;

    for (auto _ : state) {
        try {
            std::unique_ptr<Database> db = freshDatabase(target);
            QFile source(g_source);
            if (!source.open(QIODevice::ReadOnly)) {
                state.SkipWithError("cannot open the source file");
                break;
            }
            ::sync();
            QElapsedTimer timer;
            timer.start();
            db->writeBlob(ref, source, size, progress);
            const double in = double(timer.nsecsElapsed()) / 1e9;
            ::sync();
            const double inFlushed = double(timer.nsecsElapsed()) / 1e9;

            QFile sink(outPath);
            if (!sink.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
                state.SkipWithError("cannot create the output file");
                break;
            }
            timer.restart();
            const qint64 got = db->readBlob(ref, sink, progress);
            if (!flushToDisk(sink)) {
                state.SkipWithError("cannot flush the output file");
                break;
            }
            const double out = double(timer.nsecsElapsed()) / 1e9;
            sink.close();
            state.SetIterationTime(in + out);

            if (got != size || reported != size || !sameContent(g_source, outPath)) {
                state.SkipWithError("the value read back differs from the source file");
                break;
            }
            QFile::remove(outPath);
            if (target == Target::Postgres) {
                db->clearBlob(ref); // large objects outlive their row unless unlinked
                settleServer(*db);
            }
            db.reset();

            const std::optional<double> cp = timeCopy(g_source, copyPath, true);
            const std::optional<double> cpCached = timeCopy(g_source, copyPath, false);
            if (!cp || !cpCached) {
                state.SkipWithError("cp failed");
                break;
            }
            ++t.rounds;
            t.in += in;
            t.inFlushed += inFlushed;
            t.out += out;
            t.cp += *cp;
            t.cpCached += *cpCached;
        } catch (const DbError& e) {
            state.SkipWithError(e.what());
            break;
        }
    }
    QFile::remove(outPath);

    const qint64 peak = peakKiB();
    g_processPeakKiB = std::max(g_processPeakKiB, peak);
    state.counters["peak_rss_MB"] = double(peak) / 1024.0;
    if (peak < 0) {
        g_overLimit = true;
        std::fprintf(stderr, "\n*** %s: cannot read the peak resident memory\n\n", name);
    } else if (peak > kPeakLimitKiB) {
        g_overLimit = true;
        std::fprintf(stderr, "\n*** %s: peak resident memory %.1f MiB exceeds the 64 MiB limit\n\n",
                     name, double(peak) / 1024.0);
    }
    if (t.rounds == 0)
        return;
    const double mb = double(size) / double(kMiB) * t.rounds;
    const double cpRate = mb / t.cp;
    state.counters["in_MBps"] = mb / t.in;
    state.counters["in_flushed_MBps"] = mb / t.inFlushed;
    state.counters["out_MBps"] = mb / t.out;
    state.counters["cp_MBps"] = cpRate;
    state.counters["cp_cached_MBps"] = mb / t.cpCached;
    state.counters["in_vs_cp"] = mb / t.in / cpRate;
    state.counters["out_vs_cp"] = mb / t.out / cpRate;
}

void registerRun(const char* name, Target target)
{
    benchmark::RegisterBenchmark(name, blobStream, target, name)
        ->Iterations(2)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QCoreApplication app(argc, argv); // QProcess (for cp) wants one

    g_work = bx::bench::scratchDir();
    if (!g_work)
        return 1;
    g_source = g_work->filePath(QStringLiteral("source.bin"));
    const qint64 size = valueBytes();
    std::fprintf(stderr, "writing a %lld MiB source file in %s\n", size / kMiB,
                 qPrintable(g_work->path()));
    if (!writeSourceFile(g_source, size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(g_source));
        return 1;
    }

    registerRun("BlobStream/sqlite", Target::Sqlite);
    if (const std::optional<PgConnectParams> cluster = testCluster()) {
        try {
            g_server = std::make_unique<ServerDatabase>(*cluster);
        } catch (const DbError& e) {
            std::fprintf(stderr, "cannot create the server database: %s\n", e.what());
            return 1;
        }
        registerRun("BlobStream/postgres", Target::Postgres);
    } else {
        std::fprintf(stderr, "server engine skipped: BX_TEST_PG is not set\n");
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server.reset();
    g_work.reset();

    g_processPeakKiB = std::max(g_processPeakKiB, peakKiB());
    std::fprintf(stderr, "peak resident memory of the process: %.1f MiB (limit 64 MiB)%s\n",
                 double(g_processPeakKiB) / 1024.0,
                 g_peakResets ? "" : "; per-run peaks could not be reset and are cumulative");
    if (g_overLimit || g_processPeakKiB > kPeakLimitKiB) {
        std::fprintf(stderr, "FAILED: peak resident memory above 64 MiB\n");
        return 1;
    }
    return 0;
}
