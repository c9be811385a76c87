#include "workflow/CalendarPart.h"

namespace bx {

namespace {

constexpr qsizetype kMaxLineOctets = 75;

bool isUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

QByteArray utcStamp(const QDateTime& moment)
{
    return moment.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
}

bool inCalendarRange(const QDateTime& moment)
{
    const int year = moment.toUTC().date().year();
    return year >= 1 && year <= 9999;
}

} // namespace

QByteArray escapeCalendarText(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        switch (c.unicode()) {
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u';':
            out += QStringLiteral("\\;");
            break;
        case u',':
            out += QStringLiteral("\\,");
            break;
        case u'\r':
            // CR LF is one break; a lone CR is one too.
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            [[fallthrough]];
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\t':
            out += c;
            break;
        default:
            // Other control characters are not allowed in a content line.
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                break;
            out += c;
        }
    }
    return out.toUtf8();
}

QByteArray foldCalendarLine(const QByteArray& line)
{
    QByteArray out;
    out.reserve(line.size() + line.size() / 24 + 2);
    qsizetype pos = 0;
    bool first = true;
    while (true) {
        // A continuation line's leading blank counts against its 75 octets.
        const qsizetype room = first ? kMaxLineOctets : kMaxLineOctets - 1;
        qsizetype end = pos + room;
        if (end >= line.size()) {
            if (!first)
                out += ' ';
            out += line.mid(pos);
            out += "\r\n";
            return out;
        }
        while (end > pos && isUtf8Continuation(line.at(end)))
            --end;
        if (end == pos) // not UTF-8 after all: cut where the octets run out
            end = pos + room;
        if (!first)
            out += ' ';
        out += line.mid(pos, end - pos);
        out += "\r\n";
        pos = end;
        first = false;
    }
}

std::optional<CalendarPart> calendarPart(const CalendarTask& task)
{
    if (task.number <= 0 || !task.target.isValid() || !inCalendarRange(task.target))
        return std::nullopt;

    const QByteArray number = QByteArray::number(task.number);
    QByteArray body;
    const auto add = [&body](const QByteArray& line) { body += foldCalendarLine(line); };

    add("BEGIN:VCALENDAR");
    add("VERSION:2.0");
    add("PRODID:-//Brindlepax//Task notices//EN");
    add("METHOD:PUBLISH");
    add("BEGIN:VEVENT");
    add("UID:" +
        escapeCalendarText(QStringLiteral("task-") + QString::fromLatin1(number) +
                           QLatin1Char('-') + task.databaseId + QStringLiteral("@brindlepax")));
    add("SEQUENCE:" + QByteArray::number(qMax(task.sequence, 0)));
    add("DTSTAMP:" + utcStamp(task.stamp.isValid() ? task.stamp : task.target));
    add("DTSTART:" + utcStamp(task.target));
    add("SUMMARY:" + escapeCalendarText(task.title));
    if (!task.description.isEmpty())
        add("DESCRIPTION:" + escapeCalendarText(task.description));
    add("TRANSP:TRANSPARENT");
    add("END:VEVENT");
    add("END:VCALENDAR");

    return CalendarPart{body,
                        QStringLiteral("BX") + QString::fromLatin1(number) + QStringLiteral(".ics"),
                        QStringLiteral("text/calendar; method=PUBLISH; charset=utf-8")};
}

} // namespace bx
