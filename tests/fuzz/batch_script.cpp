// scriptBatches with the delivered server script and a fuzzed database name: outside quoted text,
// quoted names and comments every batch reads as it does with a plain name, so the name never
// escapes its quotes; a "USE" batch names the database given.

#include "FuzzCheck.h"
#include "dbadmin/BatchScript.h"

#include <QFile>

using namespace bx;

namespace {

const QString& script()
{
    static const QString text = [] {
        QFile file(QStringLiteral(BX_SOURCE_DIR "/data/PAXSQLN.sql"));
        if (!file.open(QIODevice::ReadOnly))
            fuzz::broken("the delivered script is readable", file.fileName());
        // A batch that changes database, as the creation script has, to try useTarget too.
        return QString::fromUtf8(file.readAll()) + QStringLiteral("\nGO\nUSE brindlepax\nGO\n");
    }();
    return text;
}

/** The batch with the inside of every quoted text and name, and every comment, left out. */
QString outsideQuotes(const QString& batch)
{
    QString out;
    for (qsizetype i = 0; i < batch.size(); ++i) {
        const QChar c = batch.at(i);
        if (c == u'-' && i + 1 < batch.size() && batch.at(i + 1) == u'-') {
            const qsizetype end = batch.indexOf(u'\n', i);
            out += QStringLiteral("--\n");
            i = end < 0 ? batch.size() : end;
        } else if (c == u'\'' || c == u'"') {
            qsizetype j = i + 1;
            while (j < batch.size() &&
                   !(batch.at(j) == c && (j + 1 >= batch.size() || batch.at(j + 1) != c)))
                j += batch.at(j) == c ? 2 : 1;
            out += c + QStringLiteral("...") + c;
            i = j;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString name = fuzz::text(data, size);
    static const QString plainName = QStringLiteral("plainname");
    static const QStringList plain = scriptBatches(script(), plainName);
    static const QStringList plainOutside = [] {
        QStringList out;
        for (const QString& batch : plain)
            out.append(outsideQuotes(batch));
        return out;
    }();
    const QStringList batches = scriptBatches(script(), name);
    fuzz::check(batches.size() == plain.size(), "the name adds or removes no batch", name);
    for (qsizetype i = 0; i < batches.size(); ++i) {
        const QString& expected = plainOutside.at(i);
        const QString got = outsideQuotes(batches.at(i));
        fuzz::check(got == expected, "the name stays inside its quotes",
                    name + QStringLiteral("\n----\n") + got + QStringLiteral("\n----\n") +
                        expected);
        if (useTarget(plain.at(i)) == plainName)
            fuzz::check(useTarget(batches.at(i)) == name, "USE names the database given",
                        batches.at(i));
    }
    return 0;
}
