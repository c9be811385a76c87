#pragma once

#include "core/Refusal.h"
#include "reports/ReportLayout.h"
#include "reports/ReportRunner.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

class Session;

/**
 * The report wizard's model: the tables (or the preset source) a new report reads, the fields it
 * shows, how it groups and sorts them, and how the chosen tables relate; from it the report's
 * query, the summary of the choices and the report's layout.
 *
 * Tables and fields are named as the database's catalogue spells them; every identifier goes into
 * the query quoted, so any name works. Brackets are never used for names: in a layout's query
 * they mark parameters.
 */
namespace reportwizard {

/** What a field holds: it decides the field's format, alignment and whether it is summed. */
enum class FieldKind
{
    Text,
    Number,
    Currency,
    Date,
    Binary, ///< large binary content: never offered, a report shows no such values
};

/** The kind of a column of the catalogue's type `type` (either engine's spelling). */
FieldKind kindOfType(const QString& type);
/** The width, in characters, a field of this kind starts with. */
int defaultWidth(FieldKind kind);

/** A table of the catalogue as the wizard offers it. */
struct WizTableDef
{
    QString name;
    bool system = false; ///< one of the engine's own catalogue tables

    bool operator==(const WizTableDef&) const = default;
};

/** A field of a table (or of the preset source) as the wizard offers it. */
struct WizFieldInfo
{
    QString name;
    QString type; ///< the catalogue's type name
    FieldKind kind = FieldKind::Text;

    bool operator==(const WizFieldInfo&) const = default;
};
using WizFieldInfos = QList<WizFieldInfo>;

/** A field the report shows, in the order shown. */
struct SelectedField
{
    QString table; ///< "" for a field of the preset source
    QString field;
    QString type;
    FieldKind kind = FieldKind::Text;
    int width = 12; ///< in characters

    bool operator==(const SelectedField&) const = default;
};

enum class GroupOption
{
    HeaderOnly,       ///< "caption: value" when the value changes
    FooterWithTotals, ///< and after the group its count and the sums of its number fields
};

/** A group level, outermost first. */
struct GroupField
{
    QString table;
    QString field;
    GroupOption option = GroupOption::HeaderOnly;

    bool operator==(const GroupField&) const = default;
};

enum class SortOrder
{
    Ascending,
    Descending,
};

/** A sort field; the rows are sorted by the group levels first. */
struct SortField
{
    QString table;
    QString field;
    SortOrder order = SortOrder::Ascending;

    bool operator==(const SortField&) const = default;
};

/** Rows of the two tables belong together where the primary column equals the foreign one. */
struct WizRelation
{
    QString TablePrimary;
    QString ColumnPrimary;
    QString TableForeign;
    QString ColumnForeign;

    bool operator==(const WizRelation&) const = default;
};

using SelectedTables = QStringList;
using SelectedFields = QList<SelectedField>;
using GroupFields = QList<GroupField>;
using SortFields = QList<SortField>;
using WizRelations = QList<WizRelation>;

/** Everything the wizard asks, filled page by page. */
struct Report
{
    QString title;
    ReportStyle style = ReportStyle::Compact;
    /** The preset source the report reads; none: the catalogue's tables in `tables`. */
    std::optional<reportrun::Source> source;
    SelectedTables tables;
    SelectedFields fields;
    GroupFields groups;
    SortFields sorts;
    WizRelations relations;
};

/** "Header Only", "Footer with Count and Sums". */
QString groupOptionName(GroupOption option);

/**
 * The report's statement: its fields (table-qualified when it reads more than one table, renamed
 * "table_field" when two tables give the same name) and the fields it groups on but does not
 * show, from its tables joined by its relations, sorted by the group levels and then the sort
 * fields. A report of a preset source reads that source's statement, with its parameter.
 */
QString query(const Report& report);

/**
 * The summary page: "Report Title: ", "From Tables: ", "Selected Fields: " (each with " Type = "
 * and " Width = "), "Summary Group Levels: " (" Group Option = ") and "Order By: " (" Sort Order =
 * " "Asc" or "Dec"), one line each and one line per entry.
 */
QString summary(const Report& report);

/**
 * The report's layout: its title and style, a column per field in the format of its kind
 * (numbers and currency right-aligned), hidden columns for group fields not shown, its group
 * levels and their totals, and query() as its query. Refused when the report has no title, no
 * field, or names a table or field it does not read; refused with UserRights' kNoGlobalReports
 * when it reads the catalogue's tables and the user lacks the global-reports right.
 */
Outcome<ReportLayout> makeLayout(const Session& session, const Report& report);

/**
 * What the wizard may read: the database's tables and their declared relations (for users with
 * the global-reports right), or the columns of one preset source. Reads the catalogue as it is
 * asked, each table's fields once. Database errors are thrown (DbError).
 */
class CDataSource
{
public:
    /**
     * The catalogue's tables, the engine's own only with `showSystem`. Refused with
     * kNoGlobalReports without the global-reports right.
     */
    static Outcome<CDataSource> openTables(Session& session, bool showSystem);
    /** The columns of a preset source; every user of reports may read them. */
    static CDataSource openSource(Session& session, reportrun::Source source);

    /** The preset source, or none when the catalogue's tables are read. */
    std::optional<reportrun::Source> source() const { return m_source; }
    /** The tables offered; none for a preset source. */
    const QList<WizTableDef>& tableDefs() const { return m_tables; }
    /** The fields of an offered table (or of the source, for ""), binary ones left out. */
    WizFieldInfos fields(const QString& table);
    /** The relations the catalogue declares between tables of `tables`, each once. */
    WizRelations relations(const QStringList& tables);

private:
    explicit CDataSource(Session& session)
        : m_session(&session)
    {
    }

    Session* m_session;
    std::optional<reportrun::Source> m_source;
    QList<WizTableDef> m_tables;
    QHash<QString, WizFieldInfos> m_fields; ///< by table, upper case
};

} // namespace reportwizard

} // namespace bx
