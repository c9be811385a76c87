#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace bx {

class Database;

/** Who owns a lifecycle stage (LIFECYCLE_USER.UserType). */
enum class StageOwnerKind : int
{
    User = 0,      ///< the named user (User_ID) in group_ID
    Workshop = 1,  ///< any member of the workshop group_ID ("ANYUSER")
    Requester = 2, ///< the task's requester ("REQUESTER")
};

/** One stage of a lifecycle: a row of LIFECYCLE_USER. */
struct LifecycleStage
{
    QString lifecycleId;
    QString stageName;
    int sequence = 0; ///< LC_Sequence_Number: 0 for the first stage, consecutive
    StageOwnerKind ownerKind = StageOwnerKind::User;
    QString userId;             ///< the owner user for StageOwnerKind::User
    qlonglong groupId = 0;      ///< the owner's workshop (group_ID)
    qlonglong ownerGroupId = 0; ///< the lifecycle's owning workshop (owner_group_ID)
    QString designer;           ///< Owner_ID: who designed the stage
    QString ruleName;           ///< Rule_Name; empty when none
    bool received = false;      ///< run the rule when a task enters the lifecycle here
    bool approved = false;      ///< run the rule when the stage is accepted
    bool declined = false;      ///< run the rule when the stage is declined
};

/**
 * The stages of lifecycle `lifecycleId` of workshop `ownerGroupId`, in sequence order; empty when
 * there is no such lifecycle. Throws DbError.
 */
QList<LifecycleStage> lifecycleStages(Database& db, const QString& lifecycleId,
                                      qlonglong ownerGroupId);

/** The stage named `name` (compared trimmed and without regard to case), or nothing. */
std::optional<LifecycleStage> findStage(const QList<LifecycleStage>& stages, const QString& name);

/** The stage at position `sequence`, or nothing. */
std::optional<LifecycleStage> stageAt(const QList<LifecycleStage>& stages, int sequence);

/** The owner a stage names for a task: user ("" for a workshop) and workshop. */
struct StageOwner
{
    QString userId;
    qlonglong groupId = 0;
};

/**
 * The owner stage `stage` proposes: the named user, the workshop itself, or the given requester.
 */
StageOwner proposedOwner(const LifecycleStage& stage, const StageOwner& requester);

/**
 * Replaces the task's copies of the action items of one stage by copies of the stage's templates
 * (LIFECYCLE_ACTION rows with SCR_Number 0), each signed by `signer`. Used when a lifecycle is
 * ended early. Throws DbError.
 */
void signStageActions(Database& db, const LifecycleStage& stage, qlonglong taskNumber,
                      const QString& signer);

} // namespace bx
