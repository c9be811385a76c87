#pragma once

#include "core/ui/SessionDialog.h"
#include "workflow/ActionItems.h"

class QListWidget;
class QPushButton;
class QTreeWidget;

namespace bx {

class Prompt;
class Session;

/**
 * The trigger editor of one lifecycle of a workshop: its stages (`lvStages`, in sequence order,
 * with the owner of each) and the action-item templates of the chosen stage (`lstActions`). Add
 * and Edit open the action-item editor (ACTION) over this window; Delete asks first. The item
 * list is read again after each change. Escape closes the window.
 */
class TRIGGERS_FORM : public SessionDialog
{
    Q_OBJECT
public:
    TRIGGERS_FORM(Session& session, Prompt& prompt, const QString& lifecycleId,
                  qlonglong ownerGroupId, QWidget* parent = nullptr);

    /** Reads the stages again and chooses the first one. */
    void reload();

private:
    void onStage();
    void showActions(const QString& select = {});
    void onAdd();
    void onEdit();
    void onDelete();
    /** The sequence number of the chosen stage, or -1. */
    int chosenSequence() const;
    QString chosenTitle() const;
    void openEditor(const QString& title);

    ActionItems m_items;
    QTreeWidget* m_stages;
    QListWidget* m_actions;
    QPushButton* m_add;
};

} // namespace bx
