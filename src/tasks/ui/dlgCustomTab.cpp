#include "tasks/ui/dlgCustomTab.h"

#include "core/Session.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "people/workshops/WorkshopStore.h"
#include "tasks/CustomTab.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace bx {

dlgCustomTab::dlgCustomTab(Session& session, Prompt& prompt, qlonglong workshop, QWidget* parent)
    : SessionDialog(session, prompt, "dlgCustomTab", QStringLiteral("Custom Tab"), parent)
    , m_workshop(workshop)
    , m_list(named(new QListWidget, "lstControls"))
{
    auto* layout = new QVBoxLayout(this);
    auto* caption = named(new QLabel, "lblWorkshop");
    layout->addWidget(caption);
    layout->addWidget(m_list, 1);
    layout->addWidget(okCancelButtons(this, &dlgCustomTab::onOk));
    QString name;
    runCommand(m_session, m_prompt, [&] { name = GroupName(m_session.db(), m_workshop); });
    caption->setText(QStringLiteral("Plug-in on the custom tab of tasks in %1:").arg(name));
    fill();
}

void dlgCustomTab::fill()
{
    QString current;
    runCommand(m_session, m_prompt, [&] {
        m_plugIns = plugins::registeredPlugIns(m_session.db());
        current = plugins::ownCustomTab(m_session.db(), m_workshop);
    });
    new QListWidgetItem(QStringLiteral("(the plug-in of the workshop above)"), m_list);
    m_list->setCurrentRow(0);
    for (const plugins::RegisteredPlugIn& plugIn : std::as_const(m_plugIns)) {
        auto* row = new QListWidgetItem(plugIn.label, m_list);
        row->setToolTip(plugIn.progId);
        if (!current.isEmpty() && plugIn.progId.compare(current, Qt::CaseInsensitive) == 0)
            m_list->setCurrentItem(row);
    }
}

void dlgCustomTab::onOk()
{
    const int row = m_list->currentRow();
    const QString progId = row > 0 ? m_plugIns.at(row - 1).progId : QString();
    std::optional<RefusalOf<>> refused;
    if (!runCommand(m_session, m_prompt, [&] {
            refused =
                plugins::setCustomTab(m_session.db(), m_session.user.record, m_workshop, progId);
        }))
        return;
    if (showRefusal(m_prompt, refused))
        return;
    accept();
}

} // namespace bx
