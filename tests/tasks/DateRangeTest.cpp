#include "tasks/DateRange.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace bx;

namespace {

struct RangeCase
{
    const char* name;
    DateRangeKind kind;
    const char* months;
    const char* days;
    QDate start; ///< typed dates (Between)
    QDate end;
    QDate today;
    QString message = {}; ///< empty: accepted with the range below
    QDate wantStart = {};
    QDate wantEnd = {};
    int wantMonths = 0;
    int wantDays = 0;
};

void PrintTo(const RangeCase& c, std::ostream* os)
{
    *os << c.name;
}

class DateRangeTest : public ::testing::TestWithParam<RangeCase>
{
};

const QDate kToday(2024, 3, 31);

} // namespace

TEST_P(DateRangeTest, ChecksAndComputes)
{
    const RangeCase& c = GetParam();
    const DateRangeInput input{QStringLiteral("SCR_Owner_Target_Date"),
                               c.kind,
                               QString::fromUtf8(c.months),
                               QString::fromUtf8(c.days),
                               c.start,
                               c.end};
    const DateRangeCheck check = checkDateRange(input, c.today);
    EXPECT_EQ(check.message, c.message);
    if (!c.message.isEmpty()) {
        EXPECT_FALSE(check.choice.has_value());
        return;
    }
    ASSERT_TRUE(check.choice.has_value());
    EXPECT_EQ(check.choice->field, QStringLiteral("SCR_Owner_Target_Date"));
    EXPECT_EQ(check.choice->start, c.wantStart);
    EXPECT_EQ(check.choice->end, c.wantEnd);
    EXPECT_EQ(check.choice->months, c.wantMonths);
    EXPECT_EQ(check.choice->days, c.wantDays);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DateRangeTest,
    ::testing::Values(
        RangeCase{"MonthsEmpty", DateRangeKind::LastMonths, "", "5", {}, {}, kToday, kNeedMonths},
        RangeCase{"MonthsText", DateRangeKind::LastMonths, "two", "", {}, {}, kToday, kNeedMonths},
        RangeCase{
            "MonthsFraction", DateRangeKind::LastMonths, "1.5", "", {}, {}, kToday, kNeedMonths},
        RangeCase{
            "MonthsNegative", DateRangeKind::LastMonths, "-1", "", {}, {}, kToday, kNeedMonths},
        RangeCase{"OneMonthIntoShorterMonth",
                  DateRangeKind::LastMonths,
                  " 1 ",
                  "",
                  {},
                  {},
                  kToday,
                  {},
                  QDate(2024, 2, 29),
                  kToday,
                  1},
        RangeCase{"ThirteenMonthsAcrossYear",
                  DateRangeKind::LastMonths,
                  "13",
                  "",
                  {},
                  {},
                  QDate(2024, 1, 15),
                  {},
                  QDate(2022, 12, 15),
                  QDate(2024, 1, 15),
                  13},
        RangeCase{"StartAfterEnd", DateRangeKind::Between, "x", "x", QDate(2024, 3, 2),
                  QDate(2024, 3, 1), kToday, kStartAfterEnd},
        RangeCase{"EqualDates",
                  DateRangeKind::Between,
                  "",
                  "",
                  QDate(2024, 3, 1),
                  QDate(2024, 3, 1),
                  kToday,
                  {},
                  QDate(2024, 3, 1),
                  QDate(2024, 3, 1)},
        RangeCase{"DaysEmpty", DateRangeKind::LastDays, "3", "", {}, {}, kToday, kNeedDays},
        RangeCase{"DaysText", DateRangeKind::LastDays, "", "a week", {}, {}, kToday, kNeedDays},
        RangeCase{"DaysAcrossMonth",
                  DateRangeKind::LastDays,
                  "",
                  "31",
                  {},
                  {},
                  kToday,
                  {},
                  QDate(2024, 2, 29),
                  kToday,
                  0,
                  31}),
    [](const ::testing::TestParamInfo<RangeCase>& param) { return std::string(param.param.name); });
