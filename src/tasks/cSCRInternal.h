#pragma once

// Shared by the task object's source files; not part of its interface.

#include "core/Clock.h"

#include <QDateTime>
#include <QString>

namespace bx::task_detail {

/** A refusal or failure of a task operation, carrying the text to show. */
struct TaskFault
{
    QString text;
};

/** The workflow actions CloseOut takes. */
enum class WorkflowAction : int
{
    Yes,
    No,
    Jump,
    Reopen,
    Cancel,
    Conditional,
    LCEnd,
    Unknown
};

/** The stored forms keep whole seconds; so does the object, so that a value read back is equal. */
inline QDateTime toSeconds(const QDateTime& value)
{
    if (!value.isValid())
        return {};
    const QTime t = value.time();
    return naive(value.date(), QTime(t.hour(), t.minute(), t.second()));
}

} // namespace bx::task_detail
