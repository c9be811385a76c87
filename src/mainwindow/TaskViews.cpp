#include "mainwindow/TaskViews.h"

#include "contacts/Contacts.h"
#include "core/Clock.h"
#include "core/Gmt.h"
#include "core/Session.h"
#include "core/db/Database.h"
#include "core/db/Dialect.h"
#include "core/schema/TaskColumns.h"
#include "mainwindow/BackgroundReader.h"

namespace bx {

namespace {

const QString kStartDate = scr::StartDate;

/** Date columns of SCR a window may name; anything else falls back to the start date. */
QString windowColumn(const QString& field)
{
    const ColumnDef* c = findColumn(scrColumns(), field);
    return c && c->kind == ColumnKind::Date ? c->name : kStartDate;
}

/** " AND (t.col = ? OR t.col = ? ...)" for a non-empty list. */
TaskCriteria anyOf(const QString& column, const QVariantList& values)
{
    TaskCriteria c;
    if (values.isEmpty())
        return c;
    QStringList terms;
    for (qsizetype i = 0; i < values.size(); ++i)
        terms << column + QStringLiteral(" = ?");
    c.sql = QStringLiteral(" AND (") + terms.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    c.params = values;
    return c;
}

QVariantList statusCodes(const TaskViewFilter& f)
{
    QVariantList codes;
    if (f.search.on) {
        for (const QChar code : QStringLiteral("ACIX")) {
            if (f.search.statuses.contains(code, Qt::CaseInsensitive))
                codes << QString(code);
        }
        return codes;
    }
    const std::pair<bool, const char*> menu[] = {
        {f.active, "A"}, {f.complete, "C"}, {f.incomplete, "I"}, {f.canceled, "X"}};
    for (const auto& [on, code] : menu) {
        if (on)
            codes << QString::fromLatin1(code);
    }
    return codes;
}

TaskCriteria dateWindow(const TaskDateWindow& w, const Session& session, const QString& t)
{
    TaskCriteria c;
    if (!w.on || !w.from.isValid() || !w.to.isValid())
        return c;
    const GmtConverter gmt(session.clock());
    const QDateTime from = gmt.toGmt(naive(w.from));
    const QDateTime upper = gmt.toGmt(naive(w.to.addDays(1)));
    if (w.field.compare(QStringLiteral("closedate"), Qt::CaseInsensitive) == 0) {
        // One pass over the completing entries instead of a lookup per task row.
        c.sql = QStringLiteral(" AND %1.%2 IN (SELECT ROUTE.%2 FROM ROUTE WHERE "
                               "ROUTE.Route_Status = 'C' GROUP BY ROUTE.%2 HAVING "
                               "MAX(ROUTE.Route_Date_In) <= ? AND MAX(ROUTE.Route_Date_In) >= ?)")
                    .arg(t, scr::Number);
        c.params = {upper, from};
        return c;
    }
    const QString column = t + QLatin1Char('.') + windowColumn(w.field);
    c.sql = QStringLiteral(" AND ") + column + QStringLiteral(" <= ? AND ") + column +
            QStringLiteral(" >= ?");
    c.params = {upper, from};
    return c;
}

const QString kNoMeetings =
    QStringLiteral(" AND (SCR.%1 = 0 OR SCR.%1 IS NULL)").arg(scr::MeetingId);
const QString kByFolderAndPriority = QStringLiteral(" ORDER BY SCR.%1, SCR.%2, SCR.%3")
                                         .arg(scr::Category, scr::Priority, scr::OwnerDateIn);

} // namespace

QString ownerTerm(const OwnerSet& owners, QVariantList& params)
{
    for (const QString& id : owners.ids)
        params << id;
    const QString in =
        QStringLiteral(" IN (") + Dialect::markers(owners.ids.size()) + QStringLiteral(")");
    // A task kept for a contact has SCR_Contact_Key 1, every other one 0 or Null.
    const QString noContact = QStringLiteral("(SCR.%1 = 0 OR SCR.%1 IS NULL)").arg(scr::ContactKey);
    switch (owners.kind) {
    case OwnerKind::Workshop:
        return noContact +
               QStringLiteral(" AND SCR.%1 = 1 AND LTRIM(SCR.%2)")
                   .arg(scr::OwnerType, scr::OwnerUserId) +
               in;
    case OwnerKind::Contact:
        return QStringLiteral("SCR.%1 = 1 AND SCR.%2").arg(scr::ContactKey, scr::OwnerUserId) + in;
    case OwnerKind::User:
        break;
    }
    return noContact +
           QStringLiteral(" AND SCR.%1 IN (SELECT USER_ID FROM LU_USER WHERE Disabled = 0) AND "
                          "(SCR.%2 = 0 OR SCR.%2 IS NULL) AND SCR.%3")
               .arg(scr::RequestId, scr::OwnerType, scr::OwnerUserId) +
           in;
}

TaskDateWindow TaskDateWindow::fromChoice(const DateRangeChoice& choice)
{
    TaskDateWindow w;
    w.on = true;
    w.field = choice.field.isEmpty() ? kStartDate : choice.field;
    w.from = choice.start;
    w.to = choice.end;
    return w;
}

TaskViewFilter TaskViewFilter::defaults(const QDate& today)
{
    TaskViewFilter f;
    f.window.from = today.addDays(-180);
    f.window.to = today;
    return f;
}

void TaskViewFilter::apply(ViewCommand command)
{
    auto onlyStatus = [this](bool a, bool c, bool i, bool x) {
        active = a;
        complete = c;
        incomplete = i;
        canceled = x;
    };
    switch (command) {
    case ViewCommand::Active:
        onlyStatus(true, false, false, false);
        viewed = ViewedState::Both;
        requestedBy = false;
        ownedBy = false;
        break;
    case ViewCommand::Complete:
        onlyStatus(false, true, false, false);
        break;
    case ViewCommand::Incomplete:
        onlyStatus(false, false, true, false);
        break;
    case ViewCommand::Canceled:
        onlyStatus(false, false, false, true);
        break;
    case ViewCommand::Viewed:
        viewed = ViewedState::Viewed;
        break;
    case ViewCommand::Unviewed:
        viewed = ViewedState::Unviewed;
        requestedBy = false;
        ownedBy = false;
        break;
    case ViewCommand::BothViewed:
        viewed = ViewedState::Both;
        break;
    case ViewCommand::RequestedBy:
        requestedBy = !requestedBy;
        viewed = ViewedState::Both;
        break;
    case ViewCommand::OwnedBy:
        ownedBy = !ownedBy;
        break;
    case ViewCommand::Late:
        late = !late;
        onlyStatus(true, false, false, false);
        viewed = ViewedState::Both;
        requestedBy = false;
        break;
    }
}

void TaskViewFilter::apply(QuickView view)
{
    switch (view) {
    case QuickView::ActiveTasks:
        apply(ViewCommand::Active);
        break;
    case QuickView::LateTasks:
        late = false;
        apply(ViewCommand::Late);
        break;
    case QuickView::UnviewedTasks:
        apply(ViewCommand::Unviewed);
        break;
    case QuickView::RequestedBy:
        requestedBy = false;
        apply(ViewCommand::RequestedBy);
        break;
    case QuickView::Approval:
        break;
    }
}

QString TaskViewFilter::captionSuffix() const
{
    QString s;
    const std::pair<bool, const char*> checks[] = {
        {active, " (Active)"},
        {complete, " (Complete)"},
        {incomplete, " (Incomplete)"},
        {canceled, " (Canceled)"},
        {late, " (Late)"},
        {viewed == ViewedState::Viewed, " (Viewed)"},
        {viewed == ViewedState::Unviewed, " (Unviewed)"},
        {viewed == ViewedState::Both, " (Viewed & Unviewed)"},
        {requestedBy, " (Requested by )"}};
    for (const auto& [on, text] : checks) {
        if (on)
            s += QString::fromLatin1(text);
    }
    return s;
}

TaskCriteria buildTaskCriteria(const TaskViewFilter& f, const Session& session, const QString& t)
{
    const QString col = t + QLatin1Char('.');
    TaskCriteria c;
    if (!f.search.on) {
        c.sql += QStringLiteral(" AND (") + col + scr::GroupId + QStringLiteral(" = ?)");
        c.params << qlonglong(session.currentWorkshopId);
    }
    c += anyOf(col + scr::Status, statusCodes(f));

    if (!f.search.on) {
        if (f.viewed == ViewedState::Viewed)
            c.sql += QStringLiteral(" AND NOT ") + col + scr::OwnerDateViewed +
                     QStringLiteral(" IS NULL");
        else if (f.viewed == ViewedState::Unviewed)
            c.sql +=
                QStringLiteral(" AND ") + col + scr::OwnerDateViewed + QStringLiteral(" IS NULL");
    }
    if (f.requestedBy) {
        c.sql += QStringLiteral(" AND ") + col + scr::RequestId + QStringLiteral(" = ?");
        c.params << session.user.userId;
    }
    if (!f.search.on) {
        QVariantList categories(f.categories.cbegin(), f.categories.cend());
        QVariantList priorities(f.priorities.cbegin(), f.priorities.cend());
        c += anyOf(col + scr::Category, categories);
        c += anyOf(col + scr::Priority, priorities);
    }
    c += dateWindow(f.search.on ? f.search.window : f.window, session, t);
    if (!f.search.on && f.late) {
        c.sql += QStringLiteral(" AND %1%2 < ? AND %1%3 = 'A'")
                     .arg(col, scr::OwnerTargetDate, scr::Status);
        c.params << GmtConverter(session.clock()).nowGmt();
    }
    return c;
}

change_markers::Scope markerScope(const TaskViewFilter& filter, const Session& session)
{
    if (filter.search.on)
        return {};
    return {qlonglong(session.currentWorkshopId)};
}

TaskCriteria approvalCondition(const Session& session)
{
    TaskCriteria c;
    c.sql = QStringLiteral(
                "SCR.%1 IN (SELECT ATTACH.%1 FROM ATTACH, CHECKLIST_ITEM a "
                "WHERE ATTACH.Attach_Type = 'K' AND a.Checklist_Name = ATTACH.Attach_Filename "
                "AND a.Attach_Number = 0 AND a.Sign_User_ID = ? AND NOT EXISTS (SELECT * FROM "
                "CHECKLIST_ITEM done WHERE done.Attach_Number = ATTACH.Attach_Number AND "
                "done.Action_Name = a.Action_Name)) AND SCR.%2 = 'A' "
                "AND SCR.%3 IN (SELECT USER_ID FROM LU_USER WHERE Disabled = 0) "
                "AND SCR.%4 IN (SELECT USER_ID FROM LU_USER WHERE Disabled = 0)")
                .arg(scr::Number, scr::Status, scr::OwnerUserId, scr::RequestId);
    c.params << session.user.userId;
    return c;
}

const QString& taskListColumns()
{
    static const QString columns = [] {
        QStringList list;
        for (const QString& name : listedColumns(scrColumns()))
            list << QStringLiteral("SCR.") + name;
        return list.join(QStringLiteral(", "));
    }();
    return columns;
}

const QList<TaskGridColumn>& taskGridColumns()
{
    static const QList<TaskGridColumn> columns{
        {QStringLiteral("Task Title"), scr::Title},
        {QStringLiteral("Owner"), scr::OwnerUserId},
        {QStringLiteral("Priority"), scr::Priority},
        {QStringLiteral("Start Date"), scr::StartDate},
        {QStringLiteral("Date In"), scr::OwnerDateIn},
        {QStringLiteral("Viewed"), scr::OwnerDateViewed},
        {QStringLiteral("Due Date"), scr::OwnerTargetDate},
        {QStringLiteral("Status"), scr::Status},
        {QStringLiteral("Request Date"), scr::RequestDate},
        {QStringLiteral("Requester"), scr::RequestId},
        {QStringLiteral("Lifecycle End Date"), scr::LifecycleEndDate}};
    return columns;
}

TaskCriteria treeTaskQuery(const OwnerSet& owners, const TaskViewFilter& filter,
                           const Session& session, bool flatSubTasks)
{
    TaskCriteria q;
    q.sql = QStringLiteral("SELECT ") + taskListColumns() + QStringLiteral(" FROM SCR WHERE ");
    q.sql += ownerTerm(owners, q.params);
    q += buildTaskCriteria(filter, session);
    if (!flatSubTasks) {
        // The parent is listed too, so the sub-task goes under it rather than at the top.
        const TaskCriteria parent = buildTaskCriteria(filter, session, QStringLiteral("p"));
        q.sql += QStringLiteral(" AND NOT EXISTS (SELECT p.%1 FROM SCR p WHERE p.%1 = SCR.%2")
                     .arg(scr::Number, scr::ParentNumber) +
                 parent.sql + QLatin1Char(')');
        q.params += parent.params;
    }
    q.sql += kNoMeetings + QStringLiteral(" ORDER BY SCR.%1, SCR.%2, SCR.%3")
                               .arg(scr::OwnerUserId, scr::ParentFolderNumber, scr::Category);
    return q;
}

TaskCriteria gridTaskQuery(const OwnerSet* owner, const TaskViewFilter& filter,
                           const Session& session)
{
    TaskCriteria q;
    q.sql = QStringLiteral("SELECT ") + taskListColumns() + QStringLiteral(" FROM SCR WHERE ");
    q.sql += owner ? ownerTerm(*owner, q.params) : QStringLiteral("1 = 1");
    q += buildTaskCriteria(filter, session);
    q.sql += kNoMeetings + kByFolderAndPriority;
    return q;
}

TaskCriteria approvalGridQuery(const Session& session)
{
    TaskCriteria q;
    q.sql = QStringLiteral("SELECT ") + taskListColumns() + QStringLiteral(" FROM SCR WHERE ");
    q += approvalCondition(session);
    q.sql += kByFolderAndPriority;
    return q;
}

TaskCriteria oneTaskQuery(qlonglong number, const OwnerSet* owner, const TaskViewFilter& filter,
                          const Session& session)
{
    return someTasksQuery({number}, owner, filter, session);
}

namespace {

/** "SELECT <list columns> FROM SCR WHERE SCR.SCR_Number IN (?, ...)", the numbers bound. */
TaskCriteria tasksNumbered(const QList<qlonglong>& numbers)
{
    Q_ASSERT(!numbers.isEmpty());
    TaskCriteria q;
    for (const qlonglong n : numbers)
        q.params << n;
    q.sql = QStringLiteral("SELECT ") + taskListColumns() +
            QStringLiteral(" FROM SCR WHERE SCR.%1 IN (%2)")
                .arg(scr::Number, Dialect::markers(numbers.size()));
    return q;
}

} // namespace

TaskCriteria someTasksQuery(const QList<qlonglong>& numbers, const OwnerSet* owner,
                            const TaskViewFilter& filter, const Session& session)
{
    TaskCriteria q = tasksNumbered(numbers);
    if (owner)
        q.sql += QStringLiteral(" AND ") + ownerTerm(*owner, q.params);
    q += buildTaskCriteria(filter, session);
    q.sql += kNoMeetings;
    return q;
}

TaskCriteria someApprovalTasksQuery(const QList<qlonglong>& numbers, const Session& session)
{
    TaskCriteria q = tasksNumbered(numbers);
    q.sql += QStringLiteral(" AND (");
    q += approvalCondition(session);
    q.sql += QStringLiteral(")");
    return q;
}

bool taskVisibleTo(const RecordSet& rows, int row, const QString& userId)
{
    const QVariant sensitive = rows.value(row, scr::Sensitive);
    if (sensitive.isNull() || sensitive.toLongLong() == 0)
        return true;
    const auto same = [&](scr::Column column) {
        return rows.value(row, column)
                   .toString()
                   .trimmed()
                   .compare(userId.trimmed(), Qt::CaseInsensitive) == 0;
    };
    return same(scr::OwnerUserId) || same(scr::RequestId);
}

void nameTaskContacts(Database& db, const QStringList& names, QList<QVariantList>& rows)
{
    const int column = RecordSet(names, {}).columnIndex(scr::ContactKey);
    if (column < 0)
        return;
    QList<qlonglong> keys;
    keys.reserve(rows.size());
    for (const QVariantList& row : std::as_const(rows))
        keys << row.value(column).toLongLong();
    const QHash<qlonglong, QString> shown = contacts::listNames(db, keys);
    for (QVariantList& row : rows) {
        if (column >= row.size())
            continue;
        const auto name = shown.constFind(row.at(column).toLongLong());
        row[column] = name == shown.cend() ? QVariant() : QVariant(*name);
    }
}

TaskListFill fillTaskList(Session& session, const TaskCriteria& statement,
                          const std::function<void(const RecordSet& rows, int row)>& insert,
                          const std::function<qint64()>& elapsedMs)
{
    return fillTaskList(session.db(), session.system.queryWait, session.user.userId, statement,
                        insert, elapsedMs);
}

TaskListFill fillTaskList(Database& db, int queryWaitSeconds, const QString& userId,
                          const TaskCriteria& statement,
                          const std::function<void(const RecordSet& rows, int row)>& insert,
                          const std::function<qint64()>& elapsedMs)
{
    const RowWalk walk = walkRows(
        db, statement, queryWaitSeconds,
        [&](const RecordSet& rows, int row) { return taskVisibleTo(rows, row, userId); }, insert,
        elapsedMs);
    TaskListFill fill;
    fill.inserted = walk.taken;
    fill.hidden = walk.skipped;
    fill.stopped = walk.stopped;
    if (walk.stopped)
        fill.message = kTooManyTasks;
    return fill;
}

} // namespace bx
