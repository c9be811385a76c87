// Building the main window's team view over a large workshop, on each engine: the real page
// (TeamView with its tree view and grid) refreshed end to end, and the same steps one by one to
// see where the time goes.
//
// The workshop is bench::workshop (100,000 tasks among 20 users, 10% sub-tasks, 10% naming a
// folder), with user names (one with an apostrophe) and twenty personal folders of the signed-in
// user00, ten of them below the other ten, so the folder tasks of every owner land in them.
// user00 has full access and sees all members. The view filter is the page's default (Active).
//
// Runs, three iterations each:
//
//   TeamView/<engine>/refresh    TeamView::refresh() on a shown page. The time is the refresh
//                                alone; `settle_ms` is what the event loop then needs for the
//                                delayed layout and the first paint, and `stall_ms` (the longest
//                                refresh plus settle) is how long the window answers no input.
//                                `first_peak_MiB` is the peak after the first refresh, before an
//                                old grid and tree are held while new ones are read.
//   TeamView/<engine>/parts      the steps of a refresh, each timed, on a tree view and a grid of
//                                the same kind: criteria, skeleton, query (until the first row is
//                                handed over), fill (the rest of fillTaskList: visibility and
//                                copying), place (TeamTree::placeTasks, its model reset included),
//                                grid (TaskGridModel::setRows), expand (expandToDepth(1)) and
//                                settle. `tree_reset_ms` is one more tree model reset on its own.
//   TeamView/<engine>/statement  the page's statement five ways, to part the engine's sorting from
//                                the reading of the values: as run (full_ms), without its ORDER BY
//                                (unordered_ms), and both again with SCR_Number as the only column
//                                (narrow_ms, narrow_unordered_ms), and ordered with only the 18
//                                columns the grid and tree use (used_columns_ms). `client_sort_ms`
//                                is sorting the unordered rows here instead; `client_order_differs`
//                                counts the places where that order lists another task than the
//                                engine's.
//
// Counters of refresh and parts: grid_rows, tree_nodes (every node but the invisible root),
// tasks_in_tree, widgets_added (widgets the page gained by refreshing: none expected, the views
// draw from item models), peak_MiB (VmHWM after the run, restarted before it), maxrss_MiB
// (getrusage ru_maxrss after the run) and peak_rise_MiB (the peak above the resident set at the
// start of the run). With BX_BENCH_EXPLAIN set, the program first prints each engine's plan of
// the statement; with BX_BENCH_ORDER_INDEX set, the databases get an index on SCR in the grid's
// order (category, priority, date in), which the current schema does not have, to try it.

#include "BenchSupport.h"
#include "core/Clock.h"
#include "core/Session.h"
#include "core/settings/SettingsStore.h"
#include "mainwindow/TaskViews.h"
#include "mainwindow/TeamTree.h"
#include "mainwindow/ui/TaskGridModel.h"
#include "mainwindow/ui/TeamTreeModel.h"
#include "mainwindow/ui/TeamView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeView>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using namespace bx;
namespace ws = bx::bench::workshop;

QString g_sqlitePath;
std::unique_ptr<bx::bench::ServerDatabase> g_server;
bx::bench::BenchPrompt g_prompt;
SystemClock g_clock;

// ---- memory ------------------------------------------------------------------------------------

/** getrusage's ru_maxrss: the peak resident set in KiB. */
qint64 maxRssKiB()
{
    rusage usage{};
    return getrusage(RUSAGE_SELF, &usage) == 0 ? qint64(usage.ru_maxrss) : -1;
}

void reportMemory(benchmark::State& state, qint64 startKiB)
{
    const qint64 peak = bx::bench::peakKiB();
    state.counters["peak_MiB"] = double(peak) / 1024.0;
    state.counters["maxrss_MiB"] = double(maxRssKiB()) / 1024.0;
    state.counters["peak_rise_MiB"] = double(peak - startKiB) / 1024.0;
}

// ---- the workshop ------------------------------------------------------------------------------

