#pragma once

#include <QString>

#include <functional>

namespace bx {

class Prompt;
class Session;

/**
 * What happens when a tick finds the connection lost: the user is asked whether to reconnect.
 * No calls `terminate` (which ends the program) and returns false. Yes calls `reopen`; when it
 * fails the question comes again, when it succeeds the function returns true.
 *
 * Nothing the user has open is touched: task editors reach the database through the session at
 * each use, so they work on the new connection after a reconnect.
 */
bool askToReconnect(Prompt& prompt, const std::function<bool()>& reopen,
                    const std::function<void()>& terminate);

/**
 * The reopen of the session: the database open routine with the stored connection settings (the
 * location last opened, the signed-in user and his enciphered password). A failure has been
 * reported to the user by the open routine.
 */
bool reopenSession(Session& session, Prompt& prompt);

} // namespace bx
