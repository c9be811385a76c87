#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

namespace bx {

/** A date column a task list may be limited by, with the name the date-range picker shows. */
struct DateRangeField
{
    QString caption; ///< "Start Date", "Date In", ...
    QString column;  ///< SCR_StartDate, SCR_Owner_Date_In, ... or "closedate"
};

/** The date fields in the order the picker offers them. */
const QList<DateRangeField>& dateRangeFields();

/** How the range is given. */
enum class DateRangeKind
{
    LastMonths, ///< the last N months, ending today
    Between,    ///< between two dates, both included
    LastDays    ///< the last N days, ending today
};

/** The picker's result: the field and the range, with start and end always filled. */
struct DateRangeChoice
{
    QString field; ///< column name or "closedate"
    int months = 0;
    int days = 0;
    QDate start;
    QDate end;
};

/** What the picker's controls hold when OK is pressed; numbers as typed. */
struct DateRangeInput
{
    QString field;
    DateRangeKind kind = DateRangeKind::LastMonths;
    QString months;
    QString days;
    QDate start;
    QDate end;
};

/** The outcome of checking an input: a choice, or the message that refuses it. */
struct DateRangeCheck
{
    std::optional<DateRangeChoice> choice;
    QString message; ///< empty when accepted
};

/**
 * Checks the picker's input against `today` and computes the range:
 *  - LastMonths: the number must be a whole number of at least 0 ("Please specify Number of
 *    Months"); the range ends today and starts that many months earlier (a day past the end of a
 *    shorter month becomes its last day);
 *  - Between: the start must not be after the end ("Start Date is more then the End one."); equal
 *    dates are one day's range;
 *  - LastDays: a whole number of at least 0 ("Please specify Number of Days"); the range ends
 *    today and starts that many days earlier.
 * Only the number of the chosen kind is looked at.
 */
DateRangeCheck checkDateRange(const DateRangeInput& input, const QDate& today);

} // namespace bx
