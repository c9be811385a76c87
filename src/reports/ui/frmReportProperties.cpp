#include "reports/ui/frmReportProperties.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/ParameterQuery.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFont>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace bx {

namespace {

template <typename E> using Choices = std::initializer_list<std::pair<E, const char*>>;

const Choices<ReportOrientation> kOrientations = {{ReportOrientation::Portrait, "Portrait"},
                                                  {ReportOrientation::Landscape, "Landscape"}};
const Choices<ReportParameterType> kKinds = {
    {ReportParameterType::Text, "Text"},         {ReportParameterType::Date, "Date"},
    {ReportParameterType::Number, "Number"},     {ReportParameterType::User, "User"},
    {ReportParameterType::Workshop, "Workshop"},
};
const Choices<ReportAlign> kAligns = {
    {ReportAlign::Left, "Left"}, {ReportAlign::Right, "Right"}, {ReportAlign::Center, "Center"}};
const Choices<ReportFunction> kFunctions = {
    {ReportFunction::Sum, "Sum"},     {ReportFunction::Count, "Count"},
    {ReportFunction::Avg, "Average"}, {ReportFunction::Min, "Minimum"},
    {ReportFunction::Max, "Maximum"},
};
const Choices<ReportLevel> kLevels = {{ReportLevel::Group, "Each group"},
                                      {ReportLevel::Report, "Whole report"}};
const reportrun::Source kSources[] = {reportrun::Source::Tasks, reportrun::Source::Attachments,
                                      reportrun::Source::History};
/** The data of the source list's own query, and of the style list's plain look. */
constexpr int kNone = -1;

// The cells of each table.
enum ParameterCell
{
    PName,
    PCaption,
    PKind,
    PAsk,
    PDefault,
};
enum ColumnCell
{
    CField,
    CCaption,
    CFormat,
    CAlign,
    CWidth,
    CHidden,
};
enum GroupCell
{
    GField,
    GCaption,
    GHeader,
    GFooter,
};
enum SortCell
{
    SField,
    SDescending,
};
enum TotalCell
{
    TField,
    TFunction,
    TLevel,
    TCaption,
};

template <typename E> QComboBox* choiceBox(Choices<E> choices, E current)
{
    auto* box = new QComboBox;
    for (const auto& [value, caption] : choices)
        box->addItem(QString::fromLatin1(caption), int(value));
    box->setCurrentIndex(box->findData(int(current)));
    return box;
}

template <typename E> E chosen(const QComboBox* box)
{
    return E(box->currentData().toInt());
}

QTableWidget* newTable(const char* name, const QStringList& headers)
{
    auto* table = named(new QTableWidget(0, int(headers.size())), name);
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->hide();
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void setText(QTableWidget* table, int row, int cell, const QString& text)
{
    table->setItem(row, cell, new QTableWidgetItem(text));
}

void setCheck(QTableWidget* table, int row, int cell, bool on)
{
    auto* item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    table->setItem(row, cell, item);
}

QString textAt(const QTableWidget* table, int row, int cell)
{
    const QTableWidgetItem* item = table->item(row, cell);
    return item ? item->text() : QString();
}

bool checkedAt(const QTableWidget* table, int row, int cell)
{
    const QTableWidgetItem* item = table->item(row, cell);
    return item && item->checkState() == Qt::Checked;
}

QComboBox* boxAt(const QTableWidget* table, int row, int cell)
{
    return static_cast<QComboBox*>(table->cellWidget(row, cell));
}

template <typename E> E choiceAt(const QTableWidget* table, int row, int cell)
{
    return chosen<E>(boxAt(table, row, cell));
}

using RowEdit = frmReportProperties::RowEdit;

/** Adds, removes or moves the entry at `row`; returns the row to select after. */
template <typename T> int editList(QList<T>& list, RowEdit edit, int row, const T& added)
{
    const int count = int(list.size());
    switch (edit) {
    case RowEdit::Add:
        list.append(added);
        return count;
    case RowEdit::Remove:
        if (row < 0 || row >= count)
            return row;
        list.removeAt(row);
        return std::min(row, count - 2);
    case RowEdit::Up:
        if (row <= 0 || row >= count)
            return row;
        list.swapItemsAt(row, row - 1);
        return row - 1;
    case RowEdit::Down:
        break;
    }
    if (row < 0 || row >= count - 1)
        return row;
    list.swapItemsAt(row, row + 1);
    return row + 1;
}

} // namespace

frmReportProperties::frmReportProperties(Session& session, Prompt& prompt,
                                         const ReportLayout& layout, QWidget* parent)
    : SessionDialog(session, prompt, "frmReportProperties", QStringLiteral("Report Properties"),
                    parent)
    , m_original(layout)
    , m_result(layout)
    , m_tabs(named(new QTabWidget, "tabProperties"))
    , m_title(named(new QLineEdit, "txtTitle"))
    , m_description(named(new QPlainTextEdit, "txtDescription"))
    , m_orientation(named(choiceBox(kOrientations, ReportOrientation::Portrait), "cboOrientation"))
    , m_style(named(new QComboBox, "cboStyle"))
    , m_header(named(new QLineEdit, "txtHeader"))
    , m_footer(named(new QLineEdit, "txtFooter"))
    , m_sourceList(named(new QComboBox, "cboSource"))
    , m_query(named(new QPlainTextEdit, "txtQuery"))
    , m_parameters(newTable("grdParameters", {QStringLiteral("Name"), QStringLiteral("Caption"),
                                              QStringLiteral("Kind"), QStringLiteral("Ask"),
                                              QStringLiteral("Default")}))
    , m_fieldList(named(new QListWidget, "lstFields"))
    , m_columns(newTable("grdColumns", {QStringLiteral("Field"), QStringLiteral("Caption"),
                                        QStringLiteral("Format"), QStringLiteral("Align"),
                                        QStringLiteral("Width"), QStringLiteral("Hidden")}))
    , m_groups(newTable("grdGroups", {QStringLiteral("Field"), QStringLiteral("Caption"),
                                      QStringLiteral("Header"), QStringLiteral("Footer")}))
    , m_sorts(newTable("grdSorts", {QStringLiteral("Field"), QStringLiteral("Descending")}))
    , m_totals(newTable("grdTotals", {QStringLiteral("Field"), QStringLiteral("Function"),
                                      QStringLiteral("Printed for"), QStringLiteral("Caption")}))
{
    m_style->addItem(QStringLiteral("(plain)"), kNone);
    for (const ReportStyle style :
         {ReportStyle::Compact, ReportStyle::Corporate, ReportStyle::Formal, ReportStyle::Casual,
          ReportStyle::SoftGray})
        m_style->addItem(ReportLayout::styleName(style), int(style));
    for (const reportrun::Source source : kSources)
        m_sourceList->addItem(reportrun::sourceName(source), int(source));
    m_sourceList->addItem(QStringLiteral("Write my own query"), kNone);
    connect(m_sourceList, &QComboBox::activated, this, [this](int index) {
        const int source = m_sourceList->itemData(index).toInt();
        chooseSource(source == kNone ? std::nullopt
                                     : std::optional<reportrun::Source>(reportrun::Source(source)));
    });

    m_tabs->addTab(generalPage(), QStringLiteral("General"));
    m_tabs->addTab(dataPage(), QStringLiteral("Data"));
    m_tabs->addTab(columnsPage(), QStringLiteral("Columns"));
    m_tabs->addTab(groupsPage(), QStringLiteral("Groups"));
    m_tabs->addTab(totalsPage(), QStringLiteral("Totals"));

    auto* box = new QVBoxLayout(this);
    box->addWidget(m_tabs, 1);
    box->addWidget(okCancelButtons(this, &frmReportProperties::apply));
    resize(860, 560);

    display(reportdraft::draftOf(layout));
    if (m_source)
        readFields(false);
}

QWidget* frmReportProperties::generalPage()
{
    const auto withFields = [this](QLineEdit* edit, const char* name) {
        auto* button = named(new QToolButton, name);
        button->setText(QStringLiteral("Insert Field"));
        button->setPopupMode(QToolButton::InstantPopup);
        auto* menu = new QMenu(button);
        for (const QString& field : ReportLayout::placeholders())
            menu->addAction(field, edit, [edit, field] { edit->insert(field); });
        button->setMenu(menu);
        auto* row = new QHBoxLayout;
        row->addWidget(edit, 1);
        row->addWidget(button);
        return row;
    };
    // A few lines of description are enough; the page texts stay close to the title.
    m_description->setMaximumHeight(6 * m_description->fontMetrics().lineSpacing());
    auto* page = new QWidget;
    auto* box = new QVBoxLayout(page);
    auto* form = new QFormLayout;
    box->addLayout(form);
    box->addStretch();
    form->addRow(QStringLiteral("Title:"), m_title);
    form->addRow(QStringLiteral("Description:"), m_description);
    form->addRow(QStringLiteral("Orientation:"), m_orientation);
    form->addRow(QStringLiteral("Style:"), m_style);
    form->addRow(QStringLiteral("Page header:"), withFields(m_header, "cmdHeaderField"));
    form->addRow(QStringLiteral("Page footer:"), withFields(m_footer, "cmdFooterField"));
    auto* hint = new QLabel(QStringLiteral("Fields: {title} the report's title, {date} the day of "
                                           "printing, {page} and {pages} the page and the number "
                                           "of pages, {user} who prints."));
    hint->setWordWrap(true);
    form->addRow(hint);
    return page;
}

QWidget* frmReportProperties::dataPage()
{
    auto* page = new QWidget;
    auto* box = new QVBoxLayout(page);
    auto* top = new QFormLayout;
    top->addRow(QStringLiteral("Source:"), m_sourceList);
    box->addLayout(top);
    box->addWidget(new QLabel(QStringLiteral("Query:")));
    box->addWidget(m_query, 2);
    box->addWidget(new QLabel(QStringLiteral("Parameters:")));
    box->addWidget(m_parameters, 1);
    box->addWidget(rowButtons(Rows::Parameters, "Parameter", false));
    QFont fixed(QStringLiteral("monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    m_query->setFont(fixed);
    m_query->setLineWrapMode(QPlainTextEdit::NoWrap);
    return page;
}

QWidget* frmReportProperties::columnsPage()
{
    auto* read = named(new QPushButton(QStringLiteral("Read Fields")), "cmdReadFields");
    auto* add = named(new QPushButton(QStringLiteral("Add >")), "cmdAddFields");
    connect(read, &QPushButton::clicked, this, [this] { readFields(); });
    connect(add, &QPushButton::clicked, this, [this] { addSelectedFields(); });
    connect(m_fieldList, &QListWidget::itemDoubleClicked, this, [this] { addSelectedFields(); });
    m_fieldList->setSelectionMode(QAbstractItemView::ExtendedSelection);

    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("Fields of the source:")));
    left->addWidget(m_fieldList, 1);
    left->addWidget(read);
    left->addWidget(add);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("Columns:")));
    right->addWidget(m_columns, 1);
    right->addWidget(rowButtons(Rows::Columns, "Column", true));
    auto* page = new QWidget;
    auto* box = new QHBoxLayout(page);
    box->addLayout(left, 1);
    box->addLayout(right, 3);
    return page;
}

