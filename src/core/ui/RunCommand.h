#pragma once

#include "core/ErrorLog.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/DatabaseOpener.h"
#include "core/db/DbError.h"

#include <utility>

namespace bx {

/**
 * Runs one user command at the window's edge, in the slot that started it: a DbError from the
 * command ends it and goes to `report`. Logic below lets its database errors travel up to here and
 * catches none itself. runCommand and runTaskCommand are the two usual reports.
 * @return false when the command ended on a database error
 */
template <typename Command, typename Report>
bool runCommandReporting(Command&& command, Report&& report)
{
    try {
        std::forward<Command>(command)();
        return true;
    } catch (const DbError& e) {
        std::forward<Report>(report)(e);
        return false;
    }
}

/** A command whose database failure is reported with reportDatabaseError (shown and logged). */
template <typename Command> bool runCommand(Session& session, Prompt& prompt, Command&& command)
{
    return runCommandReporting(std::forward<Command>(command),
                               [&](const DbError& e) { reportDatabaseError(e, session, prompt); });
}

/**
 * A command of the task editor, whose database failure is reported the way the task object
 * reports its own: the task error box (showTaskError) and a line in the error log under `source`.
 */
template <typename Command>
bool runTaskCommand(Session& session, Prompt& prompt, const QString& source, Command&& command)
{
    return runCommandReporting(std::forward<Command>(command), [&](const DbError& e) {
        session.errorLog().write(source, e.description());
        showTaskError(prompt, e.description());
    });
}

} // namespace bx
