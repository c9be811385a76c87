#include "reports/ui/frmARWizard.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

using namespace reportwizard;

namespace {

/** The first page's entry for the database's tables; the sources are keyed by their number. */
constexpr int kTables = -1;

const char* const kPageCaptions[] = {
    "Where do the report's rows come from?",
    "Which fields does the report show?",
    "How do the chosen tables relate?",
    "Group the rows by which fields?",
    "Sort the rows within the groups by which fields?",
    "What is the report's title, and its style?",
    "The report to be made:",
};

QString labelOf(const QString& table, const QString& field, bool qualified)
{
    return qualified ? table + QLatin1Char('.') + field : field;
}

bool sameField(const QString& table, const QString& field, const SelectedField& f)
{
    return table.compare(f.table, Qt::CaseInsensitive) == 0 &&
           field.compare(f.field, Qt::CaseInsensitive) == 0;
}

QPushButton* button(const char* name, const QString& caption)
{
    auto* b = named(new QPushButton(caption), name);
    b->setAutoDefault(false);
    return b;
}

QWidget* page(const char* name, QLayout* layout)
{
    auto* w = named(new QWidget, name);
    w->setLayout(layout);
    return w;
}

} // namespace

frmARWizard::frmARWizard(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "frmARWizard", QStringLiteral("New Report Wizard"), parent)
    , m_pages(named(new QStackedWidget, "pages"))
    , m_caption(named(new QLabel, "lblStep"))
    , m_data(named(new QComboBox, "cboData"))
    , m_tables(named(new QListWidget, "lstTables"))
    , m_showSystem(named(new QCheckBox(QStringLiteral("Show system tables")), "chkShowSystem"))
    , m_available(named(new QListWidget, "lstAvailable"))
    , m_selected(named(new QTreeWidget, "lvSelected"))
    , m_width(named(new QSpinBox, "spnWidth"))
    , m_relations(named(new QTreeWidget, "lvRelations"))
    , m_primary(named(new QComboBox, "cboPrimary"))
    , m_foreign(named(new QComboBox, "cboForeign"))
    , m_groupField(named(new QComboBox, "cboGroupField"))
    , m_groupOption(named(new QComboBox, "cboGroupOption"))
    , m_groups(named(new QListWidget, "lstGroups"))
    , m_sortField(named(new QComboBox, "cboSortField"))
    , m_sortOrder(named(new QComboBox, "cboSortOrder"))
    , m_sorts(named(new QListWidget, "lstSorts"))
    , m_title(named(new QLineEdit, "txtTitle"))
    , m_style(named(new QComboBox, "cboStyle"))
    , m_summary(named(new QPlainTextEdit, "txtSummary"))
    , m_back(button("cmdBack", QStringLiteral("< Back")))
    , m_next(button("cmdNext", QStringLiteral("Next >")))
    , m_finish(button("cmdFinish", QStringLiteral("Finish")))
{
    m_pages->addWidget(makeDataPage());
    m_pages->addWidget(makeFieldsPage());
    m_pages->addWidget(makeRelationsPage());
    m_pages->addWidget(makeGroupsPage());
    m_pages->addWidget(makeSortsPage());
    m_pages->addWidget(makeTitlePage());
    m_summary->setReadOnly(true);
    m_pages->addWidget(page("pgSummary", new QVBoxLayout));
    m_pages->widget(SummaryPage)->layout()->addWidget(m_summary);

    auto* cancel = button("cmdCancel", QStringLiteral("Cancel"));
    connect(m_back, &QPushButton::clicked, this, [this] { back(); });
    connect(m_next, &QPushButton::clicked, this, [this] { next(); });
    connect(m_finish, &QPushButton::clicked, this, [this] { finish(); });
    connect(cancel, &QPushButton::clicked, this, &frmARWizard::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton* b : {m_back, m_next, m_finish, cancel})
        buttons->addWidget(b);

    m_caption->setTextFormat(Qt::PlainText);
    QFont bold = m_caption->font();
    bold.setBold(true);
    m_caption->setFont(bold);
    auto* box = new QVBoxLayout(this);
    box->addWidget(m_caption);
    box->addWidget(m_pages, 1);
    box->addLayout(buttons);
    resize(640, 460);

    if (UserRights::hasGlobalReports(m_session.user.record))
        m_data->addItem(QStringLiteral("Tables of the database"), kTables);
    for (const reportrun::Source s :
         {reportrun::Source::Tasks, reportrun::Source::Attachments, reportrun::Source::History}) {
        m_data->addItem(QStringLiteral("The workshop's ") + reportrun::sourceName(s).toLower(),
                        static_cast<int>(s));
    }
    connect(m_data, &QComboBox::currentIndexChanged, this, [this] { openData(); });
    connect(m_showSystem, &QCheckBox::toggled, this, [this] { openData(); });
    openData();
    showPage(DataPage);
}

