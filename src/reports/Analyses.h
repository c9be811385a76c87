#pragma once

#include "core/Refusal.h"
#include "core/db/Database.h"
#include "core/schema/OlapItems.h"
#include "reports/Pivot.h"
#include "reports/PivotPresentation.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariantList>

#include <optional>

namespace bx {

class Prompt;
class Session;

// The analyses behind dlgBI and dlgBIScreen: the stored ones (OLAP_REPORT with their items in
// OLAP_DIMENSION), the two built into the program, and running one: its query read where nothing
// can be written, its items matched to the result's columns, the pivot engine over the rows. The
// free functions read and write; AnalysisStore adds the signed-in user, his right and the
// questions.

/** The texts the analysis windows show. */
namespace AnalysisText {
inline const QString kCommonTaskInformation = QStringLiteral("Common Task Information");
inline const QString kTaskOwnership = QStringLiteral("Task ownership over time");
/** "Report with name '" + name + "'" + line break + " already exist in database. Overwirte?" */
QString overwrite(const QString& name);
/** The refusal of a query that reads more cells (rows times columns) than the cap. */
QString tooManyCells(qsizetype cap);
/** The refusal of a query stopped by the time limit (Query_Wait). */
QString tooSlow(int seconds);
} // namespace AnalysisText

/**
 * Where a dimension is shown: the designer's field-list value (ItemParameter1 of a dimension,
 * ItemParameter3 of a date part).
 */
enum class AnalysisArea
{
    /** As delivered: date parts down the side, other dimensions across. */
    Default = 0,
    Vertical = 1,
    Horizontal = 2,
    /** In no area until the user moves it there (the built-in analyses' further dimensions). */
    Aside = 3,
};

/** One item of an analysis, as an OLAP_DIMENSION row holds it. */
struct AnalysisItem
{
    olap::ItemType type = olap::ItemType::Dimension;
    /** The column; prefix + column for a date part; the expression for a formula. */
    QString name;
    /** The caption; for a formula, the fact's name. */
    QString title;
    /** Dimension: its area; date part: kDatePartParameter; fact: its Aggregate; formula: 4096. */
    int parameter1 = 0;
    /** Date part: its DatePart code. */
    int parameter2 = 0;
    /** Date part: its area. */
    int parameter3 = 0;
    /** Date part: the date column. */
    QString parentItem;

    bool operator==(const AnalysisItem&) const = default;

    static AnalysisItem dimension(const QString& column, const QString& title,
                                  AnalysisArea area = AnalysisArea::Default);
    /** The part of a date column, named prefix + column ("YEAR_TaskDate"), titled as the part. */
    static AnalysisItem datePart(const QString& column, olap::DatePart part,
                                 AnalysisArea area = AnalysisArea::Default);
    static AnalysisItem fact(const QString& column, const QString& title,
                             olap::Aggregate aggregate);
    static AnalysisItem formula(const QString& expression, const QString& title);
};

/** The prefix of a date part's item name: "YEAR_", "QUARTER_", ... */
QString datePartPrefix(olap::DatePart part);
/** The caption of a date part: "Year", "Quarter", "Month", "Ten days", ... */
QString datePartTitle(olap::DatePart part);
/** The aggregates the designer offers, by their words "Sum", "Min", "Max", "Count", "Average". */
QString aggregateName(olap::Aggregate aggregate);
std::optional<olap::Aggregate> aggregateNamed(const QString& word);

/** The viewer options of an analysis (on by default). */
struct AnalysisOptions
{
    bool allowFilter = true;
    bool allowInactiveDimArea = true;
    bool allowFactFilter = true;
    bool allowExpand = true;
    bool allowPivot = true;
    bool allowTitle = true;
    /** 0 left, 1 centre, 2 right. */
    int titleAlign = 0;

    bool operator==(const AnalysisOptions&) const = default;
};

/** One analysis: stored (id above 0) or built in (id 0, its query taking `params`). */
struct Analysis
{
    qlonglong id = 0;
    QString title;
    QString query;
    QVariantList params;
    AnalysisOptions options;
    /** Types 0 to 3 in that order, each in its Position order. */
    QList<AnalysisItem> items;

