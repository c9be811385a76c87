#pragma once

#include "core/ui/SessionDialog.h"
#include "tasks/LookupLists.h"

class QComboBox;
class QListWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace bx {

class Prompt;
class Session;

/**
 * The maintenance window of the lookup lists: the list chosen in `cmbTable` (priorities and rules
 * as a list, categories as a tree under "Top Level"), with `ADD`, `MODIFY` and `DELETE`. A category
 * dropped on another node moves there (moveCategory()). Every check and message is the logic's
 * (LookupLists); the window reloads its list after each change.
 */
class F_LOOKUP : public SessionDialog
{
    Q_OBJECT
public:
    F_LOOKUP(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** The list shown. */
    LookupKind currentKind() const;
    /** The name of the selected entry or node; "" without a selection. */
    QString selectedName() const;

public Q_SLOTS:
    /**
     * Moves the category `dragged` under the node `target` (asking first, see
     * LookupLists::moveCategory) and rebuilds the tree, keeping expanded nodes expanded. Dropping a
     * node in the tree calls this. @return true when moved
     */
    bool moveCategory(const QString& dragged, const QString& target);

private:
    void reload();
    void fillTree();
    void onAdd();
    void onModify();
    void onDelete();

    QComboBox* m_cmbTable;
    QTreeWidget* m_tree;
    QListWidget* m_list;
};

} // namespace bx
