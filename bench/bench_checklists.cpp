// Checklists over a large workshop, on each engine, in a database of the program's current schema
// made the way the creation wizard makes it.
//
// The workshop of the task-view benchmarks (100,000 tasks among 20 users) plus 20,000 checklists
// of ten items ("Item 0" .. "Item 9"; the even ones mandatory), each attached to its own task;
// items 0 to 4 of every attachment are ticked, 5 to 9 are not. user00 signs item 9 of 2,000
// checklists attached to active tasks, so those 2,000 wait for him; he signs item 0 (ticked) of
// many others. Runs:
//
//   Checklists/<engine>/approval_view   user00's "Approval" view, filled through fillTaskList
//   Checklists/<engine>/mandatory_check uncheckedMandatoryItem of one task with a checklist
//   Checklists/<engine>/tick            user00 ticks item 9 of one of his checklists (its untick,
//                                       which puts the row back, is not timed)
//
// Floors: the view under 0.5 s, the check under 5 ms, a tick under 100 ms.

#include "BenchSupport.h"
#include "core/Clock.h"
#include "core/Session.h"
#include "core/settings/SettingsStore.h"
#include "mainwindow/TaskViews.h"
#include "workflow/ChecklistTicks.h"
#include "workflow/Checklists.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <memory>

namespace {

using namespace bx;
using bx::bench::ServerDatabase;
namespace ws = bx::bench::workshop;

constexpr int kChecklists = 20000;
constexpr int kItems = 10;
constexpr int kWaiting = 2000;

QString g_sqlitePath;
std::unique_ptr<ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;

QString itemName(int k)
{
    return QStringLiteral("Item %1").arg(k);
}

/** The tasks that carry a checklist, by checklist, and user00's waiting attachments. */
struct Layout
{
    QList<qlonglong> tasks;
    QList<qlonglong> waitingAttachments;
};
Layout g_layout;

/** The checklists, their attachments and ticks, in one transaction; then ANALYZE. */
void addChecklists(Database& db)
{
    ws::fill(db);
    Transaction tx(db);
    // Task n's status as the workshop wrote it: the waiting checklists go on active tasks.
    QList<qlonglong> active;
    QList<qlonglong> other;
    RecordSet rows = db.query(QStringLiteral("SELECT SCR_Number, SCR_Status FROM SCR ORDER BY "
                                             "SCR_Number"));
    for (rows.moveFirst(); !rows.eof(); rows.moveNext())
        (rows.text(QStringLiteral("SCR_Status")) == QStringLiteral("A") ? active : other)
            << rows.number(QStringLiteral("SCR_Number"));
    QRandomGenerator rng(29);
    bx::bench::BatchInsert lists(db, QStringLiteral("CHECKLIST"),
                                 {QStringLiteral("Checklist_Name"),
                                  QStringLiteral("Checklist_Description"),
                                  QStringLiteral("group_id")});
    bx::bench::BatchInsert items(db, QStringLiteral("CHECKLIST_ITEM"),
                                 {QStringLiteral("Checklist_Name"), QStringLiteral("Action_Name"),
                                  QStringLiteral("Mandatory"), QStringLiteral("Sign_User_ID"),
                                  QStringLiteral("Attach_Number"), QStringLiteral("User_ID"),
                                  QStringLiteral("ItemType")});
    bx::bench::BatchInsert attach(db, QStringLiteral("ATTACH"),
                                  {QStringLiteral("Attach_Number"), QStringLiteral("SCR_Number"),
                                   QStringLiteral("Attach_Type"), QStringLiteral("Attach_Filename"),
                                   QStringLiteral("Attach_Title"), QStringLiteral("Attach_Owner"),
                                   QStringLiteral("Group_ID")});
    const qlonglong firstAttach =
        db.scalar(QStringLiteral("SELECT COALESCE(MAX(Attach_Number), 0) FROM ATTACH"))
            .toLongLong() +
        1;
    qsizetype nextActive = 0;
    qsizetype nextOther = 0;
    for (int i = 0; i < kChecklists; ++i) {
        const QString name = QStringLiteral("Checklist %1").arg(i, 5, 10, QLatin1Char('0'));
        const bool waiting = i < kWaiting;
        // Spread over the workshop: the waiting ones on active tasks, the rest on any.
        const qlonglong task = waiting || (i % 2 == 0 && nextActive < active.size())
                                   ? active.at(nextActive++)
                                   : other.at(nextOther++);
        const qlonglong number = firstAttach + i;
        lists.add({name, QStringLiteral("Bench checklist"), ws::kWorkshop});
        attach.add({number, task, QStringLiteral("K"), name, QStringLiteral("Checklist: ") + name,
                    ws::user(1), ws::kWorkshop});
        for (int k = 0; k < kItems; ++k) {
            QString signer = ws::user(1 + int(rng.bounded(ws::kUsers - 1)));
            if (k == 0 && rng.bounded(2) == 0)
                signer = ws::user(0);
            if (k == kItems - 1 && waiting)
                signer = ws::user(0);
            items.add({name, itemName(k), db.dialect().flag(k % 2 == 0), signer, 0, QVariant(), 0});
            if (k < kItems / 2)
                items.add({name, itemName(k), 0, QVariant(), number, signer, 0});
        }
        g_layout.tasks << task;
        if (waiting)
            g_layout.waitingAttachments << number;
    }
    lists.flush();
    attach.flush();
    items.flush();
    tx.commit();
    db.executeScript(QStringLiteral("ANALYZE"));
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

void approvalView(benchmark::State& state, Engine engine)
{
    QTemporaryDir settingsDir;
    SettingsStore settings(settingsDir.filePath(QStringLiteral("MRBX.conf")));
    Session session(settings, g_clock);
    std::unique_ptr<Database> db = connect(state, engine);
    if (!db)
        return;
    session.setDatabase(std::move(db));
    session.user.userId = ws::user(0);
    session.currentWorkshopId = ws::kWorkshop;
    session.system.queryWait = 3600;
    int rows = 0;
    for (auto _ : state) {
        try {
            rows =
                fillTaskList(session, approvalGridQuery(session), [](const RecordSet& set, int r) {
                    benchmark::DoNotOptimize(set.value(r, QStringLiteral("SCR_Number")));
                }).inserted;
        } catch (const DbError& e) {
            state.SkipWithError(e.what());
            break;
        }
    }
    state.counters["rows"] = rows;
}

void mandatoryCheck(benchmark::State& state, Engine engine)
{
    std::unique_ptr<Database> db = connect(state, engine);
    if (!db)
        return;
    qsizetype i = 0;
    for (auto _ : state) {
        try {
            benchmark::DoNotOptimize(
                uncheckedMandatoryItem(*db, g_layout.tasks.at(i++ % g_layout.tasks.size())));
        } catch (const DbError& e) {
            state.SkipWithError(e.what());
            break;
        }
    }
}

void tick(benchmark::State& state, Engine engine)
{
    std::unique_ptr<Database> db = connect(state, engine);
    if (!db)
        return;
    const QString me = ws::user(0);
    const QString item = itemName(kItems - 1);
    qsizetype i = 0;
    for (auto _ : state) {
        const qlonglong attach =
            g_layout.waitingAttachments.at(i++ % g_layout.waitingAttachments.size());
        try {
            if (!tickChecklistItem(*db, me, attach, item)) {
                state.SkipWithError("the tick was refused");
                break;
            }
            state.PauseTiming();
            untickChecklistItem(*db, me, attach, item);
            state.ResumeTiming();
        } catch (const DbError& e) {
            state.SkipWithError(e.what());
            break;
        }
    }
}

void registerAll(Engine engine, const char* name)
{
    const std::string prefix = std::string("Checklists/") + name + "/";
    const std::pair<const char*, void (*)(benchmark::State&, Engine)> runs[] = {
        {"approval_view", approvalView}, {"mandatory_check", mandatoryCheck}, {"tick", tick}};
    for (const auto& [label, run] : runs)
        benchmark::RegisterBenchmark((prefix + label).c_str(), run, engine)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
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
    // Both databases get the same rows; the layout is kept from the first.
    bool first = true;
    const auto prepare = [&](Database& db) {
        const Layout kept = g_layout;
        g_layout = {};
        addChecklists(db);
        if (!first)
            g_layout = kept;
        first = false;
    };
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("checklists.mdb"), g_prompt,
                                         g_clock, g_sqlitePath, g_server, prepare)) {
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
