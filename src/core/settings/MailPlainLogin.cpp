#include "core/settings/MailPlainLogin.h"

#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/settings/Vars.h"

namespace bx::MailPlainLogin {

QString varName(Service service, const QString& server)
{
    const QString key = server.trimmed().toLower();
    if (key.isEmpty())
        return {};
    return QStringLiteral("MailPlainLogin\\") +
           (service == Service::Smtp ? QStringLiteral("SMTP\\") : QStringLiteral("POP3\\")) + key;
}

bool allowed(Database& db, Service service, const QString& server)
{
    const QString name = varName(service, server);
    return !name.isEmpty() && Vars::value(db, name).trimmed() == QLatin1String("1");
}

std::optional<RefusalOf<>> setAllowed(Database& db, const UserRecord& editor, Service service,
                                      const QString& server, bool allow)
{
    if (auto refusal = UserRights::refuseUnlessAdministrator(editor))
        return refusal;
    const QString name = varName(service, server);
    if (name.isEmpty())
        return std::nullopt;
    if (allow)
        Vars::setValue(db, name, QStringLiteral("1"));
    else
        db.execute(QStringLiteral("DELETE FROM Vars WHERE VarName = ?"), {name});
    return std::nullopt;
}

} // namespace bx::MailPlainLogin
