#pragma once

#include "core/Refusal.h"

#include <QString>

#include <optional>

namespace bx {

class SettingsStore;

/**
 * A user's own mail settings, kept in the settings store, section "SMTP": whether they replace the
 * settings of the database ("SMTP My Setting"), the SMTP and POP servers, the authentication and
 * leave-on-server flags, the user name and the password. The password is stored scrambled
 * (Scrambler): that only keeps it from being read at a glance in a file readable by its owner
 * alone, since the mail server needs it back in clear.
 */
struct PersonalMailSettings
{
    bool own = false; ///< the values below replace the database's
    QString smtpServer;
    QString popServer;
    bool smtpAuth = false;
    bool smtpLeave = false;
    QString user;
    QString password; ///< in clear

    /** The stored values; a password stored in clear is read as it is. */
    static PersonalMailSettings load(const SettingsStore& settings);

    /**
     * Stores the values, the flags as "1"/"0" and the password scrambled, in one save. Refuses,
     * storing nothing, a password longer than the scrambler keeps; refuses when the settings file
     * cannot be written. The caller then reloads the session's system settings.
     */
    std::optional<RefusalOf<>> save(SettingsStore& settings) const;
};

} // namespace bx
