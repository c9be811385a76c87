#include "core/db/Notices.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace bx {

std::optional<ChangeNotice> ChangeNotice::parse(const QString& payload)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(payload.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    ChangeNotice n;
    n.table = o.value(QLatin1String("t")).toString();
    if (n.table.isEmpty())
        return std::nullopt;
    const QJsonValue w = o.value(QLatin1String("w"));
    if (w.isDouble())
        n.workshop = qlonglong(w.toDouble());
    n.user = o.value(QLatin1String("u")).toString();
    const QJsonValue k = o.value(QLatin1String("k"));
    if (!k.isArray()) {
        n.whole = true;
        return n;
    }
    for (const QJsonValue& key : k.toArray()) {
        if (!key.isDouble())
            return std::nullopt;
        n.keys.append(qlonglong(key.toDouble()));
    }
    return n;
}

bool ChangeNotice::concernsUser(const QString& userId) const
{
    // A notice for the whole table names nobody and concerns everybody.
    if (user.isEmpty())
        return whole && workshop.isNull();
    return user.trimmed().compare(userId.trimmed(), Qt::CaseInsensitive) == 0;
}

bool ChangeNotice::concernsWorkshop(qlonglong groupId) const
{
    return workshop.isNull() || workshop.toLongLong() == groupId;
}

QString changeChannelSql(const QString& schemaExpression)
{
    // 'bx_changes_' and 32 hex digits: within the 63 bytes of a channel name.
    return QStringLiteral("('bx_changes_' || md5(%1))").arg(schemaExpression);
}

} // namespace bx
