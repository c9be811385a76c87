#include "dbadmin/DatabaseCreator.h"

#include "core/PasswordCipher.h"
#include "core/Prompt.h"
#include "core/db/DatabaseOpener.h"
#include "core/db/PgDatabase.h"
#include "core/db/SqliteDatabase.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "dbadmin/BatchScript.h"
#include "dbadmin/ServerRoles.h"
#include "dbadmin/UpgradeLog.h"
#include "dbadmin/Upgrader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdio>

namespace bx {

DatabaseCreator::DatabaseCreator(SettingsStore& settings, Prompt& prompt, const Clock& clock,
                                 const ErrorLog& errorLog, QString programDir)
    : m_settings(settings)
    , m_prompt(prompt)
    , m_clock(clock)
    , m_errorLog(errorLog)
    , m_programDir(std::move(programDir))
{
}

bool DatabaseCreator::upgradeNew(Database& db)
{
    UpgradeLog log;
    Upgrader upgrader(db, m_prompt, log, {m_programDir, &m_clock}, /*quiet=*/true);
    upgrader.load();
    if (upgrader.run())
        return true;
    m_prompt.inform(upgrader.lastError(), {}, PromptIcon::Critical);
    return false;
}

bool DatabaseCreator::createEmbedded(const QString& path)
{
    const QFileInfo target(path);
    if (target.exists() &&
        m_prompt.ask(QStringLiteral("Brindlepax database already exists at ") + path +
                         QLatin1Char('\n') + QStringLiteral("Would you like to replace it?"),
                     {}, PromptButtons::YesNo, PromptIcon::Critical) != PromptAnswer::Yes)
        return false;
    const QString templatePath = QDir(m_programDir).filePath(QStringLiteral("pax.md_"));
    if (!QFile::exists(templatePath)) {
        m_prompt.inform(QStringLiteral("Database Manager can't find template database file. "
                                       "Please reinstall Brindlepax"),
                        {}, PromptIcon::Critical);
        return false;
    }

    // The new database is built beside the target and takes its place only when complete, so
    // that a failure never leaves the user without the database he had.
    QDir().mkpath(target.absolutePath());
    QTemporaryFile work(target.absolutePath() + QStringLiteral("/.bxnew-XXXXXX"));
    QFile source(templatePath);
    if (!work.open() || !source.open(QIODevice::ReadOnly)) {
        m_prompt.inform(QStringLiteral("Database Manager can't create new database file."), {},
                        PromptIcon::Critical);
        return false;
    }
    while (!source.atEnd()) {
        const QByteArray piece = source.read(1 << 20);
        if (piece.isEmpty() || work.write(piece) != piece.size()) {
            m_prompt.inform(QStringLiteral("Database Manager can't create new database file."), {},
                            PromptIcon::Critical);
            return false;
        }
    }
    work.close();

    try {
        auto db = SqliteDatabase::open(work.fileName());
        if (!upgradeNew(*db))
            return false;
    } catch (const DbError& e) {
        reportDatabaseError(e, m_prompt, m_errorLog, false, {});
        return false;
    }
    // rename() replaces the target in one step.
    if (std::rename(QFile::encodeName(work.fileName()).constData(),
                    QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
        m_prompt.inform(QStringLiteral("Database Manager can't create new database file."), {},
                        PromptIcon::Critical);
        return false;
    }
    work.setAutoRemove(false);
    QFile::setPermissions(target.absoluteFilePath(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ReadGroup | QFileDevice::WriteGroup);

    if (m_remember) {
        m_settings.setBool(SettingsKeys::kSql, SettingsKeys::kServerFlag, false);
        DatabaseOpener::rememberDatabase(m_settings, target.absoluteFilePath(), false);
    }
    return true;
}

std::optional<RefusalOf<>> checkServerDatabaseName(const QString& name)
{
    for (const QChar ch : name) {
        if (ch == u'$' || ch == u'\'' || ch == u'"' || ch == u'\\' ||
            ch.category() == QChar::Other_Control)
            return RefusalOf<>{QStringLiteral("The database name may not contain $, quotes, "
                                              "backslashes or control characters.")};
    }
    return std::nullopt;
}

namespace {

/** Connects to `database` on the request's server with the administrative login. */
std::unique_ptr<PgDatabase> connectAsAdmin(const ServerCreation& request, const QString& database)
{
    PgConnectParams p = PgConnectParams::forServer(request.server);
    p.sslMode = request.sslMode;
    p.sslRootCert = request.sslRootCert;
    p.user = request.adminLogin;
    p.password = request.adminPassword;
    p.database = database;
    return PgDatabase::connect(p);
}

/** Runs the script's batches; a batch naming another database moves the connection there. */
void runBatches(std::unique_ptr<PgDatabase>& db, const QStringList& batches,
                const ServerCreation& request)
{
    for (const QString& batch : batches) {
        const QString target = useTarget(batch);
        if (!target.isEmpty())
            db = connectAsAdmin(request, target);
        else
            db->executeScript(batch);
    }
}

/**
 * Gives the administrator's login its password, the one every client derives from the announced
 * default. The script makes the login without a password; this runs before the upgrade, so that
 * whatever happens afterwards no login is left that a default password opens.
 */
void setAdminPassword(PgDatabase& db, const ServerCreation& request)
{
    db.setRolePassword(serverRoleName(request.database, QStringLiteral("admin")),
                       PasswordCipher::loginPassword(QStringLiteral("vastrelume")));
}

/** Sets up the shared login: made without a password, which then goes in hashed. */
void setUpSharedLogin(PgDatabase& db, const ServerCreation& request)
{
    const QString shared = request.sharedLogin.trimmed();
    if (shared.isEmpty())
        return;
    db.ensureSharedLogin(shared.toLower(),
                         serverRoleName(request.database, QStringLiteral("users")));
    db.setRolePassword(shared.toLower(),
                       PasswordCipher::sharedLoginPassword(request.sharedPassword));
}

} // namespace

std::optional<QStringList> DatabaseCreator::serverScriptBatches(const ServerCreation& request)
{
    const QString scriptName =
        request.creating ? QStringLiteral("PAXSQL.sql") : QStringLiteral("PAXSQLN.sql");
    QFile scriptFile(QDir(m_programDir).filePath(scriptName));
    if (!scriptFile.open(QIODevice::ReadOnly)) {
        m_prompt.inform(QStringLiteral("Database Manager can't find the script ") + scriptName +
                            QStringLiteral(". Please reinstall Brindlepax"),
                        {}, PromptIcon::Critical);
        return std::nullopt;
    }
    return scriptBatches(QString::fromUtf8(scriptFile.readAll()), request.database);
}

bool DatabaseCreator::makeWayForServerDatabase(PgDatabase& db, const ServerCreation& request)
{
    const bool exists =
        !db.query(QStringLiteral("SELECT 1 FROM pg_database WHERE datname = ?"), {request.database})
             .isEmpty();
    if (request.creating && exists) {
        if (m_prompt.ask(QStringLiteral("There is '") + request.database +
                             QStringLiteral("' database on defined SQL Server. Do you want to "
                                            "reinstall '") +
                             request.database + QStringLiteral("' Database?"),
                         {}, PromptButtons::YesNo, PromptIcon::Question) != PromptAnswer::Yes)
            return false;
        db.executeScript(QStringLiteral("DROP DATABASE ") + db.quoteIdentifier(request.database) +
                         QStringLiteral(" WITH (FORCE)"));
    } else if (!request.creating && !exists) {
        m_prompt.inform(QStringLiteral("'") + request.database +
                            QStringLiteral("' database doesn't exist on SQL Server. Please "
                                           "create it before."),
                        {}, PromptIcon::Critical);
        return false;
    }
    return true;
}

bool DatabaseCreator::createServer(const ServerCreation& request)
{
    if (const auto refusal = checkServerDatabaseName(request.database)) {
        m_prompt.inform(refusal->message, {}, PromptIcon::Critical);
        return false;
    }
    if (refusedSsl(request.sslMode, request.sslRootCert))
        return false;
    const std::optional<QStringList> batches = serverScriptBatches(request);
    if (!batches)
        return false;
    try {
        std::unique_ptr<PgDatabase> db = connectAsAdmin(request, QStringLiteral("postgres"));
        if (!makeWayForServerDatabase(*db, request))
            return false;
        if (!request.creating) {
            db = connectAsAdmin(request, request.database);
            // The script runs in a schema that is there already: its owner must be nobody who
            // could replace what the program's functions call.
            server_sql::refuseUnsafeSchema(*db);
        }
        runBatches(db, *batches, request);
        setAdminPassword(*db, request);
        if (!upgradeNew(*db))
            return false;
        setUpSharedLogin(*db, request);
    } catch (const DbError& e) {
        reportDatabaseError(e, m_prompt, m_errorLog, false, request.database);
        return false;
    }

    if (request.creating)
        m_prompt.inform(QStringLiteral("The administrative username is 'admin' and the password is "
                                       "'vastrelume'. \n\nWe highly recommend that you change the "
                                       "password to something unique for security purposes, after "
                                       "you run the program for the first time."),
                        {}, PromptIcon::Information);
    if (m_remember)
        rememberServer(request);
    return true;
}

bool DatabaseCreator::selectEmbedded(const QString& path)
{
    try {
        auto db = SqliteDatabase::open(path);
        if (!db->hasTable(QStringLiteral("LU_USER"))) {
            m_prompt.inform(path + QStringLiteral(" is not a Brindlepax database."), {},
                            PromptIcon::Critical);
            return false;
        }
    } catch (const DbError& e) {
        reportDatabaseError(e, m_prompt, m_errorLog, false, {});
        return false;
    }
    if (m_remember) {
        m_settings.setBool(SettingsKeys::kSql, SettingsKeys::kServerFlag, false);
        DatabaseOpener::rememberDatabase(m_settings, QFileInfo(path).absoluteFilePath(), false);
    }
    return true;
}

bool DatabaseCreator::selectServer(const ServerSelection& selection)
{
    if (selection.server.trimmed().isEmpty()) {
        m_prompt.inform(QStringLiteral("SQL Server name is not defined."), {},
                        PromptIcon::Critical);
        return false;
    }
    if (selection.shared &&
        (selection.sharedLogin.trimmed().isEmpty() || selection.sharedPassword.isEmpty())) {
        m_prompt.inform(QStringLiteral("Shared login or passwrod not defined."), {},
                        PromptIcon::Critical);
        return false;
    }
    if (refusedSsl(selection.sslMode, selection.sslRootCert))
        return false;
    try {
        PgConnectParams p = PgConnectParams::forServer(selection.server);
        p.sslMode = selection.sslMode;
        p.sslRootCert = selection.sslRootCert;
        p.user = selection.login;
        p.password = selection.password;
        p.database = selection.database;
        PgDatabase::connect(p);
    } catch (const DbError& e) {
        reportDatabaseError(e, m_prompt, m_errorLog, false, selection.database);
        return false;
    }
    if (!m_remember)
        return true;
    const QString server = selection.server.trimmed();
    m_settings.setBool(SettingsKeys::kSql, SettingsKeys::kServerFlag, true);
    m_settings.set(SettingsKeys::kSql, SettingsKeys::kSqlDbName, selection.database);
    DatabaseOpener::rememberDatabase(m_settings, server, true);
    DatabaseOpener::rememberServerSsl(m_settings, server, selection.sslMode, selection.sslRootCert);
    const QString section = SettingsKeys::serverSection(server, selection.database);
    if (selection.shared) {
        m_settings.set(section, SettingsKeys::kUnsecureLogin, selection.sharedLogin.trimmed());
        m_settings.set(section, SettingsKeys::kUnsecurePwd, selection.sharedPassword);
    } else {
        m_settings.remove(section, SettingsKeys::kUnsecureLogin);
        m_settings.remove(section, SettingsKeys::kUnsecurePwd);
    }
    return true;
}

bool DatabaseCreator::refusedSsl(const QString& mode, const QString& rootCert)
{
    const QString problem = PgConnectParams::sslProblem(mode, rootCert);
    if (problem.isEmpty())
        return false;
    m_prompt.inform(problem, {}, PromptIcon::Critical);
    return true;
}

void DatabaseCreator::rememberServer(const ServerCreation& request)
{
    m_settings.setBool(SettingsKeys::kSql, SettingsKeys::kServerFlag, true);
    m_settings.set(SettingsKeys::kSql, SettingsKeys::kSqlDbName, request.database);
    m_settings.setBool(SettingsKeys::kSql, QStringLiteral("CreateSQLDB"), false);
    DatabaseOpener::rememberDatabase(m_settings, request.server, true);
    DatabaseOpener::rememberServerSsl(m_settings, request.server, request.sslMode,
                                      request.sslRootCert);
    const QString login = request.sharedLogin.trimmed();
    if (!login.isEmpty()) {
        m_settings.set(SettingsKeys::kSql, SettingsKeys::kUnsecureLogin, login);
        m_settings.set(SettingsKeys::kSql, SettingsKeys::kUnsecurePwd, request.sharedPassword);
        const QString section = SettingsKeys::serverSection(request.server, request.database);
        m_settings.set(section, SettingsKeys::kUnsecureLogin, login);
        m_settings.set(section, SettingsKeys::kUnsecurePwd, request.sharedPassword);
    }
}

} // namespace bx
