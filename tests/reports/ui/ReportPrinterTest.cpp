#include "reports/ui/ReportPrinter.h"

#include "reports/ReportRenderer.h"
#include "support/EngineFixture.h"
#include "support/FixedClock.h"
#include "support/PdfTools.h"
#include "support/ReportSamples.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::test;
using namespace Qt::StringLiterals;

namespace {

/** Renders a report of the sample layout and writes it as a PDF file to read back. */
class ReportPrinterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        BX_NEED_TEST_SERVER(missingPdfTools());
        ASSERT_TRUE(dir.isValid());
    }

    RenderedReport render(const ReportLayout& layout, const RecordSet& rows)
    {
        return reportrender::render(layout, rows, clock, u"ann"_s);
    }

    /** The PDF file of the report. */
    QString pdf(const RenderedReport& report)
    {
        const QString path = dir.filePath(u"report.pdf"_s);
        EXPECT_EQ(reportPrinter(report).writePdf(path), QString());
        return path;
    }

    // Monday 6 May 2024, two hours east of GMT.
    FixedClock clock{naive(QDate(2024, 5, 6), QTime(9, 0)), 2 * 3600};
    QTemporaryDir dir;
};

TEST_F(ReportPrinterTest, PrintsGroupsTotalsAndFormatsAsText)
{
    const QString text = pdfText(pdf(render(sampleReportLayout(), sampleReportRows())));
    // Line by line as printed: the task number, title, amount and local due date side by side.
    for (const char* expected :
         {"Tasks by owner", "Owner: ann", "Category: A", "1 <b>R&D</b> & Co 10.50 2024-02-01",
          "2 Beta 4.25", "Category: B", "3 Gamma 1.00 2024-03-01", "Tasks: 3", "Amount: 15.75",
          "Owner: bob", "4 Delta 100.00 2024-03-02", "Tasks: 1", "Amount: 100.00", "All tasks: 4",
          "Total: 115.75"}) {
        QStringList words = QString::fromUtf8(expected).split(u' ');
        for (QString& word : words)
            word = QRegularExpression::escape(word);
        const QRegularExpression line(words.join(u"[ ]+"_s));
        EXPECT_TRUE(line.match(text).hasMatch()) << expected << " in\n" << text.toStdString();
    }
    // In that order.
    qsizetype at = 0;
    for (const char* next :
         {"Owner: ann", "Category: B", "Tasks: 3", "Owner: bob", "Tasks: 1", "All tasks: 4"}) {
        const qsizetype found = text.indexOf(QLatin1String(next), at);
        EXPECT_GT(found, at) << next;
        at = std::max(at, found);
    }
    for (const char* hidden : {"s1", "s2", "s3", "s4", "Secret"})
        EXPECT_FALSE(text.contains(QLatin1String(hidden))) << hidden;
}

// Every page carries its header and footer, told its number and the number of pages, and the
// column captions above its rows.
TEST_F(ReportPrinterTest, EveryPageHasItsHeaderFooterAndCaptions)
{
    ReportLayout layout = sampleReportLayout();
    layout.title = u"<b>R&D</b> & Co"_s;
    layout.header = u"{title} for {user}"_s;
    layout.footer = u"printed {date}, page {page} of {pages}"_s;
    const QString path = pdf(render(layout, manySampleRows(115)));
    ASSERT_EQ(pdfInfo(path, u"Pages"_s), u"3"_s);
    for (int page = 1; page <= 3; ++page) {
        SCOPED_TRACE(page);
        const QString text = pdfText(path, page);
        EXPECT_TRUE(text.contains(u"<b>R&D</b> & Co for ann"_s)) << text.toStdString();
        EXPECT_TRUE(text.contains(u"printed 2024-05-06, page %1 of 3"_s.arg(page)));
        EXPECT_TRUE(text.contains(u"Due Date"_s));
    }
}

TEST_F(ReportPrinterTest, PrintsInTheLayoutsOrientationWhereItMay)
{
    for (const ReportOrientation orientation :
         {ReportOrientation::Portrait, ReportOrientation::Landscape}) {
        ReportLayout layout = sampleReportLayout();
        layout.orientation = orientation;
        const QString size = pdfInfo(pdf(render(layout, sampleReportRows())), u"Page size"_s);
        // "595.276 x 841.89 pts (A4)"
        const QStringList sides = size.split(u' ');
        ASSERT_GE(sides.size(), 3) << size.toStdString();
        const bool across = sides.at(0).toDouble() > sides.at(2).toDouble();
        EXPECT_EQ(across, orientation == ReportOrientation::Landscape) << size.toStdString();
    }
    // A folder that does not exist is refused with the system's reason and leaves no file.
    const QString nowhere = dir.filePath(u"missing/report.pdf"_s);
    EXPECT_NE(reportPrinter(render(sampleReportLayout(), sampleReportRows())).writePdf(nowhere),
              QString());
    EXPECT_FALSE(QFile::exists(nowhere));
}

// A style's fonts the computer lacks fall back to their kind: the formal style's "Times New
// Roman" prints in a serif face.
TEST_F(ReportPrinterTest, MissingStyleFontsFallBackToTheirKind)
{
    if (QStandardPaths::findExecutable(u"pdffonts"_s).isEmpty())
        GTEST_SKIP() << "pdffonts is not installed";
    ReportLayout layout = sampleReportLayout();
    layout.style = ReportStyle::Formal;
    const QString fonts = popplerOutput("pdffonts", {pdf(render(layout, sampleReportRows()))});
    EXPECT_TRUE(fonts.contains(u"Serif"_s)) << fonts.toStdString();
}

// As HTML the page is one page long: its header opens it and its footer closes it, escaped.
TEST_F(ReportPrinterTest, WritesHtmlWithHeaderAndFooterOnce)
{
    ReportLayout layout = sampleReportLayout();
    layout.title = u"<b>R&D</b> & Co"_s;
    layout.header = u"{title}"_s;
    layout.footer = u"page {page} of {pages}"_s;
    const HtmlPrinter printer = reportPrinter(render(layout, sampleReportRows()));
    const QString path = dir.filePath(u"report.html"_s);
    ASSERT_EQ(printer.writeHtml(path), QString());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    const qsizetype body = html.indexOf(u"<body>"_s);
    const qsizetype header = html.indexOf(u"&lt;b&gt;R&amp;D&lt;/b&gt; &amp; Co"_s, body);
    const qsizetype rows = html.indexOf(u"Owner: ann"_s);
    const qsizetype footer = html.indexOf(u"page 1 of 1"_s);
    EXPECT_TRUE(body >= 0 && body < header && header < rows && rows < footer &&
                footer < html.indexOf(u"</body>"_s))
        << html.toStdString();
    EXPECT_FALSE(html.contains(u"<b>R&D"_s));
    EXPECT_TRUE(html.contains(u"<meta charset=\"utf-8\">"_s));
}

} // namespace
