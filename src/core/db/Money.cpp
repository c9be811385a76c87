#include "core/db/Money.h"

#include "core/db/Dialect.h"

#include <cmath>
#include <limits>

namespace bx::money {

namespace {

// The 128-bit integer of the compiler, for the products of minutes and rates.
__extension__ typedef __int128 Wide;

/** n / d rounded half away from zero; d > 0. */
Wide roundedQuotient(Wide n, Wide d)
{
    const Wide magnitude = ((n < 0 ? -n : n) * 2 + d) / (2 * d);
    return n < 0 ? -magnitude : magnitude;
}

std::optional<qint64> fitting(Wide v)
{
    if (v > std::numeric_limits<qint64>::max() || v < std::numeric_limits<qint64>::min())
        return std::nullopt;
    return static_cast<qint64>(v);
}

std::optional<qint64> parseDecimal(QStringView text)
{
    text = text.trimmed();
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    const qsizetype point = text.indexOf(u'.');
    const QStringView whole = point < 0 ? text : text.left(point);
    const QStringView fraction = point < 0 ? QStringView() : text.mid(point + 1);
    if (whole.isEmpty() && fraction.isEmpty())
        return std::nullopt;
    Wide units = 0;
    for (const QChar c : whole) {
        if (!c.isDigit() || c.unicode() > '9')
            return std::nullopt;
        units = units * 10 + (c.unicode() - '0');
        if (units > std::numeric_limits<qint64>::max())
            return std::nullopt;
    }
    units *= kUnitsPerWhole;
    Wide scale = kUnitsPerWhole;
    for (qsizetype i = 0; i < fraction.size(); ++i) {
        const QChar c = fraction.at(i);
        if (!c.isDigit() || c.unicode() > '9')
            return std::nullopt;
        const int digit = c.unicode() - '0';
        if (scale > 1) {
            scale /= 10;
            units += digit * scale;
        } else if (i == 4 && digit >= 5) {
            ++units; // the first digit beyond the scale rounds
        }
    }
    return fitting(negative ? -units : units);
}

} // namespace

QString readable(const Dialect& dialect, const QString& column)
{
    if (dialect.engine() == Engine::Postgres)
        return column + QStringLiteral("::text");
    return column;
}

std::optional<qint64> moneyOf(const QVariant& value)
{
    if (value.isNull() || !value.isValid())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        const double scaled = std::round(value.toDouble() * kUnitsPerWhole);
        if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18)
            return std::nullopt;
        return static_cast<qint64>(scaled);
    }
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::ULongLong:
    case QMetaType::UInt:
        return fitting(static_cast<Wide>(value.toLongLong()) * kUnitsPerWhole);
    default:
        return parseDecimal(value.toString());
    }
}

qint64 costInCents(qint64 minutes, qint64 rate)
{
    // minutes x rate is in minute-ten-thousandths; an hour of them makes 60 x 100 per cent.
    const Wide cents =
        roundedQuotient(static_cast<Wide>(minutes) * rate, 60 * (kUnitsPerWhole / 100));
    return fitting(cents).value_or(cents < 0 ? std::numeric_limits<qint64>::min()
                                             : std::numeric_limits<qint64>::max());
}

QString dollars(qint64 cents)
{
    const bool negative = cents < 0;
    const quint64 magnitude =
        negative ? quint64(0) - static_cast<quint64>(cents) : static_cast<quint64>(cents);
    return (negative ? QStringLiteral("-$") : QStringLiteral("$")) +
           QStringLiteral("%1.%2")
               .arg(magnitude / 100, 5, 10, QLatin1Char('0'))
               .arg(magnitude % 100, 2, 10, QLatin1Char('0'));
}

} // namespace bx::money
