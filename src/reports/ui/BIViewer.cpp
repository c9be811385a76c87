#include "reports/ui/BIViewer.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/WholeFile.h"
#include "core/settings/SettingsStore.h"
#include "core/ui/HtmlPrinter.h"
#include "core/ui/Named.h"
#include "core/ui/ShowRefusal.h"
#include "reports/PivotChartData.h"
#include "reports/PivotExport.h"
#include "reports/PivotLayout.h"
#include "reports/ui/PivotModel.h"
#include "reports/ui/PivotTableView.h"

#include <QAction>
#include <QActionGroup>
#include <QChart>
#include <QChartView>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <tuple>
#include <utility>

namespace bx {

namespace {

const QString kSettingsSection = QStringLiteral("Options\\BI");
const QString kShowScreen = QStringLiteral("ShowScreen");
const QString kChartView = QStringLiteral("mnuChartView");
const QString kLegend = QStringLiteral("Legend");
const QString kChartStyle = QStringLiteral("ChartStyle");

const QString kNothingToExport = QStringLiteral("Please build report. ");

constexpr int kDimensionRole = Qt::UserRole;

QAction* toggle(QToolBar* bar, const QString& text, const char* name)
{
    QAction* action = named(bar->addAction(text), name);
    action->setCheckable(true);
    return action;
}

} // namespace

BIViewer::BIViewer(Session& session, Prompt& prompt, QWidget* parent)
    : QWidget(parent)
    , m_session(session)
    , m_prompt(prompt)
    , m_chooseFile([this](const QString& caption, const QString& filter) {
        return QFileDialog::getSaveFileName(this, caption, QString(), filter);
    })
    , m_preview([this](const std::function<void(QPrinter&)>& paint) {
        QPrintPreviewDialog preview(this);
        connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                [&](QPrinter* printer) { paint(*printer); });
        preview.exec();
    })
    , m_toolbar(named(new QToolBar, "tbBI"))
    , m_title(named(new QLabel, "lblTitle"))
    , m_views(new QSplitter(Qt::Vertical))
    , m_grid(named(new PivotTableView, "grdPivot"))
    , m_chartView(named(new QChartView, "chtPivot"))
    , m_pivotFrame(named(new QWidget, "fraPivot"))
    , m_rows(named(new QListWidget, "lstRows"))
    , m_columns(named(new QListWidget, "lstColumns"))
{
    setObjectName(QStringLiteral("BIViewer"));
    m_showGrid = toggle(m_toolbar, QStringLiteral("Grid"), "ShowScreen");
    m_showChart = toggle(m_toolbar, QStringLiteral("Chart"), "mnuChartView");

    auto* kindMenu = new QMenu(this);
    m_kinds = new QActionGroup(this);
    const std::pair<ChartKind, const char*> kinds[] = {{ChartKind::Line, "Line"},
                                                       {ChartKind::Step, "Step"},
                                                       {ChartKind::Bar, "Bar"},
                                                       {ChartKind::Pie, "Pie"},
                                                       {ChartKind::Area, "Area"}};
    for (const auto& [kind, caption] : kinds) {
        QAction* action =
            named(kindMenu->addAction(QString::fromLatin1(caption)), chartKindName(kind));
        action->setCheckable(true);
        action->setData(int(kind));
        m_kinds->addAction(action);
    }
    auto* kindButton = named(new QToolButton, "mnuChartStyle");
    kindButton->setText(QStringLiteral("Chart Type"));
    kindButton->setMenu(kindMenu);
    kindButton->setPopupMode(QToolButton::InstantPopup);
    m_toolbar->addWidget(kindButton);
    m_axes = toggle(m_toolbar, QStringLiteral("Axes"), "mnuAxes");
    m_legend = toggle(m_toolbar, QStringLiteral("Legend"), "Legend");
    m_marks = toggle(m_toolbar, QStringLiteral("Marks"), "mnuMarks");
    m_axes->setChecked(true);
    m_toolbar->addSeparator();
    m_pivotPanel = toggle(m_toolbar, QStringLiteral("Pivot"), "mnuPivot");
    m_filter =
        named(m_toolbar->addAction(QStringLiteral("Filter..."), this, &BIViewer::chooseMembers),
              "mnuFilter");
    m_toolbar->addSeparator();
    named(m_toolbar->addAction(QStringLiteral("Print"), this, &BIViewer::print), "Print");
    named(m_toolbar->addAction(QStringLiteral("CSV"), this, &BIViewer::exportCsv), "ExportCSV");
    named(m_toolbar->addAction(QStringLiteral("HTML"), this, &BIViewer::exportHtml), "ExportHTML");

    // The pivot panel: the row and column dimensions, in nesting order. Items are dragged
    // between the lists or moved with the buttons; either builds the grid again.
    for (QListWidget* list : {m_rows, m_columns}) {
        list->setDragDropMode(QAbstractItemView::DragDrop);
        list->setDefaultDropAction(Qt::MoveAction);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        connect(list->model(), &QAbstractItemModel::rowsInserted, this, &BIViewer::schedulePivot);
        connect(list->model(), &QAbstractItemModel::rowsRemoved, this, &BIViewer::schedulePivot);
        connect(list->model(), &QAbstractItemModel::rowsMoved, this, &BIViewer::schedulePivot);
    }
    auto* toColumns = named(new QPushButton(QStringLiteral("Across >")), "cmdToColumns");
    auto* toRows = named(new QPushButton(QStringLiteral("< Down")), "cmdToRows");
    auto* swap = named(new QPushButton(QStringLiteral("Swap")), "cmdSwap");
    connect(toColumns, &QPushButton::clicked, this, [this] { movePivotItem(m_rows, m_columns); });
    connect(toRows, &QPushButton::clicked, this, [this] { movePivotItem(m_columns, m_rows); });
    connect(swap, &QPushButton::clicked, this, &BIViewer::swapAxes);
    auto* pivotLayout = new QGridLayout(m_pivotFrame);
    pivotLayout->setContentsMargins(0, 0, 0, 0);
    pivotLayout->addWidget(new QLabel(QStringLiteral("Rows:")), 0, 0);
    pivotLayout->addWidget(new QLabel(QStringLiteral("Columns:")), 0, 2);
    pivotLayout->addWidget(m_rows, 1, 0, 4, 1);
    pivotLayout->addWidget(toColumns, 1, 1);
    pivotLayout->addWidget(toRows, 2, 1);
    pivotLayout->addWidget(swap, 3, 1);
    pivotLayout->addWidget(m_columns, 1, 2, 4, 1);
    m_pivotFrame->setMaximumHeight(140);
    m_pivotFrame->hide();

    QFont big = m_title->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.2);
    m_title->setFont(big);
    m_title->setTextFormat(Qt::PlainText);
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_views->addWidget(m_grid);
    m_views->addWidget(m_chartView);
    m_views->setChildrenCollapsible(false);
    auto* box = new QVBoxLayout(this);
    box->addWidget(m_toolbar);
    box->addWidget(m_title);
    box->addWidget(m_pivotFrame);
    box->addWidget(m_views, 1);

    // The options kept per user.
    const SettingsStore& settings = m_session.settings();
    m_showGrid->setChecked(settings.getBool(kSettingsSection, kShowScreen, true));
    m_showChart->setChecked(settings.getBool(kSettingsSection, kChartView, false));
    m_legend->setChecked(settings.getBool(kSettingsSection, kLegend, true));
    m_kind = chartKindNamed(settings.get(kSettingsSection, kChartStyle)).value_or(ChartKind::Bar);
    for (QAction* action : m_kinds->actions())
        action->setChecked(action->data().toInt() == int(m_kind));

    connect(m_showGrid, &QAction::toggled, this, [this] { applyViews(); });
    connect(m_showChart, &QAction::toggled, this, [this] { applyViews(); });
    connect(m_kinds, &QActionGroup::triggered, this,
            [this](QAction* action) { setChartKind(ChartKind(action->data().toInt())); });
    connect(m_legend, &QAction::toggled, this, [this](bool on) {
        m_session.settings().setBool(kSettingsSection, kLegend, on);
        refreshChart();
    });
    connect(m_axes, &QAction::toggled, this, &BIViewer::refreshChart);
    connect(m_marks, &QAction::toggled, this, &BIViewer::refreshChart);
    connect(m_pivotPanel, &QAction::toggled, m_pivotFrame, &QWidget::setVisible);
    setPresentation({}, false);
    applyViews();
}

