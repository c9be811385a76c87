#pragma once

#include "core/Gmt.h"
#include "mainwindow/TaskViews.h"

#include <QAbstractTableModel>

namespace bx {

/**
 * The task grid's rows as read, shown in the grid's columns: one list of values per row and no
 * item object per cell, so a view of many thousand tasks stays light. Dates, stored in GMT, show
 * in local time. Qt::UserRole of any cell is the row's task number. The columns shown are all of
 * taskGridColumns() until setColumns() chooses others.
 */
class TaskGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    TaskGridModel(const Clock& clock, QObject* parent = nullptr);

    /** Replaces the rows; `names` are the columns of each row's values. */
    void setRows(const QStringList& names, QList<QVariantList> rows);
    /**
     * Follows the tasks `numbers`, whose rows are now `rows` (columns `names`): a task listed and
     * among them has its row replaced, a listed one absent from them goes, and one not listed yet
     * comes at the end; the other rows, and the selection on them, stay. @return false, having
     * changed nothing, when `names` are not the columns of the rows held
     */
    bool updateRows(const QList<qlonglong>& numbers, const QStringList& names,
                    const QList<QVariantList>& rows);

    /**
     * Shows the task title, then these SCR columns in this order (the task list options'
     * columns); an empty list shows all of taskGridColumns(). A column is headed as in
     * taskGridColumns(), else by its caption among the offered fields (the custom field by
     * `customLabel`), else by its name. A column the rows do not hold shows empty.
     */
    void setColumns(const QStringList& scrColumns, const QString& customLabel = {});
    /** The SCR column shown in a grid column; empty when out of range. */
    QString field(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // A row is dragged onto the team tree as its task, the way the tree drags its own tasks.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }

private:
    void mapFields();

    GmtConverter m_gmt;
    QList<TaskGridColumn> m_columns;
    QStringList m_names;
    QList<int> m_fieldIndex; ///< per grid column, its place in a row; -1 when not read
    int m_numberIndex = -1;
    QList<QVariantList> m_rows;
};

} // namespace bx
