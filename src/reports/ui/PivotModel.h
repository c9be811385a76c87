#pragma once

#include "reports/Pivot.h"
#include "reports/PivotLayout.h"

#include <QAbstractTableModel>

#include <memory>
#include <optional>

namespace bx {

/**
 * A built analysis as a table model: body rows and columns as pivot::Layout lays them out, the
 * values as the grid shows them (right-aligned, totals in bold). The header data is each line's
 * captions in one text; NestedHeaderView draws them nested from layout().
 */
class PivotModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit PivotModel(QObject* parent = nullptr);

    /** Shows `grid`; none: an empty table. */
    void setGrid(std::optional<pivot::Grid> grid);
    bool hasGrid() const { return m_grid.has_value(); }
    const pivot::Grid* grid() const { return m_grid ? &*m_grid : nullptr; }
    /** The layout of the grid shown; null when none is. */
    const pivot::Layout* layout() const { return m_layout.get(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::optional<pivot::Grid> m_grid;
    std::unique_ptr<pivot::Layout> m_layout;
};

} // namespace bx
