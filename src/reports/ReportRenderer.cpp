#include "reports/ReportRenderer.h"

#include "core/Clock.h"
#include "core/Gmt.h"
#include "core/TextCompare.h"
#include "core/db/RecordSet.h"

#include <QRegularExpression>

#include <cmath>
#include <vector>

namespace bx {

QString RenderedReport::pageText(const QString& text, int page, int pages) const
{
    static const QRegularExpression placeholder(
        QStringLiteral("\\{(title|date|page|pages|user)\\}"));
    QString out;
    qsizetype done = 0;
    for (auto it = placeholder.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(done, m.capturedStart() - done);
        const QString name = m.captured(1);
        if (name == QLatin1String("title"))
            out += title;
        else if (name == QLatin1String("date"))
            out += date;
        else if (name == QLatin1String("page"))
            out += QString::number(page);
        else if (name == QLatin1String("pages"))
            out += QString::number(pages);
        else
            out += user;
        done = m.capturedEnd();
    }
    return out + text.mid(done);
}

namespace reportrender {

namespace {

const QString kSerif =
    QStringLiteral("'Times New Roman', 'Liberation Serif', 'DejaVu Serif', serif");
const QString kSans = QStringLiteral("Arial, 'Liberation Sans', 'DejaVu Sans', sans-serif");
const QString kDisplay = QStringLiteral("Haettenschweiler, Impact, 'Arial Narrow', "
                                        "'Liberation Sans Narrow', 'DejaVu Sans Condensed', "
                                        "sans-serif");

/** Sizes and shading of a style, beside its fonts. */
struct Look
{
    StyleFonts fonts;
    double bodyPt = 9;
    double titlePt = 16;
    QString captionBack; ///< background of the column captions
    QString groupColor;  ///< colour of the group headers
    QString sumBack;     ///< background of footers and totals
    QString titleColor = QStringLiteral("#000000");
};

Look lookOf(std::optional<ReportStyle> style)
{
    Look look;
    look.fonts = styleFonts(style);
    look.captionBack = QStringLiteral("#e0e0e0");
    look.groupColor = QStringLiteral("#000000");
    look.sumBack = QStringLiteral("#f2f2f2");
    if (!style)
        return look;
    switch (*style) {
    case ReportStyle::Compact:
        look.bodyPt = 8;
        look.titlePt = 13;
        break;
    case ReportStyle::Corporate:
        look.titlePt = 22;
        look.captionBack = QStringLiteral("#c9d6ea");
        look.groupColor = QStringLiteral("#1f3a60");
        look.sumBack = QStringLiteral("#e8eef7");
        look.titleColor = QStringLiteral("#1f3a60");
        break;
    case ReportStyle::Formal:
        look.bodyPt = 10;
        look.titlePt = 18;
        look.captionBack = QStringLiteral("#ffffff");
        look.sumBack = QStringLiteral("#ffffff");
        break;
    case ReportStyle::Casual:
        look.titlePt = 22;
        look.captionBack = QStringLiteral("#fff2cc");
        look.groupColor = QStringLiteral("#7f4f00");
        look.sumBack = QStringLiteral("#fffaeb");
        break;
    case ReportStyle::SoftGray:
        look.titlePt = 18;
        look.captionBack = QStringLiteral("#d9d9d9");
        look.groupColor = QStringLiteral("#595959");
        look.sumBack = QStringLiteral("#ededed");
        look.titleColor = QStringLiteral("#595959");
        break;
    }
    return look;
}

/**
 * How many characters of the body font a line of the page holds: A4 less 15 mm margins (180 mm
 * upright, 267 mm across) over an average character of 0.6 of the font's size, as wide as the
 * widest of the faces the styles fall back to.
 */
double pageCharacters(ReportOrientation orientation, double bodyPt)
{
    const double widthPt =
        (orientation == ReportOrientation::Landscape ? 267.0 : 180.0) * 72 / 25.4;
    return widthPt / (bodyPt * 0.6);
}

QString styleSheet(const Look& look)
{
    const auto weight = [](bool bold) {
        return bold ? QStringLiteral("bold") : QStringLiteral("normal");
    };
    return QStringLiteral("<style type=\"text/css\">\n"
                          "body { font-family: %1; font-size: %2pt; color: #000000; }\n"
                          ".title { font-family: %3; font-size: %4pt; font-weight: %5; "
                          "color: %6; }\n"
                          ".group { font-family: %7; font-weight: %8; color: %9; }\n"
                          "th { font-family: %7; font-weight: %8; background-color: %10; }\n"
                          ".sum { font-weight: bold; background-color: %11; }\n"
                          "</style>\n")
        .arg(look.fonts.body, QString::number(look.bodyPt), look.fonts.title,
             QString::number(look.titlePt), weight(look.fonts.titleBold), look.titleColor,
             look.fonts.heading, weight(look.fonts.headingBold), look.groupColor)
        .arg(look.captionBack, look.sumBack);
}

QString alignAttribute(ReportAlign align)
{
    switch (align) {
    case ReportAlign::Left:
        return {};
    case ReportAlign::Right:
        return QStringLiteral(" align=\"right\"");
    case ReportAlign::Center:
        return QStringLiteral(" align=\"center\"");
    }
    return {};
}

/** Whether two group values are the same group: texts as the program compares names. */
bool sameGroup(const QVariant& a, const QVariant& b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull();
    if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString)
        return sameText(a.toString(), b.toString());
    return a == b;
}

/** Running figures of one total over one stretch of rows. */
struct Figures
{
    qlonglong count = 0; ///< values that are not Null
    double sum = 0;
    QVariant min;
    QVariant max;

