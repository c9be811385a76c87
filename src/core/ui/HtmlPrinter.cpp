#include "core/ui/HtmlPrinter.h"

#include "core/WholeFile.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QTextDocument>

namespace bx {

namespace {

/** The size of the header and footer text. */
constexpr qreal kPageTextPoints = 8;

} // namespace

HtmlPrinter::HtmlPrinter(QString html, QString title)
    : m_html(std::move(html))
    , m_title(std::move(title))
{
}

void HtmlPrinter::setPageTexts(PageText header, PageText footer)
{
    m_header = std::move(header);
    m_footer = std::move(footer);
    m_pageTexts = true;
}

void HtmlPrinter::paint(QPagedPaintDevice& device) const
{
    if (m_pageTexts) {
        paintWithPageTexts(device);
        return;
    }
    QTextDocument document;
    document.setHtml(m_html);
    document.print(&device);
}

void HtmlPrinter::paintWithPageTexts(QPagedPaintDevice& device) const
{
    QTextDocument document;
    document.setUndoRedoEnabled(false);
    // Laid out in the device's own units, so that the pages break where they are printed.
    document.documentLayout()->setPaintDevice(&device);
    document.setDocumentMargin(0);
    document.setHtml(m_html);

    QPainter painter(&device);
    if (!painter.isActive())
        return;
    QFont font = document.defaultFont();
    font.setPointSizeF(kPageTextPoints);
    painter.setFont(font);
    const QFontMetricsF metrics(font, &device);
    const qreal width = device.width();
    const qreal height = device.height();
    const qreal band = metrics.lineSpacing() * 2;
    const qreal top = m_header ? band : 0;
    const qreal bottom = m_footer ? band : 0;
    const QSizeF body(width, height - top - bottom);
    document.setPageSize(body);

    const int pages = document.pageCount();
    const auto line = [&](const PageText& text, int page) {
        return metrics.elidedText(text(page, pages), Qt::ElideRight, width);
    };
    for (int i = 0; i < pages; ++i) {
        if (i > 0)
            device.newPage();
        const QRectF clip(0, i * body.height(), body.width(), body.height());
        painter.save();
        painter.translate(0, top - clip.top());
        painter.setClipRect(clip);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = clip;
        context.palette.setColor(QPalette::Text, Qt::black);
        document.documentLayout()->draw(&painter, context);
        painter.restore();
        if (m_header)
            painter.drawText(QRectF(0, 0, width, top), Qt::AlignHCenter | Qt::AlignTop,
                             line(m_header, i + 1));
        if (m_footer)
            painter.drawText(QRectF(0, height - bottom, width, bottom),
                             Qt::AlignHCenter | Qt::AlignBottom, line(m_footer, i + 1));
    }
}

void HtmlPrinter::setUp(QPrinter& printer) const
{
    printer.setPageOrientation(m_orientation);
}

void HtmlPrinter::preview(QWidget* parent) const
{
    QPrinter printer(QPrinter::HighResolution);
    setUp(printer);
    QPrintPreviewDialog dialog(&printer, parent);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [this](QPrinter* p) { paint(*p); });
    dialog.exec();
}

void HtmlPrinter::print(QPrinter& printer) const
{
    paint(printer);
}

QByteArray HtmlPrinter::pdf() const
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        if (!m_title.isEmpty())
            writer.setTitle(m_title);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), m_orientation,
                                         QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
        writer.setResolution(300);
        paint(writer);
    }
    buffer.close();
    return buffer.data();
}

QString HtmlPrinter::writePdf(const QString& path) const
{
    return writeWholeFile(path, pdf());
}

QByteArray HtmlPrinter::html() const
{
    QString page = m_html;
    const auto paragraph = [](const QString& text) {
        return QStringLiteral("\n<p style=\"text-align: center; font-size: 8pt\">") +
               text.toHtmlEscaped() + QStringLiteral("</p>\n");
    };
    if (m_header) {
        // After the body's start tag, or at the very start of a fragment.
        static const QRegularExpression body(QStringLiteral("<body[^>]*>"),
                                             QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch m = body.match(page);
        page.insert(m.hasMatch() ? m.capturedEnd() : 0, paragraph(m_header(1, 1)));
    }
    if (m_footer) {
        const qsizetype end = page.lastIndexOf(QStringLiteral("</body>"), -1, Qt::CaseInsensitive);
        page.insert(end >= 0 ? end : page.size(), paragraph(m_footer(1, 1)));
    }
    return page.toUtf8();
}

QString HtmlPrinter::writeHtml(const QString& path) const
{
    return writeWholeFile(path, html());
}

} // namespace bx
