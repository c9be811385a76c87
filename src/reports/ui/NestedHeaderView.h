#pragma once

#include "reports/PivotLayout.h"

#include <QHeaderView>
#include <QList>

namespace bx {

/**
 * The header of a pivot grid, drawn nested: a member spans the lines of its inner members and its
 * subtotal, a "Total" spans the levels its total sums. The model is a PivotModel; the horizontal
 * header stacks its levels downwards, the vertical one side by side.
 */
class NestedHeaderView : public QHeaderView
{
    Q_OBJECT

public:
    explicit NestedHeaderView(Qt::Orientation orientation, QWidget* parent = nullptr);

    /** The levels of the header, outermost first, and the extent of each across the axis. */
    const QList<int>& levelExtents() const { return m_levelExtent; }
    /** Where a level starts across the axis. */
    int levelOffset(int level) const;

    /** The cell drawn over `section` at `level`; null where none is (no grid, or beyond it). */
    const pivot::HeaderCell* cellAt(int section, int level) const;

    void setModel(QAbstractItemModel* model) override;
    void reset() override;
    /** Across the axis, as deep as the levels need; along it as QHeaderView has it. */
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;

private:
    const pivot::Layout* layout() const;
    const QList<pivot::HeaderCell>* cells() const;
    void relayout();

    int m_lineHeight = 0;
    QList<int> m_levelExtent;
    QList<QList<int>> m_cover; ///< [level][section]: index of the cell drawn there, -1 for none
};

} // namespace bx
