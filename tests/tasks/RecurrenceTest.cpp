#include "tasks/Recurrence.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace bx;

namespace {

struct RecurrenceCase
{
    const char* name;
    const char* frequency;
    QDate due;
    QDate today;
    QDate expected;
    bool updated;
    bool gaveUp;
};

TEST(RecurrenceTest, MovesTheDueDateByWholePeriodsUntilItIsNotPast)
{
    const QDate today(2024, 1, 31);
    const RecurrenceCase cases[] = {
        {"weekly, 15 days overdue: three weeks", "weekly", today.addDays(-15), today,
         today.addDays(6), true, false},
        {"frequency trimmed, any case", "  WeeKLY ", today.addDays(-1), today, today.addDays(6),
         true, false},
        {"monthly across month ends, one step at a time", "monthly", QDate(2023, 12, 31),
         QDate(2024, 3, 15), QDate(2024, 3, 29), true, false},
        {"monthly onto a leap day", "monthly", QDate(2024, 1, 31), QDate(2024, 2, 10),
         QDate(2024, 2, 29), true, false},
        {"quarterly", "quarterly", QDate(2023, 11, 30), QDate(2024, 3, 1), QDate(2024, 5, 29), true,
         false},
        {"annually from Feb 29", "annually", QDate(2020, 2, 29), QDate(2023, 1, 10),
         QDate(2023, 2, 28), true, false},
        {"daily through a leap day", "daily", QDate(2024, 2, 27), QDate(2024, 3, 1),
         QDate(2024, 3, 1), true, false},
        {"due today is not moved", "weekly", today, today, today, false, false},
        {"2000 steps are allowed", "daily", today.addDays(-2000), today, today, true, false},
        {"far overdue gives up after 2001 steps", "daily", today.addDays(-5000), today,
         today.addDays(-5000 + 2001), true, true},
        {"unknown frequency", "fortnightly", today.addDays(-30), today, today.addDays(-30), false,
         false},
        {"no due date", "daily", QDate(), today, QDate(), false, false},
    };
    for (const RecurrenceCase& c : cases) {
        SCOPED_TRACE(c.name);
        const RecurrenceResult r =
            advanceRecurring(QString::fromLatin1(c.frequency), c.due, c.today);
        EXPECT_EQ(r.due, c.expected);
        EXPECT_EQ(r.updated, c.updated);
        EXPECT_EQ(r.gaveUp, c.gaveUp);
    }
}

} // namespace
