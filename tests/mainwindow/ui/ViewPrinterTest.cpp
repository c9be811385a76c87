#include "mainwindow/ui/ViewPrinter.h"

#include "support/SampleFiles.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bx;

namespace {

QStringList listing(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << QStringLiteral("Line %1").arg(i).leftJustified(120, QLatin1Char('.'));
    return lines;
}

int pageCount(const QByteArray& pdf)
{
    // Page objects; the page tree ("/Type /Pages") does not count.
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s\\w])"));
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
        const QString path = dir.filePath(QStringLiteral("view%1.pdf").arg(lines));
        QString error;
        ASSERT_TRUE(ViewPrinter::exportPdf(listing(lines), path, &error)) << error.toStdString();
        const QByteArray pdf = bx::test::fileBytes(path);
        EXPECT_TRUE(pdf.startsWith("%PDF"));
        EXPECT_EQ(pageCount(pdf) > 1, lines > 3) << pageCount(pdf);
        EXPECT_GE(pageCount(pdf), 1);
    }

    const QString path = dir.filePath(QStringLiteral("missing/view.pdf"));
    QString error;
    EXPECT_FALSE(ViewPrinter::exportPdf(listing(3), path, &error));
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path));
}

} // namespace
