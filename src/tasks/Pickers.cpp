#include "tasks/Pickers.h"

#include "core/Prompt.h"

namespace bx {

QStringList priorityChoices(Session& session, Prompt& prompt)
{
    return LookupLists(session, prompt).entries(LookupKind::Priority);
}

QList<CategoryNode> folderChoices(Session& session, Prompt& prompt)
{
    QList<CategoryNode> tree = LookupLists(session, prompt).categoryTree();
    if (!tree.isEmpty() && tree.first().level == 0 && lookup::isUnspecified(tree.first().name))
        tree.removeFirst(); // the tree is headed by the pseudo-entry
    return tree;
}

} // namespace bx
