#pragma once

#include "core/db/ChangeMarkers.h"
#include "core/db/RecordSet.h"
#include "core/schema/TaskColumns.h"
#include "tasks/DateRange.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>

namespace bx {

class Clock;
class Database;
class Session;

/** Which viewed state of the owner the team view lists (one of three menu items). */
enum class ViewedState
{
    Viewed,
    Unviewed,
    Both ///< "Viewed & Unviewed"
};

/** The view menu commands of the team tab. */
enum class ViewCommand
{
    Active,      ///< IDM_ACTIVE
    Complete,    ///< IDM_COMPLETE
    Incomplete,  ///< IDM_INCOMPLETE
    Canceled,    ///< IDM_CANCELED
    Viewed,      ///< IDM_VIEWED
    Unviewed,    ///< IDM_UNVIEWED
    BothViewed,  ///< IDM_BOTH_VIEWED
    RequestedBy, ///< IDM_REQUESTED_BY
    OwnedBy,     ///< IDM_OWNED_BY
    Late         ///< mnuLate
};

/** The quick views of the toolbar, by button key. */
enum class QuickView
{
    ActiveTasks,
    LateTasks,
    UnviewedTasks,
    RequestedBy,
    Approval
};

/** A date window over one date column of the task, both days included. */
struct TaskDateWindow
{
    bool on = false;
    QString field = scr::StartDate; ///< a SCR date column or "closedate"
    QDate from;
    QDate to;

    /** The window the date-range picker chose, switched on. */
    static TaskDateWindow fromChoice(const DateRangeChoice& choice);
};

/** What the search dialog asked for while a search runs. */
struct TaskSearchMode
{
    bool on = false;
    QString statuses; ///< the chosen status codes out of "ACIX"; empty = every status
    TaskDateWindow window;
};

/**
 * The checked state of the team tab's view menus (and the running search). Change it through
 * apply() so that the menu items stay exclusive the way the menus make them.
 */
struct TaskViewFilter
{
    bool active = true;
    bool complete = false;
    bool incomplete = false;
    bool canceled = false;
    bool late = false;
    ViewedState viewed = ViewedState::Both;
    bool requestedBy = false;
    /** Kept and toggled; it narrows nothing. */
    bool ownedBy = false;
    QStringList categories; ///< empty = every category
    QStringList priorities; ///< empty = every priority
    TaskDateWindow window;
    TaskSearchMode search;

    /** The state a new session starts with: Active, both viewed states, window of 180 days. */
    static TaskViewFilter defaults(const QDate& today);

    /** Sets and clears the checks as the menu command does. */
    void apply(ViewCommand command);
    /** Sets the checks of a quick view (Approval leaves them alone: it has its own condition). */
    void apply(QuickView view);

    /** The window caption's suffixes for the checked views: " (Active)", " (Late)", ... */
    QString captionSuffix() const;
};

/** A piece of SQL with "?" markers and the values to bind to them, in order. */
struct TaskCriteria
{
    QString sql;
    QVariantList params;

