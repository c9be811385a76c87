#pragma once

#include "core/UserRecord.h"

#include <QString>

#include <optional>

namespace bx {

class Database;

/**
 * Loads a user's row of LU_USER (the columns of UserRecord ... WHERE USER_ID = ?, bound). The ID is
 * trimmed and found without regard to letter case, as the column compares. Null reads as empty text
 * or false, flags are true when non-zero (both engines' spellings of true). For the built-in
 * "admin" (any case) administrator and global reports are true whatever the row holds.
 *
 * userId of the record is the ID as the row spells it.
 *
 * @return std::nullopt when there is no such row
 * @throws DbError when the query fails
 */
std::optional<UserRecord> loadUser(Database& db, const QString& userId);

} // namespace bx
