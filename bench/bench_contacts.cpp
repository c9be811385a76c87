// The shared address list at 100,000 contacts, on each engine, in a database of the program's
// current schema made the way the creation wizard makes it.
//
// CONTACT holds 100,000 rows: last names of two syllables out of 20 x 10 (a fifth of them with an
// "s" more), first names out of 20, companies out of 500; the rows depend only on a fixed seed.
// Runs:
//
//   Contacts/<engine>/prefix_m     the contact list (ContactsCtrl, shown) filled for the typed
//                                  prefix "m": search, model and the view's layout of it
//   Contacts/<engine>/prefix_mort  the same for "Mort"
//   Contacts/<engine>/all          the same for an empty search box: every contact (no floor)
//   Contacts/<engine>/column_spread  the task list's "Contact Name" column named for 100,000
//                                  task rows whose keys spread over every contact
//   Contacts/<engine>/column_few   the same for rows that name 200 contacts among them
//
// Counter: rows (the list's rows, or the rows named). The program ends with status 1 when a
// prefix fills the list in more than 200 ms, or the column takes more than 200 ms for 200
// contacts or 1 s for 100,000 (a refresh of the 100,000-task team view takes about 0.6 s).

#include "BenchSupport.h"
#include "contacts/Contacts.h"
#include "contacts/ui/ContactsCtrl.h"
#include "core/Clock.h"
#include "core/Session.h"
#include "core/schema/TaskColumns.h"
#include "core/settings/SettingsStore.h"
#include "mainwindow/TaskViews.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <QTreeView>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

namespace {

using namespace bx;

constexpr int kContacts = 100000;
constexpr int kTaskRows = 100000;
constexpr int kFewContacts = 200;

QString g_sqlitePath;
std::unique_ptr<bx::bench::ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;
bool g_overFloor = false;
QList<qlonglong> g_keys;

void overFloor(const std::string& what, double ms, double floor)
{
    if (ms <= floor)
        return;
    std::fprintf(stderr, "%s: %.1f ms is above %.1f ms\n", what.c_str(), ms, floor);
    g_overFloor = true;
}

void fill(Database& db)
{
    static const char* const firstSyllables[] = {"Mor", "Sal", "Ber", "Kan", "Lin", "Dov", "Har",
                                                 "Pel", "Ros", "Tam", "Vel", "Gar", "Nor", "Bal",
                                                 "Cor", "Fen", "Hol", "Jas", "Mar", "Ost"};
    static const char* const secondSyllables[] = {"ton", "ley", "son", "berg",  "man",
                                                  "ard", "ell", "ick", "worth", "ing"};
    static const char* const firstNames[] = {"Ann",   "Bob", "Carl", "Dora", "Eve",  "Finn", "Gus",
                                             "Hanna", "Ida", "Jo",   "Kai",  "Lea",  "Max",  "Nina",
                                             "Otto",  "Pia", "Rosa", "Sam",  "Tove", "Ulf"};
    QRandomGenerator rng(62);
    // Key 1 in a task marks a task kept for a contact: the contacts start above it.
    const qlonglong first =
        db.scalar(QStringLiteral("SELECT COALESCE(MAX(CONTACT_KEY), 1) FROM CONTACT"))
            .toLongLong() +
        1;
    Transaction tx(db);
    bx::bench::BatchInsert contacts(db, QStringLiteral("CONTACT"),
                                    {QStringLiteral("CONTACT_KEY"), QStringLiteral("Last_Name"),
                                     QStringLiteral("First_Name"), QStringLiteral("Company_Name"),
                                     QStringLiteral("Email"), QStringLiteral("City")});
    QList<qlonglong> keys;
    for (int i = 0; i < kContacts; ++i) {
        const qlonglong key = first + i;
        QString last = QString::fromLatin1(firstSyllables[rng.bounded(20)]) +
                       QString::fromLatin1(secondSyllables[rng.bounded(10)]);
        if (rng.bounded(5) == 0)
            last += QLatin1Char('s');
        const QString firstName = QString::fromLatin1(firstNames[rng.bounded(20)]);
        contacts.add({key, last, firstName,
                      QStringLiteral("Company %1").arg(rng.bounded(500), 3, 10, QLatin1Char('0')),
                      firstName.toLower() + QStringLiteral(".%1@example.org").arg(key),
                      QStringLiteral("Oslo")});
        keys << key;
    }
    contacts.flush();
    tx.commit();
    db.executeScript(QStringLiteral("ANALYZE"));
    g_keys = keys;
}

std::unique_ptr<Database> connect(benchmark::State& state, Engine engine)
{
    try {
        return bx::bench::connectTo(engine, g_sqlitePath, g_server.get());
    } catch (const DbError& e) {
        state.SkipWithError(e.what());
        return nullptr;
    }
}

void fillList(benchmark::State& state, const std::string& run, Engine engine, const QString& prefix,
              double floorMs)
{
    QTemporaryDir settingsDir;
    SettingsStore settings(settingsDir.filePath(QStringLiteral("MRBX.conf")));
    Session session(settings, g_clock);
    std::unique_ptr<Database> db = connect(state, engine);
    if (!db)
        return;
    session.setDatabase(std::move(db));
    ContactsCtrl list(session, g_prompt);
    list.resize(800, 600);
    list.show();
    QApplication::processEvents();
    auto* search = list.findChild<QLineEdit*>(QStringLiteral("txtSearch"));
    const QAbstractItemModel* rows =
        list.findChild<QTreeView*>(QStringLiteral("lvContacts"))->model();
    {
        // The typed text, without the search its signal starts: each run fills the list itself.
        const QSignalBlocker quiet(search);
        search->setText(prefix);
    }
    double slowest = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        list.RefreshContactList();
        QApplication::processEvents();
        slowest = std::max(slowest, double(t.nsecsElapsed()) / 1e6);
    }
    state.counters["rows"] = rows->rowCount();
    if (rows->rowCount() == 0)
        state.SkipWithError("the search found nothing");
    if (floorMs > 0)
        overFloor(run, slowest, floorMs);
}

