#include "reports/ui/PivotTableView.h"

#include "reports/ui/NestedHeaderView.h"
#include "reports/ui/PivotModel.h"

#include <QAbstractButton>
#include <QEvent>
#include <QPainter>
#include <QStyleOptionHeader>

namespace bx {

PivotTableView::PivotTableView(QWidget* parent)
    : QTableView(parent)
    , m_model(new PivotModel(this))
    , m_columns(new NestedHeaderView(Qt::Horizontal, this))
    , m_rows(new NestedHeaderView(Qt::Vertical, this))
{
    setHorizontalHeader(m_columns);
    setVerticalHeader(m_rows);
    setModel(m_model);
    setWordWrap(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    m_rows->setSectionResizeMode(QHeaderView::Fixed);
    // The corner over the row header shows the row titles instead of the select-all button.
    setCornerButtonEnabled(false);
    for (QAbstractButton* corner : findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly))
        corner->installEventFilter(this);
    connect(m_model, &QAbstractItemModel::modelReset, this, &PivotTableView::fitColumns);
}

void PivotTableView::fitColumns()
{
    resizeColumnsToContents();
    for (QAbstractButton* corner : findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly))
        corner->update();
}

bool PivotTableView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint && watched->isWidgetType() && watched->parent() == this) {
        paintCorner(*static_cast<QWidget*>(watched));
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

void PivotTableView::paintCorner(QWidget& corner) const
{
    QPainter painter(&corner);
    const pivot::Layout* layout = m_model->layout();
    const QStringList titles = layout ? layout->rowTitles() : QStringList();
    const QString factTitle = layout ? layout->factTitle() : QString();
    const int height = corner.height();
    const int titleHeight = m_columns->levelExtents().isEmpty()
                                ? height
                                : std::min(height, m_columns->levelExtents().last());
    const auto draw = [&](const QRect& rect, const QString& text) {
        QStyleOptionHeader option;
        option.initFrom(&corner);
        // The corner button is disabled (no select-all), yet its captions read as headers do.
        option.state = QStyle::State_Enabled | QStyle::State_Raised;
        option.palette = palette();
        option.rect = rect;
        option.text = text;
        option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        option.position = QStyleOptionHeader::Middle;
        option.orientation = Qt::Horizontal;
        style()->drawControl(QStyle::CE_Header, &option, &painter, &corner);
    };
    if (height > titleHeight)
        draw(QRect(0, 0, corner.width(), height - titleHeight), factTitle);
    for (int level = 0; level < titles.size(); ++level) {
        const int from = m_rows->levelOffset(level);
        const int to = level + 1 == titles.size() ? corner.width() : m_rows->levelOffset(level + 1);
        draw(QRect(from, height - titleHeight, to - from, titleHeight), titles[level]);
    }
    if (titles.isEmpty())
        draw(corner.rect(), QString());
}

} // namespace bx
