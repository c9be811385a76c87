#include "mainwindow/CalendarDays.h"

#include "core/Clock.h"
#include "core/Gmt.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "tasks/TaskTypes.h"

#include <QLocale>

#include <algorithm>

namespace bx {

namespace {

bool isMeeting(const RecordSet& rows)
{
    return !rows.isNull(scr::MeetingId) && rows.number(scr::MeetingId) != 0;
}

} // namespace

CalendarDays::CalendarDays(Database& db, const Clock& clock)
    : m_db(db)
    , m_clock(clock)
{
}

QString CalendarDays::workshopMissing(qlonglong workshop)
{
    return workshop > 0 ? QString() : QStringLiteral("Please specify Workshop");
}

CalendarMarks CalendarDays::marks(qlonglong workshop, int year, int month) const
{
    CalendarMarks result;
    const QDate first(year, month, 1);
    if (workshop <= 0 || !first.isValid())
        return result;
    const GmtConverter gmt(m_clock);
    const QDateTime from = gmt.toGmt(naive(first));
    const QDateTime to = gmt.toGmt(naive(first.addMonths(1)));
    RecordSet rows =
        m_db.query(QStringLiteral("SELECT SCR.%1, SCR.%2 FROM SCR"
                                  " WHERE SCR.%3 = ? AND SCR.%4 = ?"
                                  " AND SCR.%1 IS NOT NULL AND SCR.%1 >= ? AND SCR.%1 < ?")
                       .arg(scr::OwnerTargetDate, scr::MeetingId, scr::Status, scr::GroupId),
                   {statusCode(TaskStatus::Active), workshop, from, to});
    for (; !rows.eof(); rows.moveNext()) {
        const QDate day = gmt.toLocalDate(rows.dateTime(scr::OwnerTargetDate));
        if (!day.isValid())
            continue;
        (isMeeting(rows) ? result.meetingDays : result.taskDays).insert(day);
    }
    return result;
}

QList<CalendarDayItem> CalendarDays::day(qlonglong workshop, const QDate& date) const
{
    QList<CalendarDayItem> items;
    if (workshop <= 0 || !date.isValid())
        return items;
    const GmtConverter gmt(m_clock);
    RecordSet rows =
        m_db.query(QStringLiteral("SELECT SCR.%1, SCR.%2, SCR.%3, SCR.%4, SCR.%5, SCR.%6"
                                  " FROM SCR, LU_USER"
                                  " WHERE SCR.%7 = ? AND SCR.%3 = LU_USER.USER_ID"
                                  " AND LU_USER.Disabled = 0 AND SCR.%8 = ?"
                                  " AND SCR.%5 IS NOT NULL AND SCR.%5 >= ? AND SCR.%5 < ?"
                                  " ORDER BY SCR.%2 DESC")
                       .arg(scr::Number, scr::Title, scr::OwnerUserId, scr::Priority,
                            scr::OwnerTargetDate, scr::MeetingId, scr::Status, scr::GroupId),
                   {statusCode(TaskStatus::Active), workshop, gmt.toGmt(naive(date)),
                    gmt.toGmt(naive(date.addDays(1)))});
    for (; !rows.eof(); rows.moveNext()) {
        CalendarDayItem item;
        item.number = rows.number(scr::Number);
        item.title = rows.text(scr::Title);
        item.owner = rows.text(scr::OwnerUserId);
        item.priority = rows.text(scr::Priority);
        item.dueLocal = gmt.toLocal(rows.dateTime(scr::OwnerTargetDate));
        item.meeting = isMeeting(rows);
        items << item;
    }
    std::stable_partition(items.begin(), items.end(),
                          [](const CalendarDayItem& i) { return !i.meeting; });
    return items;
}

QStringList CalendarDays::dayColumns()
{
    return {QStringLiteral("Type"), QStringLiteral("Task Title"), QStringLiteral("Owner"),
            QStringLiteral("Priority"), QStringLiteral("Due Date")};
}

QString CalendarDays::dayCell(const CalendarDayItem& item, int column)
{
    switch (column) {
    case 0:
        return item.meeting ? QStringLiteral("Meeting") : QStringLiteral("Task");
    case 1:
        return item.title;
    case 2:
        return item.owner;
    case 3:
        return item.priority;
    case 4:
        return QLocale().toString(item.dueLocal.time(), QLocale::ShortFormat);
    default:
        return {};
    }
}

} // namespace bx
