#include "mainwindow/Discussion.h"

#include "core/db/Database.h"

namespace bx {

TaskCriteria discussionQuery(qlonglong workshop, bool onlyWithDiscussion)
{
    TaskCriteria q;
    q.sql = QStringLiteral("SELECT ") + taskListColumns() +
            QStringLiteral(" FROM SCR WHERE SCR.SCR_Group_ID = ?");
    q.params << workshop;
    if (onlyWithDiscussion) {
        q.sql += QStringLiteral(" AND EXISTS (SELECT a.SCR_Number FROM ATTACH a WHERE "
                                "a.SCR_Number = SCR.SCR_Number AND a.Attach_Type = ?)");
        q.params << QStringLiteral("D");
    }
    q.sql += QStringLiteral(" ORDER BY SCR.SCR_Number DESC");
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
