#pragma once

#include "core/Session.h"

namespace bx {

/** The signed-in user's ID as his row spells it; as typed, trimmed, before the row is loaded. */
inline QString spelledUserId(const Session& session)
{
    const QString& spelled = session.user.record.userId;
    return spelled.isEmpty() ? session.user.userId.trimmed() : spelled;
}

} // namespace bx
