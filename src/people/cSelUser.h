#pragma once

#include "core/schema/TaskKinds.h"

#include <QString>

namespace bx {

/**
 * One recipient of a task: a user in a workshop, a whole workshop, or a lifecycle. The recipient
 * chooser makes them and the task object keeps them in its recipient list until it routes.
 *
 * For a lifecycle, User_ID holds the lifecycle's ID and Group_id the workshop that owns it.
 */
struct cSelUser
{
    QString User_ID;        ///< the user; empty for a workshop; the Lifecycle_ID for a lifecycle
    qlonglong Group_id = 0; ///< the workshop (a lifecycle's owning workshop)
    bx::OwnerType OwnerType = bx::OwnerType::User;

    bool operator==(const cSelUser&) const = default;
};

} // namespace bx
