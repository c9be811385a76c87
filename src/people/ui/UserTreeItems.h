#pragma once

#include <QList>

#include <functional>

class QTreeWidget;
class QTreeWidgetItem;

namespace bx {

struct UserNode;

/**
 * Adds the users of `roots` to the top of `tree`, each as his ID and name with the users he
 * supervises beneath him; `each` finishes every item (a check box, a colour).
 */
void addUserItems(QTreeWidget* tree, const QList<UserNode>& roots,
                  const std::function<void(QTreeWidgetItem*, const UserNode&)>& each);

} // namespace bx
