// One large file attachment through its whole life, on each engine, in a database of the
// program's current schema made the way the creation wizard makes it. Each phase goes through the
// logic the windows call and is set beside a plain Database::writeBlob or readBlob of the same
// value timed in the same run:
//
//   add             attachments::addFromFile onto a saved task             (against writeBlob)
//   save_as         attachments::saveAs to a new file                      (against readBlob)
//   viewer_export   attachments::exportForViewer                           (against readBlob)
//   changed_check   changedSinceExport of the copy after a viewer changed  (against readBlob)
//                   it: a new modification time, so the whole file is fingerprinted
//   save_back       saveBack of the changed copy over the stored value     (against writeBlob)
//   copy_to_task    attachments::copyToTask ("Add from Parent")            (against writeBlob)
//   task_save       SAVE of a new task holding the file, to three          (against writeBlob)
//                   recipients: the task and two clones, each clone with its own copy of the
//                   file, so the phase moves the value twice
//   delete          attachments::deleteAttachment                          (against readBlob)
//
// Rates are in MiB/s (2^20 bytes). Fairness as in bench_blob_stream: every timed phase starts
// after the server wrote out its buffers and a sync(), so none pays for write-back left by
// another; the source file is in the page cache; a phase that writes a file ends with it on disk
// (QSaveFile commits through fsync; the reference read is fdatasynced). The peak resident memory
// (VmHWM) is restarted before every phase. The program exits with status 1 when a phase peaks
// above 64 MiB or runs at less than half the rate of its reference.

#include "BenchSupport.h"
#include "core/Session.h"
#include "tasks/AttachmentTransfer.h"
#include "tasks/Attachments.h"
#include "tasks/cSCR.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace bx;
using bx::bench::ServerDatabase;

using bx::bench::fillRandom;
using bx::bench::kMiB;
using bx::bench::sameContent;
using bx::bench::valueBytes;
using bx::bench::writeSourceFile;
constexpr qint64 kPeakLimitKiB = 64 * 1024;
constexpr double kFloorRatio = 0.5;
constexpr qlonglong kWorkshop = 900;

QString g_sqlitePath;
std::unique_ptr<ServerDatabase> g_server;
std::unique_ptr<QTemporaryDir> g_work;
QString g_source;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;
bool g_floorBroken = false;
bool g_peakResets = true;

// ---- files -------------------------------------------------------------------------------------

/** Overwrites the first MiB of a file in place, as an editor saving a change would. */
bool changeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    std::vector<quint64> piece(kMiB / sizeof(quint64));
    quint64 x = 0xD1B54A32D192ED03ull;
    fillRandom(piece, x);
    const qint64 n = std::min(kMiB, file.size());
    return file.write(reinterpret_cast<const char*>(piece.data()), n) == n && file.flush() &&
           ::fdatasync(file.handle()) == 0;
}

// ---- phases ------------------------------------------------------------------------------------

enum class Reference
{
    Write,
    Read
};

enum Phase
{
    Add,
    SaveAs,
    ViewerExport,
    ChangedCheck,
    SaveBack,
    CopyToTask,
    TaskSave,
    Delete,
    PhaseCount
};

struct PhaseInfo
{
    const char* name;
    Reference reference;
    /** Times the value is moved in the phase. */
    int copies;
};

constexpr std::array<PhaseInfo, PhaseCount> kPhases{{
    {"add", Reference::Write, 1},
    {"save_as", Reference::Read, 1},
    {"viewer_export", Reference::Read, 1},
    {"changed_check", Reference::Read, 1},
    {"save_back", Reference::Write, 1},
    {"copy_to_task", Reference::Write, 1},
    {"task_save", Reference::Write, 2},
    {"delete", Reference::Read, 1},
}};

