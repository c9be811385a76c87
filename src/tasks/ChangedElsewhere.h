#pragma once

#include <QString>

/**
 * Optimistic locking of tasks: what a writer saw of a task row, and the refusal it meets when
 * another client wrote the row since. The database raises SCR_Row_Version on every update of a
 * task row; a writer compares the version it read with the row's before it writes, and writes
 * nothing when they differ.
 */
namespace bx {

class Database;
class RecordSet;

/** What a writer read of a task row. */
struct TaskSeen
{
    qlonglong version = 0; ///< SCR_Row_Version as read
    /** SCR_Route_Number as read: history closed after it names who changed the task since. */
    qlonglong routeNumber = 0;
};

/** The version and history pointer of the first row of `row` (a row of SCR). */
TaskSeen taskSeenIn(const RecordSet& row);

/** A write refused because the task changed since it was read; carries the text to show. */
struct TaskChangedElsewhere
{
    QString message;
};

/**
 * "This task was changed by <user> since you opened it. Your changes were not saved.", or the same
 * without "by <user>" when `user` is empty.
 */
QString changedElsewhereMessage(const QString& user);

/**
 * The refusal for task `task`, read as `seen`, that has changed since: it names the user of the
 * newest history entry closed after the entry that was open when the task was read (that user
 * changed the task since); no name when there is none. Throws DbError.
 */
TaskChangedElsewhere changedElsewhere(Database& db, qlonglong task, const TaskSeen& seen);

/**
 * Throws TaskChangedElsewhere when `current` (the task row as it stands now, normally read under
 * the lock of the caller's transaction) holds another version than the one `seen`.
 */
void requireUnchanged(Database& db, qlonglong task, const RecordSet& current, const TaskSeen& seen);

} // namespace bx
