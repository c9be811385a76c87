#include "mainwindow/QuickReports.h"

#include "core/Clock.h"
#include "core/Gmt.h"
#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/WholeFile.h"
#include "core/db/Database.h"
#include "core/db/RecordSet.h"
#include "core/schema/TaskColumns.h"
#include "mainwindow/TeamTree.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <functional>

namespace bx::quick {

namespace {

/** What a report lists and so which columns its page shows. */
enum class Shape
{
    Completed, ///< completing route entries with their task
    Task,      ///< tasks with due date, firmness and requester
    NoStatus,  ///< tasks with their due date only
    Status     ///< status-report rows with their task
};

Shape shapeOf(QuickReport report)
{
    switch (report) {
    case QuickReport::CompletedThisWeek:
        return Shape::Completed;
    case QuickReport::CurrentWork:
    case QuickReport::OverDue:
    case QuickReport::NoDueDate:
        return Shape::Task;
    case QuickReport::NoStatusReport:
        return Shape::NoStatus;
    case QuickReport::LatestStatus:
    case QuickReport::StatusReports:
    case QuickReport::WeeklyStatus:
    case QuickReport::WeeklyIssues:
        break;
    }
    return Shape::Status;
}

/** The logo every page shows; it lies beside the program's data files and beside the pages. */
const QString kLogoFile = QStringLiteral("BXLogo.png");

// Names under which the statements hand over the columns of the route and status rows.
const QString kCompleted = QStringLiteral("Completed_Date");
const QString kReportDate = QStringLiteral("Report_Date");
const QString kProgress = QStringLiteral("Report_Progress");
const QString kIssues = QStringLiteral("Report_Issues");
const QString kRecommendations = QStringLiteral("Report_Recommendations");
const QString kSatisfied = QStringLiteral("Report_Satisfied");
const QString kOnSchedule = QStringLiteral("Report_On_Schedule");

/** The task columns every page reads. */
QString taskColumns()
{
    QStringList list;
    for (const QLatin1String c :
         {scr::Number, scr::Title, scr::StartDate, scr::OwnerTargetDate, scr::FirmTargetDate,
          scr::RequestId, scr::OwnerUserId, scr::Category, scr::Priority, scr::Sensitive})
        list << QStringLiteral("SCR.") + c;
    return list.join(QStringLiteral(", "));
}

/** The first two ordering columns group the rows; the rest only order them. */
struct Grouping
{
    QString first;
    QString second;
};

Grouping groupingOf(QuickReport report)
{
    switch (shapeOf(report)) {
    case Shape::Completed:
        return {scr::Category, scr::OwnerUserId};
    case Shape::NoStatus:
        return {scr::OwnerUserId, scr::Priority};
    case Shape::Task:
    case Shape::Status:
        break;
    }
    return {scr::OwnerUserId, scr::Category};
}

/** The latest status report of the row's task. */
QString latestOfTask()
{
    return QStringLiteral("X.Attach_Date = (SELECT MAX(M.Attach_Date) FROM MR_STATUS M WHERE "
                          "M.%1 = X.%1)")
        .arg(scr::Number);
}

QString dateText(const GmtConverter& gmt, const QVariant& stored)
{
    const QDate day = gmt.toLocalDate(RecordSet::toDateTime(stored));
    return day.isValid() ? day.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

/** Database text for the page: escaped, its line breaks kept. */
QString escaped(const QString& text)
{
    return text.toHtmlEscaped().replace(u'\n', QStringLiteral("<br>"));
}

QString cell(const QString& markup, bool right = false)
{
    return (right ? QStringLiteral("<td align=\"right\">") : QStringLiteral("<td>")) +
           (markup.isEmpty() ? QStringLiteral("&nbsp;") : markup) + QStringLiteral("</td>");
}

const char kHead[] = R"(<style type="text/css">
.BXNormalFont { font-family: Tahoma; font-size: 8pt; color: black; }
.BXTableNormalFont { font-family: "Courier New"; font-size: 8pt; color: black; }
.BXHeaderFont { font-family: Tahoma; font-size: 20pt; color: black; }
.BXTableHeaderFont { font-family: Tahoma; font-size: 16pt; color: black; }
.BXSumFont { font-family: "Courier New"; font-size: 12pt; color: red; }
</style>
)";

QStringList captionsOf(Shape shape)
{
    switch (shape) {
    case Shape::Completed:
        return {QStringLiteral("ID"), QStringLiteral("Title"), QStringLiteral("Start Date"),
                QStringLiteral("Date Completed")};
    case Shape::Task:
        return {QStringLiteral("ID"),       QStringLiteral("Title"), QStringLiteral("Start Date"),
                QStringLiteral("Due Date"), QStringLiteral("Firm?"), QStringLiteral("From")};
    case Shape::NoStatus:
        return {QStringLiteral("ID"), QStringLiteral("Title"), QStringLiteral("Start Date"),
                QStringLiteral("Target")};
    case Shape::Status:
        break;
    }
    return {QStringLiteral("ID"),
            QStringLiteral("Target"),
            QStringLiteral("Title"),
            QStringLiteral("Start Date"),
            QStringLiteral("5/15 DT"),
            QStringLiteral("Progress"),
            QStringLiteral("Issues and Recommendations"),
            QStringLiteral("Satisfied"),
            QStringLiteral("On Sched?")};
}

/** Writes the group headers and detail tables of one page. */
class PageWriter
{
public:
    PageWriter(QuickReport report, const RecordSet& rows, const Session& session)
        : m_shape(shapeOf(report))
        , m_rows(rows)
        , m_gmt(session.clock())
    {
        const Grouping g = groupingOf(report);
        m_first = rows.columnIndex(g.first);
        m_second = rows.columnIndex(g.second);
    }

