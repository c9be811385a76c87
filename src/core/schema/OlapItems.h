#pragma once

namespace bx::olap {

/** OLAP_DIMENSION.ItemType: what an item of a stored analysis is. */
enum class ItemType
{
    Dimension = 0, ///< a column taken as it is
    DatePart = 1,  ///< a part of a date column (ParentItem), named prefix + column
    Fact = 2,      ///< a measure over a column; ItemParameter1 holds the Aggregate
    Formula = 3,   ///< a measure computed from other facts; Name holds the formula
};

/** ItemParameter2 of a DatePart item, with the prefix of its name. */
enum class DatePart
{
    Year = 1,       ///< "YEAR_"
    Quarter = 2,    ///< "QUARTER_"
    Month = 3,      ///< "MONTH_"
    TenDays = 4,    ///< "TENDAYS_"
    WeekOfYear = 5, ///< "WEEKOFYEAR_"
    DayOfWeek = 6,  ///< "DAYOFWEEK_"
    DayOfMonth = 7, ///< "DAYOFMONTH_"
};

/** ItemParameter1 of a Fact item: how its column is aggregated. */
enum class Aggregate
{
    Sum = 0,
    Count = 1,
    Min = 2,
    Max = 3,
    Average = 4,
};

/** ItemParameter1 of every DatePart item. */
inline constexpr int kDatePartParameter = 8;
/** ItemParameter1 of the delivered Formula items. */
inline constexpr int kFormulaParameter = 4096;

} // namespace bx::olap
