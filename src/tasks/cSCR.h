#pragma once

#include "core/Gmt.h"
#include "people/cSelUser.h"
#include "tasks/TaskTypes.h"
#include "workflow/RecordRoute.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace bx {

class Prompt;
class Session;

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
 * The session and the prompt must outlive the object. Not thread-safe: it belongs to the thread
 * that owns the session's database.
 */
class cSCR
{
public:
    cSCR(Session& session, Prompt& prompt);
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

    /** Whether the due date, start date or lifecycle end date differs from the snapshot. */
    bool IsTargetChanged() const;
    bool IsStartChanged() const;
    bool IsLCDateChanged() const;

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
     * unknown or read-only column (SCR_Counter, SCR_Number, SCR_Owner_Date_In).
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

    qlonglong SCR_Number() const { return num(u"SCR_Number"); }
    QString SCR_Title() const { return text(u"SCR_Title"); }
    void setSCR_Title(const QString& v) { set(u"SCR_Title", v); }
    QString SCR_Status() const { return text(u"SCR_Status"); }
    void setSCR_Status(const QString& v) { set(u"SCR_Status", v); }
    QString SCR_Owner_User_ID() const { return text(u"SCR_Owner_User_ID"); }
    void setSCR_Owner_User_ID(const QString& v) { set(u"SCR_Owner_User_ID", v); }
    qlonglong SCR_Group_ID() const { return num(u"SCR_Group_ID"); }
    void setSCR_Group_ID(qlonglong v) { set(u"SCR_Group_ID", v); }
    QString SCR_Request_ID() const { return text(u"SCR_Request_ID"); }
    qlonglong SCR_Request_Group_ID() const { return num(u"SCR_Request_Group_ID"); }
    QString SCR_Lifecycle_ID() const { return text(u"SCR_Lifecycle_ID"); }
    QString SCR_LC_Stage_Name() const { return text(u"SCR_LC_Stage_Name"); }
    bool SCR_Sensitive() const { return flag(u"SCR_Sensitive"); }
    qlonglong Meeting_ID() const { return num(u"Meeting_ID"); }
    QDateTime SCR_Owner_Date_Viewed() const { return date(u"SCR_Owner_Date_Viewed"); }
    QDateTime SCR_Owner_Target_Date() const { return date(u"SCR_Owner_Target_Date"); }
    void setSCR_Owner_Target_Date(const QDateTime& v) { set(u"SCR_Owner_Target_Date", v); }
    QDateTime SCR_StartDate() const { return date(u"SCR_StartDate"); }
    void setSCR_StartDate(const QDateTime& v) { set(u"SCR_StartDate", v); }
    QDateTime SCR_Lifecycle_End_Date() const { return date(u"SCR_Lifecycle_End_Date"); }
    void setSCR_Lifecycle_End_Date(const QDateTime& v) { set(u"SCR_Lifecycle_End_Date", v); }

    // --- State besides the columns --------------------------------------------------------------

    TaskType taskType() const { return m_taskType; }
    /** Set by the caller before a new meeting is first saved. */
    void setTaskType(TaskType type) { m_taskType = type; }
    /** Kind of the first recipient (cSelUser::kUser, kWorkshop or kLifecycle). */
    int OwnerType() const { return m_ownerType; }
    void setOwnerType(int type) { m_ownerType = type; }
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

    // --- Permissions, as computed after Create and Load ------------------------------------------

    bool SCR_Permission_Read() const { return m_permRead; }
    /** A new task, or a task of mine that is active. */
    bool SCR_Permission_Write() const { return m_permWrite; }
    bool SCR_Permission_Forward() const { return m_permForward; }
    /** A task of mine that is not active. */
    bool SCR_Permission_Reopen() const { return m_permReopen; }

private:
    void initialise();
    void computePermissions();
    void takeSnapshot() { m_snapshot = m_values; }
    bool ownerIsMe() const;
    bool dateChanged(const QString& column) const;
    void reportError(const QString& description) const;

    QString text(QStringView column) const;
    qlonglong num(QStringView column) const;
    bool flag(QStringView column) const;
    QDateTime date(QStringView column) const;
    void set(QStringView column, const QVariant& v);

    Session& m_session;
    Prompt& m_prompt;
    GmtConverter m_gmt;

    QVariantMap m_values;
    QVariantMap m_snapshot;
    QList<RouteHistoryEntry> m_history;
    QList<cSelUser> m_users;

    TaskType m_taskType = TaskType::Task;
    int m_ownerType = cSelUser::kUser;
    bool m_saved = false;
    bool m_new = true;
    bool m_subTask = false;
    QString m_createNote;
    qlonglong m_groupKey = 0;
    TaskPlugIn* m_plugIn = nullptr;

    bool m_permRead = true;
    bool m_permWrite = true;
    bool m_permForward = true;
    bool m_permReopen = false;
};

} // namespace bx
