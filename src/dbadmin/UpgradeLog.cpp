#include "dbadmin/UpgradeLog.h"

#include "core/AppPaths.h"

#include <QDir>
#include <QtDebug>

namespace bx {

UpgradeLog::UpgradeLog(const QString& path)
    : m_file(path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
        qWarning().noquote() << "Cannot open the upgrade log" << path << ":"
                             << m_file.errorString();
}

UpgradeLog::~UpgradeLog() = default;

QString UpgradeLog::defaultPath()
{
    return QDir(AppPaths::dataDir()).filePath(QStringLiteral("UpgradeLog.txt"));
}

void UpgradeLog::line(const QString& text)
{
    if (!m_file.isOpen())
        return;
    const QByteArray bytes = text.toUtf8() + "\r\n";
    if (m_file.write(bytes) != bytes.size() || !m_file.flush())
        qWarning().noquote() << "Cannot write the upgrade log:" << m_file.errorString();
}

} // namespace bx
