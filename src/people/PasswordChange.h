#pragma once

#include <QString>

#include <optional>

namespace bx {

class Session;

/**
 * Changes the logged-on user's password (the NEWPW window's OK).
 *
 * Refuses, in this order and without touching anything: an empty (or blank) new password,
 * "Please specify a new password"; a retyped copy that differs, "Password was not retyped
 * correctly"; fewer than 6 characters without the blanks around them, "New password must be at
 * least 6 characters long".
 *
 * Then, on the server engine while the program keeps a login role per user
 * (Vars::createsUserLogins), the role serverRoleName(database, user) gets the enciphered new
 * password; and the user's row gets StoredPassword::forStorage(new). Both happen in one
 * transaction, the role first: the server changes role passwords transactionally, so the role
 * and the row never disagree, and a failure of either leaves both as they were.
 *
 * On success the session's password and SQL password are the new ones.
 *
 * @return the refusal text, or std::nullopt when the password was changed
 * @throws DbError when the role or the row cannot be changed (for example no right to alter the
 *         role, or the user's row no longer exists); then nothing was changed
 */
std::optional<QString> changePassword(Session& session, const QString& newPassword,
                                      const QString& retyped);

} // namespace bx