    bool isBuiltIn() const { return id <= 0; }
};

/** A row of the analysis tree's "Custom" branch. */
struct AnalysisSummary
{
    qlonglong id = 0;
    QString title;
    bool operator==(const AnalysisSummary&) const = default;
};

/** The two analyses built into the program. */
enum class BuiltInAnalysis
{
    CommonTaskInformation,
    TaskOwnership,
};

/** What the built-in analyses are bound to. */
struct AnalysisContext
{
    qlonglong workshop = 0; ///< the current workshop
    QString userId;         ///< who sees his own sensitive tasks
    QDateTime nowGmt;       ///< tasks past their target date before it are late
};

/**
 * A built-in analysis. "Task ownership over time": the workshop's tasks grouped by owner, status,
 * priority, category ("Folder") and the moment the owner got them ("Enter Date"), the fact
 * "Count" summing the rows' task counts ("Item"). "Common Task Information": the workshop's tasks
 * that are no templates, sensitive ones only for their owner and requester, by owner, requester,
 * priority, status, folder and year, quarter and month of the request date; facts "Tasks" and
 * "Late tasks" (active or incomplete past their target date).
 */
Analysis builtInAnalysis(BuiltInAnalysis which, const AnalysisContext& context);

// The functions below that take a Database throw DbError; those that change rows do so in one
// transaction, rolled back when any statement fails. They check no right: AnalysisStore does.

/** Every stored analysis, by ID. */
QList<AnalysisSummary> listAnalyses(Database& db);
/** A stored analysis with its items; none when it is gone. */
std::optional<Analysis> loadAnalysis(Database& db, qlonglong id);
/** How many stored analyses have this name. */
int analysesNamed(Database& db, const QString& title);
/**
 * Stores the analysis as a new one and returns its ID (taken from the insert). With
 * `replaceSameName`, every stored analysis of that name is deleted first, in the same transaction:
 * a failed save keeps them. Items get their Position in their order within their type.
 */
qlonglong writeAnalysis(Database& db, const Analysis& analysis, bool replaceSameName);
/** Deletes the analysis's items and its row. */
void deleteAnalysis(Database& db, qlonglong id);

/** What keeps a designed analysis from being saved: no vertical dimension, then no fact. */
std::optional<RefusalOf<>> analysisProblem(const Analysis& analysis);

/**
 * The area a dimension or date part is shown in, its field-list value read as delivered (Default:
 * date parts vertical, other dimensions horizontal).
 */
AnalysisArea areaOf(const AnalysisItem& item);

/** How the viewer shows the analysis: its title as its options place it, what users may do. */
pivot::Presentation presentationOf(const Analysis& analysis);

/** The pivot layout the items ask for: dimensions in their areas, facts and formulas in order. */
Outcome<pivot::Definition> layoutOf(const Analysis& analysis);

/** The column kind the pivot engine works with, for a kind the database layer gives. */
pivot::ColumnKind pivotKind(ResultKind kind);

/** A column of a query as the designer lists it. */
struct QueryColumn
{
    QString name;
    pivot::ColumnKind kind = pivot::ColumnKind::Text;
    bool operator==(const QueryColumn&) const = default;
};

/** The rows the designer types a query's columns from. */
inline constexpr qsizetype kDesignSampleRows = 1000;

/**
 * The columns of a query, typed from its first kDesignSampleRows rows. Refused when the query may
 * not run (it is not one reading statement). @throws DbError when the engine fails it
 */
Outcome<QList<QueryColumn>> queryColumns(Database& db, const QString& query, int waitSeconds = 0);

/** How an analysis runs. */
struct AnalysisRun
{
    /** The session clock's base bias in seconds: date parts are of the local date. */
    int biasSeconds = 0;
    /** Query_Wait: the query stops after this many seconds (0: no limit). */
    int waitSeconds = 0;
    pivot::Limits limits;
};

/**
 * Reads the rows of an analysis through Database::queryReadOnly on `db` (a connection of the
 * caller's thread; interrupt() stops it), typed for the pivot engine. Refused, changing nothing,
 * when the query may not run (not one reading statement), when it brings more rows or cells than
 * `run.limits` or outlasts the time limit. @throws DbError
 */
Outcome<pivot::Source> readAnalysis(Database& db, const Analysis& analysis,
                                    const AnalysisRun& run = {});

/**
 * Runs an analysis in `layout` (layoutOf, or as the user moved its dimensions): its query through
 * Database::queryReadOnly on `db` (a connection of the caller's thread; interrupt() stops it),
 * then the pivot engine. Refused, changing nothing, when the query may not run (not one reading
 * statement), when it brings more rows or cells than `run.limits` or outlasts the time limit, and
 * when an item names no column of the result (compared without case). @throws DbError
 */
Outcome<pivot::Grid> runAnalysis(Database& db, const Analysis& analysis,
                                 const pivot::Definition& layout, const AnalysisRun& run = {});

/**
 * The analysis windows' operations for the signed-in user. Each asks
 * UserRights::refuseUnlessAnalyst first, before any question or read. Every method that reads or
 * writes throws DbError.
 */
class AnalysisStore
{
public:
    AnalysisStore(Session& session, Prompt& prompt);

    /** The stored analyses, by ID (the "Custom" branch). */
    Outcome<QList<AnalysisSummary>> list();
    /** A built-in analysis bound to the session's workshop, user and present moment. */
    Outcome<Analysis> builtIn(BuiltInAnalysis which);
    /** A stored analysis; declined when it is gone (removed elsewhere). */
    Outcome<Analysis> load(qlonglong id);
    /** An analysis opened in the designer: refused for a built-in one. */
    Outcome<Analysis> edit(const Analysis& analysis);
    /**
     * Checks the analysis (analysisProblem); when analyses of its name exist, asks
     * AnalysisText::overwrite (Yes/No): Yes replaces them, No declines, writing nothing. Returns
     * the new ID.
     */
    Outcome<qlonglong> save(const Analysis& analysis);
    /** Refused for a built-in one; asks "Do you really want to remove the report from Database?"
     * (Yes/No) and deletes on Yes. */
    Outcome<> remove(const Analysis& analysis);

private:
    Session& m_session;
    Prompt& m_prompt;
};

} // namespace bx
