#pragma once

#include "core/db/DatabaseOpener.h"
#include "core/db/DbError.h"

#include <utility>

namespace bx {

/**
 * Runs one user command at the window's edge, in the slot that started it: a DbError from the
 * command ends it and is reported with reportDatabaseError (shown and logged). Logic below lets
 * its database errors travel up to here and catches none itself.
 * @return false when the command ended on a database error
 */
template <typename Command> bool runCommand(Session& session, Prompt& prompt, Command&& command)
{
    try {
        std::forward<Command>(command)();
        return true;
    } catch (const DbError& e) {
        reportDatabaseError(e, session, prompt);
        return false;
    }
}

} // namespace bx
