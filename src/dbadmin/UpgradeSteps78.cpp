#include "core/db/Database.h"
#include "dbadmin/ServerRoles.h"
#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

using namespace server_sql;
using Roles = ServerRoles;

// The server's roles of a database <db>:
//  - <db>_owner (no login) owns the tables, sequences and functions and may create in the
//    schema. Only administrators' logins are its members; the upgrade steps run as one of them
//    or as the server's administrator.
//  - <db>_users (no login) may read and write rows: SELECT, INSERT, UPDATE, DELETE on the tables
//    and USAGE on the sequences, nothing else. Every login of the database is its member.
//  - <db>_roles (no login, CREATEROLE) owns only the functions bx_login_*, through which the user
//    windows create, rename, enable, disable and drop logins. Nobody is its member, so nobody
//    can SET ROLE to it and use CREATEROLE freely (which on PostgreSQL 15 could grant any role,
//    pg_execute_server_program among them); its functions handle nothing but the logins of this
//    database and grant nothing but <db>_users and <db>_owner. <db>_owner cannot hold CREATEROLE
//    instead: administrators can SET ROLE to it.
//
// Large objects (attachments) belong to <db>_users, so that every login reads, rewrites and frees
// them as their owner; a trigger hands each new one over when a row takes it.
//
// LU_USER is guarded by a trigger: a login that is not a member of <db>_owner may change nothing
// but a password, and only its own user's, except a login that belongs to no user (a shared
// login), which cannot be told apart from any of its users.

void handObjectsToOwner(StepActions& a, const Roles& r)
{
    // Tables, views and free-standing sequences; a sequence of a table follows its table, and
    // objects of extensions stay with the extension.
    const RecordSet relations = a.query(
        QStringLiteral("SELECT c.relname, c.relkind FROM pg_class c JOIN pg_namespace n ON n.oid "
                       "= c.relnamespace WHERE n.nspname = current_schema() AND c.relkind IN "
                       "('r', 'p', 'v', 'm', 'S') AND pg_get_userbyid(c.relowner) <> ? AND NOT "
                       "EXISTS (SELECT 1 FROM pg_depend d WHERE d.classid = 'pg_class'::regclass "
                       "AND d.objid = c.oid AND d.deptype IN ('e', 'a', 'i'))"),
        {r.owner});
    for (const QVariantList& row : relations.rows()) {
        const QString kind = row.at(1).toString();
        const QString what = kind == QLatin1String("v")   ? QStringLiteral("VIEW")
                             : kind == QLatin1String("m") ? QStringLiteral("MATERIALIZED VIEW")
                             : kind == QLatin1String("S") ? QStringLiteral("SEQUENCE")
                                                          : QStringLiteral("TABLE");
        a.run(QStringLiteral("ALTER %1 %2 OWNER TO %3")
                  .arg(what, ident(row.at(0).toString()), ident(r.owner)));
    }
    const RecordSet routines = a.query(
        QStringLiteral("SELECT p.oid::regprocedure::text FROM pg_proc p WHERE p.pronamespace = "
                       "(SELECT oid FROM pg_namespace WHERE nspname = current_schema()) AND "
                       "p.prokind IN ('f', 'p') AND pg_get_userbyid(p.proowner) NOT IN (?, ?) AND "
                       "NOT EXISTS (SELECT 1 FROM pg_depend d WHERE d.classid = "
                       "'pg_proc'::regclass AND d.objid = p.oid AND d.deptype = 'e')"),
        {r.owner, r.roles});
    for (const QVariantList& row : routines.rows())
        a.run(QStringLiteral("ALTER ROUTINE ") + row.first().toString() +
              QStringLiteral(" OWNER TO ") + ident(r.owner));
}

