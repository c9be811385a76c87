#include "people/LoginService.h"

#include "core/Gmt.h"
#include "core/db/Database.h"
#include "core/settings/Vars.h"
#include "people/StoredPassword.h"
#include "people/UserStore.h"
#include "reports/StandardReports.h"

#include <QDir>
#include <QFile>

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

LoginResult validateLogin(Database& db, const QString& userId, const QString& typed,
                          UserRecord* record)
{
    if (userId.trimmed().isEmpty())
        return LoginResult::NoUserId;
    const std::optional<UserRecord> user = loadUser(db, userId);
    if (!user || !user->exists()) {
        StoredPassword::matchesNoUser(typed);
        return LoginResult::UnknownUser;
    }
    if (!StoredPassword::matches(user->storedPassword, typed))
        return LoginResult::WrongPassword;
    if (user->disabled)
        return LoginResult::Disabled;
    if (record)
        *record = *user;
    return LoginResult::Ok;
}

void rehashOldPassword(Database& db, UserRecord& record, const QString& typed)
{
    if (!StoredPassword::needsRehash(record.storedPassword))
        return;
    const QString stored = StoredPassword::forStorage(typed);
    const qlonglong written =
        db.execute(QStringLiteral("UPDATE LU_USER SET User_Password = ? "
                                  "WHERE User_ID = ? AND COALESCE(User_Password, '') = ?"),
                   {stored, record.userId, record.storedPassword});
    if (written == 1)
        record.storedPassword = stored;
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
        return kDatabaseMustBeUpgraded;
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