BIViewer::~BIViewer() = default;

QSize BIViewer::sizeHint() const
{
    return {960, 600};
}

bool BIViewer::hasReport() const
{
    return m_grid->pivotModel()->hasGrid();
}

const pivot::Grid* BIViewer::grid() const
{
    return m_grid->pivotModel()->grid();
}

QChart* BIViewer::chart() const
{
    return m_chartView->chart();
}

void BIViewer::setPresentation(const pivot::Presentation& presentation, bool pivotable)
{
    m_presentation = presentation;
    m_title->setText(presentation.title);
    m_title->setVisible(presentation.showTitle && !presentation.title.isEmpty());
    static const Qt::Alignment kAlign[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    const int align =
        presentation.titleAlign >= 0 && presentation.titleAlign <= 2 ? presentation.titleAlign : 0;
    m_title->setAlignment(kAlign[align] | Qt::AlignVCenter);

    const bool canPivot = pivotable && presentation.allowPivot;
    m_pivotPanel->setVisible(canPivot);
    if (!canPivot)
        m_pivotPanel->setChecked(false);
    m_filter->setVisible(pivotable && presentation.allowFilter);
}

bool BIViewer::showAnalysis(std::shared_ptr<const pivot::Source> source,
                            pivot::Definition definition, const pivot::Presentation& presentation)
{
    m_source = std::move(source);
    m_dimensions = definition.rows + definition.columns;
    m_facts = definition.facts;
    setPresentation(presentation, m_source != nullptr);
    m_shownRows.clear();
    m_shownColumns.clear();
    for (int d = 0; d < m_dimensions.size(); ++d)
        (d < definition.rows.size() ? m_shownRows : m_shownColumns) << d;
    fillPivotLists();
    m_pivotPending = false;
    if (m_source && pivot())
        return true;
    m_grid->pivotModel()->setGrid(std::nullopt);
    refreshChart();
    return false;
}

void BIViewer::showGrid(pivot::Grid grid, const pivot::Presentation& presentation)
{
    m_source.reset();
    m_dimensions.clear();
    m_facts.clear();
    setPresentation(presentation, false);
    m_shownRows.clear();
    m_shownColumns.clear();
    fillPivotLists();
    m_grid->pivotModel()->setGrid(std::move(grid));
    refreshChart();
}

void BIViewer::clear()
{
    showAnalysis(nullptr, {}, {});
}

void BIViewer::fillPivotLists()
{
    m_filling = true;
    for (auto [list, dimensions] :
         {std::pair(m_rows, &m_shownRows), std::pair(m_columns, &m_shownColumns)}) {
        list->clear();
        for (int d : *dimensions) {
            auto* item = new QListWidgetItem(m_dimensions[d].title);
            item->setData(kDimensionRole, d);
            list->addItem(item);
        }
    }
    m_filling = false;
}

void BIViewer::schedulePivot()
{
    if (m_filling || m_pivotPending || !m_source)
        return;
    m_pivotPending = true;
    QTimer::singleShot(0, this, [this] {
        if (!m_pivotPending)
            return;
        m_pivotPending = false;
        pivot();
    });
}

void BIViewer::movePivotItem(QListWidget* from, QListWidget* to)
{
    const int row = from->currentRow() >= 0 ? from->currentRow() : from->count() - 1;
    if (row < 0)
        return;
    QListWidgetItem* item = from->takeItem(row);
    to->addItem(item);
    to->setCurrentItem(item);
}

void BIViewer::swapAxes()
{
    QList<QListWidgetItem*> rows;
    QList<QListWidgetItem*> columns;
    m_filling = true;
    while (m_rows->count())
        rows << m_rows->takeItem(0);
    while (m_columns->count())
        columns << m_columns->takeItem(0);
    for (QListWidgetItem* item : columns)
        m_rows->addItem(item);
    for (QListWidgetItem* item : rows)
        m_columns->addItem(item);
    m_filling = false;
    schedulePivot();
}

bool BIViewer::pivot()
{
    if (!m_source)
        return false;
    pivot::Definition definition;
    QList<int> rows;
    QList<int> columns;
    for (auto [list, dimensions, placed] : {std::tuple(m_rows, &definition.rows, &rows),
                                            std::tuple(m_columns, &definition.columns, &columns)})
        for (int i = 0; i < list->count(); ++i) {
            const int d = list->item(i)->data(kDimensionRole).toInt();
            *dimensions << m_dimensions.value(d);
            *placed << d;
        }
    definition.facts = m_facts;
    Outcome<pivot::Grid> built = pivot::build(*m_source, definition);
    if (!built) {
        // The lists go back to the grid still shown.
        fillPivotLists();
        if (built.refusal())
            showRefusal(m_prompt, built.refusal()->message);
        return false;
    }
    m_shownRows = rows;
    m_shownColumns = columns;
    m_grid->pivotModel()->setGrid(*built);
    refreshChart();
    return true;
}

void BIViewer::showViews(bool grid, bool chart)
{
    const QSignalBlocker blockGrid(m_showGrid);
    const QSignalBlocker blockChart(m_showChart);
    m_showGrid->setChecked(grid);
    m_showChart->setChecked(chart);
    applyViews();
}

void BIViewer::applyViews()
{
    if (!m_showGrid->isChecked() && !m_showChart->isChecked()) {
        const QSignalBlocker block(m_showGrid);
        m_showGrid->setChecked(true);
    }
    m_grid->setVisible(m_showGrid->isChecked());
    m_chartView->setVisible(m_showChart->isChecked());
    SettingsStore::Batch batch(m_session.settings());
    m_session.settings().setBool(kSettingsSection, kShowScreen, m_showGrid->isChecked());
    m_session.settings().setBool(kSettingsSection, kChartView, m_showChart->isChecked());
    refreshChart();
}

void BIViewer::setChartKind(ChartKind kind)
{
    m_kind = kind;
    for (QAction* action : m_kinds->actions())
        action->setChecked(action->data().toInt() == int(kind));
    m_session.settings().set(kSettingsSection, kChartStyle, chartKindName(kind));
    refreshChart();
}

void BIViewer::refreshChart()
{
    QChart* chart = nullptr;
    if (const pivot::Grid* g = grid(); g && m_showChart->isChecked()) {
        const pivot::Layout layout(*g);
        chart = buildChart(pivot::chartData(layout), m_kind,
                           {m_axes->isChecked(), m_legend->isChecked(), m_marks->isChecked()},
                           QString());
    } else {
        chart = new QChart;
        chart->legend()->setVisible(false);
    }
    QChart* old = m_chartView->chart();
    m_chartView->setChart(chart);
    delete old;
}

void BIViewer::print()
{
    if (!hasReport()) {
        m_prompt.inform(QStringLiteral("Please build some report. "));
        return;
    }
    if (m_showChart->isChecked() && !m_showGrid->isChecked()) {
        m_preview([this](QPrinter& printer) { paintChart(printer); });
        return;
    }
    const QString html = pivot::toHtml(*grid(), m_presentation);
    m_preview([&html](QPrinter& printer) { HtmlPrinter(html).print(printer); });
}

void BIViewer::paintChart(QPrinter& printer) const
{
    QPainter painter(&printer);
    const QRect page = painter.viewport();
    QRect area = page;
    if (m_presentation.showTitle && !m_presentation.title.isEmpty()) {
        static const Qt::Alignment kAlign[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
        const int align = m_presentation.titleAlign >= 0 && m_presentation.titleAlign <= 2
                              ? m_presentation.titleAlign
                              : 0;
        QFont big = painter.font();
        big.setBold(true);
        big.setPointSizeF(14);
        painter.setFont(big);
        const int height = painter.fontMetrics().height() * 2;
        painter.drawText(QRect(page.left(), page.top(), page.width(), height),
                         kAlign[align] | Qt::AlignVCenter, m_presentation.title);
        area.setTop(page.top() + height);
    }
    // The chart keeps the shape it has on the screen, as large as the page allows.
    QSize size = m_chartView->size();
    if (size.isEmpty())
        size = QSize(4, 3);
    size.scale(area.size(), Qt::KeepAspectRatio);
    m_chartView->render(&painter, QRectF(QPointF(area.topLeft()), QSizeF(size)));
}

void BIViewer::exportCsv()
{
    if (!hasReport()) {
        m_prompt.inform(kNothingToExport);
        return;
    }
    exportFile(QStringLiteral("Export to CSV"), QStringLiteral("CSV files (*.csv)"),
               pivot::toCsv(*grid()));
}

void BIViewer::exportHtml()
{
    if (!hasReport()) {
        m_prompt.inform(kNothingToExport);
        return;
    }
    exportFile(QStringLiteral("Export to HTML"), QStringLiteral("HTML files (*.html *.htm)"),
               pivot::toHtml(*grid(), m_presentation).toUtf8());
}

void BIViewer::exportFile(const QString& caption, const QString& filter, const QByteArray& contents)
{
    const QString path = m_chooseFile(caption, filter);
    if (path.isEmpty())
        return;
    const QString failure = writeWholeFile(path, contents);
    if (failure.isEmpty())
        return;
    const QString message = QStringLiteral("Cannot write %1: %2").arg(path, failure);
    m_session.errorLog().write(caption, message);
    m_prompt.inform(message, QString(), PromptIcon::Critical);
}

void BIViewer::chooseMembers()
{
    const pivot::Grid* g = grid();
    if (!m_source || !g)
        return;
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgBIFilter"));
    dialog.setWindowTitle(QStringLiteral("Filter"));
    auto* tree = named(new QTreeWidget, "tvwMembers");
    tree->setHeaderHidden(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* box = new QVBoxLayout(&dialog);
    box->addWidget(tree);
    box->addWidget(buttons);
    dialog.resize(360, 420);

    // The grid lists every member it met, hidden ones too, per axis in nesting order.
    const auto addAxis = [&](const pivot::Axis& axis, const QList<int>& dimensions) {
        for (int level = 0; level < axis.dimensions.size() && level < dimensions.size(); ++level) {
            const int d = dimensions[level];
            auto* top = new QTreeWidgetItem(tree, {axis.dimensions[level].title});
            top->setData(0, kDimensionRole, d);
            for (const pivot::Member& member : axis.members[level]) {
                auto* item = new QTreeWidgetItem(
                    top, {member.label.isEmpty() ? QStringLiteral("(empty)") : member.label});
                item->setData(0, Qt::UserRole + 1, member.value);
                bool hidden = false;
                for (const QVariant& h : std::as_const(m_dimensions[d].hidden))
                    hidden = hidden || (h.isNull() ? member.value.isNull()
                                                   : !member.value.isNull() && h == member.value);
                item->setCheckState(0, hidden ? Qt::Unchecked : Qt::Checked);
            }
            top->setExpanded(true);
        }
    };
    addAxis(g->rows(), m_shownRows);
    addAxis(g->columns(), m_shownColumns);
    if (dialog.exec() != QDialog::Accepted)
        return;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = tree->topLevelItem(i);
        QVariantList hidden;
        for (int j = 0; j < top->childCount(); ++j)
            if (top->child(j)->checkState(0) != Qt::Checked)
                hidden << top->child(j)->data(0, Qt::UserRole + 1);
        m_dimensions[top->data(0, kDimensionRole).toInt()].hidden = hidden;
    }
    pivot();
}

} // namespace bx
