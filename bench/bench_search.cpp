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
#include "core/db/PgDatabase.h"
#include "core/db/SqliteDatabase.h"
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

constexpr int kTasks = 100000;
constexpr int kUsers = 20;
constexpr int kWorkshop = 900;
constexpr int kRowsPerInsert = 50;
const QString kWord = QStringLiteral("zanzibarite");
const QString kCustomWord = QStringLiteral("quokkaline");

QString g_sqlitePath;
QString g_dir;
std::unique_ptr<ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;

QString user(int i)
{
    return QStringLiteral("user%1").arg(i, 2, 10, QLatin1Char('0'));
}

std::unique_ptr<Database> connectTo(Engine engine)
{
    if (engine == Engine::Sqlite)
        return SqliteDatabase::open(g_sqlitePath);
    return PgDatabase::connect(g_server->params());
}

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

/** The workshop, its users and the tasks; the same rows on every engine. */
void fill(Database& db)
{
    dropSearchIndexes(db);
    Transaction tx(db);
    db.execute(QStringLiteral("INSERT INTO LU_GROUP (GROUP_ID, GROUP_NAME) VALUES (?, ?)"),
               {kWorkshop, QStringLiteral("Bench")});
    for (int u = 0; u < kUsers; ++u) {
        db.execute(QStringLiteral("INSERT INTO LU_USER (USER_ID, Disabled) VALUES (?, 0)"),
                   {user(u)});
        db.execute(QStringLiteral("INSERT INTO GROUPLINK (GROUP_ID, USER_ID) VALUES (?, ?)"),
                   {kWorkshop, user(u)});
    }
    const QStringList columns{
        QStringLiteral("SCR_Counter"),         QStringLiteral("SCR_Number"),
        QStringLiteral("SCR_Title"),           QStringLiteral("SCR_Status"),
        QStringLiteral("SCR_Owner_User_ID"),   QStringLiteral("SCR_Request_ID"),
        QStringLiteral("SCR_Group_ID"),        QStringLiteral("SCR_StartDate"),
        QStringLiteral("SCR_Comments_AsText"), QStringLiteral("SCR_Custom_Field"),
        QStringLiteral("Meeting_ID")};
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks << QStringLiteral("?");
    const QString row = QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');

    QRandomGenerator rng(77);
    const QStringList words = wordPool(rng);
    const QDateTime now = naive(QDateTime::currentDateTime());
    QVariantList params;
    int pending = 0;
    auto flush = [&] {
        if (pending == 0)
            return;
        QStringList rows;
        for (int i = 0; i < pending; ++i)
            rows << row;
        db.execute(QStringLiteral("INSERT INTO SCR (") + columns.join(QLatin1Char(',')) +
                       QStringLiteral(") VALUES ") + rows.join(QLatin1Char(',')),
                   params);
        params.clear();
        pending = 0;
    };
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
        params << n << n << title << QStringLiteral("A") << user(int(rng.bounded(kUsers)))
               << user(int(rng.bounded(kUsers))) << kWorkshop
               << now.addSecs(-qint64(rng.bounded(730 * 86400))) << description << custom << 0;
        if (++pending == kRowsPerInsert)
            flush();
    }
    flush();
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
        session.setDatabase(connectTo(engine));
    } catch (const DbError& e) {
        state.SkipWithError(e.what());
        return;
    }
    session.user.userId = user(0);
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
