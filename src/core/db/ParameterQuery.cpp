#include "core/db/ParameterQuery.h"

#include "core/db/DbError.h"

namespace bx {

namespace {

QString declaredName(const QString& declaration)
{
    QString name = declaration.trimmed().section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    return name;
}

} // namespace

ParameterQuery ParameterQuery::parse(const QString& text)
{
    ParameterQuery q;
    if (text.left(10).trimmed().toUpper() != QLatin1String("PARAMETERS")) {
        q.m_sql = text;
        return q;
    }

    const qsizetype semicolon = text.indexOf(QLatin1Char(';'));
    const QString declaration = text.mid(10, semicolon < 0 ? -1 : semicolon - 10);
    QString body = semicolon < 0 ? QString() : text.mid(semicolon + 1).trimmed();
    if (body.endsWith(QLatin1Char(';')))
        body.chop(1);

    for (const QString& part : declaration.split(QLatin1Char(','))) {
        const QString name = declaredName(part);
        if (name.isEmpty())
            break; // an empty declaration ends the list
        q.m_declared << name;
    }

    // Replace [name] markers outside quoted text and comments (a marker in a comment is no marker
    // to the engine: its value would be bound to the next one); a bracket that names no declared
    // parameter is left as it is (it may quote an identifier).
    QString out;
    out.reserve(body.size());
    QChar quote;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const QChar ch = body.at(i);
        const QChar next = i + 1 < body.size() ? body.at(i + 1) : QChar();
        if (quote.isNull() && ((ch == u'-' && next == u'-') || (ch == u'/' && next == u'*'))) {
            const bool line = ch == u'-';
            const qsizetype close =
                body.indexOf(line ? QStringLiteral("\n") : QStringLiteral("*/"), i + 2);
            const qsizetype end = close < 0 ? body.size() : close + (line ? 1 : 2);
            out += QStringView(body).mid(i, end - i);
            i = end - 1;
            continue;
        }
        if (!quote.isNull()) {
            out += ch;
            if (ch == quote)
                quote = QChar();
            continue;
        }
        if (ch == QLatin1Char('\'') || ch == QLatin1Char('"')) {
            quote = ch;
            out += ch;
            continue;
        }
        if (ch == QLatin1Char('[')) {
            const qsizetype close = body.indexOf(QLatin1Char(']'), i + 1);
            const QString name =
                close > i ? q.declaredAs(body.mid(i + 1, close - i - 1)) : QString();
            if (!name.isEmpty()) {
                out += QLatin1Char('?');
                q.m_order << name;
                i = close;
                continue;
            }
            // Any other bracket quotes a name up to the next "]", as the embedded engine reads
            // it: a marker inside is part of that name.
            if (close > i) {
                out += QStringView(body).mid(i, close - i + 1);
                i = close;
                continue;
            }
        }
        out += ch;
    }
    q.m_sql = out;
    return q;
}

QString ParameterQuery::declaredAs(const QString& marker) const
{
    const QString inner = marker.trimmed();
    for (const QString& name : m_declared) {
        if (name.compare(inner, Qt::CaseInsensitive) == 0)
            return name;
    }
    return {};
}

QVariantList ParameterQuery::bind(const QVariantMap& values) const
{
    QVariantList out;
    out.reserve(m_order.size());
    for (const QString& name : m_order) {
        bool found = false;
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            if (it.key().compare(name, Qt::CaseInsensitive) == 0) {
                out << it.value();
                found = true;
                break;
            }
        }
        if (!found)
            throw DbError(DbErrorKind::Other, QStringLiteral("0"),
                          QStringLiteral("No value given for parameter ") + name, m_sql);
    }
    return out;
}

} // namespace bx
