#include "tasks/ui/CHECKLIST_FORM.h"

#include "core/Session.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "tasks/SignOff.h"
#include "workflow/Checklists.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>

namespace bx {

CHECKLIST_FORM::CHECKLIST_FORM(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "CHECKLIST_FORM", QStringLiteral("Select Checklist"), parent)
    , m_list(named(new QComboBox, "cmbCheckList"))
    , m_tabBar(named(new QCheckBox(QStringLiteral("Display on Tabbar")), "chkTabBar"))
{
    m_list->setMinimumContentsLength(30);
    auto* rows = new QFormLayout;
    rows->addRow(QStringLiteral("Checklist:"), m_list);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rows);
    layout->addWidget(m_tabBar);
    layout->addStretch(1);
    layout->addWidget(okCancelButtons(this, &CHECKLIST_FORM::onOk));
    fill();
}

void CHECKLIST_FORM::fill()
{
    QList<ChecklistSummary> lists;
    runCommand(m_session, m_prompt,
               [&] { lists = workshopChecklists(m_session.db(), m_session.currentWorkshopId); });
    for (const ChecklistSummary& list : lists)
        m_list->addItem(list.name);
    // Nothing is chosen until the user chooses.
    m_list->setCurrentIndex(-1);
}

void CHECKLIST_FORM::onOk()
{
    const Outcome<PendingAttachment> chosen = signoff::checklistAttachment(
        m_list->currentText(), m_tabBar->isChecked(), m_session.user.userId, m_session.clock());
    if (showRefusal(m_prompt, chosen.refusal(), [this](NoField) { return m_list; }))
        return;
    m_pending = *chosen;
    accept();
}

} // namespace bx
