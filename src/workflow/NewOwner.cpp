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

ColumnValue ownerKindOfEditorRoute()
{
    return {scr::OwnerType, static_cast<int>(OwnerType::User)};
}

} // namespace bx
