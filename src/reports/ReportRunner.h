#pragma once

#include "core/Refusal.h"
#include "core/db/RecordSet.h"
#include "reports/ReportLayout.h"
#include "reports/ReportRenderer.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

namespace bx {

class Prompt;
class Session;

/**
 * Reading and running stored report layouts. Whatever stops a layout (a file this program cannot
 * read, a value missing, a failing query, a result without a column the layout shows) is refused
 * with the reason and written to the error log under kReportError; the window shows it with
 * showReportError.
 */
namespace reportrun {

/** The title of every box, and of every log line, about a layout that cannot be read or run. */
inline const QString kReportError = QStringLiteral("Report Designer Error");

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

/**
 * Makes a source the layout's query: a parameter query bound to the current workshop through the
 * parameter "pWorkshop", which is never asked for. Its result columns are those of SCR, then
 * those of ATTACH or ROUTE but their task number.
 */
void useSource(ReportLayout& layout, Source source);

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

/** Shows a refusal of this namespace: a critical box titled kReportError. */
void showReportError(Prompt& prompt, const RefusalOf<>& refusal);

} // namespace reportrun

} // namespace bx
