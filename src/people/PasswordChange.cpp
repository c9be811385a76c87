#include "people/PasswordChange.h"

#include "core/PasswordCipher.h"
#include "core/Session.h"
#include "core/StoredPassword.h"
#include "core/db/Database.h"
#include "core/db/DatabaseOpener.h"
#include "core/db/LoginRoles.h"
#include "core/db/ParameterQuery.h"
#include "core/settings/Vars.h"
#include "people/UserLogins.h"

namespace bx {

namespace {

constexpr qsizetype kMinimumLength = 6;

} // namespace

std::optional<QString> changePassword(Session& session, const QString& newPassword,
                                      const QString& retyped)
{
    // Blanks around a password never count when it is compared, so they do not count here.
    const QString effective = newPassword.trimmed();
    if (effective.isEmpty())
        return QStringLiteral("Please specify a new password");
    if (newPassword != retyped)
        return QStringLiteral("Password was not retyped correctly");
    if (effective.size() < kMinimumLength)
        return QStringLiteral("New password must be at least 6 characters long");

    Database& db = session.db();
    const QString userId = session.user.userId.trimmed();
    const QString sqlPassword = PasswordCipher::loginPassword(newPassword);
    const QString stored = StoredPassword::forStorage(newPassword);

    Transaction tx(db);
    if (LoginRoles* roles = UserLogins::managed(db))
        roles->setRolePassword(serverRoleName(session.connection.sqlDatabaseName, userId),
                               sqlPassword);

    static const ParameterQuery update = ParameterQuery::parse(
        QStringLiteral("PARAMETERS sN String, sU String; "
                       "UPDATE LU_USER SET User_Password = [sN] WHERE USER_ID = [sU]"));
    try {
        if (db.execute(update, {{QStringLiteral("sN"), stored}, {QStringLiteral("sU"), userId}}) ==
            0)
            throw DbError(DbErrorKind::Other, QStringLiteral("0"),
                          QStringLiteral("there is no user ") + userId, update.sql());
    } catch (const DbError& e) {
        // Rolled back with the role's change when tx goes out of scope.
        throw DbError(e.kind(), e.number(),
                      QStringLiteral("The password was not changed: ") + e.description(),
                      e.statement(), e.where());
    }
    tx.commit();

    session.user.password = newPassword;
    session.user.sqlPassword = sqlPassword;
    return std::nullopt;
}

} // namespace bx
