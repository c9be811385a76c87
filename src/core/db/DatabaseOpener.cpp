#include "core/db/DatabaseOpener.h"

#include "core/PasswordCipher.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/PgDatabase.h"
#include "core/db/SqliteDatabase.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"

namespace bx {

namespace {

const QString kInvalidLogin = QStringLiteral("Invalid Password or User Name.");

} // namespace

QString serverRoleName(const QString& databaseName, const QString& userId)
{
    return (databaseName.trimmed() + QLatin1Char('_') + userId.trimmed()).toLower();
}

DatabaseOpener::DatabaseOpener(Session& session, Prompt& prompt)
    : m_session(session)
    , m_prompt(prompt)
{
}

bool DatabaseOpener::openDatabase(const QString& location, bool useLast, const QString& userId,
                                  const QString& password)
{
    ConnectionValues& c = m_session.connection;
    if (c.openSuppressed)
        return false;
    c.sqlDatabaseName = m_session.settings().get(SettingsKeys::kSql, SettingsKeys::kSqlDbName,
                                                 SettingsKeys::kDefaultSqlDbName);
    QString target = location;
    if (useLast) {
        target = rememberedDatabase(m_session.settings(), c.serverFlag);
        if (target.isEmpty())
            return false;
    } else if (target.trimmed().isEmpty()) {
        return false;
    }
    if (c.serverFlag)
        return connectServer(target.trimmed(), userId, password, c.sqlDatabaseName);
    return openEmbedded(target);
}

bool DatabaseOpener::openEmbedded(const QString& path)
{
    m_lastError.reset();
    try {
        m_session.setDatabase(SqliteDatabase::open(path));
    } catch (const DbError& e) {
        m_session.closeDatabase();
        m_lastError = e;
        return false;
    }
    m_session.connection.location = path;
    return true;
}

bool DatabaseOpener::connectServer(const QString& server, const QString& userId,
                                   const QString& password, const QString& databaseName)
{
    m_lastError.reset();
    m_session.closeDatabase();
    ConnectionValues& c = m_session.connection;
    c.loginSuspect = true;
    SettingsStore& settings = m_session.settings();
    const QString section = SettingsKeys::serverSection(server, databaseName);

    auto attempt = [&](const QString& login, const QString& pwd) -> bool {
        PgConnectParams p = PgConnectParams::forServer(server);
        applyServerSsl(settings, server, p);
        p.user = login;
        p.password = pwd;
        p.database = databaseName;
        try {
            m_session.setDatabase(PgDatabase::connect(p));
            return true;
        } catch (const DbError& e) {
            m_lastError = e;
            return false;
        }
    };

    bool ok = attempt(serverRoleName(databaseName, userId), password);
    // The server checks whether a role may log on only once the password proved right: the
    // user's own login refusing so is a disabled user's.
    const bool disabledLogin =
        !ok && m_lastError->description().contains(QLatin1String("not permitted to log in"));
    if (ok) {
        settings.setBool(section, SettingsKeys::kSecured, true);
    } else {
        if (m_lastError->kind() == DbErrorKind::LoginFailed)
            ok = attempt(userId.trimmed().toLower(), password);
        const bool loginOrDatabase =
            !ok && (m_lastError->kind() == DbErrorKind::LoginFailed ||
                    m_lastError->kind() == DbErrorKind::CannotOpenDatabase);
        if (loginOrDatabase && !settings.getBool(section, SettingsKeys::kSecured)) {
            if (m_lastError->kind() == DbErrorKind::CannotOpenDatabase)
                c.loginSuspect = false;
            const QString shared = settings.get(section, SettingsKeys::kUnsecureLogin).trimmed();
            // Without a shared login there is nobody to log in as; an empty name would make the
            // client library fall back to the desktop user's name, which is never meant.
            if (!shared.isEmpty())
                ok = attempt(shared, PasswordCipher::sharedLoginPassword(
                                         settings.get(section, SettingsKeys::kUnsecurePwd)));
        }
    }
    if (!ok) {
        if (disabledLogin)
            m_prompt.inform(QStringLiteral("User is disabled"), {}, PromptIcon::None);
        else
            reportDatabaseError(*m_lastError, m_session, m_prompt);
        return false;
    }
    m_lastError.reset();
    c.location = server;
    c.sqlDatabaseName = databaseName;
    return true;
}

void DatabaseOpener::rememberDatabase(SettingsStore& settings, const QString& location,
                                      bool serverFlag)
{
    const QString& section = serverFlag ? SettingsKeys::kLastServer : SettingsKeys::kLastFile;
    settings.removeSection(section);
    settings.set(section, location, QString());
}

QString DatabaseOpener::rememberedDatabase(const SettingsStore& settings, bool serverFlag)
{
    const auto values =
        settings.values(serverFlag ? SettingsKeys::kLastServer : SettingsKeys::kLastFile);
    return values.isEmpty() ? QString() : values.last().name;
}

void DatabaseOpener::rememberServerSsl(SettingsStore& settings, const QString& server,
                                       const QString& sslMode, const QString& sslRootCert)
{
    const QString section = SettingsKeys::serverSslSection(server.trimmed());
    settings.set(section, SettingsKeys::kSslMode, sslMode);
    if (sslMode == PgConnectParams::kSslVerifyFull)
        settings.set(section, SettingsKeys::kSslRootCert, sslRootCert);
    else
        settings.remove(section, SettingsKeys::kSslRootCert);
}

void DatabaseOpener::applyServerSsl(const SettingsStore& settings, const QString& server,
                                    PgConnectParams& params)
{
    const QString section = SettingsKeys::serverSslSection(server.trimmed());
    // A mode that is no mode stays as stored: connecting then refuses it, rather than quietly
    // protecting less than was asked for.
    const QString mode = settings.get(section, SettingsKeys::kSslMode).trimmed().toLower();
    params.sslMode = mode.isEmpty() ? PgConnectParams::kSslPrefer : mode;
    params.sslRootCert = settings.get(section, SettingsKeys::kSslRootCert);
}

void reportDatabaseError(const DbError& error, const Session& session, Prompt& prompt)
{
    reportDatabaseError(error, prompt, session.errorLog(), session.connection.loginSuspect,
                        session.connection.sqlDatabaseName);
}

void reportDatabaseError(const DbError& error, Prompt& prompt, const ErrorLog& log,
                         bool loginSuspect, const QString& sqlDatabaseName)
{
    QString message;
    switch (error.kind()) {
    case DbErrorKind::LoginFailed:
        log.write(kInvalidLogin, error.text());
        message = kInvalidLogin + QLatin1Char(' ');
        break;
    case DbErrorKind::CannotOpenDatabase:
        message = loginSuspect ? kInvalidLogin + QLatin1Char(' ')
                               : QStringLiteral("Invalid Database Name: ") + sqlDatabaseName;
        break;
    case DbErrorKind::ServerUnreachable:
        log.write(QStringLiteral("17"), error.text());
        message = QStringLiteral("Server is invalid, or Internet connection is unavailable.");
        break;
    case DbErrorKind::ConnectionLost:
    case DbErrorKind::ConversionError:
    case DbErrorKind::UnknownTable:
    case DbErrorKind::UnknownColumn:
    case DbErrorKind::DuplicateKey:
    case DbErrorKind::Other:
        log.write(QStringLiteral("Error "), error.text());
        message = error.text();
        break;
    }
    prompt.inform(message, {}, PromptIcon::Critical);
}

} // namespace bx
