#include "people/LoginFlow.h"

#include "core/DesktopFile.h"
#include "core/PasswordCipher.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/db/DatabaseOpener.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/settings/SystemSettings.h"
#include "people/LoginService.h"
#include "people/RememberedLogon.h"
#include "people/UserStore.h"

#include <QStringList>

#include <pwd.h>
#include <unistd.h>

namespace bx {

LoginFlow::LoginFlow(Session& session, Prompt& prompt, QString programDir)
    : m_session(session)
    , m_prompt(prompt)
    , m_programDir(std::move(programDir))
{
}

bool LoginFlow::open(const QString& location, const QString& userId, const QString& typed)
{
    m_session.connection.openSuppressed = false;
    if (location.trimmed().isEmpty()) {
        m_prompt.inform(QStringLiteral("Please select a valid database first"), {},
                        PromptIcon::Critical);
        return false;
    }
    DatabaseOpener opener(m_session, m_prompt);
    if (!opener.openDatabase(location, false, userId, PasswordCipher::loginPassword(typed))) {
        // The server engine has reported its failure already; an embedded file's is ours to show.
        if (opener.lastError())
            reportDatabaseError(*opener.lastError(), m_session, m_prompt);
        return false;
    }
    SettingsStore& settings = m_session.settings();
    DatabaseOpener::rememberDatabase(settings, location.trimmed(), m_session.connection.serverFlag);
    if (m_session.connection.serverFlag)
        settings.set(SettingsKeys::kSql, SettingsKeys::kSqlDbName,
                     m_session.connection.sqlDatabaseName);
    return true;
}

bool LoginFlow::validate(const QString& userId, const QString& typed)
{
    UserRecord record;
    const LoginResult result = validateLogin(m_session.db(), userId, typed, &record);
    if (result != LoginResult::Ok) {
        const LoginMessage message = messageFor(result);
        m_prompt.inform(message.text, {}, message.icon);
        return false;
    }
    // The row's spelling: stored references name the user as his row does.
    m_session.user.userId = record.userId;
    m_session.user.password = typed;
    m_session.user.sqlPassword = PasswordCipher::loginPassword(typed);
    m_session.user.record = record;
    return true;
}

bool LoginFlow::openAndValidate(const QString& location, const QString& userId,
                                const QString& typed)
{
    return open(location, userId, typed) && validate(userId, typed);
}

LogOnOutcome LoginFlow::logOn(const QString& location, const QString& userId, const QString& typed,
                              bool rememberLogon)
{
    if (!open(location, userId, typed))
        return LogOnOutcome::Failed;
    switch (checkVersion(m_session.db())) {
    case BuildInfo::BuildState::DatabaseOlder:
        return LogOnOutcome::NeedsUpgrade;
    case BuildInfo::BuildState::ProgramOlder:
        // An older program would write rows the newer schema does not expect.
        m_prompt.inform(kSoftwareMustBeUpgraded, {}, PromptIcon::Critical);
        return LogOnOutcome::ProgramOlder;
    case BuildInfo::BuildState::Current:
        break;
    }
    if (!validate(userId, typed))
        return LogOnOutcome::Failed;
    rehashOldPassword(m_session.db(), m_session.user.record.userId, typed);
    RememberedLogon::store(m_session.settings(), rememberLogon, userId, typed);
    // On the server only a designer of shared reports may write them; another user's first
    // logon leaves them to the next one who may.
    if (m_session.connection.serverFlag && (UserRights::hasGlobalReports(m_session.user.record) ||
                                            UserRights::isAdministrator(m_session.user.record)))
        storeStandardReportsIfNone(m_session.db(), m_programDir, m_session.clock());
    m_session.reloadSystemSettings(m_programDir);
    desktop::removeViewerCopies(); // what an earlier session left for its viewers
    return LogOnOutcome::LoggedOn;
}

bool tryDesktopLogon(Session& session, Prompt& prompt, const QString& desktopName, bool forceDialog,
                     const QString& programDir)
{
    const QString name = desktopName.trimmed().toLower();
    if (forceDialog || name.isEmpty() || name == QLatin1String("admin") ||
        session.connection.serverFlag)
        return false;
    session.connection.openSuppressed = false;
    DatabaseOpener opener(session, prompt);
    if (!opener.openDatabase({}, true, {}, {}))
        return false;
    try {
        Database& db = session.db();
        const QVariant noLogon = readSystemValue(db, QStringLiteral("NoLogon"));
        if (noLogon.toString().trimmed().isEmpty() || noLogon.toLongLong() == 0)
            return false;
        // A database of another build is not used without the login window's say.
        if (checkVersion(db) != BuildInfo::BuildState::Current)
            return false;
        const std::optional<UserRecord> record = loadUser(db, name);
        // A disabled user is kept out here as at the login window.
        if (!record || record->disabled)
            return false;
        session.user.userId = record->userId;
        session.user.password.clear();
        session.user.sqlPassword.clear();
        session.user.record = *record;
        session.reloadSystemSettings(programDir);
        return true;
    } catch (const DbError& e) {
        session.errorLog().write(QStringLiteral("Error "), e.text());
        return false;
    }
}

QString desktopUserName()
{
    const passwd* pw = getpwuid(geteuid());
    return pw && pw->pw_name ? QString::fromLocal8Bit(pw->pw_name).toLower() : QString();
}

std::optional<QString> takeEnvironmentPassword()
{
    // The environment variable that may hold the password of a command-line log-on.
    constexpr char kPasswordVariable[] = "BRINDLEPAX_PASSWORD";
    if (!qEnvironmentVariableIsSet(kPasswordVariable))
        return std::nullopt;
    const QString password = qEnvironmentVariable(kPasswordVariable);
    qunsetenv(kPasswordVariable);
    return password;
}

bool commandLineLogon(const QStringList& arguments,
                      const std::optional<QString>& environmentPassword, QString* userId,
                      QString* password)
{
    const QString line = arguments.join(QLatin1Char(' ')).trimmed();
    if (line.isEmpty())
        return false;
    const QStringList words = line.split(QLatin1Char(' '));
    if (words.size() == 1 && environmentPassword) {
        *userId = words.at(0);
        *password = *environmentPassword;
        return true;
    }
    if (words.size() != 2)
        return false;
    *userId = words.at(0);
    *password = words.at(1);
    return true;
}

} // namespace bx
