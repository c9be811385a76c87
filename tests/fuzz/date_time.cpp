// RecordSet::toDateTime, as both engines read stored dates: a moment it returns, written in the
// stored form, reads back the same to the second; every stored form reads as its fields say,
// whichever of its paths (the fast one or the general formats) reads it. Run in a zone with
// daylight saving, where a local-time reading would move or lose the hour skipped in spring.

#include "FuzzCheck.h"
#include "core/db/Dialect.h"
#include "core/db/RecordSet.h"

#include <QTimeZone>

#include <cstdlib>
#include <ctime>

using namespace bx;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    return 0;
}

namespace {

/**
 * The stored forms toDateTime() takes, read field by field without any zone: "yyyy-MM-dd", then
 * " HH:mm:ss", " HH:mm:ss.zzz", " HH:mm", "THH:mm:ss" or "THH:mm".
 */
QDateTime reference(const QString& s)
{
    const QDate date = QDate::fromString(s.left(10), QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        return {};
    if (s.size() == 10)
        return naive(date);
    const QString time = s.mid(11);
    QStringList formats;
    if (s.at(10) == u' ')
        formats = {QStringLiteral("HH:mm:ss"), QStringLiteral("HH:mm:ss.zzz"),
                   QStringLiteral("HH:mm")};
    else if (s.at(10) == u'T')
        formats = {QStringLiteral("HH:mm:ss"), QStringLiteral("HH:mm")};
    for (const QString& format : formats) {
        const QTime t = QTime::fromString(time, format);
        if (t.isValid())
            return naive(date, t);
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = fuzz::text(data, size);
    const QDateTime read = RecordSet::toDateTime(text);
    const QDateTime expected = reference(text.trimmed());
    fuzz::check(!expected.isValid() || read == expected,
                "a stored form reads as its fields say, in any zone",
                text + QStringLiteral(" -> ") + read.toString(Qt::ISODateWithMs) +
                    QStringLiteral(", expected ") + expected.toString(Qt::ISODateWithMs));
    if (!read.isValid())
        return 0;
    fuzz::check(read.timeSpec() == Qt::UTC, "a stored date reads as a naive value", text);

    const QString stored = Dialect::storedDateTime(read);
    const QDateTime again = RecordSet::toDateTime(stored);
    const QDateTime toSecond = read.addMSecs(-read.time().msec());
    fuzz::check(again == toSecond, "a date read, stored and read again is the same to the second",
                text + QStringLiteral(" -> ") + stored + QStringLiteral(" -> ") +
                    again.toString(Qt::ISODateWithMs));

    return 0;
}
