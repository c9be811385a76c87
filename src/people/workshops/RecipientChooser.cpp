#include "people/workshops/RecipientChooser.h"

#include "core/db/Database.h"

namespace bx {

namespace {

bool sameUser(const cSelUser& entry, qlonglong groupId, const QString& userId)
{
    return entry.Group_id == groupId &&
           entry.User_ID.compare(userId.trimmed(), Qt::CaseInsensitive) == 0;
}

} // namespace

void RecipientChooser::setWorkshop(qlonglong groupId, const QString& name)
{
    m_groupId = groupId;
    m_groupName = name;
    if (groupId == 0)
        return;
    for (auto& known : m_names)
        if (known.first == groupId) {
            known.second = name;
            return;
        }
    m_names.append({groupId, name});
}

QList<ChooserUser> RecipientChooser::users() const
{
    RecordSet rs = m_db.query(
        QStringLiteral("SELECT LU_USER.USER_ID AS User_Id, LU_USER.User_Email AS User_Email, "
                       "LU_USER.User_Name AS User_Name, LU_USER.User_Location AS User_Location "
                       "FROM LU_USER, GROUPLINK WHERE GROUPLINK.GROUP_ID = ? AND "
                       "LU_USER.USER_ID = GROUPLINK.USER_ID AND COALESCE(LU_USER.Disabled, 0) = 0 "
                       "ORDER BY LU_USER.USER_ID"),
        {m_groupId});
    QList<ChooserUser> out;
    for (; !rs.eof(); rs.moveNext())
        out.append({rs.text(QStringLiteral("User_Id")), rs.text(QStringLiteral("User_Name")),
                    rs.text(QStringLiteral("User_Email")),
                    rs.text(QStringLiteral("User_Location"))});
    return out;
}

QList<ChooserLifecycle> RecipientChooser::lifecycles() const
{
    RecordSet rs = m_db.query(QStringLiteral("SELECT Lifecycle_ID, Owner_ID, owner_group_id "
                                             "FROM LIFECYCLE WHERE owner_group_id = ? "
                                             "ORDER BY Lifecycle_ID"),
                              {m_groupId});
    QList<ChooserLifecycle> out;
    for (; !rs.eof(); rs.moveNext())
        out.append({rs.text(QStringLiteral("Lifecycle_ID")), rs.text(QStringLiteral("Owner_ID")),
                    rs.number(QStringLiteral("owner_group_id"))});
    return out;
}

void RecipientChooser::setTicked(const QString& userId, bool ticked)
{
    if (m_groupId == 0)
        return;
    const bool present = isTicked(userId);
    if (ticked && !present)
        m_ticked.append({userId.trimmed(), m_groupId, OwnerType::User});
    else if (!ticked && present)
        m_ticked.removeIf(
            [this, &userId](const cSelUser& e) { return sameUser(e, m_groupId, userId); });
}

bool RecipientChooser::isTicked(const QString& userId) const
{
    for (const cSelUser& entry : m_ticked)
        if (sameUser(entry, m_groupId, userId))
            return true;
    return false;
}

void RecipientChooser::chooseLifecycle(const ChooserLifecycle& lifecycle)
{
    m_lifecycle = cSelUser{lifecycle.lifecycleId, lifecycle.ownerGroupId, OwnerType::Lifecycle};
}

QList<cSelUser> RecipientChooser::result() const
{
    if (m_mode == Mode::Lifecycles && m_lifecycle)
        return {*m_lifecycle};
    if (!m_ticked.isEmpty())
        return m_ticked;
    if (m_groupId != 0)
        return {cSelUser{QString(), m_groupId, OwnerType::Workshop}};
    return {};
}

QString RecipientChooser::nameOf(qlonglong groupId) const
{
    for (const auto& known : m_names)
        if (known.first == groupId)
            return known.second;
    return QString::number(groupId);
}

QString RecipientChooser::echo() const
{
    const QList<cSelUser> chosen = result();
    if (chosen.isEmpty())
        return {};
    QStringList parts;
    QList<qlonglong> named;
    for (const cSelUser& entry : chosen) {
        if (!named.contains(entry.Group_id)) {
            // Users of one workshop are listed together under its name.
            named.append(entry.Group_id);
            parts.append(QStringLiteral("Workshop: ") + nameOf(entry.Group_id));
            for (const cSelUser& other : chosen)
                if (other.Group_id == entry.Group_id && !other.User_ID.isEmpty())
                    parts.append(other.User_ID);
        }
    }
    return QStringLiteral("[   ") + parts.join(QStringLiteral("; ")) + QStringLiteral(" ]");
}

} // namespace bx
