#pragma once

#include "reports/ReportLayout.h"

#include <QString>
#include <QVariant>

namespace bx {

class Clock;
class RecordSet;

/**
 * A report laid out as one HTML page, and the texts each printed page carries at its top and
 * bottom. Everything read from the database, and every text of the layout, is in the page as
 * text (escaped), never as markup.
 */
struct RenderedReport
{
    QString title;
    /** A whole UTF-8 page: the title, then per group its header, the rows under the column
     * captions (repeated at the top of every printed page) and its footer, then the totals. */
    QString html;
    ReportOrientation orientation = ReportOrientation::Portrait;
    /** The layout's header and footer texts, placeholders not yet filled in. */
    QString header;
    QString footer;
    /** What {date} and {user} stand for. */
    QString date;
    QString user;

    /**
     * The header or footer of one printed page: {title}, {date}, {page}, {pages} and {user}
     * replaced in one pass, so that a title holding "{page}" is printed as it is.
     */
    QString pageText(const QString& text, int page, int pages) const;
    QString headerText(int page, int pages) const { return pageText(header, page, pages); }
    QString footerText(int page, int pages) const { return pageText(footer, page, pages); }
};

namespace reportrender {

/**
 * Lays out the rows of a layout. `rows` must hold every field the layout's columns name (the
 * runner checks it), in the order the layout's grouping needs. Stored GMT moments are shown in
 * local time of `clock`; {date} is its local day and {user} `userId`.
 */
RenderedReport render(const ReportLayout& layout, const RecordSet& rows, const Clock& clock,
                      const QString& userId);

/**
 * One value as a column of the given format shows it: numbers with the column's decimals,
 * currency as "$1,234.50" (negative "-$1,234.50"), dates as the local "yyyy-MM-dd" (with
 * " HH:mm" for date and time), flags as "Yes" or "No". Null shows as "" (a flag as "No"); a value
 * that is not what the format expects shows as its text.
 */
QString displayValue(const ReportColumn& column, const QVariant& value, const Clock& clock);

/** Dollars and cents, "$###,##0.00", rounded half away from zero. */
QString currencyText(double amount);

/** The CSS font families of a style's title, headings and body, each ending on a generic family
 * so that a font the computer lacks falls back to its kind. */
struct StyleFonts
{
    QString title;
    bool titleBold = true;
    QString heading;
    bool headingBold = true;
    QString body;
};
StyleFonts styleFonts(std::optional<ReportStyle> style);

} // namespace reportrender

} // namespace bx
