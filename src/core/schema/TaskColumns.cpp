#include "core/schema/TaskColumns.h"

#include "core/Clock.h"
#include "core/TextCompare.h"
#include "core/db/RecordSet.h"

namespace bx {

QString scr::columnList(std::initializer_list<QLatin1String> columns)
{
    QString list;
    for (QLatin1String column : columns) {
        if (!list.isEmpty())
            list += QLatin1String(", ");
        list += column;
    }
    return list;
}

const QList<ColumnDef>& scrColumns()
{
    using K = ColumnKind;
    constexpr bool kCarried = true;
    constexpr bool kKeptElsewhere = false;
    constexpr bool kReadOnly = true;
    constexpr bool kSettable = false;
    constexpr int kNotListed = -1;
    constexpr int kKept = kWrittenFirst | kWrittenLater | kCloned;
    // SCR_Route_Number is not cloned: a clone starts a route history of its own.
    static const QList<ColumnDef> columns = {
        {scr::Counter, K::Number, kCarried, kReadOnly, kWrittenNever, kNotListed},
        {scr::Number, K::Number, kCarried, kReadOnly, kWrittenFirst, 0},
        {scr::Title, K::Text, kCarried, kSettable, kKept, 1},
        {scr::Priority, K::Text, kCarried, kSettable, kKept, 2},
        {scr::Category, K::Text, kCarried, kSettable, kKept, 19},
        {scr::Status, K::Text, kCarried, kSettable, kKept, 16},
        {scr::RequestId, K::Text, kCarried, kSettable, kWrittenFirst | kCloned, 3},
        {scr::RequestGroupId, K::Number, kCarried, kSettable, kWrittenFirst | kCloned, kNotListed},
        {scr::RequestDate, K::Date, kCarried, kSettable, kWrittenFirst | kCloned, 4},
        {scr::OwnerUserId, K::Text, kCarried, kSettable, kWrittenFirst | kWrittenLater, 8},
        {scr::OwnerType, K::Number, kKeptElsewhere, kSettable, kWrittenNever, 28},
        {scr::OwnerDateIn, K::Date, kCarried, kReadOnly, kWrittenFirst, 9},
        {scr::OwnerDateViewed, K::Date, kCarried, kSettable, kWrittenFirst, 10},
        {scr::OwnerTargetDate, K::Date, kCarried, kSettable, kKept, 11},
        {scr::FirmTargetDate, K::Flag, kCarried, kSettable, kKept, 13},
        {scr::StartDate, K::Date, kCarried, kSettable, kKept, 27},
        {scr::LifecycleEndDate, K::Date, kCarried, kSettable, kKept, 29},
        {scr::LifecycleId, K::Text, kCarried, kSettable, kKept, 5},
        {scr::LcStageName, K::Text, kCarried, kSettable, kKept, 6},
        {scr::LcOwnerId, K::Text, kCarried, kSettable, kKept, 7},
        {scr::LcOwnerGroupId, K::Number, kCarried, kSettable, kKept, kNotListed},
        {scr::RouteNumber, K::Number, kCarried, kSettable, kWrittenFirst | kWrittenLater, 17},
        {scr::RouteNote, K::Text, kCarried, kSettable, kKept, 20},
        {scr::ParentNumber, K::Number, kCarried, kSettable, kKept, 15},
        {scr::ParentFolderNumber, K::Number, kCarried, kSettable, kKept, 14},
        {scr::ContactKey, K::Number, kCarried, kSettable, kKept, 18},
        {scr::Attention, K::Flag, kCarried, kSettable, kKept, 21},
        {scr::Comments, K::Text, kCarried, kSettable, kKept, kNotListed},
        {scr::CommentsAsText, K::Text, kCarried, kSettable, kKept, kNotListed},
        {scr::PercentComplete, K::Number, kCarried, kSettable, kKept, 22},
        {scr::Sensitive, K::Flag, kCarried, kSettable, kKept, 23},
        {scr::SensitivityLevel, K::Text, kCarried, kSettable, kWrittenNever, 24},
        {scr::Template, K::Flag, kCarried, kSettable, kKept, 25},
        {scr::CustomField, K::Text, kCarried, kSettable, kKept, 26},
        {scr::RecurringFrequency, K::Text, kCarried, kSettable, kKept, 12},
        {scr::MeetingId, K::Number, kCarried, kSettable, kKept, 30},
        {scr::GroupId, K::Number, kCarried, kSettable, kWrittenFirst | kWrittenLater, 31},
        {scr::RowVersion, K::Number, kCarried, kReadOnly, kWrittenNever, kNotListed},
    };
    return columns;
}

namespace {

/** A date and time cut to the whole second, as the task table keeps it. */
QDateTime wholeSeconds(const QDateTime& value)
{
    if (!value.isValid())
        return {};
    const QTime t = value.time();
    return naive(value.date(), QTime(t.hour(), t.minute(), t.second()));
}

} // namespace

const QList<TaskColumn>& taskColumns()
{
    static const QList<TaskColumn> columns = [] {
        QList<TaskColumn> carried;
        for (const ColumnDef& c : scrColumns()) {
            if (c.carried)
                carried << c;
        }
        return carried;
    }();
    return columns;
}

const TaskColumn* findTaskColumn(const QString& name)
{
    return findColumn(taskColumns(), name);
}

QVariant emptyValue(ColumnKind kind)
{
    switch (kind) {
    case ColumnKind::Text:
        return QString();
    case ColumnKind::Number:
        return qlonglong(0);
    case ColumnKind::Flag:
        return false;
    case ColumnKind::Date:
        return QDateTime();
    }
    return {};
}

QVariant normalised(ColumnKind kind, const QVariant& value)
{
    if (value.isNull())
        return emptyValue(kind);
    switch (kind) {
    case ColumnKind::Text:
        return value.toString();
    case ColumnKind::Number:
        return value.toLongLong();
    case ColumnKind::Flag:
        return value.typeId() == QMetaType::Bool ? value.toBool() : value.toLongLong() != 0;
    case ColumnKind::Date: {
        const QDateTime d = value.typeId() == QMetaType::QDateTime ? value.toDateTime()
                                                                   : RecordSet::toDateTime(value);
        return d.isValid() ? QVariant(wholeSeconds(naive(d))) : emptyValue(kind);
    }
    }
    return {};
}

bool sameValue(ColumnKind kind, const QVariant& a, const QVariant& b)
{
    const QVariant x = normalised(kind, a);
    const QVariant y = normalised(kind, b);
    switch (kind) {
    case ColumnKind::Text:
        return sameText(x.toString(), y.toString());
    case ColumnKind::Number:
        return x.toLongLong() == y.toLongLong();
    case ColumnKind::Flag:
        return x.toBool() == y.toBool();
    case ColumnKind::Date: {
        const QDateTime dx = x.toDateTime();
        const QDateTime dy = y.toDateTime();
        if (!dx.isValid() || !dy.isValid())
            return dx.isValid() == dy.isValid();
        return dx == dy;
    }
    }
    return false;
}

} // namespace bx
