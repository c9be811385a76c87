#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

class Database;

/** One item of a checklist's template (a CHECKLIST_ITEM row with Attach_Number 0). */
struct ChecklistItem
{
    /** Action_Name: the item's text, unique within its checklist (ignoring case). */
    QString text;
    bool mandatory = false;
    /** Sign_User_ID: the user expected to tick it; "" for anyone with write permission. */
    QString signer;
    /** ItemNote: the explanation shown with the item. */
    QString note;
};

/** A checklist as its workshop designed it. */
struct ChecklistDefinition
{
    QString name;
    QString description;
    qlonglong workshop = 0;
    /** By text, the order the mandatory check walks them in. */
    QList<ChecklistItem> items;
};

/** A checklist as the lists of a workshop's checklists show it. */
struct ChecklistSummary
{
    QString name;
    QString description;

    friend bool operator==(const ChecklistSummary&, const ChecklistSummary&) = default;
};

/** Workshop `workshop`'s checklists, in name order. @throws DbError */
QList<ChecklistSummary> workshopChecklists(Database& db, qlonglong workshop);

/** Checklist `name` (compared without case) with its template items, or none. @throws DbError */
std::optional<ChecklistDefinition> loadChecklist(Database& db, const QString& name);

/**
 * Looks for a mandatory checklist item that is not ticked on task `taskNumber`: for each checklist
 * attached to the task (ATTACH rows of type 'K', the checklist named by Attach_Filename), each
 * mandatory template item (CHECKLIST_ITEM with Attach_Number 0 and Mandatory non-zero) counts as
 * ticked when a filled row of the same name exists for that attachment.
 *
 * @return "" when every mandatory item is ticked; otherwise the message naming the first item
 *         found unticked: "Mandatory field '<item>' for CheckList '<checklist>' should be checked"
 * @throws DbError
 */
QString uncheckedMandatoryItem(Database& db, qlonglong taskNumber);

} // namespace bx
