#pragma once

#include <QDateTime>
#include <QString>

namespace bx {

class Database;
class RecordSet;

/**
 * Sends the notices of one recorded task event (e-mail and internal messages).
 *
 * RecordRoute calls it once per recorded history entry, after the task's open route row has been
 * closed and before the next one is added, inside the transaction that records the entry: the
 * rows it reads through the same connection are the closed row and the task as it stood before
 * the re-pointing. An exception it lets escape undoes the whole recording.
 */
class TaskNotifier
{
public:
    virtual ~TaskNotifier() = default;

    /**
     * @param db         the connection and transaction of the recording: every write goes through
     *                   it, so that it stays or goes with the route rows (on the embedded engine
     *                   another connection would wait on this one's write lock)
     * @param task       the task's SCR row (the cursor stands on it)
     * @param route      the ROUTE row just closed (the cursor stands on it)
     * @param action     the action word as queued, without the recipient suffix
     * @param stageName  the lifecycle stage name, empty without a lifecycle
     * @param targetDate the task's owner target date in GMT; invalid when empty
     * @param ownerUser  the new owner user, empty when the task went to a group
     * @param groupId    the task's group (SCR_Group_ID after the action)
     * @param comment    the comment the user gave
     */
    virtual void NotifyTaskEvent(Database& db, const RecordSet& task, const RecordSet& route,
                                 const QString& action, const QString& stageName,
                                 const QDateTime& targetDate, const QString& ownerUser,
                                 qlonglong groupId, const QString& comment) = 0;
};

} // namespace bx
