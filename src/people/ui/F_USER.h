#pragma once

#include "core/Refusal.h"
#include "core/ui/SessionDialog.h"

#include <functional>

class QTreeWidget;

namespace bx {

class Prompt;
class Session;

/**
 * "Users Administrator": every user in the tree of supervisors (disabled users greyed), with the
 * toolbar commands ADD (a new user under the chosen one), MODIFY, DELETE, disable (with the users
 * below), enable, find by ID (opens the user) and locate (chooses the user in the tree). The user
 * window opens over it and the tree is read again when that closes.
 */
class F_USER : public SessionDialog
{
    Q_OBJECT
public:
    F_USER(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~F_USER() override;

    /** Reads the tree again, keeping the chosen user chosen. */
    void reload();
    /** The chosen user's ID, "" when none. */
    QString selectedUserId() const;
    /** Chooses a user in the tree; false when he is not in it. */
    bool locate(const QString& userId);

private:
    void openUser(const QString& mode, const QString& userId);
    /** Runs a command of the tree: its refusal is shown, and the tree read again when done. */
    void runTreeCommand(const std::function<Outcome<>()>& command);
    void onAdd();
    void onModify();
    void onDelete();
    void onDisable();
    void onEnable();
    void onFind();
    void onLocate();

    QTreeWidget* m_tree;
};

} // namespace bx
