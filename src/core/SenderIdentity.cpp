#include "core/SenderIdentity.h"

#include "core/Session.h"

namespace bx {

SenderIdentity senderOf(const LoggedOnUser& user)
{
    return {user.userId, user.record.userName, user.record.email};
}

} // namespace bx
