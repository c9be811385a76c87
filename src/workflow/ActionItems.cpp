#include "workflow/ActionItems.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"

#include <QFile>

namespace bx {

namespace {

const QString kTitleExists = QStringLiteral("This Title already exists");
const QString kNoAction = QStringLiteral("Unable to locate action data");

} // namespace

ActionItems::ActionItems(Session& session, Prompt& prompt, const QString& lifecycleId,
                         qlonglong ownerGroupId)
    : m_session(session)
    , m_prompt(prompt)
    , m_lifecycleId(lifecycleId)
    , m_ownerGroupId(ownerGroupId)
{
}

QList<StageListEntry> ActionItems::stageList()
{
    QList<StageListEntry> list;
    RecordSet rs = m_session.db().query(
        QStringLiteral("SELECT LIFECYCLE_USER.LC_Sequence_Number, "
                       "LIFECYCLE_USER.LC_Stage_Name, LIFECYCLE_USER.User_ID, "
                       "LU_GROUP.GROUP_NAME FROM LIFECYCLE_USER LEFT JOIN LU_GROUP ON "
                       "LU_GROUP.GROUP_ID = LIFECYCLE_USER.group_ID WHERE "
                       "LIFECYCLE_USER.Lifecycle_ID = ? AND LIFECYCLE_USER.owner_group_ID = ? "
                       "ORDER BY LIFECYCLE_USER.LC_Sequence_Number"),
        {m_lifecycleId, m_ownerGroupId});
    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        StageListEntry e;
        e.sequence = static_cast<int>(rs.number(QStringLiteral("LC_Sequence_Number")));
        e.key = QStringLiteral("Key") + QString::number(e.sequence);
        e.stageName = rs.text(QStringLiteral("LC_Stage_Name"));
        e.ownerText = rs.text(QStringLiteral("User_ID")) + u'(' +
                      rs.text(QStringLiteral("GROUP_NAME")) + u')';
        list.append(e);
    }
    return list;
}

Outcome<LifecycleStage> ActionItems::stage(int sequence)
{
    if (auto found =
            stageAt(lifecycleStages(m_session.db(), m_lifecycleId, m_ownerGroupId), sequence))
        return *found;
    return RefusalOf<>{QStringLiteral("Unable to locate Phase of lifecycle in database")};
}

QStringList ActionItems::actionTitles(const LifecycleStage& stage)
{
    QStringList titles;
    const RecordSet rs = m_session.db().query(
        QStringLiteral("SELECT Action_Name FROM LIFECYCLE_ACTION WHERE Lifecycle_ID = ? AND "
                       "owner_group_ID = ? AND LC_Stage_Name = ? AND %1 = 0 ORDER BY "
                       "Action_Name")
            .arg(scr::Number),
        {stage.lifecycleId, stage.ownerGroupId, stage.stageName});
    for (const QVariantList& row : rs.rows())
        titles << row.value(0).toString();
    return titles;
}

Outcome<ActionItem> ActionItems::load(const LifecycleStage& stage, const QString& title)
{
    const RecordSet rs = m_session.db().query(
        QStringLiteral("SELECT Action_Name, Mandatory, Icon FROM LIFECYCLE_ACTION WHERE "
                       "Lifecycle_ID = ? AND owner_group_ID = ? AND LC_Stage_Name = ? AND "
                       "%1 = 0 AND Action_Name = ?")
            .arg(scr::Number),
        {stage.lifecycleId, stage.ownerGroupId, stage.stageName, title});
    if (rs.isEmpty())
        return RefusalOf<>{kNoAction};
    ActionItem item;
    item.title = rs.text(QStringLiteral("Action_Name"));
    item.mandatory = rs.flag(QStringLiteral("Mandatory"));
    item.icon = rs.value(QStringLiteral("Icon")).toByteArray();
    return item;
}

bool ActionItems::exists(const LifecycleStage& stage, const QString& title)
{
    return !m_session.db()
                .query(QStringLiteral("SELECT Action_Name FROM LIFECYCLE_ACTION WHERE "
                                      "Lifecycle_ID = ? AND owner_group_ID = ? AND "
                                      "LC_Stage_Name = ? AND %1 = 0 AND Action_Name = ?")
                           .arg(scr::Number),
                       {stage.lifecycleId, stage.ownerGroupId, stage.stageName, title})
                .isEmpty();
}

