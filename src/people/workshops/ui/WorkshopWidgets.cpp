#include "people/workshops/ui/WorkshopWidgets.h"

#include "people/workshops/WorkshopStore.h"

#include <QListWidget>

namespace bx {

void addWorkshopItem(QListWidget* list, const WorkshopRow& row)
{
    auto* item = new QListWidgetItem(row.name, list);
    item->setData(Qt::UserRole, row.groupId);
}

void addUserItem(QListWidget* list, const UserChoice& user)
{
    const QString text =
        user.userName.isEmpty() ? user.userId : user.userId + QStringLiteral(" - ") + user.userName;
    auto* item = new QListWidgetItem(text, list);
    item->setData(Qt::UserRole, user.userId);
}

qlonglong currentWorkshopItem(const QListWidget* list)
{
    const QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? item->data(Qt::UserRole).toLongLong() : 0;
}

} // namespace bx
