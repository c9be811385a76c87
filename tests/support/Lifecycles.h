#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace bx {
class Database;
} // namespace bx

namespace bx::test {

/** Members of workshop `group` (GROUPLINK rows). */
void addMembers(Database& db, qlonglong group, const QStringList& users);

/** One stage row of a lifecycle made by addLifecycle or addStages. */
struct StageDef
{
    QString name;
    int userType = 0; ///< 0 user, 1 workshop, 2 requester
    QString userId;
    qlonglong groupId = 0;
    QString ruleName;
    bool received = false;
    bool approved = false;
    bool declined = false;
};

inline StageDef userStage(const QString& name, const QString& user, qlonglong group)
{
    return {name, 0, user, group, {}, false, false, false};
}
inline StageDef workshopStage(const QString& name, qlonglong group)
{
    return {name, 1, {}, group, {}, false, false, false};
}
inline StageDef requesterStage(const QString& name, qlonglong group)
{
    return {name, 2, {}, group, {}, false, false, false};
}
/** The stage with a rule and the moments it runs at. */
inline StageDef withRule(StageDef s, const QString& rule, bool received, bool approved,
                         bool declined)
{
    s.ruleName = rule;
    s.received = received;
    s.approved = approved;
    s.declined = declined;
    return s;
}

/** The stage rows of lifecycle `id` of workshop `ownerGroup`, designed by "dan", in order. */
void addStages(Database& db, const QString& id, qlonglong ownerGroup,
               const QList<StageDef>& stages);

/** A lifecycle of workshop `ownerGroup` designed by "dan": its LIFECYCLE row and its stages. */
void addLifecycle(Database& db, const QString& id, qlonglong ownerGroup,
                  const QList<StageDef>& stages);

/** An action-item template of a stage (task 0) or a task's copy of one, designed by "dan". */
void addStageAction(Database& db, const QString& lifecycle, const QString& stage,
                    qlonglong ownerGroup, const QString& name, bool mandatory, qlonglong task = 0,
                    const QVariant& signature = {});

} // namespace bx::test
