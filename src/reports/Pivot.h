#pragma once

#include "core/Refusal.h"
#include "core/schema/OlapItems.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <vector>

namespace bx::pivot {

/** What the values of a result column are. */
enum class ColumnKind
{
    Text,
    Number,
    Date, ///< naive GMT moments (QDateTime, or the embedded engine's stored text form)
};

/** The rows an analysis is built from, already read. */
struct Source
{
    QStringList columns;
    QList<ColumnKind> kinds; ///< one per column
    QList<QVariantList> rows;
    /** The session clock's base bias in seconds: local = GMT + bias. Date parts are local. */
    int biasSeconds = 0;
};

/** A row or column dimension: a column taken as it is, or one part of a date column. */
struct Dimension
{
    QString column; ///< matched without case
    QString title;
    std::optional<olap::DatePart> part;
    /** Members left out (their Member::value, Null for the empty member): the rows holding one
     *  count in no cell and no total. */
    QVariantList hidden = {};
};

/** A measure: an aggregate over a column, or a formula over the other facts. */
struct Fact
{
    /** The column aggregated; for a formula fact, its expression. */
    QString name;
    QString title;
    olap::Aggregate aggregate = olap::Aggregate::Sum;
    bool formula = false;
};

struct Definition
{
    QList<Dimension> rows;    ///< nested in order, the first outermost
    QList<Dimension> columns; ///< likewise
    QList<Fact> facts;
};

/** The largest analysis built: more rows or more cells are refused. */
struct Limits
{
    qsizetype rows = 1'000'000;
    qsizetype cells = 20'000'000;
};

/** The refusal of a source of more than `cap` rows (also for a read stopped at the cap). */
QString tooManyRowsMessage(qsizetype cap);

/** One member of a dimension: its value (Null for the empty member) and the text shown. */
struct Member
{
    QVariant value;
    QString label;
};

/**
 * One line of an axis. A path as long as the axis has dimensions is a member combination found
 * in the rows; a shorter one is the subtotal of its outer members, shown after their lines; the
 * empty path, last, is the grand total. Paths index Axis::members, dimension by dimension.
 */
struct AxisEntry
{
    QList<int> path;
};

struct Axis
{
    QList<Dimension> dimensions;
    /** Each dimension's members in natural order: numbers and date parts by value, text without
     *  case, the empty member last. Hidden members are listed too, so they can be shown again. */
    QList<QList<Member>> members;
    QList<AxisEntry> entries;

    int size() const { return int(entries.size()); }
    /** True for subtotals and the grand total (an axis without dimensions has only that). */
    bool isTotal(int entry) const
    {
        const QList<int>& path = entries[entry].path;
        return path.isEmpty() || path.size() < dimensions.size();
    }
    /** The label of an entry at one nesting level; "" beyond its path. */
    QString label(int entry, int level) const;
};

/**
 * The built analysis: row and column headers and, for each pair of entries, one value per fact.
 * Every value, totals included, is computed from the rows that fall into it (an average total is
 * the average of those rows, not of the cells).
 */
class Grid
{
public:
    const Axis& rows() const { return m_rows; }
    const Axis& columns() const { return m_columns; }
    const QList<Fact>& facts() const { return m_facts; }

    /** A fact's value in a cell; Null when the cell has no rows, or nothing to aggregate, or a
     *  formula divides by zero. Count gives whole numbers, the others doubles. */
    QVariant value(int row, int column, int fact) const;

private:
    friend Outcome<Grid> build(const Source&, const Definition&, const Limits&);

    Axis m_rows;
    Axis m_columns;
    QList<Fact> m_facts;
    std::vector<int> m_slotOf;    ///< row * columns + column -> slot, -1: no rows
    std::vector<double> m_values; ///< slot * facts + fact, NaN for empty
};

/**
 * Builds the grid. Refused, naming the cap, over Limits; naming the column, for a dimension or
 * fact over a column the source lacks, or a date part of a column that holds no dates; and for a
 * formula that does not parse or names no fact (see PivotFormula.h).
 */
Outcome<Grid> build(const Source& source, const Definition& definition,
                    const Limits& limits = Limits());

} // namespace bx::pivot
