#pragma once

#include <QDateTime>
#include <QString>

namespace bx {

class Database;
class TaskNotifier;

/**
 * One action taken on a task, queued by the task object and recorded when the task is saved.
 * The fields are taken from the task object when the entry is queued, after the action changed
 * its owner fields.
 */
struct RouteHistoryEntry
{
    qlonglong taskNumber = 0; ///< SCR_Number
    QString action;           ///< the action word ("Task routed", "YES", "Cancel", ...)
    QString stageName;        ///< SCR_LC_Stage_Name; empty without a lifecycle
    QDateTime targetDate;     ///< SCR_Owner_Target_Date in GMT (naive); invalid when empty
    QString ownerUser;        ///< SCR_Owner_User_ID; empty when the owner is a group
    qlonglong groupId = 0;    ///< SCR_Group_ID
    QString comment;          ///< the comment the user gave
};

using HistoryEntry = RouteHistoryEntry;

/**
 * Records one history entry of a task in ROUTE: closes the task's open row (or, when the task has
 * none, adds one row that is closed at once), notifies, adds the new open row for the owner of
 * the entry and points SCR_Route_Number at it.
 *
 * All of it runs in one transaction (a savepoint when one is already open) that first locks the
 * task row, so two clients recording on one task at once are served one after the other and leave
 * one chain with one open row. On the server engine the lock is a row lock taken with
 * SELECT ... FOR UPDATE; on the embedded engine the write transaction itself serialises writers.
 *
 * Sensitive tasks (SCR_Sensitive non-zero) keep no history: nothing is written and nobody is
 * notified. A task number without a row records nothing either.
 *
 * @param db            the open database; the calling thread must own it
 * @param entry         what to record
 * @param actionDateGmt when the action happened, in GMT (naive; see core/Gmt.h)
 * @param currentUserId the signed-in user, who took the action
 * @param notifier      told between closing and opening; may be null
 * @param recorded      when not null and rows were written, receives the task row's new route
 *                      pointer and version, so that the caller need not read them again
 * @return true when rows were written, false for a sensitive or missing task
 * @throws DbError on any database failure, and whatever the notifier throws; either way the
 *         transaction is rolled back and nothing of the entry stays
 */
/** The task row as a recorded entry left it. */
struct RouteRecorded
{
    qlonglong routeNumber = 0; ///< SCR_Route_Number: the row opened for the next action
    qlonglong rowVersion = 0;  ///< SCR_Row_Version after the pointer was written
};

bool RecordRoute(Database& db, const RouteHistoryEntry& entry, const QDateTime& actionDateGmt,
                 const QString& currentUserId, TaskNotifier* notifier,
                 RouteRecorded* recorded = nullptr);

} // namespace bx
