#pragma once

#include "core/Refusal.h"
#include "core/UserRecord.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace bx {

class Database;
class SettingsStore;

/**
 * The system-wide settings of table SYSTEM (one row) as the program uses them once loaded.
 * Defaults hold until a load finds the column.
 */
struct SystemSettings
{
    int chunkSize = 1000; ///< attachment copy size; never below 1000
    int queryWait = 10;   ///< seconds; 10 when Null
    bool editAttachments = false;
    bool getParentParams = false;
    bool noLogon = false;
    bool showApproverName = false;
    bool showCustom = false;
    QString labelCustom;
    QStringList reportsFolders; ///< folders of report files; the first is the one to use
    QString smtpServer;
    QString popServer;
    bool smtpAuth = false;
    bool smtpLeave = false;
    QString smtpUser;
    QString smtpPwd; ///< in clear, also when the personal one is stored scrambled
    /** The mail values above are the user's own ("SMTP My Setting"), not those of SYSTEM. */
    bool personalMail = false;
    QString voipServerIp;
    bool mandTargetDate = false;
    bool mandCategory = false;
    bool mandPriority = false;
    bool mandContact = false;

    QString reportsFolder() const { return reportsFolders.value(0); }

    /**
     * Reads the SYSTEM row. A column that is missing (an older database) leaves the value as it
     * was; so does everything when the row or the table cannot be read (reported by qWarning, and
     * the result is false). Then, when the personal setting "SMTP My Setting" is "1", the personal
     * mail settings of the settings store replace the system ones; their password is stored
     * scrambled (Scrambler) and given here in clear, and one stored in clear is taken as it is.
     *
     * @param programDir the folder whose "QV Reports" is the reports folder when none is set
     */
    bool reload(Database& db, const SettingsStore& settings, const QString& programDir);
};

/** One column of the SYSTEM row; Null and a missing row give "". @throws DbError */
QVariant readSystemValue(Database& db, const QString& column);

/**
 * What the system settings window edits: the texts of its boxes and the states of its check
 * boxes, and the shared server login of the current server and database.
 */
struct SystemSettingsInput
{
    QString maxStorage;
    QString chunkSize;
    QString queryWait;
    QString labelCustom;
    QString smtpServer;
    QString popServer;
    QString smtpUser;
    QString smtpPwd;
    QString voipServerIp;
    bool editAttachments = false;
    bool getParentParams = false;
    bool noLogon = false;
    bool showApproverName = false;
    bool showCustom = false;
    bool smtpAuth = false;
    bool smtpLeave = false;
    /** Logging on to the SMTP, and the POP server, without TLS is allowed (MailPlainLogin). */
    bool smtpPlainLogin = false;
    bool popPlainLogin = false;
    bool mandTargetDate = false;
    bool mandCategory = false;
    bool mandPriority = false;
    bool mandContact = false;
    QString sharedLogin;    ///< server engine only
    QString sharedPassword; ///< server engine only, as typed
};

/** The box a refused save of the system settings puts the focus on. */
enum class SystemSettingsField
{
    None, ///< no box: the refusal concerns no input
    ChunkSize,
    QueryWait
};

/** Why the system settings cannot be saved, and which box to put the focus on. */
using SystemSettingsRefusal = RefusalOf<SystemSettingsField>;

/**
 * The logic behind the system settings window: loading its boxes, checking them and saving the
 * SYSTEM row.
 */
class SystemSettingsEditor
{
public:
    /**
     * @param editor  the signed-in user, whose rights decide whether he may save
     * @param server  the server name when the database is on the server engine, else empty
     * @param sqlDatabaseName the server database name (server engine only)
     */
    SystemSettingsEditor(Database& db, SettingsStore& settings, UserRecord editor, QString server,
                         QString sqlDatabaseName);

    /** The boxes as stored. @throws DbError */
    SystemSettingsInput load();

    /** The first refusal of the checks, in the window's order; nothing when the input is good. */
    static std::optional<SystemSettingsRefusal> check(const SystemSettingsInput& input);

    /**
     * Checks, then stores: the shared login in the settings store (server engine), then the
     * SYSTEM row and the permissions to log on without TLS to the servers named, in one
     * transaction. Returns the refusal without writing anything when the editor
     * is no administrator (UserRights::kNotAdministrator) or a check fails. @throws DbError
     */
    std::optional<SystemSettingsRefusal> save(SystemSettingsInput input);

private:
    bool isServer() const { return !m_server.isEmpty(); }

    Database& m_db;
    SettingsStore& m_settings;
    UserRecord m_editor;
    QString m_server;
    QString m_sqlDatabaseName;
};

/** The numeric value at the start of a text, as a number box reads it ("12 days" gives 12). */
double leadingNumber(const QString& text);

} // namespace bx