void grantRights(StepActions& a, const Roles& r)
{
    const QString schema = ident(single(a, QStringLiteral("SELECT current_schema()")));
    const QString users = ident(r.users);
    const QString owner = ident(r.owner);
    a.run(QStringLiteral("REVOKE CREATE ON SCHEMA %1 FROM PUBLIC").arg(schema));
    a.run(QStringLiteral("REVOKE ALL ON SCHEMA %1 FROM %2").arg(schema, users));
    a.run(QStringLiteral("GRANT USAGE ON SCHEMA %1 TO %2").arg(schema, users));
    a.run(QStringLiteral("GRANT USAGE, CREATE ON SCHEMA %1 TO %2").arg(schema, owner));
    // The login functions' owner reaches their helper in the schema.
    a.run(QStringLiteral("GRANT USAGE ON SCHEMA %1 TO %2").arg(schema, ident(r.roles)));
    a.run(
        QStringLiteral("REVOKE ALL ON ALL TABLES IN SCHEMA %1 FROM PUBLIC, %2").arg(schema, users));
    a.run(QStringLiteral("GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA %1 TO %2")
              .arg(schema, users));
    a.run(QStringLiteral("REVOKE ALL ON ALL SEQUENCES IN SCHEMA %1 FROM PUBLIC, %2")
              .arg(schema, users));
    a.run(QStringLiteral("GRANT USAGE ON ALL SEQUENCES IN SCHEMA %1 TO %2").arg(schema, users));

    // Tables a later step creates get the same rights, whoever runs it.
    QStringList creators{r.owner, single(a, QStringLiteral("SELECT current_user"))};
    const RecordSet defaults = a.query(
        QStringLiteral("SELECT DISTINCT pg_get_userbyid(defaclrole) FROM pg_default_acl WHERE "
                       "defaclnamespace = (SELECT oid FROM pg_namespace WHERE nspname = "
                       "current_schema())"));
    for (const QVariantList& row : defaults.rows())
        creators << row.first().toString();
    creators.removeDuplicates();
    for (const QString& creator : std::as_const(creators)) {
        const QString head = QStringLiteral("ALTER DEFAULT PRIVILEGES FOR ROLE %1 IN SCHEMA %2 ")
                                 .arg(ident(creator), schema);
        a.run(head + QStringLiteral("REVOKE ALL ON TABLES FROM ") + users);
        a.run(head + QStringLiteral("REVOKE ALL ON SEQUENCES FROM ") + users);
        a.run(head + QStringLiteral("GRANT SELECT, INSERT, UPDATE, DELETE ON TABLES TO ") + users);
        a.run(head + QStringLiteral("GRANT USAGE ON SEQUENCES TO ") + users);
    }
}

