#include "dbadmin/ServerRoles.h"
#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

using namespace server_sql;

// Checklists are the configuration of a workshop (see core/schema/TableClasses.h): on the server
// CHECKLIST and the template rows of CHECKLIST_ITEM (Attach_Number 0) are written only by
// administrators' logins and by the logins of the checklist's workshop's members (GROUPLINK, the
// login's user from bx_login_user()). The ticks of the tasks' copies stay everybody's work. The
// embedded engine has no logins; its rules are the designer's own checks.
// Both engines: the mandatory check and a tick find a checklist's items by name, template and
// filled rows alike.
void step84(StepActions& a)
{
    a.run(QStringLiteral("CREATE INDEX IF NOT EXISTS IX_CHECKLIST_ITEM_Name ON CHECKLIST_ITEM "
                         "(Checklist_Name, Attach_Number, Action_Name)"));
    if (!a.onServer())
        return;
    const ServerRoles r = rolesOf(a);
    for (const char* table : {"CHECKLIST", "CHECKLIST_ITEM"})
        applyTableClass(a, r, QLatin1String(table));
}

} // namespace

QList<StepDefinition> upgradeSteps84()
{
    return {
        {84,
         QStringLiteral(
             "Checklists written by the members of their workshop; their items indexed by name"),
         ErrorPolicy::Strict, step84}};
}

} // namespace bx
