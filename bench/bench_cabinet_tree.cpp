// Turning the rows of the file cabinet's document tree into its item model (CabinetTree::build),
// the part of a refresh that runs on the window's thread once the rows are read in the background.
//
// The rows are made in memory as documentTreeQuery returns them: 20,000 current documents in 50
// folders (ordered by category, file name and date), one folder in ten without category. The
// folder paths come from a table held in memory, as the page looks each folder up once.
//
// Runs:
//   CabinetTree/admin    every folder visible
//   CabinetTree/granted  a user granted 25 of the folders: half the documents are left out
//
// Counters: documents (placed), folders (folder nodes).
#include "mainwindow/CabinetTree.h"

#include <QHash>

#include <benchmark/benchmark.h>

using namespace bx;

namespace {

constexpr int kDocuments = 20000;
constexpr int kFolders = 50;

QString folder(int i)
{
    return i % 10 == 9 ? QString() : QStringLiteral("Folder %1").arg(i, 2, 10, QLatin1Char('0'));
}

ReadRows documentRows()
{
    ReadRows read;
    read.names = {QStringLiteral("Attach_Number"),  QStringLiteral("Attach_Type"),
                  QStringLiteral("Attach_Title"),   QStringLiteral("Attach_Date"),
                  QStringLiteral("Attach_Owner"),   QStringLiteral("Category"),
                  QStringLiteral("Attach_Filename")};
    const QDateTime date(QDate(2024, 1, 31), QTime(9, 0));
    read.rows.reserve(kDocuments);
    for (int i = 0; i < kDocuments; ++i) {
        const int f = i * kFolders / kDocuments;
        const QString file = QStringLiteral("document %1.txt").arg(i);
        read.rows.append({qlonglong(i + 1), QStringLiteral("F"),
                          file + QStringLiteral(", user07, 01/31/2024 09:00"), date,
                          QStringLiteral("user07"), folder(f), file});
    }
    return read;
}

void build(benchmark::State& state, const cabinet::FolderAccess& access)
{
    const ReadRows rows = documentRows();
    QHash<QString, QString> paths;
    for (int f = 0; f < kFolders; ++f)
        paths.insert(folder(f), QStringLiteral("Shared\\") + folder(f));
    CabinetTree tree;
    for (auto _ : state) {
        QHash<QString, QString> cache;
        tree.build(rows, access, [&](const QString& category) {
            auto found = cache.find(category);
            if (found == cache.end())
                found = cache.insert(category, paths.value(category));
            return *found;
        });
        benchmark::ClobberMemory();
    }
    state.counters["documents"] = tree.documentCount();
    state.counters["folders"] = tree.top()->childCount();
}

void admin(benchmark::State& state)
{
    cabinet::FolderAccess access;
    access.all = true;
    for (int f = 0; f < kFolders; ++f)
        if (!folder(f).isEmpty())
            access.granted << folder(f);
    build(state, access);
}

void granted(benchmark::State& state)
{
    cabinet::FolderAccess access;
    for (int f = 0; f < kFolders; f += 2)
        if (!folder(f).isEmpty())
            access.granted << folder(f);
    build(state, access);
}

} // namespace

BENCHMARK(admin)->Name("CabinetTree/admin")->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(granted)->Name("CabinetTree/granted")->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK_MAIN();
