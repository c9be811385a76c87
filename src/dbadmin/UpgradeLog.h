#pragma once

#include <QFile>
#include <QString>

namespace bx {

/**
 * The upgrade log "UpgradeLog.txt" in the per-user data folder, opened for appending, so that the
 * history of every run accumulates in one file. One call, one line (CR LF).
 */
class UpgradeLog
{
public:
    /** Opens (creating when missing) the log at `path`; by default the one in the data folder. */
    explicit UpgradeLog(const QString& path = defaultPath());
    ~UpgradeLog();
    UpgradeLog(const UpgradeLog&) = delete;
    UpgradeLog& operator=(const UpgradeLog&) = delete;

    static QString defaultPath();

    /** Appends one line. A log that cannot be written is reported by qWarning, never thrown. */
    void line(const QString& text);

private:
    QFile m_file;
};

} // namespace bx