QWidget* frmARWizard::makeDataPage()
{
    auto* layout = new QVBoxLayout;
    layout->addWidget(m_data);
    layout->addWidget(m_tables, 1);
    layout->addWidget(m_showSystem);
    return page("pgData", layout);
}

QWidget* frmARWizard::makeFieldsPage()
{
    m_selected->setColumnCount(3);
    m_selected->setHeaderLabels(
        {QStringLiteral("Field"), QStringLiteral("Type"), QStringLiteral("Width")});
    m_selected->setRootIsDecorated(false);
    m_selected->header()->setSectionResizeMode(QHeaderView::Stretch);
    m_available->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_width->setRange(1, 200);

    auto* add = button("cmdAdd", QStringLiteral("Add >"));
    auto* remove = button("cmdRemove", QStringLiteral("< Remove"));
    connect(add, &QPushButton::clicked, this, [this] {
        for (QListWidgetItem* item : m_available->selectedItems()) {
            const SelectedField* f = offeredAt(item->data(Qt::UserRole).toInt());
            if (!f)
                continue;
            const bool chosen = std::any_of(
                m_report.fields.cbegin(), m_report.fields.cend(),
                [&](const SelectedField& s) { return sameField(f->table, f->field, s); });
            if (!chosen)
                m_report.fields << *f;
        }
        showFields();
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        const int row = m_selected->indexOfTopLevelItem(m_selected->currentItem());
        if (row >= 0)
            m_report.fields.removeAt(row);
        showFields();
    });
    connect(m_selected, &QTreeWidget::currentItemChanged, this, [this] {
        const int row = m_selected->indexOfTopLevelItem(m_selected->currentItem());
        m_width->setEnabled(row >= 0);
        if (row >= 0)
            m_width->setValue(m_report.fields.at(row).width);
    });
    connect(m_width, &QSpinBox::valueChanged, this, [this](int width) {
        const int row = m_selected->indexOfTopLevelItem(m_selected->currentItem());
        if (row < 0 || m_report.fields.at(row).width == width)
            return;
        m_report.fields[row].width = width;
        m_selected->currentItem()->setText(2, QString::number(width));
    });

    auto* middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(add);
    middle->addWidget(remove);
    middle->addStretch();
    auto* width = new QHBoxLayout;
    width->addWidget(new QLabel(QStringLiteral("Width (characters):")));
    width->addWidget(m_width);
    width->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(m_selected, 1);
    right->addLayout(width);
    auto* layout = new QHBoxLayout;
    layout->addWidget(m_available, 1);
    layout->addLayout(middle);
    layout->addLayout(right, 2);
    return page("pgFields", layout);
}

