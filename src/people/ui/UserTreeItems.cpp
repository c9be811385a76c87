#include "people/ui/UserTreeItems.h"

#include "people/UserTree.h"

#include <QTreeWidget>

namespace bx {

namespace {

void addBelow(QTreeWidget* tree, QTreeWidgetItem* parent, const QList<UserNode>& nodes,
              const std::function<void(QTreeWidgetItem*, const UserNode&)>& each)
{
    for (const UserNode& n : nodes) {
        const QStringList columns{n.user.userId, n.user.userName};
        auto* item =
            parent ? new QTreeWidgetItem(parent, columns) : new QTreeWidgetItem(tree, columns);
        each(item, n);
        addBelow(tree, item, n.children, each);
    }
}

} // namespace

void addUserItems(QTreeWidget* tree, const QList<UserNode>& roots,
                  const std::function<void(QTreeWidgetItem*, const UserNode&)>& each)
{
    addBelow(tree, nullptr, roots, each);
}

} // namespace bx
