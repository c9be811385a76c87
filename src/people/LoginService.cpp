#include "people/LoginService.h"

#include "core/Gmt.h"
#include "core/StoredPassword.h"
#include "core/db/Database.h"
#include "core/settings/Vars.h"
#include "people/UserStore.h"
#include "reports/StandardReports.h"

#include <QDir>
#include <QFile>

#include <optional>

namespace bx {

LoginMessage messageFor(LoginResult result)
{
    switch (result) {
    case LoginResult::Ok:
        return {};
    case LoginResult::NoUserId:
        return {QStringLiteral("Please specify a User ID"), PromptIcon::None};
    case LoginResult::UnknownUser:
        return {QStringLiteral("Invalid Password or User Name."), PromptIcon::Critical};
    case LoginResult::WrongPassword:
        return {QStringLiteral("Invalid Password or User Name. "), PromptIcon::Critical};
    case LoginResult::Disabled:
        return {QStringLiteral("User is disabled"), PromptIcon::None};
    }
    return {};
}

namespace {

/**
 * Whether the typed password matches the user's, asking the database only whether the stored
 * text is the hash the typed password gives under the stored setting. A user without hash is
 * matched by an empty typed password when his row has no password; the comparison costs a hash
 * either way, so that the time does not tell which users have one.
 */
bool typedMatches(Database& db, const QString& userId, const QString& setting, const QString& typed)
{
    const QString candidate =
        setting.isEmpty() ? QString() : StoredPassword::hashWithSetting(setting, typed);
    if (!candidate.isEmpty())
        return db.passwordMatches(userId, candidate);
    StoredPassword::matchesNoUser(typed);
    return setting.isEmpty() && typed.trimmed().isEmpty() && db.passwordMatches(userId, {});
}

/**
 * A database the upgrade has not yet brought to hashed passwords (its administrator logs on to
 * upgrade it) is checked the older way, reading the stored value: there every login may still.
 */
std::optional<QString> storedBeforeHashing(Database& db, const QString& userId)
{
    // Set by upgrade step 83, which hashed every stored password and hid the column on the server.
    if (Vars::contains(db, QStringLiteral("UPGRADE/UpgClass83")))
        return std::nullopt;
    return db
        .scalar(QStringLiteral("SELECT User_Password FROM LU_USER WHERE USER_ID = ?"), {userId})
        .toString();
}

} // namespace

LoginResult validateLogin(Database& db, const QString& userId, const QString& typed,
                          UserRecord* record)
{
    if (userId.trimmed().isEmpty())
        return LoginResult::NoUserId;
    const std::optional<UserRecord> user = loadUser(db, userId);
    const std::optional<QString> older =
        user ? storedBeforeHashing(db, user->userId) : std::nullopt;
    const QString setting = !user || older ? QString() : db.passwordSetting(user->userId);
    // A row with neither name nor password counts as none.
    const bool hasPassword = older ? !older->isEmpty() : !setting.isEmpty();
    if (!user || (user->userName.isEmpty() && !hasPassword)) {
        StoredPassword::matchesNoUser(typed);
        return LoginResult::UnknownUser;
    }
    if (older ? !StoredPassword::matches(*older, typed)
              : !typedMatches(db, user->userId, setting, typed))
        return LoginResult::WrongPassword;
    if (user->disabled)
        return LoginResult::Disabled;
    if (record)
        *record = *user;
    return LoginResult::Ok;
}

bool rehashOldPassword(Database& db, const QString& userId, const QString& typed)
{
    const QString setting = db.passwordSetting(userId);
    if (!StoredPassword::needsRehash(setting))
        return false;
    const QString checked = StoredPassword::hashWithSetting(setting, typed);
    return db.replacePassword(userId, checked, StoredPassword::forStorage(typed));
}

BuildInfo::BuildState checkVersion(Database& db, int programBuild)
{
    return BuildInfo::compareBuilds(Vars::buildNumber(db), programBuild);
}

QString versionMessage(BuildInfo::BuildState state)
{
    switch (state) {
    case BuildInfo::BuildState::Current:
        return {};
    case BuildInfo::BuildState::DatabaseOlder:
        return QStringLiteral(
            "Your database must be upgraded.  Please contact the Brindlepax Admistrator.");
    case BuildInfo::BuildState::ProgramOlder:
        return kSoftwareMustBeUpgraded;
    }
    return {};
}

bool mayUpgrade(const QString& userId)
{
    const QString id = userId.trimmed().toLower();
    return id == QLatin1String("admin") || id == QLatin1String("admin2") ||
           id == QLatin1String("admin3");
}

void storeStandardReportsIfNone(Database& db, const QString& programDir, const Clock& clock)
{
    static constexpr int kFirstLogonReports[] = {1, 4, 6, 9};

    Transaction tx(db);
    const qlonglong reports =
        db.scalar(QStringLiteral("SELECT count(*) FROM ATTACH WHERE Attach_Type = ?"),
                  {QStringLiteral("R")})
            .toLongLong();
    if (reports != 0)
        return;
    const QDateTime now = GmtConverter(clock).nowGmt();
    const QDir folder(programDir);
    for (const int n : kFirstLogonReports) {
        const StandardReports::Report& report = StandardReports::byNumber(n);
        const QString path = folder.filePath(report.fileName());
        if (QFile::exists(path))
            StandardReports::storeReportFile(db, path, report.title, now);
    }
    tx.commit();
}

} // namespace bx
