// Tasks created and routed per second through the task object, on each engine, in a database of
// the program's current schema made the way the creation wizard makes it.
//
//   TaskRouting/<engine>/one_recipient     Create, title, one recipient, SAVE: the row, the
//                                          default assignment and the "Create Request" history.
//   TaskRouting/<engine>/three_recipients  the same with three recipients: the task and two clones
//                                          (items are tasks written, three per save).
//   TaskRouting/<engine>/lifecycle         a task routed into a three-stage lifecycle and accepted
//                                          at every stage until it is complete (five saves).
//   TaskRouting/<engine>/one_recipient_notified
//                                          one_recipient with the notice service on: the new
//                                          owner, the requester and 10 of the workshop's 20
//                                          members asked for notices (12 e-mails and one
//                                          internal message per task).
//
// Each runs 10,000 iterations. The counter statements_per_save is the number of statements the
// database layer ran for one save (transaction control not counted); with notices on,
// statements_per_event counts them per notified event and mails_per_event the outbox rows.
//
// With the test mail servers (BX_TEST_SMTP, BX_TEST_SMTP_SILENT):
//
//   TaskRouting/<engine>/notified_<server>/round:<n>
//                                          one_recipient_notified with the outbox's sender running
//                                          on its thread during the run, the mail server being
//                                          the sink, a closed port (down) or the silent server;
//                                          the three interleaved, BX_BENCH_ROUNDS rounds (3).
//                                          Afterwards the medians are compared: the program exits
//                                          1 when down or silent routes more than 10% slower than
//                                          the sink.
//   NoticeDelivery/<engine>/1000           1,000 notices queued by routing 500 dated tasks, then
//                                          the sender started: the time until the sink has
//                                          accepted all of them; exits 1 beyond 60 s.

#include "BenchSupport.h"
#include "core/Clock.h"
#include "core/ErrorLog.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/SecondConnection.h"
#include "core/schema/TaskColumns.h"
#include "core/settings/SettingsStore.h"
#include "dbadmin/DatabaseCreator.h"
#include "messaging/OutboxSender.h"
#include "tasks/cSCR.h"
#include "workflow/NoticeService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <sched.h>
#include <thread>
#include <vector>

namespace {

using namespace bx;
using bx::bench::ServerDatabase;

/** Tasks per run: BX_BENCH_TASKS, else 10,000. */
int tasksPerRun()
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("BX_BENCH_TASKS", &ok);
    return ok && n > 0 ? n : 10000;
}
constexpr qlonglong kWorkshop = 900;
/** A workshop nobody follows: a task routed there notifies its owner and its requester only. */
constexpr qlonglong kQuietWorkshop = 901;
constexpr int kMembers = 20;
constexpr int kDeliveredNotices = 1000;
constexpr qint64 kDeliveryLimitMs = 60000;
/**
 * Down or silent may route this much slower than the sink (medians). Faster is no fault: with the
 * sink up the sender delivers on the same processors while the tasks are routed.
 */
constexpr double kServerTolerance = 0.10;

QString g_sqlitePath;
std::unique_ptr<ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;
QString g_errorLogPath;
bool g_failed = false;

/** Where the notices of a run go while the outbox's sender runs. */
enum class MailServer
{
    None, ///< a name only: no sender runs
    Sink,
    Down,
    Silent
};
constexpr std::pair<MailServer, const char*> kServers[] = {
    {MailServer::Sink, "sink"}, {MailServer::Down, "down"}, {MailServer::Silent, "silent"}};

QString serverAddress(MailServer server)
{
    switch (server) {
    case MailServer::None:
        return QStringLiteral("smtp.bench.test");
    case MailServer::Sink:
        return qEnvironmentVariable("BX_TEST_SMTP");
    case MailServer::Down:
        return QStringLiteral("127.0.0.1:1"); // nothing listens there
    case MailServer::Silent:
        return qEnvironmentVariable("BX_TEST_SMTP_SILENT");
    }
    return {};
}

/**
 * Threads that spin at the lowest priority (SCHED_IDLE) on every processor while it lives, taking
 * only time nobody else wants. In a virtual machine a processor with nothing to do halts, and
 * waking it costs each round trip to the database server dearly; a run in which the sender and the
 * sink keep the processors busy would then route faster than one in which they idle. Spinning
 * in all three runs alike compares them on equal terms. BX_BENCH_KEEP_AWAKE=0 turns it off.
 */
