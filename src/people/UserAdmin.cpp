#include "people/UserAdmin.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/db/LoginRoles.h"
#include "people/UserLogins.h"
#include "people/UserTree.h"

#include <QSet>

namespace bx {

namespace {

bool any(Database& db, const char* sql, const QString& userId)
{
    return !db.query(QLatin1String(sql), {userId}).eof();
}

/**
 * The checks every command of the tree makes first. Hands back the user ID as the row spells it
 * (the embedded engine matches letter case beyond ASCII exactly), or the trimmed one when there
 * is no such row.
 */
Outcome<QString> userToChange(Session& session, const QString& userId)
{
    if (auto refusal = UserRights::refuseUnlessAdministrator(session.user.record))
        return *refusal;
    const QString id = findUserId(session.db(), userId).value_or(userId.trimmed());
    if (id.isEmpty())
        return RefusalOf<>{kPleaseSelectUser};
    return id;
}

} // namespace

QString subUsersQuestion(const QString& userId)
{
    return QStringLiteral("User ") + userId + QStringLiteral(" has subusers. ") +
           QStringLiteral("Click 'OK' to disable ") + userId +
           QStringLiteral(" and all subusers. ") +
           QStringLiteral(
               "Click 'Cancel' to go to the user tree and assign users to someone else.");
}

Outcome<> deleteUser(Session& session, Prompt& prompt, const QString& userId)
{
    const Outcome<QString> checked = userToChange(session, userId);
    if (!checked)
        return *checked.refusal();
    const QString& id = *checked;
    Database& db = session.db();
    const struct
    {
        const char* sql;
        QString refusal;
    } checks[] = {
        {"SELECT 1 FROM SCR WHERE SCR_Request_ID = ?",
         QStringLiteral("Unable to delete.  This user is a requestor of tasks")},
        {"SELECT 1 FROM SCR WHERE SCR_Owner_User_ID = ? AND SCR_OwnerType = 0",
         QStringLiteral("Unable to delete.  This user is an owner of tasks")},
        {"SELECT 1 FROM LIFECYCLE_USER WHERE Owner_ID = ? AND UserType = 0",
         QStringLiteral("Unable to delete.  This user is an owner of lifecycle stages")},
    };
    for (const auto& check : checks) {
        if (any(db, check.sql, id))
            return RefusalOf<>{check.refusal};
    }
    if (UserRecord::isBuiltInAdmin(id))
        return RefusalOf<>{QStringLiteral("You can not delete the user 'ADMIN'")};
    if (sameText(id, session.user.userId))
        return RefusalOf<>{
            QStringLiteral("Unable to delete.  You may not delete your own User ID.")};
    if (prompt.ask(QStringLiteral("Are you sure?"), QStringLiteral("Confirm"),
                   PromptButtons::OkCancel) != PromptAnswer::Ok)
        return Outcome<>::declined();

    static const char* const kDeletes[] = {
        "DELETE FROM LU_USER WHERE USER_ID = ?",
        // The stage's designer is only recorded on the tasks in it (and stamped on their signed
        // items): the tasks belong to others and stay, naming the built-in administrator instead.
        "UPDATE SCR SET SCR_LC_Owner_ID = 'admin' WHERE SCR_LC_Owner_ID = ?",
        "DELETE FROM ROUTE WHERE USER_ID = ?",
        "DELETE FROM ATTACH WHERE Attach_Owner = ?",
        "DELETE FROM MAIL WHERE Owner_User_ID = ?",
        "DELETE FROM FOLDER WHERE Folder_Owner_ID = ?",
        "DELETE FROM PAXCAL WHERE Cal_ID = ?",
        "DELETE FROM TIME_SHEET WHERE User_ID = ?",
        "DELETE FROM TIME_SHEET_ROUTE WHERE User_ID = ?",
        "DELETE FROM CHECKLIST_ITEM WHERE User_ID = ?",
        "DELETE FROM REPLICA WHERE User_ID = ?",
        "DELETE FROM LIFECYCLE WHERE Owner_ID = ?",
        "DELETE FROM LIFECYCLE_USER WHERE User_ID = ?",
        "DELETE FROM GROUPLINK WHERE User_ID = ?",
    };
    Transaction tx(db);
    for (const char* sql : kDeletes)
        db.execute(QLatin1String(sql), {id});
    if (LoginRoles* roles = UserLogins::managed(db))
        UserLogins::drop(*roles, session.connection.sqlDatabaseName, id);
    tx.commit();
    return Done{};
}

Outcome<> disableUser(Session& session, Prompt& prompt, const QString& userId)
{
    const Outcome<QString> checked = userToChange(session, userId);
    if (!checked)
        return *checked.refusal();
    const QString& id = *checked;
    Database& db = session.db();
    QStringList users{id};
    QList<UserSummary> level = subUsers(db, id);
    if (!level.isEmpty() &&
        prompt.ask(subUsersQuestion(id), {}, PromptButtons::OkCancel) != PromptAnswer::Ok)
        return Outcome<>::declined();

    QSet<QString> seen{id.toCaseFolded()};
    while (!level.isEmpty()) {
        QList<UserSummary> next;
        for (const UserSummary& u : level) {
            if (seen.contains(u.userId.trimmed().toCaseFolded()))
                continue;
            seen.insert(u.userId.trimmed().toCaseFolded());
            users << u.userId;
            next << subUsers(db, u.userId);
        }
        level = next;
    }

    LoginRoles* roles = UserLogins::managed(db);
    Transaction tx(db);
    for (const QString& u : users) {
        db.execute(QStringLiteral("UPDATE LU_USER SET Disabled = ? WHERE USER_ID = ?"), {true, u});
        db.execute(QStringLiteral("DELETE FROM GROUPLINK WHERE USER_ID = ?"), {u});
        if (roles)
            UserLogins::setEnabled(*roles, session.connection.sqlDatabaseName, u, false);
    }
    tx.commit();
    return Done{};
}

Outcome<> enableUser(Session& session, const QString& userId)
{
    const Outcome<QString> checked = userToChange(session, userId);
    if (!checked)
        return *checked.refusal();
    const QString& id = *checked;
    Database& db = session.db();
    LoginRoles* roles = UserLogins::managed(db);
    Transaction tx(db);
    db.execute(QStringLiteral("UPDATE LU_USER SET Disabled = ? WHERE USER_ID = ?"), {false, id});
    if (roles)
        UserLogins::setEnabled(*roles, session.connection.sqlDatabaseName, id, true);
    tx.commit();
    return Done{};
}

} // namespace bx
