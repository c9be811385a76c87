#include "mainwindow/TaskMoves.h"

#include "core/Folders.h"
#include "core/Gmt.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "core/schema/TaskEvents.h"
#include "mainwindow/CategoryPaths.h"
#include "tasks/cSCR.h"
#include "workflow/RecordRoute.h"

namespace bx {

namespace taskmoves {

QString subtaskQuestion(const QString& task, const QString& target)
{
    return QStringLiteral("Would you like to make ") + task + QStringLiteral(" a Subtask of ") +
           target;
}

QString cannotBeSubtask(const QString& task, const QString& target)
{
    return QStringLiteral("You can't make a task ") + task + QStringLiteral(" a Subtask of ") +
           target;
}

QString routeToUserQuestion(const QString& task, const QString& user)
{
    return QStringLiteral("Would you like to Route ") + task + QStringLiteral(" to User ") + user;
}

QString routeToWorkshopQuestion(const QString& task, const QString& workshop)
{
    return QStringLiteral("Would you like to Route ") + task + QStringLiteral(" to ") +
           QStringLiteral("Workshop") + QStringLiteral(" ") + workshop;
}

QString categoryQuestion(const QString& task, const QString& categoryPath)
{
    return QStringLiteral("Would you like to change Folder of ") + task + QStringLiteral(" to ") +
           categoryPath;
}

QString folderQuestion(const QString& task, const QString& folder)
{
    return QStringLiteral("Would you like to move ") + task + QStringLiteral(" into Folder ") +
           folder;
}

QString independentMessage(const QString& title)
{
    return QStringLiteral("Task \"") + title + QStringLiteral("\" is now independent");
}

} // namespace taskmoves

namespace {

/** Longest parent chain followed; a longer one can only be a loop in the data. */
constexpr int kMaxDepth = 1000;

/** The task row; with `lock`, held against other writers until the transaction ends. */
RecordSet readTask(Database& db, qlonglong task, bool lock = false)
{
    const QString sql = QStringLiteral("SELECT * FROM SCR WHERE %1 = ?").arg(scr::Number);
    return lock ? db.queryLocked(sql, {task}) : db.query(sql, {task});
}

/**
 * The task row locked for a change, refused with TaskChangedElsewhere when it no longer holds
 * what the caller saw. Empty when there is no such task.
 */
RecordSet lockTask(Database& db, qlonglong task, const std::optional<TaskSeen>& seen)
{
    RecordSet row = readTask(db, task, true);
    if (!row.isEmpty() && seen)
        requireUnchanged(db, task, row, *seen);
    return row;
}

/** Records one step of the task as the row now stands. */
void recordStep(Session& session, qlonglong task, const QString& action, const QString& ownerUser)
{
    Database& db = session.db();
    const RecordSet row = readTask(db, task);
    RouteHistoryEntry e;
    e.taskNumber = task;
    e.action = action;
    e.stageName = row.text(scr::LcStageName);
    e.targetDate = row.dateTime(scr::OwnerTargetDate);
    e.ownerUser = ownerUser;
    e.groupId = row.number(scr::GroupId);
    RecordRoute(db, e, GmtConverter(session.clock()).nowGmt(), session.user.userId,
                session.taskNotifier);
}

/**
 * Routes the task, as the drop read it in `row`, to `to` through the task object's routing: the
 * new owner and the "ROUTE" step, notified as any routing is. Inside the caller's transaction
 * when one is open. A task changed since `row` was read is refused with the changed-elsewhere
 * message, which the task object shows, as it shows any error. @return whether it was routed
 */
bool routeByDrop(Session& session, Prompt& prompt, const RecordSet& row, const cSelUser& to)
{
    cSCR scr(session, prompt);
    return scr.Load(row) && scr.Route_SCR({to}, QString(), cSCR::RouteFrom::Drop);
}

/** Whether `candidate` is `task` itself or one of its sub-tasks at any depth. */
bool isSelfOrSubtask(Database& db, qlonglong candidate, qlonglong task)
{
    qlonglong current = candidate;
    for (int depth = 0; current != 0 && depth < kMaxDepth; ++depth) {
        if (current == task)
            return true;
        current = db.scalar(QStringLiteral("SELECT %1 FROM SCR WHERE %2 = ?")
                                .arg(scr::ParentNumber, scr::Number),
                            {current})
                      .toLongLong();
    }
    return false;
}

bool makeSubtask(Session& session, Prompt& prompt, qlonglong task, const QString& title,
                 qlonglong target, const TaskSeen& seen)
{
    Database& db = session.db();
    const RecordSet parent = readTask(db, target);
    if (parent.isEmpty())
        return false;
    const QString targetTitle = parent.text(scr::Title);
    if (isSelfOrSubtask(db, target, task)) {
        prompt.inform(taskmoves::cannotBeSubtask(title, targetTitle));
        return false;
    }
    if (prompt.ask(taskmoves::subtaskQuestion(title, targetTitle)) != PromptAnswer::Yes)
        return false;
    Transaction tx(db);
    if (lockTask(db, task, seen).isEmpty())
        return false;
    db.execute(
        QStringLiteral("UPDATE SCR SET %1 = ? WHERE %2 = ?").arg(scr::ParentNumber, scr::Number),
        {target, task});
    tx.commit();
    return true;
}

QString userName(Database& db, const QString& user)
{
    const QString name =
        db.scalar(QStringLiteral("SELECT User_Name FROM LU_USER WHERE USER_ID = ?"), {user})
            .toString();
    return name.isEmpty() ? user : name;
}

} // namespace

bool mayMoveTask(Session& session, qlonglong task)
{
    const RecordSet row = readTask(session.db(), task);
    if (row.isEmpty())
        return false;
    const QString status = row.text(scr::Status);
    if (!hasStatus(status, TaskStatus::Active) && !hasStatus(status, TaskStatus::Incomplete))
        return false;
    const bool owns = sameText(row.text(scr::OwnerUserId), session.user.userId);
    return UserRights::mayChangeTaskOwnership(session.user.record, owns);
}

bool moveToCategory(Session& session, qlonglong task, const QString& category,
                    const std::optional<TaskSeen>& seen)
{
    Database& db = session.db();
    Transaction tx(db);
    if (lockTask(db, task, seen).isEmpty())
        return false;
    db.execute(QStringLiteral("UPDATE SCR SET %1 = ? WHERE %2 = ?").arg(scr::Category, scr::Number),
               {category.isEmpty() ? QVariant() : QVariant(category), task});
    recordStep(session, task, events::kFolderChange, session.user.userId);
    tx.commit();
    return true;
}

bool moveToFolder(Session& session, Prompt& prompt, qlonglong task, qlonglong folder,
                  const std::optional<TaskSeen>& seen)
{
    Database& db = session.db();
    Transaction tx(db);
    const RecordSet row = lockTask(db, task, seen);
    if (row.isEmpty())
        return false;
    if (folder != 0) {
        const std::optional<FolderRow> target = readFolder(db, folder);
        if (!target)
            return false;
        const bool workshopOwned =
            row.number(scr::OwnerType) == static_cast<int>(OwnerType::Workshop) ||
            row.text(scr::OwnerUserId).trimmed().isEmpty();
        if ((workshopOwned || !sameText(target->ownerId, row.text(scr::OwnerUserId))) &&
            !routeByDrop(session, prompt, row,
                         {target->ownerId, row.number(scr::GroupId), OwnerType::User}))
            return false;
    }
    db.execute(QStringLiteral("UPDATE SCR SET %1 = ? WHERE %2 = ?")
                   .arg(scr::ParentFolderNumber, scr::Number),
               {folder, task});
    recordStep(session, task, events::kFolderChange, session.user.userId);
    tx.commit();
    return true;
}

QString categoryPath(Database& db, const QString& category)
{
    return pathOfCategory(category, [&db](const QString& current) {
        return db
            .scalar(QStringLiteral("SELECT Parent_Category FROM LU_CATEGORY WHERE Category = ?"),
                    {current})
            .toString();
    });
}

bool dropTask(Session& session, Prompt& prompt, qlonglong task, DropTarget target,
              const QVariant& key)
{
    try {
        Database& db = session.db();
        const RecordSet row = readTask(db, task);
        if (row.isEmpty())
            return false;
        if (!mayMoveTask(session, task)) {
            prompt.inform(UserRights::kMayNotDetachSubtask);
            return false;
        }
        const QString title = row.text(scr::Title);
        // The user answers the question about the task as it is now; a change another client
        // makes while the question is open refuses the drop.
        const TaskSeen seen = taskSeenIn(row);
        switch (target) {
        case DropTarget::Task:
            return makeSubtask(session, prompt, task, title, key.toLongLong(), seen);
        case DropTarget::User:
            if (prompt.ask(taskmoves::routeToUserQuestion(title, userName(db, key.toString()))) !=
                PromptAnswer::Yes)
                return false;
            return routeByDrop(session, prompt, row,
                               {key.toString(), row.number(scr::GroupId), OwnerType::User});
        case DropTarget::Workshop: {
            const QString name =
                db.scalar(QStringLiteral("SELECT GROUP_NAME FROM LU_GROUP WHERE GROUP_ID = ?"),
                          {key.toLongLong()})
                    .toString();
            if (prompt.ask(taskmoves::routeToWorkshopQuestion(title, name)) != PromptAnswer::Yes)
                return false;
            return routeByDrop(session, prompt, row,
                               {QString(), key.toLongLong(), OwnerType::Workshop});
        }
        case DropTarget::Category:
            if (prompt.ask(taskmoves::categoryQuestion(title, categoryPath(db, key.toString()))) !=
                PromptAnswer::Yes)
                return false;
            return moveToCategory(session, task, key.toString(), seen);
        case DropTarget::Folder: {
            const std::optional<FolderRow> folder = readFolder(db, key.toLongLong());
            if (!folder) {
                prompt.inform(folders::kNotFound);
                return false;
            }
            if (prompt.ask(taskmoves::folderQuestion(title, folder->name)) != PromptAnswer::Yes)
                return false;
            return moveToFolder(session, prompt, task, folder->counter, seen);
        }
        }
        return false;
    } catch (const TaskChangedElsewhere& refused) {
        prompt.inform(refused.message, {}, PromptIcon::Warning);
        return false;
    }
}

bool closeTask(Session& session, Prompt& prompt, qlonglong task)
{
    const RecordSet row = readTask(session.db(), task);
    if (row.isEmpty())
        return false;
    if (!sameText(row.text(scr::OwnerUserId), session.user.userId)) {
        prompt.inform(QStringLiteral("You can close only your own tasks"));
        return false;
    }
    cSCR scr(session, prompt);
    return scr.Load(task) && scr.CloseOut(QStringLiteral("YES"), 0, QString());
}

bool makeIndependent(Session& session, Prompt& prompt, qlonglong task)
{
    Database& db = session.db();
    const RecordSet row = readTask(db, task);
    if (row.isEmpty() || row.number(scr::ParentNumber) == 0)
        return false;
    const bool owns = sameText(row.text(scr::OwnerUserId), session.user.userId);
    if (!UserRights::mayChangeTaskOwnership(session.user.record, owns)) {
        prompt.inform(UserRights::kMayNotDetachSubtask);
        return false;
    }
    // The rights were checked on the row as read; a row changed since is left alone.
    const TaskSeen seen = taskSeenIn(row);
    if (db.execute(QStringLiteral("UPDATE SCR SET %1 = 0 WHERE %2 = ? AND %3 = ?")
                       .arg(scr::ParentNumber, scr::Number, scr::RowVersion),
                   {task, seen.version}) == 0) {
        prompt.inform(changedElsewhere(db, task, seen).message, {}, PromptIcon::Warning);
        return false;
    }
    prompt.inform(taskmoves::independentMessage(row.text(scr::Title)));
    return true;
}

std::optional<QString> supervisorOf(Session& session, Prompt& prompt, const QString& user)
{
    const QString supervisor =
        session.db()
            .scalar(QStringLiteral("SELECT Supervisor_User_ID FROM LU_USER WHERE USER_ID = ?"),
                    {user})
            .toString()
            .trimmed();
    if (supervisor.isEmpty()) {
        prompt.inform(QStringLiteral("Top of team structure reached"));
        return std::nullopt;
    }
    return supervisor;
}

} // namespace bx
