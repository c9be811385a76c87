#include "core/db/Database.h"
#include "core/schema/TableClasses.h"
#include "dbadmin/ServerRoles.h"
#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

using namespace server_sql;

// Rights enforced by the server, table by table (see core/schema/TableClasses.h):
//  - <db>#logins marks every login the program made for a user, <db>#shared the logins every user
//    may share. A login is mapped to its user by bx_login_user() from session_user, never from
//    current_user (which SET ROLE changes); a login the program did not mark gets nothing of the
//    personal tables and may change no password.
//  - <db>#lifecycles and <db>#analysts hold the rights to write lifecycles and analyses; the login
//    functions grant and revoke them with the user's rights. Administrators own the tables.
//  - The login functions manage only the logins they made (members of <db>#logins) and never
//    adopt a role that exists already. Each checks its login itself: a helper they called by name
//    could be replaced by whoever may create functions in the schema.
//  - <db>_roles holds ADMIN OPTION on every role its functions grant, and on every login they
//    manage, as newer servers want of a role that grants or alters roles.
// Classes: the step changes no table's class; it applies the catalogue to every table. The view
// MAIL_SENT_COPIES (shared data, read only) lists who received the messages a user sent.

QString roleList(const QStringList& roles)
{
    QStringList quoted;
    for (const QString& role : roles)
        quoted << literal(role);
    return QStringLiteral("ARRAY[") + quoted.join(QStringLiteral(", ")) + QStringLiteral("]");
}

/** PL/pgSQL that refuses a login name the functions must not touch. */
QString loginCheck(const QString& variable, const ServerRoles& r, const MarkerRoles& m,
                   bool existing)
{
    const QStringList reserved = programRoles(r);
    QString sql =
        QStringLiteral("  IF %1 IS NULL OR length(%1) <= length(p) OR left(%1, length(p)) <> p\n"
                       "     OR %1 = ANY (%2) THEN\n"
                       "    RAISE EXCEPTION 'The login % does not belong to this database', %1\n"
                       "      USING ERRCODE = '42501';\n"
                       "  END IF;\n"
                       "  IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = %1\n"
                       "             AND (rolsuper OR rolreplication OR rolbypassrls)) THEN\n"
                       "    RAISE EXCEPTION 'The login % is not managed here', %1\n"
                       "      USING ERRCODE = '42501';\n"
                       "  END IF;\n")
            .arg(variable, roleList(reserved));
    if (existing)
        sql += QStringLiteral("  IF NOT EXISTS (SELECT 1 FROM pg_auth_members a\n"
                              "      JOIN pg_roles g ON g.oid = a.roleid\n"
                              "      JOIN pg_roles u ON u.oid = a.member\n"
                              "      WHERE g.rolname = %2 AND u.rolname = %1) THEN\n"
                              "    RAISE EXCEPTION 'The login % was not made for this database', "
                              "%1\n"
                              "      USING ERRCODE = '42501';\n"
                              "  END IF;\n")
                   .arg(variable, literal(m.logins));
    return sql;
}

const QString kPrefix = QStringLiteral("  p text := lower(current_database()) || '_';\n");

