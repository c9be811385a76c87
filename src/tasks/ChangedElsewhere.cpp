#include "tasks/ChangedElsewhere.h"

#include "core/db/Database.h"
#include "core/db/RecordSet.h"
#include "core/schema/TaskColumns.h"

namespace bx {

TaskSeen taskSeenIn(const RecordSet& row)
{
    return {row.number(scr::RowVersion), row.number(scr::RouteNumber)};
}

QString changedElsewhereMessage(const QString& user)
{
    const QString by = user.trimmed().isEmpty() ? QString() : QStringLiteral(" by ") + user;
    return QStringLiteral("This task was changed") + by +
           QStringLiteral(" since you opened it. Your changes were not saved.");
}

TaskChangedElsewhere changedElsewhere(Database& db, qlonglong task, const TaskSeen& seen)
{
    // A history step closes the entry that was open and names the user who took it. Only entries
    // closed since the read count: an older one would name someone who changed nothing since.
    // A task read without history has nothing to compare with and names nobody.
    QString user;
    if (seen.routeNumber > 0)
        user = db.scalar(QStringLiteral("SELECT USER_ID FROM ROUTE WHERE %1 = ? AND "
                                        "Route_Number >= ? AND Route_Date_Out IS NOT NULL "
                                        "ORDER BY Route_Number DESC LIMIT 1")
                             .arg(scr::Number),
                         {task, seen.routeNumber})
                   .toString()
                   .trimmed();
    return {changedElsewhereMessage(user)};
}

void requireUnchanged(Database& db, qlonglong task, const RecordSet& current, const TaskSeen& seen)
{
    if (current.number(scr::RowVersion) != seen.version)
        throw changedElsewhere(db, task, seen);
}

} // namespace bx
