#pragma once

#include "core/Refusal.h"
#include "workflow/Checklists.h"

#include <QList>
#include <QString>

namespace bx {

class Database;

/** "Checklist " + name + " not found": the attachment names a checklist no longer defined. */
QString checklistNotFound(const QString& name);
/** "This item is to be checked by " + signer. */
QString itemIsForSigner(const QString& signer);
/** "Only " + user + " can uncheck this item". */
QString onlyTickerUnticks(const QString& user);

/** One item of a task's checklist as its view shows it. */
struct ChecklistLine
{
    /** The template item: text, mandatory, signer, explanation. */
    ChecklistItem item;
    bool ticked = false;
    /** User_ID of the filled row: who ticked it ("" while unticked). */
    QString tickedBy;
    /** Who ticked it as shown: tickedBy when the system shows approvers' names, else "". */
    QString shownTicker;
};

/** A task's copy of a checklist: one "K" attachment with its items. */
struct ChecklistSheet
{
    qlonglong attachNumber = 0;
    qlonglong taskNumber = 0;
    /** The checklist's name (the attachment's Attach_Filename). */
    QString name;
    /** By text, the order of the mandatory check. */
    QList<ChecklistLine> lines;
};

/**
 * What the checklist view of attachment `attachNumber` shows: the checklist's items by text, each
 * ticked when a filled row of the attachment names it. `showApproverName` is the system setting
 * "Show Approver Name in Approval List": whether who ticked is shown.
 *
 * Refused ("Unable to locate Attachment") for a missing attachment and with checklistNotFound()
 * when the checklist is no longer defined. @throws DbError
 */
Outcome<ChecklistSheet> loadChecklistSheet(Database& db, qlonglong attachNumber,
                                           bool showApproverName);

/**
 * Ticks item `item` of the checklist attachment `attachNumber` for user `userId`, at once and in
 * one transaction of its own: the filled row (User_ID the user, ItemNote `note` or Null, ItemType
 * 0) is written unless one exists already. Refused, having written nothing, while the task is
 * neither "A" nor "I"; for an item whose signer is an enabled user, when `userId` is not that user;
 * for any other item, when `userId` may not write the task (its owner user, while it is active).
 * @throws DbError
 */
Outcome<Done> tickChecklistItem(Database& db, const QString& userId, qlonglong attachNumber,
                                const QString& item, const QString& note = {});

/**
 * Unticks item `item` of attachment `attachNumber`: deletes its filled row. Refused while the task
 * is closed and when somebody else ticked it. An item not ticked is left as it is. @throws DbError
 */
Outcome<Done> untickChecklistItem(Database& db, const QString& userId, qlonglong attachNumber,
                                  const QString& item);

} // namespace bx
