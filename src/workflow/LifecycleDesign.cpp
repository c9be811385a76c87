#include "workflow/LifecycleDesign.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/SpelledUserId.h"
#include "core/TextCompare.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"

#include <QHash>

namespace bx {

namespace {

/** Refused while a stage taken away still holds tasks. */
const QString kStageOccupied =
    QStringLiteral("There are tasks assigned to deleted lifecycle stage.");

bool exists(Database& db, const QString& sql, const QVariantList& params)
{
    return db.scalar(sql, params).toLongLong() > 0;
}

/** Deletes the stage rows and action-item templates filed under the identifier. */
void clearStagesAndTemplates(Database& db, const QString& lifecycleId, qlonglong ownerGroupId)
{
    db.execute(
        QStringLiteral("DELETE FROM LIFECYCLE_USER WHERE Lifecycle_ID = ? AND owner_group_id = ?"),
        {lifecycleId, ownerGroupId});
    db.execute(QStringLiteral("DELETE FROM LIFECYCLE_ACTION WHERE Lifecycle_ID = ? AND "
                              "owner_group_id = ? AND %1 = 0")
                   .arg(scr::Number),
               {lifecycleId, ownerGroupId});
}

/**
 * Keeps the action-item templates in step with the stages: templates of stages the draft no
 * longer has go, templates of renamed stages take the new name. Renames pass through names no
 * stage can have, so that two stages may swap names.
 */
void carryTemplates(Database& db, const LifecycleDraft& draft, const QString& id, qlonglong group)
{
    const RecordSet held =
        db.query(QStringLiteral("SELECT DISTINCT LC_Stage_Name FROM LIFECYCLE_ACTION WHERE "
                                "Lifecycle_ID = ? AND owner_group_id = ? AND %1 = 0")
                     .arg(scr::Number),
                 {id, group});
    for (const QVariantList& row : held.rows()) {
        const QString name = row.value(0).toString();
        bool kept = false;
        for (const StageDraft& s : draft.stages)
            kept = kept || (!s.loadedName.isEmpty() && sameText(s.loadedName, name));
        if (!kept)
            db.execute(QStringLiteral("DELETE FROM LIFECYCLE_ACTION WHERE Lifecycle_ID = ? AND "
                                      "owner_group_id = ? AND %1 = 0 AND LC_Stage_Name = ?")
                           .arg(scr::Number),
                       {id, group, row.value(0)});
    }

    const QString rename = QStringLiteral("UPDATE LIFECYCLE_ACTION SET LC_Stage_Name = ? WHERE "
                                          "Lifecycle_ID = ? AND owner_group_id = ? AND "
                                          "%1 = 0 AND LC_Stage_Name = ?")
                               .arg(scr::Number);
    QList<int> renamed;
    for (int i = 0; i < draft.stages.size(); ++i) {
        const StageDraft& s = draft.stages.at(i);
        if (s.loadedName.isEmpty() || s.loadedName == s.stage.stageName.trimmed())
            continue;
        renamed.append(i);
    }
    const auto transit = [](int i) { return QString(QChar(1)) + QString::number(i); };
    for (int i : renamed)
        db.execute(rename, {transit(i), id, group, draft.stages.at(i).loadedName});
    for (int i : renamed)
        db.execute(rename, {draft.stages.at(i).stage.stageName.trimmed(), id, group, transit(i)});
}

} // namespace

QList<LifecycleSummary> workshopLifecycles(Database& db, qlonglong ownerGroupId)
{
    const RecordSet rs = db.query(QStringLiteral("SELECT Lifecycle_ID, Lifecycle_Description, "
                                                 "Owner_ID FROM LIFECYCLE WHERE owner_group_id = ? "
                                                 "ORDER BY Lifecycle_ID"),
                                  {ownerGroupId});
    QList<LifecycleSummary> out;
    for (const QVariantList& row : rs.rows())
        out.append({row.value(0).toString(), row.value(1).toString(), row.value(2).toString()});
    return out;
}

std::optional<LifecycleDraft> loadLifecycle(Database& db, const QString& lifecycleId,
                                            qlonglong ownerGroupId)
{
    const RecordSet head = db.query(QStringLiteral("SELECT Lifecycle_ID, Lifecycle_Description "
                                                   "FROM LIFECYCLE WHERE Lifecycle_ID = ? AND "
                                                   "owner_group_id = ?"),
                                    {lifecycleId, ownerGroupId});
    if (head.isEmpty())
        return std::nullopt;
    LifecycleDraft draft;
    draft.isNew = false;
    draft.lifecycleId = head.value(0, QStringLiteral("Lifecycle_ID")).toString();
    draft.description = head.value(0, QStringLiteral("Lifecycle_Description")).toString();

    QHash<QString, int> days;
    const RecordSet dayRows = db.query(QStringLiteral("SELECT LC_Stage_Name, Days_In_Cycle FROM "
                                                      "LIFECYCLE_USER WHERE Lifecycle_ID = ? AND "
                                                      "owner_group_id = ?"),
                                       {lifecycleId, ownerGroupId});
    for (const QVariantList& row : dayRows.rows())
        days.insert(row.value(0).toString().toLower(), row.value(1).toInt());

    for (const LifecycleStage& stage : lifecycleStages(db, lifecycleId, ownerGroupId)) {
        StageDraft s;
        s.stage = stage;
        s.loadedName = stage.stageName;
        s.daysInCycle = days.value(stage.stageName.toLower());
        draft.stages.append(s);
    }
    return draft;
}

bool lifecycleExists(Database& db, const QString& lifecycleId, qlonglong ownerGroupId)
{
    return exists(db,
                  QStringLiteral("SELECT COUNT(*) FROM LIFECYCLE WHERE Lifecycle_ID = ? AND "
                                 "owner_group_id = ?"),
                  {lifecycleId.trimmed(), ownerGroupId});
}

bool isStageOccupied(Database& db, const QString& lifecycleId, qlonglong ownerGroupId,
                     const QString& stageName)
{
    return exists(db,
                  QStringLiteral("SELECT COUNT(*) FROM SCR WHERE %1 = ? AND %2 = ? AND %3 = ?")
                      .arg(scr::LifecycleId, scr::LcStageName, scr::LcOwnerGroupId),
                  {lifecycleId, stageName, ownerGroupId});
}

bool isLifecycleInUse(Database& db, const QString& lifecycleId, qlonglong ownerGroupId)
{
    return exists(db,
                  QStringLiteral("SELECT COUNT(*) FROM SCR WHERE %1 = ? AND (%2 = ? OR %3 = ?)")
                      .arg(scr::LifecycleId, scr::GroupId, scr::LcOwnerGroupId),
                  {lifecycleId, ownerGroupId, ownerGroupId});
}

QList<OwnerTreeWorkshop> ownerTree(Database& db)
{
    QList<OwnerTreeWorkshop> out;
    QHash<qlonglong, qsizetype> at;
    const RecordSet groups =
        db.query(QStringLiteral("SELECT GROUP_ID, GROUP_NAME FROM LU_GROUP ORDER BY GROUP_NAME"));
    for (const QVariantList& row : groups.rows()) {
        at.insert(row.value(0).toLongLong(), out.size());
        out.append({row.value(0).toLongLong(), row.value(1).toString(), {}});
    }
    // A Null Disabled counts as enabled, as in every other user list.
    const RecordSet members = db.query(
        QStringLiteral("SELECT GROUPLINK.GROUP_ID, LU_USER.USER_ID FROM LU_USER, GROUPLINK WHERE "
                       "LU_USER.USER_ID = GROUPLINK.USER_ID AND COALESCE(LU_USER.Disabled, 0) = 0 "
                       "ORDER BY LU_USER.USER_ID"));
    for (const QVariantList& row : members.rows()) {
        const auto it = at.constFind(row.value(0).toLongLong());
        if (it != at.cend())
            out[*it].users.append(row.value(1).toString());
    }
    return out;
}

QStringList ruleNames(Database& db)
{
    QStringList out;
    const RecordSet rs =
        db.query(QStringLiteral("SELECT RULE_NAME FROM LU_RULES ORDER BY RULE_NAME"));
    for (const QVariantList& row : rs.rows())
        out.append(row.value(0).toString());
    return out;
}

std::optional<DesignRefusal> stageNameProblem(const QList<StageDraft>& stages, const QString& name,
                                              int renaming)
{
    const auto refused = [](const QString& text) {
        return DesignRefusal{text, DesignField::Stages};
    };
    if (name.trimmed().isEmpty())
        return refused(QStringLiteral("Please Specify a stage name"));
    for (int i = 0; i < stages.size(); ++i) {
        if (i != renaming && sameText(stages.at(i).stage.stageName, name))
            return refused(renaming < 0 ? QStringLiteral("Stage name already exists")
                                        : QStringLiteral("Stage already exists"));
    }
    if (sameText(name, QStringLiteral("Requester")))
        return refused(QStringLiteral("Stage name 'Requester' is reserved"));
    if (renaming < 0 && stages.size() >= kMaxLifecycleStages)
        return refused(QStringLiteral("A lifecycle can have at most 101 stages"));
    return std::nullopt;
}

std::optional<DesignRefusal> draftProblem(Database& db, const LifecycleDraft& draft,
                                          qlonglong ownerGroupId)
{
    if (draft.lifecycleId.trimmed().isEmpty())
        return DesignRefusal{QStringLiteral("Please specify an identifier for this lifecycle"),
                             DesignField::Identifier};
    if (draft.description.trimmed().isEmpty())
        return DesignRefusal{QStringLiteral("Please specify a description for this lifecycle"),
                             DesignField::Description};
    if (draft.stages.isEmpty())
        return DesignRefusal{QStringLiteral("A lifecycle must have at least one stage"),
                             DesignField::Stages};
    if (draft.isNew && lifecycleExists(db, draft.lifecycleId, ownerGroupId))
        return DesignRefusal{
            QStringLiteral("Lifecycle already exists, Please specify another name."),
            DesignField::Identifier};
    if (draft.isNew)
        return std::nullopt;
    // The stage list refuses to drop an occupied stage; a task may have entered it since.
    for (const LifecycleStage& stored : lifecycleStages(db, draft.lifecycleId, ownerGroupId)) {
        bool kept = false;
        for (const StageDraft& s : draft.stages)
            kept = kept || (!s.loadedName.isEmpty() && sameText(s.loadedName, stored.stageName));
        if (!kept && isStageOccupied(db, draft.lifecycleId, ownerGroupId, stored.stageName))
            return DesignRefusal{kStageOccupied, DesignField::Stages};
    }
    return std::nullopt;
}

void writeLifecycle(Database& db, const LifecycleDraft& draft, qlonglong ownerGroupId,
                    const QString& designer)
{
    const QString id = draft.lifecycleId.trimmed();
    const QString description = draft.description.trimmed();
    const Dialect& d = db.dialect();
    Transaction tx(db);
    const qlonglong updated =
        draft.isNew ? 0
                    : db.execute(QStringLiteral("UPDATE LIFECYCLE SET Lifecycle_Description = ?, "
                                                "Owner_ID = ? WHERE Lifecycle_ID = ? AND "
                                                "owner_group_id = ?"),
                                 {description, designer, id, ownerGroupId});
    if (updated == 0)
        db.execute(QStringLiteral("INSERT INTO LIFECYCLE (Lifecycle_ID, Lifecycle_Description, "
                                  "Owner_ID, owner_group_id) VALUES (?, ?, ?, ?)"),
                   {id, description, designer, ownerGroupId});

    carryTemplates(db, draft, id, ownerGroupId);

    db.execute(
        QStringLiteral("DELETE FROM LIFECYCLE_USER WHERE Lifecycle_ID = ? AND owner_group_id = ?"),
        {id, ownerGroupId});
    const QString insert = QStringLiteral(
        "INSERT INTO LIFECYCLE_USER (Lifecycle_ID, LC_Stage_Name, LC_Sequence_Number, UserType, "
        "User_ID, group_ID, owner_group_id, Days_In_Cycle, Rule_Name, Owner_ID, SuperVisor, "
        "Received, Approved, Declined) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (int i = 0; i < draft.stages.size(); ++i) {
        const StageDraft& s = draft.stages.at(i);
        const LifecycleStage& st = s.stage;
        const bool named = st.ownerKind == StageOwnerKind::User;
        qlonglong group = st.groupId;
        if (st.ownerKind == StageOwnerKind::Requester || group == 0)
            group = ownerGroupId;
        const QString rule = st.ruleName.trimmed();
        db.execute(insert,
                   {id, st.stageName.trimmed(), i, static_cast<int>(st.ownerKind),
                    named ? QVariant(st.userId.trimmed()) : QVariant(), group, ownerGroupId,
                    s.daysInCycle, rule.isEmpty() ? QVariant() : QVariant(rule), designer,
                    d.flag(false), d.flag(st.received), d.flag(st.approved), d.flag(st.declined)});
    }
    tx.commit();
}

void deleteLifecycle(Database& db, const QString& lifecycleId, qlonglong ownerGroupId)
{
    Transaction tx(db);
    db.execute(
        QStringLiteral("DELETE FROM LIFECYCLE WHERE Lifecycle_ID = ? AND owner_group_id = ?"),
        {lifecycleId, ownerGroupId});
    clearStagesAndTemplates(db, lifecycleId, ownerGroupId);
    tx.commit();
}

QString copyIdentifier(const QString& lifecycleId)
{
    return QStringLiteral("Copy of ") + lifecycleId;
}

QString copyExistsMessage(const QString& copyId)
{
    return QStringLiteral("Lifecycle '") + copyId + QStringLiteral("' already exists.");
}

void copyLifecycle(Database& db, const QString& lifecycleId, qlonglong ownerGroupId,
                   const QString& copyId)
{
    Transaction tx(db);
    clearStagesAndTemplates(db, copyId, ownerGroupId);
    const QString idColumn = QStringLiteral("Lifecycle_ID");
    for (const QString& table : {QStringLiteral("LIFECYCLE"), QStringLiteral("LIFECYCLE_USER"),
                                 QStringLiteral("LIFECYCLE_ACTION")}) {
        // Column names come from the catalogue, never from the user, but a site may have added
        // one that needs quoting; every value stays bound.
        QStringList columns;
        for (const ColumnInfo& c : db.columns(table)) {
            if (c.name.compare(idColumn, Qt::CaseInsensitive) != 0)
                columns.append(Dialect::quoteIdentifier(c.name));
        }
        const QString list = columns.join(QStringLiteral(", "));
        QString sql = QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") + idColumn +
                      QStringLiteral(", ") + list + QStringLiteral(") SELECT CAST(? AS TEXT), ") +
                      list + QStringLiteral(" FROM ") + table +
                      QStringLiteral(" WHERE Lifecycle_ID = ? AND owner_group_id = ?");
        // The tasks' signed copies of the action items stay with the original.
        if (table == QLatin1String("LIFECYCLE_ACTION"))
            sql += QStringLiteral(" AND %1 = 0").arg(scr::Number);
        db.execute(sql, {copyId, lifecycleId, ownerGroupId});
    }
    tx.commit();
}

QString ownerCaption(const LifecycleStage& stage)
{
    switch (stage.ownerKind) {
    case StageOwnerKind::Requester:
        return LifecycleText::kRequester;
    case StageOwnerKind::Workshop:
        return LifecycleText::kAnyUser;
    case StageOwnerKind::User:
        break;
    }
    return stage.userId;
}

LifecycleDesign::LifecycleDesign(Session& session, Prompt& prompt)
    : m_session(session)
    , m_prompt(prompt)
{
}

QString LifecycleDesign::me() const
{
    return spelledUserId(m_session);
}

qlonglong LifecycleDesign::workshop() const
{
    return m_session.currentWorkshopId;
}

QList<LifecycleSummary> LifecycleDesign::list()
{
    return workshopLifecycles(m_session.db(), workshop());
}

std::optional<LifecycleDraft> LifecycleDesign::open(const QString& lifecycleId)
{
    return loadLifecycle(m_session.db(), lifecycleId, workshop());
}

QList<OwnerTreeWorkshop> LifecycleDesign::ownerTree()
{
    return bx::ownerTree(m_session.db());
}

QStringList LifecycleDesign::ruleNames()
{
    return bx::ruleNames(m_session.db());
}

Outcome<Done, DesignField> LifecycleDesign::save(LifecycleDraft& draft)
{
    if (auto refusal =
            UserRights::refuseUnlessLifecycleDesigner(m_session.user.record, DesignField::None))
        return *refusal;
    if (auto problem = draftProblem(m_session.db(), draft, workshop()))
        return *problem;
    writeLifecycle(m_session.db(), draft, workshop(), me());
    draft.isNew = false;
    draft.lifecycleId = draft.lifecycleId.trimmed();
    draft.description = draft.description.trimmed();
    for (StageDraft& s : draft.stages) {
        s.stage.stageName = s.stage.stageName.trimmed();
        s.loadedName = s.stage.stageName;
    }
    return Done{};
}

std::optional<DesignRefusal> LifecycleDesign::mayRemoveStage(const LifecycleDraft& draft, int index)
{
    const StageDraft& s = draft.stages.at(index);
    if (!draft.isNew && !s.loadedName.isEmpty() &&
        isStageOccupied(m_session.db(), draft.lifecycleId, workshop(), s.loadedName))
        return DesignRefusal{kStageOccupied, DesignField::Stages};
    return std::nullopt;
}

Outcome<> LifecycleDesign::remove(const QString& lifecycleId)
{
    if (auto refusal = UserRights::refuseUnlessLifecycleDesigner(m_session.user.record))
        return *refusal;
    if (m_prompt.ask(QStringLiteral("Are you sure?"), QStringLiteral("DELETE"),
                     PromptButtons::OkCancel) != PromptAnswer::Ok)
        return Outcome<>::declined();
    if (isLifecycleInUse(m_session.db(), lifecycleId, workshop()))
        return RefusalOf<>{QStringLiteral("There are tasks assigned to the lifecycle.")};
    deleteLifecycle(m_session.db(), lifecycleId, workshop());
    return Done{};
}

Outcome<QString> LifecycleDesign::makeCopy(const QString& lifecycleId)
{
    if (auto refusal = UserRights::refuseUnlessLifecycleDesigner(m_session.user.record))
        return *refusal;
    const QString copyId = copyIdentifier(lifecycleId);
    if (lifecycleExists(m_session.db(), copyId, workshop()))
        return RefusalOf<>{copyExistsMessage(copyId)};
    copyLifecycle(m_session.db(), lifecycleId, workshop(), copyId);
    return copyId;
}

} // namespace bx
