#include "core/ui/CommandMenus.h"

#include <QMenu>

namespace bx {

QMenu* commandMenu(QWidget* parent, const QString& name, const QStringList& names,
                   const QHash<QString, QAction*>& commands)
{
    auto* menu = new QMenu(parent);
    menu->setObjectName(name);
    for (const QString& c : names) {
        if (c.isEmpty())
            menu->addSeparator();
        else
            menu->addAction(commands.value(c));
    }
    return menu;
}

} // namespace bx
