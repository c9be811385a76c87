#include "dbadmin/LoggedStatement.h"

#include "core/db/Database.h"
#include "dbadmin/UpgradeLog.h"

namespace bx {

namespace {

QString describeValue(const QVariant& v)
{
    if (v.isNull())
        return QStringLiteral("Null");
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Bool:
        return v.toString();
    case QMetaType::QByteArray:
        return QStringLiteral("<%1 bytes>").arg(v.toByteArray().size());
    case QMetaType::QDateTime:
        return QLatin1Char('\'') + Dialect::storedDateTime(v.toDateTime()) + QLatin1Char('\'');
    default: {
        QString text = v.toString();
        text.replace(QLatin1Char('\''), QStringLiteral("''"));
        return QLatin1Char('\'') + text + QLatin1Char('\'');
    }
    }
}

} // namespace

QString describeStatement(const QString& sql, const QVariantList& params)
{
    if (params.isEmpty())
        return sql;
    QStringList values;
    values.reserve(params.size());
    for (const QVariant& v : params)
        values << describeValue(v);
    return sql + QStringLiteral("  -- values: ") + values.join(QStringLiteral(", "));
}

qlonglong executeLogged(Database& db, UpgradeLog& log, const QString& sql,
                        const QVariantList& params)
{
    log.line(describeStatement(sql, params));
    return db.execute(sql, params);
}

RecordSet queryLogged(Database& db, UpgradeLog& log, const QString& sql, const QVariantList& params)
{
    log.line(describeStatement(sql, params));
    return db.query(sql, params);
}

} // namespace bx