/** The shared workshop, then user names and user00's folders (ten of them below the other ten). */
void prepare(Database& db)
{
    ws::fill(db);
    Transaction tx(db);
    for (int u = 0; u < ws::kUsers; ++u) {
        const QString name =
            u == 7 ? QStringLiteral("O'Brien 07") : QStringLiteral("User %1").arg(u);
        db.execute(QStringLiteral("UPDATE LU_USER SET User_Name = ? WHERE USER_ID = ?"),
                   {name, ws::user(u)});
    }
    for (int f = 0; f < ws::kUsers; ++f) {
        const int parent = f < 10 ? 0 : ws::kFirstFolder + f - 10;
        db.execute(QStringLiteral("INSERT INTO FOLDER (Folder_Counter, Folder_Name, "
                                  "Folder_Owner_ID, Parent_Folder_Counter, Folder_Type, Group_ID) "
                                  "VALUES (?, ?, ?, ?, 0, ?)"),
                   {ws::kFirstFolder + f, QStringLiteral("Folder %1's").arg(f), ws::user(0), parent,
                    ws::kWorkshop});
    }
    tx.commit();
    if (!qEnvironmentVariableIsEmpty("BX_BENCH_ORDER_INDEX")) {
        // A trial: an index in the grid's order, so an engine can read the rows in it, unsorted.
        db.executeScript(QStringLiteral("CREATE INDEX IX_SCR_Grid_Order ON SCR "
                                        "(SCR_Category, SCR_Priority, SCR_Owner_Date_In)"));
        db.executeScript(QStringLiteral("ANALYZE"));
    }
}

/** A session of user00 on the engine's database, in the workshop, without a query time limit. */
struct BenchSession
{
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(QStringLiteral("MRBX.conf"))};
    Session session{settings, g_clock};

    explicit BenchSession(Engine engine)
    {
        session.setDatabase(bx::bench::connectTo(engine, g_sqlitePath, g_server.get()));
        session.user.userId = ws::user(0);
        session.user.record.userId = ws::user(0);
        session.user.record.fullAccess = true;
        session.currentWorkshopId = ws::kWorkshop;
        session.system.queryWait = 3600;
    }
};

int countNodes(const TreeNode* node)
{
    int n = 1;
    for (const auto& child : node->children)
        n += countNodes(child.get());
    return n;
}

int countModelRows(const QAbstractItemModel& model, const QModelIndex& parent = {})
{
    int n = 0;
    for (int r = 0; r < model.rowCount(parent); ++r)
        n += 1 + countModelRows(model, model.index(r, 0, parent));
    return n;
}

int countTasks(const QAbstractItemModel& model, const QModelIndex& parent = {})
{
    int n = 0;
    for (int r = 0; r < model.rowCount(parent); ++r) {
        const QModelIndex i = model.index(r, 0, parent);
        if (i.data(TeamTreeModel::TagRole).toString() == teamtree::kTagTask)
            ++n;
        n += countTasks(model, i);
    }
    return n;
}

double msSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

/** A session on the engine's database; null, with the run skipped, when it cannot connect. */
std::unique_ptr<BenchSession> openSession(benchmark::State& state, Engine engine)
{
    try {
        return std::make_unique<BenchSession>(engine);
    } catch (const DbError& e) {
        state.SkipWithError(e.what());
        return nullptr;
    }
}

// ---- runs --------------------------------------------------------------------------------------

void runRefresh(benchmark::State& state, Engine engine)
{
    const std::unique_ptr<BenchSession> bs = openSession(state, engine);
    if (!bs)
        return;
    bx::bench::restartPeak(); // the filling of the databases does not count
    const qint64 startKiB = bx::bench::statusKiB("VmRSS:");
    TeamView view(bs->session, g_prompt);
    view.resize(1280, 800);
    view.show();
    QApplication::processEvents();
    const qsizetype widgetsBefore = view.findChildren<QWidget*>().size();

    double settleMs = 0;
    double stallMs = 0;
    qint64 firstPeakKiB = -1;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const bool ok = view.refresh();
        const double refreshMs = msSince(timer);
        QApplication::processEvents();
        const double totalMs = msSince(timer);
        if (!ok) {
            state.SkipWithError("the refresh failed");
            break;
        }
        state.SetIterationTime(refreshMs / 1000.0);
        if (firstPeakKiB < 0)
            firstPeakKiB = bx::bench::peakKiB();
        settleMs += totalMs - refreshMs;
        stallMs = std::max(stallMs, totalMs);
    }
    if (state.iterations() == 0)
        return;
    reportMemory(state, startKiB);
    const auto* tree = view.findChild<QTreeView*>(QStringLiteral("IvvTree1"));
    const auto* grid = view.findChild<QTableView*>(QStringLiteral("TaskGrid"));
    if (!tree || !grid) {
        state.SkipWithError("the page has no IvvTree1 or TaskGrid");
        return;
    }
    state.counters["first_peak_MiB"] = double(firstPeakKiB) / 1024.0;
    state.counters["settle_ms"] = settleMs / double(state.iterations());
    state.counters["stall_ms"] = stallMs;
    state.counters["grid_rows"] = grid->model()->rowCount();
    state.counters["tree_nodes"] = countModelRows(*tree->model());
    state.counters["tasks_in_tree"] = countTasks(*tree->model());
    state.counters["widgets_added"] = double(view.findChildren<QWidget*>().size() - widgetsBefore);
}

