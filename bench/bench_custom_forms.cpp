// A custom form of 500 fields on each engine, in a database of the program's current schema made
// the way the creation wizard makes it: a form of 125 labels, edits, drop-down lists and check
// boxes, and one task. Runs:
//
//   CustomForms/<engine>/build     readCopy of the definition (the rows the window is built from)
//   CustomForms/<engine>/save_new  a new copy saved with every value ("A")
//   CustomForms/<engine>/save_open that copy read and saved again ("O": locked, replaced)
//
// Each run reports the statements one save sends (counter "statements"). Floor: the build and
// each save under 300 ms.

#include "BenchSupport.h"
#include "core/Clock.h"
#include "tasks/CustomForms.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <memory>

namespace {

using namespace bx;
using bx::bench::ServerDatabase;

constexpr int kFields = 500;
const QString kForm = QStringLiteral("Bench form");

QString g_sqlitePath;
std::unique_ptr<ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;

void addForm(Database& db)
{
    Transaction tx(db);
    db.execute(QStringLiteral("INSERT INTO FORM (Form_Name) VALUES (?)"), {kForm});
    bx::bench::BatchInsert rows(
        db, QStringLiteral("CONTROL"),
        {QStringLiteral("FORM_NAME"), QStringLiteral("CONTROL_KEY"),
         QStringLiteral("ATTACH_NUMBER"), QStringLiteral("NAME"), QStringLiteral("TYPE"),
         QStringLiteral("VALUE"), QStringLiteral("MANDATORY"), QStringLiteral("\"left\""),
         QStringLiteral("TOP"), QStringLiteral("WIDTH"), QStringLiteral("HEIGHT"),
         QStringLiteral("\"table\""), QStringLiteral("FIELD")});
    const char* types[] = {"LABEL", "EDIT", "COMBO", "CHECK"};
    for (int i = 0; i < kFields; ++i)
        rows.add({kForm, i + 1, 0, QStringLiteral("Field %1").arg(i + 1),
                  QLatin1String(types[i % 4]), QStringLiteral("value %1").arg(i), 0, (i % 4) * 2000,
                  (i / 4) * 400, 1800, 300, QStringLiteral("SCR"), QStringLiteral("SCR_Title")});
    rows.flush();

    tx.commit();
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

QList<forms::FieldValue> valuesOf(const forms::FormCopy& copy)
{
    QList<forms::FieldValue> values;
    for (const forms::FormField& f : copy.fields)
        values << forms::FieldValue{f.key, f.value + QStringLiteral("!"), !f.checked};
    return values;
}

void build(benchmark::State& state, Engine engine)
{
    std::unique_ptr<Database> db = connect(state, engine);
    if (!db)
        return;
    for (auto _ : state) {
        const forms::FormCopy copy = forms::readCopy(*db, kForm, 0);
        if (copy.fields.size() != kFields) {
            state.SkipWithError("the form was not read whole");
            break;
        }
    }
}

void save(benchmark::State& state, Engine engine, forms::SaveMode mode)
{
    std::unique_ptr<Database> db = connect(state, engine);
    if (!db)
        return;
    const forms::FormCopy blank = forms::readCopy(*db, kForm, 0);
    // Copies of the file cabinet (task 0).
    const AttachmentPlace place{0, QStringLiteral("Bench folder"), 0};
    const QDateTime now = QDateTime::currentDateTimeUtc();
    forms::FormCopy copy = blank;
    if (mode == forms::SaveMode::Open) {
        const qlonglong number = *forms::saveCopy(*db, forms::SaveMode::Add, blank, valuesOf(blank),
                                                  place, QStringLiteral("bench"), now, false);
        copy = forms::readCopy(*db, kForm, number);
    }
    quint64 statements = 0;
    for (auto _ : state) {
        const quint64 before = db->statementCount();
        const Outcome<qlonglong, int> saved = forms::saveCopy(
            *db, mode, copy, valuesOf(copy), place, QStringLiteral("bench"), now, false);
        statements = db->statementCount() - before;
        if (!saved) {
            state.SkipWithError("the save was refused");
            break;
        }
        state.PauseTiming();
        if (mode == forms::SaveMode::Open)
            copy.version = forms::readCopy(*db, kForm, copy.attachNumber).version;
        state.ResumeTiming();
    }
    state.counters["statements"] = double(statements);
}

void registerAll(Engine engine, const char* name)
{
    const std::string prefix = std::string("CustomForms/") + name + "/";
    benchmark::RegisterBenchmark((prefix + "build").c_str(), build, engine)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((prefix + "save_new").c_str(), save, engine, forms::SaveMode::Add)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((prefix + "save_open").c_str(), save, engine,
                                 forms::SaveMode::Open)
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
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("forms.mdb"), g_prompt, g_clock,
                                         g_sqlitePath, g_server, addForm)) {
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