    void add(const QVariant& v)
    {
        if (v.isNull())
            return;
        ++count;
        sum += v.toDouble();
        if (min.isNull() || QVariant::compare(v, min) == QPartialOrdering::Less)
            min = v;
        if (max.isNull() || QVariant::compare(v, max) == QPartialOrdering::Greater)
            max = v;
    }
};

QString figureText(const ReportTotal& total, const ReportColumn& column, const Figures& f,
                   const Clock& clock)
{
    switch (total.function) {
    case ReportFunction::Count:
        return QString::number(f.count);
    case ReportFunction::Sum:
        return displayValue(column, f.sum, clock);
    case ReportFunction::Avg: {
        if (f.count == 0)
            return {};
        ReportColumn shown = column;
        if (shown.format == ReportFormat::Number && shown.decimals < 0)
            shown.decimals = 2;
        return displayValue(shown, f.sum / double(f.count), clock);
    }
    case ReportFunction::Min:
        return displayValue(column, f.min, clock);
    case ReportFunction::Max:
        return displayValue(column, f.max, clock);
    }
    return {};
}

/** Builds the page row by row. */
class PageWriter
{
public:
    PageWriter(const ReportLayout& layout, const RecordSet& rows, const Clock& clock)
        : m_layout(layout)
        , m_rows(rows)
        , m_clock(clock)
        , m_look(lookOf(layout.style))
    {
        for (const ReportColumn& c : layout.columns) {
            m_index.push_back(rows.columnIndex(c.field));
            if (!c.hidden)
                m_shown.push_back(&c);
        }
        for (const ReportGroup& g : layout.grouping)
            m_groupIndex.push_back(rows.columnIndex(g.field));
        for (const ReportTotal& t : layout.totals)
            m_totalIndex.push_back(rows.columnIndex(t.field));
        // One set of figures per group level and one for the whole report.
        m_figures.assign(layout.grouping.size() + 1, std::vector<Figures>(layout.totals.size()));
    }

    QString write()
    {
        m_out.reserve(256 + qsizetype(m_rows.rowCount()) * 40 * qsizetype(m_shown.size() + 1));
        m_out += QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
                                "<title>") +
                 m_layout.title.toHtmlEscaped() + QStringLiteral("</title>\n") +
                 styleSheet(m_look) + QStringLiteral("</head>\n<body>\n<p class=\"title\">") +
                 m_layout.title.toHtmlEscaped() + QStringLiteral("</p>\n");

        const QList<QVariantList>& rows = m_rows.rows();
        const qsizetype levels = m_layout.grouping.size();
        for (qsizetype r = 0; r < rows.size(); ++r) {
            const QVariantList& row = rows.at(r);
            qsizetype changed = r == 0 ? 0 : levels;
            for (qsizetype level = 0; r > 0 && level < levels; ++level) {
                if (!sameGroup(groupValue(rows.at(r - 1), level), groupValue(row, level))) {
                    changed = level;
                    break;
                }
            }
            if (r > 0 && changed < levels)
                closeGroups(changed);
            if (changed < levels)
                openGroups(row, changed);
            openTable();
            detailRow(row);
            for (size_t i = 0; i < m_totalIndex.size(); ++i) {
                const QVariant v = valueAt(row, m_totalIndex[i]);
                for (auto& level : m_figures)
                    level[i].add(v);
            }
        }
        if (!rows.isEmpty())
            closeGroups(0);
        openTable();
        totalsRows(ReportLevel::Report, m_figures.back());
        closeTable();
        m_out += QStringLiteral("</body>\n</html>\n");
        return m_out;
    }

private:
    static QVariant valueAt(const QVariantList& row, int index)
    {
        return index >= 0 && index < row.size() ? row.at(index) : QVariant();
    }

