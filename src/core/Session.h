#pragma once

#include "core/ErrorLog.h"
#include "core/SearchOptions.h"
#include "core/UserRecord.h"
#include "core/settings/CompanyTexts.h"
#include "core/settings/SystemSettings.h"

#include <QList>
#include <QSize>
#include <QString>

#include <memory>

namespace bx {

class TaskNotifier;

class Clock;
class Database;
class SettingsStore;

/** How the shared database was reached; filled by the database opener. */
struct ConnectionValues
{
    bool serverFlag = false;     ///< true: the server engine
    QString location;            ///< the file (embedded) or the server name "host[:port]"
    QString sqlDatabaseName;     ///< server engine: the database on the server
    bool loginSuspect = false;   ///< decides the wording of "cannot open database"
    bool openSuppressed = false; ///< while true, opening the database does nothing
};

/** The logged-on user as the log-on left him. */
struct LoggedOnUser
{
    QString userId;
    QString password;    ///< as typed
    QString sqlPassword; ///< the typed password through the password cipher
    UserRecord record;   ///< the row and rights loaded at log-on
};

/**
 * The values the whole process shares: the open database and how it was reached, the logged-on
 * user, the current workshop, the system settings and the branding texts. Windows and services are
 * given the Session; there are no other mutable globals.
 *
 * The Session owns the open database. The settings store and the clock are the caller's and must
 * outlive it. Not thread-safe: it belongs to the user-interface thread.
 */
class Session
{
public:
    Session(SettingsStore& settings, const Clock& clock);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    SettingsStore& settings() { return m_settings; }
    const Clock& clock() const { return m_clock; }
    const ErrorLog& errorLog() const { return m_errorLog; }

    bool isOpen() const { return m_db != nullptr; }
    /** The open database. Calling it while none is open is a programming error (asserted). */
    Database& db();
    /** Replaces the open database (closing the previous one). */
    void setDatabase(std::unique_ptr<Database> db);
    void closeDatabase();

    /**
     * Reads the system settings of the open database again and applies its query timeout; a
     * column an older database lacks keeps its value. @param programDir for the default reports
     * folder
     */
    void reloadSystemSettings(const QString& programDir);

    ConnectionValues connection;
    LoggedOnUser user;
    int currentWorkshopId = 0;
    /** Workshops opened without being a member: left again when the session ends. */
    QList<qlonglong> temporaryWorkshops;
    /** The size the task editor last had, stored when the session ends (invalid: none opened). */
    QSize taskFormSize;
    SystemSettings system;
    CompanyTexts company = CompanyTexts::builtIn();
    /** Sends the notices of recorded task events; null while no notice service runs. Not owned. */
    TaskNotifier* taskNotifier = nullptr;
    SearchOptions search;

private:
    SettingsStore& m_settings;
    const Clock& m_clock;
    ErrorLog m_errorLog;
    std::unique_ptr<Database> m_db;
};

} // namespace bx