class KeepAwake
{
public:
    KeepAwake()
    {
        if (qEnvironmentVariable("BX_BENCH_KEEP_AWAKE") == QLatin1String("0"))
            return;
        const unsigned n = std::max(1U, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < n; ++i) {
            m_threads.emplace_back([this] {
                sched_param none{};
                sched_setscheduler(0, SCHED_IDLE, &none); // this thread only, on Linux
                while (!m_stop.load(std::memory_order_relaxed)) {
                }
            });
        }
    }
    ~KeepAwake()
    {
        m_stop = true;
        for (std::thread& t : m_threads)
            t.join();
    }
    KeepAwake(const KeepAwake&) = delete;
    KeepAwake& operator=(const KeepAwake&) = delete;

private:
    std::atomic_bool m_stop{false};
    std::vector<std::thread> m_threads;
};

/** Tasks per second of each notified run with the sender on, by engine and server. */
std::map<std::pair<Engine, MailServer>, std::vector<double>> g_rates;

int rounds()
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("BX_BENCH_ROUNDS", &ok);
    return ok && n > 0 ? n : 3;
}

/** The outbox's sender of "ann", as the main window runs it, and the server it sends through. */
std::unique_ptr<outbox::OutboxSender> startSender(Database& db, MailServer server)
{
    db.execute(QStringLiteral("UPDATE SYSTEM SET SMTPServer = ?"), {serverAddress(server)});
    SmtpSettings own;
    own.server = serverAddress(server);
    auto sender = std::make_unique<outbox::OutboxSender>(
        secondConnectionTo(db), QStringLiteral("ann"), own, ErrorLog(g_errorLogPath, g_clock));
    sender->start();
    return sender;
}

/** The workshop, its people and the lifecycle every run uses. */
void addWorkflow(Database& db)
{
    db.execute(QStringLiteral("INSERT INTO LU_GROUP (Group_ID, Group_Name) VALUES (?, ?)"),
               {kWorkshop, QStringLiteral("Bench")});
    db.execute(QStringLiteral("INSERT INTO LU_GROUP (Group_ID, Group_Name) VALUES (?, ?)"),
               {kQuietWorkshop, QStringLiteral("Quiet")});
    for (const char* user : {"ann", "bob", "cy", "dee"})
        db.execute(QStringLiteral("INSERT INTO LU_USER (User_ID) VALUES (?)"),
                   {QString::fromLatin1(user)});
    // Notices: bob hears of the tasks he is given, ann of what becomes of her requests, and half
    // of the workshop's members of their team's new tasks.
    db.execute(QStringLiteral("UPDATE LU_USER SET User_Email = User_ID || '@bench.test'"));
    db.execute(QStringLiteral("UPDATE LU_USER SET Ext5 = ? WHERE User_ID = 'bob'"), {true});
    db.execute(QStringLiteral("UPDATE LU_USER SET Ext4 = ? WHERE User_ID = 'ann'"), {true});
    for (int i = 0; i < kMembers; ++i) {
        const QString id = QStringLiteral("member%1").arg(i);
        db.execute(QStringLiteral("INSERT INTO LU_USER (User_ID, User_Email, Disabled, "
                                  "Parent_User_Notify) VALUES (?, ?, ?, ?)"),
                   {id, id + QStringLiteral("@bench.test"), false, i % 2 == 0});
        db.execute(QStringLiteral("INSERT INTO GROUPLINK (GROUP_ID, USER_ID) VALUES (?, ?)"),
                   {kWorkshop, id});
    }
    const char* stages[][3] = {{"Draft", "0", "bob"}, {"Review", "1", ""}, {"Sign", "2", ""}};
    for (int i = 0; i < 3; ++i)
        db.execute(QStringLiteral("INSERT INTO LIFECYCLE_USER (Lifecycle_ID, LC_Stage_Name, "
                                  "LC_Sequence_Number, UserType, User_ID, group_ID, "
                                  "owner_group_ID, Owner_ID) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                   {QStringLiteral("Release"), QString::fromLatin1(stages[i][0]), i,
                    QString::fromLatin1(stages[i][1]).toInt(), QString::fromLatin1(stages[i][2]),
                    kWorkshop, kWorkshop, QStringLiteral("ann")});
}

enum class Kind
{
    OneRecipient,
    ThreeRecipients,
    Lifecycle,
    Notified
};

