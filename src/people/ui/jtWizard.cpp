#include "people/ui/jtWizard.h"

#include "core/ui/ShowRefusal.h"
#include "people/ui/DlgAddTeam.h"
#include "people/ui/JoinTeam.h"
#include "people/workshops/WorkshopService.h"
#include "people/workshops/ui/WorkshopWidgets.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace bx {

jtWizard::jtWizard(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "jtWizard", QStringLiteral("Workshops"), parent)
{
    auto* join =
        workshopNamed(new QPushButton(QStringLiteral("Join an existing Workshop")), "cmdJoin");
    auto* create =
        workshopNamed(new QPushButton(QStringLiteral("Create my own Workshop")), "cmdCreate");
    auto* close = workshopNamed(new QPushButton(QStringLiteral("Close")), "cmdClose");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("What would you like to do?")));
    for (QPushButton* b : {join, create, close})
        layout->addWidget(b);
    connect(join, &QPushButton::clicked, this, &jtWizard::onJoin);
    connect(create, &QPushButton::clicked, this, &jtWizard::onCreate);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

void jtWizard::onJoin()
{
    if (showRefusal(m_prompt, WorkshopService(m_session, m_prompt).mayJoin()))
        return;
    JoinTeam window(m_session, m_prompt, this);
    if (window.exec() == QDialog::Accepted) {
        emit workshopReady(window.joinedGroupId());
        accept();
    }
}

void jtWizard::onCreate()
{
    DlgAddTeam window(m_session, m_prompt, 0, this);
    if (window.exec() == QDialog::Accepted) {
        emit workshopReady(window.savedGroupId());
        accept();
    }
}

} // namespace bx
