#include "core/ui/HtmlPrinter.h"

#include "core/WholeFile.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextDocument>

namespace bx {

HtmlPrinter::HtmlPrinter(QString html, QString title)
    : m_html(std::move(html))
    , m_title(std::move(title))
{
}

void HtmlPrinter::paint(QPagedPaintDevice& device) const
{
    QTextDocument document;
    document.setHtml(m_html);
    document.print(&device);
}

void HtmlPrinter::preview(QWidget* parent) const
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintPreviewDialog dialog(&printer, parent);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [this](QPrinter* p) { paint(*p); });
    dialog.exec();
}

void HtmlPrinter::print(QPrinter& printer) const
{
    paint(printer);
}

QString HtmlPrinter::writePdf(const QString& path) const
{
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        if (!m_title.isEmpty())
            writer.setTitle(m_title);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
        writer.setResolution(300);
        paint(writer);
    }
    pdf.close();
    return writeWholeFile(path, pdf.data());
}

} // namespace bx