void nameColumn(benchmark::State& state, const std::string& run, Engine engine, int contactsNamed,
                double floorMs)
{
    std::unique_ptr<Database> db = connect(state, engine);
    if (!db)
        return;
    // The rows as the task list holds them; only the key matters here.
    const QStringList names{scr::Number, scr::ContactKey};
    QList<QVariantList> read;
    QRandomGenerator rng(7);
    for (int n = 0; n < kTaskRows; ++n)
        read << QVariantList{
            n + 1, g_keys.at(int(rng.bounded(contactsNamed)) * (g_keys.size() / contactsNamed))};
    double slowest = 0;
    qsizetype named = 0;
    for (auto _ : state) {
        QList<QVariantList> rows = read;
        QElapsedTimer t;
        t.start();
        try {
            nameTaskContacts(*db, names, rows);
        } catch (const DbError& e) {
            state.SkipWithError(e.what());
            break;
        }
        slowest = std::max(slowest, double(t.nsecsElapsed()) / 1e6);
        named = std::count_if(rows.cbegin(), rows.cend(),
                              [](const QVariantList& row) { return !row.at(1).isNull(); });
    }
    state.counters["rows"] = double(named);
    if (named != kTaskRows)
        state.SkipWithError("not every row was named");
    overFloor(run, slowest, floorMs);
}

void registerAll(Engine engine, const char* engineName)
{
    struct Run
    {
        const char* label;
        QString prefix;    ///< the typed search, for the list runs
        double floorMs;    ///< 0: none
        int contactsNamed; ///< 0 for the list runs
        int iterations;
    };
    const Run runs[] = {{"prefix_m", QStringLiteral("m"), 200, 0, 10},
                        {"prefix_mort", QStringLiteral("Mort"), 200, 0, 10},
                        {"all", QString(), 0, 0, 3},
                        {"column_spread", QString(), 1000, kContacts, 5},
                        {"column_few", QString(), 200, kFewContacts, 5}};
    for (const Run& r : runs) {
        const std::string name = std::string("Contacts/") + engineName + "/" + r.label;
        benchmark::RegisterBenchmark(name.c_str(),
                                     [name, engine, r](benchmark::State& state) {
                                         if (r.contactsNamed > 0)
                                             nameColumn(state, name, engine, r.contactsNamed,
                                                        r.floorMs);
                                         else
                                             fillList(state, name, engine, r.prefix, r.floorMs);
                                     })
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(r.iterations);
    }
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
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("contacts.mdb"), g_prompt,
                                         g_clock, g_sqlitePath, g_server, fill)) {
        g_server.reset();
        return 1;
    }
    registerAll(Engine::Sqlite, "sqlite");
    if (g_server)
        registerAll(Engine::Postgres, "postgres");

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server.reset();
    return g_overFloor ? 1 : 0;
}
