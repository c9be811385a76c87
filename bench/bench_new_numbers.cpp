// New numbers drawn per second on each engine, from one connection and from two connections at
// once (two threads, each with a connection of its own; items_per_second is the total of both).
//
//   NewNumber/sqlite_insertNumbered     Database::insertNumbered on the embedded engine: the
//   table's
//                                       counter column assigns the number; each call commits.
//   NewNumber/postgres_insertNumbered   the same on the server engine: a number drawn from
//                                       LU_SERIALS, then the row inserted with it.
//   NewNumber/postgres_drawSerial       PgDatabase::drawSerial alone.
//
// Every call runs in autocommit, as the program makes new records, so the embedded engine's rate
// is bound by the disk's sync rate and the server's by round trips.

#include "core/db/PgDatabase.h"
#include "core/db/SqliteDatabase.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

namespace {

using namespace bx;

/** The cluster named by BX_TEST_PG ("host=.. port=.. user=.. password=.. dbname=.."). */
std::optional<PgConnectParams> testCluster()
{
    const QString env = qEnvironmentVariable("BX_TEST_PG");
    if (env.isEmpty())
        return std::nullopt;
    PgConnectParams p;
    p.database = QStringLiteral("postgres");
    for (const QString& part : env.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString key = part.section(QLatin1Char('='), 0, 0);
        const QString value = part.section(QLatin1Char('='), 1);
        if (key == QLatin1String("host"))
            p.host = value;
        else if (key == QLatin1String("port"))
            p.port = value.toInt();
        else if (key == QLatin1String("user"))
            p.user = value;
        else if (key == QLatin1String("password"))
            p.password = value;
        else if (key == QLatin1String("dbname"))
            p.database = value;
    }
    return p;
}

/** A throwaway database on the test cluster, dropped again by the destructor. */
class ServerDatabase
{
public:
    explicit ServerDatabase(const PgConnectParams& cluster)
        : m_cluster(cluster)
    {
        // The name is made of numbers only; CREATE DATABASE takes no bound values.
        m_name = QStringLiteral("bxbench_%1_%2")
                     .arg(QCoreApplication::applicationPid())
                     .arg(QRandomGenerator::global()->bounded(1000000));
        PgDatabase::connect(m_cluster)->executeScript(QStringLiteral("CREATE DATABASE ") + m_name);
    }
    ~ServerDatabase()
    {
        try {
            PgDatabase::connect(m_cluster)->executeScript(
                QStringLiteral("DROP DATABASE IF EXISTS ") + m_name +
                QStringLiteral(" WITH (FORCE)"));
        } catch (const DbError& e) {
            std::fprintf(stderr, "could not drop the benchmark database %s: %s\n",
                         qPrintable(m_name), e.what());
        }
    }
    ServerDatabase(const ServerDatabase&) = delete;
    ServerDatabase& operator=(const ServerDatabase&) = delete;

    PgConnectParams params() const
    {
        PgConnectParams p = m_cluster;
        p.database = m_name;
        return p;
    }

private:
    PgConnectParams m_cluster;
    QString m_name;
};

QString g_sqlitePath;
std::unique_ptr<ServerDatabase> g_server;

std::unique_ptr<Database> connectTo(Engine engine)
{
    if (engine == Engine::Sqlite)
        return SqliteDatabase::open(g_sqlitePath);
    return PgDatabase::connect(g_server->params());
}

/**
 * Runs `draw` once per iteration on a connection of this thread's own. A failure ends the run
 * through SkipWithError; the KeepRunning() loop still meets the other thread at the end barrier.
 */
void drawLoop(benchmark::State& state, Engine engine,
              const std::function<qlonglong(Database&)>& draw)
{
    std::unique_ptr<Database> db;
    try {
        db = connectTo(engine);
    } catch (const DbError& e) {
        state.SkipWithError(e.what());
    }
    qlonglong last = 0;
    while (state.KeepRunning()) {
        try {
            const qlonglong n = draw(*db);
            if (n <= 0 || n == last) {
                state.SkipWithError("a draw returned no new number");
                continue;
            }
            last = n;
        } catch (const DbError& e) {
            state.SkipWithError(e.what());
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void insertNumbered(benchmark::State& state, Engine engine)
{
    drawLoop(state, engine, [](Database& db) {
        return db.insertNumbered(QStringLiteral("NUMBERED"), QStringLiteral("Num"),
                                 {QStringLiteral("Payload")}, {1});
    });
}

void drawSerial(benchmark::State& state)
{
    drawLoop(state, Engine::Postgres,
             [](Database& db) { return static_cast<PgDatabase&>(db).drawSerial(); });
}

void configure(benchmark::internal::Benchmark* b)
{
    // Waiting on the database costs no CPU, so only wall-clock time tells the rate.
    b->Threads(1)->Threads(2)->UseRealTime()->MinTime(2.0)->Unit(benchmark::kMicrosecond);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QCoreApplication app(argc, argv);

    const QString base = qEnvironmentVariable("BX_BENCH_DIR", QStringLiteral("/var/tmp"));
    QTemporaryDir dir(base + QStringLiteral("/bxbench-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot create a folder under %s\n", qPrintable(base));
        return 1;
    }
    try {
        g_sqlitePath = dir.filePath(QStringLiteral("numbers.db"));
        SqliteDatabase::open(g_sqlitePath, SqliteDatabase::OpenMode::Create)
            ->executeScript(QStringLiteral("CREATE TABLE NUMBERED (Num INTEGER PRIMARY KEY "
                                           "AUTOINCREMENT, Payload INTEGER)"));
        configure(benchmark::RegisterBenchmark("NewNumber/sqlite_insertNumbered", insertNumbered,
                                               Engine::Sqlite));

        if (const std::optional<PgConnectParams> cluster = testCluster()) {
            g_server = std::make_unique<ServerDatabase>(*cluster);
            PgDatabase::connect(g_server->params())
                ->executeScript(QStringLiteral(
                    "CREATE TABLE LU_SERIALS (Ser integer GENERATED BY DEFAULT AS IDENTITY "
                    "PRIMARY KEY, i integer); "
                    "CREATE TABLE NUMBERED (Num integer PRIMARY KEY, Payload integer)"));
            configure(benchmark::RegisterBenchmark("NewNumber/postgres_insertNumbered",
                                                   insertNumbered, Engine::Postgres));
            configure(benchmark::RegisterBenchmark("NewNumber/postgres_drawSerial", drawSerial));
        } else {
            std::fprintf(stderr, "server engine skipped: BX_TEST_PG is not set\n");
        }
    } catch (const DbError& e) {
        std::fprintf(stderr, "cannot prepare the databases: %s\n", e.what());
        g_server.reset();
        return 1;
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server.reset();
    return 0;
}
