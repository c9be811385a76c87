#include "reports/PivotLayout.h"

#include <cmath>

namespace bx::pivot {

namespace {

const QString kSeparator = QStringLiteral(" / ");

/**
 * The captions of one axis's dimension levels: a member covers the consecutive lines that share
 * its outer members (its subtotal among them); a subtotal's or the grand total's "Total" stands at
 * the first level its path leaves open and reaches down to the innermost one.
 */
void addDimensionCells(const Axis& axis, int repeat, QList<HeaderCell>& out)
{
    const int dims = int(axis.dimensions.size());
    for (int level = 0; level < dims; ++level) {
        qsizetype open = -1;
        QList<int> openPrefix;
        for (int e = 0; e < axis.size(); ++e) {
            const QList<int>& path = axis.entries[e].path;
            if (level < path.size()) {
                QList<int> prefix = path.first(level + 1);
                if (open >= 0 && prefix == openPrefix) {
                    out[open].span += repeat;
                    continue;
                }
                out.append({axis.label(e, level), e * repeat, repeat, level, 1, false});
                open = out.size() - 1;
                openPrefix = std::move(prefix);
            } else {
                if (level == path.size())
                    out.append(
                        {Layout::totalCaption(), e * repeat, repeat, level, dims - level, true});
                open = -1;
            }
        }
    }
}

} // namespace

Layout::Layout(const Grid& grid)
    : m_grid(&grid)
{
    const Axis& rows = grid.rows();
    const Axis& columns = grid.columns();
    const int facts = int(grid.facts().size());
    const int columnDims = int(columns.dimensions.size());

    m_rowLevels = std::max(1, int(rows.dimensions.size()));
    if (rows.dimensions.isEmpty())
        m_rowHeader.append({totalCaption(), 0, 1, 0, 1, true});
    else
        addDimensionCells(rows, 1, m_rowHeader);

    // One fact's caption fits in the corner above the row titles when the column header has two
    // levels or more; otherwise it gets a level of its own.
    m_factsLevel = facts > 1 || (facts == 1 && columnDims < 2);
    m_columnLevels = columnDims + (m_factsLevel ? 1 : 0);
    if (columnDims > 0)
        addDimensionCells(columns, factSlots(), m_columnHeader);
    if (m_factsLevel) {
        for (int e = 0; e < columns.size(); ++e)
            for (int f = 0; f < facts; ++f)
                m_columnHeader.append(
                    {grid.facts()[f].title, e * facts + f, 1, columnDims, 1, columns.isTotal(e)});
    } else if (columnDims == 0) {
        m_columnLevels = 1;
        m_columnHeader.append({totalCaption(), 0, 1, 0, 1, true});
    }
}

QString Layout::totalCaption()
{
    return QStringLiteral("Total");
}

QStringList Layout::rowTitles() const
{
    QStringList titles;
    for (const Dimension& d : m_grid->rows().dimensions)
        titles << d.title;
    if (titles.isEmpty())
        titles << QString();
    return titles;
}

QString Layout::factTitle() const
{
    return m_grid->facts().size() == 1 && !m_factsLevel ? m_grid->facts().first().title : QString();
}

int Layout::factOf(int column) const
{
    return m_grid->facts().isEmpty() ? -1 : column % factSlots();
}

QVariant Layout::value(int row, int column) const
{
    const int fact = factOf(column);
    return fact < 0 ? QVariant() : m_grid->value(row, columnEntry(column), fact);
}

QString Layout::entryLabel(const Axis& axis, int entry)
{
    const QList<int>& path = axis.entries[entry].path;
    QStringList parts;
    for (int level = 0; level < path.size(); ++level)
        parts << axis.label(entry, level);
    if (axis.isTotal(entry))
        parts << totalCaption();
    return parts.join(kSeparator);
}

QString Layout::rowLabel(int row) const
{
    return entryLabel(m_grid->rows(), row);
}

QString Layout::columnLabel(int column, bool withFact) const
{
    QStringList parts;
    const int fact = factOf(column);
    if (!m_grid->columns().dimensions.isEmpty() || fact < 0)
        parts << entryLabel(m_grid->columns(), columnEntry(column));
    if (withFact && fact >= 0)
        parts << m_grid->facts()[fact].title;
    return parts.join(kSeparator);
}

QString Layout::displayText(const QVariant& value)
{
    if (value.isNull())
        return {};
    if (value.typeId() != QMetaType::Double)
        return value.toString();
    const double v = value.toDouble();
    const double whole = std::round(v);
    if (std::isfinite(v) && std::abs(v - whole) < 1e-9 * std::max(1.0, std::abs(v)) &&
        std::abs(whole) < 1e15)
        return QString::number(qlonglong(whole));
    return QString::number(v, 'f', 2);
}

QString Layout::plainText(const QVariant& value)
{
    if (value.isNull())
        return {};
    if (value.typeId() != QMetaType::Double)
        return value.toString();
    return QString::number(value.toDouble(), 'g', 15);
}

} // namespace bx::pivot
