#include "workflow/ui/dlgChecklist.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace bx {

namespace {

// The columns of the item grid.
enum Column
{
    Text,
    Mandatory,
    Signer,
    Note,
};

} // namespace

dlgChecklist::dlgChecklist(Session& session, Prompt& prompt, ChecklistDraft draft, QWidget* parent)
    : SessionDialog(session, prompt, "dlgChecklist", QStringLiteral("Checklist"), parent)
    , m_design(session, prompt)
    , m_draft(std::move(draft))
    , m_name(named(new QLineEdit, "txtName"))
    , m_description(named(new QLineEdit, "txtDescription"))
    , m_items(named(new QTableWidget(0, 4), "grdItems"))
    , m_cmdAdd(named(new QPushButton(QStringLiteral("Add Item")), "cmdAddItem"))
    , m_cmdRemove(named(new QPushButton(QStringLiteral("Remove Item")), "cmdRemoveItem"))
{

    m_name->setText(m_draft.name);
    m_name->setReadOnly(!m_draft.isNew);
    m_description->setText(m_draft.description);
    m_items->setHorizontalHeaderLabels({QStringLiteral("Item"), QStringLiteral("Mandatory"),
                                        QStringLiteral("Signer"), QStringLiteral("Explanation")});
    m_items->verticalHeader()->hide();
    m_items->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_items->setSelectionMode(QAbstractItemView::SingleSelection);
    QHeaderView* header = m_items->horizontalHeader();
    header->setSectionResizeMode(Text, QHeaderView::Stretch);
    header->setSectionResizeMode(Mandatory, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(Signer, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(Note, QHeaderView::Stretch);

    auto* head = new QFormLayout;
    head->addRow(QStringLiteral("Name:"), m_name);
    head->addRow(QStringLiteral("Description:"), m_description);

    auto* itemButtons = new QHBoxLayout;
    itemButtons->addWidget(m_cmdAdd);
    itemButtons->addWidget(m_cmdRemove);
    itemButtons->addStretch();

    auto* buttons = okCancelButtons(this, &dlgChecklist::onOk);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(m_items, 1);
    layout->addLayout(itemButtons);
    layout->addWidget(buttons);

    runCommand(m_session, m_prompt, [this] { m_signers = m_design.signers(); });
    for (const ChecklistItem& item : m_draft.items)
        addItem(item);

    connect(m_cmdAdd, &QPushButton::clicked, this, [this] { addItem(); });
    connect(m_cmdRemove, &QPushButton::clicked, this,
            [this] { removeItem(m_items->currentRow()); });
    resize(640, 400);
}

dlgChecklist::~dlgChecklist() = default;

void dlgChecklist::addItem(const ChecklistItem& item)
{
    const int row = m_items->rowCount();
    m_items->insertRow(row);
    m_items->setItem(row, Text, new QTableWidgetItem(item.text));
    auto* mandatory = new QTableWidgetItem;
    mandatory->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    mandatory->setCheckState(item.mandatory ? Qt::Checked : Qt::Unchecked);
    m_items->setItem(row, Mandatory, mandatory);
    auto* signer = new QComboBox;
    signer->addItem(QStringLiteral("(anyone)"), QString());
    for (const QString& user : m_signers)
        signer->addItem(user, user);
    int at = item.signer.trimmed().isEmpty() ? 0 : signer->findData(item.signer.trimmed());
    if (at < 0) {
        // A signer disabled since stays until somebody else is chosen.
        signer->addItem(item.signer.trimmed(), item.signer.trimmed());
        at = signer->count() - 1;
    }
    signer->setCurrentIndex(at);
    m_items->setCellWidget(row, Signer, signer);
    m_items->setItem(row, Note, new QTableWidgetItem(item.note));
    m_items->setCurrentCell(row, Text);
}

bool dlgChecklist::removeItem(int row)
{
    if (row < 0 || row >= m_items->rowCount())
        return false;
    m_items->removeRow(row);
    return true;
}

ChecklistDraft dlgChecklist::draft() const
{
    ChecklistDraft d = m_draft;
    d.name = m_name->text();
    d.description = m_description->text();
    d.items.clear();
    for (int row = 0; row < m_items->rowCount(); ++row) {
        ChecklistItem item;
        item.text = m_items->item(row, Text)->text();
        item.mandatory = m_items->item(row, Mandatory)->checkState() == Qt::Checked;
        item.signer =
            static_cast<QComboBox*>(m_items->cellWidget(row, Signer))->currentData().toString();
        item.note = m_items->item(row, Note)->text();
        d.items.append(item);
    }
    return d;
}

void dlgChecklist::onOk()
{
    m_draft = draft();
    Outcome<Done, ChecklistField> saved;
    if (!runCommand(m_session, m_prompt, [&] { saved = m_design.save(m_draft); }))
        return;
    if (showRefusal(m_prompt, saved.refusal(),
                    {{ChecklistField::Name, m_name}, {ChecklistField::Items, m_items}}))
        return;
    m_savedName = m_draft.name;
    accept();
}

} // namespace bx
