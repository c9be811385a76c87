#include "workflow/NewOwner.h"

#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"

#include <QDateTime>
#include <QStringList>

namespace bx {

QList<ColumnValue> newOwnerColumns(const QString& owner, qlonglong group)
{
    return {
        {QStringLiteral("SCR_Owner_User_ID"), owner},
        {QStringLiteral("SCR_Group_ID"), group},
        {QStringLiteral("SCR_Parent_Folder_Number"), 0},
        {QStringLiteral("SCR_Owner_Date_Viewed"), QVariant(QDateTime())},
    };
}

void writeNewOwner(Database& db, qlonglong task, const QString& owner, qlonglong group,
                   OwnerType kind)
{
    QStringList assignments;
    QVariantList values;
    for (const auto& [column, value] : newOwnerColumns(owner, group)) {
        assignments << column + QStringLiteral(" = ?");
        values << value;
    }
    assignments << QStringLiteral("SCR_OwnerType = ?") << scr::RaiseRowVersion;
    values << static_cast<int>(kind) << task;
    db.execute(QStringLiteral("UPDATE SCR SET ") + assignments.join(QStringLiteral(", ")) +
                   QStringLiteral(" WHERE SCR_Number = ?"),
               values);
}

ColumnValue ownerKindOfEditorRoute()
{
    return {QStringLiteral("SCR_OwnerType"), static_cast<int>(OwnerType::User)};
}

} // namespace bx
