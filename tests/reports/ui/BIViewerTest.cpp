#include "reports/ui/BIViewer.h"

#include "reports/PivotExport.h"
#include "reports/ui/NestedHeaderView.h"
#include "reports/ui/PivotModel.h"
#include "reports/ui/PivotTableView.h"
#include "support/PivotRows.h"
#include "support/WindowTest.h"

#include <QAction>
#include <QApplication>
#include <QAreaSeries>
#include <QBarSeries>
#include <QChart>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QListWidget>
#include <QPieSeries>
#include <QPrinter>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::test;
using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"<b>R&D</b> & Co"_s;

class BIViewerTest : public WindowTest
{
protected:
    void TearDown() override { session.closeDatabase(); }

    /** Owner down, Year and Status across, allowed to pivot and filter. */
    void showTwoYears(BIViewer& viewer)
    {
        ASSERT_TRUE(viewer.showAnalysis(std::make_shared<pivot::Source>(twoYears()),
                                        ownerByYearAndStatus(), {kTitle, true, 1}));
    }

    static QStringList rowLabels(const BIViewer& viewer)
    {
        QStringList labels;
        const pivot::Layout layout(*viewer.grid());
        for (int r = 0; r < layout.rowCount(); ++r)
            labels << layout.rowLabel(r);
        return labels;
    }

