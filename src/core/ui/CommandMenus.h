#pragma once

#include <QAction>
#include <QHash>
#include <QString>
#include <QStringList>

class QMenu;
class QWidget;

namespace bx {

/**
 * A window's commands by name: one action per command, its objectName the command's name, so that
 * menus, toolbars and tests share it. Makes the action on `owner`, connects it to `slot` when one
 * is given, files it under its name in `commands` and returns it.
 */
template <typename Owner>
QAction* addCommand(QHash<QString, QAction*>& commands, Owner* owner, const char* name,
                    const QString& caption, void (Owner::*slot)())
{
    auto* action = new QAction(caption, owner);
    action->setObjectName(QString::fromLatin1(name));
    if (slot)
        QObject::connect(action, &QAction::triggered, owner, slot);
    commands.insert(action->objectName(), action);
    return action;
}

/**
 * A context menu named `name` on `parent` holding the `commands` named in `names`, in order; an
 * empty name stands for a separator.
 */
QMenu* commandMenu(QWidget* parent, const QString& name, const QStringList& names,
                   const QHash<QString, QAction*>& commands);

} // namespace bx
