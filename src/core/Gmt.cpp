#include "core/Gmt.h"

#include "core/Clock.h"

namespace bx {

GmtConverter::GmtConverter(const Clock& clock)
    : m_clock(clock)
{
}

// naive() first, so that the arithmetic runs on a Qt::UTC value: adding seconds to a local-time
// QDateTime would let Qt's daylight-saving rules move it.
QDateTime GmtConverter::shifted(const QDateTime& value, int seconds) const
{
    const QDateTime fields = naive(value);
    if (!fields.isValid())
        return {};
    return fields.addSecs(seconds);
}

QDateTime GmtConverter::toGmt(const QDateTime& local) const
{
    return shifted(local, -m_clock.standardOffsetSeconds());
}

QDateTime GmtConverter::toLocal(const QDateTime& gmt) const
{
    return shifted(gmt, m_clock.standardOffsetSeconds());
}

QDate GmtConverter::toGmtDate(const QDateTime& local) const
{
    return toGmt(local).date();
}

QDate GmtConverter::toLocalDate(const QDateTime& gmt) const
{
    return toLocal(gmt).date();
}

QTime GmtConverter::toGmtTime(const QDateTime& local) const
{
    return toGmt(local).time();
}

QTime GmtConverter::toLocalTime(const QDateTime& gmt) const
{
    return toLocal(gmt).time();
}

QDateTime GmtConverter::nowGmt() const
{
    return toGmt(m_clock.nowLocal());
}

} // namespace bx
