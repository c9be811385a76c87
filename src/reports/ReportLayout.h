#pragma once

#include "core/db/ParameterQuery.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>
#include <utility>

namespace bx {

class Clock;

/** What a report asks for before it runs, and how the value is bound. */
enum class ReportParameterType
{
    Text,     ///< "text": a QString
    Date,     ///< "date": a naive QDateTime holding a GMT moment
    Number,   ///< "number": a double, or a qlonglong when whole
    User,     ///< "user": a user ID (QString)
    Workshop, ///< "workshop": a workshop's GROUP_ID (qlonglong)
};

enum class ReportAlign
{
    Left,
    Right,
    Center,
};

/** How a column's values are shown. */
enum class ReportFormat
{
    Text,     ///< "text": the value as text
    Number,   ///< "number" or "number:N" (N decimals, see ReportColumn::decimals)
    Date,     ///< "date": the local date of a stored GMT moment
    DateTime, ///< "datetime": the local date and time of a stored GMT moment
    Flag,     ///< "flag": "Yes" when the value is non-zero, else "No"
    Currency, ///< "currency" (format 2): dollars and cents, "$###,##0.00"
};

enum class ReportFunction
{
    Sum,
    Count,
    Avg,
    Min,
    Max,
};

enum class ReportLevel
{
    Group,  ///< printed in the footer of every group level that has one
    Report, ///< printed once, after the last row
};

enum class ReportOrientation
{
    Portrait,
    Landscape,
};

/** The look of a report (format 2): its fonts, bold or not, and its shading. */
enum class ReportStyle
{
    Compact,   ///< "compact"
    Corporate, ///< "corporate"
    Formal,    ///< "formal"
    Casual,    ///< "casual"
    SoftGray,  ///< "softGray"
};

struct ReportParameter
{
    QString name;
    QString caption;
    ReportParameterType type = ReportParameterType::Text;
    /** A keyword (see ReportLayout) or, for text and number parameters, a literal; "" = none. */
    QString defaultValue;
    /** False: the value is always the default and the user is never asked for it. */
    bool ask = true;

    bool operator==(const ReportParameter&) const = default;
};

struct ReportColumn
{
    QString field;
    QString caption;
    int width = 12; ///< in characters of the body font
    ReportAlign align = ReportAlign::Left;
    ReportFormat format = ReportFormat::Text;
    int decimals = -1; ///< for ReportFormat::Number: fixed decimals, -1 = as the value comes
    bool hidden = false;

    bool operator==(const ReportColumn&) const = default;
};

struct ReportGroup
{
    QString field;
    QString caption;
    bool header = true;
    bool footer = false;

    bool operator==(const ReportGroup&) const = default;
};

struct ReportTotal
{
    QString field;
    ReportFunction function = ReportFunction::Count;
    ReportLevel level = ReportLevel::Report;
    QString caption;

