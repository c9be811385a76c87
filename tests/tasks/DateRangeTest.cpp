#include "tasks/DateRange.h"

#include "core/schema/TaskColumns.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

const QDate kToday(2024, 3, 31);

DateRangeInput input(DateRangeKind kind, const char* months, const char* days, QDate start = {},
                     QDate end = {})
{
    return {scr::OwnerTargetDate,    kind,  QString::fromUtf8(months),
            QString::fromUtf8(days), start, end};
}

} // namespace

TEST(DateRangeTest, RefusesWhatIsNotAWholeCountOrAnInvertedRange)
{
    const struct
    {
        const char* name;
        DateRangeInput in;
        QString message;
    } cases[] = {
        {"months empty, days typed", input(DateRangeKind::LastMonths, "", "5"),
         u"Please specify Number of Months"_s},
        {"months negative", input(DateRangeKind::LastMonths, "-1", ""),
         u"Please specify Number of Months"_s},
        {"days empty, months typed", input(DateRangeKind::LastDays, "3", ""),
         u"Please specify Number of Days"_s},
        {"start after end",
         input(DateRangeKind::Between, "1", "1", QDate(2024, 3, 2), QDate(2024, 3, 1)),
         u"Start Date is more then the End one."_s},
    };
    for (const auto& c : cases) {
        const DateRangeCheck check = checkDateRange(c.in, kToday);
        EXPECT_EQ(check.message, c.message) << c.name;
        EXPECT_FALSE(check.choice.has_value()) << c.name;
    }
}

TEST(DateRangeTest, ComputesTheRangeBackFromToday)
{
    const struct
    {
        const char* name;
        DateRangeInput in;
        QDate start;
        QDate end;
        int months;
        int days;
    } cases[] = {
        {"one month into a shorter month", input(DateRangeKind::LastMonths, " 1 ", "9"),
         QDate(2024, 2, 29), kToday, 1, 0},
        {"days across a month end", input(DateRangeKind::LastDays, "9", "31"), QDate(2024, 2, 29),
         kToday, 0, 31},
        {"equal dates", input(DateRangeKind::Between, "", "", QDate(2024, 3, 1), QDate(2024, 3, 1)),
         QDate(2024, 3, 1), QDate(2024, 3, 1), 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DateRangeCheck check = checkDateRange(c.in, kToday);
        EXPECT_EQ(check.message, QString());
        ASSERT_TRUE(check.choice.has_value());
        EXPECT_EQ(check.choice->field, scr::OwnerTargetDate);
        EXPECT_EQ(check.choice->start, c.start);
        EXPECT_EQ(check.choice->end, c.end);
        EXPECT_EQ(check.choice->months, c.months);
        EXPECT_EQ(check.choice->days, c.days);
    }
}
