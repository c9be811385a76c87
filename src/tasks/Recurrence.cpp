#include "tasks/Recurrence.h"

namespace bx {

namespace {

constexpr int kStepLimit = 2001;

enum class Period
{
    None,
    Day,
    Week,
    Month,
    Quarter,
    Year
};

Period periodOf(const QString& frequency)
{
    const QString f = frequency.trimmed().toLower();
    if (f == u"daily")
        return Period::Day;
    if (f == u"weekly")
        return Period::Week;
    if (f == u"monthly")
        return Period::Month;
    if (f == u"quarterly")
        return Period::Quarter;
    if (f == u"annually")
        return Period::Year;
    return Period::None;
}

QDate step(Period period, const QDate& date)
{
    switch (period) {
    case Period::Day:
        return date.addDays(1);
    case Period::Week:
        return date.addDays(7);
    case Period::Month:
        return date.addMonths(1);
    case Period::Quarter:
        return date.addMonths(3);
    case Period::Year:
        return date.addYears(1);
    case Period::None:
        break;
    }
    return date;
}

} // namespace

RecurrenceResult advanceRecurring(const QString& frequency, const QDate& due, const QDate& today)
{
    RecurrenceResult result;
    result.due = due;
    const Period period = periodOf(frequency);
    if (period == Period::None || !due.isValid())
        return result;

    // One period at a time from the date the last step left, as the editor's box moves: a month
    // end that meets a shorter month stays on that shorter day (Jan 31 -> Feb 29 -> Mar 29).
    for (int steps = 1; result.due < today; ++steps) {
        result.updated = true;
        result.due = step(period, result.due);
        if (steps == kStepLimit) {
            result.gaveUp = true;
            break;
        }
    }
    return result;
}

} // namespace bx
