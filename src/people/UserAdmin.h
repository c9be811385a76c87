#pragma once

#include "core/Refusal.h"

#include <QString>

namespace bx {

class Database;
class Prompt;
class Session;

inline const QString kPleaseSelectUser = QStringLiteral("Please select USER");

/** The question asked before a user with enabled sub-users is disabled. */
QString subUsersQuestion(const QString& userId);

// The user tree's commands. Each refuses first, having written nothing, when the session's user
// is no administrator (UserRights::kNotAdministrator), then when no user is given ("Please select
// USER").

/**
 * Deletes a user, from the user tree or the main window.
 *
 * Refuses, after the checks above and in this order: a requester of any task; the owner of a
 * task owned as a user (SCR_OwnerType 0); the owner of lifecycle stage rows of a named user
 * (UserType 0); the built-in "admin"; the logged-on user. Then asks "Are you sure?" (title
 * "Confirm", OK and Cancel); Cancel declines. On OK, in one transaction: the LU_USER row (its
 * folder rows follow it), the user's route steps, attachments, mail, folders, calendar entries,
 * time sheets and their history, checklist items, replication set-up, lifecycles, lifecycle stage
 * rows and workshop memberships; on the server also the user's login role. Tasks whose stage the
 * user designed (SCR_LC_Owner_ID) are kept and name "admin" as the stage's designer: they belong to
 * others.
 *
 * @return done when the user was deleted
 * @throws DbError when a statement fails; nothing was deleted then
 */
Outcome<> deleteUser(Session& session, Prompt& prompt, const QString& userId);

/**
 * Disables a user (the tree's "disable"). When enabled users stand below him in the supervisor
 * tree, asks subUsersQuestion() with OK and Cancel; OK disables him and, level by level, every
 * enabled user below, Cancel declines. Every user disabled loses all workshop memberships, and his
 * server login may no longer log on. One transaction; a cycle of supervisors is followed once.
 *
 * @return done when disabled
 * @throws DbError
 */
Outcome<> disableUser(Session& session, Prompt& prompt, const QString& userId);

/**
 * Clears Disabled on one user and lets his server login log on again, in one transaction.
 * @throws DbError
 */
Outcome<> enableUser(Session& session, const QString& userId);

} // namespace bx
