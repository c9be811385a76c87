#include "core/settings/Vars.h"
#include "dbadmin/StepActions.h"
#include "dbadmin/UpgradeSteps.h"

#include <QUuid>

namespace bx {

namespace {

// Task notices:
//  - LU_USER.Notice_Digest: the minutes a user's notices may wait to leave as one e-mail; 0 sends
//    each at once. Edited with the other notice flags, by an administrator.
//  - Vars "Database ID": a random id of this database, so that the calendar events of its tasks
//    keep UIDs that no other database's tasks share.
void step81(StepActions& a)
{
    a.run(a.ddl(QStringLiteral("ALTER TABLE LU_USER ADD COLUMN Notice_Digest {int} DEFAULT 0")));
    const RecordSet held = a.query(QStringLiteral("SELECT VarValue FROM Vars WHERE VarName = ?"),
                                   {Vars::kDatabaseIdVar});
    if (held.isEmpty())
        a.run(QStringLiteral("INSERT INTO Vars (VarName, VarValue) VALUES (?, ?)"),
              {Vars::kDatabaseIdVar, QUuid::createUuid().toString(QUuid::WithoutBraces)});
}

} // namespace

QList<StepDefinition> upgradeSteps81()
{
    return {{81, QStringLiteral("Notice digests and database id"), ErrorPolicy::Strict, step81}};
}

} // namespace bx
