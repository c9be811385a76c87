#include "core/Clock.h"

namespace bx {

SystemClock::SystemClock(QTimeZone zone)
    : m_zone(std::move(zone))
{
}

QDateTime SystemClock::nowLocal() const
{
    return naive(QDateTime::currentDateTimeUtc().toTimeZone(m_zone));
}

int SystemClock::standardOffsetSeconds() const
{
    return m_zone.standardTimeOffset(QDateTime::currentDateTimeUtc());
}

QDateTime Clock::nowUtc() const
{
    return naive(nowLocal().addSecs(-currentOffsetSeconds()));
}

int SystemClock::currentOffsetSeconds() const
{
    return m_zone.offsetFromUtc(QDateTime::currentDateTimeUtc());
}

QDateTime naive(const QDateTime& value)
{
    if (!value.isValid())
        return {};
    return QDateTime(value.date(), value.time(), Qt::UTC);
}

QDateTime naive(const QDate& date, const QTime& time)
{
    if (!date.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

} // namespace bx
