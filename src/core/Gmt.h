#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

namespace bx {

class Clock;

/**
 * Conversion between local time and GMT for the moments the program stores. Only the time zone's
 * base bias is applied, never daylight saving: GMT = local - offset and local = GMT + offset, with
 * offset = Clock::standardOffsetSeconds() at the time of the call. So a value converted and
 * converted back is always the value it was, whatever the season.
 *
 * All values are naive (see core/Clock.h): a value with another time spec is taken by its date and
 * time fields. An invalid value (the empty date) converts to an invalid value.
 *
 * The converter keeps a reference to the clock, which must outlive it.
 */
class GmtConverter
{
public:
    explicit GmtConverter(const Clock& clock);

    /** Local moment -> GMT moment. */
    QDateTime toGmt(const QDateTime& local) const;
    /** GMT moment -> local moment. */
    QDateTime toLocal(const QDateTime& gmt) const;

    /** The date of the GMT moment of a local moment; an invalid QDate for an empty value. */
    QDate toGmtDate(const QDateTime& local) const;
    /** The date of the local moment of a GMT moment; an invalid QDate for an empty value. */
    QDate toLocalDate(const QDateTime& gmt) const;

    /** The time of day of the GMT moment; an invalid QTime for an empty value. */
    QTime toGmtTime(const QDateTime& local) const;
    /** The time of day of the local moment; an invalid QTime for an empty value. */
    QTime toLocalTime(const QDateTime& gmt) const;

    /** The present moment in GMT, as stored in creation, routing and history dates. */
    QDateTime nowGmt() const;

private:
    QDateTime shifted(const QDateTime& value, int seconds) const;

    const Clock& m_clock;
};

} // namespace bx
