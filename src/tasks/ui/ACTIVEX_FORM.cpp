#include "tasks/ui/ACTIVEX_FORM.h"

#include "core/Session.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace bx {

ACTIVEX_FORM::ACTIVEX_FORM(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "ACTIVEX_FORM", QStringLiteral("Add Plug-in"), parent)
    , m_list(named(new QListWidget, "lstControls"))
    , m_tabBar(named(new QCheckBox(QStringLiteral("Show in tab bar")), "chkTabBar"))
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Plug-ins:")));
    layout->addWidget(m_list, 1);
    layout->addWidget(m_tabBar);
    layout->addWidget(okCancelButtons(this, &ACTIVEX_FORM::onOk));
    connect(m_list, &QListWidget::itemDoubleClicked, this, &ACTIVEX_FORM::onOk);
    fill();
    // Wide enough for the labels the list holds, as far as the screen allows.
    resize(qBound(360, m_list->sizeHintForColumn(0) + 60, 720), 320);
}

void ACTIVEX_FORM::fill()
{
    runCommand(m_session, m_prompt,
               [&] { m_plugIns = plugins::registeredPlugIns(m_session.db()); });
    for (const plugins::RegisteredPlugIn& plugIn : std::as_const(m_plugIns)) {
        auto* row = new QListWidgetItem(plugIn.label, m_list);
        row->setToolTip(plugIn.progId);
    }
    // Nothing is chosen until the user chooses.
    m_list->setCurrentRow(-1);
}

void ACTIVEX_FORM::onOk()
{
    const int row = m_list->currentItem() ? m_list->currentRow() : -1;
    const Outcome<PendingAttachment> chosen =
        plugins::plugInAttachment(row >= 0 ? &m_plugIns.at(row) : nullptr, m_tabBar->isChecked(),
                                  m_session.user.userId, m_session.clock());
    if (showRefusal(m_prompt, chosen.refusal(), [this](NoField) { return m_list; }))
        return;
    m_pending = *chosen;
    accept();
}

} // namespace bx
