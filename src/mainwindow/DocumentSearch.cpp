#include "mainwindow/DocumentSearch.h"

#include "core/Clock.h"
#include "core/Gmt.h"
#include "core/Session.h"
#include "core/db/Database.h"

namespace bx {

QStringList grantedFolders(Database& db, const QString& userId)
{
    const bool admin = userId.trimmed().compare(QLatin1String("admin"), Qt::CaseInsensitive) == 0;
    const RecordSet rows =
        admin ? db.query(QStringLiteral("SELECT DISTINCT ACCESS_LEVEL FROM LU_ACCESS_LEVEL"))
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
    // A document without a category is one folder, whether its category is Null or empty.
    TaskCriteria q{
        QStringLiteral("SELECT ATTACH.Attach_Number, ATTACH.Attach_Type, ATTACH.Attach_Title, "
                       "ATTACH.Attach_Date, ATTACH.Attach_Owner, ATTACH.Category FROM ATTACH "
                       "WHERE ATTACH.Attach_Number = (SELECT MAX(a.Attach_Number) FROM ATTACH a "
                       "WHERE a.Attach_Filename = ATTACH.Attach_Filename AND "
                       "COALESCE(a.Category, '') = COALESCE(ATTACH.Category, '') AND "
                       "a.Publish <> 0)"),
        {}};
    if (search)
        q += documentCondition(*search, session);
    q.sql +=
        QStringLiteral(" ORDER BY ATTACH.Category, ATTACH.Attach_Filename, ATTACH.Attach_Date");
    return q;
}

} // namespace bx
