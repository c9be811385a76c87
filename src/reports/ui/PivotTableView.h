#pragma once

#include <QTableView>

namespace bx {

class NestedHeaderView;
class PivotModel;

/**
 * The grid of an analysis: a PivotModel with nested headers, and over the row header the row
 * dimensions' titles (and, above them, a single fact's caption).
 */
class PivotTableView : public QTableView
{
    Q_OBJECT

public:
    explicit PivotTableView(QWidget* parent = nullptr);

    PivotModel* pivotModel() const { return m_model; }
    NestedHeaderView* columnHeader() const { return m_columns; }
    NestedHeaderView* rowHeader() const { return m_rows; }

    /** Fits the columns to their contents; called after each new grid. */
    void fitColumns();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void paintCorner(QWidget& corner) const;

    PivotModel* m_model;
    NestedHeaderView* m_columns;
    NestedHeaderView* m_rows;
};

} // namespace bx
