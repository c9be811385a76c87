#include "people/UserLogins.h"

#include "core/PasswordCipher.h"
#include "core/UserRecord.h"
#include "core/db/DatabaseOpener.h"
#include "core/db/PgDatabase.h"
#include "core/settings/Vars.h"

namespace bx::UserLogins {

PgDatabase* managed(Database& db)
{
    auto* pg = dynamic_cast<PgDatabase*>(&db);
    return pg && Vars::createsUserLogins(db) ? pg : nullptr;
}

bool exists(PgDatabase& db, const QString& role)
{
    return !db.query(QStringLiteral("SELECT 1 FROM pg_roles WHERE rolname = ?"), {role}).eof();
}

void save(PgDatabase& db, const QString& databaseName, const QString& userId,
          const std::optional<QString>& typedPassword, bool administrator)
{
    const QString role = serverRoleName(databaseName, userId);
    if (!UserRecord::isBuiltInAdmin(userId)) {
        // Creates the role when missing and grants it the users role either way, so that a role
        // made by hand, or left from an older database, gains the table rights too.
        db.query(QStringLiteral("SELECT bx_create_login(?, NULL, ?)"), {role, administrator});
        db.executeScript(
            QStringLiteral("ALTER ROLE ") + db.quoteIdentifier(role) +
            (administrator ? QStringLiteral(" CREATEROLE") : QStringLiteral(" NOCREATEROLE")));
    }
    if (typedPassword)
        db.setRolePassword(role, PasswordCipher::loginPassword(*typedPassword));
}

void rename(PgDatabase& db, const QString& databaseName, const QString& oldUserId,
            const QString& newUserId)
{
    const QString from = serverRoleName(databaseName, oldUserId);
    const QString to = serverRoleName(databaseName, newUserId);
    if (from == to || UserRecord::isBuiltInAdmin(oldUserId) || !exists(db, from) || exists(db, to))
        return;
    if (db.scalar(QStringLiteral("SELECT session_user")).toString() == from)
        return;
    db.executeScript(QStringLiteral("ALTER ROLE ") + db.quoteIdentifier(from) +
                     QStringLiteral(" RENAME TO ") + db.quoteIdentifier(to));
}

void drop(PgDatabase& db, const QString& databaseName, const QString& userId)
{
    const QString role = serverRoleName(databaseName, userId);
    if (!exists(db, role))
        return;
    try {
        Transaction savepoint(db);
        db.executeScript(QStringLiteral("DROP ROLE ") + db.quoteIdentifier(role));
        savepoint.commit();
    } catch (const DbError&) {
        // Rolled back to the savepoint; the rest of the caller's transaction goes on.
        db.executeScript(QStringLiteral("ALTER ROLE ") + db.quoteIdentifier(role) +
                         QStringLiteral(" NOLOGIN"));
    }
}

} // namespace bx::UserLogins
