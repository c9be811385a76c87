#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

class Database;
class LoginRoles;

/**
 * The server login role that the program keeps for every user: serverRoleName(database, user),
 * a member of "<database>_users" (which holds the rights on the rows), and of "<database>_owner"
 * exactly when the user is an administrator, so that administrators can change users' rights and
 * manage the other users' roles (through the database's bx_login_* functions). A disabled user's
 * role may not log on.
 *
 * None of these functions opens a transaction of its own: the server changes roles
 * transactionally, so callers run them inside the transaction that changes the user's row, and
 * the role and the row never disagree. Every function throws DbError when a statement fails (for
 * example when the logged-on user may not manage roles).
 */
namespace UserLogins {

/**
 * The server's login roles when the program maintains them for this database (server engine and
 * Vars::createsUserLogins); null otherwise.
 */
LoginRoles* managed(Database& db);

/**
 * Brings a user's role up to date after the user was saved.
 *
 * For the built-in "admin" only the password changes (its role is made with the database and is
 * always an administrator). Any other user's role is created when missing and made a member of
 * the users role; membership of the owner role is then granted or taken per `administrator`. The
 * password is the cipher of `typedPassword`; without one (the password was not changed) the role
 * keeps its password, and a role created without one cannot log on until the user's password is
 * next set.
 */
void save(LoginRoles& roles, const QString& databaseName, const QString& userId,
          const std::optional<QString>& typedPassword, bool administrator,
          const QStringList& rights = {});

/**
 * Follows a rename of a user: the old role gets the new name, which keeps its password (the
 * server stores it salted independently of the name). Nothing happens when the old role is
 * missing, when a role of the new name exists already, for the built-in "admin" (the database's
 * own login must stay), or when the old role is the one this connection logged on with (the
 * server cannot rename it): save() then creates the new role and the old one stays as it is.
 */
void rename(LoginRoles& roles, const QString& databaseName, const QString& oldUserId,
            const QString& newUserId);

/**
 * Follows the user's Disabled flag: a disabled user's role may not log on, an enabled one's may
 * again. Nothing happens when the role is missing, or for the built-in "admin".
 */
void setEnabled(LoginRoles& roles, const QString& databaseName, const QString& userId,
                bool enabled);

/**
 * Removes a deleted user's role, so that it no longer reaches the database. A role that the
 * server refuses to drop (it owns objects, or other sessions use it) is kept but loses the right
 * to log on.
 */
void drop(LoginRoles& roles, const QString& databaseName, const QString& userId);

} // namespace UserLogins

} // namespace bx
