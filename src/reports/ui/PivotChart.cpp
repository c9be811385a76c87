#include "reports/ui/PivotChart.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QLegend>
#include <QLineSeries>
#include <QPieSeries>
#include <QPieSlice>
#include <QValueAxis>

namespace bx {

namespace {

struct KindName
{
    ChartKind kind;
    const char* name;
};

constexpr KindName kKinds[] = {{ChartKind::Line, "ChartLine"},
                               {ChartKind::Step, "ChartStep"},
                               {ChartKind::Bar, "BarPic"},
                               {ChartKind::Pie, "ChartPie"},
                               {ChartKind::Area, "ChartArea"}};

QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

/** A line through the values; a step chart holds each value across its category. */
QLineSeries* lineOf(const pivot::ChartData::Series& s, ChartKind kind)
{
    auto* line = new QLineSeries;
    line->setName(escaped(s.name));
    for (qsizetype i = 0; i < s.values.size(); ++i) {
        const std::optional<double>& v = s.values[i];
        if (kind == ChartKind::Step) {
            line->append(double(i) - 0.5, v.value_or(0));
            line->append(double(i) + 0.5, v.value_or(0));
        } else if (v || kind == ChartKind::Area) {
            line->append(double(i), v.value_or(0));
        }
    }
    return line;
}

/** The value axis, from zero (bars, areas and steps rest on it) to beyond every value. */
QValueAxis* valueAxis(QChart& chart, const pivot::ChartData& data, bool visible)
{
    double low = 0;
    double high = 0;
    for (const pivot::ChartData::Series& s : data.series)
        for (const std::optional<double>& v : s.values)
            if (v) {
                low = std::min(low, *v);
                high = std::max(high, *v);
            }
    if (high <= low)
        high = low + 1;
    auto* axis = new QValueAxis;
    axis->setLabelFormat(QStringLiteral("%g"));
    axis->setRange(low, high);
    axis->applyNiceNumbers();
    chart.addAxis(axis, Qt::AlignLeft);
    axis->setVisible(visible);
    return axis;
}

} // namespace

QString chartKindName(ChartKind kind)
{
    for (const KindName& k : kKinds)
        if (k.kind == kind)
            return QString::fromLatin1(k.name);
    return {};
}

std::optional<ChartKind> chartKindNamed(const QString& name)
{
    for (const KindName& k : kKinds)
        if (!name.compare(QLatin1String(k.name), Qt::CaseInsensitive))
            return k.kind;
    return std::nullopt;
}

QChart* buildChart(const pivot::ChartData& data, ChartKind kind, const ChartDecor& decor,
                   const QString& title)
{
    auto* chart = new QChart;
    if (!title.isEmpty())
        chart->setTitle(escaped(title));
    const int categories = int(data.categories.size());

    if (kind == ChartKind::Pie) {
        auto* pie = new QPieSeries;
        pie->setName(escaped(data.pieName));
        for (int i = 0; i < categories; ++i) {
            // A slice is a share: an empty, zero or negative value has none.
            const std::optional<double>& v = data.pie.value(i);
            if (!v || *v <= 0)
                continue;
            QPieSlice* slice = pie->append(escaped(data.categories[i]), *v);
            slice->setLabelVisible(decor.marks);
        }
        chart->addSeries(pie);
    } else if (kind == ChartKind::Bar) {
        auto* bars = new QBarSeries;
        for (const pivot::ChartData::Series& s : data.series) {
            auto* set = new QBarSet(escaped(s.name));
            for (const std::optional<double>& v : s.values)
                *set << v.value_or(0);
            bars->append(set);
        }
        bars->setLabelsVisible(decor.marks);
        chart->addSeries(bars);
        auto* axis = new QBarCategoryAxis;
        for (const QString& c : data.categories)
            axis->append(escaped(c));
        chart->addAxis(axis, Qt::AlignBottom);
        bars->attachAxis(axis);
        axis->setVisible(decor.axes);
        bars->attachAxis(valueAxis(*chart, data, decor.axes));
    } else {
        // Category i sits at x = i, between the bounds i - 0.5 and i + 0.5 of its label.
        auto* axis = new QCategoryAxis;
        axis->setStartValue(-0.5);
        for (int i = 0; i < categories; ++i)
            axis->append(escaped(data.categories[i]), double(i) + 0.5);
        axis->setRange(-0.5, std::max(0, categories) - 0.5);
        axis->setVisible(decor.axes);
        chart->addAxis(axis, Qt::AlignBottom);
        QValueAxis* values = valueAxis(*chart, data, decor.axes);
        for (const pivot::ChartData::Series& s : data.series) {
            QLineSeries* line = lineOf(s, kind);
            QAbstractSeries* shown = line;
            if (kind == ChartKind::Area) {
                auto* area = new QAreaSeries(line);
                line->setParent(area);
                area->setName(line->name());
                area->setOpacity(0.6);
                area->setPointLabelsVisible(decor.marks);
                shown = area;
            } else {
                line->setPointsVisible(decor.marks);
                line->setPointLabelsVisible(decor.marks);
            }
            chart->addSeries(shown);
            shown->attachAxis(axis);
            shown->attachAxis(values);
        }
    }
    chart->legend()->setVisible(decor.legend);
    return chart;
}

} // namespace bx
