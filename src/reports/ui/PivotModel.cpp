#include "reports/ui/PivotModel.h"

#include <QFont>

namespace bx {

PivotModel::PivotModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void PivotModel::setGrid(std::optional<pivot::Grid> grid)
{
    beginResetModel();
    m_layout.reset();
    m_grid = std::move(grid);
    if (m_grid)
        m_layout = std::make_unique<pivot::Layout>(*m_grid);
    endResetModel();
}

int PivotModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_layout ? 0 : m_layout->rowCount();
}

int PivotModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_layout ? 0 : m_layout->columnCount();
}

QVariant PivotModel::data(const QModelIndex& index, int role) const
{
    if (!m_layout || !index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return pivot::Layout::displayText(m_layout->value(index.row(), index.column()));
    case Qt::EditRole:
        return m_layout->value(index.row(), index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::FontRole:
        if (m_layout->isTotalRow(index.row()) || m_layout->isTotalColumn(index.column())) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    default:
        return {};
    }
}

QVariant PivotModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (!m_layout || role != Qt::DisplayRole)
        return {};
    return orientation == Qt::Horizontal ? m_layout->columnLabel(section, m_layout->factsLevel())
                                         : m_layout->rowLabel(section);
}

} // namespace bx
