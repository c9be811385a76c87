#pragma once

#include "reports/Pivot.h"
#include "reports/PivotPresentation.h"
#include "reports/ui/PivotChart.h"

#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QActionGroup;
class QChart;
class QChartView;
class QLabel;
class QListWidget;
class QPrinter;
class QSplitter;
class QToolBar;

namespace bx {

class PivotTableView;
class Prompt;
class Session;

/**
 * The viewer of an analysis: its grid, its chart or both, one above the other. The toolbar switches
 * the views ("ShowScreen", "mnuChartView"), chooses the chart's kind and its axes, legend and
 * marks, moves dimensions between rows and columns (when the analysis allows pivoting), chooses
 * the members shown (when it allows filtering), prints and exports as CSV or HTML.
 *
 * The views, the legend and the chart's kind are kept per user in the settings section
 * "Options\BI" (keys "ShowScreen", "mnuChartView", "Legend", "ChartStyle").
 */
class BIViewer : public QWidget
{
    Q_OBJECT

public:
    BIViewer(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~BIViewer() override;

    /**
     * Builds the analysis from `source` after `definition` and shows it. A refusal of the build is
     * shown and leaves the viewer empty. @return whether a grid is shown
     */
    bool showAnalysis(std::shared_ptr<const pivot::Source> source, pivot::Definition definition,
                      const pivot::Presentation& presentation);
    /** Shows a grid built elsewhere; without its rows it can be neither pivoted nor filtered. */
    void showGrid(pivot::Grid grid, const pivot::Presentation& presentation);
    /** Shows nothing. */
    void clear();
    bool hasReport() const;
    const pivot::Grid* grid() const;

    /** Which views are shown; at least one always is (the grid when both are turned off). */
    void showViews(bool grid, bool chart);
    void setChartKind(ChartKind kind);
    ChartKind chartKind() const { return m_kind; }
    QChart* chart() const;

    /** Prints the grid, or the chart when only the chart is shown, through the print preview. */
    void print();
    void exportCsv();
    void exportHtml();
    /** Asks which members of each dimension to show, and builds the grid again. */
    void chooseMembers();

    /** Asks for the file to export to: (caption, filter) -> path, "" for none. */
    using FileChooser = std::function<QString(const QString&, const QString&)>;
    void setFileChooser(FileChooser choose) { m_chooseFile = std::move(choose); }
    /** Shows a print preview of what `paint` draws on a printer. */
    using PrintPreview = std::function<void(const std::function<void(QPrinter&)>& paint)>;
    void setPrintPreview(PrintPreview preview) { m_preview = std::move(preview); }

    QSize sizeHint() const override;

private:
    void setPresentation(const pivot::Presentation& presentation, bool pivotable);
    void fillPivotLists();
    void movePivotItem(QListWidget* from, QListWidget* to);
    void swapAxes();
    void schedulePivot();
    bool pivot();
    void refreshChart();
    void applyViews();
    void exportFile(const QString& caption, const QString& filter, const QByteArray& contents);
    void paintChart(QPrinter& printer) const;

    Session& m_session;
    Prompt& m_prompt;
    FileChooser m_chooseFile;
    PrintPreview m_preview;

    QToolBar* m_toolbar;
    QAction* m_showGrid;
    QAction* m_showChart;
    QActionGroup* m_kinds;
    QAction* m_axes;
    QAction* m_legend;
    QAction* m_marks;
    QAction* m_pivotPanel;
    QAction* m_filter;
    QLabel* m_title;
    QSplitter* m_views;
    PivotTableView* m_grid;
    QChartView* m_chartView;
    QWidget* m_pivotFrame;
    QListWidget* m_rows;
    QListWidget* m_columns;

    ChartKind m_kind = ChartKind::Bar;
    pivot::Presentation m_presentation;
    std::shared_ptr<const pivot::Source> m_source;
    /** Every dimension of the analysis, wherever it stands, with the members it hides. */
    QList<pivot::Dimension> m_dimensions;
    QList<pivot::Fact> m_facts;
    /** The dimensions (indexes into m_dimensions) of the grid shown, down and across. */
    QList<int> m_shownRows;
    QList<int> m_shownColumns;
    bool m_filling = false;
    bool m_pivotPending = false;
};

} // namespace bx
