#include "mainwindow/TaskPreview.h"

#include "core/Gmt.h"
#include "core/db/Database.h"
#include "core/db/RecordSet.h"
#include "core/schema/TaskColumns.h"
#include "tasks/TaskTypes.h"

#include <QHash>
#include <QRegularExpression>

namespace bx {

namespace {

/**
 * The text of a formatted (HTML) comment: head and style dropped, paragraph and line ends kept as
 * line breaks, other tags removed and character references decoded.
 */
QString htmlToPlain(QString html)
{
    static const QRegularExpression head(QStringLiteral("<(head|style)[^>]*>.*?</\\1\\s*>"),
                                         QRegularExpression::CaseInsensitiveOption |
                                             QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression breaks(QStringLiteral("<br\\s*/?>|</(p|div|li|tr|h\\d)\\s*>"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    static const QRegularExpression lineEnds(QStringLiteral("\\s*\n\\s*"));
    static const QRegularExpression lineBlanks(QStringLiteral("[ \t]*\n[ \t]*"));
    static const QRegularExpression entity(QStringLiteral("&(#x?[0-9a-fA-F]+|[a-zA-Z]+);"));
    html.remove(head);
    html.replace(lineEnds, QStringLiteral(" "));
    html.replace(breaks, QStringLiteral("\n"));
    html.remove(tags);
    html.replace(lineBlanks, QStringLiteral("\n"));
    // One pass over the character references, so "&amp;lt;" stays "&lt;".
    QString out;
    qsizetype from = 0;
    for (auto it = entity.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += html.mid(from, m.capturedStart() - from);
        from = m.capturedEnd();
        const QString name = m.captured(1);
        if (name.startsWith(QLatin1Char('#'))) {
            const bool hex = name.size() > 1 && name.at(1).toLower() == QLatin1Char('x');
            bool ok = false;
            const char32_t code = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
            if (ok && code > 0 && code <= 0x10FFFF) {
                out += QString::fromUcs4(&code, 1);
                continue;
            }
        } else {
            static const QHash<QString, QString> named{
                {QStringLiteral("lt"), QStringLiteral("<")},
                {QStringLiteral("gt"), QStringLiteral(">")},
                {QStringLiteral("amp"), QStringLiteral("&")},
                {QStringLiteral("quot"), QStringLiteral("\"")},
                {QStringLiteral("apos"), QStringLiteral("'")},
                {QStringLiteral("nbsp"), QStringLiteral(" ")}};
            const auto found = named.constFind(name.toLower());
            if (found != named.constEnd()) {
                out += *found;
                continue;
            }
        }
        out += m.captured(0);
    }
    out += html.mid(from);
    return out.trimmed();
}

/** The comments as plain text: the plain copy when there is one, else the formatted text's. */
QString commentsText(const RecordSet& rs)
{
    const QString plain = rs.text(scr::CommentsAsText);
    if (!plain.trimmed().isEmpty())
        return plain;
    const QString formatted = rs.text(scr::Comments);
    const bool isHtml = formatted.trimmed().startsWith(QLatin1Char('<'));
    return isHtml ? htmlToPlain(formatted) : formatted;
}

} // namespace

QString taskPreviewHtml(Database& db, const Clock& clock, qlonglong task)
{
    const RecordSet rs = db.query(
        QStringLiteral("SELECT %1 FROM SCR WHERE %2 = ?")
            .arg(scr::columnList({scr::Title, scr::OwnerUserId, scr::RequestId, scr::Priority,
                                  scr::Status, scr::Category, scr::RequestDate, scr::StartDate,
                                  scr::OwnerTargetDate, scr::Comments, scr::CommentsAsText}),
                 scr::Number),
        {task});
    if (rs.isEmpty())
        return {};

    const GmtConverter gmt(clock);
    const auto date = [&](scr::Column column) {
        const QDateTime d = rs.dateTime(column);
        return d.isValid() ? gmt.toLocal(d).toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                           : QString();
    };
    const QList<std::pair<QString, QString>> rows = {
        {QStringLiteral("Owner"), rs.text(scr::OwnerUserId)},
        {QStringLiteral("Requester"), rs.text(scr::RequestId)},
        {QStringLiteral("Priority"), rs.text(scr::Priority)},
        {QStringLiteral("Status"), taskStatusWord(rs.text(scr::Status))},
        {QStringLiteral("Category"), rs.text(scr::Category)},
        {QStringLiteral("Request Date"), date(scr::RequestDate)},
        {QStringLiteral("Start Date"), date(scr::StartDate)},
        {QStringLiteral("Due Date"), date(scr::OwnerTargetDate)},
    };

    QString html = QStringLiteral("<html><body><h3>") + rs.text(scr::Title).toHtmlEscaped() +
                   QStringLiteral("</h3><table cellspacing=\"2\">");
    for (const auto& [caption, value] : rows) {
        html += QStringLiteral("<tr><td><b>") + caption + QStringLiteral(":</b></td><td>") +
                value.toHtmlEscaped() + QStringLiteral("</td></tr>");
    }
    html += QStringLiteral("</table>");
    const QString comments = commentsText(rs);
    if (!comments.trimmed().isEmpty()) {
        html += QStringLiteral("<hr><p style=\"white-space: pre-wrap\">") +
                comments.toHtmlEscaped() + QStringLiteral("</p>");
    }
    html += QStringLiteral("</body></html>");
    return html;
}

} // namespace bx
