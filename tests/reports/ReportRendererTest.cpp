#include "reports/ReportRenderer.h"

#include "support/FixedClock.h"
#include "support/QtPrinters.h"
#include "support/ReportSamples.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::reportrender;
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
    const qsizetype body = html.indexOf(QStringLiteral("<body>"));
    QString text = html.mid(body);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    text.replace(tag, QStringLiteral("\n"));
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    text.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    text.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    QStringList lines;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
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
        c.field = QStringLiteral("f");
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
        {column(ReportFormat::Number, 2), QStringLiteral("n/a"), "n/a"},
        {column(ReportFormat::Number, 2), QVariant(), ""},
        {column(ReportFormat::Currency), 1234.5, "$1,234.50"},
        {column(ReportFormat::Currency), -1234567.891, "-$1,234,567.89"},
        {column(ReportFormat::Currency), 0.004, "$0.00"},
        {column(ReportFormat::Currency), -0.004, "$0.00"},
        {column(ReportFormat::Currency), 999.995, "$1,000.00"},
        // Stored in GMT, shown on the local day and hour.
        {column(ReportFormat::Date), lateInJanuary, "2024-02-01"},
        {column(ReportFormat::DateTime), lateInJanuary, "2024-02-01 01:30"},
        {column(ReportFormat::Date), QStringLiteral("2024-01-31 23:30:00"), "2024-02-01"},
        {column(ReportFormat::Date), QVariant(), ""},
        {column(ReportFormat::Flag), qlonglong(1), "Yes"},
        {column(ReportFormat::Flag), qlonglong(0), "No"},
        {column(ReportFormat::Flag), QVariant(), "No"},
        {column(ReportFormat::Text), QStringLiteral("O'Brien"), "O'Brien"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.toString().toStdString());
        EXPECT_EQ(displayValue(c.column, c.value, clock), QString::fromUtf8(c.shown));
    }
}

TEST(ReportRenderer, FillsInPageTextsInOnePass)
{
    RenderedReport r;
    r.title = QStringLiteral("Plan {page}");
    r.date = QStringLiteral("2024-05-06");
    r.user = QStringLiteral("ann");
    EXPECT_EQ(
        r.pageText(QStringLiteral("{title} - {date} by {user}, page {page} of {pages}"), 2, 3),
        QStringLiteral("Plan {page} - 2024-05-06 by ann, page 2 of 3"));
    EXPECT_EQ(r.pageText(QStringLiteral("{unknown} {pages}"), 1, 1), QStringLiteral("{unknown} 1"));
}

// Groups open with their headers and close with their footers' totals, in order; hidden columns
// are nowhere; database text stays text.
TEST(ReportRenderer, LaysOutGroupsFootersAndTotals)
{
    const FixedClock clock = eastClock();
    ReportLayout layout = bx::test::sampleReportLayout();
    layout.footer = QStringLiteral("{title} page {page}");
    const RenderedReport r =
        render(layout, bx::test::sampleReportRows(), clock, QStringLiteral("ann"));

    const QStringList expected = {
        QStringLiteral("Tasks by owner"),
        QStringLiteral("Owner: ann"),
        QStringLiteral("Category: A"),
        QStringLiteral("ID"),
        QStringLiteral("1"),
        QStringLiteral("<b>R&D</b> & Co"),
        QStringLiteral("10.50"),
        QStringLiteral("2024-02-01"),
        QStringLiteral("2"),
        QStringLiteral("Beta"),
        QStringLiteral("4.25"),
        QStringLiteral("Category: B"),
        QStringLiteral("ID"),
        QStringLiteral("3"),
        QStringLiteral("Gamma"),
        QStringLiteral("1.00"),
        QStringLiteral("2024-03-01"),
        QStringLiteral("Tasks: 3"),
        QStringLiteral("Amount:"),
        QStringLiteral("15.75"),
        QStringLiteral("Owner: bob"),
        QStringLiteral("Category: A"),
        QStringLiteral("ID"),
        QStringLiteral("4"),
        QStringLiteral("Delta"),
        QStringLiteral("100.00"),
        QStringLiteral("2024-03-02"),
        QStringLiteral("Tasks: 1"),
        QStringLiteral("Amount:"),
        QStringLiteral("100.00"),
        QStringLiteral("All tasks: 4"),
        QStringLiteral("Total:"),
        QStringLiteral("115.75"),
    };
    QStringList lines = textLines(r.html);
    // Every caption line but ID is dropped, so that the sequence reads as the report does.
    for (const char* caption : {"Title", "Amount", "Due Date"}) // not "Amount:"
        lines.removeAll(QLatin1String(caption));
    EXPECT_EQ(lines, expected);

    for (const char* secret : {"s1", "s2", "s3", "s4", "Secret"})
        EXPECT_FALSE(r.html.contains(QLatin1String(secret))) << secret;
    EXPECT_FALSE(r.html.contains(QStringLiteral("<b>R&D")));
    EXPECT_EQ(r.orientation, ReportOrientation::Portrait);
    EXPECT_EQ(r.footerText(1, 2), QStringLiteral("Tasks by owner page 1"));
    EXPECT_EQ(r.user, QStringLiteral("ann"));
    EXPECT_EQ(r.date, QStringLiteral("2024-05-06"));
}

TEST(ReportRenderer, EmptyReportKeepsCaptionsAndCountsNothing)
{
    const FixedClock clock = eastClock();
    const RenderedReport r = render(bx::test::sampleReportLayout(), bx::test::manySampleRows(0),
                                    clock, QStringLiteral("ann"));
    const QStringList lines = textLines(r.html);
    EXPECT_TRUE(lines.contains(QStringLiteral("Due Date")));
    EXPECT_TRUE(lines.contains(QStringLiteral("All tasks: 0")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Total:")));
    EXPECT_TRUE(lines.contains(QStringLiteral("0.00")));
    EXPECT_FALSE(r.html.contains(QStringLiteral("Owner:")));
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
        l.title = QStringLiteral("Widths");
        l.orientation = c.orientation;
        l.columns = {{QStringLiteral("a"), QStringLiteral("A"), c.first},
                     {QStringLiteral("b"), QStringLiteral("B"), c.second}};
        const RenderedReport r =
            render(l, RecordSet({QStringLiteral("a"), QStringLiteral("b")}, {{1, 2}}), clock, {});
        EXPECT_TRUE(r.html.contains(QStringLiteral("<table width=\"") + QLatin1String(c.table)))
            << r.html.toStdString();
        EXPECT_TRUE(r.html.contains(QStringLiteral("<th width=\"") + QLatin1String(c.firstColumn)));
        EXPECT_EQ(r.orientation, c.orientation);
    }
}
