#pragma once

#include "core/SearchOptions.h"
#include "core/db/DbError.h"
#include "mainwindow/TaskViews.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

namespace bx {

class Session;

/** How a search period is given. */
enum class SearchPeriodKind
{
    LastMonths, ///< the last N months up to today
    LastDays,   ///< the last N days up to today
    Range,      ///< between two days, both included
    AnyDate     ///< 50 years back to 10 years ahead: tasks without the date are still left out
};

/** The period controls of both search dialogs; numbers as typed. */
struct SearchPeriodInput
{
    SearchPeriodKind kind = SearchPeriodKind::LastMonths;
    QString months;
    QString days;
    QDate from;
    QDate to;
};

/** A checked period: the days, or the message that refuses the input. */
struct SearchPeriodCheck
{
    QDate from;
    QDate to;
    QString message; ///< empty when accepted
};

/**
 * Checks the period of F_FIND and F_DOCFIND against `today`: "Please specify Number of Months",
 * "Please specify Number of Days" or "Start Date is more then the End one." refuse it.
 */
SearchPeriodCheck checkSearchPeriod(const SearchPeriodInput& input, const QDate& today);

/** What F_FIND's controls hold when OK is pressed. */
struct FindInput
{
    QString title;
    QString custom;
    bool comments = false;
    bool attachments = false;
    bool extraTables = false;
    QString statuses; ///< chosen codes out of "ACIX"; empty = every status
    QString dateField = scr::StartDate;
    SearchPeriodInput period;
};

/** The options F_FIND confirms (search mode set), or the message that keeps the dialog open. */
struct FindCheck
{
    std::optional<SearchOptions> options;
    QString message;
};

/**
 * Checks F_FIND's input in the dialog's order: a pattern holding both "[" and "]" is refused,
 * then both patterns empty, then the period. Patterns are trimmed.
 */
FindCheck checkFindInput(const FindInput& input, const QDate& today);

/** One task the search found. */
struct SearchHit
{
    qlonglong number = 0;
    /** The task-list columns of the row, by their names ("SCR_Title", ...). */
    QVariantMap row;
    /** Titles of the task's attachments that matched (attachment search only). */
    QStringList attachmentTitles;
    bool ownerDisabled = false;
    bool requesterDisabled = false;

    QString text(scr::Column column) const { return row.value(column).toString(); }
};

/** What a search run found; hits found before a failing query are kept. */
struct SearchResult
{
    QList<SearchHit> hits;
    std::optional<DbError> error;
};

/**
 * Runs a task search for the signed-in user of `session`:
 *  - the tasks of the workshops the user belongs to whose title matches the title pattern (and,
 *    with comments on, whose comments hold it anywhere) and whose custom field holds the custom
 *    pattern anywhere, limited by the chosen statuses and the date period;
 *  - with attachments on, tasks with an attachment whose title holds the title pattern;
 *  - with extra tables on, tasks whose row in each table of SEARCH_TABLES matches the title
 *    pattern in the listed column (names checked against the catalogue; an unknown name fails
 *    like the engine would).
 * Matching ignores case. A sensitive task is found only by its owner and requester; no task is
 * listed twice. Clears `options.searchMode`. Never throws DbError: it ends up in the result.
 */
SearchResult runTaskSearch(Session& session, SearchOptions& options);

/**
 * The search's main statement: the tasks of the user's workshops whose title, comments or custom
 * field match as `runTaskSearch` describes, limited by the statuses and the period, in number
 * order. Empty when neither pattern is given. The attachment and extra-table look-ups are not
 * part of it.
 */
TaskCriteria taskSearchStatement(Session& session, const SearchOptions& options);

} // namespace bx