QWidget* frmARWizard::makeRelationsPage()
{
    m_relations->setColumnCount(4);
    m_relations->setHeaderLabels({QStringLiteral("Primary Table"), QStringLiteral("Primary Column"),
                                  QStringLiteral("Foreign Table"),
                                  QStringLiteral("Foreign Column")});
    m_relations->setRootIsDecorated(false);
    m_relations->header()->setSectionResizeMode(QHeaderView::Stretch);
    auto* add = button("cmdAddRelation", QStringLiteral("Add"));
    auto* remove = button("cmdRemoveRelation", QStringLiteral("Remove"));
    connect(add, &QPushButton::clicked, this, [this] {
        const SelectedField* p = offeredAt(m_primary->currentData().toInt());
        const SelectedField* f = offeredAt(m_foreign->currentData().toInt());
        if (!p || !f)
            return;
        const WizRelation relation{p->table, p->field, f->table, f->field};
        if (!m_report.relations.contains(relation))
            m_report.relations << relation;
        showRelations();
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        const int row = m_relations->indexOfTopLevelItem(m_relations->currentItem());
        if (row >= 0)
            m_report.relations.removeAt(row);
        showRelations();
    });
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Primary:")), 0, 0);
    grid->addWidget(m_primary, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("= Foreign:")), 0, 2);
    grid->addWidget(m_foreign, 0, 3);
    grid->addWidget(add, 0, 4);
    grid->addWidget(remove, 0, 5);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    auto* layout = new QVBoxLayout;
    layout->addWidget(m_relations, 1);
    layout->addLayout(grid);
    return page("pgRelations", layout);
}

QWidget* frmARWizard::makeLevelsPage(const char* name, QComboBox* field, QComboBox* option,
                                     QListWidget* list, const char* addKey, const char* removeKey,
                                     std::function<void(const SelectedField&, int)> add,
                                     std::function<void(int)> remove)
{
    auto* addButton = button(addKey, QStringLiteral("Add"));
    auto* removeButton = button(removeKey, QStringLiteral("Remove"));
    connect(addButton, &QPushButton::clicked, this, [this, field, option, add] {
        if (const SelectedField* f = offeredAt(field->currentData().toInt()))
            add(*f, option->currentIndex());
    });
    connect(removeButton, &QPushButton::clicked, this, [list, remove] {
        if (const int row = list->currentRow(); row >= 0)
            remove(row);
    });
    auto* row = new QHBoxLayout;
    row->addWidget(field, 2);
    row->addWidget(option, 1);
    row->addWidget(addButton);
    row->addWidget(removeButton);
    auto* layout = new QVBoxLayout;
    layout->addLayout(row);
    layout->addWidget(list, 1);
    return page(name, layout);
}

QWidget* frmARWizard::makeGroupsPage()
{
    m_groupOption->addItem(groupOptionName(GroupOption::HeaderOnly));
    m_groupOption->addItem(groupOptionName(GroupOption::FooterWithTotals));
    return makeLevelsPage(
        "pgGroups", m_groupField, m_groupOption, m_groups, "cmdAddGroup", "cmdRemoveGroup",
        [this](const SelectedField& f, int option) {
            // A field is grouped once: a second level of the same value would repeat the first.
            const bool grouped =
                std::any_of(m_report.groups.cbegin(), m_report.groups.cend(),
                            [&](const GroupField& g) { return sameField(g.table, g.field, f); });
            if (!grouped) {
                m_report.groups << GroupField{f.table, f.field,
                                              option == 0 ? GroupOption::HeaderOnly
                                                          : GroupOption::FooterWithTotals};
            }
            showGroups();
        },
        [this](int row) {
            m_report.groups.removeAt(row);
            showGroups();
        });
}

QWidget* frmARWizard::makeSortsPage()
{
    m_sortOrder->addItems({QStringLiteral("Ascending"), QStringLiteral("Descending")});
    return makeLevelsPage(
        "pgSorts", m_sortField, m_sortOrder, m_sorts, "cmdAddSort", "cmdRemoveSort",
        [this](const SelectedField& f, int option) {
            m_report.sorts << SortField{f.table, f.field,
                                        option == 0 ? SortOrder::Ascending : SortOrder::Descending};
            showSorts();
        },
        [this](int row) {
            m_report.sorts.removeAt(row);
            showSorts();
        });
}