void createLoginFunctions(StepActions& a, const ServerRoles& r, const MarkerRoles& m)
{
    const QString owner = literal(r.owner);
    const QString users = literal(r.users);
    const QString logins = literal(m.logins);

    createFunction(
        a, QStringLiteral("bx_login_ensure(login text, is_admin boolean) RETURNS void"),
        QStringLiteral("DECLARE\n") + kPrefix +
            QStringLiteral("  r text := lower(trim(login));\nBEGIN\n") +
            loginCheck(QStringLiteral("r"), r, m, false) +
            QStringLiteral(
                "  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = r) THEN\n"
                "    EXECUTE format('CREATE ROLE %I LOGIN', r);\n"
                "    EXECUTE format('GRANT %I TO %I', %3, r);\n"
                "  ELSIF NOT EXISTS (SELECT 1 FROM pg_auth_members a\n"
                "      JOIN pg_roles g ON g.oid = a.roleid JOIN pg_roles u ON u.oid = a.member\n"
                "      WHERE g.rolname = %3 AND u.rolname = r) THEN\n"
                "    RAISE EXCEPTION 'The login % exists already and was not made for this "
                "database', login\n"
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
                .arg(owner, users, logins),
        true);

    QStringList suffixes;
    for (const WriterRight right : grantedRights())
        suffixes << writerRoleSuffix(right);
    createFunction(
        a, QStringLiteral("bx_login_rights(login text, rights text[]) RETURNS void"),
        QStringLiteral("DECLARE\n") + kPrefix +
            QStringLiteral("  r text := lower(trim(login));\n"
                           "  names text[] := %1;\n"
                           "  granted text[] := %2;\n"
                           "BEGIN\n")
                .arg(roleList(suffixes), roleList(m.rights)) +
            loginCheck(QStringLiteral("r"), r, m, true) +
            QStringLiteral(
                "  IF EXISTS (SELECT 1 FROM unnest(rights) x WHERE x IS NULL OR NOT (x = ANY "
                "(names))) THEN\n"
                "    RAISE EXCEPTION 'Unknown right in %', rights USING ERRCODE = '22023';\n"
                "  END IF;\n"
                "  FOR i IN 1 .. array_length(names, 1) LOOP\n"
                "    IF names[i] = ANY (rights) THEN\n"
                "      EXECUTE format('GRANT %I TO %I', granted[i], r);\n"
                "    ELSIF pg_has_role(r, granted[i], 'MEMBER') THEN\n"
                "      EXECUTE format('REVOKE %I FROM %I', granted[i], r);\n"
                "    END IF;\n"
                "  END LOOP;\n"
                "END"),
        true);
}

void createLoginChanges(StepActions& a, const ServerRoles& r, const MarkerRoles& m)
{
    const QString head = QStringLiteral("DECLARE\n") + kPrefix;
    // A function on one login this database made, `r`, checked before `body` runs.
    auto onOwnLogin = [&](const QString& signature, const QString& body) {
        createFunction(a, signature,
                       head + QStringLiteral("  r text := lower(trim(login));\nBEGIN\n") +
                           loginCheck(QStringLiteral("r"), r, m, true) + body +
                           QStringLiteral("END"),
                       true);
    };
    onOwnLogin(QStringLiteral("bx_login_password(login text, secret text) RETURNS void"),
               QStringLiteral("  EXECUTE format('ALTER ROLE %I PASSWORD %L', r, secret);\n"));
    createFunction(a, QStringLiteral("bx_login_rename(login text, new_login text) RETURNS void"),
                   head +
                       QStringLiteral("  r text := lower(trim(login));\n"
                                      "  n text := lower(trim(new_login));\nBEGIN\n") +
                       loginCheck(QStringLiteral("r"), r, m, true) +
                       loginCheck(QStringLiteral("n"), r, m, false) +
                       QStringLiteral("  EXECUTE format('ALTER ROLE %I RENAME TO %I', r, n);\nEND"),
                   true);
    onOwnLogin(QStringLiteral("bx_login_allow(login text, allowed boolean) RETURNS void"),
               QStringLiteral("  EXECUTE format('ALTER ROLE %I %s', r,\n"
                              "    CASE WHEN allowed THEN 'LOGIN' ELSE 'NOLOGIN' END);\n"));
    // A role the server refuses to drop (it owns objects, or is logged on) stays, without login.
    onOwnLogin(QStringLiteral("bx_login_drop(login text) RETURNS void"),
               QStringLiteral("  BEGIN\n"
                              "    EXECUTE format('DROP ROLE %I', r);\n"
                              "  EXCEPTION WHEN OTHERS THEN\n"
                              "    EXECUTE format('ALTER ROLE %I NOLOGIN', r);\n"
                              "  END;\n"));

    // The helper the older functions called by name goes.
    a.run(QStringLiteral("DROP FUNCTION IF EXISTS bx_login_checked(text, boolean)"));
    for (const char* signature : {"bx_login_ensure(text, boolean)", "bx_login_rights(text, text[])",
                                  "bx_login_password(text, text)", "bx_login_rename(text, text)",
                                  "bx_login_allow(text, boolean)", "bx_login_drop(text)"}) {
        const QString f = QString::fromLatin1(signature);
        a.run(QStringLiteral("ALTER FUNCTION %1 OWNER TO %2").arg(f, ident(r.roles)));
        a.run(QStringLiteral("REVOKE ALL ON FUNCTION %1 FROM PUBLIC").arg(f));
        a.run(QStringLiteral("GRANT EXECUTE ON FUNCTION %1 TO %2").arg(f, ident(r.owner)));
    }
}

/** The membership test of one login in one role, given directly (not through another role). */
QString directMember(const QString& login, const QString& role)
{
    return QStringLiteral("EXISTS (SELECT 1 FROM pg_catalog.pg_auth_members a JOIN "
                          "pg_catalog.pg_roles g ON g.oid = a.roleid JOIN pg_catalog.pg_roles s "
                          "ON s.oid = a.member WHERE g.rolname = %1 AND s.rolname = %2)")
        .arg(literal(role), login);
}

// Who a login is: run by the owner role (they read LU_USER), by every login. In PL/pgSQL, whose
// plans a session keeps: the guards ask for every row they check.
void createIdentityFunctions(StepActions& a, const ServerRoles& r, const MarkerRoles& m)
{
    const QString schema = schemaIdent(a);
    const QString head = QStringLiteral("CREATE OR REPLACE FUNCTION %1 LANGUAGE plpgsql STABLE "
                                        "SECURITY DEFINER SET search_path = pg_catalog, pg_temp "
                                        "AS ");
    const QString me = QStringLiteral("session_user::text");
    a.run(head.arg(QStringLiteral("bx_login_user() RETURNS %1.lu_user.user_id%TYPE").arg(schema)) +
          literal(QStringLiteral(
                      "DECLARE\n"
                      "  found %1.lu_user.user_id%TYPE;\n"
                      "BEGIN\n"
                      "  IF NOT %2 THEN\n"
                      "    RETURN NULL;\n"
                      "  END IF;\n"
                      "  SELECT u.user_id INTO found FROM %1.lu_user u\n"
                      "    WHERE lower(session_user::text) IN (lower(current_database() || '_' ||\n"
                      "      trim(u.user_id::text)), lower(trim(u.user_id::text)))\n"
                      "    ORDER BY lower(session_user::text) = lower(trim(u.user_id::text))\n"
                      "    LIMIT 1;\n"
                      "  RETURN found;\n"
                      "END")
                      .arg(schema, directMember(me, m.logins))));
    a.run(head.arg(QStringLiteral("bx_login_shared() RETURNS boolean")) +
          literal(QStringLiteral("BEGIN\n  RETURN %1;\nEND").arg(directMember(me, m.shared))));
    for (const char* f : {"bx_login_user()", "bx_login_shared()"}) {
        a.run(QStringLiteral("REVOKE ALL ON FUNCTION %1 FROM PUBLIC").arg(QLatin1String(f)));
        a.run(QStringLiteral("GRANT EXECUTE ON FUNCTION %1 TO %2")
                  .arg(QLatin1String(f), ident(r.users)));
    }
}

void createGuards(StepActions& a, const ServerRoles& r)
{
    const QString schema = schemaIdent(a);
    const QString owner = literal(r.owner);
    // An administrator may change anything; a user only his own password; a shared login, which
    // cannot be told apart from any of its users, any password; any other login nothing.
    createFunction(
        a, QStringLiteral("bx_lu_user_guard() RETURNS trigger"),
        QStringLiteral(
            "DECLARE\n"
            "  me text;\n"
            "BEGIN\n"
            "  IF pg_has_role(session_user, %1, 'MEMBER') THEN\n"
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
            "  IF NEW.user_password IS DISTINCT FROM OLD.user_password THEN\n"
            "    me := %2.bx_login_user();\n"
            "    IF NOT (%2.bx_login_shared() OR (me IS NOT NULL AND\n"
            "            lower(trim(me)) = lower(trim(OLD.user_id::text)))) THEN\n"
            "      RAISE EXCEPTION 'Only an administrator may change another user''s password'\n"
            "        USING ERRCODE = '42501';\n"
            "    END IF;\n"
            "  END IF;\n"
            "  RETURN NEW;\n"
            "END")
            .arg(owner, schema));

    // A message for someone else carries its sender's own user ID.
    createFunction(a, QStringLiteral("bx_mail_guard() RETURNS trigger"),
                   QStringLiteral("DECLARE\n"
                                  "  me text := %1.bx_login_user();\n"
                                  "BEGIN\n"
                                  "  IF me IS NOT NULL AND lower(trim(COALESCE(NEW.owner_user_id::"
                                  "text, ''))) <> lower(trim(me)) THEN\n"
                                  "    NEW.sender := me;\n"
                                  "  END IF;\n"
                                  "  RETURN NEW;\n"
                                  "END")
                       .arg(schema));

    // A row is queued by the login's own user, whatever the client wrote; another user's row is
    // only delivered: nothing but the columns of its delivery may change. Administrators, who own
    // the table, are trusted with it.
    createFunction(
        a, QStringLiteral("bx_outbox_guard() RETURNS trigger"),
        QStringLiteral(
            "DECLARE\n"
            "  me text := %1.bx_login_user();\n"
            "  delivery text[] := ARRAY['state', 'attempts', 'next_attempt', 'last_error',\n"
            "    'claim_token', 'claim_expires', 'sent_date'];\n"
            "BEGIN\n"
            "  -- Administrators move rows with the users they rename.\n"
            "  IF me IS NULL OR pg_has_role(session_user, %2, 'MEMBER') THEN RETURN NEW; END IF;\n"
            "  IF TG_OP = 'INSERT' THEN\n"
            "    NEW.queued_by := me;\n"
            "  ELSIF lower(trim(COALESCE(OLD.queued_by::text, ''))) <> lower(trim(me)) AND\n"
            "      (to_jsonb(NEW) - delivery) IS DISTINCT FROM (to_jsonb(OLD) - delivery) THEN\n"
            "    RAISE EXCEPTION 'Only the user who queued an e-mail may change it'\n"
            "      USING ERRCODE = '42501';\n"
            "  END IF;\n"
            "  RETURN NEW;\n"
            "END")
            .arg(schema, owner));

    a.run(QStringLiteral("DROP TRIGGER IF EXISTS LU_USER_Guard ON LU_USER"));
    a.run(QStringLiteral("CREATE TRIGGER LU_USER_Guard BEFORE INSERT OR UPDATE OR DELETE ON "
                         "LU_USER FOR EACH ROW EXECUTE FUNCTION bx_lu_user_guard()"));
    a.run(QStringLiteral("DROP TRIGGER IF EXISTS MAIL_Guard ON MAIL"));
    a.run(QStringLiteral("CREATE TRIGGER MAIL_Guard BEFORE INSERT ON MAIL FOR EACH ROW EXECUTE "
                         "FUNCTION bx_mail_guard()"));
    a.run(QStringLiteral("DROP TRIGGER IF EXISTS MAIL_OUTBOX_Guard ON MAIL_OUTBOX"));
    a.run(QStringLiteral("CREATE TRIGGER MAIL_OUTBOX_Guard BEFORE INSERT OR UPDATE ON MAIL_OUTBOX "
                         "FOR EACH ROW EXECUTE FUNCTION bx_outbox_guard()"));
}

// The roles, their ADMIN OPTION for the login functions, and the marks of the logins there are:
// a user's own login (named after the database and the user, or the bare user ID of older
// databases) and the rights it holds; any other login of the users role is a shared one.
void markLogins(StepActions& a, const ServerRoles& r, const MarkerRoles& m)
{
    for (const QString& role : QStringList{m.logins, m.shared} + m.rights)
        ensureRole(a, role, QStringLiteral("NOLOGIN INHERIT NOCREATEROLE"), false);
    for (const QString& role : QStringList{r.users, r.owner, m.logins, m.shared} + m.rights)
        a.run(QStringLiteral("GRANT %1 TO %2 WITH ADMIN OPTION").arg(ident(role), ident(r.roles)));

    const QStringList reserved = programRoles(r);
    // One column per right, in the order of m.rights.
    QString held;
    for (const WriterRight right : grantedRights())
        held += QStringLiteral(", COALESCE(u.%1, 0) <> 0").arg(writerRightColumn(right));
    const RecordSet logins = a.query(
        QStringLiteral(
            "SELECT g.rolname, u.user_id IS NOT NULL%1 FROM pg_roles g JOIN pg_auth_members a "
            "ON a.member = g.oid AND a.roleid = (SELECT oid FROM pg_roles WHERE rolname = ?) "
            "LEFT JOIN LU_USER u ON g.rolname IN (lower(current_database() || '_' || "
            "trim(u.USER_ID::text)), lower(trim(u.USER_ID::text))) WHERE NOT g.rolsuper AND NOT "
            "(g.rolname = ANY (string_to_array(?, ',')))")
            .arg(held),
        {r.users, reserved.join(QLatin1Char(','))});
    for (const QVariantList& row : logins.rows()) {
        const QString login = ident(row.at(0).toString());
        if (!row.at(1).toBool()) {
            a.run(QStringLiteral("GRANT %1 TO %2").arg(ident(m.shared), login));
            continue;
        }
        a.run(QStringLiteral("GRANT %1 TO %2").arg(ident(m.logins), login));
        a.run(QStringLiteral("GRANT %1 TO %2 WITH ADMIN OPTION").arg(login, ident(r.roles)));
        for (int i = 0; i < m.rights.size(); ++i) {
            if (row.at(2 + i).toBool())
                a.run(QStringLiteral("GRANT %1 TO %2").arg(ident(m.rights.at(i)), login));
        }
    }
}

void createSentCopies(StepActions& a, const ServerRoles* r)
{
    QString sql = QStringLiteral(
        "CREATE VIEW MAIL_SENT_COPIES AS SELECT c.Mail_Number, c.SourceID, c.Owner_User_ID, "
        "s.Owner_User_ID AS Sender_Owner, s.group_id, s.Sent FROM MAIL c JOIN MAIL s ON "
        "s.Mail_Number = c.SourceID");
    if (r) {
        // The view reads as its owner; it shows each login the copies of its own messages.
        sql.replace(QStringLiteral("CREATE VIEW MAIL_SENT_COPIES AS"),
                    QStringLiteral("CREATE VIEW MAIL_SENT_COPIES WITH (security_barrier) AS"));
        sql += QStringLiteral(" WHERE s.Owner_User_ID = (SELECT bx_login_user()) OR (SELECT "
                              "bx_login_shared()) OR pg_has_role(session_user, %1, 'MEMBER')")
                   .arg(literal(r->owner));
    }
    a.run(QStringLiteral("DROP VIEW IF EXISTS MAIL_SENT_COPIES"));
    a.run(sql);
    if (r) {
        a.run(QStringLiteral("REVOKE ALL ON MAIL_SENT_COPIES FROM PUBLIC, ") + ident(r->users));
        a.run(QStringLiteral("GRANT SELECT ON MAIL_SENT_COPIES TO ") + ident(r->users));
    }
}

} // namespace

void server_sql::renewLogins(StepActions& a, const ServerRoles& r)
{
    const MarkerRoles m = markerRolesOf(r);
    asServerAdministrator(a, [&] {
        markLogins(a, r, m);
        createLoginFunctions(a, r, m);
        createLoginChanges(a, r, m);
    });
}

namespace {

void step82(StepActions& a)
{
    if (!a.onServer()) {
        createSentCopies(a, nullptr);
        return;
    }
    requireServerAdministrator(a);
    const ServerRoles r = rolesOf(a);
    const MarkerRoles m = markerRolesOf(r);
    renewLogins(a, r);
    createIdentityFunctions(a, r, m);
    createGuards(a, r);
    createSentCopies(a, &r);
    const RecordSet tables = a.query(QStringLiteral(
        "SELECT tablename FROM pg_tables WHERE schemaname = current_schema() ORDER BY 1"));
    for (const QVariantList& row : tables.rows())
        applyTableClass(a, r, row.first().toString());
}

} // namespace

QList<StepDefinition> upgradeSteps82()
{
    return {{82, QStringLiteral("Rights of each table enforced by the server"), ErrorPolicy::Strict,
             step82}};
}

} // namespace bx
