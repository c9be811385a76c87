#include "reports/ui/dlgBIScreen.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "reports/ui/dlgNewFormula.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace bx {

/** An area of the designer: takes the columns dragged from the field list. */
class AreaList : public QListWidget
{
public:
    AreaList(QListWidget* fields, std::function<void()> dropped)
        : m_fields(fields)
        , m_dropped(std::move(dropped))
    {
        setAcceptDrops(true);
        setDragDropMode(QAbstractItemView::DropOnly);
        setSelectionMode(QAbstractItemView::SingleSelection);
    }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (event->source() == m_fields)
            event->acceptProposedAction();
        else
            event->ignore();
    }
    void dragMoveEvent(QDragMoveEvent* event) override
    {
        if (event->source() == m_fields)
            event->acceptProposedAction();
        else
            event->ignore();
    }
    void dropEvent(QDropEvent* event) override
    {
        if (event->source() != m_fields) {
            event->ignore();
            return;
        }
        // The column dragged is the one selected in the field list; the drop places it.
        event->setDropAction(Qt::CopyAction);
        event->accept();
        m_dropped();
    }

private:
    QListWidget* m_fields;
    std::function<void()> m_dropped;
};

namespace {

const QString kNoColumn = QStringLiteral("Please choose a column of the query.");

QString areaLabel(const AnalysisItem& item)
{
    switch (item.type) {
    case olap::ItemType::DatePart:
        return QStringLiteral("%1 of %2").arg(item.title, item.parentItem);
    case olap::ItemType::Fact:
        return QStringLiteral("%1 (%2 of %3)")
            .arg(item.title, aggregateName(olap::Aggregate(item.parameter1)), item.name);
    case olap::ItemType::Formula:
        return QStringLiteral("%1 = %2").arg(item.title, item.name);
    case olap::ItemType::Dimension:
        break;
    }
    return item.title;
}

QCheckBox* option(const QString& caption, const char* name, bool on)
{
    auto* box = named(new QCheckBox(caption), name);
    box->setChecked(on);
    return box;
}

/** The parts of a date column to show, asked in a small window: none for Cancel. */
std::optional<QList<olap::DatePart>> askParts(QWidget* parent, const QString& column)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("dlgDateParts"));
    dialog.setWindowTitle(QStringLiteral("Date Parts"));
    auto* box = new QVBoxLayout(&dialog);
    auto* label = new QLabel(QStringLiteral("Show these parts of %1:").arg(column));
    label->setTextFormat(Qt::PlainText);
    box->addWidget(label);
    QList<std::pair<olap::DatePart, QCheckBox*>> checks;
    for (int code = int(olap::DatePart::Year); code <= int(olap::DatePart::DayOfMonth); ++code) {
        const auto part = olap::DatePart(code);
        auto* check = new QCheckBox(datePartTitle(part));
        check->setChecked(part == olap::DatePart::Year || part == olap::DatePart::Quarter ||
                          part == olap::DatePart::Month);
        box->addWidget(check);
        checks << std::pair(part, check);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    box->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    QList<olap::DatePart> parts;
    for (const auto& [part, check] : std::as_const(checks))
        if (check->isChecked())
            parts << part;
    return parts;
}

} // namespace

