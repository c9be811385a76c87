#include "reports/ui/ReportPrinter.h"

#include "reports/ReportRenderer.h"

namespace bx {

HtmlPrinter reportPrinter(const RenderedReport& report)
{
    HtmlPrinter printer(report.html, report.title);
    // The texts are filled in per page from a copy: the printer may outlive the report.
    const auto pageText = [report](QString RenderedReport::*text) -> HtmlPrinter::PageText {
        if ((report.*text).isEmpty())
            return {};
        return [report, text](int page, int pages) {
            return report.pageText(report.*text, page, pages);
        };
    };
    printer.setPageTexts(pageText(&RenderedReport::header), pageText(&RenderedReport::footer));
    printer.setOrientation(report.orientation == ReportOrientation::Landscape
                               ? QPageLayout::Landscape
                               : QPageLayout::Portrait);
    return printer;
}

} // namespace bx
