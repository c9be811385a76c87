#include "reports/Pivot.h"

#include "reports/PivotFormula.h"
#include "support/FuzzFinds.h"

#include <QDateTime>

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace bx;
using namespace bx::pivot;
using namespace Qt::StringLiterals;
using olap::Aggregate;
using olap::DatePart;

namespace {

/** Stored form of a GMT moment, as the embedded engine hands back a computed date. */
QVariant at(const char* text)
{
    return QString::fromLatin1(text);
}

/** One row of tasks(): a null owner or status is Null. */
struct Row
{
    const char* owner;
    QVariant priority;
    const char* status;
    QVariant hours;
    QVariant entered;
};

QVariant text(const char* value)
{
    return value ? QVariant(QString::fromLatin1(value)) : QVariant();
}

/** Owner, Priority (number), Status, Hours (number), Entered (date). */
Source tasks(std::initializer_list<Row> rows, int bias = 0)
{
    Source source{{u"Owner"_s, u"Priority"_s, u"Status"_s, u"Hours"_s, u"Entered"_s},
                  {ColumnKind::Text, ColumnKind::Number, ColumnKind::Text, ColumnKind::Number,
                   ColumnKind::Date},
                  {},
                  bias};
    for (const Row& r : rows)
        source.rows.append({text(r.owner), r.priority, text(r.status), r.hours, r.entered});
    return source;
}

Dimension dim(const char* column, std::optional<DatePart> part = std::nullopt)
{
    return {QString::fromLatin1(column), QString::fromLatin1(column), part};
}

/** A dimension that leaves out the rows holding one of `hidden`. */
Dimension hiding(Dimension d, QVariantList hidden)
{
    d.hidden = std::move(hidden);
    return d;
}

Fact fact(const char* column, Aggregate aggregate, const char* title = nullptr)
{
    return {QString::fromLatin1(column), QString::fromLatin1(title ? title : column), aggregate,
            false};
}

Fact formula(const char* expression, const char* title)
{
    return {QString::fromLatin1(expression), QString::fromLatin1(title), Aggregate::Sum, true};
}

/**
 * The grid as text: a header line of column labels, then one line per row entry, its labels
 * joined by "/" (a total shows "*" for the levels it sums), then each column's values of every
 * fact, "-" for empty.
 */
std::vector<std::string> dump(const Grid& grid)
{
    const auto labels = [](const Axis& axis, int entry) {
        QStringList parts;
        for (int level = 0; level < axis.dimensions.size(); ++level)
            parts << (level < axis.entries[entry].path.size() ? axis.label(entry, level) : u"*"_s);
        return parts.isEmpty() ? u"*"_s : parts.join(u'/');
    };
    QStringList header;
    for (int c = 0; c < grid.columns().size(); ++c)
        header << labels(grid.columns(), c);
    std::vector<std::string> out{header.join(u' ').toStdString()};
    for (int r = 0; r < grid.rows().size(); ++r) {
        QStringList cells;
        for (int c = 0; c < grid.columns().size(); ++c)
            for (int f = 0; f < grid.facts().size(); ++f) {
                const QVariant v = grid.value(r, c, f);
                cells << (v.isNull() ? u"-"_s : v.toString());
            }
        out.push_back((labels(grid.rows(), r) + u": "_s + cells.join(u' ')).toStdString());
    }
    return out;
}

struct Case
{
    const char* name;
    Source source;
    Definition definition;
    std::vector<std::string> expected;
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

class PivotGrid : public testing::TestWithParam<Case>
{
};

TEST_P(PivotGrid, LaysOutAndAggregatesFromTheRows)
{
    const Case& c = GetParam();
    const Outcome<Grid> grid = build(c.source, c.definition);
    ASSERT_TRUE(grid) << grid.refusal()->message.toStdString();
    EXPECT_EQ(dump(*grid), c.expected);
}

const QVariant null;

INSTANTIATE_TEST_SUITE_P(
    Engine, PivotGrid,
    testing::Values(
        Case{"NestedDimensionsWithSubtotals",
             tasks({{"bob", 2, "A", 1, null},
                    {"ann", 10, "C", 2, null},
                    {"ann", 2, "A", 4, null},
                    {"ann", 2, "C", 8, null},
                    {"bob", 2, "A", 16, null}}),
             {{dim("Owner"), dim("Priority")}, {dim("Status")}, {fact("Hours", Aggregate::Sum)}},
             {"A C *", "ann/2: 4 8 12", "ann/10: - 2 2", "ann/*: 4 10 14", "bob/2: 17 - 17",
              "bob/*: 17 - 17", "*/*: 21 10 31"}},
        Case{"TotalsOfAverageMinMaxCountFromTheRows",
             tasks({{"ann", 1, "A", 1, null},
                    {"ann", 1, "A", 2, null},
                    {"ann", 1, "A", 3, null},
                    {"bob", 1, "A", 10, null}}),
             {{dim("Owner")},
              {},
              {fact("Hours", Aggregate::Average), fact("Hours", Aggregate::Min),
               fact("Hours", Aggregate::Max), fact("Hours", Aggregate::Count)}},
             {"*", "ann: 2 1 3 3", "bob: 10 10 10 1", "*: 4 1 10 4"}},
        Case{"NullFactsSkippedByCountAndAverage",
             tasks({{"ann", 1, "A", 4, null},
                    {"ann", 1, "A", null, null},
                    {"ann", 1, "A", 8, null},
                    {"bob", 1, "A", null, null}}),
             {{dim("Owner")},
              {},
              {fact("Hours", Aggregate::Count), fact("Hours", Aggregate::Average),
               fact("Hours", Aggregate::Sum)}},
             {"*", "ann: 2 6 12", "bob: 0 - -", "*: 2 6 12"}},
        Case{"NaturalOrderOfMembers",
             tasks({{"Bob", 10, "x", 1, at("2024-02-05 12:00:00")},
                    {"ann", 2, "x", 1, at("2024-12-01 12:00:00")},
                    {nullptr, 2, "x", 1, at("2024-01-07 12:00:00")},
                    {"carl", null, "x", 1, at("2024-09-04 12:00:00")},
                    {"", 2, "x", 1, null}}),
             {{dim("Owner")},
              {dim("Priority"), dim("Entered", DatePart::Month)},
              {fact("Hours", Aggregate::Count)}},
             {"2/January 2/December 2/ 2/* 10/February 10/* /September /* */*",
              "ann: - 1 - 1 - - - - 1", "Bob: - - - - 1 1 - - 1", "carl: - - - - - - 1 1 1",
              ": 1 - 1 2 - - - - 2", "*: 1 1 1 3 1 1 1 1 5"}},
        Case{"WeekdaysFromMondayAndOtherDateParts",
             tasks({{"a", 1, "x", 1, at("2024-01-07 10:00:00")},   // Sunday
                    {"a", 1, "x", 1, at("2024-01-01 10:00:00")},   // Monday
                    {"a", 1, "x", 1, at("2024-01-20 10:00:00")},   // Saturday
                    {"a", 1, "x", 1, at("2024-01-31 10:00:00")}}), // Wednesday
             {{dim("Entered", DatePart::DayOfWeek)},
              {dim("Entered", DatePart::TenDays)},
              {fact("Hours", Aggregate::Sum)}},
             {"1 2 3 *", "Monday: 1 - - 1", "Wednesday: - - 1 1", "Saturday: - 1 - 1",
              "Sunday: 1 - - 1", "*: 2 1 1 4"}},
        Case{"LocalDateOfTheGmtMomentDecidesTheParts",
             tasks({{"a", 1, "x", 1, at("2023-12-31 23:30:00")},
                    {"a", 1, "x", 1, QDateTime(QDate(2023, 12, 31), QTime(21, 0), Qt::UTC)}},
                   2 * 3600),
             {{dim("Entered", DatePart::Year), dim("Entered", DatePart::Quarter)},
              {dim("Entered", DatePart::WeekOfYear), dim("Entered", DatePart::DayOfMonth)},
              {fact("Hours", Aggregate::Sum)}},
             {"1/1 1/* 52/31 52/* */*", "2023/Q4: - - 1 1 1", "2023/*: - - 1 1 1",
              "2024/Q1: 1 1 - - 1", "2024/*: 1 1 - - 1", "*/*: 1 1 1 1 2"}},
        Case{"FormulasOverEachCellAndTotal",
             tasks({{"ann", 1, "A", 8, null},
                    {"ann", 1, "A", 0, null},
                    {"bob", 1, "A", 0, null},
                    {"bob", 1, "A", 0, null}}),
             {{dim("Owner")},
              {},
              {fact("Hours", Aggregate::Sum, "Spent"), fact("Owner", Aggregate::Count, "Tasks"),
               formula("Spent / Tasks", "PerTask"), formula("tasks / spent", "Inverse"),
               formula("-(spent + 2) * [Tasks] - 1 / 4", "Mixed")}},
             {"*", "ann: 8 2 4 0.25 -20.25", "bob: 0 2 0 - -4.25", "*: 8 4 2 0.5 -40.25"}},
        // Hidden text, empty, number and date-part members leave their rows out of every cell
        // and total, and out of the other axis (bob's "C" makes no column).
        Case{"HiddenMembersLeaveTheirRowsOut",
             tasks({{"ann", 2, "A", 1, at("2024-01-05 12:00:00")},
                    {"bob", 2, "C", 2, at("2024-01-05 12:00:00")},
                    {nullptr, 2, "A", 4, at("2024-01-05 12:00:00")},
                    {"ann", 10, "A", 8, at("2024-01-05 12:00:00")},
                    {"ann", 2, "A", 16, at("2024-02-05 12:00:00")}}),
             {{hiding(dim("Owner"), {u"bob"_s, null}), hiding(dim("Priority"), {10.0})},
              {dim("Status"), hiding(dim("Entered", DatePart::Month), {2})},
              {fact("Hours", Aggregate::Sum)}},
             {"A/January A/* */*", "ann/2: 1 1 1", "ann/*: 1 1 1", "*/*: 1 1 1"}}),
    [](const testing::TestParamInfo<Case>& p) { return p.param.name; });

struct Refused
{
    const char* name;
    Definition definition;
    Limits limits;
    const char* message;
};

void PrintTo(const Refused& c, std::ostream* os)
{
    *os << c.name;
}

class PivotRefusal : public testing::TestWithParam<Refused>
{
};

TEST_P(PivotRefusal, NamesWhatIsWrong)
{
    const Refused& c = GetParam();
    const Source source = tasks({{"ann", 1, "A", 1, at("2024-01-01 00:00:00")},
                                 {"bob", 2, "C", 2, at("2024-02-01 00:00:00")},
                                 {"carl", 3, "I", 3, at("2024-03-01 00:00:00")}});
    const Outcome<Grid> grid = build(source, c.definition, c.limits);
    ASSERT_FALSE(grid);
    EXPECT_EQ(grid.refusal()->message, QString::fromUtf8(c.message));
}

const Fact kHours = fact("Hours", Aggregate::Sum);

INSTANTIATE_TEST_SUITE_P(
    Engine, PivotRefusal,
    testing::Values(
        Refused{"MoreRowsThanTheCap",
                {{dim("Owner")}, {}, {kHours}},
                {2, 100},
                "The analysis reads more than 2 rows. Narrow its query."},
        Refused{"MoreCellsThanTheCap",
                {{dim("Owner")}, {dim("Status")}, {kHours, kHours}},
                {1'000'000, 31},
                // (3 owners + total) x (3 statuses + total) x 2 facts = 32
                "The analysis would show more than 31 cells. Choose fewer dimensions or narrow "
                "its query."},
        Refused{"UnknownColumn",
                {{dim("owner")}, {}, {fact("Minutes", Aggregate::Sum)}},
                {},
                "The analysis names \"Minutes\", which is no column of its query."},
        Refused{"DatePartOfNoDate",
                {{dim("Status", DatePart::Year)}, {}, {kHours}},
                {},
                "The column \"Status\" holds no dates to split."},
        Refused{"FormulaNamingNoFact",
                {{dim("Owner")}, {}, {kHours, formula("Hours / Tasks", "R")}},
                {},
                "Unknown fact \"Tasks\" in the formula of \"R\"."},
        Refused{"FormulaFittingTwoFacts",
                {{dim("Owner")},
                 {},
                 {fact("Hours", Aggregate::Sum, "Spent"), fact("Priority", Aggregate::Max, "spent"),
                  formula("Spent * 2", "R")}},
                {},
                "\"Spent\" fits two facts in the formula of \"R\"."},
        Refused{"FormulaSyntax",
                {{dim("Owner")}, {}, {kHours, formula("Hours * (2 + )", "R")}},
                {},
                "The formula of \"R\" is not valid at \")\"."},
        Refused{"FormulaCutShort",
                {{dim("Owner")}, {}, {kHours, formula("(Hours * 2", "R")}},
                {},
                "The formula of \"R\" ends too soon."},
        Refused{"FormulaWithTrailingText",
                {{dim("Owner")}, {}, {kHours, formula("Hours 2", "R")}},
                {},
                "The formula of \"R\" is not valid at \"2\"."}),
    [](const testing::TestParamInfo<Refused>& p) { return p.param.name; });

TEST(PivotFormulaCheck, TitleGoesBeforeNameAndTheDefaultCapsAreNamed)
{
    // "Hours" is one fact's column and another's title: the title wins.
    const QList<Fact> facts{fact("Hours", Aggregate::Sum, "Spent"),
                            fact("Priority", Aggregate::Max, "Hours")};
    Outcome<Formula> f = Formula::parse(u"R"_s, u"hours"_s, facts);
    ASSERT_TRUE(f);
    const double values[] = {1, 7};
    EXPECT_EQ(f->evaluate(values), 7);
    EXPECT_FALSE(checkFormula(u"R"_s, u"Spent / 2"_s, facts));
    EXPECT_TRUE(checkFormula(u"R"_s, QString(), facts));

    EXPECT_EQ(tooManyRowsMessage(Limits().rows),
              u"The analysis reads more than 1,000,000 rows. Narrow its query."_s);
}

// A formula is read by descent, one level a parenthesis: a stored formula nested without end is
// refused before it runs the stack out (a find of the fuzz target pivot_formula).
TEST(PivotFormulaCheck, DeepNestingIsRefusedInsteadOfOverflowing)
{
    const QList<Fact> facts{fact("Hours", Aggregate::Sum)};
    const Outcome<Formula> deep = Formula::parse(
        u"R"_s, QString::fromUtf8(test::fuzzFind("pivot_formula", "deep-parentheses")), facts);
    ASSERT_FALSE(deep);
    EXPECT_EQ(deep.refusal()->message,
              u"The formula of \"R\" is nested more than 200 levels deep."_s);

    const QString deepest = QString(198, u'(') + u"-Hours"_s + QString(198, u')');
    const Outcome<Formula> kept = Formula::parse(u"R"_s, deepest, facts);
    ASSERT_TRUE(kept) << kept.refusal()->message.toStdString();
    const double values[] = {2};
    EXPECT_EQ(kept->evaluate(values), -2);
}

} // namespace