QWidget* frmReportProperties::groupsPage()
{
    auto* page = new QWidget;
    auto* box = new QVBoxLayout(page);
    box->addWidget(new QLabel(QStringLiteral("Group levels, outermost first:")));
    box->addWidget(m_groups, 1);
    box->addWidget(rowButtons(Rows::Groups, "Group", true));
    box->addWidget(new QLabel(QStringLiteral("Then sort the rows of a preset source by:")));
    box->addWidget(m_sorts, 1);
    box->addWidget(rowButtons(Rows::Sorts, "Sort", true));
    return page;
}

QWidget* frmReportProperties::totalsPage()
{
    auto* page = new QWidget;
    auto* box = new QVBoxLayout(page);
    box->addWidget(new QLabel(QStringLiteral("Totals, printed under their column in the footer of "
                                             "each group that has one or at the report's end:")));
    box->addWidget(m_totals, 1);
    box->addWidget(rowButtons(Rows::Totals, "Total", false));
    return page;
}

QWidget* frmReportProperties::rowButtons(Rows rows, const char* what, bool ordered)
{
    auto* bar = new QWidget;
    auto* box = new QHBoxLayout(bar);
    box->setContentsMargins(0, 0, 0, 0);
    const QString name = QString::fromLatin1(what);
    const auto button = [&](const QString& caption, const QString& objectName, RowEdit edit) {
        auto* b = named(new QPushButton(caption), objectName);
        connect(b, &QPushButton::clicked, this, [this, rows, edit] { editRows(rows, edit); });
        box->addWidget(b);
    };
    button(QStringLiteral("Add"), QStringLiteral("cmdAdd") + name, RowEdit::Add);
    button(QStringLiteral("Remove"), QStringLiteral("cmdRemove") + name, RowEdit::Remove);
    if (ordered) {
        button(QStringLiteral("Up"), QStringLiteral("cmd") + name + QStringLiteral("Up"),
               RowEdit::Up);
        button(QStringLiteral("Down"), QStringLiteral("cmd") + name + QStringLiteral("Down"),
               RowEdit::Down);
    }
    box->addStretch();
    return bar;
}

