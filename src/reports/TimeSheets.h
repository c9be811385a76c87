#pragma once

#include "core/Refusal.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QTime>

#include <optional>

namespace bx {

class Prompt;
class Session;

/** The fields of a booking that a refusal may name. */
enum class TimeSheetField
{
    None,
    Hours,
    Minutes,
};

/**
 * One booking of working time against a task (a row of TIME_SHEET), in local time. Date_Sheet
 * holds the GMT moment of the local day's start, Start_Sheet that of the local date and start.
 */
struct Booking
{
    qint64 id = 0;
    qint64 task = 0;
    QString userId;
    QDate date;
    QTime start;
    qint64 hours = 0;
    int minutes = 0;
    QString comment;
    /** The stopwatch runs for this booking since `startTime` (GMT). */
    bool running = false;
    QDateTime startTime;
};

/** What the booking window hands over: the hours and minutes as typed. */
struct BookingInput
{
    QDate date;
    QTime start;
    QString hours;
    QString minutes;
    QString comment;
};

namespace timesheet {

inline constexpr qint64 kMostHours = 4200000000;

/** "2:05": hours, a colon and two-digit minutes. */
QString durationText(qint64 minutes);
/** The task list's "Actual Hours": "2 h. 5 m.". */
QString actualHoursText(qint64 minutes);

/**
 * Whether the typed hours and minutes are whole numbers in range: minutes 0 to 59, hours 0 to
 * 4200000000.
 */
std::optional<RefusalOf<TimeSheetField>> checkDuration(const QString& hours,
                                                       const QString& minutes);

/**
 * The task's bookings the signed-in user may see (his own and those of the users below him in
 * the supervisor tree; an administrator all), by date and start.
 */
QList<Booking> bookingsOf(Session& session, qint64 task);

/** A new booking of the signed-in user. @return its ID_Sheet */
Outcome<qint64, TimeSheetField> addBooking(Session& session, qint64 task,
                                           const BookingInput& input);

/**
 * Changes a booking, which keeps its user, after asking for the reason; the change log's row of
 * its old values and the change are written together. Another user's booking is refused before
 * the question unless the signed-in user is an administrator; a cancelled question changes
 * nothing.
 */
Outcome<Done, TimeSheetField> editBooking(Session& session, Prompt& prompt, qint64 id,
                                          const BookingInput& input);

/** Deletes a booking after asking for the reason, logging its old values as editBooking does. */
Outcome<Done> deleteBooking(Session& session, Prompt& prompt, std::optional<qint64> id);

/**
 * Starts the signed-in user's stopwatch on the task: a booking of no time, marked running since
 * now. @return its ID_Sheet
 */
qint64 startStopwatch(Session& session, qint64 task);

/**
 * Stops the signed-in user's running stopwatches on the task, each booking the whole minutes
 * since its own start. Others' stopwatches run on. @return how many stopped
 */
int stopStopwatch(Session& session, qint64 task);

/** When the signed-in user's stopwatch on the task started (GMT), or nothing when none runs. */
std::optional<QDateTime> stopwatchStart(Session& session, qint64 task);

/**
 * The minutes booked on each of the tasks that the signed-in user may see (tasks without such
 * bookings are missing), in one statement.
 */
QHash<qint64, qint64> bookedMinutes(Session& session, const QList<qint64>& tasks);

/**
 * The condition, on TIME_SHEET's `userColumn`, of the bookings the signed-in user may see, and
 * its values: "" for an administrator.
 */
QString visibleBookings(const Session& session, const QString& userColumn, QVariantList& values);

} // namespace timesheet

} // namespace bx
