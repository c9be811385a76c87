// The file cabinet over a large database, on each engine, in a database of the program's current
// schema made the way the creation wizard makes it.
//
// ATTACH holds 300,000 attachments of tasks (not published) and 100,000 published rows: 20,000
// documents of five versions each in 50 folders. User "reader" is granted 25 of the folders.
// Runs:
//
//   Tree/<engine>/admin     the document tree's statement as "admin" (every folder: 20,000 rows)
//   Tree/<engine>/granted   the same for "reader" (his 25 folders: 10,000 rows)
//   Document/<engine>       a large document (BX_BENCH_MB, default 256 MiB) published from a file,
//                           saved to a file, opened for a viewer and saved back as a new version
//
// Before the timing the program prints the tree's statement and the engine's plan for it.
//
// Counters: rows (Tree); per phase of Document its seconds and peak resident memory in MiB
// (publish_s, publish_peak_MiB, save_..., open_..., saveback_...). A Document run whose phase
// peaks above 64 MiB ends with an error.

#include "BenchSupport.h"
#include "core/Session.h"
#include "core/settings/SettingsStore.h"
#include "mainwindow/DocumentSearch.h"
#include "mainwindow/FileCabinet.h"
#include "tasks/AttachmentTransfer.h"
#include "tasks/Attachments.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

