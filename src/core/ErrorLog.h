#pragma once

#include <QString>

namespace bx {

class Clock;

/**
 * The error log, a UTF-8 text file that is only ever appended to: one line per error, made of the
 * local date and time ("yyyy-MM-dd HH:mm:ss"), the title and the detail, separated by " : " and
 * ended by CR LF. Line breaks inside the title or detail become blanks, so that one error is one
 * line. Every line is also reported by qWarning.
 *
 * The log keeps a reference to the clock, which must outlive it.
 */
class ErrorLog
{
public:
    /** The name of the log file, "QVErrorLog.txt". */
    static QString fileName();

    /** The log in the per-user data folder: AppPaths::dataDir() + "/QVErrorLog.txt". */
    explicit ErrorLog(const Clock& clock);

    /** A log kept in the given file. */
    ErrorLog(QString path, const Clock& clock);

    const QString& path() const { return m_path; }

    /**
     * Appends one line, creating the file (and its folder) when missing. Never throws: a failure
     * to write is reported by qWarning only.
     */
    void write(const QString& title, const QString& detail) const noexcept;

    /** The line write() appends for this moment, without the CR LF. */
    QString line(const QString& title, const QString& detail) const;

private:
    QString m_path;
    const Clock& m_clock;
};

} // namespace bx
