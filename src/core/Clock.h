#pragma once

#include <QDateTime>
#include <QTimeZone>

namespace bx {

/**
 * Source of the present moment and of the time zone's base bias.
 *
 * All moments the program handles are "naive" wall-clock values: a QDateTime whose time spec is
 * Qt::UTC is used only as a container for a date and a time, so that no daylight-saving rule ever
 * shifts it. Whether such a value means local time or GMT is said by the code that holds it.
 */
class Clock
{
public:
    virtual ~Clock() = default;

    /** The present local wall-clock time, as a naive value. */
    virtual QDateTime nowLocal() const = 0;

    /**
     * Offset of local standard time from GMT in seconds (east positive), without daylight saving.
     * GMT = local - offset.
     */
    virtual int standardOffsetSeconds() const = 0;

    /**
     * Offset of local time from GMT now, daylight saving included. Stored dates people read back
     * use the base bias above; moments compared between machines (presence) use this one.
     */
    virtual int currentOffsetSeconds() const = 0;

    /** The present moment in UTC: the local time less the current offset (time spec Qt::UTC). */
    QDateTime nowUtc() const;
};

/** The machine's clock, in the given zone (the system zone by default). */
class SystemClock final : public Clock
{
public:
    explicit SystemClock(QTimeZone zone = QTimeZone::systemTimeZone());
    QDateTime nowLocal() const override;
    int standardOffsetSeconds() const override;
    int currentOffsetSeconds() const override;

private:
    QTimeZone m_zone;
};

/** Turns any QDateTime into the naive form: the same date and time fields, time spec Qt::UTC. */
QDateTime naive(const QDateTime& value);

/** A naive value from date and time fields. */
QDateTime naive(const QDate& date, const QTime& time = QTime(0, 0));

} // namespace bx