    QVariant groupValue(const QVariantList& row, qsizetype level) const
    {
        return valueAt(row, m_groupIndex[size_t(level)]);
    }

    /** The footers of the groups from the innermost out to `level`, which end here. */
    void closeGroups(qsizetype level)
    {
        for (qsizetype l = m_layout.grouping.size() - 1; l >= level; --l) {
            if (m_layout.grouping.at(l).footer)
                totalsRows(ReportLevel::Group, m_figures[size_t(l)]);
            m_figures[size_t(l)].assign(m_layout.totals.size(), Figures());
        }
    }

    /** The headers of the groups from `level` in, which start with this row. */
    void openGroups(const QVariantList& row, qsizetype level)
    {
        for (qsizetype l = level; l < m_layout.grouping.size(); ++l) {
            const ReportGroup& g = m_layout.grouping.at(l);
            if (!g.header)
                continue;
            // Each group's rows get a table of their own, whose captions head every page.
            closeTable();
            const ReportColumn* column = m_layout.column(g.field);
            const QString value = column ? displayValue(*column, groupValue(row, l), m_clock)
                                         : groupValue(row, l).toString();
            m_out += QStringLiteral("<p class=\"group\" style=\"margin-left: %1px\">").arg(12 * l) +
                     (g.caption + QStringLiteral(": ") + value).toHtmlEscaped() +
                     QStringLiteral("</p>\n");
        }
    }

    void openTable()
    {
        if (m_tableOpen)
            return;
        m_tableOpen = true;
        double chars = 0;
        for (const ReportColumn* c : m_shown)
            chars += c->width;
        // The columns keep their proportions; the table takes the page's width when they do not
        // fit, and less when they do.
        const double page = pageCharacters(m_layout.orientation, m_look.bodyPt);
        const int tableWidth = int(std::lround(std::min(100.0, 100.0 * chars / page)));
        m_out += QStringLiteral("<table width=\"%1%\" cellspacing=\"0\" cellpadding=\"2\">\n"
                                "<thead><tr>")
                     .arg(std::max(tableWidth, 1));
        for (const ReportColumn* c : m_shown)
            m_out += QStringLiteral("<th width=\"%1%\"%2>")
                         .arg(QString::number(100.0 * c->width / chars, 'f', 1),
                              alignAttribute(c->align)) +
                     c->caption.toHtmlEscaped() + QStringLiteral("</th>");
        m_out += QStringLiteral("</tr></thead>\n");
    }

    void closeTable()
    {
        if (!m_tableOpen)
            return;
        m_tableOpen = false;
        m_out += QStringLiteral("</table>\n");
    }

    void detailRow(const QVariantList& row)
    {
        m_out += QStringLiteral("<tr>");
        for (size_t i = 0; i < m_index.size(); ++i) {
            const ReportColumn& c = m_layout.columns.at(qsizetype(i));
            if (c.hidden)
                continue;
            m_out += QStringLiteral("<td") + alignAttribute(c.align) + QLatin1Char('>') +
                     displayValue(c, valueAt(row, m_index[i]), m_clock).toHtmlEscaped() +
                     QStringLiteral("</td>");
        }
        m_out += QStringLiteral("</tr>\n");
    }

    /**
     * The totals of one level, a row each: the value under its column and the caption right
     * before it, over the columns to its left. A total of the first column, or of a hidden one,
     * reads "caption: value" across the row.
     */
    void totalsRows(ReportLevel level, const std::vector<Figures>& figures)
    {
        const qsizetype columns = qsizetype(m_shown.size());
        for (qsizetype i = 0; i < m_layout.totals.size() && columns > 0; ++i) {
            const ReportTotal& t = m_layout.totals.at(i);
            const ReportColumn* column = m_layout.column(t.field);
            if (t.level != level || !column)
                continue;
            const QString value = figureText(t, *column, figures[size_t(i)], m_clock);
            qsizetype at = 0;
            for (qsizetype s = 0; s < columns; ++s) {
                if (m_shown[size_t(s)] == column)
                    at = s;
            }
            m_out += QStringLiteral("<tr>");
            if (at == 0) {
                m_out += QStringLiteral("<td class=\"sum\" colspan=\"%1\">").arg(columns) +
                         (t.caption + QStringLiteral(": ") + value).toHtmlEscaped() +
                         QStringLiteral("</td>");
            } else {
                m_out +=
                    QStringLiteral("<td class=\"sum\" colspan=\"%1\" align=\"right\">").arg(at) +
                    (t.caption + QLatin1Char(':')).toHtmlEscaped() +
                    QStringLiteral("</td><td class=\"sum\"") + alignAttribute(column->align) +
                    QLatin1Char('>') + value.toHtmlEscaped() + QStringLiteral("</td>");
                if (at + 1 < columns)
                    m_out += QStringLiteral("<td class=\"sum\" colspan=\"%1\"></td>")
                                 .arg(columns - at - 1);
            }
            m_out += QStringLiteral("</tr>\n");
        }
    }