QWidget* frmARWizard::makeTitlePage()
{
    for (const ReportStyle s : {ReportStyle::Compact, ReportStyle::Corporate, ReportStyle::Formal,
                                ReportStyle::Casual, ReportStyle::SoftGray}) {
        m_style->addItem(ReportLayout::styleName(s), static_cast<int>(s));
    }
    auto* layout = new QFormLayout;
    layout->addRow(QStringLiteral("Title:"), m_title);
    layout->addRow(QStringLiteral("Style:"), m_style);
    return page("pgTitle", layout);
}

void frmARWizard::SetReport(const reportwizard::Report& report)
{
    m_report = report;
    const int chosen = report.source ? static_cast<int>(*report.source) : kTables;
    m_data->setCurrentIndex(std::max(0, m_data->findData(chosen)));
    listTables();
    if (m_source && m_source->source() == report.source)
        offerFields();
    m_title->setText(report.title);
    m_style->setCurrentIndex(std::max(0, m_style->findData(static_cast<int>(report.style))));
}

bool frmARWizard::openData()
{
    const int chosen = m_data->currentData().toInt();
    const bool tables = chosen == kTables;
    m_tables->setEnabled(tables);
    m_showSystem->setEnabled(tables);
    bool opened = false;
    runCommand(m_session, m_prompt, [&] {
        if (!tables) {
            m_source = CDataSource::openSource(m_session, static_cast<reportrun::Source>(chosen));
            opened = true;
            return;
        }
        Outcome<CDataSource> source = CDataSource::openTables(m_session, m_showSystem->isChecked());
        if (showRefusal(m_prompt, source.refusal()))
            return;
        m_source = *source;
        opened = true;
    });
    listTables();
    return opened;
}

void frmARWizard::listTables()
{
    m_tables->clear();
    if (!m_source)
        return;
    for (const WizTableDef& t : m_source->tableDefs()) {
        auto* item = new QListWidgetItem(t.name, m_tables);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(m_report.tables.contains(t.name) ? Qt::Checked : Qt::Unchecked);
    }
}

void frmARWizard::offerFields()
{
    m_offered.clear();
    runCommand(m_session, m_prompt, [&] {
        const QStringList tables =
            m_report.source ? QStringList{QString()} : QStringList(m_report.tables);
        for (const QString& t : tables) {
            for (const WizFieldInfo& f : m_source->fields(t))
                m_offered << SelectedField{t, f.name, f.type, f.kind, defaultWidth(f.kind)};
        }
    });
    const bool qualified = !m_report.source && m_report.tables.size() > 1;
    m_available->clear();
    for (QComboBox* combo : {m_primary, m_foreign, m_groupField, m_sortField})
        combo->clear();
    for (int i = 0; i < m_offered.size(); ++i) {
        const QString label = labelOf(m_offered.at(i).table, m_offered.at(i).field, qualified);
        auto* item = new QListWidgetItem(label, m_available);
        item->setData(Qt::UserRole, i);
        for (QComboBox* combo : {m_primary, m_foreign, m_groupField, m_sortField})
            combo->addItem(label, i);
    }
}

const SelectedField* frmARWizard::offeredAt(int index) const
{
    return index >= 0 && index < m_offered.size() ? &m_offered.at(index) : nullptr;
}

void frmARWizard::showFields()
{
    const bool qualified = !m_report.source && m_report.tables.size() > 1;
    m_selected->clear();
    for (const SelectedField& f : m_report.fields) {
        new QTreeWidgetItem(
            m_selected, {labelOf(f.table, f.field, qualified), f.type, QString::number(f.width)});
    }
    m_width->setEnabled(false);
}

void frmARWizard::showRelations()
{
    m_relations->clear();
    for (const WizRelation& r : m_report.relations) {
        new QTreeWidgetItem(m_relations,
                            {r.TablePrimary, r.ColumnPrimary, r.TableForeign, r.ColumnForeign});
    }
}