void routeTasks(benchmark::State& state, Engine engine, Kind kind, MailServer server)
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
    session.user.record.userId = session.user.userId;
    session.user.record.email = QStringLiteral("ann@bench.test");
    session.currentWorkshopId = int(kWorkshop);
    session.system.smtpServer = serverAddress(server);
    Database& db = session.db();
    NoticeService notices(session);
    if (kind == Kind::Notified)
        session.taskNotifier = &notices;
    std::unique_ptr<outbox::OutboxSender> sender;
    std::optional<KeepAwake> awake;
    if (server != MailServer::None) {
        awake.emplace();
        // Each run starts from an empty outbox: what an earlier run left is no work of this one.
        db.execute(QStringLiteral("DELETE FROM MAIL_OUTBOX"));
        sender = startSender(db, server);
    }
    const auto rows = [&db](const char* table) {
        return db.scalar(QStringLiteral("SELECT COUNT(*) FROM ") + QLatin1String(table))
            .toLongLong();
    };
    const qlonglong mailsBefore = rows("MAIL_OUTBOX");
    const qlonglong eventsBefore = rows("MAIL");

    const QList<cSelUser> one{{QStringLiteral("bob"), kWorkshop, OwnerType::User}};
    const QList<cSelUser> three{{QStringLiteral("bob"), kWorkshop, OwnerType::User},
                                {QStringLiteral("cy"), kWorkshop, OwnerType::User},
                                {QStringLiteral("dee"), kWorkshop, OwnerType::User}};
    const QList<cSelUser> lifecycle{{QStringLiteral("Release"), kWorkshop, OwnerType::Lifecycle}};
    quint64 saves = 0;
    quint64 statements = 0;
    qlonglong tasks = 0;
    QElapsedTimer timer;
    timer.start();
    for (auto _ : state) {
        cSCR task(session, g_prompt);
        if (task.Create() == 0) {
            state.SkipWithError("Create failed");
            break;
        }
        task.setSCR_Title(QStringLiteral("Bench task"));
        bool ok = true;
        const quint64 before = db.statementCount();
        switch (kind) {
        case Kind::OneRecipient:
        case Kind::Notified:
            task.UsersCol() = one;
            ok = task.SAVE();
            saves += 1;
            tasks += 1;
            break;
        case Kind::ThreeRecipients:
            task.UsersCol() = three;
            ok = task.SAVE();
            saves += 1;
            tasks += 3;
            break;
        case Kind::Lifecycle:
            ok = task.Route_SCR(lifecycle, QString());
            for (int stage = 0; ok && stage < 3; ++stage)
                ok = task.CloseOut(QStringLiteral("YES"), 0, QString());
            ok = ok && task.SCR_Status() == QStringLiteral("C");
            saves += 4;
            tasks += 1;
            break;
        }
        statements += db.statementCount() - before;
        if (!ok) {
            state.SkipWithError("a save failed");
            break;
        }
    }
    const qint64 elapsedMs = timer.elapsed();
    if (sender) {
        sender->stop();
        state.counters["sent_meanwhile"] =
            double(db.scalar(QStringLiteral("SELECT COUNT(*) FROM MAIL_OUTBOX WHERE State = 'S'"))
                       .toLongLong());
        if (tasks > 0 && elapsedMs > 0)
            g_rates[{engine, server}].push_back(double(tasks) * 1000.0 / double(elapsedMs));
    }
    state.SetItemsProcessed(tasks);
    state.counters["statements_per_save"] = saves ? double(statements) / double(saves) : 0.0;
    if (kind == Kind::Notified) {
        // Every notified event leaves one internal message to the requester.
        const double events = double(rows("MAIL") - eventsBefore);
        state.counters["statements_per_event"] = events > 0 ? double(statements) / events : 0.0;
        state.counters["mails_per_event"] =
            events > 0 ? double(rows("MAIL_OUTBOX") - mailsBefore) / events : 0.0;
    }
}

