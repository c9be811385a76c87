#include "reports/PivotExport.h"

#include "reports/PivotChartData.h"
#include "reports/PivotLayout.h"
#include "support/PivotRows.h"
#include "support/QtPrinters.h"

#include <QRegularExpression>

#include <gtest/gtest.h>
#include <map>

using namespace bx;
using namespace bx::pivot;
using namespace bx::test;
using namespace Qt::StringLiterals;
using olap::Aggregate;

namespace {

/** The CSV's UTF-8 lines without their CR LF; fails on a bare LF ending a line or a BOM. */
QStringList csvLines(const Grid& grid)
{
    const QByteArray bytes = toCsv(grid);
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
    const QString text = QString::fromUtf8(bytes);
    EXPECT_TRUE(text.endsWith(u"\r\n"_s));
    QStringList lines = text.split(u"\r\n"_s);
    lines.removeLast();
    return lines;
}

struct CsvCase
{
    const char* name;
    Source source;
    Definition definition;
    QStringList lines;
};

void PrintTo(const CsvCase& c, std::ostream* os)
{
    *os << c.name;
}

class CsvTest : public ::testing::TestWithParam<CsvCase>
{
};

TEST_P(CsvTest, WritesEveryLineQuotedAsRfc4180)
{
    const CsvCase& c = GetParam();
    EXPECT_EQ(csvLines(built(c.source, c.definition)), c.lines);
}

const CsvCase kCsvCases[] = {
    {"QuotesCommasNewlinesAndFormulas",
     hoursByOwner({{"say \"hi\"", 1, "", 4},
                   {"a,b", 1, "", 2},
                   {"line\nbreak", 1, "", 3},
                   {"<b>R&D</b> & Co", 1, "", 1.5},
                   {"=SUM(A1)", 1, "", 6},
                   {"-7", 1, "", 0},
                   {"Zoë", 1, "", 5}}),
     {{dimension("Owner")}, {}, {hoursFact()}},
     {u"Owner,Hours"_s, u"-7,0"_s, u"<b>R&D</b> & Co,1.5"_s, u"'=SUM(A1),6"_s, u"\"a,b\",2"_s,
      u"\"line\nbreak\",3"_s, u"\"say \"\"hi\"\"\",4"_s, u"Zoë,5"_s, u"Total,21.5"_s}},
    {"NestedColumnsFlattenedWithTheirSubtotals",
     twoYears(),
     ownerByYearAndStatus(),
     {u"Owner,2023 / Open / Hours,2023 / Total / Hours,2024 / Done / Hours,"
      "2024 / Open / Hours,2024 / Total / Hours,Total / Hours"_s,
      u"ann,1,1,,2,2,3"_s, u"bob,,,4,8,12,12"_s, u"Total,1,1,4,10,14,15"_s}},
    {"NestedRowsWithSubtotalsAndTwoFacts",
     twoYears(),
     {{dimension("Owner"), dimension("Status")},
      {},
      {hoursFact(), hoursFact(Aggregate::Count, "Tasks")}},
     {u"Owner,Status,Hours,Tasks"_s, u"ann,Open,3,2"_s, u"ann,Total,3,2"_s, u"bob,Done,4,1"_s,
      u"bob,Open,8,1"_s, u"bob,Total,12,2"_s, u"Total,,15,4"_s}},
    {"AverageKeepsItsPrecision",
     hoursByOwner({{"ann", 1, "", 1}, {"ann", 1, "", 1}, {"ann", 1, "", 2}}),
     {{}, {}, {hoursFact(Aggregate::Average, "Mean, hours")}},
     {u",\"Mean, hours\""_s, u"Total,1.33333333333333"_s}},
};

INSTANTIATE_TEST_SUITE_P(Export, CsvTest, ::testing::ValuesIn(kCsvCases),
                         [](const ::testing::TestParamInfo<CsvCase>& c) {
                             return std::string(c.param.name);
                         });

/**
 * The table of an HTML page as the browser places it: every cell in each slot it covers (rowspan
 * and colspan followed), text unescaped. Fails when a row's slots do not add up to `width`.
 */
QList<QStringList> tableSlots(const QString& html, int width)
{
    static const QRegularExpression row(u"<tr[^>]*>(.*?)</tr>"_s,
                                        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression cell(u"<(th|td)((?: [a-z]+=\"[^\"]*\")*)>(.*?)</\\1>"_s,
                                         QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression span(u"(colspan|rowspan)=\"(\\d+)\""_s);
    QList<QStringList> table;
    std::map<std::pair<int, int>, QString> taken;
    int r = 0;
    for (auto rows = row.globalMatch(html); rows.hasNext(); ++r) {
        const QString content = rows.next().captured(1);
        QStringList line(width, QString());
        int c = 0;
        for (auto cells = cell.globalMatch(content); cells.hasNext();) {
            const auto m = cells.next();
            int across = 1;
            int down = 1;
            for (auto s = span.globalMatch(m.captured(2)); s.hasNext();) {
                const auto sm = s.next();
                (sm.captured(1) == u"colspan" ? across : down) = sm.captured(2).toInt();
            }
            while (taken.count({r, c}))
                ++c;
            QString text = m.captured(3);
            text.remove(QRegularExpression(u"</?b>"_s));
            text.replace(u"&lt;"_s, u"<"_s)
                .replace(u"&gt;"_s, u">"_s)
                .replace(u"&quot;"_s, u"\""_s)
                .replace(u"&amp;"_s, u"&"_s);
            for (int i = 0; i < down; ++i)
                for (int j = 0; j < across; ++j)
                    taken[{r + i, c + j}] = text;
            c += across;
        }
        int filled = 0;
        for (int j = 0; j < width + 4; ++j)
            if (taken.count({r, j})) {
                filled = j + 1;
                line[std::min(j, width - 1)] = taken[{r, j}];
            }
        EXPECT_EQ(filled, width) << "row " << r;
        table << line;
    }
    return table;
}

// Nested column headers: a year spans its statuses and its subtotal, the grand total spans both
// levels, the single fact's caption stands in the corner over the row title.
TEST(HtmlTest, NestsHeadersWithSpans)
{
    const QList<QStringList> table =
        tableSlots(toHtml(built(twoYears(), ownerByYearAndStatus()), {}), 7);
    ASSERT_EQ(table.size(), 5);
    EXPECT_EQ(table[0], texts({"Hours", "2023", "2023", "2024", "2024", "2024", "Total"}));
    EXPECT_EQ(table[1], texts({"Owner", "Open", "Total", "Done", "Open", "Total", "Total"}));
    EXPECT_EQ(table[2], texts({"ann", "1", "1", "", "2", "2", "3"}));
    EXPECT_EQ(table[4], texts({"Total", "1", "1", "4", "10", "14", "15"}));
}

// Nested row headers: an owner spans its statuses and subtotal; the grand total spans both
// levels; two facts get a header level of their own.
TEST(HtmlTest, NestsRowHeadersAndGivesFactsALevel)
{
    const Grid grid = built(twoYears(), {{dimension("Owner"), dimension("Status")},
                                         {dimension("Year")},
                                         {hoursFact(), hoursFact(Aggregate::Count, "Tasks")}});
    const QList<QStringList> table = tableSlots(toHtml(grid, {}), 2 + 3 * 2);
    ASSERT_EQ(table.size(), 2 + 6);
    EXPECT_EQ(table[0], texts({"", "", "2023", "2023", "2024", "2024", "Total", "Total"}));
    EXPECT_EQ(table[1],
              texts({"Owner", "Status", "Hours", "Tasks", "Hours", "Tasks", "Hours", "Tasks"}));
    EXPECT_EQ(table[3], texts({"ann", "Total", "1", "1", "2", "1", "3", "2"}));
    EXPECT_EQ(table[4], texts({"bob", "Done", "", "", "4", "1", "4", "1"}));
    EXPECT_EQ(table[7], texts({"Total", "Total", "1", "1", "14", "3", "15", "4"}));
}

// Every text from the data is escaped: the title, members, dimension and fact captions.
TEST(HtmlTest, EscapesEveryText)
{
    const QString nasty = u"<b>R&D</b> & Co"_s;
    Definition definition{{dimension("Owner")}, {dimension("Status")}, {hoursFact()}};
    definition.rows[0].title = nasty;
    definition.facts[0].title = nasty;
    const QString html = toHtml(
        built(hoursByOwner({{"<b>R&D</b> & Co", 1, "<i>x</i>", 1}}), definition), {nasty, true, 1});
    EXPECT_FALSE(html.contains(nasty));
    EXPECT_FALSE(html.contains(u"<i>"_s));
    EXPECT_GE(html.count(u"&lt;b&gt;R&amp;D&lt;/b&gt; &amp; Co"_s), 4) << html.toStdString();
    EXPECT_TRUE(html.contains(u"&lt;i&gt;x&lt;/i&gt;"_s));
}

TEST(HtmlTest, AlignsTheTitleAsTitleAlignSays)
{
    const Grid grid = built(twoYears(), ownerByYearAndStatus());
    const struct
    {
        int align;
        const char* attribute;
    } cases[] = {{0, "align=\"left\""},
                 {1, "align=\"center\""},
                 {2, "align=\"right\""},
                 {7, "align=\"left\""}};
    for (const auto& c : cases) {
        const QString html = toHtml(grid, {u"Hours"_s, true, c.align});
        EXPECT_TRUE(html.contains(u"<h2 %1"_s.arg(QLatin1String(c.attribute)))) << c.align;
    }
    EXPECT_FALSE(toHtml(grid, {u"Hours"_s, false, 1}).contains(u"<h2"));
}

// A chart draws the innermost lines only: a subtotal would count its members twice.
TEST(ChartDataTest, ChartsInnermostLinesAndThePieFromTheColumnTotal)
{
    const Grid grid =
        built(twoYears(),
              {{dimension("Owner"), dimension("Status")}, {dimension("Year")}, {hoursFact()}});
    const ChartData data = chartData(Layout(grid));
    EXPECT_EQ(data.categories, texts({"ann / Open", "bob / Done", "bob / Open"}));
    ASSERT_EQ(data.series.size(), 2);
    EXPECT_EQ(data.series[0].name, u"2023"_s);
    EXPECT_EQ(data.series[1].values, (QList<std::optional<double>>{2.0, 4.0, 8.0}));
    EXPECT_EQ(data.series[0].values,
              (QList<std::optional<double>>{1.0, std::nullopt, std::nullopt}));
    EXPECT_EQ(data.pieName, u"Hours"_s);
    EXPECT_EQ(data.pie, (QList<std::optional<double>>{3.0, 4.0, 8.0}));

    const ChartData cut = chartData(Layout(grid), 2, 1);
    EXPECT_EQ(cut.categories.size(), 2);
    EXPECT_EQ(cut.series.size(), 1);
    EXPECT_EQ(cut.allCategories, 3);
    EXPECT_EQ(cut.allSeries, 2);
}

// Without column dimensions the one total column is the series, named after its fact.
TEST(ChartDataTest, AnAxisWithoutDimensionsChartsItsTotal)
{
    const ChartData data =
        chartData(Layout(built(twoYears(), {{dimension("Owner")}, {}, {hoursFact()}})));
    EXPECT_EQ(data.categories, texts({"ann", "bob"}));
    ASSERT_EQ(data.series.size(), 1);
    EXPECT_EQ(data.series[0].name, u"Hours"_s);
    EXPECT_EQ(data.series[0].values, (QList<std::optional<double>>{3.0, 12.0}));
}

} // namespace
