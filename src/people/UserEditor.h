#pragma once

#include "core/Refusal.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

class Database;
class Session;
struct UserRecord;

/** The tab of the user window on which a check box stands. */
enum class UserTab
{
    General,
    Permissions,
    Notification,
};

/** A check box of the user window and the LU_USER flag column it edits. */
struct UserFlagControl
{
    QString objectName;
    QString caption;
    QString column;
    UserTab tab;
};

/** Every check box of the user window, in the order in which the row lists the flags. */
const QList<UserFlagControl>& userFlagControls();

/** A choice of "Combine my e-mail notices". */
struct NoticeDigestChoice
{
    int minutes = 0;
    QString caption;
};

/** The choices of "Combine my e-mail notices": Off, 15 minutes, 1 hour. */
const QList<NoticeDigestChoice>& noticeDigestChoices();

/** One user as the user window edits it. */
struct UserDraft
{
    /** The row's user ID as loaded; empty for a new user (mode "NEW"). */
    QString originalUserId;
    QString userId;
    QString userName;
    /**
     * The password as typed. std::nullopt: not changed, the stored one stays (an existing user
     * only; a new user without one is refused as with an empty one).
     */
    std::optional<QString> password;
    std::optional<double> rate; ///< Null when not given
    QString email;
    QString supervisor;
    /** Flag values by column (see userFlagControls()); a missing column is false. */
    QMap<QString, bool> flags;
    /** Notice_Digest: minutes the user's notices may wait to leave as one e-mail; 0 off. */
    int noticeDigest = 0;
    /** A new user's workshops (GROUP_ID), ticked on "Member of"; ignored for existing users. */
    QList<qlonglong> workshops;
    /** Categories the user may see in the document tree (LU_CATEGORY.Category). */
    QStringList folders;

    bool isNew() const { return originalUserId.isEmpty(); }
    bool flag(const QString& column) const { return flags.value(column, false); }
};

/** The box that a refusal puts the focus on. */
enum class UserField
{
    None, ///< no box: the refusal concerns no input
    UserId,
    UserName,
    Password,
};

using UserRefusal = RefusalOf<UserField>;

/**
 * The checks of the window's input, in this order: user ID empty; "supervisor" in any case;
 * name empty; password empty; password shorter than 6 characters (blanks around the user ID,
 * name and password do not count). An unchanged password of an existing user is not checked.
 */
std::optional<UserRefusal> checkUserDraft(const UserDraft& draft);

/**
 * A user's row, workshops and folders as the window shows them; the password is std::nullopt
 * (unchanged). std::nullopt when there is no such user. @throws DbError
 */
std::optional<UserDraft> loadUserDraft(Database& db, const QString& userId);

/**
 * Saves a user, all of it in one transaction:
 *  1. the session's user must be an administrator (UserRights::kNotAdministrator); then
 *     checkUserDraft(); then a new ID that names another user (trimmed, any case):
 *     "User ID already exists, Please specify another ID.";
 *  2. a disabled user loses every workshop membership;
 *  3. on the server, while the program keeps login roles: the user's role is renamed with the
 *     user and brought up to date (UserLogins);
 *  4. the row: written with the draft's values (the password as StoredPassword::forStorage, and
 *     only when changed; Ext7 is written false; a negative digest as 0);
 *  5. a changed user ID (also a change of letter case only) is carried into every column of
 *     kUserReferenceColumns;
 *  6. a new user becomes a member of the ticked workshops (unless disabled);
 *  7. the folder rows of LU_ACCESS_LEVEL are replaced by one "VIEW" row per listed folder that is
 *     a category (other names, such as "Unspecified Folder", are not stored).
 * When the user saved is the logged-on one, the session's user values follow.
 *
 * @return the refusal (nothing was written), or std::nullopt when saved
 * @throws DbError when a statement fails; nothing was written then
 */
std::optional<UserRefusal> saveUser(Session& session, const UserDraft& draft);

/** A line of the Folders tab. */
struct FolderEntry
{
    QString category;      ///< "" for "Unspecified Folder"
    int level = 0;         ///< depth in the category tree, 0 at the top
    bool noAccess = false; ///< the editing user may not see this folder himself
    /** Four blanks per level, the name, and " *" when marked. */
    QString text() const;
};

/**
 * "Unspecified Folder" and every category as a tree (children below their parent, each level by
 * name); a category whose parent is missing, or that sits in a cycle of parents, stands at the
 * top. A folder is marked when `editor` is not "admin" and holds no access row for it.
 * @throws DbError
 */
QList<FolderEntry> folderEntries(Database& db, const UserRecord& editor);

/** The level of a line of the folder list: its leading blanks by four. */
int folderLevel(const QString& text);

/** The rows below `row` that are deeper than it: the subfolders that auto-select follows. */
QList<int> subfolderRows(const QList<int>& levels, int row);

/** A workshop that a new user may be made a member of. */
struct WorkshopChoice
{
    qlonglong groupId = 0;
    QString name;
};

/** All workshops, by name. @throws DbError */
QList<WorkshopChoice> workshopChoices(Database& db);

} // namespace bx
