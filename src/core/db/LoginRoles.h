#pragma once

#include <QString>

namespace bx {

/**
 * The server's login roles, as the user windows manage them: one per user, a member of the
 * database's users role. Only the server engine has them (Database::loginRoles()). Every
 * operation runs inside the caller's transaction, so that a role and the user's row change
 * together, and throws DbError when a statement fails (for example when the logged-on user may
 * not manage roles).
 */
class LoginRoles
{
public:
    virtual ~LoginRoles() = default;

    virtual bool roleExists(const QString& role) = 0;
    /**
     * Creates the login role when missing and makes it a member of the users role either way
     * (bx_create_login, delivered with the schema); CREATEROLE is granted or taken per
     * `mayCreateRoles`.
     */
    virtual void ensureLogin(const QString& role, bool mayCreateRoles) = 0;
    /** Gives the role a new password, hashed before it leaves the program. */
    virtual void setRolePassword(const QString& role, const QString& password) = 0;
    virtual void renameRole(const QString& from, const QString& to) = 0;
    /** Drops the role; one the server refuses to drop keeps existing but may no longer log on. */
    virtual void dropRole(const QString& role) = 0;
    /** The role this connection logged on with. */
    virtual QString sessionRole() = 0;
};

} // namespace bx