void createLoginFunctions(StepActions& a, const Roles& r)
{
    // The functions run with a search path of the catalogue only; they name their helper with
    // its schema.
    const QString checked = ident(single(a, QStringLiteral("SELECT current_schema()"))) +
                            QStringLiteral(".bx_login_checked(");
    const QString owner = literal(r.owner);
    const QString users = literal(r.users);
    const QString roles = literal(r.roles);

    // The login's name, lower case, once it is known to be a login of this database (and, with
    // `existing`, one of its users' logins already).
    createFunction(
        a, QStringLiteral("bx_login_checked(login text, existing boolean) RETURNS text"),
        QStringLiteral(
            "DECLARE\n"
            "  r text := lower(trim(login));\n"
            "  p text := lower(current_database()) || '_';\n"
            "BEGIN\n"
            "  IF r IS NULL OR length(r) <= length(p) OR left(r, length(p)) <> p\n"
            "     OR r IN (%1, %2, %3) THEN\n"
            "    RAISE EXCEPTION 'The login % does not belong to this database', login\n"
            "      USING ERRCODE = '42501';\n"
            "  END IF;\n"
            "  IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = r\n"
            "             AND (rolsuper OR rolreplication OR rolbypassrls)) THEN\n"
            "    RAISE EXCEPTION 'The login % is not managed here', login USING ERRCODE = "
            "'42501';\n"
            "  END IF;\n"
            "  IF existing THEN\n"
            "    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = r) THEN\n"
            "      RAISE EXCEPTION 'There is no login %', login USING ERRCODE = '42704';\n"
            "    END IF;\n"
            "    IF NOT pg_has_role(r, %2, 'MEMBER') THEN\n"
            "      RAISE EXCEPTION 'The login % is not a user''s login of this database', login\n"
            "        USING ERRCODE = '42501';\n"
            "    END IF;\n"
            "  END IF;\n"
            "  RETURN r;\n"
            "END")
            .arg(owner, users, roles));

    // A role made by hand joins when it is nobody's member yet; one that belongs to other roles
    // (another database's login, say) is not taken over.
    createFunction(
        a, QStringLiteral("bx_login_ensure(login text, is_admin boolean) RETURNS void"),
        QStringLiteral(
            "DECLARE\n"
            "  r text := %3login, false);\n"
            "BEGIN\n"
            "  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = r) THEN\n"
            "    EXECUTE format('CREATE ROLE %I LOGIN', r);\n"
            "  ELSIF NOT pg_has_role(r, %2, 'MEMBER') AND EXISTS (SELECT 1 FROM pg_auth_members m\n"
            "        JOIN pg_roles g ON g.oid = m.member WHERE g.rolname = r) THEN\n"
            "    RAISE EXCEPTION 'The login % belongs to other roles', login\n"
            "      USING ERRCODE = '42501';\n"
            "  END IF;\n"
            "  EXECUTE format('ALTER ROLE %I NOCREATEROLE NOCREATEDB', r);\n"
            "  EXECUTE format('GRANT %I TO %I', %2, r);\n"
            "  IF is_admin THEN\n"
            "    EXECUTE format('GRANT %I TO %I', %1, r);\n"
            "  ELSIF pg_has_role(r, %1, 'MEMBER') THEN\n"
            "    EXECUTE format('REVOKE %I FROM %I', %1, r);\n"
            "  END IF;\n"
            "END")
            .arg(owner, users, checked),
        true);

    createFunction(a, QStringLiteral("bx_login_password(login text, secret text) RETURNS void"),
                   QStringLiteral("BEGIN\n"
                                  "  EXECUTE format('ALTER ROLE %I PASSWORD %L', "
                                  "%1login, true), secret);\n"
                                  "END")
                       .arg(checked),
                   true);

    createFunction(a, QStringLiteral("bx_login_rename(login text, new_login text) RETURNS void"),
                   QStringLiteral("DECLARE\n"
                                  "  r text := %1login, true);\n"
                                  "  n text := %1new_login, false);\n"
                                  "BEGIN\n"
                                  "  EXECUTE format('ALTER ROLE %I RENAME TO %I', r, n);\n"
                                  "END")
                       .arg(checked),
                   true);

    createFunction(a, QStringLiteral("bx_login_allow(login text, allowed boolean) RETURNS void"),
                   QStringLiteral("BEGIN\n"
                                  "  EXECUTE format('ALTER ROLE %I %s', "
                                  "%1login, true),\n"
                                  "    CASE WHEN allowed THEN 'LOGIN' ELSE 'NOLOGIN' END);\n"
                                  "END")
                       .arg(checked),
                   true);

    // A role the server refuses to drop (it owns objects, or is logged on) stays, without login.
    createFunction(a, QStringLiteral("bx_login_drop(login text) RETURNS void"),
                   QStringLiteral("DECLARE\n"
                                  "  r text := %1login, true);\n"
                                  "BEGIN\n"
                                  "  BEGIN\n"
                                  "    EXECUTE format('DROP ROLE %I', r);\n"
                                  "  EXCEPTION WHEN OTHERS THEN\n"
                                  "    EXECUTE format('ALTER ROLE %I NOLOGIN', r);\n"
                                  "  END;\n"
                                  "END")
                       .arg(checked),
                   true);

    for (const char* signature :
         {"bx_login_checked(text, boolean)", "bx_login_ensure(text, boolean)",
          "bx_login_password(text, text)", "bx_login_rename(text, text)",
          "bx_login_allow(text, boolean)", "bx_login_drop(text)"}) {
        const QString f = QString::fromLatin1(signature);
        a.run(QStringLiteral("ALTER FUNCTION %1 OWNER TO %2").arg(f, ident(r.roles)));
        a.run(QStringLiteral("REVOKE ALL ON FUNCTION %1 FROM PUBLIC").arg(f));
        if (!f.startsWith(QLatin1String("bx_login_checked")))
            a.run(QStringLiteral("GRANT EXECUTE ON FUNCTION %1 TO %2").arg(f, ident(r.owner)));
    }
}