namespace {

using namespace bx;
using bx::bench::ServerDatabase;

constexpr int kTaskAttachments = 300000;
constexpr int kDocuments = 20000;
constexpr int kVersions = 5;
constexpr int kFolders = 50;
constexpr qint64 kPeakLimitKiB = 64 * 1024;

QString g_sqlitePath;
QString g_dir;
QString g_source;
std::unique_ptr<ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;

QString folder(int i)
{
    return QStringLiteral("Folder %1").arg(i % kFolders, 2, 10, QLatin1Char('0'));
}

void fill(Database& db)
{
    Transaction tx(db);
    bx::bench::BatchInsert rows(db, QStringLiteral("ATTACH"),
                                {QStringLiteral("SCR_Number"), QStringLiteral("Attach_Type"),
                                 QStringLiteral("Attach_Title"), QStringLiteral("Attach_Filename"),
                                 QStringLiteral("Category"), QStringLiteral("Attach_Owner"),
                                 QStringLiteral("Attach_Date"), QStringLiteral("Publish")});
    const QDateTime start = naive(QDate(2024, 1, 1));
    const QVariant off = db.dialect().flag(false);
    const QVariant on = db.dialect().flag(true);
    // Tasks' attachments share the documents' names and folders now and then.
    for (int n = 0; n < kTaskAttachments; ++n)
        rows.add({1 + n / 3, QStringLiteral("F"), QStringLiteral("Attachment %1").arg(n),
                  QStringLiteral("doc%1.txt").arg(n % (kDocuments * 2)), folder(n),
                  QStringLiteral("user%1").arg(n % 20), start.addSecs(n), off});
    for (int v = 0; v < kVersions; ++v)
        for (int d = 0; d < kDocuments; ++d)
            rows.add({0, QStringLiteral("F"), QStringLiteral("Document %1 v%2").arg(d).arg(v),
                      QStringLiteral("doc%1.txt").arg(d), folder(d),
                      QStringLiteral("user%1").arg(d % 20), start.addDays(v).addSecs(d), on});
    rows.flush();
    bx::bench::BatchInsert grants(
        db, QStringLiteral("LU_ACCESS_LEVEL"),
        {QStringLiteral("USER_ID"), QStringLiteral("ACCESS_LEVEL"), QStringLiteral("ACCESS_TYPE")});
    for (int f = 0; f < kFolders; f += 2)
        grants.add({QStringLiteral("reader"), folder(f), QStringLiteral("VIEW")});
    grants.flush();
    tx.commit();
    db.executeScript(QStringLiteral("ANALYZE"));
}

struct CabinetSession
{
    CabinetSession(Engine engine, const QString& user)
    {
        session.setDatabase(bx::bench::connectTo(engine, g_sqlitePath, g_server.get()));
        session.user.userId = user;
        session.user.record.userId = user;
    }
    QTemporaryDir settingsDir;
    SettingsStore settings{settingsDir.filePath(QStringLiteral("MRBX.conf"))};
    Session session{settings, g_clock};
};

void runTree(benchmark::State& state, Engine engine, QString user, int expected)
{
    std::unique_ptr<CabinetSession> cs;
    try {
        cs = std::make_unique<CabinetSession>(engine, user);
    } catch (const DbError& e) {
        state.SkipWithError(e.what());
        return;
    }
    qlonglong rows = 0;
    for (auto _ : state) {
        const TaskCriteria q = documentTreeQuery(nullptr, cs->session);
        rows = cs->session.db().query(q.sql, q.params).rowCount();
    }
    if (rows != expected)
        state.SkipWithError("unexpected number of documents");
    state.counters["rows"] = double(rows);
}

/** Times one phase; its peak resident memory starts afresh. */
template <typename Phase> bool phase(benchmark::State& state, const char* name, Phase run)
{
    bx::bench::restartPeak();
    QElapsedTimer timer;
    timer.start();
    const bool ok = run();
    const qint64 peak = bx::bench::peakKiB();
    state.counters[std::string(name) + "_s"] = double(timer.elapsed()) / 1000.0;
    state.counters[std::string(name) + "_peak_MiB"] = double(peak) / 1024.0;
    if (!ok) {
        state.SkipWithError((std::string(name) + " failed").c_str());
        return false;
    }
    if (peak > kPeakLimitKiB) {
        state.SkipWithError((std::string(name) + " peaked above 64 MiB").c_str());
        return false;
    }
    return true;
}

void runDocument(benchmark::State& state, Engine engine)
{
    std::unique_ptr<CabinetSession> cs;
    try {
        cs = std::make_unique<CabinetSession>(engine, QStringLiteral("admin"));
    } catch (const DbError& e) {
        state.SkipWithError(e.what());
        return;
    }
    Session& session = cs->session;
    Database& db = session.db();
    for (auto _ : state) {
        qlonglong number = 0;
        attachments::ViewerCopy copy;
        const bool ok =
            phase(state, "publish",
                  [&] {
                      PendingAttachment p;
                      p.type = AttachmentType::File;
                      p.title = QStringLiteral("Large document");
                      p.owner = QStringLiteral("admin");
                      p.date = GmtConverter(g_clock).nowGmt();
                      p.sourcePath = g_source;
                      p.fileName = QStringLiteral("large.bin");
                      p.publish = true;
                      const Outcome<qlonglong> added = attachments::addFromFile(
                          db, cabinet::placeFor(session, QStringLiteral("Folder 00")), p);
                      number = added ? *added : 0;
                      return bool(added);
                  }) &&
            phase(state, "save",
                  [&] {
                      return bool(
                          attachments::saveAs(db, number, g_dir + QStringLiteral("/saved.bin")));
                  }) &&
            phase(state, "open",
                  [&] {
                      const auto opened = attachments::exportForViewer(db, number);
                      if (opened)
                          copy = *opened;
                      return bool(opened);
                  }) &&
            phase(state, "saveback", [&] {
                QFile f(copy.path);
                if (!f.open(QIODevice::ReadWrite))
                    return false;
                f.write("changed");
                f.close();
                return bool(attachments::saveBack(db, copy, cabinet::authorOf(session))) &&
                       copy.newest > number;
            });
        attachments::removeViewerCopy(number);
        QFile::remove(g_dir + QStringLiteral("/saved.bin"));
        if (!ok)
            break;
    }
}

void explain(Engine engine, const char* name)
{
    try {
        CabinetSession cs(engine, QStringLiteral("reader"));
        const TaskCriteria q = documentTreeQuery(nullptr, cs.session);
        const QString prefix = engine == Engine::Sqlite ? QStringLiteral("EXPLAIN QUERY PLAN ")
                                                        : QStringLiteral("EXPLAIN ");
        std::printf("-- %s: %s\n", name, qPrintable(q.sql));
        const RecordSet plan = cs.session.db().query(prefix + q.sql, q.params);
        for (const QVariantList& row : plan.rows())
            std::printf("   %s\n", qPrintable(row.constLast().toString()));
    } catch (const DbError& e) {
        std::fprintf(stderr, "cannot explain %s: %s\n", name, e.what());
    }
    std::fflush(stdout);
}

void registerAll(Engine engine, const char* name)
{
    const std::string prefix = std::string("Tree/") + name;
    benchmark::RegisterBenchmark((prefix + "/admin").c_str(), runTree, engine,
                                 QStringLiteral("admin"), kDocuments)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((prefix + "/granted").c_str(), runTree, engine,
                                 QStringLiteral("reader"), kDocuments / 2)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("Document/") + name).c_str(), runDocument, engine)
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kSecond);
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
    g_dir = scratch->path();
    g_source = g_dir + QStringLiteral("/large.bin");
    if (!bx::bench::writeSourceFile(g_source, bx::bench::valueBytes()))
        return 1;
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("cabinet.mdb"), g_prompt, g_clock,
                                         g_sqlitePath, g_server, fill)) {
        g_server.reset();
        return 1;
    }
    explain(Engine::Sqlite, "sqlite");
    registerAll(Engine::Sqlite, "sqlite");
    if (g_server) {
        explain(Engine::Postgres, "postgres");
        registerAll(Engine::Postgres, "postgres");
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server.reset();
    return 0;
}
