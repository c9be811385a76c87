#include "reports/ReportRenderer.h"

#include "support/FixedClock.h"
#include "support/QtPrinters.h"
#include "support/ReportSamples.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::reportrender;
using namespace Qt::StringLiterals;
using bx::test::FixedClock;

namespace {

/** Two hours east of GMT. */
FixedClock eastClock()
{
    return FixedClock(naive(QDate(2024, 5, 6), QTime(9, 0)), 2 * 3600);
}

/** The page's text: one line per element's text, entities read back. */
QStringList textLines(const QString& html)
{
    const qsizetype body = html.indexOf(u"<body>"_s);
    QString text = html.mid(body);
    static const QRegularExpression tag(u"<[^>]*>"_s);
    text.replace(tag, u"\n"_s);
    text.replace(u"&lt;"_s, u"<"_s);
    text.replace(u"&gt;"_s, u">"_s);
    text.replace(u"&quot;"_s, u"\""_s);
    text.replace(u"&amp;"_s, u"&"_s);
    QStringList lines;
    for (const QString& line : text.split(u'\n')) {
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    }
    return lines;
}

} // namespace

TEST(ReportRenderer, ShowsEachFormat)
{
    const FixedClock clock = eastClock();
    const auto column = [](ReportFormat format, int decimals = -1) {
        ReportColumn c;
        c.field = u"f"_s;
        c.format = format;
        c.decimals = decimals;
        return c;
    };
    const QDateTime lateInJanuary = naive(QDate(2024, 1, 31), QTime(23, 30));
    struct Case
    {
        ReportColumn column;
        QVariant value;
        const char* shown;
    };
    const Case cases[] = {
        {column(ReportFormat::Number, 2), 3.14159, "3.14"},
        {column(ReportFormat::Number, 2), 0.125, "0.13"}, // half away from zero
        {column(ReportFormat::Number, 2), -0.001, "0.00"},
        {column(ReportFormat::Number, 0), qlonglong(1234), "1234"},
        {column(ReportFormat::Number), qlonglong(42), "42"},
        {column(ReportFormat::Number), 0.5, "0.5"},
        {column(ReportFormat::Number, 2), u"n/a"_s, "n/a"},
        {column(ReportFormat::Number, 2), QVariant(), ""},
        {column(ReportFormat::Currency), 1234.5, "$1,234.50"},
        {column(ReportFormat::Currency), -1234567.891, "-$1,234,567.89"},
        {column(ReportFormat::Currency), 0.004, "$0.00"},
        {column(ReportFormat::Currency), -0.004, "$0.00"},
        {column(ReportFormat::Currency), 999.995, "$1,000.00"},
        // Stored in GMT, shown on the local day and hour.
        {column(ReportFormat::Date), lateInJanuary, "2024-02-01"},
        {column(ReportFormat::DateTime), lateInJanuary, "2024-02-01 01:30"},
        {column(ReportFormat::Date), u"2024-01-31 23:30:00"_s, "2024-02-01"},
        {column(ReportFormat::Date), QVariant(), ""},
        {column(ReportFormat::Flag), qlonglong(1), "Yes"},
        {column(ReportFormat::Flag), qlonglong(0), "No"},
        {column(ReportFormat::Flag), QVariant(), "No"},
        {column(ReportFormat::Text), u"O'Brien"_s, "O'Brien"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.toString().toStdString());
        EXPECT_EQ(displayValue(c.column, c.value, clock), QString::fromUtf8(c.shown));
    }
}

TEST(ReportRenderer, FillsInPageTextsInOnePass)
{
    RenderedReport r;
    r.title = u"Plan {page}"_s;
    r.date = u"2024-05-06"_s;
    r.user = u"ann"_s;
    EXPECT_EQ(r.pageText(u"{title} - {date} by {user}, page {page} of {pages}"_s, 2, 3),
              u"Plan {page} - 2024-05-06 by ann, page 2 of 3"_s);
    EXPECT_EQ(r.pageText(u"{unknown} {pages}"_s, 1, 1), u"{unknown} 1"_s);
}