QTableWidget* frmReportProperties::table(Rows rows) const
{
    switch (rows) {
    case Rows::Parameters:
        return m_parameters;
    case Rows::Columns:
        return m_columns;
    case Rows::Groups:
        return m_groups;
    case Rows::Sorts:
        return m_sorts;
    case Rows::Totals:
        break;
    }
    return m_totals;
}

QStringList frmReportProperties::knownFields(const ReportDraft& draft) const
{
    QStringList fields;
    for (const ReportColumn& c : draft.layout.columns)
        fields << c.field;
    for (const reportrun::ResultColumn& c : m_fields) {
        if (!fields.contains(c.name, Qt::CaseInsensitive))
            fields << c.name;
    }
    return fields;
}

QComboBox* frmReportProperties::fieldChoice(const QString& current, const QStringList& fields)
{
    auto* box = new QComboBox;
    box->setEditable(true);
    box->addItems(fields);
    box->setCurrentText(current);
    return box;
}

void frmReportProperties::display(const ReportDraft& draft)
{
    const ReportLayout& l = draft.layout;
    const QStringList fields = knownFields(draft);
    m_source = draft.source;
    m_title->setText(l.title);
    m_description->setPlainText(l.description);
    m_orientation->setCurrentIndex(m_orientation->findData(int(l.orientation)));
    m_style->setCurrentIndex(m_style->findData(l.style ? int(*l.style) : kNone));
    m_header->setText(l.header);
    m_footer->setText(l.footer);
    m_query->setPlainText(l.query);

    m_parameters->setRowCount(0);
    for (const ReportParameter& p : l.parameters) {
        const int row = m_parameters->rowCount();
        m_parameters->insertRow(row);
        setText(m_parameters, row, PName, p.name);
        setText(m_parameters, row, PCaption, p.caption);
        m_parameters->setCellWidget(row, PKind, choiceBox(kKinds, p.type));
        setCheck(m_parameters, row, PAsk, p.ask);
        setText(m_parameters, row, PDefault, p.defaultValue);
    }
    // The tables below offer the columns' fields: the columns come first.
    m_columns->setRowCount(0);
    for (const ReportColumn& c : l.columns) {
        const int row = m_columns->rowCount();
        m_columns->insertRow(row);
        setText(m_columns, row, CField, c.field);
        setText(m_columns, row, CCaption, c.caption);
        auto* format = new QComboBox;
        format->addItems(ReportLayout::formatChoices());
        format->setCurrentText(ReportLayout::formatText(c.format, c.decimals));
        m_columns->setCellWidget(row, CFormat, format);
        m_columns->setCellWidget(row, CAlign, choiceBox(kAligns, c.align));
        auto* width = new QSpinBox;
        width->setRange(1, 200);
        width->setValue(c.width);
        m_columns->setCellWidget(row, CWidth, width);
        setCheck(m_columns, row, CHidden, c.hidden);
    }
    m_groups->setRowCount(0);
    for (const ReportGroup& g : l.grouping) {
        const int row = m_groups->rowCount();
        m_groups->insertRow(row);
        m_groups->setCellWidget(row, GField, fieldChoice(g.field, fields));
        setText(m_groups, row, GCaption, g.caption);
        setCheck(m_groups, row, GHeader, g.header);
        setCheck(m_groups, row, GFooter, g.footer);
    }
    m_sorts->setRowCount(0);
    for (const reportrun::ReportSort& s : draft.sorts) {
        const int row = m_sorts->rowCount();
        m_sorts->insertRow(row);
        m_sorts->setCellWidget(row, SField, fieldChoice(s.field, fields));
        setCheck(m_sorts, row, SDescending, s.descending);
    }
    m_totals->setRowCount(0);
    for (const ReportTotal& t : l.totals) {
        const int row = m_totals->rowCount();
        m_totals->insertRow(row);
        m_totals->setCellWidget(row, TField, fieldChoice(t.field, fields));
        m_totals->setCellWidget(row, TFunction, choiceBox(kFunctions, t.function));
        m_totals->setCellWidget(row, TLevel, choiceBox(kLevels, t.level));
        setText(m_totals, row, TCaption, t.caption);
    }
    showSource();
}