    /** The rows' tables; empty when no row may be shown to `userId`. */
    QString body(const QString& userId)
    {
        QString out;
        std::optional<QString> first;
        std::optional<QString> second;
        bool open = false;
        for (int r = 0; r < m_rows.rowCount(); ++r) {
            if (!taskVisibleTo(m_rows, r, userId))
                continue;
            const QString a = m_rows.rows().at(r).at(m_first).toString();
            const QString b = m_rows.rows().at(r).at(m_second).toString();
            const bool newFirst = !first || !sameText(*first, a);
            if (newFirst || !second || !sameText(*second, b)) {
                if (open)
                    out += QStringLiteral("</table>\n");
                if (newFirst)
                    out += QStringLiteral("<br><table class=\"BXTableHeaderFont\" width=\"100%\">"
                                          "<tr bgcolor=\"#FFFFFF\"><td><font color=\"#660099\">") +
                           escaped(a) + QStringLiteral("</font></td></tr></table>\n");
                out += QStringLiteral("<table class=\"BXNormalFont\" border=\"1\" "
                                      "cellspacing=\"0\" cellpadding=\"2\" width=\"100%\">\n"
                                      "<tr bgcolor=\"#00FF66\"><td colspan=\"") +
                       QString::number(captionsOf(m_shape).size()) + QStringLiteral("\"><b>") +
                       escaped(b) + QStringLiteral("</b></td></tr>\n<tr bgcolor=\"#CCCCCC\">");
                for (const QString& caption : captionsOf(m_shape))
                    out += QStringLiteral("<th>") + caption + QStringLiteral("</th>");
                out += QStringLiteral("</tr>\n");
                first = a;
                second = b;
                open = true;
            }
            out += detailRow(r);
        }
        if (open)
            out += QStringLiteral("</table>\n");
        return out;
    }

private:
    QString value(int row, const QString& column) const
    {
        return m_rows.rows().at(row).at(m_rows.columnIndex(column)).toString();
    }
    QString date(int row, const QString& column) const
    {
        return dateText(m_gmt, m_rows.rows().at(row).at(m_rows.columnIndex(column)));
    }

    QString detailRow(int r) const
    {
        QString out = QStringLiteral("<tr>") + cell(escaped(value(r, scr::Number)), true);
        switch (m_shape) {
        case Shape::Completed:
            out += cell(escaped(value(r, scr::Title))) + cell(date(r, scr::StartDate)) +
                   cell(date(r, kCompleted));
            break;
        case Shape::Task: {
            const bool firm =
                m_rows.rows().at(r).at(m_rows.columnIndex(scr::FirmTargetDate)).toLongLong() != 0;
            out += cell(escaped(value(r, scr::Title))) + cell(date(r, scr::StartDate)) +
                   cell(date(r, scr::OwnerTargetDate)) +
                   cell(firm ? QStringLiteral("Yes") : QStringLiteral("No")) +
                   cell(escaped(value(r, scr::RequestId)));
            break;
        }
        case Shape::NoStatus:
            out += cell(escaped(value(r, scr::Title))) + cell(date(r, scr::StartDate)) +
                   cell(date(r, scr::OwnerTargetDate));
            break;
        case Shape::Status: {
            const QString issues = value(r, kIssues).trimmed();
            const QString recommendations = value(r, kRecommendations).trimmed();
            QString both = escaped(issues);
            if (!issues.isEmpty() && !recommendations.isEmpty())
                both += QStringLiteral("<br>");
            both += escaped(recommendations);
            out += cell(date(r, scr::OwnerTargetDate)) + cell(escaped(value(r, scr::Title))) +
                   cell(date(r, scr::StartDate)) + cell(date(r, kReportDate)) +
                   cell(escaped(value(r, kProgress))) + cell(both) +
                   cell(escaped(value(r, kSatisfied))) + cell(escaped(value(r, kOnSchedule)));
            break;
        }
        }
        return out + QStringLiteral("</tr>\n");
    }

