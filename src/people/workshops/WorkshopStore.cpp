#include "people/workshops/WorkshopStore.h"

#include "core/TextCompare.h"
#include "core/db/Database.h"

#include <QSet>

namespace bx {

namespace {

const QString kEnabled = QStringLiteral(" COALESCE(Disabled, 0) = 0 ");

} // namespace

qlonglong ParentWorkshop(Database& db, qlonglong groupId)
{
    return db
        .scalar(QStringLiteral("SELECT a.GROUP_ID FROM LU_GROUP a, LU_GROUP b "
                               "WHERE a.GROUP_ID = b.parent_workshop AND b.GROUP_ID = ?"),
                {groupId})
        .toLongLong();
}

QString GroupName(Database& db, qlonglong groupId)
{
    return db
        .scalar(QStringLiteral("SELECT GROUP_NAME FROM LU_GROUP WHERE GROUP_ID = ?"), {groupId})
        .toString();
}

bool AddUserToGroup(Database& db, const QString& userId, qlonglong groupId)
{
    if (!db.query(
               QStringLiteral("SELECT GROUP_ID FROM GROUPLINK WHERE GROUP_ID = ? AND USER_ID = ?"),
               {groupId, userId})
             .isEmpty())
        return false;
    db.execute(QStringLiteral("INSERT INTO GROUPLINK (GROUP_ID, USER_ID) VALUES (?, ?)"),
               {groupId, userId});
    return true;
}

void RemoveUserFromGroup(Database& db, const QString& userId, qlonglong groupId)
{
    db.execute(QStringLiteral("DELETE FROM GROUPLINK WHERE GROUP_ID = ? AND USER_ID = ?"),
               {groupId, userId});
}

QList<WorkshopRow> WorkshopStore::rows(const QString& sql, const QVariantList& params)
{
    RecordSet rs = m_db.query(sql, params);
    QList<WorkshopRow> out;
    for (; !rs.eof(); rs.moveNext())
        out.append({rs.number(QStringLiteral("GROUP_ID")), rs.text(QStringLiteral("GROUP_NAME")),
                    rs.text(QStringLiteral("Root_Folder")),
                    rs.number(QStringLiteral("parent_workshop"))});
    return out;
}

QList<UserChoice> WorkshopStore::users(const QString& sql, const QVariantList& params)
{
    RecordSet rs = m_db.query(sql, params);
    QList<UserChoice> out;
    for (; !rs.eof(); rs.moveNext())
        out.append({rs.text(QStringLiteral("USER_ID")), rs.text(QStringLiteral("User_Name"))});
    return out;
}

std::optional<WorkshopRow> WorkshopStore::load(qlonglong groupId)
{
    const QList<WorkshopRow> found =
        rows(QStringLiteral("SELECT GROUP_ID, GROUP_NAME, Root_Folder, "
                            "parent_workshop FROM LU_GROUP "
                            "WHERE GROUP_ID = ?"),
             {groupId});
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

QList<WorkshopRow> WorkshopStore::all()
{
    return rows(QStringLiteral("SELECT GROUP_ID, GROUP_NAME, Root_Folder, parent_workshop "
                               "FROM LU_GROUP ORDER BY GROUP_NAME"));
}

QList<WorkshopRow> WorkshopStore::findByPrefix(const QString& text)
{
    // Compared here rather than by LIKE: the embedded engine would ignore the case of ASCII
    // letters only, and a quote or a percent sign in the text needs no special care this way.
    const QString prefix = text.trimmed();
    QList<WorkshopRow> out;
    for (const WorkshopRow& row : all())
        if (row.name.startsWith(prefix, Qt::CaseInsensitive))
            out.append(row);
    return out;
}

QList<WorkshopRow> WorkshopStore::notMemberOf(const QString& userId)
{
    return rows(QStringLiteral("SELECT GROUP_ID, GROUP_NAME, Root_Folder, parent_workshop "
                               "FROM LU_GROUP WHERE NOT EXISTS (SELECT 1 FROM GROUPLINK "
                               "WHERE GROUPLINK.GROUP_ID = LU_GROUP.GROUP_ID AND "
                               "GROUPLINK.USER_ID = ?) ORDER BY GROUP_NAME"),
                {userId});
}

QList<WorkshopRow> WorkshopStore::parentChoices(const QString& me, qlonglong currentParent,
                                                qlonglong editedId)
{
    QSet<qlonglong> below;
    if (editedId != 0) {
        const QList<WorkshopRow> everything = all();
        below.insert(editedId);
        for (bool grew = true; grew;) {
            grew = false;
            for (const WorkshopRow& row : everything)
                if (below.contains(row.parentId) && !below.contains(row.groupId)) {
                    below.insert(row.groupId);
                    grew = true;
                }
        }
    }
    QList<WorkshopRow> out;
    for (const WorkshopRow& row :
         rows(QStringLiteral("SELECT GROUP_ID, GROUP_NAME, Root_Folder, parent_workshop "
                             "FROM LU_GROUP WHERE GROUP_ID = ? OR EXISTS (SELECT 1 FROM GROUPLINK "
                             "WHERE GROUPLINK.GROUP_ID = LU_GROUP.GROUP_ID AND "
                             "GROUPLINK.USER_ID = ?) ORDER BY GROUP_NAME"),
              {currentParent, me}))
        if (!below.contains(row.groupId))
            out.append(row);
    return out;
}

bool WorkshopStore::isMember(const QString& userId, qlonglong groupId)
{
    return !m_db.query(QStringLiteral(
                           "SELECT GROUP_ID FROM GROUPLINK WHERE GROUP_ID = ? AND USER_ID = ?"),
                       {groupId, userId})
                .isEmpty();
}

std::optional<WorkshopRow> WorkshopStore::sameName(const QString& name, qlonglong exceptId)
{
    for (const WorkshopRow& row : all())
        if (row.groupId != exceptId && sameText(row.name, name))
            return row;
    return std::nullopt;
}

QList<UserChoice> WorkshopStore::candidates(CandidateList list, const QString& me,
                                            const QString& supervisor)
{
    const QString select = QStringLiteral("SELECT USER_ID, User_Name FROM LU_USER WHERE ");
    const QString order = QStringLiteral(" ORDER BY USER_ID");
    switch (list) {
    case CandidateList::TeamMembers:
        return users(select + QStringLiteral("(SUPERVISOR_USER_ID = ? OR USER_ID = ?) AND") +
                         kEnabled + order,
                     {me, me});
    case CandidateList::TeamMates:
        return users(select + QStringLiteral("(SUPERVISOR_USER_ID = ? AND USER_ID <> ?) AND") +
                         kEnabled + order,
                     {supervisor, me});
    case CandidateList::MyTeam:
        return users(select +
                         QStringLiteral("(SUPERVISOR_USER_ID = ? OR SUPERVISOR_USER_ID = ? OR "
                                        "USER_ID = ? OR USER_ID = ?) AND") +
                         kEnabled + order,
                     {supervisor, me, supervisor, me});
    case CandidateList::AllUsers:
        return users(select + kEnabled + order);
    }
    return {};
}

QList<UserChoice> WorkshopStore::members(qlonglong groupId)
{
    return users(QStringLiteral("SELECT LU_USER.USER_ID, LU_USER.User_Name FROM GROUPLINK, LU_USER "
                                "WHERE GROUPLINK.USER_ID = LU_USER.USER_ID AND "
                                "GROUPLINK.GROUP_ID = ? ORDER BY LU_USER.USER_ID"),
                 {groupId});
}

QList<UserChoice> WorkshopStore::searchUsers(const QString& part)
{
    // Compared here so that the case of every alphabet is ignored on both engines.
    const QString text = part.trimmed();
    QList<UserChoice> out;
    for (const UserChoice& user : candidates(CandidateList::AllUsers, {}, {}))
        if (user.userId.contains(text, Qt::CaseInsensitive))
            out.append(user);
    return out;
}

std::optional<QString> WorkshopStore::findCategory(const QString& folder)
{
    const QVariant exact = m_db.scalar(
        QStringLiteral("SELECT Category FROM LU_CATEGORY WHERE Category = ?"), {folder.trimmed()});
    if (!exact.isNull())
        return exact.toString();
    for (const QString& name : categories())
        if (sameText(name, folder))
            return name;
    return std::nullopt;
}

QStringList WorkshopStore::categories()
{
    RecordSet rs = m_db.query(QStringLiteral("SELECT Category FROM LU_CATEGORY ORDER BY Category"));
    QStringList out;
    for (; !rs.eof(); rs.moveNext())
        out.append(rs.text(QStringLiteral("Category")));
    return out;
}

} // namespace bx
