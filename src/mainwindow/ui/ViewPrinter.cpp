#include "mainwindow/ui/ViewPrinter.h"

#include "core/Prompt.h"
#include "core/WholeFile.h"
#include "core/ui/Named.h"
#include "mainwindow/ViewListing.h"

#include <QBuffer>
#include <QCursor>
#include <QFileDialog>
#include <QFont>
#include <QFontMetricsF>
#include <QMenu>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <algorithm>
#include <cmath>

namespace bx {

namespace {

constexpr qreal kLargestPointSize = 10.0;
constexpr qreal kSmallestPointSize = 5.0;

QFont listingFont(qreal pointSize)
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSizeF(pointSize);
    return font;
}

} // namespace

bool ViewPrinter::render(const QStringList& lines, QPagedPaintDevice& device)
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;

    const qreal pageWidth = device.width();
    const qreal pageHeight = device.height();
    QString longest;
    for (const QString& line : lines) {
        if (line.size() > longest.size())
            longest = line;
    }

    // Shrink the font until the widest line fits; a monospaced font scales linearly.
    QFont font = listingFont(kLargestPointSize);
    const qreal advance = QFontMetricsF(font, &device).horizontalAdvance(longest);
    if (advance > pageWidth) {
        const qreal size = std::max(kSmallestPointSize, kLargestPointSize * pageWidth / advance);
        font = listingFont(std::floor(size * 10.0) / 10.0);
    }
    painter.setFont(font);
    const QFontMetricsF metrics(font, &device);
    const qreal lineHeight = metrics.lineSpacing();
    const int perPage = std::max(1, static_cast<int>(pageHeight / lineHeight));

    for (int i = 0; i < lines.size(); ++i) {
        const int onPage = i % perPage;
        if (i > 0 && onPage == 0 && !device.newPage())
            return false;
        painter.drawText(QPointF(0, onPage * lineHeight + metrics.ascent()), lines.at(i));
    }
    return painter.end();
}

void ViewPrinter::preview(const QStringList& lines, QWidget* parent)
{
    QPrintPreviewDialog dialog(parent);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&lines](QPrinter* printer) { render(lines, *printer); });
    dialog.exec();
}

bool ViewPrinter::print(const QStringList& lines, QWidget* parent)
{
    QPrinter printer;
    QPrintDialog dialog(&printer, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    return render(lines, printer);
}

bool ViewPrinter::exportPdf(const QStringList& lines, const QString& path, QString* error)
{
    // The document is made in memory and then replaces the file in one step, so that a failure
    // leaves a file of the same name as it was.
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    bool done = false;
    {
        QPdfWriter writer(&pdf);
        writer.setTitle(lines.value(0));
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
        done = render(lines, writer);
    }
    if (!done) {
        if (error)
            *error = QStringLiteral("Cannot write %1: the listing could not be drawn").arg(path);
        return false;
    }
    const QString failure = writeWholeFile(path, pdf.data());
    if (!failure.isEmpty()) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(path, failure);
        return false;
    }
    return true;
}

bool ViewPrinter::chooseAndRun(const QStringList& lines, QWidget* parent, Prompt& prompt)
{
    QMenu menu(parent);
    QAction* previewAction = named(menu.addAction(QStringLiteral("Print Preview")), "PREVIEW");
    QAction* printAction = named(menu.addAction(QStringLiteral("Print")), "PRINT");
    QAction* pdfAction = named(menu.addAction(QStringLiteral("PDF")), "PDF");
    QAction* chosen = menu.exec(QCursor::pos());
    if (chosen == previewAction) {
        preview(lines, parent);
        return true;
    }
    if (chosen == printAction)
        return print(lines, parent);
    if (chosen != pdfAction)
        return false;
    const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("PDF"), QString(),
                                                      QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty())
        return false;
    QString error;
    if (!exportPdf(lines, path, &error)) {
        prompt.inform(error, QString(), PromptIcon::Critical);
        return false;
    }
    return true;
}

} // namespace bx
