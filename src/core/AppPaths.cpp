#include "core/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QtDebug>

namespace bx::AppPaths {

namespace {

const QString kAppFolder = QStringLiteral("brindlepax");

// An empty variable counts as unset, as the XDG rules ask.
QString envPath(const char* name)
{
    return qEnvironmentVariable(name).trimmed();
}

QString ensured(const QString& dir)
{
    if (!QDir().mkpath(dir))
        qWarning().noquote() << QStringLiteral("Cannot create the folder %1").arg(dir);
    return dir;
}

} // namespace

QString programDir()
{
    if (QCoreApplication::instance() == nullptr)
        return QDir::cleanPath(QStringLiteral(BX_INSTALL_DATADIR));

    const QString exeDir = QCoreApplication::applicationDirPath();
    if (exeDir.endsWith(QLatin1String("/bin"))) {
        const QString shared = QDir::cleanPath(exeDir + QStringLiteral("/../share/") + kAppFolder);
        if (QFileInfo(shared).isDir())
            return shared;
    }
    return exeDir;
}

QString dataDir()
{
    QString dir = envPath("BRINDLEPAX_DATA");
    if (dir.isEmpty()) {
        QString base = envPath("XDG_DATA_HOME");
        if (base.isEmpty() || QDir::isRelativePath(base))
            base = QDir::homePath() + QStringLiteral("/.local/share");
        dir = base + QLatin1Char('/') + kAppFolder;
    }
    return ensured(QDir::cleanPath(dir));
}

QString configDir()
{
    const QString dir = envPath("BRINDLEPAX_CONFIG");
    if (!dir.isEmpty())
        return QDir::cleanPath(dir);
    return xdgConfigHome() + QLatin1Char('/') + kAppFolder;
}

QString xdgConfigHome()
{
    const QString base = envPath("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        return QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base);
}

bool fileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (!name.contains(QLatin1Char('*')) && !name.contains(QLatin1Char('?')))
        return info.isFile();

    const QDir dir = info.dir();
    const QStringList matches =
        dir.entryList({name}, QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    return !matches.isEmpty();
}

} // namespace bx::AppPaths
