#include "people/workshops/WorkshopService.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/SpelledUserId.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/db/LoginRoles.h"
#include "people/UserLogins.h"
#include "people/workshops/RecentWorkshops.h"

namespace bx {

namespace {

// The word the messages use for a workshop.
const QString kTerm = QStringLiteral("Workshop");

RefusalOf<> notFound()
{
    return {kTerm + QStringLiteral(" with such name not found")};
}

} // namespace

WorkshopService::WorkshopService(Session& session, Prompt& prompt)
    : m_session(session)
    , m_prompt(prompt)
{
}

QString WorkshopService::me() const
{
    return spelledUserId(m_session);
}

Outcome<qlonglong, WorkshopField> WorkshopService::save(const WorkshopDraft& draft)
{
    using Refusal = RefusalOf<WorkshopField>;
    const QString name = draft.name.trimmed();
    QString folder = draft.rootFolder.trimmed();
    QStringList members;
    for (const QString& member : draft.members) {
        const QString id = member.trimmed();
        if (!id.isEmpty() && !members.contains(id, Qt::CaseInsensitive))
            members.append(id);
    }
    if (name.isEmpty())
        return Refusal{QStringLiteral("Please enter ") + kTerm + QStringLiteral(" name"),
                       WorkshopField::Name};
    if (members.isEmpty())
        return Refusal{QStringLiteral("Please, specify user for ") + kTerm, WorkshopField::Members};
    if (folder.isEmpty())
        return Refusal{QStringLiteral("Please, specify Root folder for ") + kTerm,
                       WorkshopField::RootFolder};

    Database& db = m_session.db();
    WorkshopStore store(db);
    if (store.sameName(name, draft.groupId))
        return Refusal{QStringLiteral("Group with name ") + name +
                           QStringLiteral(" already exists. Please specify another name"),
                       WorkshopField::Name};
    if (draft.groupId != 0 && !store.load(draft.groupId))
        return Refusal{notFound().message, WorkshopField::Name};
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
        return Outcome<qlonglong, WorkshopField>::declined();
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
        // A member is meant to work here: a disabled user is enabled again, with his login. Rows
        // of enabled users are left alone (an ordinary user may not write other users' rows).
        if (db.execute(QStringLiteral("UPDATE LU_USER SET Disabled = 0 WHERE USER_ID = ? AND "
                                      "COALESCE(Disabled, 0) <> 0"),
                       {member}) > 0) {
            if (LoginRoles* roles = UserLogins::managed(db))
                UserLogins::setEnabled(*roles, m_session.connection.sqlDatabaseName, member, true);
        }
    }
    tx.commit();
    return groupId;
}

Outcome<qlonglong, WorkshopField> WorkshopService::saveName(qlonglong groupId, const QString& name)
{
    using Refusal = RefusalOf<WorkshopField>;
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return Refusal{QStringLiteral("Please specify ") + kTerm + QStringLiteral(" Name"),
                       WorkshopField::Name};
    Database& db = m_session.db();
    if (WorkshopStore(db).sameName(trimmed, groupId))
        return Refusal{kTerm + QStringLiteral(" with name '") + trimmed +
                           QStringLiteral("' already exists."),
                       WorkshopField::Name};
    if (groupId == 0)
        return db.insertNumbered(QStringLiteral("LU_GROUP"), QStringLiteral("GROUP_ID"),
                                 {QStringLiteral("GROUP_NAME")}, {trimmed});
    if (db.execute(QStringLiteral("UPDATE LU_GROUP SET GROUP_NAME = ? WHERE GROUP_ID = ?"),
                   {trimmed, groupId}) == 0)
        return Refusal{notFound().message, WorkshopField::Name};
    return groupId;
}

Outcome<WorkshopRow> WorkshopService::openForRename(qlonglong groupId)
{
    if (auto row = WorkshopStore(m_session.db()).load(groupId))
        return *row;
    return notFound();
}

Outcome<QList<UserChoice>> WorkshopService::searchUsers(const QString& text)
{
    QList<UserChoice> found = WorkshopStore(m_session.db()).searchUsers(text);
    if (found.isEmpty())
        return RefusalOf<>{QStringLiteral("User not found")};
    return found;
}

