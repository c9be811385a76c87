#include "mainwindow/ui/ViewPrinter.h"

#include "support/SampleFiles.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

QStringList listing(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << u"Line %1"_s.arg(i).leftJustified(120, QLatin1Char('.'));
    return lines;
}

int pageCount(const QByteArray& pdf)
{
    // Page objects; the page tree ("/Type /Pages") does not count.
    static const QRegularExpression page(u"/Type\\s*/Page(?![s\\w])"_s);
    int count = 0;
    for (auto it = page.globalMatch(QString::fromLatin1(pdf)); it.hasNext(); it.next())
        ++count;
    return count;
}

TEST(ViewPrinterTest, PdfBreaksLongListingsIntoPagesAndAnUnwritablePathFailsWithReason)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const int lines : {3, 200}) {
        const QString path = dir.filePath(u"view%1.pdf"_s.arg(lines));
        QString error;
        ASSERT_TRUE(ViewPrinter::exportPdf(listing(lines), path, &error)) << error.toStdString();
        const QByteArray pdf = bx::test::fileBytes(path);
        EXPECT_TRUE(pdf.startsWith("%PDF"));
        EXPECT_EQ(pageCount(pdf) > 1, lines > 3) << pageCount(pdf);
        EXPECT_GE(pageCount(pdf), 1);
    }

    const QString path = dir.filePath(u"missing/view.pdf"_s);
    QString error;
    EXPECT_FALSE(ViewPrinter::exportPdf(listing(3), path, &error));
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path));
}

} // namespace
