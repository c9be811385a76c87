// The outbox's sender against the local test sink, on each engine: 500 e-mails queued in one
// transaction, then delivery passes as the sender's thread runs them until none is pending. Fails
// (exit 1) when a run leaves any e-mail unsent or takes longer than 30 s.

#include "BenchSupport.h"
#include "messaging/Outbox.h"
#include "messaging/OutboxSender.h"

#include <QElapsedTimer>

#include <benchmark/benchmark.h>

namespace {

using namespace bx;

constexpr int kMails = 500;
constexpr qint64 kLimitMs = 30000;

bench::BenchPrompt g_prompt;
const SystemClock g_clock;
QString g_sqlitePath;
std::unique_ptr<bench::ServerDatabase> g_server;
bool g_failed = false;

bool queueMails(Database& db, const QDateTime& now, int run)
{
    Transaction tx(db);
    for (int i = 0; i < kMails; ++i) {
        outbox::QueuedMail m;
        m.recipient = QStringLiteral("r%1.%2@example.org").arg(run).arg(i);
        m.senderName = QStringLiteral("Zoë Ørsted");
        m.senderAddress = QStringLiteral("zoe@example.org");
        m.subject = QStringLiteral("BX#%1 [Printer] stage changed to Review").arg(i);
        m.body = QStringLiteral("Title: Printer on the second floor\nStage: Review\n").repeated(8);
        if (!outbox::queue(db, m, QStringLiteral("ann"), now))
            return false;
    }
    tx.commit();
    return true;
}

void runDelivery(benchmark::State& state, Engine engine)
{
    static int run = 0;
    for (auto _ : state) {
        std::unique_ptr<Database> db = bench::connectTo(engine, g_sqlitePath, g_server.get());
        const QDateTime now = QDateTime::currentDateTimeUtc();
        if (!queueMails(*db, now, ++run)) {
            g_failed = true;
            state.SkipWithError("the e-mails could not be queued");
            return;
        }

        outbox::SenderContext ctx;
        ctx.userId = QStringLiteral("ann");
        ctx.shared.server = qEnvironmentVariable("BX_TEST_SMTP");
        QElapsedTimer timer;
        timer.start();
        int sent = 0;
        int failed = 0;
        while (timer.elapsed() < kLimitMs) {
            ctx.nowUtc = QDateTime::currentDateTimeUtc();
            const outbox::DeliveryReport report = outbox::deliverDue(*db, ctx);
            sent += report.sent;
            failed += report.failed;
            if (report.sent + report.failed == 0)
                break;
        }
        const qint64 ms = timer.elapsed();
        state.SetIterationTime(double(ms) / 1000.0);
        state.counters["sent"] = sent;
        state.counters["failed"] = failed;
        state.counters["mails_per_s"] = ms > 0 ? sent * 1000.0 / double(ms) : 0.0;
        if (sent != kMails || ms > kLimitMs) {
            g_failed = true;
            state.SkipWithError("not every e-mail reached the sink within 30 s");
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariable("BX_TEST_SMTP").isEmpty()) {
        std::fprintf(stderr, "BX_TEST_SMTP is not set: start scripts/smtp-test-server.sh\n");
        return 1;
    }

    const std::unique_ptr<QTemporaryDir> scratch = bx::bench::scratchDir();
    if (!scratch)
        return 1;
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("outbox.mdb"), g_prompt, g_clock,
                                         g_sqlitePath, g_server, [](Database&) {})) {
        g_server.reset();
        return 1;
    }
    benchmark::RegisterBenchmark("SmtpOutbox/sqlite/500", runDelivery, Engine::Sqlite)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    if (g_server)
        benchmark::RegisterBenchmark("SmtpOutbox/postgres/500", runDelivery, Engine::Postgres)
            ->UseManualTime()
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);

    try {
        benchmark::RunSpecifiedBenchmarks();
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        g_failed = true;
    }
    benchmark::Shutdown();
    g_server.reset();
    return g_failed ? 1 : 0;
}
