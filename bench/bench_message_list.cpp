// The Messages page over a large mailbox, on each engine: reading the inbox into the page, and
// what the poll's message check costs the user-interface thread when nothing arrived.
//
// MAIL holds 300,000 rows with bodies of about 2 KB, in workshop 900 of bench::workshop's people:
// 100,000 received by user00 (one in twenty unread, one in ten in one of his twenty mail folders),
// 20,000 sent copies of user00, and the rest in the boxes of user01..user19.
//
// Runs:
//
//   MessageList/<engine>/refresh   MessagesPage::RefreshMessageList() of user00's inbox on a shown
//                                  page, three times. Counters: rows (messages listed),
//                                  peak_MiB (VmHWM after the run, restarted before it) and
//                                  peak_rise_MiB (the peak above the resident set at its start).
//   MessageList/<engine>/tick_idle the poll's tick with CheckMessages = 1 second, twenty times
//                                  (manual time: the tick's time on the user-interface thread).
//                                  worker_ms: the probe on the poll's connection and the hand-over;
//                                  refreshes: ticks that asked for the list (0 expected).
//
// The program ends with status 1 when a run is above its floor: refresh 1 s embedded and 1.5 s on
// the server, a peak of 150 MiB, a tick of 20 ms on the user-interface thread.

#include "BenchSupport.h"
#include "core/Clock.h"
#include "core/Session.h"
#include "core/settings/SettingsStore.h"
#include "mainwindow/Poller.h"
#include "messaging/Mailbox.h"
#include "messaging/ui/MailTreeModel.h"
#include "messaging/ui/MessagesPage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

namespace {

using namespace bx;
namespace ws = bx::bench::workshop;

constexpr int kRows = 300000;
constexpr int kInbox = 100000;
constexpr int kFolders = 20;
constexpr int kFirstFolder = 5000;

QString g_sqlitePath;
std::unique_ptr<bx::bench::ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;
bool g_overFloor = false;

void overFloor(const char* what, double value, double floor)
{
    if (value <= floor)
        return;
    std::fprintf(stderr, "%s: %.1f is above %.1f\n", what, value, floor);
    g_overFloor = true;
}

void fill(Database& db)
{
    Transaction tx(db);
    ws::addPeople(db);
    for (int f = 0; f < kFolders; ++f) {
        db.execute(
            QStringLiteral("INSERT INTO FOLDER (Folder_Counter, Folder_Owner_ID, "
                           "Folder_Name, Parent_Folder_Counter, Folder_Type, Group_ID) "
                           "VALUES (?, ?, ?, 0, 1, ?)"),
            {kFirstFolder + f, ws::user(0), QStringLiteral("Folder %1").arg(f), ws::kWorkshop});
    }
    bench::BatchInsert mail(
        db, QStringLiteral("MAIL"),
        {QStringLiteral("Mail_Number"), QStringLiteral("Title"), QStringLiteral("Body"),
         QStringLiteral("Owner_User_ID"), QStringLiteral("Sender"), QStringLiteral("Date"),
         QStringLiteral("Viewed"), QStringLiteral("Sent"), QStringLiteral("SentDate"),
         QStringLiteral("MAIL_Folder_Number"), QStringLiteral("SourceID"), QStringLiteral("POPID"),
         QStringLiteral("group_id")},
        20);
    QRandomGenerator rng(80);
    const QString words = QStringLiteral(
        "The printer on the second floor is out of toner again; O'Brien's order is late. ");
    QString body;
    while (body.size() < 2048)
        body += words;
    const QDateTime start = naive(QDateTime::currentDateTime()).addDays(-400);
    for (int n = 1; n <= kRows; ++n) {
        const bool inbox = n % 3 == 0;
        const bool sent = !inbox && n % 10 == 1;
        const QString owner = inbox || sent ? ws::user(0) : ws::user(1 + n % (ws::kUsers - 1));
        const QString sender = inbox ? ws::user(1 + n % (ws::kUsers - 1)) : ws::user(0);
        const QDateTime date = start.addSecs(qint64(n) * 100);
        const int roll = int(rng.bounded(100));
        mail.add({n, QStringLiteral("Message %1 about the printer").arg(n),
                  body.left(1900 + int(rng.bounded(300))), owner, sender, date, roll >= 5, sent,
                  sent ? QVariant(date) : QVariant(),
                  inbox && roll >= 90 ? kFirstFolder + roll % kFolders : 0, 0, QString(),
                  ws::kWorkshop});
    }
    mail.flush();
    tx.commit();
    db.executeScript(QStringLiteral("ANALYZE"));
}

std::unique_ptr<Database> connect(Engine engine)
{
    return bench::connectTo(engine, g_sqlitePath, g_server.get());
}

void runRefresh(benchmark::State& state, Engine engine)
{
    QTemporaryDir settingsDir;
    SettingsStore settings(settingsDir.filePath(QStringLiteral("MRBX.conf")));
    Session session(settings, g_clock);
    session.setDatabase(connect(engine));
    session.user.userId = ws::user(0);
    session.currentWorkshopId = ws::kWorkshop;
    MessagesPage page(session, g_prompt);
    page.resize(1200, 700);
    page.show();
    QApplication::processEvents();

    bench::restartPeak();
    const qint64 startKiB = bench::statusKiB("VmRSS:");
    double slowest = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        page.RefreshMessageList();
        slowest = std::max(slowest, double(t.nsecsElapsed()) / 1e9);
    }
    QApplication::processEvents();
    const double peakMiB = double(bench::peakKiB()) / 1024;
    state.counters["rows"] = double(page.model()->list().rows.size());
    state.counters["peak_MiB"] = peakMiB;
    state.counters["peak_rise_MiB"] = peakMiB - double(startKiB) / 1024;
    if (page.model()->list().rows.size() != kInbox)
        state.SkipWithError("the inbox does not hold the rows written");
    overFloor(engine == Engine::Sqlite ? "refresh embedded (s)" : "refresh server (s)", slowest,
              engine == Engine::Sqlite ? 1.0 : 1.5);
    overFloor("peak (MiB)", peakMiB, 150);
}