void frmReportProperties::showSource()
{
    m_sourceList->setCurrentIndex(m_sourceList->findData(m_source ? int(*m_source) : kNone));
    // A preset source's statement is the program's; an own query is its author's, and only a user
    // with the global-reports right may change it.
    const bool editable = !m_source && !reportdraft::refuseOwnQuery(m_session.user.record);
    m_query->setReadOnly(!editable);
    m_parameters->setEnabled(editable);
    for (const char* name : {"cmdAddParameter", "cmdRemoveParameter"}) {
        if (auto* button = findChild<QPushButton*>(QString::fromLatin1(name)))
            button->setEnabled(editable);
    }
    m_sorts->setEnabled(m_source.has_value());
}

ReportDraft frmReportProperties::draft() const
{
    ReportDraft d;
    ReportLayout& l = d.layout;
    d.source = m_source;
    l.title = m_title->text();
    l.description = m_description->toPlainText();
    l.orientation = chosen<ReportOrientation>(m_orientation);
    if (const int style = m_style->currentData().toInt(); style != kNone)
        l.style = ReportStyle(style);
    l.header = m_header->text();
    l.footer = m_footer->text();
    // An unchanged statement is handed back as it came, whatever the editor made of its spacing.
    l.query = m_query->document()->isModified() ? m_query->toPlainText() : m_original.query;
    if (m_source)
        reportrun::useSource(l, *m_source);

    for (int row = 0; !m_source && row < m_parameters->rowCount(); ++row)
        l.parameters << ReportParameter{
            textAt(m_parameters, row, PName), textAt(m_parameters, row, PCaption),
            choiceAt<ReportParameterType>(m_parameters, row, PKind),
            textAt(m_parameters, row, PDefault), checkedAt(m_parameters, row, PAsk)};
    for (int row = 0; row < m_columns->rowCount(); ++row) {
        ReportColumn c;
        c.field = textAt(m_columns, row, CField).trimmed();
        c.caption = textAt(m_columns, row, CCaption);
        c.width = static_cast<QSpinBox*>(m_columns->cellWidget(row, CWidth))->value();
        c.align = choiceAt<ReportAlign>(m_columns, row, CAlign);
        if (const auto format =
                ReportLayout::formatOf(boxAt(m_columns, row, CFormat)->currentText())) {
            c.format = format->first;
            c.decimals = format->second;
        }
        c.hidden = checkedAt(m_columns, row, CHidden);
        l.columns << c;
    }
    for (int row = 0; row < m_groups->rowCount(); ++row)
        l.grouping << ReportGroup{
            boxAt(m_groups, row, GField)->currentText().trimmed(), textAt(m_groups, row, GCaption),
            checkedAt(m_groups, row, GHeader), checkedAt(m_groups, row, GFooter)};
    for (int row = 0; row < m_sorts->rowCount(); ++row)
        d.sorts << reportrun::ReportSort{boxAt(m_sorts, row, SField)->currentText().trimmed(),
                                         checkedAt(m_sorts, row, SDescending)};
    for (int row = 0; row < m_totals->rowCount(); ++row)
        l.totals << ReportTotal{boxAt(m_totals, row, TField)->currentText().trimmed(),
                                choiceAt<ReportFunction>(m_totals, row, TFunction),
                                choiceAt<ReportLevel>(m_totals, row, TLevel),
                                textAt(m_totals, row, TCaption)};
    return d;
}

