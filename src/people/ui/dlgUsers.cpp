#include "people/ui/dlgUsers.h"

#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/db/DatabaseOpener.h"
#include "people/UserTree.h"

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
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("OKButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tree);
    layout->addWidget(buttons);
    try {
        addNodes(nullptr, userTree(session.db(), false));
    } catch (const DbError& e) {
        reportDatabaseError(e, session, prompt);
    }
    m_tree->expandAll();
}

dlgUsers::~dlgUsers() = default;

void dlgUsers::addNodes(QTreeWidgetItem* parent, const QList<UserNode>& nodes)
{
    for (const UserNode& n : nodes) {
        auto* item = parent ? new QTreeWidgetItem(parent, {n.user.userId, n.user.userName})
                            : new QTreeWidgetItem(m_tree, {n.user.userId, n.user.userName});
        item->setCheckState(0, Qt::Unchecked);
        addNodes(item, n.children);
    }
}

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
