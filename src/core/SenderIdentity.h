#pragma once

#include <QString>

namespace bx {

struct LoggedOnUser;

/**
 * Whom the messages and e-mail of a user come from: his ID, his name and his address. The
 * signed-in user's is his session's (senderOf), as the log-on read his LU_USER row; every sender
 * of mail and notices takes it from there.
 */
struct SenderIdentity
{
    QString id;
    QString name;  ///< User_Name, for the From of e-mail and the reply header
    QString email; ///< User_Email, the From address of e-mail

    /** The name e-mail shows: User_Name trimmed, or the ID when the name is blank. */
    QString displayName() const { return name.trimmed().isEmpty() ? id : name.trimmed(); }
    /** The From address: User_Email trimmed (empty when he has none). */
    QString address() const { return email.trimmed(); }
};

/** The signed-in user's identity, from what the log-on loaded into the session. */
SenderIdentity senderOf(const LoggedOnUser& user);

} // namespace bx
