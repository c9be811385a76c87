#pragma once

#include <QString>

/**
 * The words a task's history records in ROUTE.Route_Action, as the task object, the main window's
 * moves, the route history and the notice service share them.
 */
namespace bx::events {

/** A task made by its requester (the task object's first save, unless told another word). */
inline const QString kCreateRequest = QStringLiteral("Create Request");
/** A task given a new owner by the task editor (the closed row adds " to '<owner>' ..."). */
inline const QString kTaskRouted = QStringLiteral("Task routed");
/** A task given a new owner by a drop on a user or workshop in the team tree. */
inline const QString kRoute = QStringLiteral("ROUTE");
/** A task moved to a folder or a category. */
inline const QString kFolderChange = QStringLiteral("FOLDER CHANGE");
/** The copy of a task made for a further recipient. */
inline const QString kTaskCloned = QStringLiteral("Task cloned");
inline const QString kTargetDateChanged = QStringLiteral("Target Date changed");
inline const QString kCustomFieldChanged = QStringLiteral("Custom Field changed");

/** The close-out actions whose notices the requester may ask for (Ext2). */
inline const QString kYes = QStringLiteral("YES");
inline const QString kNo = QStringLiteral("NO");
inline const QString kReopen = QStringLiteral("Reopen");
inline const QString kCancel = QStringLiteral("Cancel");

} // namespace bx::events
