#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace bx {

class Clock;
class Database;

/** The days of one month that hold due dates of active tasks and meetings, in local dates. */
struct CalendarMarks
{
    QSet<QDate> taskDays;
    QSet<QDate> meetingDays;
};

/** One row of the list of a chosen day. */
struct CalendarDayItem
{
    qlonglong number = 0;
    QString title;
    QString owner;
    QString priority;
    QDateTime dueLocal; ///< the due moment in local time (naive)
    bool meeting = false;
};

/**
 * What the calendar page shows: the active tasks and meetings of a workshop, by the local day of
 * their due moment. Due moments are stored in GMT; a day runs from local midnight to local
 * midnight, so a task due at 23:30 GMT lands on the next day for a user two hours east of GMT.
 * The clock's base bias is applied, as everywhere else dates are shown.
 */
class CalendarDays
{
public:
    /** The database and the clock are the caller's and must outlive this object. */
    CalendarDays(Database& db, const Clock& clock);

    /** "Please specify Workshop" when no workshop is chosen (id 0 or less), otherwise empty. */
    static QString workshopMissing(qlonglong workshop);

    /** The marked days of the month, found by one query. Empty without a workshop. */
    CalendarMarks marks(qlonglong workshop, int year, int month) const;

    /**
     * The active tasks and meetings of the workshop due on the local day, owned by enabled users:
     * the tasks first, then the meetings, each by title descending. Empty without a workshop.
     */
    QList<CalendarDayItem> day(qlonglong workshop, const QDate& date) const;

    /** The column headers of the day list, in the order of dayCell(). */
    static QStringList dayColumns();
    /** The text of one cell of the day list; empty for a column out of range. */
    static QString dayCell(const CalendarDayItem& item, int column);

private:
    Database& m_db;
    const Clock& m_clock;
};

} // namespace bx
