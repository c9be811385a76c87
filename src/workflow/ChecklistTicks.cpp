#include "workflow/ChecklistTicks.h"

#include "core/TaskPermissions.h"
#include "core/TextCompare.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"

#include <QHash>

namespace bx {

namespace {

/** Refused for an attachment that is gone (deleted elsewhere) or is no checklist. */
const QString kChecklistAttachmentGone = QStringLiteral("Unable to locate Attachment");

/** The checklist attachment and its task, as a tick or untick finds them. */
struct TickTarget
{
    QString checklist;
    QString status;
    QString owner;
};

/**
 * Locks the checklist's ATTACH row for the caller's transaction (every tick of the attachment
 * waits for the one before) and reads its task. Refused for a missing attachment, a checklist no
 * longer defined and a closed task.
 */
Outcome<TickTarget> lockTarget(Database& db, qlonglong attachNumber)
{
    const RecordSet attach = db.queryLocked(
        QStringLiteral("SELECT %1, Attach_Filename FROM ATTACH WHERE Attach_Number = ? AND "
                       "Attach_Type = 'K'")
            .arg(scr::Number),
        {attachNumber});
    if (attach.isEmpty() || attach.isNull(QStringLiteral("Attach_Filename")))
        return RefusalOf<>{kChecklistAttachmentGone};
    TickTarget target;
    target.checklist = attach.text(QStringLiteral("Attach_Filename"));
    if (db.query(QStringLiteral("SELECT Checklist_Name FROM CHECKLIST WHERE Checklist_Name = ?"),
                 {target.checklist})
            .isEmpty())
        return RefusalOf<>{checklistNotFound(target.checklist)};
    const RecordSet task = db.query(QStringLiteral("SELECT %1, %2 FROM SCR WHERE %3 = ?")
                                        .arg(scr::Status, scr::OwnerUserId, scr::Number),
                                    {attach.value(scr::Number)});
    target.status = task.isEmpty() ? QString() : task.text(scr::Status);
    target.owner = task.isEmpty() ? QString() : task.text(scr::OwnerUserId);
    if (!hasStatus(target.status, TaskStatus::Active) &&
        !hasStatus(target.status, TaskStatus::Incomplete))
        return RefusalOf<>{QStringLiteral("The checklist of a closed task cannot be changed")};
    return target;
}

/** The filled row of `item` on the attachment: who ticked it, or none. */
std::optional<QString> tickerOf(Database& db, const QString& checklist, qlonglong attachNumber,
                                const QString& item)
{
    const RecordSet filled =
        db.query(QStringLiteral("SELECT User_ID FROM CHECKLIST_ITEM WHERE Checklist_Name = ? AND "
                                "Action_Name = ? AND Attach_Number = ?"),
                 {checklist, item, attachNumber});
    if (filled.isEmpty())
        return std::nullopt;
    return filled.text(QStringLiteral("User_ID")).trimmed();
}

} // namespace

QString checklistNotFound(const QString& name)
{
    return QStringLiteral("Checklist ") + name + QStringLiteral(" not found");
}

QString itemIsForSigner(const QString& signer)
{
    return QStringLiteral("This item is to be checked by ") + signer;
}

QString onlyTickerUnticks(const QString& user)
{
    return QStringLiteral("Only ") + user + QStringLiteral(" can uncheck this item");
}

Outcome<ChecklistSheet> loadChecklistSheet(Database& db, qlonglong attachNumber,
                                           bool showApproverName)
{
    const RecordSet attach =
        db.query(QStringLiteral("SELECT %1, Attach_Filename FROM ATTACH WHERE Attach_Number = ? "
                                "AND Attach_Type = 'K'")
                     .arg(scr::Number),
                 {attachNumber});
    if (attach.isEmpty() || attach.isNull(QStringLiteral("Attach_Filename")))
        return RefusalOf<>{kChecklistAttachmentGone};
    const QString name = attach.text(QStringLiteral("Attach_Filename"));
    const std::optional<ChecklistDefinition> list = loadChecklist(db, name);
    if (!list)
        return RefusalOf<>{checklistNotFound(name)};

    ChecklistSheet sheet;
    sheet.attachNumber = attachNumber;
    sheet.taskNumber = attach.number(scr::Number);
    sheet.name = list->name;
    QHash<QString, QString> tickers; // by item text, folded
    RecordSet filled = db.query(QStringLiteral("SELECT Action_Name, User_ID FROM CHECKLIST_ITEM "
                                               "WHERE Checklist_Name = ? AND Attach_Number = ?"),
                                {list->name, attachNumber});
    for (filled.moveFirst(); !filled.eof(); filled.moveNext())
        tickers.insert(filled.text(QStringLiteral("Action_Name")).toCaseFolded(),
                       filled.text(QStringLiteral("User_ID")).trimmed());
    for (const ChecklistItem& item : list->items) {
        ChecklistLine line;
        line.item = item;
        const auto ticker = tickers.constFind(item.text.toCaseFolded());
        line.ticked = ticker != tickers.constEnd();
        if (line.ticked) {
            line.tickedBy = *ticker;
            if (showApproverName)
                line.shownTicker = line.tickedBy;
        }
        sheet.lines.append(line);
    }
    return sheet;
}

Outcome<Done> tickChecklistItem(Database& db, const QString& userId, qlonglong attachNumber,
                                const QString& item, const QString& note)
{
    Transaction tx(db);
    const Outcome<TickTarget> target = lockTarget(db, attachNumber);
    if (!target)
        return *target.refusal();
    const RecordSet templ = db.query(
        QStringLiteral("SELECT Action_Name, Sign_User_ID FROM CHECKLIST_ITEM WHERE Checklist_Name "
                       "= ? AND Attach_Number = 0 AND Action_Name = ?"),
        {target->checklist, item});
    if (templ.isEmpty())
        return RefusalOf<>{checklistNotFound(target->checklist)};
    const QString text = templ.text(QStringLiteral("Action_Name"));
    const QString signer = templ.text(QStringLiteral("Sign_User_ID")).trimmed();
    const bool signerEnabled =
        !signer.isEmpty() &&
        !db.query(QStringLiteral("SELECT USER_ID FROM LU_USER WHERE USER_ID = ? AND Disabled = 0"),
                  {signer})
             .isEmpty();
    if (signerEnabled) {
        if (!sameText(signer, userId))
            return RefusalOf<>{itemIsForSigner(signer)};
    } else if (!mayWriteTask(target->owner, target->status, userId)) {
        return RefusalOf<>{QStringLiteral("You do not have permission to change this task")};
    }
    if (!tickerOf(db, target->checklist, attachNumber, text)) {
        db.execute(QStringLiteral("INSERT INTO CHECKLIST_ITEM (Checklist_Name, Action_Name, "
                                  "Attach_Number, User_ID, ItemNote, ItemType) VALUES (?, ?, ?, "
                                  "?, ?, 0)"),
                   {target->checklist, text, attachNumber, userId.trimmed(),
                    note.trimmed().isEmpty() ? QVariant() : QVariant(note)});
    }
    tx.commit();
    return Done{};
}

Outcome<Done> untickChecklistItem(Database& db, const QString& userId, qlonglong attachNumber,
                                  const QString& item)
{
    Transaction tx(db);
    const Outcome<TickTarget> target = lockTarget(db, attachNumber);
    if (!target)
        return *target.refusal();
    const std::optional<QString> ticker = tickerOf(db, target->checklist, attachNumber, item);
    if (!ticker)
        return Done{};
    if (!sameText(*ticker, userId))
        return RefusalOf<>{onlyTickerUnticks(*ticker)};
    db.execute(QStringLiteral("DELETE FROM CHECKLIST_ITEM WHERE Checklist_Name = ? AND Action_Name "
                              "= ? AND Attach_Number = ?"),
               {target->checklist, item, attachNumber});
    tx.commit();
    return Done{};
}

} // namespace bx