void createGuards(StepActions& a, const Roles& r)
{
    createFunction(
        a, QStringLiteral("bx_lu_user_guard() RETURNS trigger"),
        QStringLiteral(
            "DECLARE\n"
            "  me text := lower(current_user::text);\n"
            "  known boolean;\n"
            "BEGIN\n"
            "  IF pg_has_role(current_user, %1, 'MEMBER') THEN\n"
            "    IF TG_OP = 'DELETE' THEN RETURN OLD; END IF;\n"
            "    RETURN NEW;\n"
            "  END IF;\n"
            "  IF TG_OP <> 'UPDATE' THEN\n"
            "    RAISE EXCEPTION 'Only an administrator may add or delete users'\n"
            "      USING ERRCODE = '42501';\n"
            "  END IF;\n"
            "  IF (to_jsonb(NEW) - 'user_password') IS DISTINCT FROM\n"
            "     (to_jsonb(OLD) - 'user_password') THEN\n"
            "    RAISE EXCEPTION 'Only an administrator may change a user''s details or rights'\n"
            "      USING ERRCODE = '42501';\n"
            "  END IF;\n"
            "  IF NEW.user_password IS DISTINCT FROM OLD.user_password AND me NOT IN (\n"
            "      lower(current_database() || '_' || trim(OLD.user_id::text)),\n"
            "      lower(trim(OLD.user_id::text))) THEN\n"
            "    EXECUTE format('SELECT EXISTS (SELECT 1 FROM %I.%I WHERE $1 IN ('\n"
            "      'lower(current_database() || ''_'' || trim(user_id::text)), '\n"
            "      'lower(trim(user_id::text))))', TG_TABLE_SCHEMA, TG_TABLE_NAME)\n"
            "      INTO known USING me;\n"
            "    IF known THEN\n"
            "      RAISE EXCEPTION 'Only an administrator may change another user''s password'\n"
            "        USING ERRCODE = '42501';\n"
            "    END IF;\n"
            "  END IF;\n"
            "  RETURN NEW;\n"
            "END")
            .arg(literal(r.owner)));
    a.run(QStringLiteral("ALTER FUNCTION bx_lu_user_guard() OWNER TO ") + ident(r.owner));
    a.run(QStringLiteral("DROP TRIGGER IF EXISTS LU_USER_Guard ON LU_USER"));
    a.run(QStringLiteral("CREATE TRIGGER LU_USER_Guard BEFORE INSERT OR UPDATE OR DELETE ON "
                         "LU_USER FOR EACH ROW EXECUTE FUNCTION bx_lu_user_guard()"));

    createFunction(
        a, QStringLiteral("bx_attach_share() RETURNS trigger"),
        QStringLiteral(
            "BEGIN\n"
            "  IF NEW.ole_data IS NOT NULL AND EXISTS (SELECT 1 FROM pg_largeobject_metadata m\n"
            "      WHERE m.oid = NEW.ole_data AND m.lomowner <> (SELECT oid FROM pg_roles\n"
            "      WHERE rolname = %1)) THEN\n"
            "    EXECUTE format('ALTER LARGE OBJECT %s OWNER TO %I', NEW.ole_data, %1);\n"
            "  END IF;\n"
            "  RETURN NEW;\n"
            "END")
            .arg(literal(r.users)));
    a.run(QStringLiteral("ALTER FUNCTION bx_attach_share() OWNER TO ") + ident(r.owner));
    a.run(QStringLiteral("DROP TRIGGER IF EXISTS ATTACH_Share ON ATTACH"));
    a.run(QStringLiteral("CREATE TRIGGER ATTACH_Share BEFORE INSERT OR UPDATE OF OLE_Data ON "
                         "ATTACH FOR EACH ROW EXECUTE FUNCTION bx_attach_share()"));
}

