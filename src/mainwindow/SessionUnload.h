#pragma once

namespace bx {

class Session;

/**
 * What the main window does when it unloads at the end of a session: leaves the workshops the
 * user opened without being a member, deletes the user's presence row, and stores the task
 * editor's last size (settings "TaskForm": "Widht", "Height") when one was opened. A database
 * that has gone away does not stop the rest: failures are written to the error log.
 */
void unloadSession(Session& session);

} // namespace bx
