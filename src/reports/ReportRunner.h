#pragma once

#include "core/Refusal.h"
#include "core/db/Database.h"
#include "core/db/RecordSet.h"
#include "reports/ReportLayout.h"
#include "reports/ReportRenderer.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <optional>

namespace bx {

class Prompt;
class Session;

/**
 * Reading and running stored report layouts. Whatever stops a layout (a file this program cannot
 * read, a value missing, a failing query, a result without a column the layout shows) is refused
 * with the reason and written to the error log under "Report Designer Error"; the window shows it
 * with showReportError.
 */
namespace reportrun {

/** The most rows a report reads; a query that brings more is refused (tooManyRowsMessage). */
inline constexpr qsizetype kMaxReportRows = 200'000;

/** "The report reads more than <cap> rows. Narrow its query." */
QString tooManyRowsMessage(qsizetype cap);

/** The preset sources of a report's rows; each holds the current workshop's tasks that are not
 * sensitive. */
enum class Source
{
    Tasks,       ///< the tasks
    Attachments, ///< their attachments, one row each, without the attached content
    History,     ///< their routing history, one row per step
};

/** "Tasks", "Attachments", "History". */
QString sourceName(Source source);

/** A field the rows are ordered by, in a source's query. */
struct ReportSort
{
    QString field;
    bool descending = false;
    bool operator==(const ReportSort&) const = default;
};

/** A preset source and the order put before its own (sourceOf). */
struct SourceOrder
{
    Source source = Source::Tasks;
    QList<ReportSort> first;
    bool operator==(const SourceOrder&) const = default;
};

/**
 * Whether `field` may stand in a source's ORDER BY: letters, digits and "_", not starting with a
 * digit. Nothing else is ever put into a source's statement.
 */
bool isPlainField(const QString& field);

/**
 * The parameter query of a source, bound to the current workshop through the parameter
 * "pWorkshop". Its result columns are those of SCR, then those of ATTACH or ROUTE but their task
 * number. Its rows are ordered by `first` (each a plain field, see isPlainField) and then in the
 * source's own order (by task, then by attachment or step).
 */
QString sourceQuery(Source source, const QList<ReportSort>& first = {});

/** Which source's query `query` is, with the order it puts first; none for any other statement. */
std::optional<SourceOrder> sourceOf(const QString& query);

/**
 * Makes a source the layout's query (sourceQuery) with its one parameter "pWorkshop", the
 * current workshop, which is never asked for.
 */
void useSource(ReportLayout& layout, Source source, const QList<ReportSort>& first = {});

/** A column of a query's result, as resultColumns reads it. */
struct ResultColumn
{
    QString name;
    ResultKind kind = ResultKind::Text;
    bool operator==(const ResultColumn&) const = default;
};

/** The rows resultColumns reads to tell each column's kind. */
inline constexpr qsizetype kColumnSampleRows = 50;

/**
 * The columns the layout's query gives, named as the engine names them, each typed from its
 * first kColumnSampleRows rows. It runs as runLayout runs it, with the parameters' defaults and
 * Null for a parameter without one. Refused (and logged) like runLayout when the query cannot
 * run; the layout's columns need not be in the result.
 */
Outcome<QList<ResultColumn>> resultColumns(Session& session, const ReportLayout& layout);

/** Reads a stored layout. */
Outcome<ReportLayout> readLayout(Session& session, const QByteArray& json);

/**
 * The values the layout's query is run with: each parameter that asks takes the value `given`
 * holds for it (looked up without regard to case), else its default; a parameter that does not
 * ask always takes its default, whatever `given` says.
 */
QVariantMap parameterValues(const Session& session, const ReportLayout& layout,
                            const QVariantMap& given);

/**
 * The value a user typed for a parameter that asks: a date as "yyyy-MM-dd" (a local day, bound as
 * its start in GMT) or one of the default keywords ("today", "weekStart", ...), a number, or a
 * workshop's number; other kinds as typed. Refused, naming the parameter, when it does not read.
 */
Outcome<QVariant> typedValue(const Session& session, const ReportParameter& parameter,
                             const QString& text);

/** Runs the layout's query with parameterValues() and checks that every column is in the result. */
Outcome<RecordSet> runLayout(Session& session, const ReportLayout& layout,
                             const QVariantMap& given = {});

/** runLayout(), then the rows laid out for the signed-in user. */
Outcome<RenderedReport> runReport(Session& session, const ReportLayout& layout,
                                  const QVariantMap& given = {});

/** Shows a refusal of this namespace: a critical box titled "Report Designer Error". */
void showReportError(Prompt& prompt, const RefusalOf<>& refusal);

} // namespace reportrun

} // namespace bx
