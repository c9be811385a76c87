#include "people/workshops/RecentWorkshops.h"

#include "core/db/Database.h"
#include "core/settings/SettingsStore.h"

namespace bx {

namespace {

const QString kSection = QStringLiteral("RECENT");

QString key(int place)
{
    return QStringLiteral("RECENT") + QString::number(place);
}

} // namespace

QList<qlonglong> RecentWorkshops::ids() const
{
    QList<qlonglong> out;
    for (int place = 1; place <= kPlaces; ++place) {
        const qlonglong id = m_settings.get(kSection, key(place), QStringLiteral("0")).toLongLong();
        if (id != 0 && !out.contains(id))
            out.append(id);
    }
    return out;
}

void RecentWorkshops::remember(qlonglong groupId)
{
    if (groupId == 0)
        return;
    QList<qlonglong> list = ids();
    list.removeAll(groupId);
    list.prepend(groupId);
    for (int place = 1; place <= kPlaces; ++place)
        m_settings.set(kSection, key(place),
                       QString::number(place <= list.size() ? list.at(place - 1) : 0));
}

QList<WorkshopRow> RecentWorkshops::rows(Database& db) const
{
    WorkshopStore store(db);
    QList<WorkshopRow> out;
    for (const qlonglong id : ids())
        if (const auto row = store.load(id))
            out.append(*row);
    return out;
}

qlonglong RecentWorkshops::startWorkshop(Database& db, const QString& userId) const
{
    WorkshopStore store(db);
    for (const qlonglong id : ids()) {
        if (store.isMember(userId, id))
            return id;
    }
    return db
        .scalar(QStringLiteral("SELECT min(GROUP_ID) FROM GROUPLINK WHERE USER_ID = ?"), {userId})
        .toLongLong();
}

} // namespace bx
