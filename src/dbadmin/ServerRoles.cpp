#include "dbadmin/ServerRoles.h"

#include "core/db/Database.h"
#include "dbadmin/StepActions.h"

namespace bx::server_sql {

QString literal(const QString& text)
{
    QString t = text;
    t.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + t + QLatin1Char('\'');
}

QString ident(const QString& name)
{
    QString t = name;
    t.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

QString single(StepActions& a, const QString& sql, const QVariantList& params)
{
    const RecordSet rs = a.query(sql, params);
    return rs.isEmpty() ? QString() : rs.rows().first().first().toString();
}

ServerRoles rolesOf(StepActions& a)
{
    const QString tableOwner =
        single(a, QStringLiteral("SELECT tableowner FROM pg_tables WHERE schemaname = "
                                 "current_schema() AND tablename = 'lu_user'"));
    QString prefix;
    for (const char* suffix : {"_users", "_owner"}) {
        if (tableOwner.endsWith(QLatin1String(suffix)))
            prefix = tableOwner.chopped(6);
    }
    if (prefix.isEmpty())
        prefix = single(a, QStringLiteral("SELECT lower(current_database())"));
    return {prefix, prefix + QStringLiteral("_owner"), prefix + QStringLiteral("_users"),
            prefix + QStringLiteral("_roles")};
}

void createFunction(StepActions& a, const QString& head, const QString& body, bool definer)
{
    a.run(QStringLiteral("CREATE OR REPLACE FUNCTION ") + head +
          QStringLiteral(" LANGUAGE plpgsql ") +
          (definer ? QStringLiteral("SECURITY DEFINER ") : QStringLiteral("SECURITY INVOKER ")) +
          QStringLiteral("SET search_path = pg_catalog, pg_temp AS ") + literal(body));
}

bool roleExists(StepActions& a, const QString& role)
{
    return !a.query(QStringLiteral("SELECT 1 FROM pg_roles WHERE rolname = ?"), {role}).isEmpty();
}

// Roles belong to the whole server; another session may be creating the same one right now.
// An existing role is altered only when its attributes differ, for the same reason.
void ensureRole(StepActions& a, const QString& role, const QString& attributes, bool createsRoles)
{
    const RecordSet found =
        a.query(QStringLiteral("SELECT 1 FROM pg_roles WHERE rolname = ? AND NOT rolcanlogin AND "
                               "rolcreaterole = ? AND rolinherit = ?"),
                {role, createsRoles, !createsRoles});
    if (!found.isEmpty())
        return;
    if (!roleExists(a, role)) {
        try {
            Transaction savepoint(a.db());
            a.run(QStringLiteral("CREATE ROLE ") + ident(role) + QLatin1Char(' ') + attributes);
            savepoint.commit();
        } catch (const DbError&) {
            if (!roleExists(a, role))
                throw;
        }
    }
    a.run(QStringLiteral("ALTER ROLE ") + ident(role) + QLatin1Char(' ') + attributes);
}

void requireServerAdministrator(StepActions& a)
{
    if (!a.query(QStringLiteral("SELECT 1 FROM pg_roles WHERE rolname = current_user AND rolsuper"))
             .isEmpty())
        return;
    throw DbError(DbErrorKind::Other, QStringLiteral("42501"),
                  QStringLiteral("This upgrade sets up the database's roles and must run as the "
                                 "server's administrator (bxadmin upgrade --server HOST "
                                 "--database NAME --admin-login LOGIN)."));
}

QString schemaIdent(StepActions& a)
{
    return ident(single(a, QStringLiteral("SELECT current_schema()")));
}

void hidePasswordColumn(StepActions& a)
{
    const ServerRoles r = rolesOf(a);
    const RecordSet columns =
        a.query(QStringLiteral("SELECT column_name FROM information_schema.columns WHERE "
                               "table_schema = current_schema() AND table_name = 'lu_user' AND "
                               "column_name <> 'user_password' ORDER BY ordinal_position"));
    QStringList readable;
    for (const QVariantList& row : columns.rows())
        readable << ident(row.first().toString());
    // Whoever else was given SELECT on the table (PUBLIC, a login by hand) loses it too. Revoking
    // SELECT on the table revokes it on each column as well; the grant follows.
    const RecordSet grantees = a.query(
        QStringLiteral("SELECT DISTINCT CASE WHEN x.grantee = 0 THEN 'PUBLIC' ELSE "
                       "pg_get_userbyid(x.grantee) END FROM pg_class c, aclexplode(c.relacl) x "
                       "WHERE c.relnamespace = (SELECT oid FROM pg_namespace WHERE nspname = "
                       "current_schema()) AND c.relname = 'lu_user' AND x.privilege_type = "
                       "'SELECT' AND x.grantee <> c.relowner"));
    QStringList revoked{ident(r.users)};
    for (const QVariantList& row : grantees.rows()) {
        const QString grantee = row.first().toString();
        if (grantee != r.users)
            revoked << (grantee == QLatin1String("PUBLIC") ? grantee : ident(grantee));
    }
    a.run(QStringLiteral("REVOKE SELECT ON LU_USER FROM ") + revoked.join(QStringLiteral(", ")));
    a.run(QStringLiteral("GRANT SELECT (%1) ON LU_USER TO %2")
              .arg(readable.join(QStringLiteral(", ")), ident(r.users)));
}

} // namespace bx::server_sql
