#pragma once

#include <QString>

/** Names of the per-user settings that more than one part of the program reads or writes. */
namespace bx::SettingsKeys {

inline const QString kSql = QStringLiteral("SQL");
inline const QString kServerFlag = QStringLiteral("bODBC");
inline const QString kSqlDbName = QStringLiteral("SQLDBName");
inline const QString kDefaultSqlDbName = QStringLiteral("brindlepax");
/** The last server used: the one value of this section is named after the server. */
inline const QString kLastServer = QStringLiteral("SQL\\Srv");
/** The last database file used: the one value of this section is named after the file. */
inline const QString kLastFile = QStringLiteral("MSAccess\\DB");
inline const QString kUnsecureLogin = QStringLiteral("UnsecureLogin");
inline const QString kUnsecurePwd = QStringLiteral("UnsecurePwd");
inline const QString kSecured = QStringLiteral("secured");
inline const QString kSmtp = QStringLiteral("SMTP");

/** Section holding the shared login of one server database: "SQL\" + server + "\DB\" + database. */
inline QString serverSection(const QString& server, const QString& database)
{
    return QStringLiteral("SQL\\") + server + QStringLiteral("\\DB\\") + database;
}

} // namespace bx::SettingsKeys
