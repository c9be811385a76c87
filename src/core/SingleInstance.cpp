#include "core/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace bx {

namespace {

QString displayName()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        display = QStringLiteral("none");
    // Socket names may not hold a path separator.
    return display.replace(QLatin1Char('/'), QLatin1Char('_'));
}

/** Whether `st` is a folder of this user that nobody else may read, write or enter. */
bool isPrivateFolder(const struct stat& st)
{
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

/**
 * Makes `path` a private folder, or accepts the one there when it is private already (a link is
 * never followed: it could lead anywhere). false when something else holds the name.
 */
bool ensurePrivateFolder(const QByteArray& path)
{
    if (::mkdir(path.constData(), S_IRWXU) == 0)
        return ::chmod(path.constData(), S_IRWXU) == 0; // the umask may have taken the owner's bits
    struct stat st = {};
    return errno == EEXIST && ::lstat(path.constData(), &st) == 0 && isPrivateFolder(st);
}

/** The folder the socket goes in (see SingleInstance); "" when none can be had. */
QString socketFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat st = {};
    if (!runtime.isEmpty() && ::stat(runtime.constData(), &st) == 0 && isPrivateFolder(st))
        return QFile::decodeName(runtime);

    const QString base =
        QDir::tempPath() + QStringLiteral("/brindlepax-") + QString::number(geteuid());
    // Someone else may have taken the first name; every copy walks the same names in the same
    // order, so they still find one another.
    for (int i = 0; i < 10; ++i) {
        const QString path = i == 0 ? base : base + QLatin1Char('.') + QString::number(i);
        if (ensurePrivateFolder(QFile::encodeName(path)))
            return path;
    }
    QByteArray fresh = QFile::encodeName(base + QStringLiteral(".XXXXXX"));
    return ::mkdtemp(fresh.data()) ? QFile::decodeName(fresh) : QString();
}

} // namespace

SingleInstance::SingleInstance(const QString& key)
    : m_name(key + QLatin1Char('-') + QString::number(geteuid()) + QLatin1Char('-') + displayName())
{
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim()
{
    if (m_server)
        return true;
    const QString folder = socketFolder();
    if (folder.isEmpty())
        return false;
    const QString path = folder + QLatin1Char('/') + m_name;
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(500))
        return false;
    // Nobody answers: whatever socket file is there was left by a copy that ended badly.
    QLocalServer::removeServer(path);
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path))
        return false;
    m_server = std::move(server);
    m_path = path;
    return true;
}

} // namespace bx
