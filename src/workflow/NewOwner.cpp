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

ColumnValue ownerKindOfEditorRoute()
{
    return {QStringLiteral("SCR_OwnerType"), static_cast<int>(OwnerType::User)};
}

} // namespace bx
