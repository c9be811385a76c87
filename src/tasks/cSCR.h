#pragma once

#include "core/Gmt.h"
#include "core/db/RecordSet.h"
#include "core/schema/TaskColumns.h"
#include "people/cSelUser.h"
#include "tasks/TaskTypes.h"
#include "workflow/Lifecycle.h"
#include "workflow/RecordRoute.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace bx {

class Database;
class Prompt;
class Session;
class Transaction;

namespace task_detail {
enum class WorkflowAction : int;
}

/**
 * One task (a row of SCR) in memory: the values of its columns, the recipients it is to go to and
 * the history entries waiting to be recorded when it is saved. Each open task window owns one.
 *
 * Values live in one map keyed by the column's schema name; value() and setValue() reach every
 * column, and the columns the logic works with have typed accessors. Dates are held as naive local
 * values and converted from and to GMT when the row is read or written, with the session clock's
 * base bias (core/Gmt.h). A snapshot of the values as they stand in the row is kept, so that
 * change tests and a save can tell exactly what the user changed (changedColumns()).
 *
 * Errors (a number 0, a missing row, a failed statement) are shown at once in the task error box
 * (showTaskError, "Budget Row Error") through the prompt; the operation then returns without
 * further effect. Nothing is thrown to the caller.
 *
 * Writes are optimistic: a save, a routing or a close-out writes only while the row still holds
 * the version the object read (SCR_Row_Version, raised by the database on every update). When
 * another client changed the task since, nothing is written, the object stays as it was and
 * changedElsewhere() holds the message ("This task was changed by ... since you opened it. Your
 * changes were not saved."), which the object shows unless the caller said it shows it itself.
 *
 * The session and the prompt must outlive the object. Not thread-safe: it belongs to the thread
 * that owns the session's database.
 */
class cSCR
{
public:
    cSCR(Session& session, Prompt& prompt);
    /**
     * A task that was created and never saved gives its number row back: the row Create added is
     * deleted (the number is not used again).
     */
    ~cSCR();
    cSCR(const cSCR&) = delete;
    cSCR& operator=(const cSCR&) = delete;

    // --- Operations -----------------------------------------------------------------------------

    /**
     * Starts a new task of the given type: empty values, every date now, owner and requester the
     * signed-in user, requester's workshop and the task's workshop the current workshop, status
     * "A". A row is added to SCR to draw the number (SCR_Counter); SCR_Number and everything else
     * are written by the first save. @return the new task number, 0 when the row could not be
     * added (the error has been shown)
     */
    qlonglong Create(TaskType type = TaskType::Task);

    /**
     * Reads task `number` into the object and takes the snapshot. When the signed-in user owns the
     * task and it has never been viewed, the viewed date is set to now in the row and the object.
     * @return false when the number is 0 (" Task number not defined "), when there is no such row,
     * or on a database error; the error has been shown and, for 0, the object is unchanged.
     */
    bool Load(qlonglong number);
    /**
     * Takes the task from its row as the caller read it (SELECT * FROM SCR), writing nothing: no
     * viewed date is set. A later write is refused when the row no longer holds the version read.
     * @return false for an empty row or one without a number (" Task number not defined ")
     */
    bool Load(const RecordSet& row);

    /** Whether the due date, start date or lifecycle end date differs from the snapshot. */
    bool IsTargetChanged() const;
    bool IsStartChanged() const;
    bool IsLCDateChanged() const;

    /**
     * Writes the task: the first save of a created task writes every column and records "Create
     * Request" (or CreateNote), remembers the recipient as the signed-in user's default assignment
     * and makes a clone for each recipient after the first; a later save updates the row and
     * records the queued history entries in queue order. An empty category is saved as the root
     * folder of the task's workshop.
     *
     * Before writing, the plug-in may veto the save (SavePlugIn); when UsersCol is empty the
     * current owner is the recipient, and a first recipient that is not a lifecycle becomes the
     * owner. Everything (the row, its history, the clones and their attachments) is written in one
     * transaction: on any failure nothing is written, the error is shown and the object is as it
     * was before the call. On success the snapshot is retaken, the history queue and UsersCol are
     * emptied and Saved() is true.
     *
     * @return true when the task was written; false when it is not open (" The task is not opened
     *         "), when the plug-in cancelled or on an error
     */
    bool SAVE();

