#pragma once

#include "core/Refusal.h"
#include "core/UserRecord.h"

#include <QString>

#include <optional>

namespace bx {

class Database;

/**
 * The administrator's per-server permission to log on to a mail server without TLS. A client
 * that sends a user name and password otherwise insists on TLS (STARTTLS or TLS from the start)
 * and gives up rather than send the password in clear. The permission is kept in table Vars, one
 * row per server ("MailPlainLogin\SMTP\<server>" or "MailPlainLogin\POP3\<server>", value "1"),
 * the server as typed in the mail settings, trimmed and lower-cased; it holds for the database's
 * settings and for a user's own ones naming the same server alike.
 */
namespace MailPlainLogin {

enum class Service
{
    Smtp,
    Pop3
};

/**
 * Why a mail client gave up rather than log on: the server would not encrypt the connection. The
 * client's error begins with it.
 */
inline const QString kNoEncryption = QStringLiteral(
    "The mail server does not offer encryption (STARTTLS), so the password was not sent. An "
    "administrator may allow logging on to this server without encryption in the system "
    "settings");

/** The Vars name that holds the permission for `server`; empty for an empty server. */
QString varName(Service service, const QString& server);

/** Whether an administrator allowed logging on to `server` without TLS. @throws DbError */
bool allowed(Database& db, Service service, const QString& server);

/**
 * Allows or forbids logging on to `server` without TLS. Refuses (kNotAdministrator), writing
 * nothing, unless `editor` is an administrator; does nothing for an empty server.
 * @throws DbError
 */
std::optional<RefusalOf<>> setAllowed(Database& db, const UserRecord& editor, Service service,
                                      const QString& server, bool allow);

} // namespace MailPlainLogin

} // namespace bx
