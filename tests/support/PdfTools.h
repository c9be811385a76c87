#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace bx::test {

/**
 * Why the PDF readers of poppler-utils cannot be used: "" when pdftotext and pdfinfo are both
 * installed. A test skips with it, except under CI, where the tools must be there.
 */
inline QString missingPdfTools()
{
    for (const char* tool : {"pdftotext", "pdfinfo"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return QLatin1String(tool) + QStringLiteral(" (poppler-utils) is not installed");
    }
    return {};
}

/** What a poppler tool prints for `arguments`; a failing run fails the test. */
inline QString popplerOutput(const char* tool, const QStringList& arguments)
{
    QProcess process;
    process.start(QStandardPaths::findExecutable(QLatin1String(tool)), arguments);
    EXPECT_TRUE(process.waitForFinished(30000)) << tool;
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

/**
 * The text of the PDF file at `path`, all pages or pages `first` to `last` (from 1), laid out as
 * printed: what stands side by side on a line of the page stays on one line of the text.
 */
inline QString pdfText(const QString& path, int first = 0, int last = 0)
{
    QStringList arguments{QStringLiteral("-layout")};
    if (first > 0)
        arguments << QStringLiteral("-f") << QString::number(first) << QStringLiteral("-l")
                  << QString::number(last > 0 ? last : first);
    return popplerOutput("pdftotext", arguments << path << QStringLiteral("-"));
}

/** A line of pdfinfo about the file, such as "Pages" or "Page size", without its name. */
inline QString pdfInfo(const QString& path, const QString& field)
{
    for (const QString& line : popplerOutput("pdfinfo", {path}).split(QLatin1Char('\n'))) {
        if (line.startsWith(field + QLatin1Char(':')))
            return line.mid(field.size() + 1).trimmed();
    }
    return {};
}

} // namespace bx::test
