#include "core/db/RecordSet.h"
#include "dbadmin/ServerRoles.h"
#include "dbadmin/StepActions.h"
#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

using namespace server_sql;

/** The owner of the schema's tables, quoted; "" when there is none yet. */
QString tableOwner(StepActions& a)
{
    const RecordSet owner =
        a.query(QStringLiteral("SELECT quote_ident(tableowner) FROM pg_tables WHERE schemaname = "
                               "current_schema() AND tablename = 'scr'"));
    return owner.isEmpty() ? QString() : owner.rows().first().first().toString();
}

// Attachments get a version number that the database raises on every update, as tasks have since
// step 79: a client that saves an opened custom form writes only while the attachment still holds
// the version it read, so that two clients filling in one copy no longer overwrite each other.
// The version lives in a table of its own, ATTACH_VERSION (no row: version 0): the embedded engine
// rewrites a whole record on any update of it, stored value included, so a version kept in the
// ATTACH row would cost a change of title on a large file the writing of that file once more.
//
// CUSTOM_TAB names the plug-in of each workshop's custom tab (one row a workshop, its ProgID);
// workshops without a row take the plug-in of the nearest workshop above. It is configuration,
// written by administrators' logins only. So are the definitions of custom forms, the CONTROL
// rows with ATTACH_NUMBER 0; the values of filled-in copies stay everybody's.
void step85(StepActions& a)
{
    a.run(a.ddl(QStringLiteral("CREATE TABLE ATTACH_VERSION (Attach_Number {int} NOT NULL "
                               "PRIMARY KEY, Attach_Row_Version {int} NOT NULL DEFAULT 0)")));
    a.run(a.ddl(QStringLiteral("CREATE TABLE CUSTOM_TAB (group_id {int} NOT NULL PRIMARY KEY, "
                               "ProgID {text})")));
    const QString raise = QStringLiteral(
        "INSERT INTO %1ATTACH_VERSION (Attach_Number, Attach_Row_Version) VALUES (%2, 1) ON "
        "CONFLICT (Attach_Number) DO UPDATE SET Attach_Row_Version = "
        "ATTACH_VERSION.Attach_Row_Version + 1");
    const QString drop = QStringLiteral("DELETE FROM %1ATTACH_VERSION WHERE Attach_Number = %2");
    if (!a.onServer()) {
        a.run(QStringLiteral("DROP TRIGGER IF EXISTS ATTACH_Version"));
        a.run(QStringLiteral("DROP TRIGGER IF EXISTS ATTACH_Unversion"));
        a.run(QStringLiteral("CREATE TRIGGER ATTACH_Version AFTER UPDATE ON ATTACH FOR EACH ROW "
                             "BEGIN ") +
              raise.arg(QString(), QStringLiteral("NEW.Attach_Number")) + QStringLiteral("; END"));
        a.run(QStringLiteral("CREATE TRIGGER ATTACH_Unversion AFTER DELETE ON ATTACH FOR EACH ROW "
                             "BEGIN ") +
              drop.arg(QString(), QStringLiteral("OLD.Attach_Number")) + QStringLiteral("; END"));
        return;
    }
    // The function runs with the catalogue as its search path: the table is named with the
    // schema of the row's table.
    createFunction(
        a, QStringLiteral("bx_attach_version() RETURNS trigger"),
        QStringLiteral("BEGIN\n"
                       "  IF TG_OP = 'DELETE' THEN\n"
                       "    EXECUTE format('%1', TG_TABLE_SCHEMA) USING OLD.attach_number;\n"
                       "    RETURN OLD;\n"
                       "  END IF;\n"
                       "  EXECUTE format('%2', TG_TABLE_SCHEMA) USING NEW.attach_number;\n"
                       "  RETURN NEW;\n"
                       "END")
            .arg(drop.arg(QStringLiteral("%I."), QStringLiteral("$1")),
                 raise.arg(QStringLiteral("%I."), QStringLiteral("$1"))));
    a.run(QStringLiteral("DROP TRIGGER IF EXISTS ATTACH_Version ON ATTACH"));
    a.run(QStringLiteral("CREATE TRIGGER ATTACH_Version AFTER UPDATE OR DELETE ON ATTACH FOR EACH "
                         "ROW EXECUTE FUNCTION bx_attach_version()"));
    // Function and tables belong to the owner of the schema, not to the login that runs the step.
    if (const QString owner = tableOwner(a); !owner.isEmpty()) {
        a.run(QStringLiteral("ALTER FUNCTION bx_attach_version() OWNER TO ") + owner);
        for (const char* table : {"ATTACH_VERSION", "CUSTOM_TAB"})
            a.run(QStringLiteral("ALTER TABLE %1 OWNER TO %2").arg(QLatin1String(table), owner));
    }
    const ServerRoles r = rolesOf(a);
    for (const char* table : {"ATTACH_VERSION", "CONTROL", "CUSTOM_TAB"})
        applyTableClass(a, r, QLatin1String(table));
}

} // namespace

QList<StepDefinition> upgradeSteps85()
{
    return {{85,
             QStringLiteral("Row version of attachments; custom tabs of workshops; form "
                            "definitions written by administrators"),
             ErrorPolicy::Strict, step85}};
}

} // namespace bx
