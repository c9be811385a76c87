#pragma once

#include <QString>

class QListWidget;
class QWidget;

namespace bx {

struct UserChoice;
struct WorkshopRow;

/** Gives a control the name the tests and the window customisation address it by. */
template <typename W> W* workshopNamed(W* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

/** Adds a workshop to a list: its name shown, its GROUP_ID as the item's data. */
void addWorkshopItem(QListWidget* list, const WorkshopRow& row);
/** Adds a user to a list: "ID - Name" shown, the ID as the item's data. */
void addUserItem(QListWidget* list, const UserChoice& user);
/** The GROUP_ID of the current item; 0 when none is selected. */
qlonglong currentWorkshopItem(const QListWidget* list);

} // namespace bx
