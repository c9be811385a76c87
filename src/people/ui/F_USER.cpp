#include "people/ui/F_USER.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/db/DatabaseOpener.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "people/UserAdmin.h"
#include "people/UserTree.h"
#include "people/ui/USER_FORM.h"
#include "people/ui/UserTreeItems.h"

#include <QAction>
#include <QHeaderView>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

F_USER::F_USER(Session& session, Prompt& prompt, QWidget* parent)
    : SessionDialog(session, prompt, "F_USER", QStringLiteral("Users Administrator"), parent)
    , m_tree(new QTreeWidget)
{
    m_tree->setObjectName(QStringLiteral("tvUsers"));
    m_tree->setHeaderLabels({QStringLiteral("User ID"), QStringLiteral("Name")});
    m_tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

    auto* tools = new QToolBar;
    const auto action = [&](const char* name, const char* text, void (F_USER::*slot)()) {
        QAction* a = tools->addAction(QLatin1String(text));
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, slot);
    };
    action("ADD", "Add", &F_USER::onAdd);
    action("MODIFY", "Modify", &F_USER::onModify);
    action("DELETE", "Delete", &F_USER::onDelete);
    tools->addSeparator();
    action("DISABLE", "Disable", &F_USER::onDisable);
    action("ENABLE", "Enable", &F_USER::onEnable);
    tools->addSeparator();
    action("FIND", "Find", &F_USER::onFind);
    action("LOCATE", "Locate", &F_USER::onLocate);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, &F_USER::onModify);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(tools);
    layout->addWidget(m_tree);
    resize(420, 480);
    reload();
}

F_USER::~F_USER() = default;

void F_USER::reload()
{
    const QString chosen = selectedUserId();
    m_tree->clear();
    try {
        addUserItems(m_tree, userTree(m_session.db(), true),
                     [this](QTreeWidgetItem* item, const UserNode& n) {
                         if (n.user.disabled)
                             for (int c = 0; c < 2; ++c)
                                 item->setForeground(
                                     c, palette().brush(QPalette::Disabled, QPalette::Text));
                     });
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
    m_tree->expandAll();
    if (!chosen.isEmpty())
        locate(chosen);
}

QString F_USER::selectedUserId() const
{
    const QTreeWidgetItem* item = m_tree->currentItem();
    return item ? item->text(0) : QString();
}

bool F_USER::locate(const QString& userId)
{
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        if (sameText((*it)->text(0), userId)) {
            m_tree->setCurrentItem(*it);
            m_tree->scrollToItem(*it);
            return true;
        }
    }
    return false;
}

void F_USER::openUser(const QString& mode, const QString& userId)
{
    auto* form = new USER_FORM(m_session, m_prompt, mode, userId, this);
    form->setAttribute(Qt::WA_DeleteOnClose);
    if (mode == QLatin1String("NEW"))
        form->setSupervisor(userId);
    connect(form, &QDialog::accepted, this, [this, form] {
        reload();
        locate(form->savedUserId());
    });
    form->open();
}

void F_USER::onAdd()
{
    openUser(QStringLiteral("NEW"), selectedUserId());
}

void F_USER::onModify()
{
    const QString id = selectedUserId();
    if (id.isEmpty()) {
        m_prompt.inform(kPleaseSelectUser);
        return;
    }
    openUser(QStringLiteral("OPEN"), id);
}

void F_USER::runTreeCommand(const std::function<Outcome<>()>& command)
{
    Outcome<> outcome;
    if (runCommand(m_session, m_prompt, [&] { outcome = command(); }) &&
        !showRefusal(m_prompt, outcome.refusal()) && outcome)
        reload();
}

void F_USER::onDelete()
{
    runTreeCommand([this] { return deleteUser(m_session, m_prompt, selectedUserId()); });
}

void F_USER::onDisable()
{
    runTreeCommand([this] { return disableUser(m_session, m_prompt, selectedUserId()); });
}

void F_USER::onEnable()
{
    runTreeCommand([this] { return enableUser(m_session, selectedUserId()); });
}

void F_USER::onFind()
{
    const auto typed = m_prompt.input(QStringLiteral("User ID:"), QStringLiteral("Find"));
    if (!typed || typed->trimmed().isEmpty())
        return;
    try {
        const auto id = findUserId(m_session.db(), *typed);
        if (!id) {
            m_prompt.inform(QStringLiteral("User not found."));
            return;
        }
        locate(*id);
        openUser(QStringLiteral("OPEN"), *id);
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
}

void F_USER::onLocate()
{
    const auto typed = m_prompt.input(QStringLiteral("User ID:"), QStringLiteral("Locate"));
    if (!typed || typed->trimmed().isEmpty())
        return;
    if (!locate(*typed))
        m_prompt.inform(QStringLiteral("Unable to locate User"));
}

} // namespace bx
