#pragma once

#include <QString>

class QPagedPaintDevice;
class QPrinter;
class QWidget;

namespace bx {

/**
 * Prints one HTML page (a generated report, a filled-in form) through QTextDocument: to the print
 * preview, to a printer or to a PDF file. Unlike ViewPrinter, which lays out lines of a list, the
 * page keeps its tables and styles.
 */
class HtmlPrinter
{
public:
    /** `title`: the PDF document's title; none when empty. */
    explicit HtmlPrinter(QString html, QString title = {});

    /** The print preview, from which the user may print. */
    void preview(QWidget* parent) const;
    /** Prints on `printer` as it is set up. */
    void print(QPrinter& printer) const;
    /**
     * Writes the page as a PDF file (A4, 15 mm margins) at `path`, all at once. @return "" when
     * written; otherwise the reason, as the system words it
     */
    QString writePdf(const QString& path) const;

private:
    void paint(QPagedPaintDevice& device) const;

    QString m_html;
    QString m_title;
};

} // namespace bx
