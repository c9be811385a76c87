#include "people/Autostart.h"

#include "core/AppPaths.h"
#include "core/WholeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace bx::Autostart {

namespace {

/** Characters that make an Exec argument need quotes. */
bool isReserved(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

/** Escapes of a string value, applied after the quoting of arguments. */
QString stringValue(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

QString entryPath()
{
    return AppPaths::xdgConfigHome() + QStringLiteral("/autostart/brindlepax.desktop");
}

QString execValue(const QString& executable)
{
    QString arg = executable;
    if (std::any_of(arg.cbegin(), arg.cend(), isReserved)) {
        QString quoted = QStringLiteral("\"");
        for (const QChar c : std::as_const(arg)) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                quoted += u'\\';
            quoted += c;
        }
        arg = quoted + u'"';
    }
    arg.replace(u'%', QStringLiteral("%%"));
    return stringValue(arg);
}

bool setOn(bool on, const QString& executable)
{
    const QString path = entryPath();
    if (!on) {
        if (!QFile::exists(path) || QFile::remove(path))
            return true;
        qWarning("Cannot remove the autostart entry %s", qPrintable(path));
        return false;
    }

    const QString program =
        executable.isEmpty() ? QCoreApplication::applicationFilePath() : executable;
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Brindlepax\n"
                                         "Exec=") +
                          execValue(program) + QLatin1Char('\n');
    const QString failure = writeWholeFile(path, entry.toUtf8());
    if (failure.isEmpty())
        return true;
    qWarning("Cannot write the autostart entry %s: %s", qPrintable(path), qPrintable(failure));
    return false;
}

bool isOn()
{
    return QFile::exists(entryPath());
}

} // namespace bx::Autostart
