#include "core/settings/PersonalMailSettings.h"

#include "core/Scrambler.h"
#include "core/settings/SettingsStore.h"

namespace bx {

namespace {

const QString kSection = QStringLiteral("SMTP");
const QString kOwn = QStringLiteral("SMTP My Setting");
const QString kServer = QStringLiteral("SMTP Server Name");
const QString kPop = QStringLiteral("SMTP POP Name");
const QString kAuth = QStringLiteral("SMTP Auth");
const QString kLeave = QStringLiteral("SMTP Leave");
const QString kUser = QStringLiteral("SMTP User Name");
const QString kPassword = QStringLiteral("SMTP Password");

/** Check states are stored "1"/"0"; older settings may hold "True"/"False". */
bool storedFlag(const SettingsStore& settings, const QString& key)
{
    const QString v = settings.get(kSection, key).trimmed();
    return v == QLatin1String("1") || v.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
}

QString flagText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

PersonalMailSettings PersonalMailSettings::load(const SettingsStore& settings)
{
    const QString& s = kSection;
    PersonalMailSettings out;
    out.own = settings.get(s, kOwn).trimmed() == QLatin1String("1");
    out.smtpServer = settings.get(s, kServer);
    out.popServer = settings.get(s, kPop);
    out.smtpAuth = storedFlag(settings, kAuth);
    out.smtpLeave = storedFlag(settings, kLeave);
    out.user = settings.get(s, kUser);
    out.password = Scrambler::unscramble(settings.get(s, kPassword));
    return out;
}

std::optional<RefusalOf<>> PersonalMailSettings::save(SettingsStore& settings) const
{
    if (password.size() > Scrambler::kMaxLength)
        return RefusalOf<>{QStringLiteral("The password may have at most %1 characters.")
                               .arg(Scrambler::kMaxLength)};
    const QString& s = kSection;
    SettingsStore::Batch batch(settings);
    settings.set(s, kOwn, flagText(own));
    settings.set(s, kServer, smtpServer.trimmed());
    settings.set(s, kPop, popServer.trimmed());
    settings.set(s, kAuth, flagText(smtpAuth));
    settings.set(s, kLeave, flagText(smtpLeave));
    settings.set(s, kUser, user.trimmed());
    settings.set(s, kPassword, password.isEmpty() ? QString() : Scrambler::scramble(password));
    if (!batch.commit())
        return RefusalOf<>{
            QStringLiteral("Your mail settings could not be saved in %1.").arg(settings.path())};
    return std::nullopt;
}

} // namespace bx
