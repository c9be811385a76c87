#include "core/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>

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
    QLocalSocket probe;
    probe.connectToServer(m_name);
    if (probe.waitForConnected(500))
        return false;
    // Nobody answers: whatever socket file is there was left by a copy that ended badly.
    QLocalServer::removeServer(m_name);
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_name))
        return false;
    m_server = std::move(server);
    return true;
}

} // namespace bx
