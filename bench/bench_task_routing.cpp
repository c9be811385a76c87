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

#include "BenchSupport.h"
#include "core/Clock.h"
#include "core/ErrorLog.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/settings/SettingsStore.h"
#include "dbadmin/DatabaseCreator.h"
#include "tasks/cSCR.h"
#include "workflow/NoticeService.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

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
constexpr int kMembers = 20;

QString g_sqlitePath;
std::unique_ptr<ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;

/** The workshop, its people and the lifecycle every run uses. */
void addWorkflow(Database& db)
{
    db.execute(QStringLiteral("INSERT INTO LU_GROUP (Group_ID, Group_Name) VALUES (?, ?)"),
               {kWorkshop, QStringLiteral("Bench")});
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

void routeTasks(benchmark::State& state, Engine engine, Kind kind)
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
    session.system.smtpServer = QStringLiteral("smtp.bench.test");
    Database& db = session.db();
    NoticeService notices(session);
    if (kind == Kind::Notified)
        session.taskNotifier = &notices;
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

void registerAll(Engine engine, const char* name)
{
    const std::pair<Kind, const char*> kinds[] = {{Kind::OneRecipient, "one_recipient"},
                                                  {Kind::ThreeRecipients, "three_recipients"},
                                                  {Kind::Lifecycle, "lifecycle"},
                                                  {Kind::Notified, "one_recipient_notified"}};
    for (const auto& [kind, label] : kinds) {
        const std::string full = std::string("TaskRouting/") + name + "/" + label;
        benchmark::RegisterBenchmark(full.c_str(), routeTasks, engine, kind)
            ->Iterations(tasksPerRun())
            ->UseRealTime()
            ->Unit(benchmark::kMicrosecond);
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
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("tasks.mdb"), g_prompt, g_clock,
                                         g_sqlitePath, g_server, addWorkflow)) {
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
