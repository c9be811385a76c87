#pragma once

#include "core/Gmt.h"
#include "mainwindow/TaskViews.h"

#include <QAbstractTableModel>

namespace bx {

/**
 * The task grid's rows as read, shown in the grid's columns: one list of values per row and no
 * item object per cell, so a view of many thousand tasks stays light. Dates, stored in GMT, show
 * in local time. Qt::UserRole of any cell is the row's task number.
 */
class TaskGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    TaskGridModel(const Clock& clock, QObject* parent = nullptr);

    /** Replaces the rows; `names` are the columns of each row's values. */
    void setRows(const QStringList& names, QList<QVariantList> rows);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    GmtConverter m_gmt;
    QList<int> m_fieldIndex; ///< per grid column, its place in a row; -1 when not read
    int m_numberIndex = -1;
    QList<QVariantList> m_rows;
};

} // namespace bx
