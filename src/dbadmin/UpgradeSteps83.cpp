#include "core/StoredPassword.h"
#include "core/db/Database.h"
#include "dbadmin/ServerRoles.h"
#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

using namespace server_sql;

// Stored passwords (LU_USER, a configuration table: its users only read it, administrators
// write it; a user changes only his own password):
//  - every stored password that is not yet a hash is hashed, a scrambled one unscrambled first;
//    Null and empty stay as they are, a row without password, which an empty one matches;
//  - on the server no user's login reads User_Password any more. A log-on asks three functions
//    that run as the tables' owner and answer no more than yes or no, apart from the hash's
//    setting (its parameters and salt, which the client hashes the typed password with):
//      bx_password_setting(user)                 the stored hash up to its last '$', or Null
//      bx_password_check(user, candidate)        whether the stored text is the candidate
//      bx_password_rehash(user, candidate, new)  stores new while the row holds the candidate
//    The typed password never leaves the client.

void hashStoredPasswords(StepActions& a)
{
    const RecordSet rows = a.query(QStringLiteral(
        "SELECT USER_ID, User_Password FROM LU_USER WHERE COALESCE(User_Password, '') <> ''"));
    int hashed = 0;
    for (const QVariantList& row : rows.rows()) {
        const QString stored = row.at(1).toString();
        if (StoredPassword::isHashed(stored))
            continue;
        // Straight to the database: the upgrade log records the values a statement binds, and
        // these are passwords.
        hashed += int(a.db().execute(
            QStringLiteral("UPDATE LU_USER SET User_Password = ? WHERE USER_ID = ? AND "
                           "User_Password = ?"),
            {StoredPassword::forStorage(StoredPassword::unscramble(stored)), row.at(0), stored}));
    }
    a.note(QStringLiteral("Stored passwords hashed: %1").arg(hashed));
}

void createPasswordFunctions(StepActions& a)
{
    const ServerRoles r = rolesOf(a);
    const QString table = schemaIdent(a) + QStringLiteral(".lu_user");
    const QString prefix = literal(kPasswordHashPrefix);
    // The comparison of hashes of the two texts takes no longer for a longer common beginning.
    const QString same = QStringLiteral("sha256(convert_to(COALESCE(u.user_password::text, ''), "
                                        "'UTF8')) = sha256(convert_to(COALESCE($2, ''), 'UTF8'))");

    createFunction(a, QStringLiteral("bx_password_setting(user_id text) RETURNS text"),
                   QStringLiteral("DECLARE\n"
                                  "  s text;\n"
                                  "BEGIN\n"
                                  "  SELECT u.user_password::text INTO s FROM %1 u\n"
                                  "    WHERE u.user_id::text = $1;\n"
                                  "  IF s IS NULL OR left(s, length(%2)) <> %2 THEN\n"
                                  "    RETURN NULL;\n"
                                  "  END IF;\n"
                                  "  RETURN left(s, length(s) - strpos(reverse(s), '$'));\n"
                                  "END")
                       .arg(table, prefix),
                   true);
    createFunction(
        a, QStringLiteral("bx_password_check(user_id text, candidate text) RETURNS boolean"),
        QStringLiteral("BEGIN\n"
                       "  RETURN EXISTS (SELECT 1 FROM %1 u WHERE u.user_id::text = $1\n"
                       "    AND %2);\n"
                       "END")
            .arg(table, same),
        true);
    createFunction(a,
                   QStringLiteral("bx_password_rehash(user_id text, candidate text, new_stored "
                                  "text) RETURNS boolean"),
                   QStringLiteral("BEGIN\n"
                                  "  IF left($2, length(%2)) IS DISTINCT FROM %2\n"
                                  "     OR left($3, length(%2)) IS DISTINCT FROM %2 THEN\n"
                                  "    RETURN false;\n"
                                  "  END IF;\n"
                                  "  UPDATE %1 u SET user_password = $3\n"
                                  "    WHERE u.user_id::text = $1 AND %3;\n"
                                  "  RETURN FOUND;\n"
                                  "END")
                       .arg(table, prefix, same),
                   true);

    for (const char* signature : {"bx_password_setting(text)", "bx_password_check(text, text)",
                                  "bx_password_rehash(text, text, text)"}) {
        const QString f = QString::fromLatin1(signature);
        a.run(QStringLiteral("ALTER FUNCTION %1 OWNER TO %2").arg(f, ident(r.owner)));
        a.run(QStringLiteral("REVOKE ALL ON FUNCTION %1 FROM PUBLIC").arg(f));
        a.run(QStringLiteral("GRANT EXECUTE ON FUNCTION %1 TO %2").arg(f, ident(r.users)));
    }
}

void step83(StepActions& a)
{
    hashStoredPasswords(a);
    if (!a.onServer())
        return;
    createPasswordFunctions(a);
    hidePasswordColumn(a);
}

} // namespace

QList<StepDefinition> upgradeSteps83()
{
    return {{83, QStringLiteral("Passwords: hashed, and read by nobody but the tables' owner"),
             ErrorPolicy::Strict, step83}};
}

} // namespace bx