/** A clock the benchmark moves on by hand. */
class StepClock final : public Clock
{
public:
    QDateTime nowLocal() const override { return m_now; }
    int standardOffsetSeconds() const override { return 0; }
    int currentOffsetSeconds() const override { return 0; }
    void advance(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now = naive(QDateTime::currentDateTime());
};

void runTick(benchmark::State& state, Engine engine)
{
    StepClock clock;
    const Engine e = engine;
    Poller poller(clock, std::make_unique<DatabasePollBackend>(
                             [e] { return std::unique_ptr<Database>(connect(e)); }));
    poller.setUserId(ws::user(0));
    poller.setIntervals({0, 1});
    poller.setMessageProbe([] {
        return
            [](Database& db) { return Mailbox::probe(db, ws::user(0), ws::kWorkshop).toVariant(); };
    });
    {
        const std::unique_ptr<Database> db = connect(engine);
        poller.messagesSeen(Mailbox::probe(*db, ws::user(0), ws::kWorkshop).toVariant());
    }
    int refreshes = 0;
    QObject::connect(&poller, &Poller::refreshMessages, [&] { ++refreshes; });
    poller.start(0);

    qint64 workerNs = 0;
    double slowest = 0;
    for (auto _ : state) {
        clock.advance(1);
        QEventLoop loop;
        const auto done =
            QObject::connect(&poller, &Poller::tickFinished, &loop, &QEventLoop::quit);
        QElapsedTimer wall;
        wall.start();
        poller.tick();
        if (poller.busy())
            loop.exec();
        workerNs += wall.nsecsElapsed();
        QObject::disconnect(done);
        const double ui = double(poller.lastTickUiNanoseconds()) / 1e9;
        slowest = std::max(slowest, ui);
        state.SetIterationTime(ui);
    }
    state.counters["worker_ms"] =
        benchmark::Counter(double(workerNs) / 1e6, benchmark::Counter::kAvgIterations);
    state.counters["refreshes"] = refreshes;
    overFloor("idle tick on the user-interface thread (ms)", slowest * 1000, 20);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const std::unique_ptr<QTemporaryDir> scratch = bx::bench::scratchDir();
    if (!scratch)
        return 1;
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("mail.mdb"), g_prompt, g_clock,
                                         g_sqlitePath, g_server, fill)) {
        g_server.reset();
        return 1;
    }
    const auto add = [](const char* name, Engine engine, bool tick) {
        auto* b = benchmark::RegisterBenchmark(name, tick ? runTick : runRefresh, engine);
        b->Unit(benchmark::kMillisecond);
        if (tick)
            b->UseManualTime()->Iterations(20);
        else
            b->Iterations(3);
    };
    add("MessageList/sqlite/refresh", Engine::Sqlite, false);
    add("MessageList/sqlite/tick_idle", Engine::Sqlite, true);
    if (g_server) {
        add("MessageList/postgres/refresh", Engine::Postgres, false);
        add("MessageList/postgres/tick_idle", Engine::Postgres, true);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server.reset();
    return g_overFloor ? 1 : 0;
}
