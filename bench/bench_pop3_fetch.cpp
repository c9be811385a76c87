// Fetches a full POP3 mailbox from the local test server into each engine with fetchMail, the
// operation the Messages page runs: 1,000 messages of about 5 KB and one of about 20 MB (a
// document attached, base64 as mailers send it), mail not left on the server, so every message is
// also deleted. The time is the whole fetch, from connecting to the last deletion. The program
// exits non-zero when a fetch stores anything but every message, takes 20 s or more, or when the
// process's peak resident memory during it reaches 100 MiB: messages go through temporary files,
// so memory must not follow their size.
//
// Needs the POP3 test server (scripts/pop3-test-server.sh): BX_TEST_POP3 and BX_TEST_POP3_DIR as
// for the tests.

#include "BenchSupport.h"
#include "messaging/MailFetch.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

using namespace bx;
using bx::bench::kMiB;

constexpr int kSmallMessages = 1000;
constexpr qint64 kLargeAttachment = 15 * kMiB; // about 20 MiB once base64
constexpr double kTimeLimitSeconds = 20;
constexpr qint64 kPeakLimitKiB = 100 * 1024;

bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;
std::unique_ptr<QTemporaryDir> g_work;
QString g_sqlitePath;
std::unique_ptr<bx::bench::ServerDatabase> g_server;
QString g_pop3;
QString g_pop3Dir;
bool g_floorBroken = false;

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A mailbox of its own on the test server, filled with the messages; its name, or empty.
QString fillMailbox(const char* engine)
{
    const QString name = QStringLiteral("bench%1%2")
                             .arg(QCoreApplication::applicationPid())
                             .arg(QLatin1String(engine));
    const QString dir = g_pop3Dir + QStringLiteral("/mail/") + name;
    for (const char* sub : {"", "/new", "/cur", "/tmp"}) {
        if (!QDir().mkpath(dir + QLatin1String(sub)) ||
            !QFile::setPermissions(dir + QLatin1String(sub), QFileDevice::Permissions(0x7777)))
            return {};
    }
    QByteArray text;
    for (int line = 0; text.size() < 5000; ++line)
        text += "Line " + QByteArray::number(line) +
                " of a message of ordinary length, in plain "
                "text as most mail still is.\r\n";
    // File names begin with the time the server numbers new messages by.
    for (int i = 0; i < kSmallMessages; ++i) {
        const QByteArray message = "From: Pat <pat@example.org>\r\nSubject: Message " +
                                   QByteArray::number(i) +
                                   "\r\nDate: Tue, 05 Mar 2024 10:00:00 +0000\r\n\r\n" + text;
        if (!writeFile(dir + QStringLiteral("/new/%1.m%2").arg(1700000000 + i).arg(i), message))
            return {};
    }

    QFile large(dir + QStringLiteral("/new/%1.large").arg(1700000000 + kSmallMessages));
    if (!large.open(QIODevice::WriteOnly))
        return {};
    large.write("From: Pat <pat@example.org>\r\nSubject: Drawings\r\n"
                "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                "--b\r\nContent-Type: text/plain\r\n\r\nThe drawings are attached.\r\n"
                "--b\r\nContent-Type: application/octet-stream; name=\"drawings.bin\"\r\n"
                "Content-Transfer-Encoding: base64\r\n\r\n");
    std::vector<quint64> piece(57 * 1024 / sizeof(quint64)); // 57 bytes make one 76-column line
    quint64 x = 0x9E3779B97F4A7C15ull;
    for (qint64 done = 0; done < kLargeAttachment; done += qint64(piece.size() * 8)) {
        bx::bench::fillRandom(piece, x);
        const QByteArray base64 =
            QByteArray(reinterpret_cast<const char*>(piece.data()), qsizetype(piece.size() * 8))
                .toBase64();
        for (qsizetype at = 0; at < base64.size(); at += 76)
            large.write(base64.mid(at, 76) + "\r\n");
    }
    large.write("--b--\r\n");
    return large.error() == QFile::NoError ? name : QString();
}

void fetchAll(benchmark::State& state, Engine engine, const char* name)
{
    const QString mailbox = fillMailbox(name);
    if (mailbox.isEmpty()) {
        state.SkipWithError("cannot fill the mailbox");
        g_floorBroken = true;
        return;
    }
    QFile password(g_pop3Dir + QStringLiteral("/password"));
    if (!password.open(QIODevice::ReadOnly)) {
        state.SkipWithError("cannot read the server's password");
        g_floorBroken = true;
        return;
    }
    FetchRequest request;
    request.userId = QStringLiteral("ann");
    request.popServer = g_pop3;
    request.popUser = mailbox;
    request.popPassword = QString::fromUtf8(password.readAll().trimmed());
    request.caFile = g_pop3Dir + QStringLiteral("/ca.pem");
    request.clock = &g_clock;

    std::unique_ptr<Database> db = bx::bench::connectTo(engine, g_sqlitePath, g_server.get());
    const std::atomic_bool stop{false};
    for (auto _ : state) {
        bx::bench::restartPeak();
        QElapsedTimer timer;
        timer.start();
        Outcome<int> stored;
        try {
            stored = fetchMail(*db, request, stop);
        } catch (const DbError& e) {
            state.SkipWithError(e.what());
            g_floorBroken = true;
            break;
        }
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        const qint64 peak = bx::bench::peakKiB();
        state.SetIterationTime(seconds);
        if (!stored) {
            state.SkipWithError(stored.refusal() ? qPrintable(stored.refusal()->message)
                                                 : "declined");
            g_floorBroken = true;
            break;
        }
        state.counters["stored"] = *stored;
        state.counters["messages_per_s"] = *stored / seconds;
        state.counters["peak_MiB"] = double(peak) / 1024;
        std::fprintf(stderr, "%s: %d messages in %.2f s, peak %.1f MiB\n", name, *stored, seconds,
                     double(peak) / 1024);
        if (*stored != kSmallMessages + 1 || seconds >= kTimeLimitSeconds ||
            peak >= kPeakLimitKiB) {
            std::fprintf(stderr,
                         "*** %s: broke a floor (all %d stored, under %.0f s, under %lld "
                         "MiB)\n",
                         name, kSmallMessages + 1, kTimeLimitSeconds, kPeakLimitKiB / 1024);
            g_floorBroken = true;
        }
    }
    QDir(g_pop3Dir + QStringLiteral("/mail/") + mailbox).removeRecursively();
}

void registerRun(Engine engine, const char* name)
{
    const std::string full = std::string("Pop3Fetch/") + name;
    benchmark::RegisterBenchmark(full.c_str(), fetchAll, engine, name)
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

    g_pop3 = qEnvironmentVariable("BX_TEST_POP3");
    g_pop3Dir = qEnvironmentVariable("BX_TEST_POP3_DIR");
    if (g_pop3.isEmpty() || g_pop3Dir.isEmpty()) {
        std::fprintf(stderr, "BX_TEST_POP3 and BX_TEST_POP3_DIR must name the POP3 test server "
                             "(scripts/pop3-test-server.sh)\n");
        return 1;
    }
    g_work = bx::bench::scratchDir();
    if (!g_work)
        return 1;
    if (!bx::bench::makeProgramDatabases(*g_work, QStringLiteral("mail.mdb"), g_prompt, g_clock,
                                         g_sqlitePath, g_server, [](Database&) {})) {
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

    if (g_floorBroken) {
        std::fprintf(stderr, "FAILED: a fetch broke a floor (everything stored, 20 s, 100 MiB)\n");
        return 1;
    }
    return 0;
}
