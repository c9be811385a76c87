#pragma once

#include "reports/Pivot.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace bx::pivot {

/**
 * One caption of a nested header. Along the axis it covers `span` lines from `first` (body rows
 * for the row header, body columns for the column header); across it covers `depth` levels from
 * `level` (a subtotal's "Total" reaches down to the innermost level).
 */
struct HeaderCell
{
    QString text;
    int first = 0;
    int span = 1;
    int level = 0;
    int depth = 1;
    bool total = false;
    bool operator==(const HeaderCell&) const = default;
};

/**
 * A built grid laid out as a table, the one shape the grid view, the chart, the CSV and the HTML
 * share. Body rows are the row axis's entries in order; body columns are the column axis's entries,
 * each repeated once per fact (facts innermost). The column header has a level per column
 * dimension and, unless a single fact's caption fits in the corner (two column dimensions or more),
 * a last level of fact captions; an axis without dimensions has a single "Total" line. The grid
 * must outlive the layout.
 */
class Layout
{
public:
    explicit Layout(const Grid& grid);

    const Grid& grid() const { return *m_grid; }

    int rowCount() const { return m_grid->rows().size(); }
    int columnCount() const { return m_grid->columns().size() * factSlots(); }
    /** Levels of the row header (its columns): one per row dimension, at least one. */
    int rowLevels() const { return m_rowLevels; }
    /** Levels of the column header (its rows). */
    int columnLevels() const { return m_columnLevels; }
    /** Whether the last column-header level holds the facts' captions. */
    bool factsLevel() const { return m_factsLevel; }

    const QList<HeaderCell>& rowHeader() const { return m_rowHeader; }
    const QList<HeaderCell>& columnHeader() const { return m_columnHeader; }
    /** The captions over the row header's levels: the row dimensions' titles. */
    QStringList rowTitles() const;
    /** The one fact's caption when the column header does not show it; "" otherwise. */
    QString factTitle() const;

    int columnEntry(int column) const { return column / factSlots(); }
    /** The fact of a body column; -1 when the analysis has no facts. */
    int factOf(int column) const;
    bool isTotalRow(int row) const { return m_grid->rows().isTotal(row); }
    bool isTotalColumn(int column) const { return m_grid->columns().isTotal(columnEntry(column)); }

    /** The value of a body cell; Null when empty. */
    QVariant value(int row, int column) const;

    /** A row's or column's captions in one line, outermost first, joined by " / ". */
    QString rowLabel(int row) const;
    QString columnLabel(int column, bool withFact) const;

    /** A value as the grid and the HTML page show it: whole numbers plainly, others to 2 places. */
    static QString displayText(const QVariant& value);
    /** A value as the CSV file holds it: full precision, "." for the decimal point. */
    static QString plainText(const QVariant& value);
    /** The caption of subtotals and grand totals. */
    static QString totalCaption();

private:
    int factSlots() const { return m_grid->facts().isEmpty() ? 1 : int(m_grid->facts().size()); }
    static QString entryLabel(const Axis& axis, int entry);

    const Grid* m_grid;
    int m_rowLevels = 1;
    int m_columnLevels = 1;
    bool m_factsLevel = false;
    QList<HeaderCell> m_rowHeader;
    QList<HeaderCell> m_columnHeader;
};

} // namespace bx::pivot