    QByteArray exported(BIViewer& viewer, void (BIViewer::*command)())
    {
        const QString path = dir.filePath(u"O'Neil's analysis.out"_s);
        viewer.setFileChooser([&](const QString&, const QString&) { return path; });
        (viewer.*command)();
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

// The grid shows the body as the layout has it, and the header draws "2024" over its two
// statuses and its subtotal.
TEST_F(BIViewerTest, ShowsTheGridWithNestedHeaders)
{
    BIViewer viewer(session, prompt);
    viewer.show();
    showTwoYears(viewer);
    auto* grid = child<PivotTableView>(viewer, "grdPivot");
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->model()->rowCount(), 3);
    EXPECT_EQ(grid->model()->columnCount(), 6);
    EXPECT_EQ(grid->model()->index(1, 3).data().toString(), u"8"_s);
    const pivot::HeaderCell* year = grid->columnHeader()->cellAt(4, 0);
    ASSERT_NE(year, nullptr);
    EXPECT_EQ(year->text, u"2024"_s);
    EXPECT_EQ(year->first, 2);
    EXPECT_EQ(year->span, 3);
    const pivot::HeaderCell* total = grid->columnHeader()->cellAt(5, 1);
    ASSERT_NE(total, nullptr);
    EXPECT_TRUE(total->total);
    EXPECT_EQ(total->level, 0);
    EXPECT_EQ(grid->columnHeader()->height(), grid->columnHeader()->levelOffset(2));
    EXPECT_EQ(child<QLabel>(viewer, "lblTitle")->text(), kTitle);
    EXPECT_EQ(child<QLabel>(viewer, "lblTitle")->textFormat(), Qt::PlainText);
    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
}

struct KindCase
{
    ChartKind kind;
    const char* seriesClass;
    int series;
};

// Each kind of chart draws the innermost lines: a series per year's status (3 of them), a pie of
// the owners.
TEST_F(BIViewerTest, SwitchesToEveryKindOfChart)
{
    BIViewer viewer(session, prompt);
    viewer.show();
    showTwoYears(viewer);
    viewer.showViews(false, true);
    EXPECT_FALSE(child<PivotTableView>(viewer, "grdPivot")->isVisible());
    const KindCase cases[] = {{ChartKind::Line, "QLineSeries", 3},
                              {ChartKind::Step, "QLineSeries", 3},
                              {ChartKind::Bar, "QBarSeries", 1},
                              {ChartKind::Pie, "QPieSeries", 1},
                              {ChartKind::Area, "QAreaSeries", 3}};
    for (const KindCase& c : cases) {
        SCOPED_TRACE(chartKindName(c.kind).toStdString());
        child<QAction>(viewer, chartKindName(c.kind).toLatin1().constData())->trigger();
        EXPECT_EQ(viewer.chartKind(), c.kind);
        QChart* chart = viewer.chart();
        ASSERT_EQ(chart->series().size(), c.series);
        EXPECT_STREQ(chart->series()[0]->metaObject()->className(), c.seriesClass);
        EXPECT_EQ(settings.get(u"Options\\BI"_s, u"ChartStyle"_s), chartKindName(c.kind));
        QCoreApplication::processEvents();
    }
    viewer.setChartKind(ChartKind::Step);
    // A step holds each owner's value across its category: two points each.
    EXPECT_EQ(static_cast<QLineSeries*>(viewer.chart()->series()[0])->count(), 2 * 2);
    viewer.setChartKind(ChartKind::Pie);
    auto* pie = static_cast<QPieSeries*>(viewer.chart()->series()[0]);
    ASSERT_EQ(pie->count(), 2);
    EXPECT_EQ(pie->slices()[1]->value(), 12);
    viewer.setChartKind(ChartKind::Bar);
    EXPECT_EQ(static_cast<QBarSeries*>(viewer.chart()->series()[0])->count(), 3);
}

TEST_F(BIViewerTest, TogglesAxesAndMarks)
{
    BIViewer viewer(session, prompt);
    showTwoYears(viewer);
    viewer.showViews(true, true);
    viewer.setChartKind(ChartKind::Line);
    child<QAction>(viewer, "mnuAxes")->trigger();
    for (QAbstractAxis* axis : viewer.chart()->axes())
        EXPECT_FALSE(axis->isVisible());
    child<QAction>(viewer, "mnuMarks")->trigger();
    EXPECT_TRUE(static_cast<QLineSeries*>(viewer.chart()->series()[0])->pointLabelsVisible());
}

// The views, the legend and the kind of chart come back in the next viewer.
TEST_F(BIViewerTest, KeepsItsOptionsPerUser)
{
    {
        BIViewer viewer(session, prompt);
        child<QAction>(viewer, "mnuChartView")->trigger();
        child<QAction>(viewer, "ShowScreen")->trigger();
        child<QAction>(viewer, "Legend")->trigger();
        child<QAction>(viewer, "ChartPie")->trigger();
    }

    BIViewer again(session, prompt);
    again.show();
    showTwoYears(again);
    EXPECT_EQ(again.chartKind(), ChartKind::Pie);
    EXPECT_FALSE(child<QAction>(again, "ShowScreen")->isChecked());
    EXPECT_TRUE(child<QAction>(again, "mnuChartView")->isChecked());
    EXPECT_FALSE(child<PivotTableView>(again, "grdPivot")->isVisible());
    EXPECT_FALSE(again.chart()->legend()->isVisible());

    // Turning the chart off too brings the grid back: one view is always shown.
    child<QAction>(again, "mnuChartView")->trigger();
    EXPECT_TRUE(child<QAction>(again, "ShowScreen")->isChecked());
    EXPECT_TRUE(child<PivotTableView>(again, "grdPivot")->isVisible());
}

TEST_F(BIViewerTest, AsksForAReportBeforePrintingOrExporting)
{
    BIViewer viewer(session, prompt);
    bool previewed = false;
    viewer.setPrintPreview([&](const auto&) { previewed = true; });
    viewer.setFileChooser([](const QString&, const QString&) {
        ADD_FAILURE() << "asked for a file";
        return QString();
    });
    child<QAction>(viewer, "Print")->trigger();
    child<QAction>(viewer, "ExportCSV")->trigger();
    child<QAction>(viewer, "ExportHTML")->trigger();
    EXPECT_EQ(prompt.texts(), texts({"Please build some report. ", "Please build report. ",
                                     "Please build report. "}));
    EXPECT_FALSE(previewed);
}

TEST_F(BIViewerTest, ExportsCsvAndHtmlThroughWholeFiles)
{
    BIViewer viewer(session, prompt);
    showTwoYears(viewer);
    EXPECT_EQ(exported(viewer, &BIViewer::exportCsv), pivot::toCsv(*viewer.grid()));
    EXPECT_EQ(exported(viewer, &BIViewer::exportHtml),
              pivot::toHtml(*viewer.grid(), {kTitle, true, 1}).toUtf8());
    EXPECT_TRUE(prompt.records().isEmpty());

    const QString nowhere = dir.filePath(u"no such folder/a.csv"_s);
    viewer.setFileChooser([&](const QString&, const QString&) { return nowhere; });
    viewer.exportCsv();
    ASSERT_EQ(prompt.records().size(), 1);
    EXPECT_TRUE(prompt.last().text.startsWith(u"Cannot write "_s + nowhere));
    EXPECT_EQ(prompt.last().icon, PromptIcon::Critical);
}

// The grid prints as its HTML page, the chart alone as a picture; both reach the printer.
TEST_F(BIViewerTest, PrintsTheGridOrTheChart)
{
    BIViewer viewer(session, prompt);
    viewer.resize(800, 500);
    viewer.show();
    showTwoYears(viewer);
    int page = 0;
    viewer.setPrintPreview([&](const std::function<void(QPrinter&)>& paint) {
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString path = dir.filePath(u"page%1.pdf"_s.arg(++page));
        printer.setOutputFileName(path);
        paint(printer);
        EXPECT_GT(QFile(path).size(), 1000) << page;
    });
    viewer.print();
    viewer.showViews(false, true);
    viewer.print();
    EXPECT_EQ(page, 2);
    EXPECT_TRUE(prompt.records().isEmpty());
}

// Moving a dimension and swapping the axes build the grid again from the rows.
TEST_F(BIViewerTest, PivotsByMovingDimensions)
{
    BIViewer viewer(session, prompt);
    viewer.show();
    showTwoYears(viewer);
    child<QAction>(viewer, "mnuPivot")->trigger();
    EXPECT_TRUE(child<QWidget>(viewer, "fraPivot")->isVisible());

    child<QPushButton>(viewer, "cmdSwap")->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(rowLabels(viewer).first(), u"2023 / Open"_s);

    auto* columns = child<QListWidget>(viewer, "lstColumns");
    auto* rows = child<QListWidget>(viewer, "lstRows");
    rows->setCurrentRow(0);
    child<QPushButton>(viewer, "cmdToColumns")->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(columns->count(), 2);
    EXPECT_EQ(rowLabels(viewer), texts({"Done", "Open", "Total"}));
}

// Unticking bob leaves his hours out of every cell and total.
TEST_F(BIViewerTest, FiltersTheMembersShown)
{
    BIViewer viewer(session, prompt);
    showTwoYears(viewer);
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* tree = dialog->findChild<QTreeWidget*>(u"tvwMembers"_s);
        ASSERT_NE(tree, nullptr);
        ASSERT_EQ(tree->topLevelItemCount(), 3);
        QTreeWidgetItem* owners = tree->topLevelItem(0);
        ASSERT_EQ(owners->childCount(), 2);
        EXPECT_EQ(owners->child(1)->text(0), u"bob"_s);
        owners->child(1)->setCheckState(0, Qt::Unchecked);
        dialog->accept();
    });
    viewer.chooseMembers();
    EXPECT_EQ(rowLabels(viewer), texts({"ann", "Total"}));
    const pivot::Layout layout(*viewer.grid());
    EXPECT_EQ(layout.value(1, layout.columnCount() - 1).toDouble(), 3);

    // bob is offered again, unticked.
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* tree = dialog->findChild<QTreeWidget*>(u"tvwMembers"_s);
        EXPECT_EQ(tree->topLevelItem(0)->child(1)->checkState(0), Qt::Unchecked);
        dialog->reject();
    });
    viewer.chooseMembers();
}

// A grid built elsewhere is shown but, without its rows, offers no pivot and no filter.
TEST_F(BIViewerTest, AGridWithoutRowsCannotBePivoted)
{
    BIViewer viewer(session, prompt);
    viewer.show();
    viewer.showGrid(built(twoYears(), ownerByYearAndStatus()), {kTitle, false, 0});
    EXPECT_TRUE(viewer.hasReport());
    EXPECT_FALSE(child<QAction>(viewer, "mnuPivot")->isVisible());
    EXPECT_FALSE(child<QAction>(viewer, "mnuFilter")->isVisible());
    EXPECT_FALSE(child<QLabel>(viewer, "lblTitle")->isVisible());
}

} // namespace
