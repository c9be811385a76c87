#pragma once

#include "reports/PivotLayout.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace bx::pivot {

/**
 * What a chart of a grid draws: the rows' innermost lines as categories and the columns' innermost
 * lines as series (subtotals and totals left out, as they would count their members twice; an axis
 * without dimensions gives its one total line). A pie shows the first fact of each category's
 * column total.
 */
struct ChartData
{
    struct Series
    {
        QString name;
        QList<std::optional<double>> values; ///< one per category; none for an empty cell
    };

    QStringList categories;
    QList<Series> series;
    QString pieName;
    QList<std::optional<double>> pie; ///< one per category
    /** How many categories and series the grid has; more than charted when it is cut short. */
    int allCategories = 0;
    int allSeries = 0;
};

/** The chart's data of a laid-out grid, at most `maxCategories` categories and `maxSeries` series.
 */
ChartData chartData(const Layout& layout, int maxCategories = 200, int maxSeries = 40);

} // namespace bx::pivot
