#pragma once

#include "reports/Pivot.h"
#include "reports/PivotPresentation.h"

#include <QByteArray>
#include <QString>

namespace bx::pivot {

/**
 * The grid as a CSV file (UTF-8, fields quoted as RFC 4180 has it, lines ending in CR LF): a header
 * line with the row dimensions' titles, then each body column's captions joined by " / " (its fact
 * last); then one line per row, subtotals and totals included, every line carrying all its row
 * captions. A caption a spreadsheet would take for a formula (starting with "=", "+", "-", "@" and
 * not a number) is written with a leading "'".
 */
QByteArray toCsv(const Grid& grid);

/**
 * The grid as a whole HTML page (UTF-8): the title (when shown) aligned as `presentation` says,
 * then one table with the nested headers as spanning cells and totals in bold. Every text is
 * escaped. The same page is printed.
 */
QString toHtml(const Grid& grid, const Presentation& presentation);

} // namespace bx::pivot
