#include "reports/TimeSheets.h"

#include "core/Clock.h"
#include "core/Gmt.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/UserRights.h"
#include "core/db/Database.h"

#include <QStringList>

namespace bx::timesheet {

namespace {

const QString kColumns =
    QStringLiteral("ID_Sheet, SCR_Number_Sheet, User_ID, Date_Sheet, Start_Sheet, Time_Sheet, "
                   "Time_Sheet_Minute, Comment_Sheet, Timer_Running, StartTime");

Booking bookingAt(const RecordSet& rs, const GmtConverter& gmt)
{
    Booking b;
    b.id = rs.number(QStringLiteral("ID_Sheet"));
    b.task = rs.number(QStringLiteral("SCR_Number_Sheet"));
    b.userId = rs.text(QStringLiteral("User_ID"));
    b.date = gmt.toLocalDate(rs.dateTime(QStringLiteral("Date_Sheet")));
    b.start = gmt.toLocalTime(rs.dateTime(QStringLiteral("Start_Sheet")));
    b.hours = rs.number(QStringLiteral("Time_Sheet"));
    b.minutes = int(rs.number(QStringLiteral("Time_Sheet_Minute")));
    b.comment = rs.text(QStringLiteral("Comment_Sheet"));
    b.running = rs.flag(QStringLiteral("Timer_Running"));
    b.startTime = rs.dateTime(QStringLiteral("StartTime"));
    return b;
}

std::optional<Booking> bookingById(Database& db, const GmtConverter& gmt, qint64 id)
{
    RecordSet rs = db.query(
        QStringLiteral("SELECT %1 FROM TIME_SHEET WHERE ID_Sheet = ?").arg(kColumns), {id});
    if (rs.isEmpty())
        return std::nullopt;
    return bookingAt(rs, gmt);
}

bool isAdministrator(const Session& session)
{
    return UserRights::isAdministrator(session.user.record) ||
           UserRecord::isBuiltInAdmin(session.user.userId);
}

/** The GMT moments stored for a local date and start: the day's start, and the start itself. */
std::pair<QDateTime, QDateTime> storedMoments(const GmtConverter& gmt, const BookingInput& input)
{
    return {gmt.toGmt(QDateTime(input.date, QTime(0, 0))),
            gmt.toGmt(QDateTime(input.date, input.start))};
}

QString twoDigits(qint64 n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

std::optional<QString> askReason(Prompt& prompt, const QString& action)
{
    return prompt.input(QStringLiteral("Please specify comments related to the Time Sheet ") +
                        action + QStringLiteral(" record "));
}

/** Writes the change-log row of a booking's old values. */
void logChange(Session& session, const Booking& old, const QString& action, const QString& reason)
{
    const QString crlf = QStringLiteral("\r\n");
    const QString oldValue =
        QStringLiteral("StartDate: ") + old.date.toString(QStringLiteral("yyyy-MM-dd")) + crlf +
        QStringLiteral("StartTime: ") + old.start.toString(QStringLiteral("HH:mm")) + crlf +
        QStringLiteral("Working time: ") + QString::number(old.hours) + QLatin1Char(':') +
        twoDigits(old.minutes) + crlf + QStringLiteral("Comment: ") + old.comment;
    session.db().insertNumbered(QStringLiteral("TIME_SHEET_ROUTE"), QStringLiteral("Id"),
                                {QStringLiteral("ID_SHEET"), QStringLiteral("Date_Route"),
                                 QStringLiteral("Old_Value"), QStringLiteral("User_ID"),
                                 QStringLiteral("Comment"), QStringLiteral("Action")},
                                {old.id, GmtConverter(session.clock()).nowGmt(), oldValue,
                                 session.user.userId, reason, action});
}

/** The booking to change, or a refusal when it is another user's and he administers nothing. */
Outcome<Booking> changeable(Session& session, qint64 id)
{
    const GmtConverter gmt(session.clock());
    std::optional<Booking> booking = bookingById(session.db(), gmt, id);
    if (!booking)
        return RefusalOf<>{QStringLiteral("Please select a Record to delete.")};
    if (!sameText(booking->userId, session.user.userId) && !isAdministrator(session))
        return RefusalOf<>{QStringLiteral("This time record is ") + booking->userId.trimmed() +
                           QStringLiteral("'s; only your own records may be changed.")};
    return *booking;
}

} // namespace

QString durationText(qint64 minutes)
{
    return QString::number(minutes / 60) + QLatin1Char(':') + twoDigits(minutes % 60);
}

QString actualHoursText(qint64 minutes)
{
    return QString::number(minutes / 60) + QStringLiteral(" h. ") + QString::number(minutes % 60) +
           QStringLiteral(" m.");
}

std::optional<RefusalOf<TimeSheetField>> checkDuration(const QString& hours, const QString& minutes)
{
    bool ok = false;
    const qlonglong m = minutes.trimmed().toLongLong(&ok);
    if (!ok || m < 0 || m > 59)
        return RefusalOf<TimeSheetField>{
            QStringLiteral("Please enter a number of minutes from 0 to 59"),
            TimeSheetField::Minutes};
    const qlonglong h = hours.trimmed().toLongLong(&ok);
    if (!ok || h < 0 || h > kMostHours)
        return RefusalOf<TimeSheetField>{
            QStringLiteral("Please enter a number from hours 0 to 4200000000"),
            TimeSheetField::Hours};
    return std::nullopt;
}

QString visibleBookings(const Session& session, const QString& userColumn, QVariantList& values)
{
    if (isAdministrator(session))
        return {};
    values << session.user.userId << session.user.userId;
    return QStringLiteral("(%1 = ? OR %1 IN (WITH RECURSIVE below(id) AS (SELECT u.USER_ID FROM "
                          "LU_USER u WHERE u.Supervisor_User_ID = ? UNION SELECT u.USER_ID FROM "
                          "LU_USER u JOIN below b ON u.Supervisor_User_ID = b.id) SELECT id FROM "
                          "below))")
        .arg(userColumn);
}

QList<Booking> bookingsOf(Session& session, qint64 task)
{
    QVariantList values{task};
    QString sql =
        QStringLiteral("SELECT %1 FROM TIME_SHEET WHERE SCR_Number_Sheet = ?").arg(kColumns);
    const QString visible = visibleBookings(session, QStringLiteral("User_ID"), values);
    if (!visible.isEmpty())
        sql += QStringLiteral(" AND ") + visible;
    sql += QStringLiteral(" ORDER BY Date_Sheet, Start_Sheet, ID_Sheet");
    const GmtConverter gmt(session.clock());
    QList<Booking> out;
    for (RecordSet rs = session.db().query(sql, values); !rs.eof(); rs.moveNext())
        out.append(bookingAt(rs, gmt));
    return out;
}

Outcome<qint64, TimeSheetField> addBooking(Session& session, qint64 task, const BookingInput& input)
{
    if (auto refusal = checkDuration(input.hours, input.minutes))
        return *refusal;
    const auto [day, start] = storedMoments(GmtConverter(session.clock()), input);
    Database& db = session.db();
    return db.insertNumbered(
        QStringLiteral("TIME_SHEET"), QStringLiteral("ID_Sheet"),
        {QStringLiteral("SCR_Number_Sheet"), QStringLiteral("User_ID"),
         QStringLiteral("Date_Sheet"), QStringLiteral("Start_Sheet"), QStringLiteral("Time_Sheet"),
         QStringLiteral("Time_Sheet_Minute"), QStringLiteral("Comment_Sheet"),
         QStringLiteral("Timer_Running"), QStringLiteral("StartTime")},
        {task, session.user.userId, day, start, input.hours.trimmed().toLongLong(),
         input.minutes.trimmed().toInt(), input.comment, false, QVariant()});
}

Outcome<Done, TimeSheetField> editBooking(Session& session, Prompt& prompt, qint64 id,
                                          const BookingInput& input)
{
    if (auto refusal = checkDuration(input.hours, input.minutes))
        return *refusal;
    const Outcome<Booking> old = changeable(session, id);
    if (!old)
        return RefusalOf<TimeSheetField>{old.refusal()->message, TimeSheetField::None};
    const QString action = QStringLiteral("edited");
    const std::optional<QString> reason = askReason(prompt, action);
    if (!reason)
        return Outcome<Done, TimeSheetField>::declined();
    Database& db = session.db();
    Transaction tx(db);
    logChange(session, *old, action, *reason);
    const auto [day, start] = storedMoments(GmtConverter(session.clock()), input);
    db.execute(QStringLiteral("UPDATE TIME_SHEET SET Date_Sheet = ?, Start_Sheet = ?, Time_Sheet = "
                              "?, Time_Sheet_Minute = ?, Comment_Sheet = ? WHERE ID_Sheet = ?"),
               {day, start, input.hours.trimmed().toLongLong(), input.minutes.trimmed().toInt(),
                input.comment.isEmpty() ? QVariant() : QVariant(input.comment), id});
    tx.commit();
    return Done{};
}

Outcome<Done> deleteBooking(Session& session, Prompt& prompt, std::optional<qint64> id)
{
    if (!id)
        return RefusalOf<>{QStringLiteral("Please select a Record to delete.")};
    const Outcome<Booking> old = changeable(session, *id);
    if (!old)
        return *old.refusal();
    const QString action = QStringLiteral("deleted");
    const std::optional<QString> reason = askReason(prompt, action);
    if (!reason)
        return Outcome<>::declined();
    Database& db = session.db();
    Transaction tx(db);
    logChange(session, *old, action, *reason);
    db.execute(QStringLiteral("DELETE FROM TIME_SHEET WHERE ID_Sheet = ?"), {*id});
    tx.commit();
    return Done{};
}

qint64 startStopwatch(Session& session, qint64 task)
{
    const GmtConverter gmt(session.clock());
    const QDateTime now = session.clock().nowLocal();
    const auto [day, start] = storedMoments(gmt, {now.date(), now.time(), {}, {}, {}});
    return session.db().insertNumbered(
        QStringLiteral("TIME_SHEET"), QStringLiteral("ID_Sheet"),
        {QStringLiteral("SCR_Number_Sheet"), QStringLiteral("User_ID"),
         QStringLiteral("Date_Sheet"), QStringLiteral("Start_Sheet"), QStringLiteral("StartTime"),
         QStringLiteral("Timer_Running"), QStringLiteral("Time_Sheet"),
         QStringLiteral("Time_Sheet_Minute"), QStringLiteral("Comment_Sheet")},
        {task, session.user.userId, day, start, gmt.nowGmt(), true, 0, 0, QStringLiteral(" ")});
}

int stopStopwatch(Session& session, qint64 task)
{
    Database& db = session.db();
    const QDateTime now = GmtConverter(session.clock()).nowGmt();
    Transaction tx(db);
    const RecordSet running = db.queryLocked(
        QStringLiteral("SELECT ID_Sheet, StartTime FROM TIME_SHEET WHERE Timer_Running <> 0 AND "
                       "SCR_Number_Sheet = ? AND ") +
            db.dialect().textEquals(QStringLiteral("User_ID")),
        {task, session.user.userId});
    for (const QVariantList& row : running.rows()) {
        const QDateTime started = RecordSet::toDateTime(row.at(1));
        const qint64 total = started.isValid() ? qAbs(started.secsTo(now)) / 60 : 0;
        db.execute(QStringLiteral("UPDATE TIME_SHEET SET Timer_Running = 0, StartTime = NULL, "
                                  "Time_Sheet = ?, Time_Sheet_Minute = ? WHERE ID_Sheet = ?"),
                   {total / 60, total % 60, row.at(0)});
    }
    tx.commit();
    return int(running.rowCount());
}

std::optional<QDateTime> stopwatchStart(Session& session, qint64 task)
{
    Database& db = session.db();
    const QVariant start = db.scalar(
        QStringLiteral("SELECT MIN(StartTime) FROM TIME_SHEET WHERE Timer_Running <> 0 AND "
                       "SCR_Number_Sheet = ? AND ") +
            db.dialect().textEquals(QStringLiteral("User_ID")),
        {task, session.user.userId});
    if (start.isNull())
        return std::nullopt;
    return RecordSet::toDateTime(start);
}

QHash<qint64, qint64> bookedMinutes(Session& session, const QList<qint64>& tasks)
{
    QHash<qint64, qint64> out;
    if (tasks.isEmpty())
        return out;
    QVariantList values;
    for (qint64 task : tasks)
        values << task;
    QString visible = visibleBookings(session, QStringLiteral("User_ID"), values);
    if (!visible.isEmpty())
        visible.prepend(QStringLiteral(" AND "));
    const RecordSet rs = session.db().query(
        QStringLiteral("SELECT SCR_Number_Sheet, CAST(SUM(Time_Sheet) * 60 + "
                       "SUM(Time_Sheet_Minute) AS BIGINT) FROM TIME_SHEET WHERE SCR_Number_Sheet "
                       "IN (%1)%2 GROUP BY SCR_Number_Sheet")
            .arg(Dialect::markers(tasks.size()), visible),
        values);
    for (const QVariantList& row : rs.rows())
        out.insert(row.at(0).toLongLong(), row.at(1).toLongLong());
    return out;
}

} // namespace bx::timesheet
