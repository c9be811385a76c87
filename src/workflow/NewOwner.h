#pragma once

#include "core/schema/TaskColumns.h"
#include "core/schema/TaskKinds.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <utility>

namespace bx {

class Database;

/** A column of SCR and the value a routing step gives it. */
using ColumnValue = std::pair<scr::Column, QVariant>;

/**
 * What every routing step of the task object writes when a task gets a new owner, whether the
 * task editor routes it or the main window drops it on a user or workshop: the owner, the workshop,
 * the personal folder cleared (it was the old owner's) and the viewed date cleared (the new owner
 * has not read it). The owner is stored as given: a user ID, empty for a workshop chosen in the
 * editor, or a workshop's number for a drop on a workshop.
 */
QList<ColumnValue> newOwnerColumns(const QString& owner, qlonglong group);

/**
 * What the task editor's save adds when it gave the task a new owner (a person, or a workshop's
 * "unassigned" place): SCR_OwnerType back to a person's 0, so that a task a drop had given to a
 * workshop as a whole (1, the owner column holding the workshop's number) shows for its new owner.
 * The task object keeps its hands off the column otherwise.
 */
ColumnValue ownerKindOfEditorRoute();

} // namespace bx