    /**
     * Queues one history entry per column group changed since the snapshot, in the fixed order
     * ("LC End Date changed", "Target Date changed", ..., "Custom Field changed"), or "Task saved"
     * when nothing changed; the date notes come from the note form, the others carry `note`. Then
     * SCR_Route_Note takes the last date note the user gave, else `note`. Does nothing for a task
     * not yet saved.
     */
    void MakeHistory(const QString& note);

    /** What MakeHistory changes (the queue and SCR_Route_Note), taken before it runs. */
    struct HistoryMark
    {
        qsizetype queued = 0;
        QVariant routeNote;
    };
    HistoryMark historyMark() const;
    /**
     * Takes back what was queued since `mark` and puts SCR_Route_Note back, for a save that made
     * its history and then was not written: the next attempt makes it afresh, with whatever
     * changed meanwhile, instead of recording it twice.
     */
    void undoHistory(const HistoryMark& mark);

    /**
     * Lets the plug-in of the custom tab veto the save ("ACTION" answered with "CANCEL") and, once
     * in the object's life when `readBack` is set, hand back its custom field and due date (a date
     * without time of day gets the current time); its lifecycle end date is taken every time.
     * @return false when the plug-in cancelled; true otherwise, and always without a plug-in
     */
    bool SavePlugIn(bool readBack);

    /** Where a routing comes from: it decides the word recorded and how a workshop owns the task.
     */
    enum class RouteFrom
    {
        /** The task editor: "Task routed"; the owner is stored as the recipient names it. */
        Editor,
        /**
         * A drop on a user or workshop in the team tree: "ROUTE". A workshop owns the task as a
         * whole (its number in SCR_Owner_User_ID, SCR_OwnerType 1; the route row names no user);
         * a user owns it as a person (SCR_OwnerType 0).
         */
        Drop
    };

    /**
     * Forwards the task to the first recipient: a lifecycle recipient enters the task into that
     * lifecycle; a user or workshop becomes the owner (folder and viewed date cleared, route note
     * = `note`), each further recipient gets a clone, the routing's word ("Task routed", or
     * "ROUTE" for a drop) is queued and the task saved, all in one transaction. The plug-in is
     * told "CANCEL" and UsersCol emptied.
     * @return true when the task was saved; false for no recipient ("Please specify recipient"),
     *         a lifecycle without stages, a task changed elsewhere or an error (shown; the object
     *         is as before)
     */
    bool Route_SCR(const QList<cSelUser>& recipients, const QString& note,
                   RouteFrom from = RouteFrom::Editor);

    /**
     * Copies the task for another owner: a new task with every value of this one, owner `userId`
     * in workshop `groupId`, creation history "Task cloned", and copies of this task's
     * attachments. Runs inside the caller's transaction when one is open. This task must have been
     * saved. @return the clone's number, 0 on an error (shown)
     */
    qlonglong CloneSCR(const QString& userId, qlonglong groupId);

    /**
     * Copies every attachment row of task `from` to task `to` under new numbers, with its stored
     * file and, for a custom form, its form values (CONTROL rows). In one transaction. The new
     * numbers are appended to `copies` when given (the editor takes them back on discard).
     * @return false on an error (shown; nothing copied)
     */
    bool SCRCloneAttach(qlonglong from, qlonglong to, QList<qlonglong>* copies = nullptr);

    /**
     * Takes a workflow action on the task, compared without regard to case:
     *  - "YES": refused while a mandatory item of an attached checklist is unticked (the message
     *    names item and checklist); with a lifecycle, status "A" and one stage forward, else "C"
     *  - "NO": with a lifecycle one stage back, else status "I"
     *  - "Jump": with a lifecycle `step` stages on (recorded as "YES" when step >= 1, else
     *    "Jump"), else status "C"
     *  - "Reopen": a completed task becomes active; any other status changes and records nothing
     *  - "Cancel": status "X"
     *  - "CONDITIONAL": recorded, owner and status unchanged
     *  - "LCEnd": every remaining stage is signed off and recorded as "YES", and the task is
     *    completed
     * The action is recorded with `note` and the task saved. Then, when the task became complete
     * (or active again after "Reopen"), its direct active (completed) sub-tasks are offered for
     * the same change in one question naming the task's title; SCR_Route_Note keeps `note`.
     * @return true when the task was saved; false when refused or on an error (shown; the object
     *         is as before)
     */
    bool CloseOut(const QString& action, int step, const QString& note);

