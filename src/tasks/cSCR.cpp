#include "tasks/cSCR.h"

#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/db/Database.h"
#include "tasks/cSCRInternal.h"

#include <QLoggingCategory>

namespace bx {

using task_detail::toSeconds;

namespace {

} // namespace

// ---- Columns
// --------------------------------------------------------------------------------------

const QList<TaskColumn>& taskColumns()
{
    static const QList<TaskColumn> columns = [] {
        QList<TaskColumn> carried;
        for (const ColumnDef& c : scrColumns()) {
            if (c.carried)
                carried << c;
        }
        return carried;
    }();
    return columns;
}

const TaskColumn* findTaskColumn(const QString& name)
{
    return findColumn(taskColumns(), name);
}

QVariant emptyValue(ColumnKind kind)
{
    switch (kind) {
    case ColumnKind::Text:
        return QString();
    case ColumnKind::Number:
        return qlonglong(0);
    case ColumnKind::Flag:
        return false;
    case ColumnKind::Date:
        return QDateTime();
    }
    return {};
}

QVariant normalised(ColumnKind kind, const QVariant& value)
{
    if (value.isNull())
        return emptyValue(kind);
    switch (kind) {
    case ColumnKind::Text:
        return value.toString();
    case ColumnKind::Number:
        return value.toLongLong();
    case ColumnKind::Flag:
        return value.typeId() == QMetaType::Bool ? value.toBool() : value.toLongLong() != 0;
    case ColumnKind::Date: {
        const QDateTime d = value.typeId() == QMetaType::QDateTime ? value.toDateTime()
                                                                   : RecordSet::toDateTime(value);
        return d.isValid() ? QVariant(toSeconds(naive(d))) : emptyValue(kind);
    }
    }
    return {};
}

bool sameValue(ColumnKind kind, const QVariant& a, const QVariant& b)
{
    const QVariant x = normalised(kind, a);
    const QVariant y = normalised(kind, b);
    switch (kind) {
    case ColumnKind::Text:
        return sameText(x.toString(), y.toString());
    case ColumnKind::Number:
        return x.toLongLong() == y.toLongLong();
    case ColumnKind::Flag:
        return x.toBool() == y.toBool();
    case ColumnKind::Date: {
        const QDateTime dx = x.toDateTime();
        const QDateTime dy = y.toDateTime();
        if (!dx.isValid() || !dy.isValid())
            return dx.isValid() == dy.isValid();
        return dx == dy;
    }
    }
    return false;
}

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
    for (const char* column : {"SCR_Request_Date", "SCR_Owner_Date_In", "SCR_Owner_Date_Viewed",
                               "SCR_Owner_Target_Date", "SCR_StartDate", "SCR_Lifecycle_End_Date"})
        m_values.insert(QString::fromLatin1(column), now);
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
        m_session.db().execute(QStringLiteral("DELETE FROM SCR WHERE SCR_Counter = ? AND "
                                              "SCR_Number IS NULL"),
                               {num(u"SCR_Counter")});
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
    set(u"SCR_Owner_User_ID", me);
    set(u"SCR_Status", statusCode(TaskStatus::Active));
    set(u"SCR_Request_ID", me);
    set(u"SCR_Request_Group_ID", workshop);
    set(u"SCR_Group_ID", workshop);
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
            db.query(QStringLiteral("SELECT * FROM SCR WHERE SCR_Number = ?"), {number});
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
    if (text(u"SCR_Comments").isEmpty())
        set(u"SCR_Comments", text(u"SCR_Comments_AsText"));
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
    const qlonglong version = num(u"SCR_Row_Version");
    if (db.execute(QStringLiteral("UPDATE SCR SET SCR_Owner_Date_Viewed = ?, ") +
                       scr::RaiseRowVersion +
                       QStringLiteral(" WHERE SCR_Number = ? AND SCR_Owner_Date_Viewed IS "
                                      "NULL AND SCR_Row_Version = ?"),
                   {nowGmt, number, version}) == 1) {
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
    m_permWrite = m_new || (mine && active);
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

QString cSCR::text(QStringView column) const
{
    return m_values.value(column.toString()).toString();
}

qlonglong cSCR::num(QStringView column) const
{
    return m_values.value(column.toString()).toLongLong();
}

bool cSCR::flag(QStringView column) const
{
    return m_values.value(column.toString()).toBool();
}

QDateTime cSCR::date(QStringView column) const
{
    return m_values.value(column.toString()).toDateTime();
}

void cSCR::set(QStringView column, const QVariant& v)
{
    const QString name = column.toString();
    const TaskColumn* c = findTaskColumn(name);
    Q_ASSERT(c);
    m_values.insert(c->name, normalised(c->kind, v));
}

} // namespace bx
