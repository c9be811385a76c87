#pragma once

#include <QString>
#include <QStringList>

namespace bx {

/**
 * The server's login roles, as the user windows manage them: one per user, a member of the
 * database's users role, and of its owner role when the user is an administrator. Only the server
 * engine has them (Database::loginRoles()). Every operation runs inside the caller's transaction,
 * so that a role and the user's row change together, and throws DbError when a statement fails
 * (for example when the logged-on user is no administrator).
 *
 * Logins are created, renamed, enabled and dropped through the database's bx_login_* functions,
 * which handle only the logins named after the database; nobody's login needs CREATEROLE.
 */
class LoginRoles
{
public:
    virtual ~LoginRoles() = default;

    virtual bool roleExists(const QString& role) = 0;
    /**
     * Creates the login role when missing and makes it a member of the users role either way;
     * membership of the owner role is granted or taken per `administrator`.
     */
    virtual void ensureLogin(const QString& role, bool administrator) = 0;
    /**
     * Makes the role a member of exactly the right roles named (suffixes such as "lifecycles",
     * see writerRoleSuffix), which let it write the configuration of those rights.
     */
    virtual void setRights(const QString& role, const QStringList& rights) = 0;
    /** Lets the role log on, or not (a disabled user's login). */
    virtual void setLoginAllowed(const QString& role, bool allowed) = 0;
    /** Gives the role a new password, hashed before it leaves the program. */
    virtual void setRolePassword(const QString& role, const QString& password) = 0;
    virtual void renameRole(const QString& from, const QString& to) = 0;
    /** Drops the role; one the server refuses to drop keeps existing but may no longer log on. */
    virtual void dropRole(const QString& role) = 0;
    /** The role this connection logged on with. */
    virtual QString sessionRole() = 0;
};

} // namespace bx
