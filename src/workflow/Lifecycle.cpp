#include "workflow/Lifecycle.h"

#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"

namespace bx {

QList<LifecycleStage> lifecycleStages(Database& db, const QString& lifecycleId,
                                      qlonglong ownerGroupId)
{
    RecordSet rs =
        db.query(QStringLiteral("SELECT Lifecycle_ID, LC_Stage_Name, LC_Sequence_Number, UserType, "
                                "User_ID, group_ID, owner_group_ID, Owner_ID, Rule_Name, Received, "
                                "Approved, Declined FROM LIFECYCLE_USER WHERE Lifecycle_ID = ? AND "
                                "owner_group_ID = ? ORDER BY LC_Sequence_Number"),
                 {lifecycleId, ownerGroupId});
    QList<LifecycleStage> stages;
    stages.reserve(rs.rowCount());
    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        LifecycleStage s;
        s.lifecycleId = rs.text(QStringLiteral("Lifecycle_ID"));
        s.stageName = rs.text(QStringLiteral("LC_Stage_Name"));
        s.sequence = static_cast<int>(rs.number(QStringLiteral("LC_Sequence_Number")));
        s.ownerKind = static_cast<StageOwnerKind>(rs.number(QStringLiteral("UserType")));
        s.userId = rs.text(QStringLiteral("User_ID"));
        s.groupId = rs.number(QStringLiteral("group_ID"));
        s.ownerGroupId = rs.number(QStringLiteral("owner_group_ID"));
        s.designer = rs.text(QStringLiteral("Owner_ID"));
        s.ruleName = rs.text(QStringLiteral("Rule_Name"));
        s.received = rs.flag(QStringLiteral("Received"));
        s.approved = rs.flag(QStringLiteral("Approved"));
        s.declined = rs.flag(QStringLiteral("Declined"));
        stages.append(s);
    }
    return stages;
}

std::optional<LifecycleStage> findStage(const QList<LifecycleStage>& stages, const QString& name)
{
    const QString wanted = name.trimmed();
    for (const LifecycleStage& s : stages) {
        if (s.stageName.trimmed().compare(wanted, Qt::CaseInsensitive) == 0)
            return s;
    }
    return std::nullopt;
}

std::optional<LifecycleStage> stageAt(const QList<LifecycleStage>& stages, int sequence)
{
    for (const LifecycleStage& s : stages) {
        if (s.sequence == sequence)
            return s;
    }
    return std::nullopt;
}

StageOwner proposedOwner(const LifecycleStage& stage, const StageOwner& requester)
{
    switch (stage.ownerKind) {
    case StageOwnerKind::Requester:
        return requester;
    case StageOwnerKind::Workshop:
        return {QString(), stage.groupId};
    case StageOwnerKind::User:
        break;
    }
    return {stage.userId, stage.groupId};
}

void signStageActions(Database& db, const LifecycleStage& stage, qlonglong taskNumber,
                      const QString& signer)
{
    Transaction tx(db);
    db.execute(QStringLiteral("DELETE FROM LIFECYCLE_ACTION WHERE %1 = ? AND "
                              "LC_Stage_Name = ? AND Lifecycle_ID = ? AND owner_group_ID = ?")
                   .arg(scr::Number),
               {taskNumber, stage.stageName, stage.lifecycleId, stage.ownerGroupId});
    // Copied inside the engine, icons included.
    db.execute(
        QStringLiteral("INSERT INTO LIFECYCLE_ACTION (Lifecycle_ID, LC_Stage_Name, "
                       "Action_Name, Mandatory, Owner_ID, owner_group_ID, Icon, %1, "
                       "Signature) SELECT Lifecycle_ID, LC_Stage_Name, Action_Name, "
                       "Mandatory, Owner_ID, owner_group_ID, Icon, CAST(? AS INTEGER), ? FROM "
                       "LIFECYCLE_ACTION WHERE Lifecycle_ID = ? AND LC_Stage_Name = ? AND "
                       "owner_group_ID = ? AND %1 = 0")
            .arg(scr::Number),
        {taskNumber, signer, stage.lifecycleId, stage.stageName, stage.ownerGroupId});
    tx.commit();
}

} // namespace bx
