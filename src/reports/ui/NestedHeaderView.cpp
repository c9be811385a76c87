#include "reports/ui/NestedHeaderView.h"

#include "reports/ui/PivotModel.h"

#include <QPainter>
#include <QStyleOptionHeader>

#include <numeric>

namespace bx {

namespace {

constexpr int kPadding = 16;
constexpr int kMinimumWidth = 48;

} // namespace

NestedHeaderView::NestedHeaderView(Qt::Orientation orientation, QWidget* parent)
    : QHeaderView(orientation, parent)
{
    setSectionsClickable(false);
    setHighlightSections(false);
    setDefaultAlignment(Qt::AlignCenter);
    relayout();
}

QSize NestedHeaderView::sizeHint() const
{
    QSize hint = QHeaderView::sizeHint();
    const int extent = levelOffset(int(m_levelExtent.size()));
    if (orientation() == Qt::Horizontal)
        hint.setHeight(extent);
    else
        hint.setWidth(extent);
    return hint;
}

const pivot::Layout* NestedHeaderView::layout() const
{
    const auto* pivotModel = qobject_cast<const PivotModel*>(model());
    return pivotModel ? pivotModel->layout() : nullptr;
}

const QList<pivot::HeaderCell>* NestedHeaderView::cells() const
{
    const pivot::Layout* l = layout();
    if (!l)
        return nullptr;
    return orientation() == Qt::Horizontal ? &l->columnHeader() : &l->rowHeader();
}

void NestedHeaderView::setModel(QAbstractItemModel* newModel)
{
    if (model())
        disconnect(model(), &QAbstractItemModel::modelAboutToBeReset, this, nullptr);
    QHeaderView::setModel(newModel);
    // While the model resets, the view may ask for sizes before reset() reaches this header:
    // the cells of the old grid are gone by then.
    if (newModel)
        connect(newModel, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
            m_cover.clear();
            m_levelExtent = {m_lineHeight};
        });
}

void NestedHeaderView::reset()
{
    QHeaderView::reset();
    relayout();
}

void NestedHeaderView::relayout()
{
    m_cover.clear();
    m_levelExtent.clear();
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    m_lineHeight = metrics.height() + 8;
    const pivot::Layout* l = layout();
    if (!l) {
        m_levelExtent.append(m_lineHeight);
        return;
    }
    const bool across = orientation() == Qt::Horizontal;
    const int levels = across ? l->columnLevels() : l->rowLevels();
    const int sections = across ? l->columnCount() : l->rowCount();
    m_cover.fill(QList<int>(sections, -1), levels);
    m_levelExtent.fill(across ? m_lineHeight : kMinimumWidth, levels);
    const QList<pivot::HeaderCell>& all = *cells();
    for (qsizetype i = 0; i < all.size(); ++i) {
        const pivot::HeaderCell& cell = all[i];
        for (int level = cell.level; level < cell.level + cell.depth && level < levels; ++level)
            for (int s = cell.first; s < cell.first + cell.span && s < sections; ++s)
                m_cover[level][s] = int(i);
        if (!across && cell.depth == 1 && cell.level < levels)
            m_levelExtent[cell.level] = std::max(m_levelExtent[cell.level],
                                                 metrics.horizontalAdvance(cell.text) + kPadding);
    }
    // The row titles stand over the levels in the corner: each level is wide enough for its own.
    if (!across) {
        const QStringList titles = l->rowTitles();
        for (int level = 0; level < levels && level < titles.size(); ++level)
            m_levelExtent[level] =
                std::max(m_levelExtent[level], metrics.horizontalAdvance(titles[level]) + kPadding);
    }
    // The view places its headers and viewport after this signal, with the new depth.
    updateGeometry();
    emit geometriesChanged();
    viewport()->update();
}

int NestedHeaderView::levelOffset(int level) const
{
    return std::accumulate(m_levelExtent.begin(),
                           m_levelExtent.begin() + std::min<qsizetype>(level, m_levelExtent.size()),
                           0);
}

const pivot::HeaderCell* NestedHeaderView::cellAt(int section, int level) const
{
    const QList<pivot::HeaderCell>* all = cells();
    if (!all || level < 0 || level >= m_cover.size() || section < 0 ||
        section >= m_cover[level].size())
        return nullptr;
    const int i = m_cover[level][section];
    return i < 0 || i >= all->size() ? nullptr : &(*all)[i];
}

QSize NestedHeaderView::sectionSizeFromContents(int logicalIndex) const
{
    const int extent = levelOffset(int(m_levelExtent.size()));
    if (orientation() == Qt::Vertical)
        return {extent, m_lineHeight};
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    int width = kMinimumWidth;
    for (int level = 0; level < m_cover.size(); ++level)
        if (const pivot::HeaderCell* cell = cellAt(logicalIndex, level))
            width =
                std::max(width, (metrics.horizontalAdvance(cell->text) + kPadding) / cell->span);
    return {width, extent};
}

void NestedHeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    if (m_cover.isEmpty()) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    const bool across = orientation() == Qt::Horizontal;
    for (int level = 0; level < m_cover.size(); ++level) {
        const pivot::HeaderCell* cell = cellAt(logicalIndex, level);
        if (!cell || cell->level != level)
            continue;
        // A cell spanning several sections is drawn whole from each of them, so that any part
        // repainted alone matches the rest.
        const int last = cell->first + cell->span - 1;
        const int from = sectionViewportPosition(cell->first);
        const int to = sectionViewportPosition(last) + sectionSize(last);
        const int start = levelOffset(level);
        const int end = levelOffset(level + cell->depth);
        QStyleOptionHeader option;
        initStyleOption(&option);
        option.rect = across ? QRect(from, start, to - from, end - start)
                             : QRect(start, from, end - start, to - from);
        option.section = logicalIndex;
        option.text = cell->text;
        option.textAlignment =
            across ? Qt::AlignCenter : Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter);
        option.position = QStyleOptionHeader::Middle;
        option.orientation = orientation();
        painter->save();
        QFont f = font();
        f.setBold(cell->total);
        painter->setFont(f);
        option.fontMetrics = QFontMetrics(f);
        style()->drawControl(QStyle::CE_Header, &option, painter, this);
        painter->restore();
    }
}

} // namespace bx
