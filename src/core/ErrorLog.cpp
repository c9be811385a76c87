#include "core/ErrorLog.h"

#include "core/AppPaths.h"
#include "core/Clock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtDebug>

namespace bx {

namespace {

QString oneLine(const QString& text)
{
    static const QRegularExpression breaks(QStringLiteral("[\\r\\n]+"));
    QString flat = text;
    return flat.replace(breaks, QStringLiteral(" "));
}

} // namespace

QString ErrorLog::fileName()
{
    return QStringLiteral("QVErrorLog.txt");
}

ErrorLog::ErrorLog(const Clock& clock)
    : ErrorLog(AppPaths::dataDir() + QLatin1Char('/') + fileName(), clock)
{
}

ErrorLog::ErrorLog(QString path, const Clock& clock)
    : m_path(std::move(path))
    , m_clock(clock)
{
}

QString ErrorLog::line(const QString& title, const QString& detail) const
{
    return m_clock.nowLocal().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
           QStringLiteral(" : ") + oneLine(title) + QStringLiteral(" : ") + oneLine(detail);
}

void ErrorLog::write(const QString& title, const QString& detail) const noexcept
{
    // The log is the last resort of error handling; nothing it does may raise a new error.
    try {
        const QString text = line(title, detail);
        qWarning().noquote() << text;

        QDir().mkpath(QFileInfo(m_path).absolutePath());
        QFile file(m_path);
        const QByteArray bytes = (text + QStringLiteral("\r\n")).toUtf8();
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append) ||
            file.write(bytes) != bytes.size() || !file.flush()) {
            qWarning().noquote() << QStringLiteral("Cannot write the error log %1: %2")
                                        .arg(m_path, file.errorString());
        }
    } catch (...) {
        qWarning("Cannot write the error log");
    }
}

} // namespace bx