// Groups open with their headers and close with their footers' totals, in order; hidden columns
// are nowhere; database text stays text.
TEST(ReportRenderer, LaysOutGroupsFootersAndTotals)
{
    const FixedClock clock = eastClock();
    ReportLayout layout = bx::test::sampleReportLayout();
    layout.footer = u"{title} page {page}"_s;
    const RenderedReport r = render(layout, bx::test::sampleReportRows(), clock, u"ann"_s);

    const QStringList expected =
        u"Tasks by owner|Owner: ann|Category: A|ID|1|<b>R&D</b> & Co|10.50|2024-02-01|2|Beta|4.25|"
        "Category: B|ID|3|Gamma|1.00|2024-03-01|Tasks: 3|Amount:|15.75|Owner: bob|Category: A|ID|"
        "4|Delta|100.00|2024-03-02|Tasks: 1|Amount:|100.00|All tasks: 4|Total:|115.75"_s.split(
            u'|');
    QStringList lines = textLines(r.html);
    // Every caption line but ID is dropped, so that the sequence reads as the report does.
    for (const char* caption : {"Title", "Amount", "Due Date"}) // not "Amount:"
        lines.removeAll(QLatin1String(caption));
    EXPECT_EQ(lines, expected);

    for (const char* secret : {"s1", "s2", "s3", "s4", "Secret"})
        EXPECT_FALSE(r.html.contains(QLatin1String(secret))) << secret;
    EXPECT_FALSE(r.html.contains(u"<b>R&D"_s));
    EXPECT_EQ(r.footerText(1, 2), u"Tasks by owner page 1"_s);
    EXPECT_EQ(r.date, u"2024-05-06"_s);
}

TEST(ReportRenderer, EmptyReportKeepsCaptionsAndCountsNothing)
{
    const FixedClock clock = eastClock();
    const RenderedReport r =
        render(bx::test::sampleReportLayout(), bx::test::manySampleRows(0), clock, u"ann"_s);
    const QStringList lines = textLines(r.html);
    EXPECT_TRUE(lines.contains(u"Due Date"_s));
    EXPECT_TRUE(lines.contains(u"All tasks: 0"_s));
    EXPECT_TRUE(lines.contains(u"Total:"_s));
    EXPECT_TRUE(lines.contains(u"0.00"_s));
    EXPECT_FALSE(r.html.contains(u"Owner:"_s));
}

// Widths are characters of the body font: a table narrower than the page keeps their proportion
// at its own width; a wider one is scaled down to the page.
TEST(ReportRenderer, ScalesColumnWidthsToThePage)
{
    struct Case
    {
        int first;
        int second;
        ReportOrientation orientation;
        const char* table;
        const char* firstColumn;
    };
    const Case cases[] = {
        // 30 of the 94.5 characters an upright A4 line holds at 9 pt, 140 across.
        {10, 20, ReportOrientation::Portrait, "32%", "33.3%"},
        {10, 20, ReportOrientation::Landscape, "21%", "33.3%"},
        {150, 50, ReportOrientation::Portrait, "100%", "75.0%"},
    };
    const FixedClock clock = eastClock();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        ReportLayout l;
        l.title = u"Widths"_s;
        l.orientation = c.orientation;
        l.columns = {{u"a"_s, u"A"_s, c.first}, {u"b"_s, u"B"_s, c.second}};
        const RenderedReport r = render(l, RecordSet({u"a"_s, u"b"_s}, {{1, 2}}), clock, {});
        EXPECT_TRUE(r.html.contains(u"<table width=\""_s + QLatin1String(c.table)))
            << r.html.toStdString();
        EXPECT_TRUE(r.html.contains(u"<th width=\""_s + QLatin1String(c.firstColumn)));
        EXPECT_EQ(r.orientation, c.orientation);
    }
}
