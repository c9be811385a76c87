#include "workflow/ToDoPanel.h"

#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"

#include <stdexcept>

namespace bx {

namespace {

} // namespace

QList<ToDoItem> loadToDoItems(Database& db, const ToDoStage& stage)
{
    if (!stage.inLifecycle())
        return {};
    // Templates and the task's copies in one read; the copies win when there are any.
    RecordSet rs = db.query(
        QStringLiteral("SELECT Action_Name, Mandatory, Signature, %1 FROM LIFECYCLE_ACTION "
                       "WHERE Lifecycle_ID = ? AND LC_Stage_Name = ? AND owner_group_ID = ? AND "
                       "(%1 = ? OR %1 = 0 OR %1 IS NULL) ORDER BY Action_Name")
            .arg(scr::Number),
        {stage.lifecycleId, stage.stageName, stage.ownerGroupId, stage.taskNumber});
    bool ownRows = false;
    if (stage.taskNumber > 0) {
        for (rs.moveFirst(); !rs.eof() && !ownRows; rs.moveNext())
            ownRows = rs.number(scr::Number) == stage.taskNumber;
    }
    const qlonglong wanted = ownRows ? stage.taskNumber : 0;

    QList<ToDoItem> items;
    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        if (rs.number(scr::Number) != wanted)
            continue;
        ToDoItem item;
        item.actionName = rs.text(QStringLiteral("Action_Name"));
        item.mandatory = rs.flag(QStringLiteral("Mandatory"));
        // A template may carry a stray signature; only the task's own copies are signed.
        if (ownRows)
            item.signature = rs.text(QStringLiteral("Signature"));
        items.append(item);
    }
    return items;
}

QString toDoCaption(const ToDoItem& item)
{
    return item.mandatory ? QStringLiteral("* ") + item.actionName : item.actionName;
}

void setToDoTicked(ToDoItem& item, bool ticked, const QString& currentUserId)
{
    item.signature = ticked ? currentUserId : QString();
}

bool allMandatorySigned(const QList<ToDoItem>& items)
{
    for (const ToDoItem& item : items) {
        if (item.mandatory && !item.isSigned())
            return false;
    }
    return true;
}

void saveToDoSignatures(Database& db, const ToDoStage& stage, const QString& stageOwner,
                        const QList<ToDoItem>& items)
{
    if (!stage.inLifecycle())
        return;
    if (stage.taskNumber <= 0)
        throw std::invalid_argument("saveToDoSignatures: the task has no number yet");

    Transaction tx(db);
    db.execute(QStringLiteral("DELETE FROM LIFECYCLE_ACTION WHERE Lifecycle_ID = ? AND "
                              "LC_Stage_Name = ? AND owner_group_ID = ? AND %1 = ?")
                   .arg(scr::Number),
               {stage.lifecycleId, stage.stageName, stage.ownerGroupId, stage.taskNumber});
    const QString insert =
        QStringLiteral("INSERT INTO LIFECYCLE_ACTION (Lifecycle_ID, LC_Stage_Name, Owner_ID, "
                       "owner_group_ID, Action_Name, Mandatory, %1, Signature) VALUES "
                       "(?, ?, ?, ?, ?, ?, ?, ?)")
            .arg(scr::Number);
    for (const ToDoItem& item : items) {
        db.execute(insert, {stage.lifecycleId, stage.stageName, stageOwner, stage.ownerGroupId,
                            item.actionName, db.dialect().flag(item.mandatory), stage.taskNumber,
                            item.isSigned() ? QVariant(item.signature) : QVariant()});
    }
    tx.commit();
}

std::optional<NextStageWorkshop> nextStageWorkshop(Database& db, const ToDoStage& stage)
{
    if (!stage.inLifecycle())
        return std::nullopt;
    // Only the stages of the owning workshop: the same lifecycle ID may exist in other workshops
    // with other owners at the same position.
    const QList<LifecycleStage> stages = lifecycleStages(db, stage.lifecycleId, stage.ownerGroupId);
    const std::optional<LifecycleStage> current = findStage(stages, stage.stageName);
    if (!current)
        return std::nullopt;
    const std::optional<LifecycleStage> next = stageAt(stages, current->sequence + 1);
    if (!next || next->ownerKind != StageOwnerKind::Workshop)
        return std::nullopt;

    NextStageWorkshop workshop;
    workshop.groupId = next->groupId;
    workshop.groupName =
        db.scalar(QStringLiteral("SELECT Group_Name FROM LU_GROUP WHERE GROUP_ID = ?"),
                  {workshop.groupId})
            .toString();
    RecordSet rs = db.query(
        QStringLiteral("SELECT GROUPLINK.USER_ID FROM GROUPLINK INNER JOIN LU_GROUP ON "
                       "GROUPLINK.GROUP_ID = LU_GROUP.GROUP_ID WHERE LU_GROUP.GROUP_ID = ? "
                       "ORDER BY GROUPLINK.USER_ID"),
        {workshop.groupId});
    for (rs.moveFirst(); !rs.eof(); rs.moveNext())
        workshop.members.append(rs.text(QStringLiteral("USER_ID")));
    workshop.line = QStringLiteral("The next Lifecycle Stage Owner is ") +
                    QStringLiteral("Workshop") + QLatin1Char(' ') + QLatin1Char('"') +
                    workshop.groupName + QLatin1Char('"');
    return workshop;
}