    const ReportLayout& m_layout;
    const RecordSet& m_rows;
    const Clock& m_clock;
    Look m_look;
    std::vector<int> m_index; ///< per layout column, its index in the rows
    std::vector<const ReportColumn*> m_shown;
    std::vector<int> m_groupIndex; ///< per group level
    std::vector<int> m_totalIndex; ///< per total
    std::vector<std::vector<Figures>> m_figures;
    bool m_tableOpen = false;
    QString m_out;
};

QString numberText(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0)
        rounded = 0; // no "-0.00"
    return QString::number(rounded, 'f', decimals);
}

} // namespace

QString currencyText(double amount)
{
    const qlonglong cents = std::llround(std::abs(amount) * 100);
    QString whole = QString::number(cents / 100);
    for (qsizetype at = whole.size() - 3; at > 0; at -= 3)
        whole.insert(at, QLatin1Char(','));
    const QString text = QLatin1Char('$') + whole + QLatin1Char('.') +
                         QStringLiteral("%1").arg(cents % 100, 2, 10, QLatin1Char('0'));
    return amount < 0 && cents != 0 ? QLatin1Char('-') + text : text;
}

QString displayValue(const ReportColumn& column, const QVariant& value, const Clock& clock)
{
    if (column.format == ReportFormat::Flag) {
        bool number = false;
        const double n = value.toDouble(&number);
        return !value.isNull() && (number ? n != 0 : value.toBool()) ? QStringLiteral("Yes")
                                                                     : QStringLiteral("No");
    }
    if (value.isNull())
        return {};
    switch (column.format) {
    case ReportFormat::Text:
    case ReportFormat::Flag:
        break;
    case ReportFormat::Number:
    case ReportFormat::Currency: {
        bool ok = false;
        const double n = value.toDouble(&ok);
        if (!ok)
            break;
        if (column.format == ReportFormat::Currency)
            return currencyText(n);
        if (column.decimals >= 0)
            return numberText(n, column.decimals);
        if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int)
            return QString::number(value.toLongLong());
        return QString::number(n, 'g', 15);
    }
    case ReportFormat::Date:
    case ReportFormat::DateTime: {
        const QDateTime stored = RecordSet::toDateTime(value);
        if (!stored.isValid())
            break;
        const QDateTime local = GmtConverter(clock).toLocal(stored);
        return local.toString(column.format == ReportFormat::Date
                                  ? QStringLiteral("yyyy-MM-dd")
                                  : QStringLiteral("yyyy-MM-dd HH:mm"));
    }
    }
    return value.toString();
}

StyleFonts styleFonts(std::optional<ReportStyle> style)
{
    if (!style)
        return {kSans, true, kSans, true, kSans};
    switch (*style) {
    case ReportStyle::Compact:
        return {kSans, true, kSans, true, kSans};
    case ReportStyle::Corporate:
        return {kDisplay, false, kSans, true, kSans};
    case ReportStyle::Formal:
        return {kSerif, true, kSerif, true, kSerif};
    case ReportStyle::Casual:
        return {kDisplay, false, kSerif, false, kSans};
    case ReportStyle::SoftGray:
        return {kSans, false, kSans, true, kSerif};
    }
    return {kSans, true, kSans, true, kSans};
}

RenderedReport render(const ReportLayout& layout, const RecordSet& rows, const Clock& clock,
                      const QString& userId)
{
    RenderedReport out;
    out.title = layout.title;
    out.orientation = layout.orientation;
    out.header = layout.header;
    out.footer = layout.footer;
    out.date = clock.nowLocal().date().toString(QStringLiteral("yyyy-MM-dd"));
    out.user = userId;
    out.html = PageWriter(layout, rows, clock).write();
    return out;
}

} // namespace reportrender

} // namespace bx
