#pragma once

#include "reports/Pivot.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <gtest/gtest.h>
#include <initializer_list>
#include <optional>

namespace bx::test {

/** Texts written as UTF-8 literals. */
inline QStringList texts(std::initializer_list<const char*> list)
{
    QStringList out;
    for (const char* t : list)
        out << QString::fromUtf8(t);
    return out;
}

/** One row of hoursByOwner(); a null owner or status is Null. */
struct HoursRow
{
    const char* owner;
    QVariant year;
    const char* status;
    QVariant hours;
};

/** Owner (text), Year (number), Status (text), Hours (number). */
inline pivot::Source hoursByOwner(std::initializer_list<HoursRow> rows)
{
    const auto text = [](const char* value) {
        return value ? QVariant(QString::fromUtf8(value)) : QVariant();
    };
    pivot::Source source;
    source.columns = {QStringLiteral("Owner"), QStringLiteral("Year"), QStringLiteral("Status"),
                      QStringLiteral("Hours")};
    source.kinds = {pivot::ColumnKind::Text, pivot::ColumnKind::Number, pivot::ColumnKind::Text,
                    pivot::ColumnKind::Number};
    for (const HoursRow& r : rows)
        source.rows.append({text(r.owner), r.year, text(r.status), r.hours});
    return source;
}

/** ann and bob over two years: ann 2023 Open 1, ann 2024 Open 2, bob 2024 Done 4 and Open 8. */
inline pivot::Source twoYears()
{
    return hoursByOwner({{"ann", 2023, "Open", 1},
                         {"ann", 2024, "Open", 2},
                         {"bob", 2024, "Done", 4},
                         {"bob", 2024, "Open", 8}});
}

inline pivot::Dimension dimension(const char* column)
{
    return {QString::fromLatin1(column), QString::fromLatin1(column), std::nullopt, {}};
}

inline pivot::Fact hoursFact(olap::Aggregate aggregate = olap::Aggregate::Sum,
                             const char* title = "Hours")
{
    return {QStringLiteral("Hours"), QString::fromUtf8(title), aggregate, false};
}

/** Owner down, Year and Status across, the sum of Hours. */
inline pivot::Definition ownerByYearAndStatus()
{
    return {{dimension("Owner")}, {dimension("Year"), dimension("Status")}, {hoursFact()}};
}

/** Builds the grid; fails the test on a refusal. */
inline pivot::Grid built(const pivot::Source& source, const pivot::Definition& definition)
{
    Outcome<pivot::Grid> grid = pivot::build(source, definition);
    if (!grid) {
        ADD_FAILURE() << (grid.refusal() ? grid.refusal()->message.toStdString() : "declined");
        return *pivot::build(pivot::Source{}, pivot::Definition{});
    }
    return *grid;
}

} // namespace bx::test
