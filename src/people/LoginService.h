#pragma once

#include "core/BuildInfo.h"
#include "core/Prompt.h"
#include "core/UserRecord.h"

#include <QString>

namespace bx {

class Clock;
class Database;

/** The outcome of checking a typed user ID and password. */
enum class LoginResult
{
    Ok,
    NoUserId,      ///< the user ID box is empty
    UnknownUser,   ///< no row of that ID
    WrongPassword, ///< the row exists, the password does not match
    Disabled,      ///< right password, but the user is disabled
};

/** A message to show in a box. */
struct LoginMessage
{
    QString text;
    PromptIcon icon = PromptIcon::None;
};

/**
 * What the login window says for a failed check: "Please specify a User ID" and "User is
 * disabled" without icon; "Invalid Password or User Name." (unknown user) and the same with a
 * trailing blank (wrong password), critical. The two differ only by that blank; users and their
 * scripts know both. Ok gives an empty message.
 */
LoginMessage messageFor(LoginResult result);

/**
 * Checks a typed user ID and password against LU_USER, in this order: an empty (or blank) ID;
 * no row of that ID (a row with neither password nor name counts as none); the password
 * (letter case and surrounding blanks do not count); disabled. The disabled flag is looked at
 * only after the password, so that a wrong password never tells whether the user is disabled.
 * An unknown user ID takes as long as a wrong password (StoredPassword::matchesNoUser), so the
 * time does not tell which IDs exist.
 *
 * The stored password is never read: the typed one is hashed with the stored hash's setting and
 * the database answers whether that is the stored hash (Database::passwordMatches). A row without
 * password takes an empty one. A database the upgrade has not yet brought to hashed passwords
 * (step 83) is checked by reading the stored value, in any of its forms (StoredPassword::matches),
 * so that its administrator can log on to upgrade it.
 *
 * Reads only; nothing is written to the database.
 *
 * @param record filled with the user's row (see loadUser) when the result is Ok; left alone
 *               otherwise. May be null.
 * @throws DbError when a query fails
 */
LoginResult validateLogin(Database& db, const QString& userId, const QString& typed,
                          UserRecord* record);

/**
 * Stores the user's password anew as StoredPassword::forStorage gives it when the stored hash was
 * made with lower cost limits than today's: called by the log-on once `typed` has been found to
 * match. The row is written only while it still holds the hash that was checked, so a change
 * made meanwhile elsewhere stands.
 *
 * @param userId the ID as the user's row spells it (UserRecord::userId)
 * @return whether the password was stored anew
 * @throws DbError when the statement fails
 */
bool rehashOldPassword(Database& db, const QString& userId, const QString& typed);

/** Shown when the program's build is older than the database's. */
inline const QString kSoftwareMustBeUpgraded =
    QStringLiteral("Your software must be upgraded.  Please contact the Brindlepax Admistrator.");

/**
 * How the database's build number (Vars "BuildNum") compares with the program's. A database
 * without a build number is never out of date. @throws DbError
 */
BuildInfo::BuildState checkVersion(Database& db, int programBuild = BuildInfo::buildNumber());

/** "Your database must be upgraded.  Please contact the Brindlepax Admistrator.",
 * kSoftwareMustBeUpgraded, or "" when the builds agree. */
QString versionMessage(BuildInfo::BuildState state);

/**
 * Whether a (validated) user may open the upgrade window: the ID, trimmed, is one of "admin",
 * "admin2", "admin3" as a whole, in any letter case. "admin4" or "administrator" may not. Case
 * does not count because the ID has already been found in LU_USER, whose IDs match in any case,
 * so "ADMIN" (as the refusal itself spells it) is the same user as "admin".
 */
bool mayUpgrade(const QString& userId);

/**
 * The first log-on to a server database stores four of the delivered reports, so that a new
 * team finds some: when ATTACH holds no report (Attach_Type "R"), reports 1, 4, 6 and 9 whose
 * files exist in `programDir` are added (owner "admin", plain title, Attach_Date = now in GMT),
 * all in one transaction. With any report present it does nothing. The log-on calls it on the
 * server engine only; the embedded database receives its reports when it is created.
 *
 * Two clients logging on for the very first time at the same moment may both store the set.
 *
 * @throws DbError when a statement fails or a report file cannot be read (nothing is stored)
 */
void storeStandardReportsIfNone(Database& db, const QString& programDir, const Clock& clock);

} // namespace bx
