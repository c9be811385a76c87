#include "core/db/Dialect.h"

#include "core/db/SqliteFolding.h"

namespace bx {

LikeClause Dialect::like(const QString& pattern) const
{
    QString bound;
    bound.reserve(pattern.size() + 4);
    for (const QChar ch : pattern) {
        if (ch == QLatin1Char('\\') || ch == QLatin1Char('%') || ch == QLatin1Char('_'))
            bound += QLatin1Char('\\');
        bound += ch == QLatin1Char('*') ? QLatin1Char('%') : ch;
    }
    return {QStringLiteral(" LIKE ? ESCAPE '\\' "), bound};
}

QString Dialect::textEquals(const QString& column) const
{
    if (m_engine == Engine::Postgres)
        return column + QStringLiteral(" = ?");
    return column + QStringLiteral(" = ? COLLATE ") + QLatin1String(kFoldCaseCollation);
}

QString Dialect::dateLiteral(const QDateTime& value) const
{
    const QString format = m_engine == Engine::Postgres ? QStringLiteral("yyyyMMdd HH:mm:ss")
                                                        : QStringLiteral("yyyy-MM-dd HH:mm:ss");
    return QLatin1Char('\'') + value.toString(format) + QLatin1Char('\'');
}

QString Dialect::storedDateTime(const QDateTime& value)
{
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace bx