    /** Sets Publish of one of the task's attachments. @return false on an error (shown) */
    bool PublishAttach(qlonglong attachNumber, bool publish);

    /**
     * The task's attachments, newest first, without their stored files (read those with
     * Database::readBlob). Empty for a task not open or on an error (shown).
     */
    RecordSet RS_ATTACH() const;

    /**
     * The message of the last write refused because another client had changed the task since
     * it was read; empty when the last write was not refused for that reason. Load the task again
     * before writing it.
     */
    const QString& changedElsewhere() const { return m_changedElsewhere; }
    /**
     * Whether the object shows the message of a write refused for a task changed elsewhere (the
     * default) or leaves it to the caller, which reads changedElsewhere() and offers to reload.
     */
    void setShowsChangedElsewhere(bool shows) { m_showsChangedElsewhere = shows; }

    /** Tells the plug-in, if one is set, that the task is finished with ("EXIT"). */
    void ClearObject();

    /**
     * Queues a history entry stamped with the task's number, stage, due date (in GMT), owner and
     * workshop as they stand now. Entries are recorded by the save, in queue order.
     */
    void queueHistory(const QString& action, const QString& note);
    const QList<RouteHistoryEntry>& pendingHistory() const { return m_history; }

    // --- Values ---------------------------------------------------------------------------------

    /** The value of a carried column (see TaskTypes.h for its type); Null for an unknown one. */
    QVariant value(const QString& column) const;
    /**
     * Sets a column, brought to the column's type. @return false, changing nothing, for an
     * unknown or read-only column (SCR_Counter, SCR_Number, SCR_Owner_Date_In,
     * SCR_Row_Version).
     */
    bool setValue(const QString& column, const QVariant& value);

    /** All values, keyed by the columns' schema names. */
    const QVariantMap& values() const { return m_values; }
    /** The values as they stand in the row (as loaded, or as created). */
    const QVariantMap& snapshot() const { return m_snapshot; }
    /** The columns whose value differs from the snapshot, in schema order. */
    QStringList changedColumns() const;
    /**
     * The value of a column in the form the row stores it, ready to be bound: dates in GMT (an
     * empty date as Null), SCR_LC_Owner_Group_ID 0 as Null, other values as held.
     */
    QVariant storedValue(const QString& column) const;

    qlonglong SCR_Number() const { return num(scr::Number); }
    QString SCR_Title() const { return text(scr::Title); }
    void setSCR_Title(const QString& v) { set(scr::Title, v); }
    QString SCR_Status() const { return text(scr::Status); }
    void setSCR_Status(const QString& v) { set(scr::Status, v); }
    QString SCR_Owner_User_ID() const { return text(scr::OwnerUserId); }
    void setSCR_Owner_User_ID(const QString& v) { set(scr::OwnerUserId, v); }
    qlonglong SCR_Group_ID() const { return num(scr::GroupId); }
    void setSCR_Group_ID(qlonglong v) { set(scr::GroupId, v); }
    QString SCR_Request_ID() const { return text(scr::RequestId); }
    qlonglong SCR_Request_Group_ID() const { return num(scr::RequestGroupId); }
    QString SCR_Lifecycle_ID() const { return text(scr::LifecycleId); }
    QString SCR_LC_Stage_Name() const { return text(scr::LcStageName); }
    QString SCR_LC_Owner_ID() const { return text(scr::LcOwnerId); }
    qlonglong SCR_LC_Owner_Group_ID() const { return num(scr::LcOwnerGroupId); }
    QString SCR_Category() const { return text(scr::Category); }
    void setSCR_Category(const QString& v) { set(scr::Category, v); }
    QString SCR_Route_Note() const { return text(scr::RouteNote); }
    qlonglong SCR_Route_Number() const { return num(scr::RouteNumber); }
    qlonglong SCR_Parent_Number() const { return num(scr::ParentNumber); }
    void setSCR_Parent_Number(qlonglong v) { set(scr::ParentNumber, v); }
    qlonglong SCR_Parent_Folder_Number() const { return num(scr::ParentFolderNumber); }
    QDateTime SCR_Owner_Date_In() const { return date(scr::OwnerDateIn); }
    bool SCR_Sensitive() const { return flag(scr::Sensitive); }
    qlonglong Meeting_ID() const { return num(scr::MeetingId); }
    QDateTime SCR_Owner_Date_Viewed() const { return date(scr::OwnerDateViewed); }
    QDateTime SCR_Owner_Target_Date() const { return date(scr::OwnerTargetDate); }
    void setSCR_Owner_Target_Date(const QDateTime& v) { set(scr::OwnerTargetDate, v); }
    QDateTime SCR_StartDate() const { return date(scr::StartDate); }
    void setSCR_StartDate(const QDateTime& v) { set(scr::StartDate, v); }
    QDateTime SCR_Lifecycle_End_Date() const { return date(scr::LifecycleEndDate); }
    void setSCR_Lifecycle_End_Date(const QDateTime& v) { set(scr::LifecycleEndDate, v); }

