#pragma once

#include <QString>

namespace bx {

class Clock;
class Database;

/**
 * The route history page of a task (ROUTE_HISTORY): every ROUTE row of the task, newest first,
 * as an HTML page that the task editor shows, saves and prints.
 *
 * Dates are shown in local time as "yyyy-MM-dd HH:mm:ss" (today's date as "yyyy-MM-dd"); every
 * text from the database is HTML-escaped. A row is coloured
 * by its exact action word: "ROUTE", "REOPEN" and "RESTART" blue, "YES" green, "NO" and "CANCEL"
 * red, anything else black.
 *
 * The database and the clock are the caller's and must outlive the object.
 */
class RouteHistory
{
public:
    /** @param folder where the page is written; empty for the per-user data folder */
    RouteHistory(Database& db, const Clock& clock, QString folder = {});

    /** The file name of the page inside the folder. */
    static QString fileName() { return QStringLiteral("RHistory.html"); }

    /** The page of one task. @throws DbError */
    QString html(qlonglong taskNumber) const;

    /**
     * Writes the page of one task as "RHistory.html" in the folder, replacing an earlier one, and
     * returns its path. @throws DbError, std::runtime_error when the file cannot be written
     */
    QString write(qlonglong taskNumber) const;

    /** The style class of a row with this action word. */
    static QString rowClass(const QString& action);

private:
    Database& m_db;
    const Clock& m_clock;
    QString m_folder;
};

} // namespace bx
