#pragma once

#include <QByteArray>
#include <QPageLayout>
#include <QString>

#include <functional>

class QPagedPaintDevice;
class QPrinter;
class QWidget;

namespace bx {

/**
 * Prints one HTML page (a generated report, a filled-in form) through QTextDocument: to the print
 * preview, to a printer or to a PDF file, or hands it on as HTML. Unlike ViewPrinter, which lays
 * out lines of a list, the page keeps its tables and styles; a table's <thead> rows are repeated
 * at the top of every page it runs onto.
 *
 * A page header and footer, when given, are drawn as plain text at the top and bottom of every
 * page, outside the page's own text, each told its page's number and the number of pages.
 */
class HtmlPrinter
{
public:
    /** The text of one page's header or footer; plain text, never markup. */
    using PageText = std::function<QString(int page, int pages)>;

    /** `title`: the PDF document's title; none when empty. */
    explicit HtmlPrinter(QString html, QString title = {});

    /**
     * Text at the top and at the bottom of every page; an empty function draws none. From then
     * on the pages are laid out here, in the device's own units and margins, without the page
     * numbers QTextDocument::print adds.
     */
    void setPageTexts(PageText header, PageText footer);
    /** Upright (the default) or across. */
    void setOrientation(QPageLayout::Orientation orientation) { m_orientation = orientation; }

    /** Gives the printer this page's orientation; call it before the print dialog shows. */
    void setUp(QPrinter& printer) const;
    /** The print preview, from which the user may print. */
    void preview(QWidget* parent) const;
    /** Prints on `printer` as it is set up. */
    void print(QPrinter& printer) const;
    /** The page as a PDF file's bytes (A4, 15 mm margins). */
    QByteArray pdf() const;
    /**
     * Writes the page as a PDF file (A4, 15 mm margins) at `path`, all at once. @return "" when
     * written; otherwise the reason, as the system words it
     */
    QString writePdf(const QString& path) const;
    /**
     * The page as UTF-8 HTML, one page long: the header (as page 1 of 1) opens its body and the
     * footer closes it, both escaped.
     */
    QByteArray html() const;
    /** Writes html() at `path`, all at once; "" or the reason as for writePdf(). */
    QString writeHtml(const QString& path) const;

private:
    void paint(QPagedPaintDevice& device) const;
    void paintWithPageTexts(QPagedPaintDevice& device) const;

    QString m_html;
    QString m_title;
    PageText m_header;
    PageText m_footer;
    bool m_pageTexts = false;
    QPageLayout::Orientation m_orientation = QPageLayout::Portrait;
};

} // namespace bx
