#include "mainwindow/DocumentSearch.h"

#include "core/Clock.h"
#include "core/Gmt.h"
#include "core/Session.h"
#include "core/db/Database.h"

namespace bx {

QStringList grantedFolders(Database& db, const QString& userId)
{
    const bool admin = userId.trimmed().compare(QLatin1String("admin"), Qt::CaseInsensitive) == 0;
    // "admin" sees every folder: the categories there are and any granted to somebody.
    const RecordSet rows =
        admin ? db.query(QStringLiteral("SELECT DISTINCT ACCESS_LEVEL FROM LU_ACCESS_LEVEL UNION "
                                        "SELECT DISTINCT Category FROM LU_CATEGORY WHERE Category "
                                        "IS NOT NULL AND Category <> ''"))
              : db.query(QStringLiteral("SELECT DISTINCT ACCESS_LEVEL FROM LU_ACCESS_LEVEL "
                                        "WHERE USER_ID = ?"),
                         {userId.trimmed()});
    QStringList out;
    for (const QVariantList& row : rows.rows()) {
        const QString folder = row.value(0).toString();
        if (!out.contains(folder, Qt::CaseInsensitive))
            out << folder;
    }
    out.sort(Qt::CaseInsensitive);
    return out;
}

DocFindCheck checkDocFindInput(const DocFindInput& input, const QDate& today)
{
    const SearchPeriodCheck period = checkSearchPeriod(input.period, today);
    if (!period.message.isEmpty())
        return {std::nullopt, period.message};
    return {DocumentSearch{input.title.trimmed(), period.from, period.to, input.folders}, {}};
}

TaskCriteria documentCondition(const DocumentSearch& search, Session& session)
{
    TaskCriteria c;
    const LikeClause like =
        session.db().dialect().like(QLatin1Char('*') + search.title + QLatin1Char('*'));
    const GmtConverter gmt(session.clock());
    c.sql = QStringLiteral(" AND ATTACH.Attach_Title") + like.sql +
            QStringLiteral("AND ATTACH.Attach_Date <= ? AND ATTACH.Attach_Date >= ?");
    c.params << like.pattern << gmt.toGmt(naive(search.to.addDays(1)))
             << gmt.toGmt(naive(search.from));

    QStringList terms;
    for (const QString& folder : search.folders) {
        if (folder.compare(kUnspecifiedFolder, Qt::CaseInsensitive) == 0) {
            terms << QStringLiteral("ATTACH.Category IS NULL OR ATTACH.Category = ''");
        } else {
            terms << QStringLiteral("ATTACH.Category = ?");
            c.params << folder;
        }
    }
    c.sql += terms.isEmpty()
                 ? QStringLiteral(" AND 1 = 0")
                 : QStringLiteral(" AND (") + terms.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    return c;
}

TaskCriteria documentTreeQuery(const DocumentSearch* search, Session& session)
{
    // Only published rows are documents; among the published rows of one file name and category
    // (Null and empty one category) the highest number is current. A row without file name
    // equals no other and stands alone.
    TaskCriteria q{
        QStringLiteral("SELECT ATTACH.Attach_Number, ATTACH.Attach_Type, ATTACH.Attach_Title, "
                       "ATTACH.Attach_Date, ATTACH.Attach_Owner, ATTACH.Category, "
                       "ATTACH.Attach_Filename FROM ATTACH WHERE ATTACH.Publish <> 0 AND NOT "
                       "EXISTS (SELECT 1 FROM ATTACH a WHERE a.Attach_Filename = "
                       "ATTACH.Attach_Filename AND a.Attach_Number > ATTACH.Attach_Number AND "
                       "a.Publish <> 0 AND COALESCE(a.Category, '') = COALESCE(ATTACH.Category, "
                       "''))"),
        {}};
    const QString userId = session.user.userId.trimmed();
    if (userId.compare(QLatin1String("admin"), Qt::CaseInsensitive) != 0) {
        // Others see their granted folders and the documents without one; nothing without grants.
        const QStringList granted = grantedFolders(session.db(), userId);
        if (granted.isEmpty()) {
            q.sql += QStringLiteral(" AND 1 = 0");
        } else {
            q.sql += QStringLiteral(" AND (COALESCE(ATTACH.Category, '') = '' OR ATTACH.Category "
                                    "IN (") +
                     QStringList(granted.size(), QStringLiteral("?")).join(QStringLiteral(", ")) +
                     QStringLiteral("))");
            for (const QString& folder : granted)
                q.params << folder;
        }
    }
    if (search)
        q += documentCondition(*search, session);
    q.sql +=
        QStringLiteral(" ORDER BY ATTACH.Category, ATTACH.Attach_Filename, ATTACH.Attach_Date");
    return q;
}

} // namespace bx