/** What one run measured: seconds and peak per phase, and the two references. */
struct Measured
{
    std::array<double, PhaseCount> seconds{};
    std::array<qint64, PhaseCount> peakKiB{};
    double writeSeconds = 0;
    double readSeconds = 0;
    qint64 writePeakKiB = 0;
    qint64 readPeakKiB = 0;
    /** A change of the attachment's title alone, the value untouched. */
    double retitleSeconds = 0;
};

/** Thrown when a phase fails or its result is wrong; ends the run with the message. */
struct PhaseFailed
{
    std::string message;
};

/**
 * Has the server write out what it still holds in its own buffers (needs a superuser or
 * pg_checkpoint; without that the timings are merely noisier), then syncs, so that the next phase
 * starts with nothing pending.
 */
void settle(Database& db)
{
    if (db.engine() == Engine::Postgres) {
        try {
            db.executeScript(QStringLiteral("CHECKPOINT"));
        } catch (const DbError&) {
        }
    }
    ::sync();
}

/** Times one phase after settling; its peak resident memory starts afresh. */
class PhaseTimer
{
public:
    explicit PhaseTimer(Database& db)
    {
        settle(db);
        if (!bx::bench::restartPeak())
            g_peakResets = false;
        m_timer.start();
    }
    /** Seconds since the start and the peak meanwhile. */
    void stop(double& seconds, qint64& peak)
    {
        seconds = double(m_timer.nsecsElapsed()) / 1e9;
        peak = bx::bench::peakKiB();
    }

private:
    QElapsedTimer m_timer;
};

void require(bool ok, const char* what)
{
    if (!ok)
        throw PhaseFailed{what};
}

template <typename T> const T& accepted(const Outcome<T>& outcome, const char* what)
{
    if (!outcome) {
        std::string message = what;
        if (outcome.refusal())
            message += ": " + outcome.refusal()->message.toStdString();
        else
            message += ": declined";
        throw PhaseFailed{message};
    }
    return *outcome;
}

/** A task created and saved to one recipient, as a parent or a target of copies. */
qlonglong savedTask(Session& session, const QString& title)
{
    cSCR task(session, g_prompt);
    require(task.Create() != 0, "Create failed");
    task.setSCR_Title(title);
    task.UsersCol() = {{QStringLiteral("bob"), kWorkshop, OwnerType::User}};
    require(task.SAVE(), "a task could not be saved");
    return task.SCR_Number();
}

AttachmentPlace placeOf(qlonglong task)
{
    return {task, QStringLiteral("Documents"), kWorkshop};
}

PendingAttachment fileFrom(const QString& path)
{
    PendingAttachment pending;
    pending.type = AttachmentType::File;
    pending.title = QStringLiteral("O'Brien's drawings");
    pending.owner = QStringLiteral("ann");
    pending.date = naive(QDateTime::currentDateTimeUtc());
    pending.sourcePath = path;
    return pending;
}