/** The steps of TeamView::refresh, each timed, on views of the same kind as the page's. */
class Parts
{
public:
    explicit Parts(Session& session)
        : m_session(session)
        , m_treeModel(m_tree)
        , m_gridModel(session.clock())
    {
        m_treeView.setHeaderHidden(true);
        m_treeView.setUniformRowHeights(true);
        m_treeView.setModel(&m_treeModel);
        m_gridView.setSelectionBehavior(QAbstractItemView::SelectRows);
        m_gridView.setModel(&m_gridModel);
        auto* layout = new QHBoxLayout(&m_page);
        layout->addWidget(&m_treeView);
        layout->addWidget(&m_gridView, 2);
        m_page.resize(1280, 800);
        m_page.show();
        QApplication::processEvents();
    }

    /** One refresh; adds each step's milliseconds to `ms`. @return false when the rows disagree */
    bool run(std::map<std::string, double>& ms)
    {
        QElapsedTimer timer;
        timer.start();
        const TaskViewFilter filter = TaskViewFilter::defaults(m_session.clock().nowLocal().date());
        const TaskCriteria criteria = gridTaskQuery(nullptr, filter, m_session);
        ms["criteria_ms"] += msSince(timer);

        timer.restart();
        m_tree.setOptions({m_session.user.userId, false, m_session.clock().nowLocal()});
        m_tree.buildSkeleton(m_session.db(), m_session.currentWorkshopId, false);
        ms["skeleton_ms"] += msSince(timer);

        QStringList names;
        QList<QVariantList> rows;
        double queryMs = -1;
        timer.restart();
        const TaskListFill fill =
            fillTaskList(m_session, criteria, [&](const RecordSet& rs, int row) {
                if (queryMs < 0)
                    queryMs = msSince(timer);
                if (names.isEmpty())
                    names = rs.columns();
                rows << rs.rows().at(row);
            });
        const double fillMs = msSince(timer);
        ms["query_ms"] += std::max(queryMs, 0.0);
        ms["fill_ms"] += fillMs - std::max(queryMs, 0.0);

        timer.restart();
        m_placed = m_tree.placeTasks(RecordSet(names, rows));
        ms["place_ms"] += msSince(timer);

        timer.restart();
        m_gridModel.setRows(names, std::move(rows));
        ms["grid_ms"] += msSince(timer);

        timer.restart();
        m_treeView.expandToDepth(1);
        ms["expand_ms"] += msSince(timer);

        timer.restart();
        QApplication::processEvents();
        ms["settle_ms"] += msSince(timer);
        return m_gridModel.rowCount() == fill.inserted && !fill.stopped;
    }

    /** One more reset of the tree model with the view attached, as placeTasks makes. */
    double resetTreeModel()
    {
        QElapsedTimer timer;
        timer.start();
        m_treeModel.setFonts(m_treeModel.fonts());
        return msSince(timer);
    }

    const TeamTree& tree() const { return m_tree; }
    int placed() const { return m_placed; }
    int gridRows() const { return m_gridModel.rowCount(); }
    qsizetype widgets() const { return m_page.findChildren<QWidget*>().size(); }

private:
    Session& m_session;
    TeamTree m_tree;
    TeamTreeModel m_treeModel;
    TaskGridModel m_gridModel;
    QWidget m_page; // before the views: they, its children, go first
    QTreeView m_treeView;
    QTableView m_gridView;
    int m_placed = 0;
};

