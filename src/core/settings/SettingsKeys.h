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

/** Section holding the shared login of one server database: "SQL\" + server + "\DB\" + database. */
inline QString serverSection(const QString& server, const QString& database)
{
    return QStringLiteral("SQL\\") + server + QStringLiteral("\\DB\\") + database;
}

/**
 * Section of what is remembered of a server itself, for every database on it: "SQL\" + server +
 * "\SSL" (not "SQL\" + server, which a server named "Srv" would share with kLastServer). Keys:
 * kSslMode, the SSL mode of every connection to the server ("prefer", "require" or
 * "verify-full"; none stored means prefer), and kSslRootCert, the CA file of verify-full.
 */
inline QString serverSslSection(const QString& server)
{
    return QStringLiteral("SQL\\") + server + QStringLiteral("\\SSL");
}
inline const QString kSslMode = QStringLiteral("SSLMode");
inline const QString kSslRootCert = QStringLiteral("SSLRootCert");

} // namespace bx::SettingsKeys