    Shape m_shape;
    const RecordSet& m_rows;
    GmtConverter m_gmt;
    int m_first = -1;
    int m_second = -1;
};

} // namespace

const QList<QuickReportInfo>& quickReports()
{
    static const QList<QuickReportInfo> list{
        {QuickReport::CompletedThisWeek, QStringLiteral("Activities Completed this Week"),
         QStringLiteral("RepThisWeek.html")},
        {QuickReport::CurrentWork, QStringLiteral("Who's Working on What Report"),
         QStringLiteral("CurTasks.html")},
        {QuickReport::OverDue, QStringLiteral("Over Due Tasks"), QStringLiteral("LateTasks.html")},
        {QuickReport::NoDueDate, QStringLiteral("Tasks With No Due Date Assigned"),
         QStringLiteral("NoTargetTasks.html")},
        {QuickReport::NoStatusReport, QStringLiteral("No Weekly Status Report Available"),
         QStringLiteral("NoStatusTasks.html")},
        {QuickReport::LatestStatus, QStringLiteral("Most Recent Brindlepax Status Reports"),
         QStringLiteral("MoreRecentTasks.html")},
        {QuickReport::StatusReports, QStringLiteral("Brindlepax Status Reports"),
         QStringLiteral("StatusReports.html")},
        {QuickReport::WeeklyStatus, QStringLiteral("Weekly Brindlepax Status Reports"),
         QStringLiteral("WeeklyRep.html")},
        {QuickReport::WeeklyIssues, QStringLiteral("Weekly Issues (from status reports)"),
         QStringLiteral("WeeklyIssues.html")},
    };
    return list;
}

const QuickReportInfo& infoOf(QuickReport report)
{
    for (const QuickReportInfo& info : quickReports()) {
        if (info.report == report)
            return info;
    }
    return quickReports().first();
}

QStringList reportOwners(const TeamTree& tree, const std::optional<OwnerSet>& kept)
{
    if (kept)
        return kept->ids;
    QStringList owners;
    const std::function<void(const TreeNode*)> walk = [&](const TreeNode* node) {
        if (node->kind == TreeNodeKind::User) {
            const QString id = node->key.toString();
            const bool known = std::any_of(owners.cbegin(), owners.cend(),
                                           [&](const QString& o) { return sameText(o, id); });
            if (!known)
                owners << id;
        }
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i));
    };
    walk(tree.root());
    return owners;
}

