#include "core/db/RecordSet.h"
#include "dbadmin/StepActions.h"
#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

// Every task row gets a version number that the database raises on each update, whoever makes
// it: this program, an older client, a rule script or a plain SQL client. A writer that read the
// row at version n writes only while the row still holds n, so two clients editing one task no
// longer overwrite each other's changes.
void step79(StepActions& a)
{
    a.run(a.ddl(
        QStringLiteral("ALTER TABLE SCR ADD COLUMN SCR_Row_Version {int} NOT NULL DEFAULT 0")));
    if (a.onServer()) {
        // Set in a BEFORE trigger, so that a writer cannot choose the version it leaves.
        a.run(QStringLiteral("DROP TRIGGER IF EXISTS SCR_VTrig ON SCR"));
        a.run(QStringLiteral("CREATE OR REPLACE FUNCTION SCR_VTrig() RETURNS trigger LANGUAGE "
                             "plpgsql AS $version$\nBEGIN\nNEW.SCR_Row_Version := "
                             "OLD.SCR_Row_Version + 1;\nRETURN NEW;\nEND\n$version$"));
        a.run(QStringLiteral("CREATE TRIGGER SCR_VTrig BEFORE UPDATE ON SCR FOR EACH ROW "
                             "EXECUTE FUNCTION SCR_VTrig()"));
        // The function belongs to the owner of the tables, like every object of the schema, not
        // to the login that happens to run the upgrade.
        const RecordSet owner = a.query(
            QStringLiteral("SELECT quote_ident(tableowner) FROM pg_tables WHERE schemaname = "
                           "current_schema() AND tablename = 'scr'"));
        if (!owner.isEmpty()) {
            a.run(QStringLiteral("ALTER FUNCTION SCR_VTrig() OWNER TO ") +
                  owner.rows().first().first().toString());
        }
    } else {
        // The embedded engine cannot change NEW in a trigger: the row is updated once more
        // afterwards. The trigger names no columns, so that every update raises the version; the
        // condition ends the chain even on a connection that lets triggers fire themselves.
        a.run(QStringLiteral("DROP TRIGGER IF EXISTS SCR_VTrig"));
        a.run(QStringLiteral("CREATE TRIGGER SCR_VTrig AFTER UPDATE ON SCR FOR EACH ROW "
                             "WHEN NEW.SCR_Row_Version IS OLD.SCR_Row_Version BEGIN "
                             "UPDATE SCR SET SCR_Row_Version = OLD.SCR_Row_Version + 1 "
                             "WHERE SCR_Counter = NEW.SCR_Counter; END"));
    }
}

} // namespace

QList<StepDefinition> upgradeSteps79()
{
    return {{79, QStringLiteral("Row version of tasks"), ErrorPolicy::Strict, step79}};
}

} // namespace bx