// Administrators' logins join the owner role instead of holding CREATEROLE; nobody else keeps
// CREATEROLE or the owner role.
void convertLogins(StepActions& a, const Roles& r)
{
    const RecordSet logins = a.query(
        QStringLiteral(
            "SELECT g.rolname, g.rolcreaterole, pg_has_role(g.rolname, ?, 'MEMBER'), "
            "EXISTS (SELECT 1 FROM LU_USER u WHERE COALESCE(u.Ext12, 0) <> 0 AND g.rolname IN "
            "(lower(current_database() || '_' || trim(u.USER_ID::text)), "
            "lower(trim(u.USER_ID::text)))) OR g.rolname = ? "
            "FROM pg_roles g JOIN pg_auth_members m ON m.member = g.oid "
            "WHERE m.roleid = (SELECT oid FROM pg_roles WHERE rolname = ?) AND NOT g.rolsuper "
            "AND NOT (g.rolname = ANY (string_to_array(?, ',')))"),
        {r.owner, r.prefix + QStringLiteral("_admin"), r.users,
         programRoles(r).join(QLatin1Char(','))});
    for (const QVariantList& row : logins.rows()) {
        const QString login = ident(row.at(0).toString());
        if (row.at(1).toBool())
            a.run(QStringLiteral("ALTER ROLE ") + login + QStringLiteral(" NOCREATEROLE"));
        const bool member = row.at(2).toBool();
        const bool administrator = row.at(3).toBool();
        if (administrator && !member)
            a.run(QStringLiteral("GRANT %1 TO %2").arg(ident(r.owner), login));
        else if (!administrator && member)
            a.run(QStringLiteral("REVOKE %1 FROM %2").arg(ident(r.owner), login));
    }
}

void shareLargeObjects(StepActions& a, const Roles& r)
{
    const RecordSet objects = a.query(
        QStringLiteral("SELECT DISTINCT m.oid FROM ATTACH t JOIN pg_largeobject_metadata m ON "
                       "m.oid = t.OLE_Data WHERE m.lomowner <> (SELECT oid FROM pg_roles WHERE "
                       "rolname = ?)"),
        {r.users});
    for (const QVariantList& row : objects.rows())
        a.run(QStringLiteral("ALTER LARGE OBJECT %1 OWNER TO %2")
                  .arg(row.first().toString(), ident(r.users)));
    a.run(QStringLiteral("ALTER DATABASE ") +
          ident(single(a, QStringLiteral("SELECT current_database()"))) +
          QStringLiteral(" RESET lo_compat_privileges"));
}

void step78(StepActions& a)
{
    if (!a.onServer())
        return;
    requireServerAdministrator(a);
    const Roles r = rolesOf(a);
    ensureRole(a, r.owner, QStringLiteral("NOLOGIN INHERIT NOCREATEROLE"), false);
    ensureRole(a, r.users, QStringLiteral("NOLOGIN INHERIT NOCREATEROLE"), false);
    ensureRole(a, r.roles, QStringLiteral("NOLOGIN NOINHERIT CREATEROLE"), true);
    // Made logins with the caller's rights; bx_login_ensure replaces it.
    a.run(QStringLiteral("DROP FUNCTION IF EXISTS bx_create_login(text, text, boolean)"));
    handObjectsToOwner(a, r);
    grantRights(a, r);
    createLoginFunctions(a, r);
    createGuards(a, r);
    convertLogins(a, r);
    shareLargeObjects(a, r);
}

} // namespace

QList<StepDefinition> upgradeSteps78()
{
    return {{78, QStringLiteral("Roles: the owner of the schema, the users' rights, logins"),
             ErrorPolicy::Strict, step78, /*asServerAdministrator=*/true}};
}

} // namespace bx
