#include "RouteTestSupport.h"

#include "core/db/Database.h"
#include "support/TaskRows.h"

namespace bx::test::route {

qlonglong addTask(Database& db, const TaskRow& row)
{
    return addTaskRow(db, {{QStringLiteral("SCR_Title"), row.title},
                           {QStringLiteral("SCR_Status"), row.status},
                           {QStringLiteral("SCR_Owner_User_ID"), row.owner},
                           {QStringLiteral("SCR_Group_ID"), row.groupId},
                           {QStringLiteral("SCR_Sensitive"), row.sensitive},
                           {QStringLiteral("SCR_Route_Number"), row.routeNumber}});
}

qlonglong addGroup(Database& db, const QString& name)
{
    return db.insertNumbered(QStringLiteral("LU_GROUP"), QStringLiteral("GROUP_ID"),
                             {QStringLiteral("GROUP_NAME")}, {name});
}

} // namespace bx::test::route
