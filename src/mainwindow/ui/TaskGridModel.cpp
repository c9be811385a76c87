#include "mainwindow/ui/TaskGridModel.h"

#include "core/schema/TaskColumns.h"
#include "mainwindow/ListOptions.h"
#include "mainwindow/ui/TeamTreeModel.h"

#include <QMimeData>

namespace bx {

TaskGridModel::TaskGridModel(const Clock& clock, QObject* parent)
    : QAbstractTableModel(parent)
    , m_gmt(clock)
    , m_columns(taskGridColumns())
{
}

void TaskGridModel::mapFields()
{
    const auto indexOf = [&](const QString& field) {
        for (int i = 0; i < m_names.size(); ++i) {
            if (m_names.at(i).compare(field, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    };
    m_fieldIndex.clear();
    for (const TaskGridColumn& c : std::as_const(m_columns))
        m_fieldIndex << indexOf(c.field);
    m_numberIndex = indexOf(scr::Number);
}

void TaskGridModel::setRows(const QStringList& names, QList<QVariantList> rows)
{
    beginResetModel();
    m_names = names;
    m_rows = std::move(rows);
    mapFields();
    endResetModel();
}

bool TaskGridModel::updateRows(const QList<qlonglong>& numbers, const QStringList& names,
                               const QList<QVariantList>& rows)
{
    if (names != m_names || m_numberIndex < 0)
        return false;
    const auto rowOf = [this](qlonglong number) {
        for (int i = 0; i < m_rows.size(); ++i) {
            if (m_rows.at(i).value(m_numberIndex).toLongLong() == number)
                return i;
        }
        return -1;
    };
    for (const qlonglong number : numbers) {
        const QVariantList* now = nullptr;
        for (const QVariantList& row : rows) {
            if (row.value(m_numberIndex).toLongLong() == number) {
                now = &row;
                break;
            }
        }
        const int at = rowOf(number);
        if (at >= 0 && now) {
            m_rows[at] = *now;
            emit dataChanged(index(at, 0), index(at, columnCount() - 1));
        } else if (at >= 0) {
            beginRemoveRows({}, at, at);
            m_rows.removeAt(at);
            endRemoveRows();
        } else if (now) {
            const int end = static_cast<int>(m_rows.size());
            beginInsertRows({}, end, end);
            m_rows << *now;
            endInsertRows();
        }
    }
    return true;
}

void TaskGridModel::setColumns(const QStringList& scrColumns, const QString& customLabel)
{
    beginResetModel();
    if (scrColumns.isEmpty()) {
        m_columns = taskGridColumns();
    } else {
        // The title always leads: the options choose the columns after it.
        const QList<ListField> offered = ListOptions::offeredFields(customLabel);
        m_columns = {taskGridColumns().constFirst()};
        for (const QString& column : scrColumns) {
            if (column.compare(m_columns.constFirst().field, Qt::CaseInsensitive) == 0)
                continue;
            QString header;
            for (const TaskGridColumn& c : taskGridColumns()) {
                if (c.field.compare(column, Qt::CaseInsensitive) == 0) {
                    header = c.header;
                    break;
                }
            }
            for (qsizetype i = 0; header.isEmpty() && i < offered.size(); ++i) {
                if (offered.at(i).column.compare(column, Qt::CaseInsensitive) == 0)
                    header = offered.at(i).caption;
            }
            m_columns << TaskGridColumn{header.isEmpty() ? column : header, column};
        }
    }
    mapFields();
    endResetModel();
}

QString TaskGridModel::field(int column) const
{
    return column >= 0 && column < m_columns.size() ? m_columns.at(column).field : QString();
}

int TaskGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TaskGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
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
    return section >= 0 && section < m_columns.size() ? m_columns.at(section).header : QVariant();
}

Qt::ItemFlags TaskGridModel::flags(const QModelIndex& index) const
{
    const Qt::ItemFlags base = QAbstractTableModel::flags(index);
    return index.isValid() ? base | Qt::ItemIsDragEnabled : base;
}

QStringList TaskGridModel::mimeTypes() const
{
    return {TeamTreeModel::taskMimeType()};
}

QMimeData* TaskGridModel::mimeData(const QModelIndexList& indexes) const
{
    for (const QModelIndex& index : indexes) {
        const qlonglong task = data(index, Qt::UserRole).toLongLong();
        if (task != 0) {
            auto* mime = new QMimeData;
            mime->setData(TeamTreeModel::taskMimeType(), QByteArray::number(task));
            return mime;
        }
    }
    return nullptr;
}

} // namespace bx
