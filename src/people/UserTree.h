#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace bx {

class Database;

/** What the user tree and the pickers show of a user. */
struct UserSummary
{
    QString userId; ///< as the row spells it
    QString userName;
    QString supervisor; ///< Supervisor_User_ID, "" when none
    bool disabled = false;
};

/** A user and the users whose supervisor he is. */
struct UserNode
{
    UserSummary user;
    QList<UserNode> children;
};

/**
 * The users whose supervisor is `supervisor` and who are not disabled, ordered by user ID: one
 * level of the tree. Supervisors are matched trimmed and without regard to case. @throws DbError
 */
QList<UserSummary> subUsers(Database& db, const QString& supervisor);

/** Every user who is not disabled, ordered by user ID (the flat list of the AddUser picker). */
QList<UserSummary> enabledUsers(Database& db);

/**
 * The whole supervisor tree, each level ordered by user ID. A user whose supervisor is empty,
 * unknown or left out (disabled, without `includeDisabled`) stands at the top, and so does one
 * user of every supervisor cycle, so that every listed user appears exactly once.
 * @throws DbError
 */
QList<UserNode> userTree(Database& db, bool includeDisabled);

/**
 * The user ID as its row spells it, for an ID compared trimmed and without regard to case (also
 * beyond ASCII, where the embedded engine's comparison stops); std::nullopt when there is no such
 * row. @throws DbError
 */
std::optional<QString> findUserId(Database& db, const QString& userId);

} // namespace bx
