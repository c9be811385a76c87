#include "workflow/ui/ChecklistView.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "core/ui/StoredText.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

namespace {

enum Column
{
    ItemColumn,
    SignerColumn,
    TickerColumn
};

/** The item's text as the row carries it, for the tick. */
constexpr int kTextRole = Qt::UserRole + 1;

} // namespace

ChecklistView::ChecklistView(Session& session, Prompt& prompt, qlonglong attachNumber,
                             QWidget* parent)
    : QWidget(parent)
    , m_session(session)
    , m_prompt(prompt)
    , m_attach(attachNumber)
    , m_title(named(plainLabel(), "lblChecklist"))
    , m_items(named(new QTreeWidget, "lstItems"))
    , m_note(named(new QLineEdit, "txtNote"))
{
    setObjectName(QStringLiteral("ChecklistView"));
    m_title->setWordWrap(true);
    m_items->setRootIsDecorated(false);
    m_items->setHeaderLabels(
        {QStringLiteral("Item"), QStringLiteral("Signer"), QStringLiteral("Checked by")});
    m_items->header()->setStretchLastSection(false);
    m_items->header()->setSectionResizeMode(ItemColumn, QHeaderView::Stretch);
    m_items->header()->setSectionResizeMode(SignerColumn, QHeaderView::ResizeToContents);
    m_items->header()->setSectionResizeMode(TickerColumn, QHeaderView::ResizeToContents);
    m_note->setPlaceholderText(QStringLiteral("Note kept with the next item you check"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addWidget(m_items, 1);
    layout->addWidget(m_note);
    connect(m_items, &QTreeWidget::itemChanged, this, &ChecklistView::onItemChanged);
}

std::optional<RefusalOf<>> ChecklistView::reload()
{
    return fill(false);
}

std::optional<RefusalOf<>> ChecklistView::fill(bool inPlace)
{
    const bool showTicker = m_session.system.showApproverName;
    Outcome<ChecklistSheet> sheet = Outcome<ChecklistSheet>::declined();
    runCommand(m_session, m_prompt,
               [&] { sheet = loadChecklistSheet(m_session.db(), m_attach, showTicker); });
    const QSignalBlocker quiet(m_items);
    m_items->setColumnHidden(TickerColumn, !showTicker);
    if (!sheet) {
        if (!inPlace)
            m_items->clear();
        m_title->setText(sheet.refusal() ? sheet.refusal()->message : QString());
        return sheet.refusal();
    }
    m_name = sheet->name;
    m_title->setText(sheet->name);
    // Inside a click on one of its rows the list keeps its rows and only takes the stored state;
    // when the checklist's items changed meanwhile it is built again once the click is over.
    bool same = m_items->topLevelItemCount() == sheet->lines.size();
    for (int i = 0; same && i < sheet->lines.size(); ++i)
        same = m_items->topLevelItem(i)->data(ItemColumn, kTextRole).toString() ==
               sheet->lines.at(i).item.text;
    if (inPlace && !same) {
        QMetaObject::invokeMethod(
            this, [this] { reload(); }, Qt::QueuedConnection);
        return std::nullopt;
    }
    if (!inPlace)
        m_items->clear();
    for (int i = 0; i < sheet->lines.size(); ++i) {
        const ChecklistLine& line = sheet->lines.at(i);
        QTreeWidgetItem* row = inPlace ? m_items->topLevelItem(i) : new QTreeWidgetItem(m_items);
        row->setText(ItemColumn,
                     (line.item.mandatory ? QStringLiteral("* ") : QString()) + line.item.text);
        row->setText(SignerColumn, line.item.signer);
        row->setText(TickerColumn, line.shownTicker);
        row->setData(ItemColumn, kTextRole, line.item.text);
        row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
        row->setCheckState(ItemColumn, line.ticked ? Qt::Checked : Qt::Unchecked);
        row->setToolTip(ItemColumn,
                        line.item.note.isEmpty() ? QString() : plainToolTip(line.item.note));
    }
    // The blocked signals kept the view from hearing of the new state.
    m_items->viewport()->update();
    return std::nullopt;
}

void ChecklistView::setTicked(int row, bool ticked)
{
    if (QTreeWidgetItem* item = m_items->topLevelItem(row))
        item->setCheckState(ItemColumn, ticked ? Qt::Checked : Qt::Unchecked);
}

void ChecklistView::onItemChanged(QTreeWidgetItem* row, int column)
{
    if (column != ItemColumn)
        return;
    const QString text = row->data(ItemColumn, kTextRole).toString();
    const bool tick = row->checkState(ItemColumn) == Qt::Checked;
    Outcome<Done> done = Outcome<Done>::declined();
    const QString user = m_session.user.userId;
    const QString note = m_note->text();
    runCommand(m_session, m_prompt, [&] {
        done = tick ? tickChecklistItem(m_session.db(), user, m_attach, text, note)
                    : untickChecklistItem(m_session.db(), user, m_attach, text);
    });
    // The list goes back to what is stored before a refusal is shown.
    fill(true);
    if (done) {
        if (tick)
            m_note->clear();
        emit changed();
    } else {
        showRefusal(m_prompt, done.refusal());
    }
}

} // namespace bx
