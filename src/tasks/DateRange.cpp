#include "tasks/DateRange.h"

#include "core/schema/TaskColumns.h"
namespace bx {

namespace {

/** A whole number of at least 0 as typed (blanks around it allowed); nullopt otherwise. */
std::optional<int> count(const QString& typed)
{
    bool ok = false;
    const int n = typed.trimmed().toInt(&ok);
    if (!ok || n < 0)
        return std::nullopt;
    return n;
}

DateRangeCheck refused(const QString& message)
{
    return {std::nullopt, message};
}

} // namespace

const QList<DateRangeField>& dateRangeFields()
{
    static const QList<DateRangeField> fields{
        {QStringLiteral("Start Date"), scr::StartDate},
        {QStringLiteral("Date In"), scr::OwnerDateIn},
        {QStringLiteral("Date Viewed"), scr::OwnerDateViewed},
        {QStringLiteral("Target Date"), scr::OwnerTargetDate},
        {QStringLiteral("Lifecycle End Date"), scr::LifecycleEndDate},
        {QStringLiteral("Close Date"), QStringLiteral("closedate")},
    };
    return fields;
}

DateRangeCheck checkDateRange(const DateRangeInput& input, const QDate& today)
{
    DateRangeChoice choice;
    choice.field = input.field;
    switch (input.kind) {
    case DateRangeKind::LastMonths: {
        const std::optional<int> months = count(input.months);
        if (!months)
            return refused(QStringLiteral("Please specify Number of Months"));
        choice.months = *months;
        choice.start = today.addMonths(-*months);
        choice.end = today;
        break;
    }
    case DateRangeKind::Between:
        if (input.start > input.end)
            return refused(QStringLiteral("Start Date is more then the End one."));
        choice.start = input.start;
        choice.end = input.end;
        break;
    case DateRangeKind::LastDays: {
        const std::optional<int> days = count(input.days);
        if (!days)
            return refused(QStringLiteral("Please specify Number of Days"));
        choice.days = *days;
        choice.start = today.addDays(-*days);
        choice.end = today;
        break;
    }
    }
    return {choice, QString()};
}

} // namespace bx
