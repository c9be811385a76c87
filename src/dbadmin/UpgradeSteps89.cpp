#include "dbadmin/ServerRoles.h"
#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

using namespace server_sql;

// Stored reports (ATTACH rows of type "R") become configuration on the server engine: every login
// reads them; the logins of users with "Reports and Report Designer" (<db>#reporters) write those
// of a workshop, the logins of users with "Allow Global Reports" (<db>#globalreports) also those
// of no workshop, which every workshop shares. The other rows of ATTACH stay everybody's work.
// The two rights roles are new: the logins are marked with them after their users' rights and the
// login functions learn their names. Administrators, who own the tables, write every row.
// The embedded engine has no roles: there the step only raises the version.
void step89(StepActions& a)
{
    if (!a.onServer())
        return;
    requireServerAdministrator(a);
    const ServerRoles r = rolesOf(a);
    renewLogins(a, r);
    applyTableClass(a, r, QStringLiteral("ATTACH"));
}

} // namespace

QList<StepDefinition> upgradeSteps89()
{
    return {{89, QStringLiteral("Stored reports written only by report designers"),
             ErrorPolicy::Strict, step89}};
}

} // namespace bx
