#pragma once

#include "core/Clock.h"

#include <optional>

namespace bx::test {

/**
 * A clock that stands still until a test moves it. Its current offset is its standard offset
 * (no daylight saving) unless a test sets one.
 */
class FixedClock final : public Clock
{
public:
    explicit FixedClock(QDateTime local = QDateTime(QDate(2024, 1, 31), QTime(14, 5, 9), Qt::UTC),
                        int standardOffsetSeconds = 0)
        : m_local(naive(local))
        , m_offset(standardOffsetSeconds)
    {
    }

    QDateTime nowLocal() const override { return m_local; }
    int standardOffsetSeconds() const override { return m_offset; }
    int currentOffsetSeconds() const override { return m_current.value_or(m_offset); }

    void set(const QDateTime& local) { m_local = naive(local); }
    void advanceSeconds(qint64 seconds) { m_local = m_local.addSecs(seconds); }
    void setStandardOffsetSeconds(int seconds) { m_offset = seconds; }
    void setCurrentOffsetSeconds(int seconds) { m_current = seconds; }

private:
    QDateTime m_local;
    int m_offset;
    std::optional<int> m_current;
};

} // namespace bx::test
