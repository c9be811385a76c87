#include "tasks/CustomTab.h"

#include "core/UserRights.h"
#include "core/db/Database.h"
#include "people/workshops/WorkshopStore.h"

#include <QSet>

namespace bx::plugins {

QString ownCustomTab(Database& db, qlonglong workshop)
{
    return db.scalar(QStringLiteral("SELECT ProgID FROM CUSTOM_TAB WHERE group_id = ?"), {workshop})
        .toString()
        .trimmed();
}

QString customTabProgId(Database& db, qlonglong workshop)
{
    // A parent chain that loops ends where it would come round again.
    QSet<qlonglong> seen;
    while (workshop != 0 && !seen.contains(workshop)) {
        seen.insert(workshop);
        if (const QString progId = ownCustomTab(db, workshop); !progId.isEmpty())
            return progId;
        workshop = ParentWorkshop(db, workshop);
    }
    return {};
}

std::optional<RefusalOf<>> setCustomTab(Database& db, const UserRecord& me, qlonglong workshop,
                                        const QString& progId)
{
    if (auto refused = UserRights::refuseUnlessAdministrator(me))
        return refused;
    Transaction tx(db);
    db.execute(QStringLiteral("DELETE FROM CUSTOM_TAB WHERE group_id = ?"), {workshop});
    if (!progId.trimmed().isEmpty())
        db.execute(QStringLiteral("INSERT INTO CUSTOM_TAB (group_id, ProgID) VALUES (?, ?)"),
                   {workshop, progId.trimmed()});
    tx.commit();
    return std::nullopt;
}

} // namespace bx::plugins
