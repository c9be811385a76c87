#pragma once

#include "tasks/ChangedElsewhere.h"
#include "tasks/TaskTypes.h"

#include <QString>
#include <QVariant>

#include <optional>

/**
 * What the team tree does with a task dropped on one of its nodes, and the task commands of the
 * main window that change a task without opening it (close, make independent, walk up the team).
 *
 * The tree calls dropTask with the dragged task's number and the kind and key of the node it was
 * dropped on. Only open tasks (status A or I) may be dropped, and only by their owner unless the
 * signed-in user may change task ownership (Edit_Unowned). Every drop asks its question first and
 * changes nothing on No.
 *
 * A drop on a user or workshop routes the task through the task object (cSCR::Route_SCR), the one
 * routing path of the program: the task leaves its folder, becomes unviewed and records "ROUTE",
 * whose notices go out as for any routing. Every other change of a task and the history it
 * leaves run in one transaction: the task row is locked, changed with bound values and its
 * "FOLDER CHANGE" step recorded through RecordRoute (which keeps no history for a sensitive
 * task). Their database errors travel up to the window's command (runCommand), which reports
 * them.
 *
 * A drop acts on the task as it was when it was dropped: the row is read then, the question
 * asked, and the change made only while the locked row still holds the version read (see
 * tasks/ChangedElsewhere.h). A task another client changed while the question was open is left
 * as it is and the user told "This task was changed by ... since you opened it. ...". The same
 * holds for making a task independent and, through the task object, for closing it.
 */
namespace bx {

class Database;
class Prompt;
class Session;

namespace taskmoves {

QString subtaskQuestion(const QString& task, const QString& target);
QString cannotBeSubtask(const QString& task, const QString& target);
QString routeToUserQuestion(const QString& task, const QString& user);
QString routeToWorkshopQuestion(const QString& task, const QString& workshop);
QString categoryQuestion(const QString& task, const QString& categoryPath);
QString folderQuestion(const QString& task, const QString& folder);
/** "Task \"" + title + "\" is now independent" */
QString independentMessage(const QString& title);

} // namespace taskmoves

/** The kind of team-tree node a task was dropped on. */
enum class DropTarget
{
    Task,     ///< "SCR": key = SCR_Number
    User,     ///< "LU_USER": key = USER_ID
    Workshop, ///< tags holding "LU_GROUP": key = GROUP_ID
    Category, ///< "SCR_CATEGORY": key = the category; empty for "Unspecified Folder"
    Folder    ///< "FOLDER": key = Folder_Counter
};

/**
 * The team tree's drop of task `task` on the node (`target`, `key`): checks that the task may be
 * dropped ("System settings don't allow to make this operation. ..."), asks the target's question
 * and, on Yes, makes the change:
 *  - Task: the task becomes a sub-task of the target (never of itself or of its own sub-task:
 *    "You can't make a task ... a Subtask of ...");
 *  - User, Workshop: routed to the user or the workshop through the task object's routing
 *    (cSCR::Route_SCR, as a drop), which records "ROUTE" and notifies as any routing does; a
 *    database error or a task changed meanwhile is shown by the task object;
 *  - Category: moveToCategory; Folder: moveToFolder.
 * @return true when the task changed, so that the tree rebuilds its node; false otherwise
 */
bool dropTask(Session& session, Prompt& prompt, qlonglong task, DropTarget target,
              const QVariant& key);

/**
 * Whether the signed-in user may drop (route, file, re-parent) the task: it is open (status A or
 * I) and the user owns it (trimmed, upper-cased) or has Edit_Unowned. Throws DbError.
 */
bool mayMoveTask(Session& session, qlonglong task);

/**
 * With `seen` (what the caller read of the task), the moves below write nothing when the row holds
 * another version by now: TaskChangedElsewhere is thrown.
 */

/** Sets the task's category (empty: none) and records "FOLDER CHANGE". Throws DbError. */
bool moveToCategory(Session& session, qlonglong task, const QString& category,
                    const std::optional<TaskSeen>& seen = std::nullopt);

/**
 * Files the task in folder `folder` (0: in no folder) and records "FOLDER CHANGE" for the
 * signed-in user. A folder of another owner, or a task owned by a workshop, first routes the task
 * to the folder's owner, through the task object as a drop on that user does. One transaction.
 * @return false when the task or the folder is missing, or the routing failed (the task object
 * has shown why). Throws DbError.
 */
bool moveToFolder(Session& session, Prompt& prompt, qlonglong task, qlonglong folder,
                  const std::optional<TaskSeen>& seen = std::nullopt);

/**
 * The category with its parents, from the top down, joined with "\"; "Unspecified Folder" for
 * an empty category (pathOfCategory of CategoryPaths.h, one query per parent; CategoryPaths
 * gives many paths from one read). Throws DbError.
 */
QString categoryPath(Database& db, const QString& category);

/**
 * mnuCloseTask: the signed-in user closes (completes) a task he owns; another's task is refused
 * with "You can close only your own tasks". @return true when the task was saved
 */
bool closeTask(Session& session, Prompt& prompt, qlonglong task);

/**
 * mnuIndepend: the sub-task loses its parent. Needs ownership of the task or Edit_Unowned.
 * Ends with "Task \"<title>\" is now independent", or with the changed-elsewhere message when
 * another client wrote the task between the check and the change. @return true when the task
 * changed
 */
bool makeIndependent(Session& session, Prompt& prompt, qlonglong task);

/**
 * The up command of the team view: the supervisor of `user`; "Top of team structure reached" is
 * shown and nothing returned when the user has none.
 */
std::optional<QString> supervisorOf(Session& session, Prompt& prompt, const QString& user);

} // namespace bx
