#pragma once

#include <QString>

namespace bx {

/** What a task row stands for: a plain task or a meeting (Meeting_ID non-zero). */
enum class TaskType : int
{
    Task = 0,
    Meeting = 1
};

/**
 * Who owns a task (SCR_OwnerType: a user or a workshop) or whom a recipient names; a lifecycle is
 * only ever a recipient, its first stage then names the owner.
 */
enum class OwnerType : int
{
    User = 0,
    Workshop = 1,
    Lifecycle = 2
};

/** A task's status, stored as one letter in SCR_Status. */
enum class TaskStatus
{
    Active,     ///< "A"
    Complete,   ///< "C"
    Incomplete, ///< "I"
    Cancel,     ///< "X"
};

/** The stored letter of a status. */
inline QString statusCode(TaskStatus status)
{
    static const char codes[] = {'A', 'C', 'I', 'X'};
    return QString(QLatin1Char(codes[static_cast<int>(status)]));
}

/** Whether a stored code (trimmed, in either case) is that status. */
inline bool hasStatus(const QString& code, TaskStatus status)
{
    return code.trimmed().compare(statusCode(status), Qt::CaseInsensitive) == 0;
}

/** The word of a task status code (A, C, I, X); any other code as it is stored. */
inline QString taskStatusWord(const QString& code)
{
    if (hasStatus(code, TaskStatus::Active))
        return QStringLiteral("Active");
    if (hasStatus(code, TaskStatus::Complete))
        return QStringLiteral("Complete");
    if (hasStatus(code, TaskStatus::Incomplete))
        return QStringLiteral("Incomplete");
    if (hasStatus(code, TaskStatus::Cancel))
        return QStringLiteral("Canceled");
    return code;
}

} // namespace bx
