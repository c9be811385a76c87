#include "reports/AnalysisDesign.h"

namespace bx {

namespace {

AnalysisItem placedIn(AnalysisItem item, AnalysisArea area)
{
    (item.type == olap::ItemType::DatePart ? item.parameter3 : item.parameter1) = int(area);
    return item;
}

void removeNamed(QList<AnalysisItem>& items, const QString& name)
{
    items.removeIf(
        [&](const AnalysisItem& i) { return i.name.compare(name, Qt::CaseInsensitive) == 0; });
}

} // namespace

AnalysisDesign AnalysisDesign::of(const Analysis& analysis)
{
    AnalysisDesign design;
    design.title = analysis.title;
    design.query = analysis.query;
    design.options = analysis.options;
    for (const AnalysisItem& item : analysis.items) {
        switch (item.type) {
        case olap::ItemType::Dimension:
        case olap::ItemType::DatePart:
            if (areaOf(item) == AnalysisArea::Vertical)
                design.vertical << placedIn(item, AnalysisArea::Vertical);
            else
                design.horizontal << placedIn(item, AnalysisArea::Horizontal);
            break;
        case olap::ItemType::Fact:
            design.facts << item;
            break;
        case olap::ItemType::Formula:
            design.formulas << item;
            break;
        }
    }
    return design;
}

Analysis AnalysisDesign::analysis() const
{
    Analysis analysis;
    analysis.title = title;
    analysis.query = query;
    analysis.options = options;
    for (const AnalysisItem& item : vertical)
        analysis.items << placedIn(item, AnalysisArea::Vertical);
    for (const AnalysisItem& item : horizontal)
        analysis.items << placedIn(item, AnalysisArea::Horizontal);
    analysis.items << facts << formulas;
    return analysis;
}

void AnalysisDesign::place(AnalysisArea area, const QueryColumn& column,
                           const QList<olap::DatePart>& parts)
{
    QList<AnalysisItem>& into = area == AnalysisArea::Vertical ? vertical : horizontal;
    QList<AnalysisItem> items;
    if (column.kind == pivot::ColumnKind::Date) {
        for (const olap::DatePart part : parts)
            items << AnalysisItem::datePart(column.name, part, area);
    } else {
        items << AnalysisItem::dimension(column.name, column.name, area);
    }
    for (const AnalysisItem& item : std::as_const(items)) {
        removeNamed(vertical, item.name);
        removeNamed(horizontal, item.name);
        into << item;
    }
}

void AnalysisDesign::addFact(const QString& column, olap::Aggregate aggregate)
{
    const auto taken = [this](const QString& caption) {
        for (const AnalysisItem& f : std::as_const(facts))
            if (f.title.compare(caption, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    };
    QString caption = column;
    if (taken(caption))
        caption = column + u' ' + aggregateName(aggregate);
    facts << AnalysisItem::fact(column, caption, aggregate);
}

QList<pivot::Fact> AnalysisDesign::formulaOperands() const
{
    QList<pivot::Fact> operands;
    for (const AnalysisItem& f : facts)
        operands << pivot::Fact{f.name, f.title, olap::Aggregate(f.parameter1), false};
    return operands;
}

} // namespace bx