void runParts(benchmark::State& state, Engine engine)
{
    const std::unique_ptr<BenchSession> bs = openSession(state, engine);
    if (!bs)
        return;
    bx::bench::restartPeak(); // the filling of the databases does not count
    const qint64 startKiB = bx::bench::statusKiB("VmRSS:");
    Parts parts(bs->session);
    const qsizetype widgetsBefore = parts.widgets();
    std::map<std::string, double> ms;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        try {
            if (!parts.run(ms)) {
                state.SkipWithError("the grid does not hold the rows read");
                break;
            }
        } catch (const DbError& e) {
            state.SkipWithError(e.what());
            break;
        }
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
    if (state.iterations() == 0)
        return;
    const double n = double(state.iterations());
    for (const auto& [name, total] : ms)
        state.counters[name] = total / n;
    state.counters["tree_reset_ms"] = parts.resetTreeModel();
    reportMemory(state, startKiB);
    state.counters["grid_rows"] = parts.gridRows();
    state.counters["tree_nodes"] = countNodes(parts.tree().root()) - 1; // not the invisible root
    state.counters["tasks_in_tree"] = parts.placed();
    state.counters["widgets_added"] = double(parts.widgets() - widgetsBefore);
}

/**
 * The rows of `set` in the page's order (category and priority without regard to case, then the
 * date in), sorted here rather than by the engine. @return row indexes
 */
std::vector<int> clientOrder(const RecordSet& set)
{
    struct Key
    {
        QString category;
        QString priority;
        QDateTime dateIn;
    };
    const int category = set.columnIndex(QStringLiteral("SCR_Category"));
    const int priority = set.columnIndex(QStringLiteral("SCR_Priority"));
    const int dateIn = set.columnIndex(QStringLiteral("SCR_Owner_Date_In"));
    std::vector<Key> keys;
    keys.reserve(size_t(set.rowCount()));
    for (const QVariantList& row : set.rows())
        keys.push_back({row.at(category).toString().toCaseFolded(),
                        row.at(priority).toString().toCaseFolded(),
                        RecordSet::toDateTime(row.at(dateIn))});
    std::vector<int> order(keys.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const Key& x = keys[size_t(a)];
        const Key& y = keys[size_t(b)];
        if (const int c = x.category.compare(y.category))
            return c < 0;
        if (const int c = x.priority.compare(y.priority))
            return c < 0;
        return x.dateIn < y.dateIn;
    });
    return order;
}

/** Places where the engine's order and the client's order list different tasks. */
double differences(const RecordSet& ordered, const RecordSet& unordered,
                   const std::vector<int>& sorted)
{
    const int number = ordered.columnIndex(QStringLiteral("SCR_Number"));
    if (number < 0 || ordered.rowCount() != int(sorted.size()))
        return -1;
    int differ = 0;
    for (int i = 0; i < ordered.rowCount(); ++i) {
        if (ordered.rows()[i].at(number) != unordered.rows()[sorted[size_t(i)]].at(number))
            ++differ;
    }
    return differ;
}

/**
 * The team view's statement five ways, to part the engine's sorting from the reading of the
 * values: as the page runs it, without its ORDER BY, both with SCR_Number as the only column, and
 * with only the columns the page uses.
 */
