#pragma once

#include "core/db/DbError.h"

#include <QString>

#include <optional>

namespace bx {

class Prompt;
class Session;
class SettingsStore;
struct PgConnectParams;

/**
 * Opens the shared database for the session, on either engine, and remembers it.
 *
 * The server engine is reached with up to three logins, in this order:
 *  1. the user's own login role serverRoleName(database, user) with the enciphered password;
 *  2. when that login failed: the plain user ID with the same password;
 *  3. when the last attempt failed on the login or on the database, and no per-user login has
 *     ever succeeded for this server and database ("secured" is not True): the shared login of
 *     the settings (section "SQL\<server>\DB\<database>"), its password through the cipher.
 * A successful first attempt marks the server database "secured", after which the shared login is
 * never tried for it again. Every attempt, and every background connection made from the session's
 * (secondConnectionTo), uses the SSL mode and CA file remembered for the server. Server failures
 * are reported to the user (reportDatabaseError); an embedded file that cannot be opened is not:
 * its error is kept in lastError() for the caller.
 */
class DatabaseOpener
{
public:
    DatabaseOpener(Session& session, Prompt& prompt);

    /**
     * Opens the database at `location` (a file, or a server name "host[:port]"), or with
     * `useLast` the one remembered for the engine of the session's server flag. Does nothing and
     * returns false while the session's open-suppressed flag is set, and when nothing is
     * remembered or the location is empty (no message in these cases).
     *
     * @param password the enciphered password (server engine), not the typed one
     */
    bool openDatabase(const QString& location, bool useLast, const QString& userId,
                      const QString& password);

    /** Opens an embedded database file. On failure returns false and keeps the error. */
    bool openEmbedded(const QString& path);

    /** Connects to a server database with the three logins described above. */
    bool connectServer(const QString& server, const QString& userId, const QString& password,
                       const QString& databaseName);

    /** The error of the last failed open. */
    const std::optional<DbError>& lastError() const { return m_lastError; }

    /**
     * Makes `location` the one remembered database of its engine: the settings section "SQL\Srv"
     * (server) or "MSAccess\DB" (file) then holds exactly one value, named after the location.
     */
    static void rememberDatabase(SettingsStore& settings, const QString& location, bool serverFlag);

    /** The remembered database of an engine, or "" when none. */
    static QString rememberedDatabase(const SettingsStore& settings, bool serverFlag);

    /**
     * Remembers how to protect the connections to `server` (section
     * SettingsKeys::serverSslSection): the SSL mode, and the CA file with verify-full (none kept
     * otherwise).
     */
    static void rememberServerSsl(SettingsStore& settings, const QString& server,
                                  const QString& sslMode, const QString& sslRootCert);

    /** Puts the SSL mode and CA file remembered for `server` into `params` (prefer when none). */
    static void applyServerSsl(const SettingsStore& settings, const QString& server,
                               PgConnectParams& params);

private:
    Session& m_session;
    Prompt& m_prompt;
    std::optional<DbError> m_lastError;
};

/** The per-user login role of a user on the server: "<database>_<user id>", lower case. */
QString serverRoleName(const QString& databaseName, const QString& userId);

/**
 * Reports a database error to the user and in the error log, worded by its class:
 *  - login failed: logged as "Invalid Password or User Name.", shown as
 *    "Invalid Password or User Name. ";
 *  - database cannot be opened: not logged; shown as "Invalid Password or User Name. " while the
 *    session's login-suspect flag is set, else "Invalid Database Name: " + database name;
 *  - server unreachable: logged as "17", shown as
 *    "Server is invalid, or Internet connection is unavailable.";
 *  - anything else: logged as "Error ", shown as "Error: " + number + " " + description.
 * Every message has the critical icon and no title; the log detail is DbError::text().
 */
void reportDatabaseError(const DbError& error, const Session& session, Prompt& prompt);

class ErrorLog;

/** The same report, for code that has no session (database creation, command-line tools). */
void reportDatabaseError(const DbError& error, Prompt& prompt, const ErrorLog& log,
                         bool loginSuspect, const QString& sqlDatabaseName);

} // namespace bx