    bool operator==(const ReportTotal&) const = default;
};

/**
 * The layout of one stored report: the query that fetches its rows, the values it asks for, and
 * how the rows are laid out on the page. A layout is kept as a JSON document, in a file (the
 * standard reports "1.rpx" ... "9.rpx") and as the OLE_Data of an ATTACH row of type "R".
 *
 * File format (UTF-8 JSON, one object; keys are case-sensitive, unknown keys are refused so that
 * a misspelt key is reported rather than ignored):
 *
 * @code
 * {
 *   "format": 1,
 *   "title": "Over Due Tasks",
 *   "description": "Active tasks of the workshop's members whose due date has passed.",
 *   "orientation": "portrait",
 *   "header": "{title}",
 *   "footer": "Printed {date} by {user} - page {page} of {pages}",
 *   "parameters": [
 *     { "name": "pToday", "caption": "Due before", "type": "date", "default": "today" },
 *     { "name": "pUser", "caption": "User", "type": "user", "default": "currentUser",
 *       "ask": false }
 *   ],
 *   "query": [
 *     "PARAMETERS pToday DateTime, pUser Text;",
 *     "SELECT SCR.SCR_Owner_User_ID, SCR.SCR_Number, SCR.SCR_Title, SCR.SCR_Owner_Target_Date",
 *     "FROM SCR WHERE SCR.SCR_Status = 'A' AND SCR.SCR_Owner_Target_Date < [pToday]",
 *     "AND (COALESCE(SCR.SCR_Sensitive, 0) = 0 OR SCR.SCR_Owner_User_ID = [pUser])",
 *     "ORDER BY SCR.SCR_Owner_User_ID, SCR.SCR_Number"
 *   ],
 *   "columns": [
 *     { "field": "SCR_Owner_User_ID", "caption": "Owner", "hidden": true },
 *     { "field": "SCR_Number", "caption": "ID", "width": 8, "align": "right",
 *       "format": "number:0" },
 *     { "field": "SCR_Title", "caption": "Title", "width": 50 },
 *     { "field": "SCR_Owner_Target_Date", "caption": "Due Date", "width": 12, "format": "date" }
 *   ],
 *   "grouping": [ { "field": "SCR_Owner_User_ID", "caption": "Owner", "footer": true } ],
 *   "totals": [
 *     { "field": "SCR_Number", "function": "count", "level": "group", "caption": "Tasks" },
 *     { "field": "SCR_Number", "function": "count", "level": "report", "caption": "All tasks" }
 *   ]
 * }
 * @endcode
 *
 * - `format` (required): the version of this format, 1 or 2. Format 2 adds `style` and the column
 *   format "currency"; a layout that uses neither is written as format 1, so that older
 *   programs still read it. The number is checked first: a file of a later version is refused
 *   as newer than this program reads, whatever keys it holds.
 * - `title` (required): printed at the top of the first page and offered in the report list.
 * - `description`: what the report lists and why; a text or an array of lines.
 * - `orientation`: "portrait" (default) or "landscape".
 * - `style` (format 2): "compact", "corporate", "formal", "casual" or "softGray", the fonts and
 *   shading of the printed report (see ReportRenderer); none: the plain look.
 * - `header`, `footer`: texts printed at the top and bottom of every page. Placeholders:
 *   {title}, {date} (the day of printing), {page}, {pages}, {user} (who prints). Any other
 *   {name} is refused.
 * - `query` (required): a text, or an array of lines joined with line breaks. It is a parameter
 *   query, "PARAMETERS name type, ...; body" (see ParameterQuery), whose body names each value as
 *   [name] and may use a name more than once. The declared types are not checked; `parameters`
 *   says how each value is asked for and bound. Brackets in the body name parameters only, never
 *   identifiers, and the statement must run unchanged on both engines: test flags as "<> 0" or
 *   "COALESCE(flag, 0) = 0", compare dates with parameters rather than date functions. The query
 *   sorts the rows; the layout never does, so its ORDER BY starts with the grouping fields in
 *   their order.
 * - `parameters`: one entry for every name that the query declares, and no other. `name`
 *   (required, letters, digits and "_"), `caption` (the prompt; defaults to the name), `type`
 *   (required): "text", "date", "number", "user" or "workshop"; `default`: for a date "today"
 *   (the start of the current local day), "now" or "weekStart" (the start of Monday of the
 *   current local week); for a user "currentUser"; for a workshop "currentWorkshop"; for text and
 *   number parameters a literal. `ask` (default true): false binds the default without asking,
 *   and needs a default. Dates are stored in GMT, so a date value is bound as the GMT moment of
 *   the local time it stands for.
 * - `columns` (required, at least one): `field` (required) names a column of the query's result,
 *   compared without regard to case (the server engine reports names in lower case); no two
 *   columns name the same field. `caption` (defaults to the field), `width` in characters of the
 *   body font (default 12; the renderer scales the columns down to the page when they do not
 *   fit), `align` "left" (default), "right" or "center", `format` "text" (default), "number",
 *   "number:N" (N = 0 to 6 decimals), "date", "datetime", "flag" (Yes/No) or, in format 2,
 *   "currency" ("$1,234.50"), `hidden` (default
 *   false): a hidden column is not printed in the detail rows but may be grouped on or totalled.
 * - `grouping`: group levels, outermost first. `field` (required) names a column; `caption`
 *   (defaults to the column's caption), `header` (default true) prints "caption: value" when the
 *   value changes, `footer` (default false) prints the group-level totals after the group. No
 *   field may be grouped twice.
 * - `totals`: `field` (required) names a column, under which the total is printed; `function`
 *   (required) "sum", "count" (values that are not Null), "avg", "min" or "max"; `level`
 *   "report" (default) or "group" (needs a group level with a footer); `caption` (defaults to
 *   the function's name). "sum" and "avg" need a column of format "number" or "currency".
 *
 * A layout runs through reportrun::runLayout (ReportRunner.h): its parameterQuery() with `values`
 * starting from defaultValues() and completed by what the user typed for the parameters that ask;
 * reportrender::render (ReportRenderer.h) lays out the rows.
 */
struct ReportLayout
{
    /** The newest format this program reads and writes. */
    static constexpr int kFormat = 2;

