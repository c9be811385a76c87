#include "tasks/ui/frmFormDesigner.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/KeyedList.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "tasks/ui/FormPanel.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollArea>
#include <QSplitter>
#include <QTableWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

using forms::FieldColumn;

frmFormDesigner::frmFormDesigner(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "frmFormDesigner", QStringLiteral("Forms"), parent)
    , m_design(session, prompt)
    , m_list(named(new QTreeWidget, "lvForms"))
    , m_name(named(new QLineEdit, "txtName"))
    , m_caption(named(new QLineEdit, "txtCaption"))
    , m_grid(named(new QTableWidget, "grdFields"))
    , m_preview(named(new QScrollArea, "Preview"))
{
    setUpKeyedList(*m_list, {QStringLiteral("Form")});
    auto* toolbar = named(new QToolBar, "Toolbar1");
    addListCommand(
        *toolbar, *m_list, "New", "New form", [this] { onNew(); }, false);
    addListCommand(
        *toolbar, *m_list, "Delete", "Delete form", [this] { onDelete(); }, true);
    addListCommand(
        *toolbar, *m_list, "Save", "Save form", [this] { onSave(); }, false);
    toolbar->addSeparator();
    addListCommand(
        *toolbar, *m_list, "AddField", "Add field", [this] { onAddField(); }, false);
    addListCommand(
        *toolbar, *m_list, "RemoveField", "Remove field", [this] { onRemoveField(); }, false);
    connect(m_list, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        const QString name = item->text(0);
        if (name == m_definition.name && !m_definition.isNew)
            return;
        if (mayLeave())
            select(name);
        else if (!m_definition.isNew)
            selectByKey(*m_list, m_definition.name);
        else
            m_list->clearSelection();
    });

    const QStringList titles = forms::fieldColumnTitles();
    m_grid->setColumnCount(int(titles.size()));
    m_grid->setHorizontalHeaderLabels(titles);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(m_grid, &QTableWidget::cellChanged, this, &frmFormDesigner::cellEdited);
    connect(m_caption, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_definition.caption = text;
        m_edited = true;
    });
    connect(m_name, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_definition.name = text;
        m_edited = true;
    });
    m_preview->setWidgetResizable(false);

    // The list and the form's name beside the preview above, the grid of fields across the
    // whole width below.
    auto* head = new QWidget;
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Name:"), m_name);
    fields->addRow(QStringLiteral("Caption:"), m_caption);
    auto* left = new QVBoxLayout(head);
    left->setContentsMargins(0, 0, 0, 0);
    left->addWidget(m_list, 1);
    left->addLayout(fields);
    auto* top = new QSplitter;
    top->addWidget(head);
    top->addWidget(m_preview);
    top->setStretchFactor(1, 1);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(top);
    split->addWidget(m_grid);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(toolbar);
    layout->addWidget(split);
    load({});
    resize(1120, 640);
}

frmFormDesigner::~frmFormDesigner() = default;

bool frmFormDesigner::refresh()
{
    Outcome<QStringList> names;
    if (!runCommand(m_session, m_prompt, [&] { names = m_design.open(); }) ||
        showRefusal(m_prompt, names.refusal()) || !names)
        return false;
    m_list->clear();
    for (const QString& name : *names)
        m_list->addTopLevelItem(new QTreeWidgetItem(QStringList{name}));
    if (!m_definition.isNew)
        selectByKey(*m_list, m_definition.name);
    return true;
}

bool frmFormDesigner::select(const QString& name)
{
    if (!selectByKey(*m_list, name))
        return false;
    Outcome<forms::FormDefinition> read;
    if (!runCommand(m_session, m_prompt, [&] { read = m_design.edit(name); }) ||
        showRefusal(m_prompt, read.refusal()))
        return false;
    if (!read) {
        // Deleted elsewhere meanwhile.
        refresh();
        return false;
    }
    load(*read);
    return true;
}

void frmFormDesigner::load(const forms::FormDefinition& definition)
{
    m_definition = definition;
    m_name->setText(definition.name);
    m_name->setReadOnly(!definition.isNew);
    m_caption->setText(definition.caption);
    fillGrid();
    m_edited = false;
}

bool frmFormDesigner::mayLeave()
{
    return !m_edited || askToSaveChanges([this] { return onSave(); });
}

void frmFormDesigner::fillGrid()
{
    m_filling = true;
    m_grid->setRowCount(int(m_definition.fields.size()));
    for (int row = 0; row < m_definition.fields.size(); ++row) {
        for (int c = 0; c < int(FieldColumn::Count); ++c) {
            const QVariant v = forms::columnValue(m_definition.fields.at(row), FieldColumn(c));
            const QString text = v.typeId() == QMetaType::Bool
                                     ? (v.toBool() ? QStringLiteral("1") : QStringLiteral("0"))
                                     : v.toString();
            m_grid->setItem(row, c, new QTableWidgetItem(text));
        }
    }
    m_filling = false;
    updatePreview();
}

void frmFormDesigner::cellEdited(int row, int column)
{
    if (m_filling || row >= m_definition.fields.size())
        return;
    forms::setColumnValue(m_definition.fields[row], FieldColumn(column),
                          m_grid->item(row, column)->text());
    m_edited = true;
    updatePreview();
}

void frmFormDesigner::updatePreview()
{
    QList<QWidget*> fields;
    m_preview->setWidget(buildFieldPanel(forms::previewOf(m_definition), fields));
}

void frmFormDesigner::onNew()
{
    if (!mayLeave())
        return;
    Outcome<forms::FormDefinition> fresh;
    if (runCommand(m_session, m_prompt, [&] { fresh = m_design.create(); }) &&
        !showRefusal(m_prompt, fresh.refusal()) && fresh) {
        m_list->clearSelection();
        load(*fresh);
        m_name->setFocus();
    }
}

void frmFormDesigner::onDelete()
{
    const QString name = selectedKey(*m_list);
    Outcome<> removed;
    if (runCommand(m_session, m_prompt, [&] { removed = m_design.remove(name); }) &&
        !showRefusal(m_prompt, removed.refusal()) && removed) {
        load({});
        refresh();
    }
}

bool frmFormDesigner::onSave()
{
    Outcome<Done, int> saved;
    if (!runCommand(m_session, m_prompt, [&] { saved = m_design.save(m_definition); }))
        return false;
    if (showRefusal(m_prompt, saved.refusal(), [this](int row) -> QWidget* {
            if (row < 0)
                return m_name;
            m_grid->selectRow(row);
            return m_grid;
        }))
        return false;
    if (!saved)
        return false;
    load(m_definition);
    refresh();
    return true;
}

void frmFormDesigner::onAddField()
{
    m_definition.fields << forms::newField(m_definition);
    fillGrid();
    m_edited = true;
    m_grid->selectRow(int(m_definition.fields.size()) - 1);
}

void frmFormDesigner::onRemoveField()
{
    const int row = m_grid->currentRow();
    if (row < 0 || row >= m_definition.fields.size())
        return;
    m_definition.fields.removeAt(row);
    fillGrid();
    m_edited = true;
}

} // namespace bx
