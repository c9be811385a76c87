#include "reports/TimeSheetReport.h"

#include "core/Clock.h"
#include "core/Gmt.h"
#include "core/ReportStyles.h"
#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/WholeFile.h"
#include "core/db/Database.h"
#include "core/db/Money.h"
#include "core/schema/TaskColumns.h"
#include "reports/TimeSheets.h"

#include <QDir>

#include <stdexcept>

namespace bx::timesheet {

namespace {

QString dateText(QDate d)
{
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}

QString row(const QString& cls, const QStringList& cells)
{
    QString out = QStringLiteral("<tr>");
    for (const QString& text : cells)
        out += html::cell(cls, text);
    return out + QStringLiteral("</tr>\n");
}

/** The subtotal row of a group of lines. */
QString sumRow(const QString& label, qint64 minutes, qint64 cents)
{
    return row(QStringLiteral("BXSumFont"),
               {label, {}, durationText(minutes), money::dollars(cents)});
}

} // namespace

QList<std::pair<QString, QString>> reportUsers(Session& session)
{
    QList<std::pair<QString, QString>> users;
    const RecordSet members = session.db().query(
        QStringLiteral("SELECT u.USER_ID, u.User_Name FROM LU_USER u JOIN GROUPLINK g "
                       "ON g.User_id = u.USER_ID WHERE g.Group_id = ? ORDER BY "
                       "u.USER_ID"),
        {session.currentWorkshopId});
    for (const QVariantList& r : members.rows())
        users.append({r.at(0).toString(), r.at(0).toString() + QStringLiteral(" ( ") +
                                              r.at(1).toString() + QStringLiteral(" )")});
    return users;
}

Outcome<std::pair<QDate, QDate>, ReportPeriodField> periodOf(PeriodKind kind, const QString& count,
                                                             QDate from, QDate to, QDate today)
{
    using Refusal = RefusalOf<ReportPeriodField>;
    bool ok = false;
    const int n = count.trimmed().toInt(&ok);
    switch (kind) {
    case PeriodKind::LastMonths:
        if (!ok || n < 0)
            return Refusal{QStringLiteral("Please specify Number of Months"),
                           ReportPeriodField::Months};
        return std::pair{today.addMonths(-n), today};
    case PeriodKind::LastDays:
        if (!ok || n < 0)
            return Refusal{QStringLiteral("Please specify Number of Days"),
                           ReportPeriodField::Days};
        return std::pair{today.addDays(-n), today};
    case PeriodKind::Dates:
        if (from > to)
            return Refusal{QStringLiteral("Start Date is more then the End one."),
                           ReportPeriodField::StartDate};
        return std::pair{from, to};
    }
    return std::pair{from, to};
}

TimeSheetTotals readTimeSheets(Session& session, const TimeSheetRequest& request)
{
    Database& db = session.db();
    const GmtConverter gmt(session.clock());
    QVariantList values;
    QString where;
    if (request.task != 0) {
        where = QStringLiteral("t.SCR_Number_Sheet = ?");
        values << request.task;
    } else {
        where = QStringLiteral("t.SCR_Number_Sheet IN (SELECT %1 FROM SCR WHERE %2 = ?)")
                    .arg(scr::Number, scr::GroupId);
        values << request.workshop;
    }
    if (!request.userId.isEmpty()) {
        where += QStringLiteral(" AND ") + db.dialect().textEquals(QStringLiteral("t.User_ID"));
        values << request.userId;
    }
    // The period's last day is taken whole: up to the start of the next day, not into it.
    where += QStringLiteral(" AND t.Date_Sheet >= ? AND t.Date_Sheet < ?");
    values << gmt.toGmt(QDateTime(request.from, QTime(0, 0)))
           << gmt.toGmt(QDateTime(request.to.addDays(1), QTime(0, 0)));
    const QString visible = visibleBookings(session, QStringLiteral("t.User_ID"), values);
    if (!visible.isEmpty())
        where += QStringLiteral(" AND ") + visible;

    // The bookings are summed per task and user first, and only those sums meet the tasks and
    // users: grouping every booking by the wide text columns (case-blind on the server) took
    // seconds for a year of a large workshop.
    const QString sql =
        QStringLiteral(
            "SELECT b.SCR_Number_Sheet, b.User_ID, s.%1, s.%2, s.%3, s.%4, u.User_Name, %5, "
            "b.Minutes FROM (SELECT t.SCR_Number_Sheet, t.User_ID, CAST(SUM(t.Time_Sheet) * 60 + "
            "SUM(t.Time_Sheet_Minute) AS BIGINT) AS Minutes FROM TIME_SHEET t WHERE %7 GROUP BY "
            "t.SCR_Number_Sheet, t.User_ID) b JOIN SCR s ON s.%6 = b.SCR_Number_Sheet LEFT JOIN "
            "LU_USER u ON u.USER_ID = b.User_ID ORDER BY s.%1, b.SCR_Number_Sheet, b.User_ID")
            .arg(scr::Title, scr::Sensitive, scr::RequestId, scr::OwnerUserId,
                 money::readable(db.dialect(), QStringLiteral("u.Rate")), scr::Number, where);
    TimeSheetTotals totals;
    const QString me = session.user.userId;
    const RecordSet rows = db.query(sql, values);
    for (const QVariantList& r : rows.rows()) {
        const bool sensitive = r.at(3).toLongLong() != 0;
        if (sensitive && !sameText(r.at(4).toString(), me) && !sameText(r.at(5).toString(), me))
            continue;
        TimeSheetLine line;
        line.task = r.at(0).toLongLong();
        line.userId = r.at(1).toString();
        line.title = r.at(2).toString();
        line.userName = r.at(6).toString();
        line.minutes = r.at(8).toLongLong();
        line.cents = money::costInCents(line.minutes, money::moneyOf(r.at(7)).value_or(0));
        totals.minutes += line.minutes;
        totals.cents += line.cents;
        totals.lines.append(line);
    }
    return totals;
}

QString reportPage(const TimeSheetTotals& totals, const TimeSheetRequest& request,
                   const QString& userLabel, QDate today)
{
    QString page = QStringLiteral("<html>\n<head>\n<meta charset=\"utf-8\">\n"
                                  "<title>Brindlepax Timesheet Report</title>\n") +
                   QString::fromUtf8(html::kStyles) +
                   QStringLiteral("</head>\n<body style=\"font-family: Verdana\">\n");
    page +=
        QStringLiteral("<p><span class=\"BXHeaderFont\">Brindlepax Timesheet Report</span>"
                       "<span class=\"BXSumFont\"> on date: ") +
        dateText(today) +
        QStringLiteral("</span></p>\n<p class=\"BXNormalFont\">Parameters:"
                       "<br>\nDate: from ") +
        dateText(request.from) + QStringLiteral(" to ") + dateText(request.to) +
        QStringLiteral("<br>\nTask User: ") +
        (userLabel.isEmpty() ? QStringLiteral(" and all team members") : userLabel.toHtmlEscaped());
    if (request.task != 0 && !totals.lines.isEmpty())
        page += QStringLiteral("<br>\nTask Title: ") + totals.lines.first().title.toHtmlEscaped();
    page +=
        QStringLiteral("</p>\n<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" "
                       "width=\"100%\">\n<tr><th class=\"BXTableHeaderFont\">User Name/Role</th>"
                       "<th class=\"BXTableHeaderFont\">Task Title</th>"
                       "<th class=\"BXTableHeaderFont\">Time</th>"
                       "<th class=\"BXTableHeaderFont\">Cost</th></tr>\n");

    // The lines come by task; each task's group closes with its sum.
    QMap<QString, std::pair<qint64, qint64>> byUser;
    QMap<QString, QString> userNames;
    for (qsizetype i = 0; i < totals.lines.size(); ++i) {
        const TimeSheetLine& line = totals.lines.at(i);
        const QString who = line.userName.isEmpty() ? line.userId : line.userName;
        page += row(QStringLiteral("BXNormalFont"),
                    {who, line.title, durationText(line.minutes), money::dollars(line.cents)});
        const QString key = line.userId.toLower();
        byUser[key].first += line.minutes;
        byUser[key].second += line.cents;
        userNames[key] = who;
        const bool lastOfTask =
            i + 1 == totals.lines.size() || totals.lines.at(i + 1).task != line.task;
        if (lastOfTask) {
            qint64 minutes = 0;
            qint64 cents = 0;
            for (qsizetype j = i; j >= 0 && totals.lines.at(j).task == line.task; --j) {
                minutes += totals.lines.at(j).minutes;
                cents += totals.lines.at(j).cents;
            }
            page += sumRow(QStringLiteral("Summary by Task:"), minutes, cents);
        }
    }
    for (auto it = byUser.cbegin(); it != byUser.cend(); ++it)
        page += sumRow(QStringLiteral("Summary by User: ") + userNames.value(it.key()), it->first,
                       it->second);
    page += sumRow(QStringLiteral("Totals: "), totals.minutes, totals.cents);
    return page + QStringLiteral("</table>\n</body>\n</html>\n");
}

QString writeReport(Session& session, const TimeSheetRequest& request, const QString& userLabel,
                    const QString& folder)
{
    const TimeSheetTotals totals = readTimeSheets(session, request);
    const QString path = QDir(folder).filePath(QStringLiteral("RepTmp.html"));
    QDir().mkpath(folder);
    const QString failure = writeWholeFile(
        path, reportPage(totals, request, userLabel, session.clock().nowLocal().date()).toUtf8());
    if (!failure.isEmpty())
        throw std::runtime_error("cannot write " + path.toStdString() + ": " +
                                 failure.toStdString());
    return path;
}

} // namespace bx::timesheet
