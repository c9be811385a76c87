#pragma once

#include <QString>
#include <QVariant>

#include <optional>

namespace bx {

class Dialect;

/**
 * Currency amounts, held as whole ten-thousandths (the scale of the money columns) so that sums
 * and prices are exact. 33.33 is 333300.
 */
namespace money {

inline constexpr qint64 kUnitsPerWhole = 10000;

/**
 * The SQL that reads a money column of a query so that moneyOf() gets its exact value: on the
 * server the decimal's text (a double would lose digits beyond 15), on the embedded engine the
 * value as stored. `column` is the program's own column name, never user text.
 */
QString readable(const Dialect& dialect, const QString& column);

/**
 * A money value as read through readable(), in ten-thousandths: a decimal text parsed digit by
 * digit (further decimals rounded half away from zero), a number stored as a double rounded once,
 * a whole number scaled. Nothing for Null, and for a text that is no decimal or does not fit.
 */
std::optional<qint64> moneyOf(const QVariant& value);

/**
 * The price of `minutes` at an hourly rate of `rate` ten-thousandths, in cents: minutes x rate /
 * 60 worked in 128 bits and rounded half away from zero once.
 */
qint64 costInCents(qint64 minutes, qint64 rate);

/** Cents as the report shows them: "$" and at least five whole digits, "$00050.00". */
QString dollars(qint64 cents);

} // namespace money

} // namespace bx
