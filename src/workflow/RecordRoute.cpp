#include "workflow/RecordRoute.h"

#include "core/Clock.h"
#include "core/TextCompare.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "core/schema/TaskEvents.h"
#include "workflow/TaskNotifier.h"

namespace bx {

namespace {

/** The action as the closed row keeps it: a routing names where the task went. */
QString closingAction(Database& db, const RouteHistoryEntry& entry)
{
    if (!sameText(entry.action, events::kTaskRouted))
        return entry.action;
    if (!entry.ownerUser.trimmed().isEmpty())
        return entry.action + QStringLiteral(" to '") + entry.ownerUser +
               QStringLiteral("' (Workshop:  ") + QString::number(entry.groupId) +
               QStringLiteral(" )");
    const QString groupName =
        db.scalar(QStringLiteral("SELECT Group_Name FROM LU_GROUP WHERE Group_ID = ?"),
                  {entry.groupId})
            .toString();
    return entry.action + QStringLiteral(" to '") + groupName + QStringLiteral("'");
}

QString closingNote(const RouteHistoryEntry& entry)
{
    if (entry.stageName.isEmpty())
        return entry.comment;
    return entry.stageName + QStringLiteral(": ") + entry.comment;
}

} // namespace

bool RecordRoute(Database& db, const RouteHistoryEntry& entry, const QDateTime& actionDateGmt,
                 const QString& currentUserId, TaskNotifier* notifier, RouteRecorded* recorded)
{
    const QVariant when = naive(actionDateGmt);
    // An empty target date is kept as Null, never as an empty text.
    const QVariant target =
        entry.targetDate.isValid() ? QVariant(naive(entry.targetDate)) : QVariant();

    Transaction tx(db);
    // Read under the lock, so that SCR_Route_Number is the one the previous writer left.
    const RecordSet task = db.queryLocked(
        QStringLiteral("SELECT * FROM SCR WHERE %1 = ?").arg(scr::Number), {entry.taskNumber});
    if (task.isEmpty() || task.flag(scr::Sensitive))
        return false;
    const QString status = task.text(scr::Status);
    const qlonglong openNumber = task.number(scr::RouteNumber);

    // The open row must be this task's own: a number copied from another task never closes that
    // task's row.
    const RecordSet open =
        db.query(QStringLiteral("SELECT Route_Number FROM ROUTE WHERE Route_Number = ? AND %1 = ?")
                     .arg(scr::Number),
                 {openNumber, entry.taskNumber});
    qlonglong closedNumber = openNumber;
    if (open.isEmpty()) {
        // A task without history: the action itself becomes a row that opens and closes at once.
        closedNumber = db.insertNumbered(
            QStringLiteral("ROUTE"), QStringLiteral("Route_Number"),
            {scr::Number, QStringLiteral("USER_ID"), QStringLiteral("Route_Date_In"),
             QStringLiteral("Route_Date_Out"), QStringLiteral("Route_Action"),
             QStringLiteral("Route_OwnerType"), QStringLiteral("Route_Target_Date"),
             QStringLiteral("Route_Status")},
            {entry.taskNumber, currentUserId, when, when, entry.action, 0, target, status});
    } else {
        db.execute(QStringLiteral("UPDATE ROUTE SET Route_Date_Out = ?, Route_Note = ?, "
                                  "Route_Action = ?, USER_ID = ?, Route_OwnerType = 0 "
                                  "WHERE Route_Number = ?"),
                   {when, closingNote(entry), closingAction(db, entry), currentUserId, openNumber});
    }

    if (notifier) {
        const RecordSet closed =
            db.query(QStringLiteral("SELECT * FROM ROUTE WHERE Route_Number = ?"), {closedNumber});
        notifier->NotifyTaskEvent(db, task, closed, entry.action, entry.stageName, entry.targetDate,
                                  entry.ownerUser, entry.groupId, entry.comment);
    }

    const qlonglong newNumber =
        db.insertNumbered(QStringLiteral("ROUTE"), QStringLiteral("Route_Number"),
                          {scr::Number, QStringLiteral("USER_ID"), QStringLiteral("Route_Date_In"),
                           QStringLiteral("Route_OwnerType"), QStringLiteral("Route_Target_Date"),
                           QStringLiteral("Route_Status")},
                          {entry.taskNumber, entry.ownerUser, when, 0, target, status});
    // The write raises the version itself, so that the value it hands back is the one the row
    // keeps on either engine (a trigger that runs after the statement would not show in what the
    // statement returns).
    const RecordSet pointed =
        db.query(QStringLiteral("UPDATE SCR SET %1 = ?, %2 WHERE %3 = ? RETURNING %4")
                     .arg(scr::RouteNumber, scr::RaiseRowVersion, scr::Number, scr::RowVersion),
                 {newNumber, entry.taskNumber});
    tx.commit();
    if (recorded)
        *recorded = {newNumber, pointed.number(scr::RowVersion)};
    return true;
}

} // namespace bx