void runStatement(benchmark::State& state, Engine engine)
{
    const std::unique_ptr<BenchSession> bs = openSession(state, engine);
    if (!bs)
        return;
    const TaskCriteria criteria =
        gridTaskQuery(nullptr, TaskViewFilter::defaults(g_clock.nowLocal().date()), bs->session);
    const qsizetype from = criteria.sql.indexOf(QStringLiteral(" FROM SCR "));
    const qsizetype order = criteria.sql.lastIndexOf(QStringLiteral(" ORDER BY "));
    if (from < 0 || order < 0) {
        state.SkipWithError("the statement has no FROM SCR or no ORDER BY");
        return;
    }
    const QString narrow = QStringLiteral("SELECT SCR.SCR_Number") + criteria.sql.mid(from);
    // The columns the grid shows and the tree reads, of the 32 the statement lists.
    const QStringList used{QStringLiteral("SCR_Number"),
                           QStringLiteral("SCR_Title"),
                           QStringLiteral("SCR_Priority"),
                           QStringLiteral("SCR_Request_ID"),
                           QStringLiteral("SCR_Request_Date"),
                           QStringLiteral("SCR_Owner_User_ID"),
                           QStringLiteral("SCR_Owner_Date_In"),
                           QStringLiteral("SCR_Owner_Date_Viewed"),
                           QStringLiteral("SCR_Owner_Target_Date"),
                           QStringLiteral("SCR_Parent_Folder_Number"),
                           QStringLiteral("SCR_Parent_Number"),
                           QStringLiteral("SCR_Status"),
                           QStringLiteral("SCR_Category"),
                           QStringLiteral("SCR_Sensitive"),
                           QStringLiteral("SCR_StartDate"),
                           QStringLiteral("SCR_OwnerType"),
                           QStringLiteral("SCR_Lifecycle_End_Date"),
                           QStringLiteral("SCR_Group_ID")};
    const QString usedColumns = QStringLiteral("SELECT SCR.") +
                                used.join(QStringLiteral(", SCR.")) + criteria.sql.mid(from);
    const std::pair<const char*, QString> forms[] = {
        {"full_ms", criteria.sql},
        {"used_columns_ms", usedColumns},
        {"unordered_ms", criteria.sql.left(order)},
        {"narrow_ms", narrow},
        {"narrow_unordered_ms", narrow.left(narrow.lastIndexOf(QStringLiteral(" ORDER BY ")))}};
    std::map<std::string, double> ms;
    qsizetype rows = 0;
    for (auto _ : state) {
        QElapsedTimer total;
        total.start();
        try {
            RecordSet ordered;
            RecordSet unordered;
            for (const auto& [name, sql] : forms) {
                QElapsedTimer timer;
                timer.start();
                RecordSet result = bs->session.db().query(sql, criteria.params);
                ms[name] += msSince(timer);
                rows = result.rowCount();
                if (sql == criteria.sql)
                    ordered = std::move(result);
                else if (sql == criteria.sql.left(order))
                    unordered = std::move(result);
            }
            QElapsedTimer timer;
            timer.start();
            const std::vector<int> sorted = clientOrder(unordered);
            ms["client_sort_ms"] += msSince(timer);
            state.counters["client_order_differs"] = differences(ordered, unordered, sorted);
        } catch (const DbError& e) {
            state.SkipWithError(e.what());
            break;
        }
        state.SetIterationTime(double(total.nsecsElapsed()) / 1e9);
    }
    for (const auto& [name, sum] : ms)
        state.counters[name] = sum / double(std::max<qint64>(state.iterations(), 1));
    state.counters["rows"] = double(rows);
}

/** Prints how the engine runs the team view's statement (BX_BENCH_EXPLAIN set). */
void explain(Engine engine, const char* name)
{
    try {
        BenchSession bs(engine);
        const TaskCriteria criteria =
            gridTaskQuery(nullptr, TaskViewFilter::defaults(g_clock.nowLocal().date()), bs.session);
        const QString prefix = engine == Engine::Sqlite ? QStringLiteral("EXPLAIN QUERY PLAN ")
                                                        : QStringLiteral("EXPLAIN ANALYZE ");
        const RecordSet plan = bs.session.db().query(prefix + criteria.sql, criteria.params);
        std::printf("-- %s: %s\n", name, qPrintable(criteria.sql));
        for (const QVariantList& row : plan.rows()) {
            QStringList cells;
            for (const QVariant& v : row)
                cells << v.toString();
            std::printf("   %s\n", qPrintable(cells.join(QLatin1Char(' '))));
        }
    } catch (const DbError& e) {
        std::fprintf(stderr, "cannot explain the statement on %s: %s\n", name, e.what());
    }
}

void registerAll(Engine engine, const char* name)
{
    const std::string prefix = std::string("TeamView/") + name;
    benchmark::RegisterBenchmark((prefix + "/refresh").c_str(), runRefresh, engine)
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((prefix + "/parts").c_str(), runParts, engine)
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((prefix + "/statement").c_str(), runStatement, engine)
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const std::unique_ptr<QTemporaryDir> scratch = bx::bench::scratchDir();
    if (!scratch)
        return 1;
    if (!bx::bench::makeProgramDatabases(*scratch, QStringLiteral("team.mdb"), g_prompt, g_clock,
                                         g_sqlitePath, g_server, prepare)) {
        g_server.reset();
        return 1;
    }
    registerAll(Engine::Sqlite, "sqlite");
    if (g_server)
        registerAll(Engine::Postgres, "postgres");
    if (!qEnvironmentVariableIsEmpty("BX_BENCH_EXPLAIN")) {
        explain(Engine::Sqlite, "sqlite");
        if (g_server)
            explain(Engine::Postgres, "postgres");
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server.reset();
    return 0;
}
