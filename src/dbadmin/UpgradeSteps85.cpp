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
//
// CUSTOM_TAB names the plug-in of each workshop's custom tab (one row a workshop, its ProgID);
// workshops without a row take the plug-in of the nearest workshop above. It is configuration,
// written by administrators' logins only. So are the definitions of custom forms, the CONTROL
// rows with ATTACH_NUMBER 0; the values of filled-in copies stay everybody's.
void step85(StepActions& a)
{
    a.addColumn(QStringLiteral("ATTACH"), QStringLiteral("Attach_Row_Version"), ColumnType::Integer,
                QStringLiteral("NOT NULL DEFAULT 0"));
    a.run(a.ddl(QStringLiteral("CREATE TABLE CUSTOM_TAB (group_id {int} NOT NULL PRIMARY KEY, "
                               "ProgID {text})")));
    if (!a.onServer()) {
        // As for tasks: the embedded engine cannot change NEW, so the row is updated once more.
        a.run(QStringLiteral("DROP TRIGGER IF EXISTS ATTACH_VTrig"));
        a.run(QStringLiteral("CREATE TRIGGER ATTACH_VTrig AFTER UPDATE ON ATTACH FOR EACH ROW "
                             "WHEN NEW.Attach_Row_Version IS OLD.Attach_Row_Version BEGIN "
                             "UPDATE ATTACH SET Attach_Row_Version = OLD.Attach_Row_Version + 1 "
                             "WHERE Attach_Number = NEW.Attach_Number; END"));
        return;
    }
    a.run(QStringLiteral("DROP TRIGGER IF EXISTS ATTACH_VTrig ON ATTACH"));
    a.run(QStringLiteral("CREATE OR REPLACE FUNCTION ATTACH_VTrig() RETURNS trigger LANGUAGE "
                         "plpgsql AS $version$\nBEGIN\nNEW.Attach_Row_Version := "
                         "OLD.Attach_Row_Version + 1;\nRETURN NEW;\nEND\n$version$"));
    a.run(QStringLiteral("CREATE TRIGGER ATTACH_VTrig BEFORE UPDATE ON ATTACH FOR EACH ROW "
                         "EXECUTE FUNCTION ATTACH_VTrig()"));
    // Function and table belong to the owner of the schema, not to the login that runs the step.
    if (const QString owner = tableOwner(a); !owner.isEmpty()) {
        a.run(QStringLiteral("ALTER FUNCTION ATTACH_VTrig() OWNER TO ") + owner);
        a.run(QStringLiteral("ALTER TABLE CUSTOM_TAB OWNER TO ") + owner);
    }
    const ServerRoles r = rolesOf(a);
    for (const char* table : {"CONTROL", "CUSTOM_TAB"})
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
