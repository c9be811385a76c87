#pragma once

#include "reports/PivotChartData.h"

#include <QString>

#include <optional>

class QChart;

namespace bx {

/** The kinds of chart of an analysis; their names are those of the chart menu's commands. */
enum class ChartKind
{
    Line,
    Step,
    Bar,
    Pie,
    Area,
};

/** "ChartLine", "ChartStep", "BarPic", "ChartPie", "ChartArea". */
QString chartKindName(ChartKind kind);
/** The kind of a name chartKindName gives (case ignored); none for another text. */
std::optional<ChartKind> chartKindNamed(const QString& name);

/** What a chart shows besides its data. */
struct ChartDecor
{
    bool axes = true;
    bool legend = true;
    bool marks = false; ///< each value written at its point, bar or slice
};

/**
 * A new chart of `data` (the caller owns it; a QChartView takes it). Texts from the data are
 * escaped, as the chart reads its captions as rich text. `title` empty: no title.
 */
QChart* buildChart(const pivot::ChartData& data, ChartKind kind, const ChartDecor& decor,
                   const QString& title);

} // namespace bx
