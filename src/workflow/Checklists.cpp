#include "workflow/Checklists.h"

#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"

namespace bx {

QList<ChecklistSummary> workshopChecklists(Database& db, qlonglong workshop)
{
    const RecordSet rs =
        db.query(QStringLiteral("SELECT Checklist_Name, Checklist_Description FROM CHECKLIST "
                                "WHERE group_id = ? ORDER BY Checklist_Name"),
                 {workshop});
    QList<ChecklistSummary> out;
    for (const QVariantList& row : rs.rows())
        out.append({row.value(0).toString(), row.value(1).toString()});
    return out;
}

std::optional<ChecklistDefinition> loadChecklist(Database& db, const QString& name)
{
    const RecordSet head = db.query(
        QStringLiteral("SELECT Checklist_Name, Checklist_Description, group_id FROM CHECKLIST "
                       "WHERE Checklist_Name = ?"),
        {name});
    if (head.isEmpty())
        return std::nullopt;
    ChecklistDefinition list;
    list.name = head.text(QStringLiteral("Checklist_Name"));
    list.description = head.text(QStringLiteral("Checklist_Description"));
    list.workshop = head.number(QStringLiteral("group_id"));
    RecordSet items = db.query(
        QStringLiteral("SELECT Action_Name, Mandatory, Sign_User_ID, ItemNote FROM CHECKLIST_ITEM "
                       "WHERE Checklist_Name = ? AND COALESCE(Attach_Number, 0) = 0 AND "
                       "Action_Name IS NOT NULL ORDER BY Action_Name"),
        {list.name});
    for (items.moveFirst(); !items.eof(); items.moveNext())
        list.items.append({items.text(QStringLiteral("Action_Name")),
                           items.flag(QStringLiteral("Mandatory")),
                           items.text(QStringLiteral("Sign_User_ID")).trimmed(),
                           items.text(QStringLiteral("ItemNote"))});
    return list;
}

QString uncheckedMandatoryItem(Database& db, qlonglong taskNumber)
{
    RecordSet lists = db.query(QStringLiteral("SELECT Attach_Number, Attach_Filename FROM ATTACH "
                                              "WHERE %1 = ? AND Attach_Type = 'K' AND "
                                              "Attach_Filename IS NOT NULL ORDER BY Attach_Number")
                                   .arg(scr::Number),
                               {taskNumber});
    for (lists.moveFirst(); !lists.eof(); lists.moveNext()) {
        const QString checklist = lists.text(QStringLiteral("Attach_Filename"));
        // The first mandatory template item without a filled row for this attachment.
        const RecordSet missing = db.query(
            QStringLiteral("SELECT t.Action_Name FROM CHECKLIST_ITEM t WHERE t.Checklist_Name = ? "
                           "AND t.Attach_Number = 0 AND t.Mandatory <> 0 AND t.Action_Name IS NOT "
                           "NULL AND NOT EXISTS (SELECT 1 FROM CHECKLIST_ITEM f WHERE "
                           "f.Checklist_Name = t.Checklist_Name AND f.Action_Name = t.Action_Name "
                           "AND f.Attach_Number = ?) ORDER BY t.Action_Name"),
            {checklist, lists.number(QStringLiteral("Attach_Number"))});
        if (!missing.isEmpty())
            return QStringLiteral("Mandatory field '") +
                   missing.text(QStringLiteral("Action_Name")) +
                   QStringLiteral("' for CheckList '") + checklist +
                   QStringLiteral("' should be checked");
    }
    return {};
}

} // namespace bx
