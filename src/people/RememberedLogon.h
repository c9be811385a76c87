#pragma once

#include <QString>

#include <optional>

namespace bx {

class SettingsStore;

/**
 * The remembered (automatic) logon in the settings store, section "LOGIN": AUTO holds the state
 * of the "Auto Login" box ("1" or "0"), USER and PASSWORD the user ID and the typed password,
 * scrambled (StoredPassword::scramble). They must be readable again to fill the login window, so
 * they are scrambled rather than hashed; the settings file is readable by its owner only.
 */
namespace RememberedLogon {

/** The remembered user ID and password, unscrambled. */
struct Credentials
{
    QString userId;
    QString password;
};

/** Whether "Auto Login" is on (AUTO is "1"). */
bool isOn(const SettingsStore& settings);

/** Stores the state of the box alone, as its click does. */
void setOn(SettingsStore& settings, bool on);

/**
 * Stores a successful log-on: AUTO, and with autoOn the scrambled user ID and password. With
 * autoOn false the remembered user ID and password are removed, so that a password is never
 * kept for a logon that no longer uses it.
 */
void store(SettingsStore& settings, bool autoOn, const QString& userId, const QString& password);

/** The remembered user ID and password while AUTO is "1"; std::nullopt otherwise. */
std::optional<Credentials> load(const SettingsStore& settings);

} // namespace RememberedLogon

} // namespace bx
