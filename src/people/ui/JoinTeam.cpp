#include "people/ui/JoinTeam.h"

#include "core/Session.h"
#include "core/db/Database.h"
#include "core/db/DatabaseOpener.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "people/workshops/RecentWorkshops.h"
#include "people/workshops/WorkshopService.h"
#include "people/workshops/ui/WorkshopWidgets.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace bx {

JoinTeam::JoinTeam(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "JoinTeam", QStringLiteral("Join Workshop"), parent)
    , m_txtSearch(workshopNamed(new QLineEdit, "txtSearch"))
    , m_lstGroups(workshopNamed(new QListWidget, "lstGroups"))
    , m_lstRecent(workshopNamed(new QListWidget, "lstRecent"))
{
    auto* buttons = new QDialogButtonBox;
    QPushButton* join = buttons->addButton(QStringLiteral("Join"), QDialogButtonBox::AcceptRole);
    join->setObjectName(QStringLiteral("cmdJoin"));
    buttons->addButton(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Workshop name:")));
    layout->addWidget(m_txtSearch);
    layout->addWidget(m_lstGroups);
    layout->addWidget(new QLabel(QStringLiteral("Recent workshops:")));
    layout->addWidget(m_lstRecent);
    layout->addWidget(buttons);

    connect(m_txtSearch, &QLineEdit::textChanged, this, &JoinTeam::onSearch);
    connect(m_lstGroups, &QListWidget::itemDoubleClicked, this, [this] { joinFrom(m_lstGroups); });
    connect(m_lstRecent, &QListWidget::itemDoubleClicked, this, [this] { joinFrom(m_lstRecent); });
    // Picking in one list clears the other, so that Join knows which one is meant.
    connect(m_lstGroups, &QListWidget::itemClicked, m_lstRecent, &QListWidget::clearSelection);
    connect(m_lstRecent, &QListWidget::itemClicked, m_lstGroups, &QListWidget::clearSelection);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        joinFrom(currentWorkshopItem(m_lstGroups) != 0 ? m_lstGroups : m_lstRecent);
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    onSearch();
    AddRecentWorkshops();
}

void JoinTeam::AddRecentWorkshops()
{
    m_lstRecent->clear();
    try {
        for (const WorkshopRow& row : RecentWorkshops(m_session.settings()).rows(m_session.db()))
            addWorkshopItem(m_lstRecent, row);
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
}

void JoinTeam::onSearch()
{
    m_lstGroups->clear();
    try {
        for (const WorkshopRow& row :
             WorkshopStore(m_session.db()).findByPrefix(m_txtSearch->text()))
            addWorkshopItem(m_lstGroups, row);
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
}

void JoinTeam::joinFrom(QListWidget* list)
{
    const qlonglong id = currentWorkshopItem(list);
    if (id == 0)
        return;
    Outcome<> joined;
    if (runCommand(m_session, m_prompt,
                   [&] { joined = WorkshopService(m_session, m_prompt).join(id); }) &&
        !showRefusal(m_prompt, joined.refusal()) && joined) {
        m_joined = id;
        accept();
    }
}

} // namespace bx
