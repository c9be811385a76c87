#pragma once

// What every fuzz target shares: a contract that does not hold stops the run with a message, so
// libFuzzer keeps the input as a crash file.

#include "core/Clock.h"

#include <QString>

#include <cstdio>
#include <cstdlib>

namespace bx::fuzz {

[[noreturn]] inline void broken(const char* contract, const QString& detail = {})
{
    std::fprintf(stderr, "\nContract broken: %s\n%s\n", contract, qPrintable(detail));
    std::abort();
}

inline void check(bool holds, const char* contract, const QString& detail = {})
{
    if (!holds)
        broken(contract, detail);
}

/** The input as text: UTF-8 bytes decoded the way QString::fromUtf8 does. */
inline QString text(const uint8_t* data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
}

/** A clock that stands still, an hour east of GMT (two in summer). */
class FixedClock final : public Clock
{
public:
    QDateTime nowLocal() const override { return naive(QDate(2024, 7, 1), QTime(9, 30)); }
    int standardOffsetSeconds() const override { return 3600; }
    int currentOffsetSeconds() const override { return 7200; }
};

} // namespace bx::fuzz
