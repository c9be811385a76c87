#include "core/settings/CompanyTexts.h"

#include "core/AppPaths.h"
#include "core/settings/IniFile.h"

namespace bx {

QString CompanyTexts::fileName()
{
    return QStringLiteral("BXComp.ini");
}

QString CompanyTexts::defaultPath()
{
    return AppPaths::programDir() + QLatin1Char('/') + fileName();
}

CompanyTexts CompanyTexts::builtIn()
{
    CompanyTexts t;
    t.name = QStringLiteral("Brindlepax");
    t.fullName = QStringLiteral("Brindlepax Software");
    t.briefAddress = QStringLiteral("Springfield");
    t.fullAddress = QStringLiteral("1 Harbour Road, Springfield");
    t.webAddress1 = QStringLiteral("https://www.brindlepax.example");
    t.webAddress2 = QStringLiteral("https://support.brindlepax.example");
    t.webAddress3 = QStringLiteral("https://download.brindlepax.example");
    t.webAddress4 = QStringLiteral("https://community.brindlepax.example");
    t.email = QStringLiteral("support@brindlepax.example");
    return t;
}

CompanyTexts CompanyTexts::load(const QString& iniPath)
{
    CompanyTexts t = builtIn();
    if (!AppPaths::fileExists(iniPath))
        return t;

    const IniFile ini(iniPath);
    const QString section = QStringLiteral("CompanyData");
    const auto read = [&](QString& field, const char* key) {
        field = ini.value(section, QLatin1String(key), field);
    };
    read(t.name, "NAME");
    read(t.fullName, "FullName");
    read(t.briefAddress, "BriefAddress");
    read(t.fullAddress, "FullAddress");
    read(t.webAddress1, "WebAddress1");
    read(t.webAddress2, "WebAddress2");
    read(t.webAddress3, "WebAddress3");
    read(t.webAddress4, "WebAddress4");
    read(t.email, "Email");
    return t;
}

} // namespace bx
