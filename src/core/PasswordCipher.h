#pragma once

#include <QString>

namespace bx {

/**
 * Turns a typed password into the password of a server login role. The result depends only on
 * the password and on constants fixed in the program, so every client computes the same text, and
 * the typed password itself never reaches the server.
 *
 * Both forms trim and lower-case the typed text first (passwords ignore letter case). They
 * never fail.
 */
class PasswordCipher
{
public:
    /**
     * The login password of a per-user role (<database>_<user id>), and the one set with a
     * password change: 64 lower-case hex digits.
     */
    static QString loginPassword(const QString& typed);

    /**
     * The login password of the shared role, from the password as stored in the settings: the
     * same computation under a different key, of which the last nine characters, in reverse
     * order, are used. Always nine lower-case hex digits.
     */
    static QString sharedLoginPassword(const QString& typedAsStored);
};

} // namespace bx
