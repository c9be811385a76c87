#include "reports/PivotExport.h"

#include "reports/PivotLayout.h"

#include <QStringList>

#include <map>

namespace bx::pivot {

namespace {

/**
 * Spreadsheets run a field starting with one of these as a formula. Member captions come from the
 * shared data, so one such caption would run on the machine of whoever opens the file.
 */
QString defused(const QString& caption)
{
    static const QString starts = QStringLiteral("=+-@\t\r");
    if (caption.isEmpty() || !starts.contains(caption.front()))
        return caption;
    bool number = false;
    caption.toDouble(&number);
    return number ? caption : QStringLiteral("'") + caption;
}

QString csvField(const QString& text)
{
    static const QString special = QStringLiteral(",\"\r\n");
    for (const QChar c : text)
        if (special.contains(c)) {
            QString quoted = text;
            quoted.replace(u'"', QStringLiteral("\"\""));
            return u'"' + quoted + u'"';
        }
    return text;
}

void appendLine(QString& out, const QStringList& fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& f : fields)
        quoted << csvField(f);
    out += quoted.join(u',');
    out += QStringLiteral("\r\n");
}

/** A row's caption at one level of the row header, "" where its "Total" already stands. */
QString rowCaption(const Layout& layout, int row, int level)
{
    const Axis& rows = layout.grid().rows();
    const QList<int>& path = rows.entries[row].path;
    if (level < path.size())
        return rows.label(row, level);
    return level == path.size() ? Layout::totalCaption() : QString();
}

QString spanAttributes(const HeaderCell& cell, bool alongRows)
{
    const int across = alongRows ? cell.depth : cell.span;
    const int down = alongRows ? cell.span : cell.depth;
    QString out;
    if (across > 1)
        out += QStringLiteral(" colspan=\"%1\"").arg(across);
    if (down > 1)
        out += QStringLiteral(" rowspan=\"%1\"").arg(down);
    return out;
}

QString headerCell(const HeaderCell& cell, bool alongRows)
{
    return QStringLiteral("<th%1%2>%3</th>")
        .arg(spanAttributes(cell, alongRows),
             cell.total ? QStringLiteral(" class=\"total\"") : QString(),
             cell.text.toHtmlEscaped());
}

} // namespace

QByteArray toCsv(const Grid& grid)
{
    const Layout layout(grid);
    QString out;
    QStringList fields = layout.rowTitles();
    for (QString& f : fields)
        f = defused(f);
    for (int c = 0; c < layout.columnCount(); ++c)
        fields << defused(layout.columnLabel(c, true));
    appendLine(out, fields);
    for (int r = 0; r < layout.rowCount(); ++r) {
        fields.clear();
        for (int level = 0; level < layout.rowLevels(); ++level)
            fields << defused(grid.rows().dimensions.isEmpty() ? Layout::totalCaption()
                                                               : rowCaption(layout, r, level));
        for (int c = 0; c < layout.columnCount(); ++c)
            fields << Layout::plainText(layout.value(r, c));
        appendLine(out, fields);
    }
    return out.toUtf8();
}

QString toHtml(const Grid& grid, const Presentation& presentation)
{
    static const char* const kAlign[] = {"left", "center", "right"};
    const Layout layout(grid);
    const QString title = presentation.title.toHtmlEscaped();
    const QLatin1String align(kAlign[presentation.titleAlign >= 0 && presentation.titleAlign <= 2
                                         ? presentation.titleAlign
                                         : 0]);

    QString html =
        QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>\n"
                       "<style>table{border-collapse:collapse}th,td{border:1px solid #999;"
                       "padding:2px 6px}th{background:#eee}td{text-align:right}"
                       ".total{font-weight:bold}</style></head><body>\n")
            .arg(title);
    if (presentation.showTitle && !title.isEmpty())
        html +=
            QStringLiteral("<h2 align=\"%1\" style=\"text-align:%1\">%2</h2>\n").arg(align, title);
    html += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\">\n<thead>\n");

    // The column header, level by level, after the corner over the row header.
    std::map<int, QList<const HeaderCell*>> columnLevels;
    for (const HeaderCell& cell : layout.columnHeader())
        columnLevels[cell.level].append(&cell);
    const QStringList rowTitles = layout.rowTitles();
    for (int level = 0; level < layout.columnLevels(); ++level) {
        html += QStringLiteral("<tr>");
        const bool last = level == layout.columnLevels() - 1;
        if (level == 0 && !last)
            html += QStringLiteral("<th colspan=\"%1\" rowspan=\"%2\">%3</th>")
                        .arg(layout.rowLevels())
                        .arg(layout.columnLevels() - 1)
                        .arg(layout.factTitle().toHtmlEscaped());
        if (last)
            for (const QString& t : rowTitles)
                html += QStringLiteral("<th>%1</th>").arg(t.toHtmlEscaped());
        for (const HeaderCell* cell : columnLevels[level])
            html += headerCell(*cell, false);
        html += QStringLiteral("</tr>\n");
    }
    html += QStringLiteral("</thead>\n<tbody>\n");

    // Each body row opens with the row-header cells that start on it, outermost first.
    std::map<int, QList<const HeaderCell*>> startingOn;
    for (const HeaderCell& cell : layout.rowHeader())
        startingOn[cell.first].append(&cell);
    for (int r = 0; r < layout.rowCount(); ++r) {
        QList<const HeaderCell*>& cells = startingOn[r];
        std::sort(cells.begin(), cells.end(),
                  [](const HeaderCell* a, const HeaderCell* b) { return a->level < b->level; });
        html +=
            layout.isTotalRow(r) ? QStringLiteral("<tr class=\"total\">") : QStringLiteral("<tr>");
        for (const HeaderCell* cell : cells)
            html += headerCell(*cell, true);
        for (int c = 0; c < layout.columnCount(); ++c) {
            const bool total = layout.isTotalRow(r) || layout.isTotalColumn(c);
            const QString text = Layout::displayText(layout.value(r, c)).toHtmlEscaped();
            html += total ? QStringLiteral("<td align=\"right\"><b>%1</b></td>").arg(text)
                          : QStringLiteral("<td align=\"right\">%1</td>").arg(text);
        }
        html += QStringLiteral("</tr>\n");
    }
    html += QStringLiteral("</tbody></table>\n</body></html>\n");
    return html;
}

} // namespace bx::pivot
