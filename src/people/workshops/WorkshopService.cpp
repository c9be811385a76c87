#include "people/workshops/WorkshopService.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/Database.h"
#include "core/db/DatabaseOpener.h"
#include "people/workshops/RecentWorkshops.h"

namespace bx {

namespace {

// The word the messages use for a workshop.
const QString kTerm = QStringLiteral("Workshop");

} // namespace

WorkshopService::WorkshopService(Session& session, Prompt& prompt)
    : m_session(session)
    , m_prompt(prompt)
{
}

QString WorkshopService::me() const
{
    const QString& spelled = m_session.user.record.userId;
    return spelled.isEmpty() ? m_session.user.userId.trimmed() : spelled;
}

bool WorkshopService::refuse(const QString& text)
{
    m_prompt.inform(text);
    return false;
}

std::optional<qlonglong> WorkshopService::save(const WorkshopDraft& draft)
{
    try {
        return doSave(draft);
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return std::nullopt;
    }
}

std::optional<qlonglong> WorkshopService::doSave(const WorkshopDraft& draft)
{
    const QString name = draft.name.trimmed();
    QString folder = draft.rootFolder.trimmed();
    QStringList members;
    for (const QString& member : draft.members) {
        const QString id = member.trimmed();
        if (!id.isEmpty() && !members.contains(id, Qt::CaseInsensitive))
            members.append(id);
    }
    if (name.isEmpty()) {
        refuse(QStringLiteral("Please enter ") + kTerm + QStringLiteral(" name"));
        return std::nullopt;
    }
    if (members.isEmpty()) {
        refuse(QStringLiteral("Please, specify user for ") + kTerm);
        return std::nullopt;
    }
    if (folder.isEmpty()) {
        refuse(QStringLiteral("Please, specify Root folder for ") + kTerm);
        return std::nullopt;
    }

    Database& db = m_session.db();
    WorkshopStore store(db);
    if (store.sameName(name, draft.groupId)) {
        refuse(QStringLiteral("Group with name ") + name +
               QStringLiteral(" already exists. Please specify another name"));
        return std::nullopt;
    }
    if (draft.groupId != 0 && !store.load(draft.groupId)) {
        refuse(kTerm + QStringLiteral(" with such name not found"));
        return std::nullopt;
    }
    const std::optional<QString> existing = store.findCategory(folder);
    if (existing) {
        // The stored spelling, so that the folder relation finds its row on both engines.
        folder = *existing;
    } else if (m_prompt.ask(QStringLiteral("The folder \"") + folder +
                                QStringLiteral("\" does not exist.  Would you like to create it?  "
                                               "Press NO to select another root folder for this "
                                               "workshop."),
                            QStringLiteral("Create Folder?"), PromptButtons::YesNo,
                            PromptIcon::Question) != PromptAnswer::Yes) {
        return std::nullopt;
    }

    Transaction tx(db);
    if (!existing) {
        db.execute(QStringLiteral("INSERT INTO LU_CATEGORY (Category) VALUES (?)"), {folder});
        db.execute(QStringLiteral("INSERT INTO LU_ACCESS_LEVEL (USER_ID, ACCESS_LEVEL, "
                                  "ACCESS_TYPE) VALUES (?, ?, ?)"),
                   {me(), folder, QStringLiteral("VIEW")});
    }
    const QVariant parent = draft.parentId != 0 ? QVariant(draft.parentId) : QVariant();
    qlonglong groupId = draft.groupId;
    if (groupId == 0) {
        groupId = db.insertNumbered(QStringLiteral("LU_GROUP"), QStringLiteral("GROUP_ID"),
                                    {QStringLiteral("GROUP_NAME"), QStringLiteral("Root_Folder"),
                                     QStringLiteral("parent_workshop")},
                                    {name, folder, parent});
    } else {
        db.execute(QStringLiteral("UPDATE LU_GROUP SET GROUP_NAME = ?, Root_Folder = ?, "
                                  "parent_workshop = ? WHERE GROUP_ID = ?"),
                   {name, folder, parent, groupId});
        db.execute(QStringLiteral("DELETE FROM GROUPLINK WHERE GROUP_ID = ?"), {groupId});
    }
    for (const QString& member : std::as_const(members)) {
        AddUserToGroup(db, member, groupId);
        // A member is meant to work here: a disabled user is enabled again.
        db.execute(QStringLiteral("UPDATE LU_USER SET Disabled = 0 WHERE USER_ID = ?"), {member});
    }
    tx.commit();
    return groupId;
}

std::optional<qlonglong> WorkshopService::saveName(qlonglong groupId, const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        refuse(QStringLiteral("Please specify ") + kTerm + QStringLiteral(" Name"));
        return std::nullopt;
    }
    try {
        Database& db = m_session.db();
        WorkshopStore store(db);
        if (store.sameName(trimmed, groupId)) {
            refuse(kTerm + QStringLiteral(" with name '") + trimmed +
                   QStringLiteral("' already exists."));
            return std::nullopt;
        }
        if (groupId == 0)
            return db.insertNumbered(QStringLiteral("LU_GROUP"), QStringLiteral("GROUP_ID"),
                                     {QStringLiteral("GROUP_NAME")}, {trimmed});
        if (db.execute(QStringLiteral("UPDATE LU_GROUP SET GROUP_NAME = ? WHERE GROUP_ID = ?"),
                       {trimmed, groupId}) == 0) {
            refuse(kTerm + QStringLiteral(" with such name not found"));
            return std::nullopt;
        }
        return groupId;
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return std::nullopt;
    }
}

