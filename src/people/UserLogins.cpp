#include "people/UserLogins.h"

#include "core/PasswordCipher.h"
#include "core/UserRecord.h"
#include "core/db/Database.h"
#include "core/db/DatabaseOpener.h"
#include "core/db/LoginRoles.h"
#include "core/settings/Vars.h"

namespace bx::UserLogins {

LoginRoles* managed(Database& db)
{
    LoginRoles* roles = db.loginRoles();
    return roles && Vars::createsUserLogins(db) ? roles : nullptr;
}

void save(LoginRoles& roles, const QString& databaseName, const QString& userId,
          const std::optional<QString>& typedPassword, bool administrator,
          const QStringList& rights)
{
    const QString role = serverRoleName(databaseName, userId);
    // Also for a role left from an older database, so that it gains the table rights too.
    if (!UserRecord::isBuiltInAdmin(userId)) {
        roles.ensureLogin(role, administrator);
        roles.setRights(role, rights);
    }
    if (typedPassword)
        roles.setRolePassword(role, PasswordCipher::loginPassword(*typedPassword));
}

void rename(LoginRoles& roles, const QString& databaseName, const QString& oldUserId,
            const QString& newUserId)
{
    const QString from = serverRoleName(databaseName, oldUserId);
    const QString to = serverRoleName(databaseName, newUserId);
    if (from == to || UserRecord::isBuiltInAdmin(oldUserId) || !roles.roleExists(from) ||
        roles.roleExists(to))
        return;
    if (roles.sessionRole() == from)
        return;
    roles.renameRole(from, to);
}

void setEnabled(LoginRoles& roles, const QString& databaseName, const QString& userId, bool enabled)
{
    const QString role = serverRoleName(databaseName, userId);
    if (!UserRecord::isBuiltInAdmin(userId) && roles.roleExists(role))
        roles.setLoginAllowed(role, enabled);
}

void drop(LoginRoles& roles, const QString& databaseName, const QString& userId)
{
    const QString role = serverRoleName(databaseName, userId);
    if (roles.roleExists(role))
        roles.dropRole(role);
}

} // namespace bx::UserLogins
