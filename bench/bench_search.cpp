// The task search over a large workshop, on each engine, in a database of the program's current
// schema made the way the creation wizard makes it.
//
// The workshop holds 100,000 tasks among 20 users, each with a description (SCR_Comments_AsText)
// of about 1 KB of random words. The word "zanzibarite" is in the titles of 25 tasks and in the
// descriptions of 25 others; "quokkaline" is in the custom field of 40 tasks. The search indexes
// (upgrade step 77) are made again after the rows are in, as an upgrade of a large database makes
// them; the time that takes is printed. Runs:
//
//   Search/<engine>/title_and_comments   "*zanzibarite*" in titles and descriptions (50 tasks)
//   Search/<engine>/title                "*zanzibarite*" in titles only (25 tasks)
//   Search/<engine>/custom               "quokkaline" anywhere in the custom field (40 tasks)
//   Search/<engine>/short_pattern        "*zq*" in titles and descriptions: too short for the
//                                        trigram indexes, answered by scanning
//
// Before any timing the program prints each run's statement and the engine's plan for it
// (EXPLAIN QUERY PLAN on the embedded engine, EXPLAIN on the server).
//
// Counter: hits (the tasks found).

#include "BenchSupport.h"
#include "core/Clock.h"
#include "core/Session.h"
#include "core/settings/SettingsStore.h"
#include "dbadmin/StepActions.h"
#include "dbadmin/UpgradeLog.h"
#include "dbadmin/UpgradeSteps.h"
#include "mainwindow/TaskSearch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

namespace {

using namespace bx;
using bx::bench::ServerDatabase;
namespace ws = bx::bench::workshop;

constexpr int kTasks = 100000;
const QString kWord = QStringLiteral("zanzibarite");
const QString kCustomWord = QStringLiteral("quokkaline");

QString g_sqlitePath;
QString g_dir;
std::unique_ptr<ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;

/** Words of random letters, so that the descriptions hold trigrams of every kind. */
QStringList wordPool(QRandomGenerator& rng)
{
    QStringList words;
    for (int i = 0; i < 5000; ++i) {
        QString w;
        const int length = 3 + int(rng.bounded(8));
        for (int c = 0; c < length; ++c)
            w += QLatin1Char(char('a' + rng.bounded(26)));
        words << w;
    }
    return words;
}

void dropSearchIndexes(Database& db)
{
    if (db.engine() == Engine::Postgres) {
        for (const char* c : {"SCR_Title", "SCR_Comments_AsText", "SCR_Custom_Field"})
            db.executeScript(
                QStringLiteral("DROP INDEX IF EXISTS IX_%1_Trgm").arg(QString::fromLatin1(c)));
        return;
    }
    db.executeScript(QStringLiteral("DROP TRIGGER IF EXISTS SCR_SEARCH_Insert; "
                                    "DROP TRIGGER IF EXISTS SCR_SEARCH_Update; "
                                    "DROP TRIGGER IF EXISTS SCR_SEARCH_Delete; "
                                    "DROP TABLE IF EXISTS SCR_SEARCH"));
}

void makeSearchIndexes(Database& db)
{
    UpgradeLog log(g_dir + QStringLiteral("/UpgradeLog.txt"));
    const UpgradeContext context{g_dir, &g_clock};
    const StepDefinition step = upgradeSteps77().first();
    StepActions actions(db, log, context, step.policy);
    QElapsedTimer timer;
    timer.start();
    Transaction tx(db);
    step.body(actions);
    tx.commit();
    std::fprintf(stderr, "%s: search indexes made over %d tasks in %.1f s\n",
                 db.engine() == Engine::Sqlite ? "sqlite" : "postgres", kTasks,
                 double(timer.elapsed()) / 1000.0);
}

/** The workshop and users of bench::workshop, and the tasks; the same rows on every engine. */
void fill(Database& db)
{
    dropSearchIndexes(db);
    Transaction tx(db);
    ws::addPeople(db);
    const QStringList columns{
        QStringLiteral("SCR_Counter"),         QStringLiteral("SCR_Number"),
        QStringLiteral("SCR_Title"),           QStringLiteral("SCR_Status"),
        QStringLiteral("SCR_Owner_User_ID"),   QStringLiteral("SCR_Request_ID"),
        QStringLiteral("SCR_Group_ID"),        QStringLiteral("SCR_StartDate"),
        QStringLiteral("SCR_Comments_AsText"), QStringLiteral("SCR_Custom_Field"),
        QStringLiteral("Meeting_ID")};
    bx::bench::BatchInsert tasks(db, QStringLiteral("SCR"), columns);

    QRandomGenerator rng(77);
    const QStringList words = wordPool(rng);
    const QDateTime now = naive(QDateTime::currentDateTime());
    for (int n = 1; n <= kTasks; ++n) {
        QString description;
        while (description.size() < 1000)
            description += words.at(int(rng.bounded(words.size()))) + QLatin1Char(' ');
        QString title = QStringLiteral("Task %1 ").arg(n) + words.at(n % words.size());
        // One task in 2000 carries the word: half of them in the title, half in the description.
        if (n % 4000 == 0)
            title += QLatin1Char(' ') + kWord;
        else if (n % 4000 == 2000)
            description.insert(500, kWord + QLatin1Char(' '));
        const QString custom = n % 2500 == 7 ? QStringLiteral("K-") + kCustomWord
                                             : words.at(int(rng.bounded(words.size())));
        // The values of a braced list are worked out from left to right, so the draws keep order.
        tasks.add({n, n, title, QStringLiteral("A"), ws::user(int(rng.bounded(ws::kUsers))),
                   ws::user(int(rng.bounded(ws::kUsers))), ws::kWorkshop,
                   now.addSecs(-qint64(rng.bounded(730 * 86400))), description, custom, 0});
    }
    tasks.flush();
    tx.commit();
    makeSearchIndexes(db);
    db.executeScript(QStringLiteral("ANALYZE"));
}

struct Run
{
    const char* label;
    QString title;
    QString custom;
    bool comments;
    int expected;
};

/** A session on one of the databases, signed in as the first user of the workshop. */
struct SearchSession
{
    explicit SearchSession(Engine e)
        : engine(e)
    {
    }