Outcome<> ActionItems::save(const LifecycleStage& stage, const QString& originalTitle,
                            const ActionItem& item)
{
    if (auto refusal = UserRights::refuseUnlessLifecycleDesigner(m_session.user.record))
        return *refusal;
    const QString title = item.title.trimmed();
    if (title.isEmpty())
        return RefusalOf<>{QStringLiteral("Title must be specified")};
    const QString oldTitle = originalTitle.trimmed();
    const bool isNew = oldTitle.isEmpty();
    // Action_Name compares without regard to case on both engines: an item retitled only in its
    // letter case finds itself, which is no clash.
    const bool sameTitle = !isNew && oldTitle.compare(title, Qt::CaseInsensitive) == 0;

    Database& db = m_session.db();
    const QString& me = m_session.user.record.userId.isEmpty() ? m_session.user.userId
                                                               : m_session.user.record.userId;
    const QVariant icon = item.icon.isEmpty() ? QVariant() : QVariant(item.icon);
    try {
        Transaction tx(db);
        if (!sameTitle && exists(stage, title))
            return RefusalOf<>{kTitleExists};
        if (isNew) {
            db.execute(QStringLiteral("INSERT INTO LIFECYCLE_ACTION (Lifecycle_ID, LC_Stage_Name, "
                                      "owner_group_ID, Owner_ID, Action_Name, Mandatory, Icon, "
                                      "%1) VALUES (?, ?, ?, ?, ?, ?, ?, 0)")
                           .arg(scr::Number),
                       {stage.lifecycleId, stage.stageName, stage.ownerGroupId, me.trimmed(), title,
                        db.dialect().flag(item.mandatory), icon});
        } else if (db.execute(QStringLiteral("UPDATE LIFECYCLE_ACTION SET Action_Name = ?, "
                                             "Mandatory = ?, Icon = ?, Owner_ID = ? WHERE "
                                             "Lifecycle_ID = ? AND owner_group_ID = ? AND "
                                             "LC_Stage_Name = ? AND %1 = 0 AND "
                                             "Action_Name = ?")
                                  .arg(scr::Number),
                              {title, db.dialect().flag(item.mandatory), icon, me.trimmed(),
                               stage.lifecycleId, stage.ownerGroupId, stage.stageName, oldTitle}) ==
                   0) {
            return RefusalOf<>{kNoAction};
        }
        tx.commit();
        return Done{};
    } catch (const DbError& e) {
        // Another client added the title between the check and the write: the key refuses it
        // as the check would have. Any other failure is the command's to report.
        if (e.kind() == DbErrorKind::DuplicateKey)
            return RefusalOf<>{kTitleExists};
        throw;
    }
}

Outcome<> ActionItems::remove(int sequence, const QString& title)
{
    if (auto refusal = UserRights::refuseUnlessLifecycleDesigner(m_session.user.record))
        return *refusal;
    const Outcome<LifecycleStage> s = stage(sequence);
    if (!s)
        return *s.refusal();
    if (!exists(*s, title))
        return RefusalOf<>{kNoAction};
    if (m_prompt.ask(QStringLiteral("Are you sure?"), QStringLiteral("DELETE"),
                     PromptButtons::OkCancel, PromptIcon::Question) != PromptAnswer::Ok)
        return Outcome<>::declined();
    m_session.db().execute(QStringLiteral("DELETE FROM LIFECYCLE_ACTION WHERE Lifecycle_ID = ? AND "
                                          "owner_group_ID = ? AND LC_Stage_Name = ? AND "
                                          "%1 = 0 AND Action_Name = ?")
                               .arg(scr::Number),
                           {s->lifecycleId, s->ownerGroupId, s->stageName, title});
    return Done{};
}

Outcome<QByteArray> ActionItems::readIconFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return RefusalOf<>{QStringLiteral("Unable to read icon file ") + path};
    return file.readAll();
}

} // namespace bx
