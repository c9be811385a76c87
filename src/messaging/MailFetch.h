#pragma once

#include "core/Refusal.h"

#include <QString>

#include <atomic>
#include <functional>

namespace bx {

class Clock;
class Database;
class Session;

/** Whose mail to fetch from where, with the mail settings in force. */
struct FetchRequest
{
    QString userId;      ///< owner of the rows written
    int workshopId = 0;  ///< their group_id; 0 writes Null
    QString popServer;   ///< "host[:port]", "pop3://..." or "pop3s://..."
    QString popUser;     ///< the mail user of the settings
    QString popPassword; ///< the mail password of the settings
    bool leaveOnServer = false;
    const Clock* clock = nullptr; ///< required: "now" for messages without a usable date
    QString caFile; ///< certificates to trust instead of the system's; for test servers only
};

/**
 * The request for the session's user and workshop with the mail settings it loaded (the POP
 * server, the mail user, password and leave-on-server flag). Call it on the session's thread; the
 * request may then travel to a worker thread.
 */
FetchRequest fetchRequestFor(const Session& session);

/** Messages larger than this (as the server lists them) are not fetched and stay on the server. */
inline constexpr qint64 kMaxFetchedMessageBytes = 25 * 1024 * 1024;

/**
 * Fetches the mail waiting on the POP3 server into the user's mailbox (table MAIL): one row per
 * message, committed on its own, so that whatever ends the fetch keeps the rows stored so far.
 *
 * The session logs on over TLS (STARTTLS, or pop3s://) and gives up when the server offers none,
 * unless an administrator allowed logging on to this server without it (MailPlainLogin, read from
 * `db`).
 *
 * A message is passed over, and stays on the server, when the user's mailbox already holds its
 * unique id (POPID, in any workshop), when it is larger than kMaxFetchedMessageBytes, or when its
 * subject begins with "BX#". Unless the request leaves mail on the server, a stored message is
 * deleted from the server once its row is committed, except when it carries attachments, which
 * the mailbox cannot keep. Each message goes through a temporary file, never whole in memory.
 *
 * Runs on any thread, with a connection that belongs to that thread. Raising `stop` (from any
 * thread) ends the fetch within about a second; the count stored so far is returned and the
 * messages stored so far are still deleted as above.
 *
 * @param progress called after each message considered: messages done and messages to do (those
 *        not in the mailbox yet); may be empty
 * @return the number of messages stored; a refusal without a POP server or mail user in the
 *         settings, or when the server cannot be reached or refuses ("Mail could not be fetched
 *         from <server>: <why>"): rows stored before it stay, nothing more is deleted
 * @throws DbError when a row cannot be read or written; rows committed before it stay
 */
Outcome<int> fetchMail(Database& db, const FetchRequest& request, const std::atomic_bool& stop,
                       const std::function<void(int done, int total)>& progress = {});

} // namespace bx