    /** Connects; false (and the reason on stderr, or in `error`) when that fails. */
    bool open(QString* error = nullptr)
    {
        try {
            session.setDatabase(bx::bench::connectTo(engine, g_sqlitePath, g_server.get()));
        } catch (const DbError& e) {
            if (error)
                *error = e.text();
            else
                std::fprintf(stderr, "cannot connect: %s\n", e.what());
            return false;
        }
        session.user.userId = ws::user(0);
        return true;
    }

    /** The search options of a run, as the Find dialog confirms them. */
    static SearchOptions options(const Run& run)
    {
        FindInput input;
        input.title = run.title;
        input.custom = run.custom;
        input.comments = run.comments;
        input.period.kind = SearchPeriodKind::AnyDate;
        return *checkFindInput(input, QDate::currentDate()).options;
    }

    Engine engine;
    QTemporaryDir settingsDir;
    SettingsStore settings{settingsDir.filePath(QStringLiteral("MRBX.conf"))};
    Session session{settings, g_clock};
};

void runSearch(benchmark::State& state, Engine engine, Run run)
{
    SearchSession bs(engine);
    QString error;
    if (!bs.open(&error)) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    const SearchOptions options = SearchSession::options(run);
    qlonglong hits = 0;
    for (auto _ : state) {
        SearchOptions o = options;
        const SearchResult result = runTaskSearch(bs.session, o);
        if (result.error) {
            state.SkipWithError(qPrintable(result.error->text()));
            break;
        }
        hits = result.hits.size();
    }
    if (run.expected >= 0 && hits != run.expected)
        state.SkipWithError("unexpected number of hits");
    state.counters["hits"] = double(hits);
}

const QList<Run>& runs()
{
    static const QList<Run> all{
        {"title_and_comments", QLatin1Char('*') + kWord + QLatin1Char('*'), {}, true, 50},
        {"title", QLatin1Char('*') + kWord + QLatin1Char('*'), {}, false, 25},
        {"custom", {}, kCustomWord, false, 40},
        {"short_pattern", QStringLiteral("*zq*"), {}, true, -1},
    };
    return all;
}

/** Prints the statement of each run and the engine's plan for it, once, before any timing. */
void explainAll(Engine engine, const char* name)
{
    SearchSession bs(engine);
    if (!bs.open())
        return;
    const QString prefix = engine == Engine::Sqlite ? QStringLiteral("EXPLAIN QUERY PLAN ")
                                                    : QStringLiteral("EXPLAIN ");
    for (const Run& run : runs()) {
        const TaskCriteria statement = taskSearchStatement(bs.session, SearchSession::options(run));
        try {
            const RecordSet plan = bs.session.db().query(prefix + statement.sql, statement.params);
            std::printf("-- %s/%s: %s\n", name, run.label, qPrintable(statement.sql));
            // SQLite: id, parent, notused, detail (indented by its depth in the tree);
            // PostgreSQL: one line of text, already indented.
            QHash<qlonglong, int> depth;
            for (const QVariantList& row : plan.rows()) {
                int indent = 0;
                if (row.size() == 4) {
                    indent = depth.value(row.at(1).toLongLong(), -1) + 1;
                    depth.insert(row.at(0).toLongLong(), indent);
                }
                std::printf("   %*s%s\n", 2 * indent, "", qPrintable(row.constLast().toString()));
            }
        } catch (const DbError& e) {
            std::fprintf(stderr, "cannot explain %s/%s: %s\n", name, run.label, e.what());
        }
    }
    std::fflush(stdout);
}

void registerAll(Engine engine, const char* name)
{
    for (const Run& run : runs()) {
        const std::string full = std::string("Search/") + name + "/" + run.label;
        benchmark::RegisterBenchmark(full.c_str(), runSearch, engine, run)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
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
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("search.mdb"), g_prompt, g_clock,
                                         g_sqlitePath, g_server, fill)) {
        g_server.reset();
        return 1;
    }
    explainAll(Engine::Sqlite, "sqlite");
    registerAll(Engine::Sqlite, "sqlite");
    if (g_server) {
        explainAll(Engine::Postgres, "postgres");
        registerAll(Engine::Postgres, "postgres");
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server.reset();
    return 0;
}
