#include "workflow/RouteHistory.h"

#include "core/AppPaths.h"
#include "core/Clock.h"
#include "core/Gmt.h"
#include "core/ReportStyles.h"
#include "core/WholeFile.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "core/schema/TaskEvents.h"

#include <QDir>

#include <stdexcept>
#include <utility>

namespace bx {

RouteHistory::RouteHistory(Database& db, const Clock& clock, QString folder)
    : m_db(db)
    , m_clock(clock)
    , m_folder(std::move(folder))
{
}

QString RouteHistory::rowClass(const QString& action)
{
    // The exact word decides, case included: rows are coloured by what was stored.
    if (action == events::kRoute || action == u"REOPEN" || action == u"RESTART")
        return QStringLiteral("BXNormaBLUEFont");
    if (action == u"YES")
        return QStringLiteral("BXNormaGREENFont");
    if (action == u"NO" || action == u"CANCEL")
        return QStringLiteral("BXNormaREDFont");
    return QStringLiteral("BXNormalFont");
}

QString RouteHistory::html(qlonglong taskNumber) const
{
    const GmtConverter gmt(m_clock);
    const auto local = [&](const QDateTime& stored) {
        return stored.isValid()
                   ? gmt.toLocal(stored).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                   : QString();
    };

    RecordSet rows =
        m_db.query(QStringLiteral("SELECT * FROM ROUTE WHERE %1 = ? ORDER BY Route_Number DESC")
                       .arg(scr::Number),
                   {taskNumber});

    QString page = QStringLiteral("<html>\n<head>\n<meta charset=\"utf-8\">\n"
                                  "<title>Task Route History</title>\n") +
                   QString::fromUtf8(html::kStyles) + QStringLiteral("</head>\n<body>\n");
    page += QStringLiteral("<p><span class=\"BXHeaderFont\">Task Route History</span>"
                           "<span class=\"BXSumFont\"> Today: ") +
            m_clock.nowLocal().date().toString(QStringLiteral("yyyy-MM-dd")) +
            QStringLiteral("</span></p>\n");
    page +=
        QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" width=\"100%\">\n"
                       "<tr><th class=\"BXTableHeaderFont\" width=\"10%\">User</th>"
                       "<th class=\"BXTableHeaderFont\" width=\"15%\">Date in</th>"
                       "<th class=\"BXTableHeaderFont\">Target</th>"
                       "<th class=\"BXTableHeaderFont\">Date out</th>"
                       "<th class=\"BXTableHeaderFont\">Status</th>"
                       "<th class=\"BXTableHeaderFont\" width=\"20%\">Action</th>"
                       "<th class=\"BXTableHeaderFont\">Comment</th></tr>\n");
    for (rows.moveFirst(); !rows.eof(); rows.moveNext()) {
        const QString action = rows.text(QStringLiteral("Route_Action"));
        const QString cls = rowClass(action);
        page += QStringLiteral("<tr>") + html::cell(cls, rows.text(QStringLiteral("USER_ID"))) +
                html::cell(cls, local(rows.dateTime(QStringLiteral("Route_Date_In")))) +
                html::cell(cls, local(rows.dateTime(QStringLiteral("Route_Target_Date")))) +
                html::cell(cls, local(rows.dateTime(QStringLiteral("Route_Date_Out")))) +
                html::cell(cls, rows.text(QStringLiteral("Route_Status"))) +
                html::cell(cls, action) + html::cell(cls, rows.text(QStringLiteral("Route_Note"))) +
                QStringLiteral("</tr>\n");
    }
    page += QStringLiteral("</table>\n</body>\n</html>\n");
    return page;
}

QString RouteHistory::write(qlonglong taskNumber) const
{
    const QString folder = m_folder.isEmpty() ? AppPaths::dataDir() : m_folder;
    const QString path = QDir(folder).filePath(fileName());
    const QString page = html(taskNumber);
    const QString failure = writeWholeFile(path, page.toUtf8());
    if (!failure.isEmpty())
        throw std::runtime_error("cannot write " + path.toStdString() + ": " +
                                 failure.toStdString());
    return path;
}

} // namespace bx