/** Queues kDeliveredNotices notices by routing tasks, then times the sender delivering them. */
void deliverNotices(benchmark::State& state, Engine engine)
{
    QTemporaryDir settingsDir;
    SettingsStore settings(settingsDir.filePath(QStringLiteral("MRBX.conf")));
    Session session(settings, g_clock);
    for (auto _ : state) {
        try {
            session.setDatabase(bx::bench::connectTo(engine, g_sqlitePath, g_server.get()));
            session.user.userId = QStringLiteral("ann");
            session.user.record.userId = session.user.userId;
            session.user.record.email = QStringLiteral("ann@bench.test");
            session.currentWorkshopId = int(kQuietWorkshop);
            session.system.smtpServer = serverAddress(MailServer::Sink);
            Database& db = session.db();
            NoticeService notices(session);
            session.taskNotifier = &notices;
            db.execute(QStringLiteral("DELETE FROM MAIL_OUTBOX"));
            // bob hears of his new task, ann of where her request went: two notices a task.
            const QDateTime due = g_clock.nowLocal().addDays(7);
            while (db.scalar(QStringLiteral("SELECT COUNT(*) FROM MAIL_OUTBOX")).toLongLong() <
                   kDeliveredNotices) {
                cSCR task(session, g_prompt);
                task.Create();
                task.setSCR_Title(QStringLiteral("Delivered task"));
                task.setValue(scr::OwnerTargetDate, due);
                task.UsersCol() = {{QStringLiteral("bob"), kQuietWorkshop, OwnerType::User}};
                if (!task.SAVE()) {
                    state.SkipWithError("a save failed");
                    g_failed = true;
                    return;
                }
            }

            QElapsedTimer timer;
            timer.start();
            const auto sender = startSender(db, MailServer::Sink);
            qlonglong sent = 0;
            while (timer.elapsed() < kDeliveryLimitMs) {
                sent = db.scalar(QStringLiteral("SELECT COUNT(*) FROM MAIL_OUTBOX WHERE State = "
                                                "'S'"))
                           .toLongLong();
                if (sent >= kDeliveredNotices)
                    break;
                QCoreApplication::processEvents();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            const qint64 ms = timer.elapsed();
            sender->stop();
            state.SetIterationTime(double(ms) / 1000.0);
            state.counters["sent"] = double(sent);
            state.counters["mails_per_s"] = ms > 0 ? double(sent) * 1000.0 / double(ms) : 0.0;
            if (sent < kDeliveredNotices) {
                g_failed = true;
                state.SkipWithError("not every notice reached the sink within 60 s");
            }
        } catch (const DbError& e) {
            g_failed = true;
            state.SkipWithError(e.what());
        }
    }
}

void registerAll(Engine engine, const char* name)
{
    const std::pair<Kind, const char*> kinds[] = {{Kind::OneRecipient, "one_recipient"},
                                                  {Kind::ThreeRecipients, "three_recipients"},
                                                  {Kind::Lifecycle, "lifecycle"},
                                                  {Kind::Notified, "one_recipient_notified"}};
    for (const auto& [kind, label] : kinds) {
        const std::string full = std::string("TaskRouting/") + name + "/" + label;
        benchmark::RegisterBenchmark(full.c_str(), routeTasks, engine, kind, MailServer::None)
            ->Iterations(tasksPerRun())
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
    }
    if (qEnvironmentVariable("BX_TEST_SMTP").isEmpty() ||
        qEnvironmentVariable("BX_TEST_SMTP_SILENT").isEmpty())
        return;
    // Interleaved, so that the machine's other work falls on the three alike, and each round
    // starts with another one, so that none always follows the same.
    for (int round = 1; round <= rounds(); ++round) {
        for (int i = 0; i < 3; ++i) {
            const auto& [server, label] = kServers[(round - 1 + i) % 3];
            const std::string full = std::string("TaskRouting/") + name + "/notified_" + label +
                                     "/round:" + std::to_string(round);
            benchmark::RegisterBenchmark(full.c_str(), routeTasks, engine, Kind::Notified, server)
                ->Iterations(tasksPerRun())
                ->UseRealTime()
                ->Unit(benchmark::kMicrosecond);
        }
    }
    benchmark::RegisterBenchmark((std::string("NoticeDelivery/") + name + "/1000").c_str(),
                                 deliverNotices, engine)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

/** Prints the medians of the runs with the sender on; false when down or silent routed slower. */
bool compareServers()
{
    bool ok = true;
    for (const auto& [engine, name] :
         {std::pair(Engine::Sqlite, "sqlite"), std::pair(Engine::Postgres, "postgres")}) {
        const auto sink = g_rates.find({engine, MailServer::Sink});
        if (sink == g_rates.end())
            continue;
        const double reference = median(sink->second);
        std::printf("%s, sender running: sink %.0f tasks/s", name, reference);
        for (const auto& [server, label] : kServers) {
            const auto found = g_rates.find({engine, server});
            if (server == MailServer::Sink || found == g_rates.end())
                continue;
            const double rate = median(found->second);
            const double off = rate / reference - 1.0;
            std::printf(", %s %.0f tasks/s (%+.1f%%)", label, rate, off * 100.0);
            if (off < -kServerTolerance)
                ok = false;
        }
        std::printf(" (medians of %zu runs)\n", sink->second.size());
    }
    if (!ok)
        std::fprintf(stderr,
                     "routing with the mail server down or silent is more than %.0f%% slower "
                     "than with it up\n",
                     kServerTolerance * 100.0);
    return ok;
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
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("tasks.mdb"), g_prompt, g_clock,
                                         g_sqlitePath, g_server, addWorkflow)) {
        g_server.reset();
        return 1;
    }
    g_errorLogPath = scratch->filePath(QStringLiteral("QVErrorLog.txt"));
    registerAll(Engine::Sqlite, "sqlite");
    if (g_server)
        registerAll(Engine::Postgres, "postgres");
    if (qEnvironmentVariable("BX_TEST_SMTP").isEmpty())
        std::fprintf(stderr, "runs with the mail servers skipped: BX_TEST_SMTP is not set\n");

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server.reset();
    if (!compareServers())
        g_failed = true;
    return g_failed ? 1 : 0;
}
