#pragma once

#include <sqlite3.h>

namespace bx {

/**
 * The embedded engine's second fence around a rule script's statement: what its authorizer says
 * to one action while the statement is prepared. Reading and changing rows and calling functions
 * are allowed; every other action (schema changes, ATTACH, transaction control, setting a PRAGMA)
 * is denied. `value` is the PRAGMA's new value, nullptr when the PRAGMA is only read: the
 * full-text index reads the page size when a statement first touches it.
 */
inline int sqliteScriptAuthorization(int action, const char* value)
{
    switch (action) {
    case SQLITE_PRAGMA:
        return value ? SQLITE_DENY : SQLITE_OK;
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
        return SQLITE_OK;
    default:
        return SQLITE_DENY;
    }
}

} // namespace bx
