#pragma once

#include "core/TextCompare.h"
#include "core/schema/TaskKinds.h"

#include <QString>

namespace bx {

/**
 * Whether user `userId` may change a stored task (its write permission): its owner user, while it
 * is active. A task that a workshop owns (no owner user) is nobody's own.
 */
inline bool mayWriteTask(const QString& ownerUserId, const QString& status, const QString& userId)
{
    return !ownerUserId.trimmed().isEmpty() && sameText(ownerUserId, userId) &&
           hasStatus(status, TaskStatus::Active);
}

} // namespace bx
