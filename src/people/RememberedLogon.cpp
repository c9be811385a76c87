#include "people/RememberedLogon.h"

#include "core/StoredPassword.h"
#include "core/settings/SettingsStore.h"

namespace bx::RememberedLogon {

namespace {

const QString kSection = QStringLiteral("LOGIN");
const QString kAuto = QStringLiteral("AUTO");
const QString kUser = QStringLiteral("USER");
const QString kPassword = QStringLiteral("PASSWORD");

} // namespace

bool isOn(const SettingsStore& settings)
{
    return settings.getChecked(kSection, kAuto);
}

void setOn(SettingsStore& settings, bool on)
{
    settings.setChecked(kSection, kAuto, on);
}

void store(SettingsStore& settings, bool autoOn, const QString& userId, const QString& password)
{
    setOn(settings, autoOn);
    if (autoOn) {
        settings.set(kSection, kUser, StoredPassword::scramble(userId));
        settings.set(kSection, kPassword, StoredPassword::scramble(password));
    } else {
        settings.remove(kSection, kUser);
        settings.remove(kSection, kPassword);
    }
}

std::optional<Credentials> load(const SettingsStore& settings)
{
    if (!isOn(settings))
        return std::nullopt;
    return Credentials{StoredPassword::unscramble(settings.get(kSection, kUser)),
                       StoredPassword::unscramble(settings.get(kSection, kPassword))};
}

} // namespace bx::RememberedLogon
