#pragma once

#include "workflow/Lifecycle.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

class Database;

// The logic of the to-do panel F_TO_DO: the action items the owner of a lifecycle stage signs off,
// the workshop that owns the next stage, the checks behind the panel's buttons and the response
// word each one hands back to the task editor. The window holds the controls and calls these.

/** The task and the stage the panel is opened for. */
struct ToDoStage
{
    qlonglong taskNumber = 0;   ///< SCR_Number
    QString lifecycleId;        ///< SCR_Lifecycle_ID; empty when the task is in no lifecycle
    QString stageName;          ///< SCR_LC_Stage_Name
    qlonglong ownerGroupId = 0; ///< SCR_LC_Owner_Group_ID: the lifecycle's owning workshop

    /** The task is in a lifecycle (a non-blank lifecycle ID). */
    bool inLifecycle() const { return !lifecycleId.trimmed().isEmpty(); }
};

/** One action item of a stage, as the panel shows and edits it. */
struct ToDoItem
{
    QString actionName; ///< Action_Name
    bool mandatory = false;
    QString signature; ///< user ID of the signer; "" while unsigned

    bool isSigned() const { return !signature.isEmpty(); }
};

/**
 * The action items of the stage for the task, ordered by name: the task's own copies
 * (LIFECYCLE_ACTION rows with SCR_Number = the task) when it has any for this stage, otherwise the
 * stage's templates (SCR_Number 0), unsigned. Rows are matched on lifecycle, stage name and owning
 * workshop, so a lifecycle of the same name in another workshop never contributes. A task in no
 * lifecycle has no items.
 *
 * @throws DbError
 */
QList<ToDoItem> loadToDoItems(Database& db, const ToDoStage& stage);

/** The check box caption of an item: its name, prefixed "* " when it is mandatory. */
QString toDoCaption(const ToDoItem& item);

/** Ticking an item signs it with `currentUserId`; unticking clears the signature. */
void setToDoTicked(ToDoItem& item, bool ticked, const QString& currentUserId);

/** True when no mandatory item is left unsigned (also for an empty list). */
bool allMandatorySigned(const QList<ToDoItem>& items);

/**
 * Replaces the task's copies of the stage's items by `items`, in one transaction: the task's rows
 * for this stage are deleted, then one row per item is written with Owner_ID = `stageOwner`, the
 * stage's lifecycle, name and workshop, SCR_Number = the task, the mandatory flag, and Signature =
 * the signer or Null. Templates (SCR_Number 0) are never touched. Does nothing for a task in no
 * lifecycle.
 *
 * @throws std::invalid_argument when stage.taskNumber is not a saved task number (<= 0), since
 *         the delete would otherwise remove the stage's templates
 * @throws DbError; the transaction is rolled back and the task's previous rows stay
 */
void saveToDoSignatures(Database& db, const ToDoStage& stage, const QString& stageOwner,
                        const QList<ToDoItem>& items);

/** The workshop that owns the next stage, with what the panel offers for it. */
struct NextStageWorkshop
{
    qlonglong groupId = 0; ///< the next stage's group_ID
    QString groupName;     ///< LU_GROUP.Group_Name; "" when the workshop no longer exists
    QStringList members;   ///< USER_IDs linked to the workshop (GROUPLINK), ordered
    QString line;          ///< "The next Lifecycle Stage Owner is Workshop \"<name>\""
};

/**
 * The workshop owning the stage after the task's current one (position + 1 in the same lifecycle
 * of the same owning workshop), when that stage is owned by a workshop (UserType 1). Nothing when
 * the task is in no lifecycle, its stage is not found, the current stage is the last one, or the
 * next stage belongs to a user or the requester.
 *
 * @throws DbError
 */
std::optional<NextStageWorkshop> nextStageWorkshop(Database& db, const ToDoStage& stage);

/** The panel's toolbar buttons; toDoButtonKey gives each one's key (and objectName). */
enum class ToDoButton
{
    Yes,
    No,
    Jump,
    Cond,
    Cancel,
    LCEnd,
};

/** "Yes", "No", "Jump", "Cond", "Cancel" or "LCEnd". */
QString toDoButtonKey(ToDoButton button);

/**
 * The word a button hands back in T_RESPONSE: "YES", "NO", "Jump", "CONDITIONAL", "CANCEL",
 * "LCEND".
 */
QString toDoResponse(ToDoButton button);

/** How a toolbar button looks. */
struct ToDoButtonFace
{
    QString caption;
    QString toolTip; ///< "" when the button has none
    bool visible = true;
};

/**
 * The face of a button with and without a lifecycle. With one, "Yes" and "No" read
 * "Accept/Forward" and "Decline/Return"; without one they read "Task is Completed" and "Task is
 * not Completed", and "Jump" and "LCEnd" are hidden. The other buttons show their key.
 */
ToDoButtonFace toDoButtonFace(ToDoButton button, bool inLifecycle);

/** Captions of the two command buttons beside the toolbar. */
struct ToDoCommandCaptions
{
    QString accept;  ///< "Accept/Next" in a lifecycle
    QString decline; ///< "Decline/Previous" in a lifecycle
};

/** The command buttons' captions; without a lifecycle they match the toolbar's "Yes" and "No". */
ToDoCommandCaptions toDoCommandCaptions(bool inLifecycle);

/** The outcome of pressing a button. */
struct ToDoVerdict
{
    QString response;          ///< the response word; "" when refused
    QString message;           ///< the refusal to show; "" when accepted
    bool focusComment = false; ///< after the message, focus goes back to the comment box

    bool accepted() const { return message.isEmpty(); }
};

/**
 * Checks a button press. "Yes", "Jump" and "LCEnd" are refused with "You have not signed all
 * mandatory action items" while a mandatory item is unsigned; "No" and "Cond" are refused with
 * "Please specify a comment" (focus to the comment box) when the comment is blank; "Cancel" is
 * always accepted. An accepted press carries the response word; the caller then saves the
 * signatures and closes the panel.
 */
ToDoVerdict checkToDoButton(ToDoButton button, const QList<ToDoItem>& items,
                            const QString& comment);

/**
 * The stages offered for a jump: the stages of the task's lifecycle in its owning workshop, in
 * sequence order. Empty for a task in no lifecycle.
 *
 * @throws DbError
 */
QList<LifecycleStage> jumpStages(Database& db, const ToDoStage& stage);

/**
 * The number of stages to move for a jump from `currentStage` to `chosenStage` (names compared
 * trimmed and without regard to case): the chosen sequence number minus the current one, negative
 * for an earlier stage. Nothing, which cancels the jump, when no stage was chosen ("") or either
 * name is not among `stages`.
 */
std::optional<int> jumpDistance(const QList<LifecycleStage>& stages, const QString& currentStage,
                                const QString& chosenStage);

} // namespace bx
