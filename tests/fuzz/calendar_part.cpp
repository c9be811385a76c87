// calendarPart with random titles, descriptions, targets and sequence numbers: its output parses
// back with libical as one VEVENT whose SUMMARY and DESCRIPTION read back as the texts given (less
// the control characters it strips, line breaks spelt as LF), DTSTART the target in UTC, SEQUENCE
// the sequence number (0 for a negative one), every line at most 75 octets and ended by CR LF.

#include "FuzzCheck.h"
#include "workflow/CalendarPart.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <libical/ical.h>

using namespace bx;

namespace {

/**
 * The text as the part carries it: line breaks as LF, no control character but tab and LF. The
 * reader drops blanks at the end of a value (content lines end there), so they are left out.
 */
QString expected(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QString out;
    for (const QChar c : std::as_const(text)) {
        if (c == u'\t' || c == u'\n' || (c.unicode() >= 0x20 && c.unicode() != 0x7F))
            out += c;
    }
    while (out.endsWith(u' ') || out.endsWith(u'\t'))
        out.chop(1);
    while (out.startsWith(u' ') || out.startsWith(u'\t'))
        out.remove(0, 1);
    return out;
}

QString textOf(const char* value)
{
    return value != nullptr ? QString::fromUtf8(value) : QString();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    CalendarTask task;
    task.number = in.ConsumeIntegralInRange<qlonglong>(-1, std::numeric_limits<qlonglong>::max());
    task.sequence = in.ConsumeIntegral<int>();
    task.target = QDateTime::fromSecsSinceEpoch(
        in.ConsumeIntegralInRange<qint64>(-62135596800LL - 86400, 253402300799LL + 86400),
        in.ConsumeBool() ? Qt::UTC : Qt::LocalTime);
    task.databaseId = QString::fromUtf8(in.ConsumeRandomLengthString(40));
    task.title = QString::fromUtf8(in.ConsumeRandomLengthString(300));
    task.description = QString::fromUtf8(in.ConsumeRemainingBytesAsString());

    const std::optional<CalendarPart> part = calendarPart(task);
    if (!part)
        return 0;
    const QByteArray& bytes = part->bytes;
    fuzz::check(bytes.endsWith("\r\n"), "the object ends with CR LF");
    for (const QByteArray& line : bytes.chopped(1).split('\n')) {
        fuzz::check(line.endsWith('\r') && line.count('\r') == 1, "lines end with CR LF alone",
                    QString::fromUtf8(line));
        fuzz::check(line.size() - 1 <= 75, "lines are at most 75 octets", QString::fromUtf8(line));
    }

    icalcomponent* calendar = icalparser_parse_string(bytes.constData());
    fuzz::check(calendar != nullptr, "the object parses", QString::fromUtf8(bytes));
    fuzz::check(icalcomponent_count_components(calendar, ICAL_VEVENT_COMPONENT) == 1,
                "the object holds one event", QString::fromUtf8(bytes));
    icalcomponent* event = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT);
    const QString summary = textOf(icalcomponent_get_summary(event));
    fuzz::check(summary == expected(task.title), "SUMMARY reads back as the title",
                summary + QStringLiteral("\n----\n") + expected(task.title));
    const QString description = textOf(icalcomponent_get_description(event));
    fuzz::check(description == expected(task.description),
                "DESCRIPTION reads back as the description",
                description + QStringLiteral("\n----\n") + expected(task.description));
    const icaltimetype start = icalcomponent_get_dtstart(event);
    const QDateTime utc = task.target.toUTC();
    fuzz::check(icaltime_is_utc(start) && start.year == utc.date().year() &&
                    start.month == utc.date().month() && start.day == utc.date().day() &&
                    start.hour == utc.time().hour() && start.minute == utc.time().minute() &&
                    start.second == utc.time().second(),
                "DTSTART is the target in UTC", QString::fromUtf8(icaltime_as_ical_string(start)));
    fuzz::check(icalcomponent_get_sequence(event) == qMax(task.sequence, 0),
                "SEQUENCE is the sequence number");
    icalcomponent_free(calendar);
    return 0;
}
