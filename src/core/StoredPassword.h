#pragma once

#include "core/db/Database.h"

#include <QString>

/**
 * The forms in which a user's password is kept, and the one comparison that accepts them all.
 *
 * LU_USER.User_Password holds one of three forms:
 *  - a hash: kHashPrefix followed by an Argon2id string (salt and parameters inside it); every
 *    password the program stores from now on has this form;
 *  - a scrambled text, "***" followed by the password XORed with the program key (older rows;
 *    see core/Scrambler.h);
 *  - clear text (older rows, or rows written by hand).
 * Passwords are compared without regard to letter case and to blanks around them, so the hash is
 * taken of the trimmed, lower-cased password.
 *
 * The scrambler is reversible on purpose: the remembered logon must be able to fill the password
 * box again. It protects nothing against anyone who has the program, and is used only for that
 * and for reading older rows.
 *
 * Since upgrade step 83 every stored password is a hash (or empty: no password), and the program
 * never reads the column: a log-on asks the database for the hash's setting (Database::
 * passwordSetting, the stored text up to its last '$': parameters and salt), computes the hash of
 * the typed password with it (hashWithSetting) and asks whether the stored text is that hash
 * (Database::passwordMatches). The typed password never leaves the program.
 */
namespace bx::StoredPassword {

/** What begins a hashed password; nothing else the program stores begins with it. */
inline const QString& kHashPrefix = kPasswordHashPrefix;

/** Scrambler::scramble: "***" and the text XORed with the program key, cut to 83 characters. */
QString scramble(const QString& text);

/** Scrambler::unscramble: a text without the "***" is returned unchanged (kept in clear). */
QString unscramble(const QString& stored);

/**
 * The form in which a new or changed password is stored: kHashPrefix + Argon2id hash of the
 * trimmed, lower-cased password, with a fresh random salt (two calls never give the same text).
 * Takes about a tenth of a second and 64 MiB of memory.
 *
 * @throws std::bad_alloc when the memory for the hash cannot be had
 */
QString forStorage(const QString& typed);

/** Whether a stored password is in the hashed form. */
bool isHashed(const QString& stored);

/**
 * The setting of a stored hash: the text up to its last '$' (kHashPrefix, the algorithm, its
 * parameters and the salt), as Database::passwordSetting gives it. Empty when `stored` is no hash.
 */
QString settingOf(const QString& stored);

/**
 * The stored form the typed (trimmed, lower-cased) password has under `setting`: the same text as
 * the stored hash of that setting exactly when the typed password matches it. Takes as long as
 * forStorage. Empty when the setting is not one this program makes (then nothing matches it).
 *
 * @throws std::bad_alloc when the memory for the hash cannot be had
 */
QString hashWithSetting(const QString& setting, const QString& typed);

/**
 * Whether a hash of this setting should be stored again as forStorage() gives it once the typed
 * password has been found to match: it was made with lower cost limits than today's. A setting
 * hashWithSetting cannot use never needs it (no typed password matches it).
 */
bool needsRehash(const QString& setting);

/**
 * Whether a typed password matches a stored one of any form, ignoring letter case and blanks
 * around both. "***" alone matches only an empty (or blank) typed password. A damaged hash
 * matches nothing. For a stored value in hand (the upgrade reading the column as the tables'
 * owner); a log-on goes through Database::passwordMatches.
 */
bool matches(const QString& stored, const QString& typed);

/**
 * Compares the typed password with a hash nobody's password has, at the cost of a real
 * comparison, and gives false. A log-on of an unknown user ID calls it so that it takes as long
 * as a wrong password of a known one, and the time does not tell which user IDs exist.
 */
bool matchesNoUser(const QString& typed);

} // namespace bx::StoredPassword
