#include "dbadmin/ServerRoles.h"
#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

using namespace server_sql;

// Bookings of working time are personal (see core/schema/TableClasses.h): on the server a login
// reads and writes its own user's rows of TIME_SHEET and TIME_SHEET_ROUTE, reads those of the
// users below it in the supervisor tree, and administrators' logins, which own the tables, all.
// Both engines: the report reads a user's bookings by date, the contact list finds names by their
// beginning; on the server a trigram index serves the ILIKE of that search.
void step86(StepActions& a)
{
    a.run(QStringLiteral("CREATE INDEX IF NOT EXISTS IX_TIME_SHEET_User_Date ON TIME_SHEET "
                         "(User_ID, Date_Sheet)"));
    a.run(QStringLiteral("CREATE INDEX IF NOT EXISTS IX_CONTACT_Last_Name ON CONTACT (Last_Name)"));
    if (!a.onServer())
        return;
    const QString ns =
        trigramSchema(a, QStringLiteral("the contact search runs without a trigram index"));
    if (!ns.isEmpty())
        a.run(QStringLiteral("CREATE INDEX IF NOT EXISTS IX_CONTACT_Last_Name_Trgm ON CONTACT "
                             "USING gin ((Last_Name::text) %1.gin_trgm_ops)")
                  .arg(ns));
    const ServerRoles r = rolesOf(a);
    for (const char* table : {"TIME_SHEET", "TIME_SHEET_ROUTE"})
        applyTableClass(a, r, QLatin1String(table));
}

} // namespace

QList<StepDefinition> upgradeSteps86()
{
    return {{86,
             QStringLiteral("Time sheets read by their users and supervisors; bookings indexed by "
                            "user and date, contacts by last name"),
             ErrorPolicy::Strict, step86}};
}

} // namespace bx