    TaskCriteria& operator+=(const TaskCriteria& other)
    {
        sql += other.sql;
        params += other.params;
        return *this;
    }
};

/**
 * The conditions that decide which tasks the team view lists, to be appended to a statement
 * over SCR: empty or starting with " AND". In order: the workshop (not while searching) and the
 * status group (none when no status is chosen), the viewed state, "requested by me", categories,
 * priorities, the date window and "late". Every value is bound. Dates are local days: the window
 * runs from the start of its first day up to the start of the day after its last day, turned into
 * GMT with the session clock's bias, since task dates are stored in GMT; "late" compares the due
 * date with the present moment in GMT. The "closedate" window looks at the newest completing
 * route entry (Route_Status 'C'); a task without one is outside every such window.
 *
 * @param table the name or alias of the SCR row the conditions are about
 */
TaskCriteria buildTaskCriteria(const TaskViewFilter& filter, const Session& session,
                               const QString& table = QStringLiteral("SCR"));

/**
 * The change markers that stand for the tasks buildTaskCriteria lets through: those of the
 * session's workshop, or every workshop's while searching (a search is not kept to the workshop).
 */
change_markers::Scope markerScope(const TaskViewFilter& filter, const Session& session);

/**
 * The Approval quick view: active tasks whose checklist waits for the current user's sign-off
 * (a template item signed by the user that has no row yet on the task's own checklist), owned by
 * and requested by enabled users. A complete condition (no leading " AND").
 */
TaskCriteria approvalCondition(const Session& session);

/** The columns every task list reads, "SCR.SCR_Number, SCR.SCR_Title, ...". */
const QString& taskListColumns();

/** A grid column: its header and the SCR column it shows. */
struct TaskGridColumn
{
    QString header;
    QString field;
};
const QList<TaskGridColumn>& taskGridColumns();

/** Owners of one kind shown in the team tree. */
enum class OwnerKind
{
    Workshop, ///< SCR_OwnerType 1, owner id is the workshop's number as text
    Contact,
    User
};

struct OwnerSet
{
    OwnerKind kind = OwnerKind::User;
    QStringList ids; ///< must not be empty
};

/**
 * The condition that the task of the statement's row "SCR" belongs to one of `owners`, without a
 * leading " AND"; their ids are appended to `params` in the order of the markers. Users' tasks
 * count only when they are kept for no contact and asked for by an enabled user; a workshop's
 * tasks are those owned by the workshop itself. Every list of the main window that is kept to
 * some owners (team tree, grid, quick reports) narrows through this one condition.
 */
QString ownerTerm(const OwnerSet& owners, QVariantList& params);

/**
 * The team tree's statement for one kind of owner: their tasks that pass the criteria, no
 * meetings, ordered by owner, folder and category. User-owned tasks whose requester is disabled
 * are left out. Unless `flatSubTasks`, a sub-task whose parent passes the criteria too is left
 * out (it is shown under its parent).
 */
TaskCriteria treeTaskQuery(const OwnerSet& owners, const TaskViewFilter& filter,
                           const Session& session, bool flatSubTasks = false);

/**
 * The grid's statement for the selected owner node (none selected: the whole view), ordered by
 * category, priority and date in.
 */
TaskCriteria gridTaskQuery(const OwnerSet* owner, const TaskViewFilter& filter,
                           const Session& session);
/** The grid's statement of the Approval quick view. */
TaskCriteria approvalGridQuery(const Session& session);
/**
 * One task's row as the grid's statement for `owner` lists it: nothing comes back when the task
 * no longer passes (or is a meeting), so that a saved task can join or leave the lists without a
 * rebuild.
 */
TaskCriteria oneTaskQuery(qlonglong number, const OwnerSet* owner, const TaskViewFilter& filter,
                          const Session& session);
/**
 * The rows of the tasks `numbers` (at least one) as the grid's statement for `owner` lists them,
 * in one statement with every number bound: those that no longer pass are absent.
 */
TaskCriteria someTasksQuery(const QList<qlonglong>& numbers, const OwnerSet* owner,
                            const TaskViewFilter& filter, const Session& session);
/** The same for the Approval quick view. */
TaskCriteria someApprovalTasksQuery(const QList<qlonglong>& numbers, const Session& session);

/**
 * Whether a task row may be listed for `userId`: a sensitive task only for its owner and its
 * requester (ids compared without regard to case).
 */
bool taskVisibleTo(const RecordSet& rows, int row, const QString& userId);

/**
 * Names the contact of each row for the list: the rows' SCR_Contact_Key values become "Last,
 * First", and Null for 0, Null, the marker 1 of tasks kept for a contact and keys that name no
 * contact. The names are read in one statement for all rows. Rows without that column are left
 * as they are. @throws DbError
 */
void nameTaskContacts(Database& db, const QStringList& names, QList<QVariantList>& rows);

inline const QString kTooManyTasks =
    QStringLiteral("There are too many tasks in the current view, not all will be displayed. "
                   "Please apply more restrictive filter or change \"Query Timeout\" option in "
                   "System Options (admin utility)");

/** What filling a list did. */
struct TaskListFill
{
    int inserted = 0;
    int hidden = 0;       ///< sensitive rows of others
    bool stopped = false; ///< the time limit was reached
    QString message;      ///< kTooManyTasks when stopped
};

/**
 * Runs `statement` and hands each row the user may see to `insert`, until the seconds since the
 * query started pass the system setting Query_Wait. `elapsedMs` reports the time since the start
 * (a steady clock when empty). @throws DbError
 */
TaskListFill fillTaskList(Session& session, const TaskCriteria& statement,
                          const std::function<void(const RecordSet& rows, int row)>& insert,
                          const std::function<qint64()>& elapsedMs = {});
/** The same on any connection, with the limit in seconds and the user the rows are listed for. */
TaskListFill fillTaskList(Database& db, int queryWaitSeconds, const QString& userId,
                          const TaskCriteria& statement,
                          const std::function<void(const RecordSet& rows, int row)>& insert,
                          const std::function<qint64()>& elapsedMs = {});

} // namespace bx