QString toDoButtonKey(ToDoButton button)
{
    switch (button) {
    case ToDoButton::Yes:
        return QStringLiteral("Yes");
    case ToDoButton::No:
        return QStringLiteral("No");
    case ToDoButton::Jump:
        return QStringLiteral("Jump");
    case ToDoButton::Cond:
        return QStringLiteral("Cond");
    case ToDoButton::Cancel:
        return QStringLiteral("Cancel");
    case ToDoButton::LCEnd:
        return QStringLiteral("LCEnd");
    }
    return {};
}

QString toDoResponse(ToDoButton button)
{
    switch (button) {
    case ToDoButton::Yes:
        return QStringLiteral("YES");
    case ToDoButton::No:
        return QStringLiteral("NO");
    case ToDoButton::Jump:
        return QStringLiteral("Jump");
    case ToDoButton::Cond:
        return QStringLiteral("CONDITIONAL");
    case ToDoButton::Cancel:
        return QStringLiteral("CANCEL");
    case ToDoButton::LCEnd:
        return QStringLiteral("LCEND");
    }
    return {};
}

ToDoButtonFace toDoButtonFace(ToDoButton button, bool inLifecycle)
{
    switch (button) {
    case ToDoButton::Yes:
        return inLifecycle
                   ? ToDoButtonFace{QStringLiteral("Accept/Forward"),
                                    QStringLiteral("Accept and forward task to the next stage")}
                   : ToDoButtonFace{QStringLiteral("Task is Completed"),
                                    QStringLiteral("Closes task and marks it as Complete")};
    case ToDoButton::No:
        return inLifecycle
                   ? ToDoButtonFace{QStringLiteral("Decline/Return"),
                                    QStringLiteral("Decline and return task to the previous stage")}
                   : ToDoButtonFace{QStringLiteral("Task is not Completed"),
                                    QStringLiteral("Marks task as Incomplete")};
    case ToDoButton::Jump:
    case ToDoButton::LCEnd:
        return {toDoButtonKey(button), QString(), inLifecycle};
    case ToDoButton::Cond:
    case ToDoButton::Cancel:
        break;
    }
    return {toDoButtonKey(button), QString(), true};
}

ToDoCommandCaptions toDoCommandCaptions(bool inLifecycle)
{
    if (inLifecycle)
        return {QStringLiteral("Accept/Next"), QStringLiteral("Decline/Previous")};
    return {toDoButtonFace(ToDoButton::Yes, false).caption,
            toDoButtonFace(ToDoButton::No, false).caption};
}

ToDoVerdict checkToDoButton(ToDoButton button, const QList<ToDoItem>& items, const QString& comment)
{
    switch (button) {
    case ToDoButton::Yes:
    case ToDoButton::Jump:
    case ToDoButton::LCEnd:
        if (!allMandatorySigned(items))
            return {QString(), QStringLiteral("You have not signed all mandatory action items"),
                    false};
        break;
    case ToDoButton::No:
    case ToDoButton::Cond:
        if (comment.trimmed().isEmpty())
            return {QString(), QStringLiteral("Please specify a comment"), true};
        break;
    case ToDoButton::Cancel:
        break;
    }
    return {toDoResponse(button), QString(), false};
}

QList<LifecycleStage> jumpStages(Database& db, const ToDoStage& stage)
{
    if (!stage.inLifecycle())
        return {};
    return lifecycleStages(db, stage.lifecycleId, stage.ownerGroupId);
}

std::optional<int> jumpDistance(const QList<LifecycleStage>& stages, const QString& currentStage,
                                const QString& chosenStage)
{
    if (chosenStage.trimmed().isEmpty())
        return std::nullopt;
    const std::optional<LifecycleStage> current = findStage(stages, currentStage);
    const std::optional<LifecycleStage> chosen = findStage(stages, chosenStage);
    if (!current || !chosen)
        return std::nullopt;
    return chosen->sequence - current->sequence;
}

} // namespace bx