std::optional<WorkshopRow> WorkshopService::openForRename(qlonglong groupId)
{
    try {
        if (auto row = WorkshopStore(m_session.db()).load(groupId))
            return row;
        refuse(kTerm + QStringLiteral(" with such name not found"));
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
    return std::nullopt;
}

QList<UserChoice> WorkshopService::searchUsers(const QString& text)
{
    try {
        const QList<UserChoice> found = WorkshopStore(m_session.db()).searchUsers(text);
        if (found.isEmpty())
            refuse(QStringLiteral("User not found"));
        return found;
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return {};
    }
}

bool WorkshopService::mayJoin()
{
    if (m_session.user.record.joinTeam)
        return true;
    return refuse(QStringLiteral("Sorry, you don't have Join Workshop privileges.  Please see your "
                                 "Brindlepax Administrator."));
}

bool WorkshopService::join(qlonglong groupId)
{
    if (!mayJoin())
        return false;
    try {
        Database& db = m_session.db();
        if (!WorkshopStore(db).load(groupId))
            return refuse(kTerm + QStringLiteral(" with such name not found"));
        AddUserToGroup(db, me(), groupId);
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return false;
    }
    m_session.temporaryWorkshops.removeAll(groupId);
    RecentWorkshops(m_session.settings()).remember(groupId);
    return true;
}

bool WorkshopService::open(qlonglong groupId)
{
    try {
        Database& db = m_session.db();
        WorkshopStore store(db);
        if (!store.load(groupId))
            return refuse(kTerm + QStringLiteral(" with such name not found"));
        if (!store.isMember(me(), groupId)) {
            if (!m_session.user.record.joinTeam)
                return refuse(QStringLiteral("Join Workshop privilege is required to open other "
                                             "workshops.  Please see your Brindlepax "
                                             "Administrator."));
            AddUserToGroup(db, me(), groupId);
            if (!m_session.temporaryWorkshops.contains(groupId))
                m_session.temporaryWorkshops.append(groupId);
        }
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return false;
    }
    m_session.currentWorkshopId = static_cast<int>(groupId);
    RecentWorkshops(m_session.settings()).remember(groupId);
    return true;
}

bool WorkshopService::leave(qlonglong groupId)
{
    try {
        Database& db = m_session.db();
        if (m_prompt.ask(QStringLiteral("Leave Workshop: ") + GroupName(db, groupId),
                         QStringLiteral("Are you sure"), PromptButtons::YesNo,
                         PromptIcon::Question) != PromptAnswer::Yes)
            return false;
        RemoveUserFromGroup(db, me(), groupId);
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return false;
    }
    m_session.temporaryWorkshops.removeAll(groupId);
    return true;
}

bool WorkshopService::remove(qlonglong groupId)
{
    try {
        Database& db = m_session.db();
        if (m_prompt.ask(QStringLiteral("Delete ") + GroupName(db, groupId),
                         QStringLiteral("Are you sure?"), PromptButtons::YesNo,
                         PromptIcon::Question) != PromptAnswer::Yes)
            return false;
        const auto any = [&db](const char* sql, const QVariantList& params) {
            return db.scalar(QString::fromLatin1(sql), params).toLongLong() > 0;
        };
        // A task also counts when the workshop is only its requester's: that relation deletes
        // its tasks together with the workshop.
        if (any("SELECT COUNT(*) FROM SCR WHERE SCR_Group_ID = ? OR SCR_Request_Group_ID = ?",
                {groupId, groupId}))
            return refuse(QStringLiteral("Unable to delete.  This ") + kTerm +
                          QStringLiteral(" contains tasks."));
        if (any("SELECT COUNT(*) FROM ATTACH WHERE Group_ID = ?", {groupId}))
            return refuse(QStringLiteral("Unable to delete.  This ") + kTerm +
                          QStringLiteral(" contains attachments."));
        // A stage names its workshop in group_ID (UserType 1); Owner_ID holds the user who
        // designed the stage and can never hold a workshop, so group_ID is the column tested.
        if (any("SELECT COUNT(*) FROM LIFECYCLE_USER WHERE UserType = 1 AND group_ID = ?",
                {groupId}))
            return refuse(QStringLiteral("Unable to delete.  This ") + kTerm +
                          QStringLiteral(" is included in a lifecycle stage."));
        Transaction tx(db);
        // Memberships of a deleted workshop would only be dead rows: they go with it.
        db.execute(QStringLiteral("DELETE FROM GROUPLINK WHERE GROUP_ID = ?"), {groupId});
        db.execute(QStringLiteral("DELETE FROM LU_GROUP WHERE GROUP_ID = ?"), {groupId});
        tx.commit();
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return false;
    }
    m_session.temporaryWorkshops.removeAll(groupId);
    return true;
}

bool WorkshopService::confirmPick(qlonglong groupId)
{
    if (groupId != 0)
        return true;
    return refuse(QStringLiteral("Please select ") + kTerm + QStringLiteral(" to remove."));
}

} // namespace bx