    // --- State besides the columns --------------------------------------------------------------

    TaskType taskType() const { return m_taskType; }
    /** Set by the caller before a new meeting is first saved. */
    void setTaskType(TaskType type) { m_taskType = type; }
    /** Kind of the first recipient. */
    bx::OwnerType OwnerType() const { return m_ownerType; }
    void setOwnerType(bx::OwnerType type) { m_ownerType = type; }
    /** True after every successful save. */
    bool Saved() const { return m_saved; }
    /** True from Create until the first save has finished; false after Load. */
    bool isNew() const { return m_new; }
    bool SubTask() const { return m_subTask; }
    void setSubTask(bool on) { m_subTask = on; }
    /** History text of the first save; the save uses "Create Request" when it is empty. */
    const QString& CreateNote() const { return m_createNote; }
    void setCreateNote(const QString& note) { m_createNote = note; }
    /** Copied into clones. */
    void setGroupKey(qlonglong key) { m_groupKey = key; }
    qlonglong groupKey() const { return m_groupKey; }
    /** The recipients the task is to go to; the caller fills the list, the save empties it. */
    QList<cSelUser>& UsersCol() { return m_users; }
    const QList<cSelUser>& UsersCol() const { return m_users; }
    /** The plug-in of the custom tab, or null; not owned. */
    void setActiveObject(TaskPlugIn* plugIn) { m_plugIn = plugIn; }
    /** The note dialog asked for the notes of date changes (MakeHistory), or null; not owned. */
    void setNoteForm(TaskNoteSource* form) { m_noteForm = form; }

    // --- Permissions, as computed after Create and Load ------------------------------------------

    bool SCR_Permission_Read() const { return m_permRead; }
    /** A new task, or a task of mine that is active. */
    bool SCR_Permission_Write() const { return m_permWrite; }
    bool SCR_Permission_Forward() const { return m_permForward; }
    /** A task of mine that is not active. */
    bool SCR_Permission_Reopen() const { return m_permReopen; }

private:
    /** Everything an operation may change in the object, kept to undo it when the write fails. */
    struct State
    {
        QVariantMap values;
        QVariantMap snapshot;
        QList<RouteHistoryEntry> history;
        QList<cSelUser> users;
        bool isNew = true;
        bool saved = false;
        bool rowPending = false;
        bool plugInReadBack = false;
    };
    State state() const;
    void restore(const State& s);

    /**
     * Runs an operation in two phases: `prepare` changes the object (it may read, run rule scripts
     * and ask the user, and returns false to stop quietly), then `write` runs in one transaction.
     * A rule script run by `prepare` opens that transaction before it starts (joinTransaction),
     * so that its writes commit or roll back with the operation. A DbError or
     * task_detail::TaskFault from either phase rolls back, puts the object back as it was before
     * and shows the text; stopping quietly puts it back too. Errors reported while the
     * transaction is open are shown once it has ended, so that no message box holds its locks.
     * @return whether the write was committed
     */
    bool guarded(const std::function<bool()>& prepare, const std::function<void()>& write);
    bool guarded(const std::function<void()>& write)
    {
        return guarded([] { return true; }, write);
    }

    /** Within guarded(): opens the operation's transaction unless it is open already. */
    void joinTransaction();

