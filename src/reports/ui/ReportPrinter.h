#pragma once

#include "core/ui/HtmlPrinter.h"

namespace bx {

struct RenderedReport;

/**
 * The printer of a rendered report: its page in its orientation, the report's header and footer
 * on every page, and its title as the PDF document's title.
 */
HtmlPrinter reportPrinter(const RenderedReport& report);

} // namespace bx
