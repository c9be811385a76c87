#include "workflow/NewOwner.h"

#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"

#include <QDateTime>
#include <QStringList>

namespace bx {

QList<ColumnValue> newOwnerColumns(const QString& owner, qlonglong group)
{
    return {
        {scr::OwnerUserId, owner},
        {scr::GroupId, group},
        {scr::ParentFolderNumber, 0},
        {scr::OwnerDateViewed, QVariant(QDateTime())},
    };
}

void writeNewOwner(Database& db, qlonglong task, const QString& owner, qlonglong group,
                   OwnerType kind)
{
    QStringList assignments;
    QVariantList values;
    for (const auto& [column, value] : newOwnerColumns(owner, group)) {
        assignments << QStringLiteral("%1 = ?").arg(column);
        values << value;
    }
    assignments << QStringLiteral("%1 = ?").arg(scr::OwnerType) << scr::RaiseRowVersion;
    values << static_cast<int>(kind) << task;
    db.execute(QStringLiteral("UPDATE SCR SET %1 WHERE %2 = ?")
                   .arg(assignments.join(QStringLiteral(", ")), scr::Number),
               values);
}

ColumnValue ownerKindOfEditorRoute()
{
    return {scr::OwnerType, static_cast<int>(OwnerType::User)};
}

} // namespace bx