std::optional<RefusalOf<>> WorkshopService::mayJoin() const
{
    if (m_session.user.record.joinTeam)
        return std::nullopt;
    return RefusalOf<>{QStringLiteral("Sorry, you don't have Join Workshop privileges.  Please "
                                      "see your Brindlepax Administrator.")};
}

Outcome<> WorkshopService::join(qlonglong groupId)
{
    if (auto refusal = mayJoin())
        return *refusal;
    Database& db = m_session.db();
    if (!WorkshopStore(db).load(groupId))
        return notFound();
    AddUserToGroup(db, me(), groupId);
    m_session.temporaryWorkshops.removeAll(groupId);
    RecentWorkshops(m_session.settings()).remember(groupId);
    return Done{};
}

Outcome<> WorkshopService::open(qlonglong groupId)
{
    Database& db = m_session.db();
    WorkshopStore store(db);
    if (!store.load(groupId))
        return notFound();
    if (!store.isMember(me(), groupId)) {
        if (!m_session.user.record.joinTeam)
            return RefusalOf<>{QStringLiteral("Join Workshop privilege is required to open other "
                                              "workshops.  Please see your Brindlepax "
                                              "Administrator.")};
        AddUserToGroup(db, me(), groupId);
        if (!m_session.temporaryWorkshops.contains(groupId))
            m_session.temporaryWorkshops.append(groupId);
    }
    m_session.currentWorkshopId = static_cast<int>(groupId);
    RecentWorkshops(m_session.settings()).remember(groupId);
    return Done{};
}

bool WorkshopService::leave(qlonglong groupId)
{
    Database& db = m_session.db();
    if (m_prompt.ask(QStringLiteral("Leave Workshop: ") + GroupName(db, groupId),
                     QStringLiteral("Are you sure"), PromptButtons::YesNo,
                     PromptIcon::Question) != PromptAnswer::Yes)
        return false;
    RemoveUserFromGroup(db, me(), groupId);
    m_session.temporaryWorkshops.removeAll(groupId);
    return true;
}

Outcome<> WorkshopService::remove(qlonglong groupId)
{
    Database& db = m_session.db();
    if (auto refusal = UserRights::refuseUnlessMayDeleteWorkshop(
            m_session.user.record, WorkshopStore(db).isMember(me(), groupId)))
        return *refusal;
    if (m_prompt.ask(QStringLiteral("Delete ") + GroupName(db, groupId),
                     QStringLiteral("Are you sure?"), PromptButtons::YesNo,
                     PromptIcon::Question) != PromptAnswer::Yes)
        return Outcome<>::declined();
    const auto any = [&db](const char* sql, const QVariantList& params) {
        return db.scalar(QString::fromLatin1(sql), params).toLongLong() > 0;
    };
    const auto unable = [](const char* why) {
        return RefusalOf<>{QStringLiteral("Unable to delete.  This ") + kTerm +
                           QString::fromLatin1(why)};
    };
    // A task also counts when the workshop is only its requester's: that relation deletes
    // its tasks together with the workshop.
    if (any("SELECT COUNT(*) FROM SCR WHERE SCR_Group_ID = ? OR SCR_Request_Group_ID = ?",
            {groupId, groupId}))
        return unable(" contains tasks.");
    if (any("SELECT COUNT(*) FROM ATTACH WHERE Group_ID = ?", {groupId}))
        return unable(" contains attachments.");
    // A stage names its workshop in group_ID (UserType 1); Owner_ID holds the user who
    // designed the stage and can never hold a workshop, so group_ID is the column tested.
    if (any("SELECT COUNT(*) FROM LIFECYCLE_USER WHERE UserType = 1 AND group_ID = ?", {groupId}))
        return unable(" is included in a lifecycle stage.");
    Transaction tx(db);
    // Memberships of a deleted workshop would only be dead rows: they go with it.
    db.execute(QStringLiteral("DELETE FROM GROUPLINK WHERE GROUP_ID = ?"), {groupId});
    db.execute(QStringLiteral("DELETE FROM LU_GROUP WHERE GROUP_ID = ?"), {groupId});
    tx.commit();
    m_session.temporaryWorkshops.removeAll(groupId);
    return Done{};
}

std::optional<RefusalOf<>> WorkshopService::confirmPick(qlonglong groupId)
{
    if (groupId != 0)
        return std::nullopt;
    return RefusalOf<>{QStringLiteral("Please select ") + kTerm + QStringLiteral(" to remove.")};
}

} // namespace bx
