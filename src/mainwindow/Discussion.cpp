#include "mainwindow/Discussion.h"

#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"

namespace bx {

TaskCriteria discussionQuery(qlonglong workshop, bool onlyWithDiscussion)
{
    TaskCriteria q;
    q.sql = QStringLiteral("SELECT ") + taskListColumns() +
            QStringLiteral(" FROM SCR WHERE SCR.%1 = ?").arg(scr::GroupId);
    q.params << workshop;
    if (onlyWithDiscussion) {
        q.sql += QStringLiteral(" AND EXISTS (SELECT a.%1 FROM ATTACH a WHERE a.%1 = SCR.%1 AND "
                                "a.Attach_Type = ?)")
                     .arg(scr::Number);
        q.params << QStringLiteral("D");
    }
    q.sql += QStringLiteral(" ORDER BY SCR.%1 DESC").arg(scr::Number);
    return q;
}

RecordSet readDiscussion(Database& db, qlonglong workshop, bool onlyWithDiscussion,
                         const QString& userId)
{
    const TaskCriteria q = discussionQuery(workshop, onlyWithDiscussion);
    const RecordSet all = db.query(q.sql, q.params);
    QList<QVariantList> kept;
    for (int i = 0; i < all.rowCount(); ++i)
        if (taskVisibleTo(all, i, userId))
            kept << all.rows().at(i);
    return RecordSet(all.columns(), kept);
}

} // namespace bx
