#include "mainwindow/ui/TaskGridModel.h"

namespace bx {

TaskGridModel::TaskGridModel(const Clock& clock, QObject* parent)
    : QAbstractTableModel(parent)
    , m_gmt(clock)
{
}

void TaskGridModel::setRows(const QStringList& names, QList<QVariantList> rows)
{
    beginResetModel();
    const auto indexOf = [&](const QString& field) {
        for (int i = 0; i < names.size(); ++i) {
            if (names.at(i).compare(field, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    };
    m_fieldIndex.clear();
    for (const TaskGridColumn& c : taskGridColumns())
        m_fieldIndex << indexOf(c.field);
    m_numberIndex = indexOf(QStringLiteral("SCR_Number"));
    m_rows = std::move(rows);
    endResetModel();
}

int TaskGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TaskGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(taskGridColumns().size());
}

QVariant TaskGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const QVariantList& row = m_rows.at(index.row());
    if (role == Qt::UserRole)
        return m_numberIndex >= 0 ? row.value(m_numberIndex) : QVariant();
    if (role != Qt::DisplayRole)
        return {};
    const int field = m_fieldIndex.value(index.column(), -1);
    if (field < 0)
        return {};
    const QVariant v = row.value(field);
    if (v.typeId() == QMetaType::QDateTime)
        return m_gmt.toLocal(v.toDateTime()).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    return v;
}

QVariant TaskGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return taskGridColumns().value(section).header;
}

} // namespace bx
