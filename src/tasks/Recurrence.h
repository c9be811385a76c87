#pragma once

#include <QDate>
#include <QString>

namespace bx {

/** What advanceRecurring() did to a recurring task's due date. */
struct RecurrenceResult
{
    QDate due;            ///< the due date to show (moved or as given)
    bool updated = false; ///< at least one period was added
    bool gaveUp = false;  ///< the step limit was reached (the editor says so instead of its note)
};

/**
 * Moves `due` forward by whole periods of `frequency` ("daily", "weekly", "monthly", "quarterly",
 * "annually", compared trimmed without case) until it is not before `today`, one period at a time
 * from the date the previous step left. Months and quarters add calendar months, clamped to the
 * month's last day (Jan 31 + 1 month is Feb 29 in a leap year, and the next step gives Mar 29);
 * years add calendar years (Feb 29 + 1 year is Feb 28). A due date of today is not moved.
 *
 * At most 2000 steps: when the 2001st step is taken the result has gaveUp set (and `due` moved by
 * those 2001 periods, as far as the editor got). Empty frequency, an unknown frequency or an
 * invalid due date: unchanged, neither flag set.
 */
RecurrenceResult advanceRecurring(const QString& frequency, const QDate& due, const QDate& today);

} // namespace bx
