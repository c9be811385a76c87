#pragma once

#include "core/schema/TaskColumns.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

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

/** Which writes of the task object take a column (TaskColumn::writes). */
using TaskColumnWrite = ColumnWrite;

/** A column of SCR that the task object carries: a row of the task table's catalogue. */
using TaskColumn = ColumnDef;

/**
 * Every column of SCR the task object carries (the carried rows of scrColumns(), in its order).
 * SCR_OwnerType is left out: routing and the main window keep it, the task object neither reads
 * nor writes it.
 */
const QList<TaskColumn>& taskColumns();

/** The column of that name (compared without regard to case), or null when it is not carried. */
const TaskColumn* findTaskColumn(const QString& name);

/** The empty value of a kind: "", 0, false or the invalid (empty) date. */
QVariant emptyValue(ColumnKind kind);

/**
 * The value brought to the kind's type: text to QString, numbers to qlonglong, flags to bool (true
 * when non-zero), dates to a naive QDateTime. Null and unusable values give emptyValue(kind).
 */
QVariant normalised(ColumnKind kind, const QVariant& value);

/**
 * Whether two values of a kind are the same for change detection: texts equal after trimming and
 * lower-casing, dates equal to the second (two empty dates are equal), others by value.
 */
bool sameValue(ColumnKind kind, const QVariant& a, const QVariant& b);

/**
 * The plug-in shown on the task editor's custom tab, as the task object talks to it: named
 * properties ("ACTION", "SCR_Custom_Field", ...) read and written. The plug-in host adapts a
 * plug-in's widget to it; the task object never owns it.
 */
class TaskPlugIn
{
public:
    virtual ~TaskPlugIn() = default;
    virtual QVariant property(const QString& name) const = 0;
    virtual void setProperty(const QString& name, const QVariant& value) = 0;
};

/**
 * The note dialog the task object asks when a save changes the due date or the start date; each
 * call returns the note the user typed, nullopt when the dialog was cancelled.
 */
class TaskNoteSource
{
public:
    virtual ~TaskNoteSource() = default;
    virtual std::optional<QString> OnTargetChange() = 0;
    virtual std::optional<QString> OnStartChange() = 0;
};

} // namespace bx