bool frmReportProperties::chooseSource(std::optional<reportrun::Source> source)
{
    if (source == m_source) {
        showSource();
        return true;
    }
    if (!source) {
        if (const std::optional<RefusalOf<>> refused =
                reportdraft::refuseOwnQuery(m_session.user.record)) {
            showSource(); // the list shows the source kept
            showRefusal(m_prompt, refused->message, m_sourceList);
            return false;
        }
    }
    // The statement shown so far is where an own query starts from.
    ReportDraft d = draft();
    d.source = source;
    if (source)
        reportrun::useSource(d.layout, *source);
    display(d);
    m_query->document()->setModified(!source);
    if (source)
        readFields(false);
    return true;
}

bool frmReportProperties::readFields()
{
    return readFields(true);
}

bool frmReportProperties::readFields(bool showErrors)
{
    ReportDraft d = draft();
    if (!d.source) {
        // Offer a row for each parameter the statement declares and the list lacks.
        QStringList listed;
        for (const ReportParameter& p : d.layout.parameters)
            listed << p.name;
        bool added = false;
        for (const QString& name : d.layout.parameterQuery().declared()) {
            if (listed.contains(name, Qt::CaseInsensitive) ||
                reportdraft::refuseOwnQuery(m_session.user.record))
                continue;
            d.layout.parameters << ReportParameter{name, name, ReportParameterType::Text, {}, true};
            added = true;
        }
        if (added) {
            const bool modified = m_query->document()->isModified();
            display(d);
            m_query->document()->setModified(modified);
        }
    }
    Outcome<QList<reportrun::ResultColumn>> read;
    if (!runCommand(m_session, m_prompt,
                    [&] { read = reportrun::resultColumns(m_session, d.layout); }))
        return false;
    if (!read) {
        if (showErrors && read.refusal())
            reportrun::showReportError(m_prompt, *read.refusal());
        return false;
    }
    m_fields = *read;
    m_fieldList->clear();
    for (const reportrun::ResultColumn& c : std::as_const(m_fields)) {
        const QString kind = c.kind == ResultKind::Date     ? QStringLiteral("date")
                             : c.kind == ResultKind::Number ? QStringLiteral("number")
                                                            : QStringLiteral("text");
        auto* item = new QListWidgetItem(c.name + QStringLiteral(" (") + kind + QLatin1Char(')'));
        item->setData(Qt::UserRole, c.name);
        m_fieldList->addItem(item);
    }
    return true;
}

