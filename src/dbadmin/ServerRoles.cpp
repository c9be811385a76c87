#include "dbadmin/ServerRoles.h"

#include "core/db/Database.h"
#include "core/schema/TableClasses.h"
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
    if (!a.query(QStringLiteral("SELECT 1 FROM pg_roles WHERE rolname = session_user AND rolsuper"))
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

namespace bx::server_sql {

namespace {

// Functions and triggers the program puts into the schema, lower case.
const QStringList kOwnFunctions{
    QStringLiteral("bx_attach_share"),    QStringLiteral("bx_attach_unlink"),
    QStringLiteral("bx_create_login"),    QStringLiteral("bx_login_allow"),
    QStringLiteral("bx_login_checked"),   QStringLiteral("bx_login_drop"),
    QStringLiteral("bx_login_ensure"),    QStringLiteral("bx_login_password"),
    QStringLiteral("bx_login_rename"),    QStringLiteral("bx_login_rights"),
    QStringLiteral("bx_login_shared"),    QStringLiteral("bx_login_user"),
    QStringLiteral("bx_lu_user_guard"),   QStringLiteral("bx_mail_guard"),
    QStringLiteral("bx_outbox_guard"),    QStringLiteral("bx_password_check"),
    QStringLiteral("bx_password_rehash"), QStringLiteral("bx_password_setting"),
    QStringLiteral("scr_itrig"),          QStringLiteral("scr_utrig"),
    QStringLiteral("scr_vtrig"),          QStringLiteral("bx_attach_version"),
    QStringLiteral("bx_change_notice"),   QStringLiteral("bx_change_marker"),
};
const QStringList kOwnTriggers{
    QStringLiteral("attach_share"),
    QStringLiteral("attach_unlink"),
    QStringLiteral("attach_version"),
    QStringLiteral("lu_user_guard"),
    QStringLiteral("mail_guard"),
    QStringLiteral("mail_outbox_guard"),
    QStringLiteral("scr_search_delete"),
    QStringLiteral("scr_search_insert"),
    QStringLiteral("scr_search_update"),
    QStringLiteral("scr_itrig"),
    QStringLiteral("scr_utrig"),
    QStringLiteral("scr_vtrig"),
    QStringLiteral("scr_changes_ins"),
    QStringLiteral("scr_changes_upd"),
    QStringLiteral("scr_changes_del"),
    QStringLiteral("route_changes_ins"),
    QStringLiteral("route_changes_upd"),
    QStringLiteral("route_changes_del"),
    QStringLiteral("mail_changes_ins"),
    QStringLiteral("mail_changes_upd"),
    QStringLiteral("mail_changes_del"),
    QStringLiteral("mail_outbox_changes_ins"),
    QStringLiteral("mail_outbox_changes_upd"),
    QStringLiteral("mail_outbox_changes_del"),
    QStringLiteral("scr_marker_ins"),
    QStringLiteral("scr_marker_upd"),
    QStringLiteral("scr_marker_del"),
    QStringLiteral("route_marker_ins"),
    QStringLiteral("route_marker_upd"),
    QStringLiteral("route_marker_del"),
    QStringLiteral("attach_marker_ins"),
    QStringLiteral("attach_marker_upd"),
    QStringLiteral("attach_marker_del"),
    QStringLiteral("checklist_item_marker_ins"),
    QStringLiteral("checklist_item_marker_upd"),
    QStringLiteral("checklist_item_marker_del"),
    QStringLiteral("lu_user_marker_ins"),
    QStringLiteral("lu_user_marker_upd"),
    QStringLiteral("lu_user_marker_del"),
};

bool isTrue(StepActions& a, const QString& sql, const QVariantList& params = {})
{
    const RecordSet rs = a.query(sql, params);
    return !rs.isEmpty() && rs.rows().first().first().toBool();
}

} // namespace

// Named "<db>#...": a user's own login is "<db>_" and his user ID, which may be any word; a '#'
// keeps these apart from every one of them.
MarkerRoles markerRolesOf(const ServerRoles& roles)
{
    MarkerRoles m{
        roles.prefix + QStringLiteral("#logins"), roles.prefix + QStringLiteral("#shared"), {}};
    for (const WriterRight right : grantedRights())
        m.rights << rightRoleOf(roles, right);
    return m;
}

QString rightRoleOf(const ServerRoles& roles, WriterRight right)
{
    const QString suffix = writerRoleSuffix(right);
    return suffix.isEmpty() ? QString() : roles.prefix + QLatin1Char('#') + suffix;
}

QStringList programRoles(const ServerRoles& roles)
{
    const MarkerRoles m = markerRolesOf(roles);
    return QStringList{roles.owner, roles.users, roles.roles, m.logins, m.shared} + m.rights;
}

void enterOwnerRole(Database& db)
{
    if (db.engine() != Engine::Postgres)
        return;
    // The owner role is named after the tables' owner, as rolesOf finds it.
    const RecordSet rs = db.query(QStringLiteral(
        "SELECT o.rolname FROM pg_tables t JOIN pg_roles o ON o.rolname = t.tableowner WHERE "
        "t.schemaname = current_schema() AND t.tablename = 'lu_user' AND o.rolname LIKE "
        "'%\\_owner' AND NOT o.rolcanlogin AND pg_has_role(session_user, o.oid, 'MEMBER')"));
    if (rs.isEmpty())
        return;
    db.executeScript(QStringLiteral("SET LOCAL ROLE ") +
                     ident(rs.rows().first().first().toString()));
}

void asServerAdministrator(StepActions& a, const std::function<void()>& work)
{
    const bool asOwner = isTrue(a, QStringLiteral("SELECT current_user <> session_user"));
    const QString role = single(a, QStringLiteral("SELECT current_user"));
    if (asOwner)
        a.run(QStringLiteral("RESET ROLE"));
    work();
    if (asOwner)
        a.run(QStringLiteral("SET LOCAL ROLE ") + ident(role));
}

void refuseUnsafeSchema(Database& db)
{
    if (db.engine() != Engine::Postgres)
        return;
    // The public schema of a newer server belongs to pg_database_owner: the database's owner.
    const RecordSet owner = db.query(QStringLiteral(
        "SELECT n.nspname, CASE WHEN o.rolname = 'pg_database_owner' THEN d.rolname ELSE "
        "o.rolname END, CASE WHEN o.rolname = 'pg_database_owner' THEN d.rolsuper ELSE "
        "o.rolsuper END FROM pg_namespace n JOIN pg_roles o ON o.oid = n.nspowner JOIN "
        "pg_database db ON db.datname = current_database() JOIN pg_roles d ON d.oid = db.datdba "
        "WHERE n.nspname = current_schema()"));
    if (!owner.isEmpty()) {
        const QVariantList row = owner.rows().first();
        const QString name = row.at(1).toString();
        if (!row.at(2).toBool() &&
            name != db.scalar(QStringLiteral("SELECT session_user::text")).toString())
            throw DbError(DbErrorKind::Other, QStringLiteral("42501"),
                          QStringLiteral("The schema %1 belongs to %2, who is neither the "
                                         "server's administrator nor the login running this. "
                                         "Give it to the server's administrator (ALTER SCHEMA %1 "
                                         "OWNER TO postgres) and try again.")
                              .arg(row.at(0).toString(), name));
    }
    const QString functions = kOwnFunctions.join(QLatin1Char(','));
    const QString triggers = kOwnTriggers.join(QLatin1Char(','));
    const RecordSet foreign = db.query(
        QStringLiteral(
            "SELECT 'trigger ' || t.tgname || ' on ' || c.relname FROM pg_trigger t JOIN "
            "pg_class c ON c.oid = t.tgrelid JOIN pg_proc f ON f.oid = t.tgfoid WHERE "
            "c.relnamespace = (SELECT oid FROM pg_namespace WHERE nspname = current_schema()) "
            "AND NOT t.tgisinternal AND (lower(t.tgname) <> ALL (string_to_array(?, ',')) OR "
            "f.pronamespace <> c.relnamespace OR lower(f.proname) <> ALL (string_to_array(?, "
            "','))) "
            "UNION ALL SELECT 'rule ' || r.rulename || ' on ' || c.relname FROM pg_rewrite r "
            "JOIN pg_class c ON c.oid = r.ev_class WHERE c.relnamespace = (SELECT oid FROM "
            "pg_namespace WHERE nspname = current_schema()) AND r.rulename <> '_RETURN' "
            "UNION ALL SELECT 'function ' || p.oid::regprocedure::text FROM pg_proc p WHERE "
            "p.pronamespace = (SELECT oid FROM pg_namespace WHERE nspname = current_schema()) "
            "AND lower(p.proname) <> ALL (string_to_array(?, ',')) AND NOT EXISTS (SELECT 1 "
            "FROM pg_depend d WHERE d.classid = 'pg_proc'::regclass AND d.objid = p.oid AND "
            "d.deptype = 'e') ORDER BY 1"),
        {triggers, functions, functions});
    if (foreign.isEmpty())
        return;
    QStringList found;
    for (const QVariantList& row : foreign.rows())
        found << row.first().toString();
    throw DbError(DbErrorKind::Other, QStringLiteral("42501"),
                  QStringLiteral("The database holds objects that Brindlepax did not make, which "
                                 "an upgrade would run: %1. Remove them, or ask whoever made "
                                 "them, and try again.")
                      .arg(found.join(QStringLiteral(", "))));
}

} // namespace bx::server_sql

namespace bx::server_sql {

namespace {

/** The policies the program puts on a table, so that a step can make them again. */
void dropPolicies(StepActions& a, const QString& table)
{
    const RecordSet held =
        a.query(QStringLiteral("SELECT policyname FROM pg_policies WHERE schemaname = "
                               "current_schema() AND lower(tablename) = lower(?) AND policyname "
                               "LIKE 'bx\\_%'"),
                {table});
    for (const QVariantList& row : held.rows())
        a.run(QStringLiteral("DROP POLICY ") + ident(row.first().toString()) +
              QStringLiteral(" ON ") + StepActions::tableSql(table));
}

void policy(StepActions& a, const QString& name, const QString& table, const QString& command,
            const QString& role, const QString& usingCondition, const QString& checkCondition)
{
    QString sql = QStringLiteral("CREATE POLICY %1 ON %2 FOR %3 TO %4")
                      .arg(name, StepActions::tableSql(table), command, ident(role));
    if (!usingCondition.isEmpty())
        sql += QStringLiteral(" USING (") + usingCondition + QLatin1Char(')');
    if (!checkCondition.isEmpty())
        sql += QStringLiteral(" WITH CHECK (") + checkCondition + QLatin1Char(')');
    a.run(sql);
}

// The personal tables: the rows of the login's own user; the shared logins, which cannot be told
// from any of their users, every row.
void personalPolicies(StepActions& a, const TableClassEntry& entry, const MarkerRoles& m)
{
    const QString table = entry.table;
    const QString own = entry.ownerColumn + QStringLiteral(" = (SELECT bx_login_user())");
    policy(a, QStringLiteral("bx_own"), table, QStringLiteral("ALL"), m.logins, own, own);
    policy(a, QStringLiteral("bx_shared"), table, QStringLiteral("ALL"), m.shared,
           QStringLiteral("true"), QStringLiteral("true"));
    if (entry.supervisorsRead) {
        // UNION, not UNION ALL: a loop in the supervisor tree ends the walk.
        policy(a, QStringLiteral("bx_supervisor"), table, QStringLiteral("SELECT"), m.logins,
               entry.ownerColumn +
                   QStringLiteral(" IN (WITH RECURSIVE below(id) AS (SELECT u.USER_ID FROM "
                                  "LU_USER u WHERE u.Supervisor_User_ID = (SELECT "
                                  "bx_login_user()) UNION SELECT u.USER_ID FROM LU_USER u JOIN "
                                  "below b ON u.Supervisor_User_ID = b.id) SELECT id FROM below)"),
               {});
    }
    if (table.compare(QLatin1String("MAIL"), Qt::CaseInsensitive) == 0) {
        // Sending is writing into the recipients' boxes.
        policy(a, QStringLiteral("bx_send"), table, QStringLiteral("INSERT"), m.logins, {},
               QStringLiteral("true"));
    } else if (table.compare(QLatin1String("MAIL_OUTBOX"), Qt::CaseInsensitive) == 0) {
        // Rows queued under the database's mail settings go out through whichever client is
        // signed in; what such a client may change in them is the guard's.
        const QString sharedRow = QStringLiteral("COALESCE(Personal, 0) = 0");
        policy(a, QStringLiteral("bx_deliver_read"), table, QStringLiteral("SELECT"), m.logins,
               sharedRow, {});
        policy(a, QStringLiteral("bx_deliver"), table, QStringLiteral("UPDATE"), m.logins,
               sharedRow, sharedRow);
    }
}

/**
 * The condition of the rows a workshop's members write: the login's user belongs to the row's
 * workshop. "" for a table whose writers hold a right instead.
 */
QString membersRows(const TableClassEntry& entry)
{
    if (entry.writer != WriterRight::WorkshopMembers)
        return {};
    return QStringLiteral("(") + entry.workshopOf +
           QStringLiteral(") IN (SELECT m.GROUP_ID FROM GROUPLINK m WHERE m.USER_ID = (SELECT "
                          "bx_login_user()))");
}

void membersPolicy(StepActions& a, const TableClassEntry& entry, const ServerRoles& r)
{
    const QString members = membersRows(entry);
    policy(a, QStringLiteral("bx_members"), entry.table, QStringLiteral("ALL"), r.users, members,
           members);
}

void everyonesRowsPolicies(StepActions& a, const TableClassEntry& entry, const ServerRoles& r,
                           const QString& writerRole)
{
    policy(a, QStringLiteral("bx_read"), entry.table, QStringLiteral("SELECT"), r.users,
           QStringLiteral("true"), {});
    policy(a, QStringLiteral("bx_rows"), entry.table, QStringLiteral("ALL"), r.users,
           entry.everyonesRows, entry.everyonesRows);
    if (writerRole.isEmpty())
        return;
    const QString writerRows =
        entry.writerRows.isEmpty() ? QStringLiteral("true") : entry.writerRows;
    policy(a, QStringLiteral("bx_writer"), entry.table, QStringLiteral("ALL"), writerRole,
           writerRows, writerRows);
    const QString otherRole = rightRoleOf(r, entry.otherRowsWriter);
    if (!entry.writerRows.isEmpty() && !otherRole.isEmpty())
        policy(a, QStringLiteral("bx_other_writer"), entry.table, QStringLiteral("ALL"), otherRole,
               QStringLiteral("true"), QStringLiteral("true"));
}

} // namespace

void applyTableClass(StepActions& a, const ServerRoles& r, const QString& table)
{
    if (!a.onServer())
        return;
    const std::optional<TableClassEntry> entry = tableClassOf(table);
    if (!entry) {
        a.note(QStringLiteral("The table ") + table +
               QStringLiteral(" is none of the program's; its rights stay as they are."));
        return;
    }
    const MarkerRoles m = markerRolesOf(r);
    const QString t = StepActions::tableSql(table);
    const QString users = ident(r.users);
    const QString writerRole = rightRoleOf(r, entry->writer);
    const QString everything = QStringLiteral("SELECT, INSERT, UPDATE, DELETE");

    a.run(QStringLiteral("REVOKE ALL ON %1 FROM PUBLIC, %2").arg(t, users));
    for (const QString& role : m.rights)
        a.run(QStringLiteral("REVOKE ALL ON %1 FROM %2").arg(t, ident(role)));
    dropPolicies(a, table);
    bool rowSecurity = false;
    switch (entry->tableClass) {
    case TableClass::Shared:
        a.run(QStringLiteral("GRANT %1 ON %2 TO %3").arg(everything, t, users));
        if (!entry->everyonesRows.isEmpty()) {
            everyonesRowsPolicies(a, *entry, r, writerRole);
            if (entry->writer == WriterRight::WorkshopMembers)
                membersPolicy(a, *entry, r);
            for (const QString& role : {writerRole, rightRoleOf(r, entry->otherRowsWriter)}) {
                if (!role.isEmpty())
                    a.run(QStringLiteral("GRANT %1 ON %2 TO %3").arg(everything, t, ident(role)));
            }
            rowSecurity = true;
        }
        break;
    case TableClass::Personal:
        a.run(QStringLiteral("GRANT %1 ON %2 TO %3").arg(everything, t, users));
        personalPolicies(a, *entry, m);
        rowSecurity = true;
        break;
    case TableClass::Configuration:
        if (entry->writer == WriterRight::WorkshopMembers) {
            // Every login reads; the policies let the members of a row's workshop write it.
            a.run(QStringLiteral("GRANT %1 ON %2 TO %3").arg(everything, t, users));
            policy(a, QStringLiteral("bx_read"), table, QStringLiteral("SELECT"), r.users,
                   QStringLiteral("true"), {});
            membersPolicy(a, *entry, r);
            rowSecurity = true;
            break;
        }
        // LU_USER's rows are guarded by a trigger: a user may change his own password there.
        a.run(QStringLiteral("GRANT %1 ON %2 TO %3")
                  .arg(table.compare(QLatin1String("LU_USER"), Qt::CaseInsensitive) == 0
                           ? QStringLiteral("SELECT, UPDATE")
                           : QStringLiteral("SELECT"),
                       t, users));
        if (!writerRole.isEmpty())
            a.run(QStringLiteral("GRANT %1 ON %2 TO %3").arg(everything, t, ident(writerRole)));
        break;
    case TableClass::Maintained:
        a.run(QStringLiteral("GRANT SELECT ON %1 TO %2").arg(t, users));
        break;
    }
    // Passwords are checked through functions that answer yes or no, once a database has them.
    if (table.compare(QLatin1String("LU_USER"), Qt::CaseInsensitive) == 0 &&
        isTrue(a, QStringLiteral("SELECT to_regprocedure('bx_password_check(text, text)') IS NOT "
                                 "NULL")))
        hidePasswordColumn(a);
    a.run(QStringLiteral("ALTER TABLE %1 %2 ROW LEVEL SECURITY")
              .arg(t, rowSecurity ? QStringLiteral("ENABLE") : QStringLiteral("DISABLE")));
}

} // namespace bx::server_sql