    QString title;
    QString description;
    QString query;
    QList<ReportParameter> parameters;
    QList<ReportColumn> columns;
    QList<ReportGroup> grouping;
    QList<ReportTotal> totals;
    ReportOrientation orientation = ReportOrientation::Portrait;
    std::optional<ReportStyle> style;
    QString header;
    QString footer;

    bool operator==(const ReportLayout&) const = default;

    /**
     * Reads and checks a layout. On failure returns nothing and, when `error` is given, sets it
     * to one sentence naming the entry at fault (for example "columns[2]: unknown align
     * \"middle\"; expected left, right or center").
     */
    static std::optional<ReportLayout> fromJson(const QByteArray& json, QString* error = nullptr);

    /**
     * The layout as indented JSON, of format 1 unless it uses what format 2 added; fromJson() of
     * it gives an equal layout.
     */
    QByteArray toJson() const;

    /** The oldest format that holds everything this layout uses. */
    int formatNeeded() const;

    /** Why the layout cannot be used, or "" when it can. fromJson() refuses what this refuses. */
    QString validationError() const;

    /** The query, ready for Database::query(const ParameterQuery&, const QVariantMap&). */
    ParameterQuery parameterQuery() const { return ParameterQuery::parse(query); }

    /**
     * The values of the parameters that have a default, keyed by parameter name: date keywords
     * resolved with the clock and converted to GMT, "currentUser" as `userId`, "currentWorkshop"
     * as `workshopId`, literals as they are (numbers as numbers).
     */
    QVariantMap defaultValues(const Clock& clock, const QString& userId,
                              qlonglong workshopId) const;

    /**
     * Gives every caption left empty the default a layout read from its file gets: a parameter
     * its name, a column its field, a group level its column's caption, a total its function's
     * name ("Sum", "Count", "Average", "Minimum", "Maximum").
     */
    void fillDefaultCaptions();

    /** A column format as the file writes it: "text", "number", "number:2", "currency", ... */
    static QString formatText(ReportFormat format, int decimals = -1);
    /** The format and decimals (-1 for none) `text` names, as formatText writes them; none when
     * it names none. */
    static std::optional<std::pair<ReportFormat, int>> formatOf(const QString& text);
    /** Every column format text, "number:0" to "number:6" after "number". */
    static QStringList formatChoices();

    /** The column that shows `field` (compared without regard to case), or nullptr. */
    const ReportColumn* column(const QString& field) const;

    /** The placeholders that header and footer texts may use, with their braces. */
    static const QStringList& placeholders();

    /** The name a style is offered under: "Compact", ..., "Soft Gray". */
    static QString styleName(ReportStyle style);
};

} // namespace bx
