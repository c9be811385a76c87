#include "people/ui/dlgChooseUser.h"

#include "core/Session.h"
#include "core/db/Database.h"
#include "core/db/DatabaseOpener.h"
#include "core/ui/DialogButtons.h"
#include "core/ui/StoredText.h"
#include "people/workshops/RecipientChooser.h"
#include "people/workshops/WorkshopStore.h"
#include "people/workshops/ui/WorkshopWidgets.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

dlgChooseUser::dlgChooseUser(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "dlgChooseUser", QStringLiteral("Choose Recipient"), parent)
    , m_chooser(std::make_unique<RecipientChooser>(session.db()))
    , m_optW(workshopNamed(new QRadioButton(QStringLiteral("Workshops and users")), "optW"))
    , m_optL(workshopNamed(new QRadioButton(QStringLiteral("Lifecycles")), "optL"))
    , m_cmbRecType(workshopNamed(new QComboBox, "cmbRecType"))
    , m_lvUsers(workshopNamed(new QTreeWidget, "lvUsers"))
    , m_lvLifecycles(workshopNamed(new QTreeWidget, "lvLifecycles"))
    , m_lblEcho(workshopNamed(plainLabel(), "lblEcho"))
{
    m_optW->setChecked(true);
    m_lvUsers->setHeaderLabels({QStringLiteral("Workshop Name"), QStringLiteral("User Name"),
                                QStringLiteral("E-Mail"), QStringLiteral("Location")});
    m_lvUsers->setRootIsDecorated(false);
    m_lvLifecycles->setHeaderLabels({QStringLiteral("Lifecycle Name"), QStringLiteral("Owner")});
    m_lvLifecycles->setRootIsDecorated(false);
    // The first columns are wider than the others' default: never cut their captions or names.
    for (QTreeWidget* list : {m_lvUsers, m_lvLifecycles})
        list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_lvLifecycles->hide();
    m_lblEcho->setWordWrap(true);
    auto* buttons = okCancelButtons(this, &dlgChooseUser::onOk);

    auto* modes = new QHBoxLayout;
    modes->addWidget(m_optW);
    modes->addWidget(m_optL);
    modes->addStretch();
    modes->addWidget(new QLabel(QStringLiteral("Workshop:")));
    modes->addWidget(m_cmbRecType);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(modes);
    layout->addWidget(m_lvUsers);
    layout->addWidget(m_lvLifecycles);
    layout->addWidget(m_lblEcho);
    layout->addWidget(buttons);

    try {
        for (const WorkshopRow& row : WorkshopStore(m_session.db()).all())
            m_cmbRecType->addItem(row.name, row.groupId);
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
    m_cmbRecType->setCurrentIndex(
        std::max(0, m_cmbRecType->findData(qlonglong(m_session.currentWorkshopId))));

    connect(m_cmbRecType, &QComboBox::currentIndexChanged, this, &dlgChooseUser::onWorkshop);
    connect(m_optW, &QRadioButton::toggled, this, &dlgChooseUser::onMode);
    connect(m_lvUsers, &QTreeWidget::itemChanged, this, &dlgChooseUser::onUserChanged);
    connect(m_lvLifecycles, &QTreeWidget::itemClicked, this, &dlgChooseUser::onLifecycle);
    onWorkshop();
}

dlgChooseUser::~dlgChooseUser() = default;

void dlgChooseUser::onWorkshop()
{
    m_chooser->setWorkshop(m_cmbRecType->currentData().toLongLong(), m_cmbRecType->currentText());
    m_filling = true;
    m_lvUsers->clear();
    m_lvLifecycles->clear();
    try {
        for (const ChooserUser& user : m_chooser->users()) {
            auto* item = new QTreeWidgetItem(
                m_lvUsers, {user.userId, user.userName, user.email, user.location});
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, m_chooser->isTicked(user.userId) ? Qt::Checked : Qt::Unchecked);
        }
        for (const ChooserLifecycle& lifecycle : m_chooser->lifecycles()) {
            auto* item =
                new QTreeWidgetItem(m_lvLifecycles, {lifecycle.lifecycleId, lifecycle.ownerId});
            item->setData(0, Qt::UserRole, lifecycle.ownerGroupId);
        }
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
    m_filling = false;
    showEcho();
}

void dlgChooseUser::onMode()
{
    const bool users = m_optW->isChecked();
    m_chooser->setMode(users ? RecipientChooser::Mode::Users : RecipientChooser::Mode::Lifecycles);
    m_lvUsers->setVisible(users);
    m_lvLifecycles->setVisible(!users);
    showEcho();
}

void dlgChooseUser::onUserChanged(QTreeWidgetItem* item)
{
    if (m_filling)
        return;
    m_chooser->setTicked(item->text(0), item->checkState(0) == Qt::Checked);
    showEcho();
}

void dlgChooseUser::onLifecycle(QTreeWidgetItem* item)
{
    m_chooser->chooseLifecycle(
        {item->text(0), item->text(1), item->data(0, Qt::UserRole).toLongLong()});
    showEcho();
}

void dlgChooseUser::showEcho()
{
    m_lblEcho->setText(m_chooser->echo());
}

void dlgChooseUser::onOk()
{
    m_recipients = m_chooser->result();
    accept();
}

} // namespace bx
