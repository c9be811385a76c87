#include "RouteTestSupport.h"

#include "core/db/Database.h"
#include "core/settings/Vars.h"

#include <stdexcept>
#include <string>

namespace bx::test::route {

qlonglong addTask(Database& db, const TaskRow& row)
{
    const qlonglong counter =
        db.insertNumbered(QStringLiteral("SCR"), QStringLiteral("SCR_Counter"),
                          {QStringLiteral("SCR_Title"), QStringLiteral("SCR_Status"),
                           QStringLiteral("SCR_Owner_User_ID"), QStringLiteral("SCR_Group_ID"),
                           QStringLiteral("SCR_Sensitive"), QStringLiteral("SCR_Route_Number")},
                          {row.title, row.status, row.owner, row.groupId,
                           db.dialect().flag(row.sensitive), row.routeNumber});
    db.execute(QStringLiteral("UPDATE SCR SET SCR_Number = SCR_Counter WHERE SCR_Counter = ?"),
               {counter});
    return counter;
}

qlonglong addGroup(Database& db, const QString& name)
{
    return db.insertNumbered(QStringLiteral("LU_GROUP"), QStringLiteral("GROUP_ID"),
                             {QStringLiteral("GROUP_NAME")}, {name});
}

} // namespace bx::test::route
