#include "workflow/ActionItems.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/Database.h"
#include "core/db/DatabaseOpener.h"

#include <QFile>

namespace bx {

namespace {

const QString kTitleRequired = QStringLiteral("Title must be specified");
const QString kTitleExists = QStringLiteral("This Title already exists");
const QString kNoAction = QStringLiteral("Unable to locate action data");
const QString kNoStage = QStringLiteral("Unable to locate Phase of lifecycle in database");

/** A refused duplicate key: SQLSTATE 23505, or the embedded engine's UNIQUE / PRIMARY KEY codes. */
bool isDuplicateKey(const DbError& e)
{
    return e.number() == QStringLiteral("23505") || e.number() == QStringLiteral("2067") ||
           e.number() == QStringLiteral("1555");
}

} // namespace

ActionItems::ActionItems(Session& session, Prompt& prompt, const QString& lifecycleId,
                         qlonglong ownerGroupId)
    : m_session(session)
    , m_prompt(prompt)
    , m_lifecycleId(lifecycleId)
    , m_ownerGroupId(ownerGroupId)
{
}

bool ActionItems::refuse(const QString& text)
{
    m_prompt.inform(text);
    return false;
}

QList<StageListEntry> ActionItems::stageList()
{
    QList<StageListEntry> list;
    try {
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
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
    return list;
}

std::optional<LifecycleStage> ActionItems::stage(int sequence)
{
    try {
        const auto found =
            stageAt(lifecycleStages(m_session.db(), m_lifecycleId, m_ownerGroupId), sequence);
        if (!found)
            refuse(kNoStage);
        return found;
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return std::nullopt;
    }
}

QStringList ActionItems::actionTitles(const LifecycleStage& stage)
{
    QStringList titles;
    try {
        const RecordSet rs = m_session.db().query(
            QStringLiteral("SELECT Action_Name FROM LIFECYCLE_ACTION WHERE Lifecycle_ID = ? AND "
                           "owner_group_ID = ? AND LC_Stage_Name = ? AND SCR_Number = 0 ORDER BY "
                           "Action_Name"),
            {stage.lifecycleId, stage.ownerGroupId, stage.stageName});
        for (const QVariantList& row : rs.rows())
            titles << row.value(0).toString();
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
    return titles;
}

std::optional<ActionItem> ActionItems::load(const LifecycleStage& stage, const QString& title)
{
    try {
        const RecordSet rs = m_session.db().query(
            QStringLiteral("SELECT Action_Name, Mandatory, Icon FROM LIFECYCLE_ACTION WHERE "
                           "Lifecycle_ID = ? AND owner_group_ID = ? AND LC_Stage_Name = ? AND "
                           "SCR_Number = 0 AND Action_Name = ?"),
            {stage.lifecycleId, stage.ownerGroupId, stage.stageName, title});
        if (rs.isEmpty()) {
            refuse(kNoAction);
            return std::nullopt;
        }
        ActionItem item;
        item.title = rs.text(QStringLiteral("Action_Name"));
        item.mandatory = rs.flag(QStringLiteral("Mandatory"));
        item.icon = rs.value(QStringLiteral("Icon")).toByteArray();
        return item;
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return std::nullopt;
    }
}

bool ActionItems::exists(const LifecycleStage& stage, const QString& title)
{
    return !m_session.db()
                .query(QStringLiteral("SELECT Action_Name FROM LIFECYCLE_ACTION WHERE "
                                      "Lifecycle_ID = ? AND owner_group_ID = ? AND "
                                      "LC_Stage_Name = ? AND SCR_Number = 0 AND Action_Name = ?"),
                       {stage.lifecycleId, stage.ownerGroupId, stage.stageName, title})
                .isEmpty();
}

bool ActionItems::save(const LifecycleStage& stage, const QString& originalTitle,
                       const ActionItem& item)
{
    const QString title = item.title.trimmed();
    if (title.isEmpty())
        return refuse(kTitleRequired);
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
            return refuse(kTitleExists);
        if (isNew) {
            db.execute(QStringLiteral("INSERT INTO LIFECYCLE_ACTION (Lifecycle_ID, LC_Stage_Name, "
                                      "owner_group_ID, Owner_ID, Action_Name, Mandatory, Icon, "
                                      "SCR_Number) VALUES (?, ?, ?, ?, ?, ?, ?, 0)"),
                       {stage.lifecycleId, stage.stageName, stage.ownerGroupId, me.trimmed(), title,
                        db.dialect().flag(item.mandatory), icon});
        } else if (db.execute(QStringLiteral("UPDATE LIFECYCLE_ACTION SET Action_Name = ?, "
                                             "Mandatory = ?, Icon = ?, Owner_ID = ? WHERE "
                                             "Lifecycle_ID = ? AND owner_group_ID = ? AND "
                                             "LC_Stage_Name = ? AND SCR_Number = 0 AND "
                                             "Action_Name = ?"),
                              {title, db.dialect().flag(item.mandatory), icon, me.trimmed(),
                               stage.lifecycleId, stage.ownerGroupId, stage.stageName, oldTitle}) ==
                   0) {
            return refuse(kNoAction);
        }
        tx.commit();
        return true;
    } catch (const DbError& e) {
        if (isDuplicateKey(e))
            return refuse(kTitleExists);
        reportDatabaseError(e, m_session, m_prompt);
        return false;
    }
}

bool ActionItems::remove(int sequence, const QString& title)
{
    const std::optional<LifecycleStage> s = stage(sequence);
    if (!s)
        return false;
    try {
        if (!exists(*s, title))
            return refuse(kNoAction);
        if (m_prompt.ask(QStringLiteral("Are you sure?"), QStringLiteral("DELETE"),
                         PromptButtons::OkCancel, PromptIcon::Question) != PromptAnswer::Ok)
            return false;
        m_session.db().execute(
            QStringLiteral("DELETE FROM LIFECYCLE_ACTION WHERE Lifecycle_ID = ? AND "
                           "owner_group_ID = ? AND LC_Stage_Name = ? AND SCR_Number = 0 AND "
                           "Action_Name = ?"),
            {s->lifecycleId, s->ownerGroupId, s->stageName, title});
        return true;
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return false;
    }
}

std::optional<QByteArray> ActionItems::readIconFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        refuse(QStringLiteral("Unable to read icon file ") + path);
        return std::nullopt;
    }
    return file.readAll();
}

} // namespace bx