    qlonglong createRow(TaskType type);
    void startLoading();
    void takeRow(const RecordSet& row);
    /** Sets the viewed date of a task its owner opens for the first time; see Load. */
    void markViewed(Database& db, qlonglong number);
    /** The non-lifecycle part of Route_SCR: the new owner and the routing's history entry. */
    void routeToOwner(const cSelUser& first, const QString& note, RouteFrom from);
    /** Deletes the row Create added when no save wrote it; errors are logged. */
    void discardPendingRow() noexcept;
    void writeTask();
    void writeNewRow(Database& db);
    void writeExistingRow(Database& db);
    void recordQueued(Database& db);
    /** Takes the row's version and history pointer as this object's own writes left them. */
    void rereadWritten(Database& db);
    void rememberDefaultAssignment(Database& db);
    QString workshopRootFolder(Database& db, qlonglong group) const;
    qlonglong cloneFor(const QString& userId, qlonglong groupId);
    QList<qlonglong> copyAttachments(Database& db, qlonglong from, qlonglong to);

    bool enterLifecycle(const QString& lifecycleId, qlonglong ownerGroup, const QString& note);
    void MoveStage(int offset, const QString& action);
    void endLifecycle(const QString& note);
    /** A history entry of the task as it stands now (see queueHistory). */
    RouteHistoryEntry historyEntry(const QString& action, const QString& note) const;
    /**
     * The status and stage change of a workflow action; `recorded` becomes the word its history
     * entry carries. False when the action does not apply (reopening a task that is not complete).
     */
    bool applyAction(task_detail::WorkflowAction what, const QString& action, int step,
                     QString& recorded);
    /**
     * Throws the mandatory-item message when an attached checklist has a mandatory item unticked:
     * asked before every action that accepts a stage or completes the task.
     */
    void refuseUncheckedMandatoryItem();
    StageOwner runRule(const LifecycleStage& ruleStage, const StageOwner& proposed,
                       QString* targetStage);
    StageOwner requester() const;
    void cascadeToSubTasks(qlonglong number, const QString& action, const QString& note);

    void initialise();
    void computePermissions();
    void takeSnapshot() { m_snapshot = m_values; }
    bool ownerIsMe() const;
    bool dateChanged(const QString& column) const;
    void reportError(const QString& description) const;

    // The column of each is a name of the catalogue (core/schema/TaskColumns.h), checked as it
    // compiles: a string does not convert to one.
    QString text(scr::Column column) const;
    qlonglong num(scr::Column column) const;
    bool flag(scr::Column column) const;
    QDateTime date(scr::Column column) const;
    void set(scr::Column column, const QVariant& v);

    Session& m_session;
    Prompt& m_prompt;
    GmtConverter m_gmt;

    QVariantMap m_values;
    QVariantMap m_snapshot;
    QList<RouteHistoryEntry> m_history;
    QList<cSelUser> m_users;

    TaskType m_taskType = TaskType::Task;
    bx::OwnerType m_ownerType = bx::OwnerType::User;
    bool m_saved = false;
    bool m_new = true;
    bool m_subTask = false;
    QString m_createNote;
    qlonglong m_groupKey = 0;
    TaskPlugIn* m_plugIn = nullptr;
    TaskNoteSource* m_noteForm = nullptr;
    bool m_plugInReadBack = false;
    /** Create added a row that no save has written yet; the destructor deletes it. */
    bool m_rowPending = false;
    /** SCR_OwnerType as a drop's routing sets it, written by that routing's save only. */
    std::optional<bx::OwnerType> m_routedKind;
    /** Create or Load succeeded: there is a row to save. */
    bool m_opened = false;
    QString m_changedElsewhere;
    bool m_showsChangedElsewhere = true;
    /** The transaction of the operation guarded() is running, opened when first needed. */
    std::optional<Transaction>* m_operationTx = nullptr;
    /** What the last history entry recorded in this save left in the row; none before. */
    std::optional<RouteRecorded> m_recorded;
    /** Errors reported while that transaction is open, shown after it has ended. */
    mutable QStringList m_heldErrors;

    bool m_permRead = true;
    bool m_permWrite = true;
    bool m_permForward = true;
    bool m_permReopen = false;
};

} // namespace bx
