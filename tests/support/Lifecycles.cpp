#include "support/Lifecycles.h"

#include "core/db/Database.h"

using namespace Qt::StringLiterals;

namespace bx::test {

namespace {
const QString kDesigner = u"dan"_s;
} // namespace

void addMembers(Database& db, qlonglong group, const QStringList& users)
{
    for (const QString& user : users)
        db.execute(u"INSERT INTO GROUPLINK (GROUP_ID, USER_ID) VALUES (?, ?)"_s, {group, user});
}

void addStages(Database& db, const QString& id, qlonglong ownerGroup, const QList<StageDef>& stages)
{
    int sequence = 0;
    for (const StageDef& s : stages) {
        db.execute(u"INSERT INTO LIFECYCLE_USER (Lifecycle_ID, LC_Stage_Name, "
                   "LC_Sequence_Number, UserType, User_ID, group_ID, owner_group_id, "
                   "Days_In_Cycle, Rule_Name, Owner_ID, SuperVisor, Received, Approved, "
                   "Declined) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                   {id, s.name, sequence++, s.userType, s.userId, s.groupId, ownerGroup, 3,
                    s.ruleName.isNull() ? QVariant() : QVariant(s.ruleName), kDesigner,
                    db.dialect().flag(false), db.dialect().flag(s.received),
                    db.dialect().flag(s.approved), db.dialect().flag(s.declined)});
    }
}

void addLifecycle(Database& db, const QString& id, qlonglong ownerGroup,
                  const QList<StageDef>& stages)
{
    db.execute(u"INSERT INTO LIFECYCLE (Lifecycle_ID, Lifecycle_Description, "
               "Owner_ID, owner_group_id) VALUES (?, ?, ?, ?)"_s,
               {id, u"Lifecycle "_s + id, kDesigner, ownerGroup});
    addStages(db, id, ownerGroup, stages);
}

void addStageAction(Database& db, const QString& lifecycle, const QString& stage,
                    qlonglong ownerGroup, const QString& name, bool mandatory, qlonglong task,
                    const QVariant& signature)
{
    db.execute(u"INSERT INTO LIFECYCLE_ACTION (Lifecycle_ID, LC_Stage_Name, "
               "Action_Name, Mandatory, Owner_ID, owner_group_id, SCR_Number, "
               "Signature) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"_s,
               {lifecycle, stage, name, db.dialect().flag(mandatory), kDesigner, ownerGroup, task,
                signature});
}

} // namespace bx::test
