#include "people/ui/dlgUsers.h"

#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/db/DatabaseOpener.h"
#include "core/ui/DialogButtons.h"
#include "people/UserTree.h"
#include "people/ui/UserTreeItems.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

dlgUsers::dlgUsers(Session& session, Prompt& prompt, QWidget* parent)
    : QDialog(parent)
    , m_tree(new QTreeWidget)
{
    setObjectName(QStringLiteral("dlgUsers"));
    setWindowTitle(QStringLiteral("Users"));
    m_tree->setObjectName(QStringLiteral("tvUsers"));
    m_tree->setHeaderLabels({QStringLiteral("User ID"), QStringLiteral("Name")});
    auto* buttons = okCancelButtons(this, {}, {"OKButton", nullptr});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tree);
    layout->addWidget(buttons);
    try {
        addUserItems(
            m_tree, userTree(session.db(), false),
            [](QTreeWidgetItem* item, const UserNode&) { item->setCheckState(0, Qt::Unchecked); });
    } catch (const DbError& e) {
        reportDatabaseError(e, session, prompt);
    }
    m_tree->expandAll();
}

dlgUsers::~dlgUsers() = default;

QStringList dlgUsers::chosenUsers() const
{
    QStringList out;
    for (QTreeWidgetItemIterator it(m_tree, QTreeWidgetItemIterator::Checked); *it; ++it)
        out << (*it)->text(0);
    return out;
}

void dlgUsers::setChosenUsers(const QStringList& userIds)
{
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        bool chosen = false;
        for (const QString& id : userIds)
            chosen = chosen || sameText(id, (*it)->text(0));
        (*it)->setCheckState(0, chosen ? Qt::Checked : Qt::Unchecked);
    }
}

} // namespace bx
