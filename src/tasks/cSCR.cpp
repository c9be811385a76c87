#include "tasks/cSCR.h"

#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/TaskPermissions.h"
#include "core/TextCompare.h"
#include "core/db/Database.h"
#include "tasks/cSCRInternal.h"

#include <QLoggingCategory>

namespace bx {

using task_detail::toSeconds;

// ---- Task object
// ----------------------------------------------------------------------------------

cSCR::cSCR(Session& session, Prompt& prompt)
    : m_session(session)
    , m_prompt(prompt)
    , m_gmt(session.clock())
{
    initialise();
}

void cSCR::initialise()
{
    for (const TaskColumn& c : taskColumns())
        m_values.insert(c.name, emptyValue(c.kind));
    // A task starts with every date of its life at the moment it was begun; Load replaces them.
    const QDateTime now = toSeconds(m_session.clock().nowLocal());
    for (scr::Column column : {scr::RequestDate, scr::OwnerDateIn, scr::OwnerDateViewed,
                               scr::OwnerTargetDate, scr::StartDate, scr::LifecycleEndDate})
        m_values.insert(column, now);
    takeSnapshot();
    m_new = true;
    m_subTask = false;
    m_history.clear();
    ClearObject();
}

cSCR::~cSCR()
{
    discardPendingRow();
}

void cSCR::discardPendingRow() noexcept
{
    if (!m_rowPending || !m_session.isOpen())
        return;
    m_rowPending = false;
    try {
        // Only a row that no save ever wrote (SCR_Number still Null) is given back.
        m_session.db().execute(QStringLiteral("DELETE FROM SCR WHERE %1 = ? AND %2 IS NULL")
                                   .arg(scr::Counter, scr::Number),
                               {num(scr::Counter)});
    } catch (const DbError& e) {
        m_session.errorLog().write(QStringLiteral("cSCR"), e.description());
    }
}

qlonglong cSCR::Create(TaskType type)
{
    try {
        return createRow(type);
    } catch (const DbError& e) {
        reportError(e.description());
        return 0;
    }
}

qlonglong cSCR::createRow(TaskType type)
{
    discardPendingRow();
    initialise();
    m_opened = false;
    m_taskType = type;
    m_saved = false;
    m_users.clear();
    const QString me = m_session.user.userId;
    const qlonglong workshop = m_session.currentWorkshopId;
    set(scr::OwnerUserId, me);
    set(scr::Status, statusCode(TaskStatus::Active));
    set(scr::RequestId, me);
    set(scr::RequestGroupId, workshop);
    set(scr::GroupId, workshop);
    computePermissions();

    // The row only draws the number here; its values are written by the first save. Until then
    // SCR_Number stays Null, so no list or search shows the half-made task.
    const qlonglong number =
        m_session.db().insertNumbered(QStringLiteral("SCR"), scr::Counter, {}, {});
    m_values.insert(scr::Counter, number);
    m_values.insert(scr::Number, number);
    takeSnapshot();
    m_opened = true;
    m_rowPending = true;
    return number;
}

bool cSCR::Load(qlonglong number)
{
    if (number == 0) {
        reportError(QStringLiteral(" Task number not defined "));
        return false;
    }
    startLoading();
    Database& db = m_session.db();
    try {
        const RecordSet rs =
            db.query(QStringLiteral("SELECT * FROM SCR WHERE %1 = ?").arg(scr::Number), {number});
        if (rs.isEmpty()) {
            reportError(QStringLiteral(" Task %1 does not exist ").arg(number));
            return false;
        }
        takeRow(rs);
        if (rs.isNull(scr::OwnerDateViewed) && ownerIsMe())
            markViewed(db, number);
        m_opened = true;
    } catch (const DbError& e) {
        reportError(e.description());
        return false;
    }
    return true;
}

bool cSCR::Load(const RecordSet& row)
{
    if (row.isEmpty() || row.number(scr::Number) == 0) {
        reportError(QStringLiteral(" Task number not defined "));
        return false;
    }
    startLoading();
    takeRow(row);
    m_opened = true;
    return true;
}

void cSCR::startLoading()
{
    discardPendingRow();
    initialise();
    m_opened = false;
    m_new = false;
    m_saved = false;
}

void cSCR::takeRow(const RecordSet& rs)
{
    for (const TaskColumn& c : taskColumns()) {
        QVariant v = normalised(c.kind, rs.value(c.name));
        if (c.kind == ColumnKind::Date)
            v = m_gmt.toLocal(v.toDateTime());
        m_values.insert(c.name, v);
    }
    if (text(scr::Comments).isEmpty())
        set(scr::Comments, text(scr::CommentsAsText));
    m_taskType = Meeting_ID() != 0 ? TaskType::Meeting : TaskType::Task;
    takeSnapshot();
    computePermissions();
}

void cSCR::markViewed(Database& db, qlonglong number)
{
    // Written only while the row is as read: then this update alone raised the version, and the
    // object, with the new date, holds the row exactly. A row another client changed in between
    // keeps its date (the first viewing stays) and the version read, so that a save of the
    // object is refused rather than undoing that change.
    const QDateTime nowGmt = toSeconds(m_gmt.nowGmt());
    const qlonglong version = num(scr::RowVersion);
    const QString markViewed =
        QStringLiteral("UPDATE SCR SET %1 = ?, %2 WHERE %3 = ? AND %1 IS NULL AND %4 = ?")
            .arg(scr::OwnerDateViewed, scr::RaiseRowVersion, scr::Number, scr::RowVersion);
    if (db.execute(markViewed, {nowGmt, number, version}) == 1) {
        const QDateTime viewed = m_gmt.toLocal(nowGmt);
        for (QVariantMap* map : {&m_values, &m_snapshot}) {
            map->insert(scr::OwnerDateViewed, viewed);
            map->insert(scr::RowVersion, version + 1);
        }
    }
}

bool cSCR::IsTargetChanged() const
{
    return dateChanged(scr::OwnerTargetDate);
}

bool cSCR::IsStartChanged() const
{
    return dateChanged(scr::StartDate);
}

bool cSCR::IsLCDateChanged() const
{
    return dateChanged(scr::LifecycleEndDate);
}

void cSCR::ClearObject()
{
    if (m_plugIn)
        m_plugIn->setProperty(QStringLiteral("ACTION"), QStringLiteral("EXIT"));
}

void cSCR::queueHistory(const QString& action, const QString& note)
{
    m_history.append(historyEntry(action, note));
}

RouteHistoryEntry cSCR::historyEntry(const QString& action, const QString& note) const
{
    RouteHistoryEntry e;
    e.taskNumber = SCR_Number();
    e.action = action;
    e.stageName = SCR_LC_Stage_Name();
    e.targetDate = m_gmt.toGmt(SCR_Owner_Target_Date());
    e.ownerUser = SCR_Owner_User_ID();
    e.groupId = SCR_Group_ID();
    e.comment = note;
    return e;
}

QVariant cSCR::value(const QString& column) const
{
    const TaskColumn* c = findTaskColumn(column);
    return c ? m_values.value(c->name) : QVariant();
}

bool cSCR::setValue(const QString& column, const QVariant& value)
{
    const TaskColumn* c = findTaskColumn(column);
    if (!c || c->readOnly)
        return false;
    m_values.insert(c->name, normalised(c->kind, value));
    return true;
}

QStringList cSCR::changedColumns() const
{
    QStringList changed;
    for (const TaskColumn& c : taskColumns()) {
        if (!sameValue(c.kind, m_values.value(c.name), m_snapshot.value(c.name)))
            changed << c.name;
    }
    return changed;
}

QVariant cSCR::storedValue(const QString& column) const
{
    const TaskColumn* c = findTaskColumn(column);
    if (!c)
        return {};
    const QVariant v = m_values.value(c->name);
    if (c->kind == ColumnKind::Date) {
        const QDateTime gmt = m_gmt.toGmt(v.toDateTime());
        return gmt.isValid() ? QVariant(gmt) : QVariant();
    }
    // A workshop reference of 0 would break the reference to LU_GROUP; the row keeps Null instead.
    if ((c->name == scr::LcOwnerGroupId || c->name == scr::RequestGroupId) && v.toLongLong() == 0)
        return {};
    return v;
}

void cSCR::computePermissions()
{
    const bool mine = ownerIsMe();
    const bool active = hasStatus(SCR_Status(), TaskStatus::Active);
    m_permRead = true;
    m_permWrite = m_new || mayWriteTask(SCR_Owner_User_ID(), SCR_Status(), m_session.user.userId);
    m_permForward = m_permWrite;
    m_permReopen = mine && !active;
}

bool cSCR::ownerIsMe() const
{
    // A task that a workshop owns has no owner user; it is nobody's own task.
    const QString owner = SCR_Owner_User_ID();
    return !owner.trimmed().isEmpty() && sameText(owner, m_session.user.userId);
}

bool cSCR::dateChanged(const QString& column) const
{
    return !sameValue(ColumnKind::Date, m_values.value(column), m_snapshot.value(column));
}

void cSCR::reportError(const QString& description) const
{
    m_session.errorLog().write(QStringLiteral("cSCR"), description.trimmed());
    if (m_operationTx && *m_operationTx)
        m_heldErrors << description;
    else
        showTaskError(m_prompt, description);
}

QString cSCR::text(scr::Column column) const
{
    return m_values.value(column).toString();
}

qlonglong cSCR::num(scr::Column column) const
{
    return m_values.value(column).toLongLong();
}

bool cSCR::flag(scr::Column column) const
{
    return m_values.value(column).toBool();
}

QDateTime cSCR::date(scr::Column column) const
{
    return m_values.value(column).toDateTime();
}

void cSCR::set(scr::Column column, const QVariant& v)
{
    const TaskColumn* c = findTaskColumn(column);
    Q_ASSERT(c);
    m_values.insert(c->name, normalised(c->kind, v));
}

} // namespace bx