TaskCriteria reportStatement(QuickReport report, const QStringList& owners, const Session& session)
{
    const GmtConverter gmt(session.clock());
    const QDate today = session.clock().nowLocal().date();
    // "This week" takes in the whole local day seven days back.
    const QDateTime weekStart = gmt.toGmt(naive(today.addDays(-7)));
    const QString ordered = QStringLiteral(" ORDER BY SCR.%1, SCR.%2, SCR.%3")
                                .arg(scr::OwnerUserId, scr::Category, scr::Number);
    TaskCriteria q;
    QVariantList values;
    QString from;
    QString where;
    QString order = ordered;
    switch (shapeOf(report)) {
    case Shape::Completed:
        q.sql = QStringLiteral("SELECT ") + taskColumns() +
                QStringLiteral(", ROUTE.Route_Date_In AS ") + kCompleted;
        from = QStringLiteral(" FROM SCR INNER JOIN ROUTE ON SCR.%1 = ROUTE.%1").arg(scr::Number);
        where = QStringLiteral("ROUTE.Route_Status = 'C' AND ROUTE.Route_Date_In >= ?");
        values << weekStart;
        order = QStringLiteral(" ORDER BY SCR.%1, SCR.%2, ROUTE.Route_Date_In, SCR.%3")
                    .arg(scr::Category, scr::OwnerUserId, scr::Number);
        break;
    case Shape::Task:
    case Shape::NoStatus:
        q.sql = QStringLiteral("SELECT ") + taskColumns();
        from = QStringLiteral(" FROM SCR");
        where = QStringLiteral("SCR.%1 = 'A'").arg(scr::Status);
        break;
    case Shape::Status:
        q.sql =
            QStringLiteral("SELECT ") + taskColumns() +
            QStringLiteral(", X.Attach_Date AS %1, X.Progress AS %2, X.Issues AS %3, "
                           "X.Recommendations AS %4, X.Satisfied AS %5, X.OnSchedule AS %6")
                .arg(kReportDate, kProgress, kIssues, kRecommendations, kSatisfied, kOnSchedule);
        from = QStringLiteral(" FROM MR_STATUS X INNER JOIN SCR ON SCR.%1 = X.%1").arg(scr::Number);
        order = QStringLiteral(" ORDER BY SCR.%1, SCR.%2, SCR.%3, X.Attach_Date, SCR.%4")
                    .arg(scr::OwnerUserId, scr::Category, scr::OwnerTargetDate, scr::Number);
        break;
    }
    switch (report) {
    case QuickReport::OverDue:
        // Due before the start of today, local time.
        where += QStringLiteral(" AND SCR.%1 IS NOT NULL AND SCR.%1 < ?").arg(scr::OwnerTargetDate);
        values << gmt.toGmt(naive(today));
        break;
    case QuickReport::NoDueDate:
        where += QStringLiteral(" AND SCR.%1 IS NULL").arg(scr::OwnerTargetDate);
        break;
    case QuickReport::NoStatusReport:
        where += QStringLiteral(" AND SCR.%1 LIKE ? AND NOT EXISTS (SELECT 1 FROM "
                                "MR_WEEKLY_STATUS W WHERE W.%2 = SCR.%2)")
                     .arg(scr::Priority, scr::Number);
        values << QStringLiteral("%Status%");
        order = QStringLiteral(" ORDER BY SCR.%1, SCR.%2, SCR.%3")
                    .arg(scr::OwnerUserId, scr::Priority, scr::Number);
        break;
    case QuickReport::LatestStatus:
        where = latestOfTask();
        break;
    case QuickReport::StatusReports:
        where = QStringLiteral("1 = 1");
        break;
    case QuickReport::WeeklyStatus:
        where = QStringLiteral("X.Attach_Date >= ?");
        values << weekStart;
        break;
    case QuickReport::WeeklyIssues:
        // Issues count when they are not blank; the owners narrow both alternatives.
        where = QStringLiteral("((COALESCE(TRIM(X.Issues), '') <> '' AND ") + latestOfTask() +
                QStringLiteral(") OR UPPER(TRIM(X.Satisfied)) = 'NO')");
        break;
    case QuickReport::CompletedThisWeek:
    case QuickReport::CurrentWork:
        break;
    }
    q.sql += from + QStringLiteral(" WHERE ") + where + QStringLiteral(" AND ");
    q.params = values;
    q.sql += ownerTerm(OwnerSet{OwnerKind::User, owners}, q.params) + order;
    return q;
}

std::optional<QString> reportPage(QuickReport report, const RecordSet& rows, const Session& session)
{
    const QString body = PageWriter(report, rows, session).body(session.user.userId);
    if (body.isEmpty())
        return std::nullopt;
    const QString title = infoOf(report).title.toHtmlEscaped();
    return QStringLiteral("<html lang=\"en\">\n<head><meta http-equiv=\"Content-Type\" "
                          "content=\"text/html; charset=utf-8\">\n<title>") +
           title + QStringLiteral("</title>\n") + QString::fromUtf8(kHead) +
           QStringLiteral("</head>\n<body>\n<img border=\"0\" src=\"") + kLogoFile +
           QStringLiteral("\" width=\"150\" height=\"60\" align=\"right\" alt=\"\">\n"
                          "<hr noshade>\n<p class=\"BXHeaderFont\">") +
           title + QStringLiteral("</p>\n<hr noshade>\n") + body +
           QStringLiteral("</body>\n</html>\n");
}

Outcome<QString> writeReport(Session& session, QuickReport report, const QStringList& owners,
                             const QString& folder, const QString& programDir)
{
    if (owners.isEmpty())
        return Outcome<QString>::declined();
    const TaskCriteria q = reportStatement(report, owners, session);
    const RecordSet rows = session.db().query(q.sql, q.params);
    const std::optional<QString> page = reportPage(report, rows, session);
    if (!page)
        return RefusalOf<>{QStringLiteral("The report contains no data")};
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(infoOf(report).fileName);
    if (const QString failure = writeWholeFile(path, page->toUtf8()); !failure.isEmpty())
        return RefusalOf<>{QStringLiteral("The report could not be written to ") + path +
                           QStringLiteral(": ") + failure};
    // A page without its logo still serves; a missing logo is only logged.
    const QString logo = QDir(folder).filePath(kLogoFile);
    QFile source(QDir(programDir).filePath(kLogoFile));
    if (QDir(folder).canonicalPath() != QDir(programDir).canonicalPath()) {
        QString failure;
        if (!source.open(QIODevice::ReadOnly))
            failure = source.errorString();
        else
            failure = writeWholeFile(logo, source.readAll());
        if (!failure.isEmpty())
            session.errorLog().write(QStringLiteral("Quick report logo"),
                                     source.fileName() + QStringLiteral(": ") + failure);
    }
    return path;
}

} // namespace bx::quick
