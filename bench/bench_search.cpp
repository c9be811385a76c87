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

void runSearch(benchmark::State& state, Engine engine, Run run)
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
    session.user.userId = ws::user(0);
    FindInput input;
    input.title = run.title;
    input.custom = run.custom;
    input.comments = run.comments;
    input.period.kind = SearchPeriodKind::AnyDate;
    const SearchOptions options = *checkFindInput(input, QDate::currentDate()).options;
    qlonglong hits = 0;
    for (auto _ : state) {
        SearchOptions o = options;
        const SearchResult result = runTaskSearch(session, o);
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

void registerAll(Engine engine, const char* name)
{
    const Run runs[] = {
        {"title_and_comments", QLatin1Char('*') + kWord + QLatin1Char('*'), {}, true, 50},
        {"title", QLatin1Char('*') + kWord + QLatin1Char('*'), {}, false, 25},
        {"custom", {}, kCustomWord, false, 40},
        {"short_pattern", QStringLiteral("*zq*"), {}, true, -1},
    };
    for (const Run& run : runs) {
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
    registerAll(Engine::Sqlite, "sqlite");
    if (g_server)
        registerAll(Engine::Postgres, "postgres");

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server.reset();
    return 0;
}