void frmARWizard::showGroups()
{
    const bool qualified = !m_report.source && m_report.tables.size() > 1;
    m_groups->clear();
    for (const GroupField& g : m_report.groups) {
        m_groups->addItem(labelOf(g.table, g.field, qualified) + QStringLiteral(" (") +
                          groupOptionName(g.option) + QLatin1Char(')'));
    }
}

void frmARWizard::showSorts()
{
    const bool qualified = !m_report.source && m_report.tables.size() > 1;
    m_sorts->clear();
    for (const SortField& s : m_report.sorts) {
        m_sorts->addItem(labelOf(s.table, s.field, qualified) +
                         (s.order == SortOrder::Descending ? QStringLiteral(" (descending)")
                                                           : QStringLiteral(" (ascending)")));
    }
}

bool frmARWizard::pageApplies(int page) const
{
    return page != RelationsPage || (!m_report.source && m_report.tables.size() > 1);
}

bool frmARWizard::leavePage(int page)
{
    switch (page) {
    case DataPage: {
        if (!m_source)
            return false;
        const std::optional<reportrun::Source> source = m_source->source();
        QStringList tables;
        for (int i = 0; i < m_tables->count(); ++i) {
            if (m_tables->item(i)->checkState() == Qt::Checked)
                tables << m_tables->item(i)->text();
        }
        if (!source && tables.isEmpty()) {
            showRefusal(m_prompt, QStringLiteral("Choose at least one table for the report."),
                        m_tables);
            return false;
        }
        if (source == m_report.source && tables == m_report.tables && !m_offered.isEmpty())
            return true;
        // Other data: what was chosen from the former one no longer applies.
        m_report.source = source;
        m_report.tables = tables;
        m_report.fields.clear();
        m_report.groups.clear();
        m_report.sorts.clear();
        m_report.relations.clear();
        offerFields();
        if (!source && tables.size() > 1) {
            runCommand(m_session, m_prompt,
                       [&] { m_report.relations = m_source->relations(tables); });
        }
        return true;
    }
    case FieldsPage:
        if (m_report.fields.isEmpty()) {
            showRefusal(m_prompt, QStringLiteral("Choose at least one field for the report."),
                        m_available);
            return false;
        }
        return true;
    case TitlePage:
        m_report.title = m_title->text().trimmed();
        m_report.style = static_cast<ReportStyle>(m_style->currentData().toInt());
        return true;
    default:
        return true;
    }
}

void frmARWizard::enterPage(int page)
{
    switch (page) {
    case FieldsPage:
        showFields();
        break;
    case RelationsPage:
        showRelations();
        break;
    case GroupsPage:
        showGroups();
        break;
    case SortsPage:
        showSorts();
        break;
    case SummaryPage:
        m_summary->setPlainText(summary(m_report));
        break;
    default:
        break;
    }
    showPage(page);
}

void frmARWizard::showPage(int page)
{
    m_pages->setCurrentIndex(page);
    m_caption->setText(QString::fromLatin1(kPageCaptions[page]));
    m_back->setEnabled(page != DataPage);
    m_next->setEnabled(page != SummaryPage);
}

bool frmARWizard::next()
{
    const int current = m_pages->currentIndex();
    if (current == SummaryPage || !leavePage(current))
        return false;
    int page = current + 1;
    while (!pageApplies(page))
        ++page;
    enterPage(page);
    return true;
}

void frmARWizard::back()
{
    const int current = m_pages->currentIndex();
    if (current == DataPage)
        return;
    if (current == TitlePage)
        leavePage(current);
    int page = current - 1;
    while (!pageApplies(page))
        --page;
    enterPage(page);
}

bool frmARWizard::finish()
{
    const int current = m_pages->currentIndex();
    if (!leavePage(current))
        return false;
    if (current < TitlePage)
        leavePage(TitlePage);
    const Outcome<ReportLayout> layout = makeLayout(m_session, m_report);
    if (showRefusal(m_prompt, layout.refusal()))
        return false;
    m_layout = *layout;
    accept();
    return true;
}

} // namespace bx