/** Whether the stored content of attachment `number` equals the file at `expected`. */
bool storedEquals(Database& db, qlonglong number, const QString& expected)
{
    const QString check = g_work->filePath(QStringLiteral("check.bin"));
    QFile sink(check);
    if (!sink.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    db.readBlob(attachments::dataOf(number), sink);
    sink.close();
    const bool same = sameContent(expected, check);
    QFile::remove(check);
    return same;
}

/** The plain layer calls the phases are set against, on a bare row of the file cabinet. */
void timeReferences(Database& db, qint64 size, const BlobProgress& progress, Measured& m,
                    QList<qlonglong>& made)
{
    const qlonglong number =
        db.insertNumbered(QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
                          {QStringLiteral("SCR_Number"), QStringLiteral("Attach_Title"),
                           QStringLiteral("Attach_Type")},
                          {0, QStringLiteral("Reference"), QStringLiteral("F")});
    made << number;
    QFile source(g_source);
    require(source.open(QIODevice::ReadOnly), "cannot open the source file");
    {
        PhaseTimer timer(db);
        db.writeBlob(attachments::dataOf(number), source, size, progress);
        timer.stop(m.writeSeconds, m.writePeakKiB);
    }
    const QString out = g_work->filePath(QStringLiteral("reference.bin"));
    QFile sink(out);
    require(sink.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot create a file");
    {
        PhaseTimer timer(db);
        require(db.readBlob(attachments::dataOf(number), sink, progress) == size,
                "readBlob returned a short value");
        require(sink.flush() && ::fdatasync(sink.handle()) == 0, "cannot flush a file");
        timer.stop(m.readSeconds, m.readPeakKiB);
    }
    sink.close();
    require(sameContent(g_source, out), "the reference read differs from the source");
    QFile::remove(out);
}

/** Every phase once, in the order a user meets them. */
void runPhases(Session& session, qint64 size, const BlobProgress& progress, Measured& m,
               QList<qlonglong>& made)
{
    Database& db = session.db();
    timeReferences(db, size, progress, m, made);

    const qlonglong parent = savedTask(session, QStringLiteral("Parent"));
    qlonglong attach = 0;
    {
        PhaseTimer timer(db);
        attach = accepted(
            attachments::addFromFile(db, placeOf(parent), fileFrom(g_source), progress), "add");
        timer.stop(m.seconds[Add], m.peakKiB[Add]);
    }
    made << attach;
    {
        // Only the title changes: no engine should write the stored value again for that.
        PhaseTimer timer(db);
        Transaction tx(db);
        db.execute(QStringLiteral("UPDATE ATTACH SET Attach_Title = ? WHERE Attach_Number = ?"),
                   {QStringLiteral("Renamed"), attach});
        tx.commit();
        qint64 peak = 0;
        timer.stop(m.retitleSeconds, peak);
    }

    const QString saved = g_work->filePath(QStringLiteral("saved as.bin"));
    {
        PhaseTimer timer(db);
        accepted(attachments::saveAs(db, attach, saved, progress), "Save As");
        timer.stop(m.seconds[SaveAs], m.peakKiB[SaveAs]);
    }
    require(sameContent(g_source, saved), "the file saved differs from the source");
    QFile::remove(saved);

    attachments::ViewerCopy copy;
    {
        PhaseTimer timer(db);
        copy = accepted(attachments::exportForViewer(db, attach, progress), "viewer export");
        timer.stop(m.seconds[ViewerExport], m.peakKiB[ViewerExport]);
    }
    require(sameContent(g_source, copy.path), "the viewer copy differs from the source");

    require(changeFile(copy.path), "cannot change the viewer copy");
    {
        PhaseTimer timer(db);
        require(attachments::changedSinceExport(copy), "the changed copy looks unchanged");
        timer.stop(m.seconds[ChangedCheck], m.peakKiB[ChangedCheck]);
    }
    {
        PhaseTimer timer(db);
        accepted(attachments::saveBack(db, copy, {}, progress), "save-back");
        timer.stop(m.seconds[SaveBack], m.peakKiB[SaveBack]);
    }
    require(storedEquals(db, attach, copy.path), "the stored value differs from the saved copy");

    const qlonglong child = savedTask(session, QStringLiteral("Child"));
    qlonglong copied = 0;
    {
        PhaseTimer timer(db);
        copied = accepted(attachments::copyToTask(db, placeOf(child), attach, QStringLiteral("ann"),
                                                  naive(QDateTime::currentDateTimeUtc())),
                          "copy to task");
        timer.stop(m.seconds[CopyToTask], m.peakKiB[CopyToTask]);
    }
    made << copied;
    require(storedEquals(db, copied, copy.path), "the copy differs from its source");

    cSCR task(session, g_prompt);
    require(task.Create() != 0, "Create failed");
    task.setSCR_Title(QStringLiteral("Routed with a file"));
    const qlonglong own = accepted(
        attachments::addFromFile(db, placeOf(task.SCR_Number()), fileFrom(g_source), progress),
        "add before the save");
    made << own;
    task.UsersCol() = {{QStringLiteral("bob"), kWorkshop, OwnerType::User},
                       {QStringLiteral("cy"), kWorkshop, OwnerType::User},
                       {QStringLiteral("dee"), kWorkshop, OwnerType::User}};
    {
        PhaseTimer timer(db);
        require(task.SAVE(), "the save to three recipients failed");
        timer.stop(m.seconds[TaskSave], m.peakKiB[TaskSave]);
    }
    const RecordSet clones =
        db.query(QStringLiteral("SELECT Attach_Number FROM ATTACH WHERE Attach_Number > ? AND "
                                "Attach_Title = ? ORDER BY Attach_Number"),
                 {own, QStringLiteral("O'Brien's drawings")});
    for (const QVariantList& row : clones.rows())
        made << row.first().toLongLong();
    require(clones.rowCount() == 2, "the save did not clone the file to two tasks");
    require(storedEquals(db, clones.rows().last().first().toLongLong(), g_source),
            "a clone's file differs from the source");

    {
        PhaseTimer timer(db);
        accepted(attachments::deleteAttachment(db, g_prompt, parent, attach, true), "delete");
        timer.stop(m.seconds[Delete], m.peakKiB[Delete]);
    }
    require(db.query(QStringLiteral("SELECT 1 FROM ATTACH WHERE Attach_Number = ?"), {attach})
                .isEmpty(),
            "the deleted row is still there");
}

/** Removes what a run stored, so that the next run starts from the same database. */
void cleanUp(Database& db, const QList<qlonglong>& made)
{
    Transaction tx(db);
    for (const qlonglong number : made)
        db.execute(QStringLiteral("DELETE FROM ATTACH WHERE Attach_Number = ?"), {number});
    tx.commit();
    attachments::removeViewerCopies();
}

std::string phaseCounter(const PhaseInfo& phase, const char* what)
{
    return std::string(phase.name) + "_" + what;
}

void report(benchmark::State& state, const char* engine, qint64 size, const Measured& m)
{
    const double mb = double(size) / double(kMiB);
    const double writeRate = mb / m.writeSeconds;
    const double readRate = mb / m.readSeconds;
    state.counters["writeBlob_MBps"] = writeRate;
    state.counters["readBlob_MBps"] = readRate;
    std::fprintf(stderr, "\n%s, %lld MiB\n%-14s %9s %9s %7s %9s\n", engine, size / kMiB, "phase",
                 "MiB/s", "ref MiB/s", "ratio", "peak MiB");
    std::fprintf(stderr, "%-14s %9.1f %9s %7s %9.1f\n", "writeBlob", writeRate, "", "",
                 double(m.writePeakKiB) / 1024.0);
    std::fprintf(stderr, "%-14s %9.1f %9s %7s %9.1f\n", "readBlob", readRate, "", "",
                 double(m.readPeakKiB) / 1024.0);

    state.counters["retitle_ms"] = m.retitleSeconds * 1000.0;
    std::fprintf(stderr, "%-14s %9.1f ms\n", "retitle", m.retitleSeconds * 1000.0);

    std::vector<std::string> broken;
    for (qint64 peak : {m.writePeakKiB, m.readPeakKiB}) {
        if (peak < 0 || peak > kPeakLimitKiB)
            broken.push_back("a plain writeBlob or readBlob peaked above 64 MiB");
    }
    for (int p = 0; p < PhaseCount; ++p) {
        const PhaseInfo& phase = kPhases[size_t(p)];
        const double rate = mb * phase.copies / m.seconds[size_t(p)];
        const double reference = phase.reference == Reference::Write ? writeRate : readRate;
        const double ratio = rate / reference;
        const qint64 peak = m.peakKiB[size_t(p)];
        state.counters[phaseCounter(phase, "MBps")] = rate;
        state.counters[phaseCounter(phase, "vs_ref")] = ratio;
        state.counters[phaseCounter(phase, "peak_MB")] = double(peak) / 1024.0;
        std::fprintf(stderr, "%-14s %9.1f %9.1f %7.2f %9.1f\n", phase.name, rate, reference, ratio,
                     double(peak) / 1024.0);
        if (peak < 0 || peak > kPeakLimitKiB)
            broken.push_back(std::string(phase.name) + ": peak resident memory " +
                             std::to_string(peak / 1024) + " MiB, above 64 MiB");
        if (ratio < kFloorRatio)
            broken.push_back(std::string(phase.name) + ": " + std::to_string(ratio) +
                             " of the plain " +
                             (phase.reference == Reference::Write ? "writeBlob" : "readBlob") +
                             ", below one half");
    }
    for (const std::string& line : broken)
        std::fprintf(stderr, "*** %s: %s\n", engine, line.c_str());
    if (!broken.empty())
        g_floorBroken = true;
}

void attachmentLife(benchmark::State& state, Engine engine, const char* name)
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
    session.user.userId = QStringLiteral("ann");
    session.currentWorkshopId = int(kWorkshop);
    const qint64 size = valueBytes();
    // The windows always pass a progress callback (it drives a progress bar); so does this.
    qint64 reported = 0;
    const BlobProgress progress = [&reported](qint64 done, qint64) { reported = done; };

    for (auto _ : state) {
        Measured m;
        QList<qlonglong> made;
        try {
            runPhases(session, size, progress, m, made);
            cleanUp(session.db(), made);
        } catch (const PhaseFailed& e) {
            state.SkipWithError(e.message.c_str());
            g_floorBroken = true;
            break;
        } catch (const DbError& e) {
            state.SkipWithError(e.what());
            g_floorBroken = true;
            break;
        }
        double total = 0;
        for (const double s : m.seconds)
            total += s;
        state.SetIterationTime(total);
        report(state, name, size, m);
    }
}

/** The workshop and the people the tasks are routed to. */
void addPeople(Database& db)
{
    db.execute(QStringLiteral("INSERT INTO LU_GROUP (Group_ID, Group_Name) VALUES (?, ?)"),
               {kWorkshop, QStringLiteral("Bench")});
    for (const char* user : {"ann", "bob", "cy", "dee"})
        db.execute(QStringLiteral("INSERT INTO LU_USER (User_ID) VALUES (?)"),
                   {QString::fromLatin1(user)});
}

void registerRun(Engine engine, const char* name)
{
    const std::string full = std::string("Attachments/") + name;
    benchmark::RegisterBenchmark(full.c_str(), attachmentLife, engine, name)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QCoreApplication app(argc, argv);

    g_work = bx::bench::scratchDir();
    if (!g_work)
        return 1;
    // Viewer copies go below the per-user data folder: keep them in the scratch folder.
    qputenv("BRINDLEPAX_DATA", g_work->filePath(QStringLiteral("data")).toLocal8Bit());
    g_source = g_work->filePath(QStringLiteral("drawings.bin"));
    const qint64 size = valueBytes();
    std::fprintf(stderr, "writing a %lld MiB source file in %s\n", size / kMiB,
                 qPrintable(g_work->path()));
    if (!writeSourceFile(g_source, size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(g_source));
        return 1;
    }
    if (!bx::bench::makeProgramDatabases(*g_work, QStringLiteral("attach.mdb"), g_prompt, g_clock,
                                         g_sqlitePath, g_server, addPeople)) {
        g_server.reset();
        return 1;
    }
    registerRun(Engine::Sqlite, "sqlite");
    if (g_server)
        registerRun(Engine::Postgres, "postgres");

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server.reset();
    g_work.reset();

    if (!g_peakResets)
        std::fprintf(stderr, "the peak could not be restarted: per-phase peaks are cumulative\n");
    if (g_floorBroken) {
        std::fprintf(stderr, "FAILED: a phase broke a floor (64 MiB peak, half the plain rate)\n");
        return 1;
    }
    return 0;
}
