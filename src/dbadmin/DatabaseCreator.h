#pragma once

#include "core/Refusal.h"
#include "core/db/PgDatabase.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

class Clock;
class Database;
class ErrorLog;
class Prompt;
class SettingsStore;

/** Defaults of database creation. */
namespace CreationDefaults {
/** The password proposed for the shared login of a new server database. */
inline const QString kSharedPassword = QStringLiteral("KWRMZ");
/** The server's administrative login. */
inline const QString kServerAdminLogin = QStringLiteral("postgres");
} // namespace CreationDefaults

/** What is needed to create (or prepare) a database on the server engine. */
struct ServerCreation
{
    QString server; ///< "host[:port]"
    QString adminLogin = CreationDefaults::kServerAdminLogin;
    QString adminPassword; ///< as typed; never stored
    QString database;
    bool creating = true; ///< false: the database exists and is prepared in place
    QString sharedLogin;  ///< when set, a shared login every client may use is set up
    QString sharedPassword = CreationDefaults::kSharedPassword; ///< as typed
    QString sslMode = PgConnectParams::kSslPrefer;              ///< remembered for the server
    QString sslRootCert;                                        ///< CA file of verify-full
};

/** An existing server database to use, as the creation wizard collects it. */
struct ServerSelection
{
    QString server;
    QString login;
    QString password; ///< as typed
    QString database;
    bool shared = false; ///< every client connects with one shared login
    QString sharedLogin;
    QString sharedPassword;
    QString sslMode = PgConnectParams::kSslPrefer; ///< remembered for the server
    QString sslRootCert;                           ///< CA file of verify-full
};

/**
 * Refuses a server database name that the server script cannot carry: the name goes into quoted
 * strings, quoted names and dollar-quoted blocks and is read line by line, so "$", quotes,
 * backslashes and control characters are refused. Letters, digits, "_", "-" and blanks pass.
 */
std::optional<RefusalOf<>> checkServerDatabaseName(const QString& name);

/**
 * Creates a Brindlepax database of the program's current build: the delivered base database (the
 * embedded template "pax.md_", or the server script "PAXSQL.sql" / "PAXSQLN.sql") brought up to
 * date by every upgrade step. Questions and refusals go through the prompt with the texts the
 * creation wizard shows; on success the new database is remembered in the settings store (unless
 * told not to), so that the next start of the client opens it.
 */
class DatabaseCreator
{
public:
    DatabaseCreator(SettingsStore& settings, Prompt& prompt, const Clock& clock,
                    const ErrorLog& errorLog, QString programDir);

    /** Whether a successful creation is remembered as the database to open (default true). */
    void setRemember(bool remember) { m_remember = remember; }

    /**
     * Creates the embedded database file `path`. An existing file is replaced only when the user
     * agrees, and only once the new database is complete: until then the old file is untouched.
     */
    bool createEmbedded(const QString& path);

    /**
     * Creates the server database (or, with `creating` false, prepares an existing one), sets the
     * administrator login's password and tells the user the administrator's password. A name
     * checkServerDatabaseName refuses, and an SSL mode PgConnectParams::sslProblem refuses, are
     * told before the server is even reached. Every connection uses the request's SSL mode, which
     * is remembered for the server with the database.
     */
    bool createServer(const ServerCreation& request);

    /**
     * Makes an existing embedded database the one to open, after checking that it opens and is a
     * Brindlepax database.
     */
    bool selectEmbedded(const QString& path);

    /**
     * Makes an existing server database the one to open, after connecting to it with the
     * selection's SSL mode; stores or removes the shared login of that server database and
     * remembers the SSL mode for the server.
     */
    bool selectServer(const ServerSelection& selection);

private:
    /** Tells the user why the SSL mode cannot be used; false when it can. */
    bool refusedSsl(const QString& mode, const QString& rootCert);
    bool upgradeNew(Database& db);
    /** The batches of the server script the request needs; nullopt when it is missing (told). */
    std::optional<QStringList> serverScriptBatches(const ServerCreation& request);
    /**
     * Drops an existing database the request creates anew, once the user agrees; refuses to
     * prepare a database that does not exist. @return false when creation stops here
     */
    bool makeWayForServerDatabase(PgDatabase& db, const ServerCreation& request);
    void rememberServer(const ServerCreation& request);

    SettingsStore& m_settings;
    Prompt& m_prompt;
    const Clock& m_clock;
    const ErrorLog& m_errorLog;
    QString m_programDir;
    bool m_remember = true;
};

} // namespace bx