dlgBIScreen::dlgBIScreen(Session& session, Prompt& prompt, const std::optional<Analysis>& editing,
                         QWidget* parent)
    : SessionDialog(session, prompt, "dlgBIScreen", QStringLiteral("Analysis Designer"), parent)
    , m_name(named(new QLineEdit, "txtName"))
    , m_query(named(new QPlainTextEdit, "txtSQL"))
    , m_allowFilter(option(QStringLiteral("Allow filter"), "chkAllowFilter", true))
    , m_allowInactiveDimArea(
          option(QStringLiteral("Allow inactive dimension area"), "chkAllowInactiveDimArea", true))
    , m_allowFactFilter(option(QStringLiteral("Allow fact filter"), "chkAllowFactFilter", true))
    , m_allowExpand(option(QStringLiteral("Allow expand"), "chkAllowExpand", true))
    , m_allowPivot(option(QStringLiteral("Allow pivot"), "chkAllowPivot", true))
    , m_allowTitle(option(QStringLiteral("Show title"), "chkAllowTitle", true))
    , m_titleAlign(named(new QComboBox, "cboTitleAlign"))
    , m_fields(named(new QListWidget, "lstFields"))
    , m_vertical(
          named(new AreaList(m_fields, [this] { dropped(AnalysisArea::Vertical); }), "lstVertical"))
    , m_horizontal(named(new AreaList(m_fields, [this] { dropped(AnalysisArea::Horizontal); }),
                         "lstHorizontal"))
    , m_facts(named(new AreaList(m_fields, [this] { addFact(); }), "lstFacts"))
    , m_aggregate(named(new QComboBox, "cboAggregate"))
{
    m_chooseParts = [this](const QString& column) { return askParts(this, column); };
    m_askFormula =
        [this](const QList<pivot::Fact>& facts) -> std::optional<std::pair<QString, QString>> {
        dlgNewFormula dialog(m_session, m_prompt, facts, this);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return std::pair(dialog.name(), dialog.expression());
    };
    m_titleAlign->addItems(
        {QStringLiteral("Left"), QStringLiteral("Centre"), QStringLiteral("Right")});
    for (const auto aggregate : {olap::Aggregate::Sum, olap::Aggregate::Min, olap::Aggregate::Max,
                                 olap::Aggregate::Count, olap::Aggregate::Average})
        m_aggregate->addItem(aggregateName(aggregate), int(aggregate));
    m_fields->setDragEnabled(true);
    m_fields->setDragDropMode(QAbstractItemView::DragOnly);
    m_fields->setSelectionMode(QAbstractItemView::SingleSelection);
    m_query->setTabChangesFocus(true);
    const QList<QListWidget*> areaLists{m_vertical, m_horizontal, m_facts};
    for (QListWidget* list : areaLists)
        connect(list, &QListWidget::itemSelectionChanged, this, [list, areaLists] {
            if (list->selectedItems().isEmpty())
                return;
            for (QListWidget* other : areaLists)
                if (other != list)
                    other->clearSelection();
        });

    if (editing) {
        m_design = AnalysisDesign::of(*editing);
        m_name->setText(m_design.title);
        m_query->setPlainText(m_design.query);
        const AnalysisOptions& o = m_design.options;
        m_allowFilter->setChecked(o.allowFilter);
        m_allowInactiveDimArea->setChecked(o.allowInactiveDimArea);
        m_allowFactFilter->setChecked(o.allowFactFilter);
        m_allowExpand->setChecked(o.allowExpand);
        m_allowPivot->setChecked(o.allowPivot);
        m_allowTitle->setChecked(o.allowTitle);
        m_titleAlign->setCurrentIndex(o.titleAlign >= 0 && o.titleAlign <= 2 ? o.titleAlign : 0);
    }

    const auto button = [this](const QString& caption, const char* name, auto slot) {
        auto* b = named(new QPushButton(caption), name);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    auto* columns = button(QStringLiteral("Columns"), "cmdColumns", [this] { readColumns(); });
    auto* toVertical = button(QStringLiteral("Vertical >"), "cmdAddVertical",
                              [this] { AddDimension(AnalysisArea::Vertical); });
    auto* toHorizontal = button(QStringLiteral("Horizontal >"), "cmdAddHorizontal",
                                [this] { AddDimension(AnalysisArea::Horizontal); });
    auto* toFacts = button(QStringLiteral("Fact >"), "cmdAddFact", [this] { addFact(); });
    auto* formula = button(QStringLiteral("Formula..."), "cmdFormula", [this] { addFormula(); });
    auto* remove = button(QStringLiteral("Remove"), "cmdRemoveItem", [this] { removeItem(); });
    auto* buttons = new QDialogButtonBox;
    named(buttons->addButton(QStringLiteral("Save"), QDialogButtonBox::AcceptRole), "cmdSave");
    named(buttons->addButton(QDialogButtonBox::Cancel), "cmdCancel");
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { save(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &dlgBIScreen::reject);

    auto* top = new QGridLayout;
    top->addWidget(new QLabel(QStringLiteral("Name:")), 0, 0);
    top->addWidget(m_name, 0, 1, 1, 2);
    top->addWidget(new QLabel(QStringLiteral("Query:")), 1, 0, Qt::AlignTop);
    top->addWidget(m_query, 1, 1);
    top->addWidget(columns, 1, 2, Qt::AlignTop);
    m_query->setFixedHeight(90);

    auto* options = new QGroupBox(QStringLiteral("Options"));
    auto* optionGrid = new QGridLayout(options);
    optionGrid->addWidget(m_allowFilter, 0, 0);
    optionGrid->addWidget(m_allowFactFilter, 0, 1);
    optionGrid->addWidget(m_allowInactiveDimArea, 0, 2);
    optionGrid->addWidget(m_allowExpand, 1, 0);
    optionGrid->addWidget(m_allowPivot, 1, 1);
    optionGrid->addWidget(m_allowTitle, 1, 2);
    optionGrid->addWidget(new QLabel(QStringLiteral("Title alignment:")), 1, 3);
    optionGrid->addWidget(m_titleAlign, 1, 4);

    auto* middle = new QVBoxLayout;
    middle->addStretch();
    for (QWidget* w : {static_cast<QWidget*>(toVertical), static_cast<QWidget*>(toHorizontal),
                       static_cast<QWidget*>(m_aggregate), static_cast<QWidget*>(toFacts),
                       static_cast<QWidget*>(formula), static_cast<QWidget*>(remove)})
        middle->addWidget(w);
    middle->addStretch();

    auto* areas = new QGridLayout;
    areas->addWidget(new QLabel(QStringLiteral("Columns:")), 0, 0);
    areas->addWidget(m_fields, 1, 0, 5, 1);
    areas->addLayout(middle, 1, 1, 5, 1);
    areas->addWidget(new QLabel(QStringLiteral("Vertical dimensions:")), 0, 2);
    areas->addWidget(m_vertical, 1, 2);
    areas->addWidget(new QLabel(QStringLiteral("Horizontal dimensions:")), 2, 2);
    areas->addWidget(m_horizontal, 3, 2);
    areas->addWidget(new QLabel(QStringLiteral("Facts:")), 4, 2);
    areas->addWidget(m_facts, 5, 2);

    auto* box = new QVBoxLayout(this);
    box->addLayout(top);
    box->addWidget(options);
    box->addLayout(areas, 1);
    box->addWidget(buttons);
    fillAreas();
    resize(760, 620);
}

bool dlgBIScreen::readColumns()
{
    Outcome<QList<QueryColumn>> columns;
    if (!runCommand(m_session, m_prompt, [&] {
            columns =
                queryColumns(m_session.db(), m_query->toPlainText(), m_session.system.queryWait);
        }))
        return false;
    if (showRefusal(m_prompt, columns.refusal()) || !columns)
        return false;
    m_columns = *columns;
    m_fields->clear();
    for (const QueryColumn& c : std::as_const(m_columns)) {
        const QString kind = c.kind == pivot::ColumnKind::Date     ? QStringLiteral("date")
                             : c.kind == pivot::ColumnKind::Number ? QStringLiteral("number")
                                                                   : QStringLiteral("text");
        m_fields->addItem(QStringLiteral("%1 (%2)").arg(c.name, kind));
    }
    if (!m_columns.isEmpty())
        m_fields->setCurrentRow(0);
    return true;
}

std::optional<QueryColumn> dlgBIScreen::selectedColumn() const
{
    const int row = m_fields->currentRow();
    if (row < 0 || row >= m_columns.size())
        return std::nullopt;
    return m_columns.at(row);
}

void dlgBIScreen::dropped(AnalysisArea area)
{
    AddDimension(area);
}

void dlgBIScreen::AddDimension(AnalysisArea area)
{
    const std::optional<QueryColumn> column = selectedColumn();
    if (!column) {
        m_prompt.inform(kNoColumn);
        return;
    }
    QList<olap::DatePart> parts;
    if (column->kind == pivot::ColumnKind::Date) {
        const std::optional<QList<olap::DatePart>> chosen = m_chooseParts(column->name);
        if (!chosen || chosen->isEmpty())
            return;
        parts = *chosen;
    }
    m_design.place(area, *column, parts);
    fillAreas();
}

void dlgBIScreen::addFact()
{
    const std::optional<QueryColumn> column = selectedColumn();
    if (!column) {
        m_prompt.inform(kNoColumn);
        return;
    }
    m_design.addFact(column->name, olap::Aggregate(m_aggregate->currentData().toInt()));
    fillAreas();
}

void dlgBIScreen::addFormula()
{
    const std::optional<std::pair<QString, QString>> formula =
        m_askFormula(m_design.formulaOperands());
    if (!formula)
        return;
    m_design.formulas << AnalysisItem::formula(formula->second, formula->first);
    fillAreas();
}

void dlgBIScreen::removeItem()
{
    // One area holds the selection: selecting in one clears the others.
    const auto selectedRow = [](const QListWidget* list) {
        const QList<QListWidgetItem*> selected = list->selectedItems();
        return selected.isEmpty() ? -1 : list->row(selected.first());
    };
    if (const int v = selectedRow(m_vertical); v >= 0) {
        m_design.vertical.removeAt(v);
    } else if (const int h = selectedRow(m_horizontal); h >= 0) {
        m_design.horizontal.removeAt(h);
    } else if (const int f = selectedRow(m_facts); f >= 0) {
        if (f < m_design.facts.size())
            m_design.facts.removeAt(f);
        else
            m_design.formulas.removeAt(f - m_design.facts.size());
    }
    fillAreas();
}

void dlgBIScreen::fillAreas()
{
    for (auto [list, items] :
         {std::pair(static_cast<QListWidget*>(m_vertical), &m_design.vertical),
          std::pair(static_cast<QListWidget*>(m_horizontal), &m_design.horizontal)}) {
        list->clear();
        for (const AnalysisItem& item : std::as_const(*items))
            list->addItem(areaLabel(item));
    }
    m_facts->clear();
    for (const AnalysisItem& item : std::as_const(m_design.facts))
        m_facts->addItem(areaLabel(item));
    for (const AnalysisItem& item : std::as_const(m_design.formulas))
        m_facts->addItem(areaLabel(item));
}

AnalysisDesign dlgBIScreen::design() const
{
    AnalysisDesign design = m_design;
    design.title = m_name->text().trimmed();
    design.query = m_query->toPlainText().trimmed();
    design.options = {m_allowFilter->isChecked(),     m_allowInactiveDimArea->isChecked(),
                      m_allowFactFilter->isChecked(), m_allowExpand->isChecked(),
                      m_allowPivot->isChecked(),      m_allowTitle->isChecked(),
                      m_titleAlign->currentIndex()};
    return design;
}

bool dlgBIScreen::save()
{
    const Analysis analysis = design().analysis();
    // The areas are checked first, as the store does; a name is needed before the store is asked.
    if (const auto problem = analysisProblem(analysis)) {
        showRefusal(m_prompt, problem->message);
        return false;
    }
    if (analysis.title.isEmpty()) {
        showRefusal(m_prompt, QStringLiteral("Please enter the name of the report."), m_name);
        return false;
    }
    Outcome<qlonglong> saved;
    AnalysisStore store(m_session, m_prompt);
    if (!runCommand(m_session, m_prompt, [&] { saved = store.save(analysis); }))
        return false;
    if (showRefusal(m_prompt, saved.refusal()) || !saved)
        return false;
    m_savedId = *saved;
    QDialog::accept();
    return true;
}

} // namespace bx
