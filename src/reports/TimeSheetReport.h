#pragma once

#include "core/Refusal.h"

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

namespace bx {

class Session;

/** The period controls of the report window, which a refusal may name. */
enum class ReportPeriodField
{
    None,
    Months,
    Days,
    StartDate,
};

/** How the report window gives its period. */
enum class PeriodKind
{
    LastMonths,
    LastDays,
    Dates,
};

/** What the time-sheet report covers. */
struct TimeSheetRequest
{
    /** Non-zero: the bookings of this task alone; otherwise those of the workshop's tasks. */
    qint64 task = 0;
    qint64 workshop = 0;
    /** One user's bookings; empty: all team members. */
    QString userId;
    /** Local days, both included. */
    QDate from;
    QDate to;
};

/** One line of the report: the time one user booked on one task, priced with his rate. */
struct TimeSheetLine
{
    qint64 task = 0;
    QString title;
    QString userId;
    QString userName;
    qint64 minutes = 0;
    qint64 cents = 0;
};

struct TimeSheetTotals
{
    QList<TimeSheetLine> lines; ///< by task title, task number, user
    qint64 minutes = 0;
    qint64 cents = 0;
};

namespace timesheet {

/** The users the report offers: the current workshop's members, by ID, as "id ( name )". */
QList<std::pair<QString, QString>> reportUsers(Session& session);

/**
 * The first and last day of a period ending `today`: the last N months or days as typed, or the
 * two dates. Refused with the window's messages for a count that is no number or dates out of
 * order.
 */
Outcome<std::pair<QDate, QDate>, ReportPeriodField> periodOf(PeriodKind kind, const QString& count,
                                                             QDate from, QDate to, QDate today);

/**
 * The lines of the report in one grouped statement: the bookings the signed-in user may see, of
 * sensitive tasks only those he requested or owns, each priced exactly with the user's rate.
 */
TimeSheetTotals readTimeSheets(Session& session, const TimeSheetRequest& request);

/**
 * The report page, database text escaped. `userLabel` says whose bookings ("ann ( Ann Lee )"),
 * empty for all team members.
 */
QString reportPage(const TimeSheetTotals& totals, const TimeSheetRequest& request,
                   const QString& userLabel, QDate today);

/**
 * Reads the report and writes its page as "RepTmp.html" in `folder`. @return the file's path
 * @throws DbError; std::runtime_error when the file cannot be written
 */
QString writeReport(Session& session, const TimeSheetRequest& request, const QString& userLabel,
                    const QString& folder);

} // namespace timesheet

} // namespace bx