void frmReportProperties::addSelectedFields()
{
    ReportDraft d = draft();
    for (int i = 0; i < m_fieldList->count(); ++i) {
        if (!m_fieldList->item(i)->isSelected())
            continue;
        const QString name = m_fieldList->item(i)->data(Qt::UserRole).toString();
        if (d.layout.column(name))
            continue;
        ReportColumn c{name, name};
        for (const reportrun::ResultColumn& f : std::as_const(m_fields)) {
            if (f.name != name)
                continue;
            if (f.kind == ResultKind::Number) {
                c.format = ReportFormat::Number;
                c.align = ReportAlign::Right;
            } else if (f.kind == ResultKind::Date) {
                c.format = ReportFormat::Date;
            }
        }
        d.layout.columns << c;
    }
    const bool modified = m_query->document()->isModified();
    display(d);
    m_query->document()->setModified(modified);
}

void frmReportProperties::editRows(Rows rows, RowEdit edit)
{
    ReportDraft d = draft();
    QTableWidget* shown = table(rows);
    const int row = shown->currentRow();
    const QStringList fields = knownFields(d);
    const QString firstField = fields.isEmpty() ? QString() : fields.first();
    int selected = row;
    switch (rows) {
    case Rows::Parameters:
        selected =
            editList(d.layout.parameters, edit, row,
                     ReportParameter{QStringLiteral("p%1").arg(d.layout.parameters.size() + 1),
                                     {},
                                     ReportParameterType::Text,
                                     {},
                                     true});
        break;
    case Rows::Columns:
        selected = editList(d.layout.columns, edit, row, ReportColumn{});
        break;
    case Rows::Groups:
        selected = editList(d.layout.grouping, edit, row, ReportGroup{firstField, {}, true, false});
        break;
    case Rows::Sorts:
        selected = editList(d.sorts, edit, row, reportrun::ReportSort{firstField, false});
        break;
    case Rows::Totals:
        selected =
            editList(d.layout.totals, edit, row,
                     ReportTotal{firstField, ReportFunction::Count, ReportLevel::Report, {}});
        break;
    }
    const bool modified = m_query->document()->isModified();
    display(d);
    m_query->document()->setModified(modified);
    if (selected >= 0 && selected < shown->rowCount())
        shown->selectRow(selected);
}

bool frmReportProperties::apply()
{
    const Outcome<ReportLayout> layout =
        reportdraft::finish(m_session.user.record, m_original, draft());
    if (!layout) {
        reportrun::showReportError(m_prompt, *layout.refusal());
        return false;
    }
    m_result = *layout;
    accept();
    return true;
}

} // namespace bx
