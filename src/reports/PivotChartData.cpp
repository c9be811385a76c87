#include "reports/PivotChartData.h"

namespace bx::pivot {

namespace {

std::optional<double> numberOf(const QVariant& v)
{
    if (v.isNull())
        return std::nullopt;
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? std::optional<double>(d) : std::nullopt;
}

} // namespace

ChartData chartData(const Layout& layout, int maxCategories, int maxSeries)
{
    const Grid& grid = layout.grid();
    const bool rowDims = !grid.rows().dimensions.isEmpty();
    const bool columnDims = !grid.columns().dimensions.isEmpty();
    QList<int> rows;
    for (int r = 0; r < layout.rowCount(); ++r)
        if (!rowDims || !layout.isTotalRow(r))
            rows << r;
    QList<int> columns;
    for (int c = 0; c < layout.columnCount(); ++c)
        if (!columnDims || !layout.isTotalColumn(c))
            columns << c;

    ChartData data;
    data.allCategories = int(rows.size());
    data.allSeries = int(columns.size());
    rows = rows.first(std::min<qsizetype>(rows.size(), maxCategories));
    columns = columns.first(std::min<qsizetype>(columns.size(), maxSeries));
    for (int r : rows)
        data.categories << layout.rowLabel(r);
    const bool manyFacts = grid.facts().size() > 1;
    for (int c : columns) {
        ChartData::Series series;
        series.name = columnDims ? layout.columnLabel(c, manyFacts) : layout.columnLabel(c, true);
        for (int r : rows)
            series.values << numberOf(layout.value(r, c));
        data.series << series;
    }
    if (!grid.facts().isEmpty()) {
        // The column grand total is the last entry; its first fact is its first body column.
        const int total = layout.columnCount() - int(grid.facts().size());
        data.pieName = grid.facts().first().title;
        for (int r : rows)
            data.pie << numberOf(layout.value(r, total));
    }
    return data;
}

} // namespace bx::pivot
