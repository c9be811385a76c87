#include "people/ui/AddGroup.h"

#include "core/Session.h"
#include "core/db/Database.h"
#include "core/db/DatabaseOpener.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/ShowRefusal.h"
#include "people/workshops/WorkshopService.h"
#include "people/workshops/ui/WorkshopWidgets.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace bx {

AddGroup::AddGroup(Session& session, Prompt& prompt, const QString& userId, QWidget* parent)
    : SessionDialog(session, prompt, "AddGroup", QStringLiteral("Select Workshop"), parent)
    , m_lstGroups(workshopNamed(new QListWidget, "lstGroups"))
{
    auto* buttons = okCancelButtons(this, &AddGroup::onOk);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lstGroups);
    layout->addWidget(buttons);
    connect(m_lstGroups, &QListWidget::itemDoubleClicked, this, &AddGroup::onOk);

    try {
        WorkshopStore store(m_session.db());
        const QList<WorkshopRow> rows =
            userId.trimmed().isEmpty() ? store.all() : store.notMemberOf(userId.trimmed());
        for (const WorkshopRow& row : rows)
            addWorkshopItem(m_lstGroups, row);
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
}

void AddGroup::onOk()
{
    const qlonglong id = currentWorkshopItem(m_lstGroups);
    if (showRefusal(m_prompt, WorkshopService::confirmPick(id)))
        return;
    m_id = id;
    m_name = m_lstGroups->currentItem()->text();
    accept();
}

} // namespace bx
