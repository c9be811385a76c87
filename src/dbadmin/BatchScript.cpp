#include "dbadmin/BatchScript.h"

#include <QRegularExpression>

namespace bx {

namespace {

const QString kDefaultName = QStringLiteral("brindlepax");

QString replaced(QString text, const QString& by)
{
    return text.replace(kDefaultName, by);
}

/**
 * Rewrites one line. The database name may hold any character a user can type, a quote among
 * them, so it is not pasted in blindly: inside a quoted string it is written with its single
 * quotes doubled, inside a quoted name with its double quotes doubled, and a bare word that holds
 * it becomes a quoted name.
 */
QString rewrite(const QString& raw, const QString& name)
{
    QString line = raw;
    line.remove(kDefaultName + QStringLiteral("MDF"));
    line.remove(kDefaultName + QStringLiteral("LDF"));
    const bool adminRow = line.contains(QLatin1String("1,'admin'"));
    const bool adminLogin = line.contains(QLatin1String("bx_create_login("), Qt::CaseInsensitive) &&
                            line.contains(QLatin1String("'admin'"));
    const bool renameDb = !adminRow && !adminLogin;

    QString inString = name;
    inString.replace(QLatin1Char('\''), QStringLiteral("''"));
    QString inIdent = name;
    inIdent.replace(QLatin1Char('"'), QStringLiteral("\"\""));

    QString out;
    out.reserve(line.size() + name.size());
    qsizetype i = 0;
    while (i < line.size()) {
        const QChar ch = line.at(i);
        if (ch == QLatin1Char('\'') || ch == QLatin1Char('"')) {
            // A quoted string or name runs to the matching quote; a doubled quote stays inside.
            qsizetype j = i + 1;
            while (j < line.size()) {
                if (line.at(j) == ch) {
                    if (j + 1 < line.size() && line.at(j + 1) == ch) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            QString body = line.mid(i + 1, j - i - 1);
            if (ch == QLatin1Char('\'')) {
                if (!adminRow && body == QLatin1String("admin"))
                    body = inString + QStringLiteral("_admin");
                else if (renameDb)
                    body = replaced(body, inString);
            } else if (renameDb) {
                body = replaced(body, inIdent);
            }
            out += ch + body + ch;
            i = j + 1;
            continue;
        }
        if (ch.isLetterOrNumber() || ch == QLatin1Char('_')) {
            qsizetype j = i;
            while (j < line.size() &&
                   (line.at(j).isLetterOrNumber() || line.at(j) == QLatin1Char('_')))
                ++j;
            const QString word = line.mid(i, j - i);
            if (renameDb && word.contains(kDefaultName))
                out += QLatin1Char('"') + replaced(word, inIdent) + QLatin1Char('"');
            else
                out += word;
            i = j;
            continue;
        }
        out += ch;
        ++i;
    }
    return out;
}

} // namespace

QStringList scriptBatches(const QString& script, const QString& databaseName)
{
    QStringList batches;
    QStringList current;
    auto flush = [&] {
        const QString batch = current.join(QStringLiteral("\r\n")).trimmed();
        if (!batch.isEmpty())
            batches << batch;
        current.clear();
    };
    for (const QString& raw : script.split(QRegularExpression(QStringLiteral("\r?\n")))) {
        const QString line = raw.trimmed();
        if (line.compare(QLatin1String("GO"), Qt::CaseInsensitive) == 0) {
            flush();
            continue;
        }
        current << rewrite(line, databaseName);
    }
    flush();
    return batches;
}

QString useTarget(const QString& batch)
{
    static const QRegularExpression use(
        QStringLiteral("^USE\\s+(?:\"((?:[^\"]|\"\")+)\"|([^\\s;\"]+))\\s*;?$"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = use.match(batch.trimmed());
    if (!m.hasMatch())
        return {};
    if (!m.captured(2).isEmpty())
        return m.captured(2);
    QString quoted = m.captured(1);
    return quoted.replace(QStringLiteral("\"\""), QStringLiteral("\""));
}

} // namespace bx
