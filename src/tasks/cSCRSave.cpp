// Writing a task: save, history, plug-in read-back, clones and their attachments.

#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/db/Database.h"
#include "core/schema/TaskEvents.h"
#include "core/settings/Vars.h"
#include "tasks/AttachmentTransfer.h"
#include "tasks/Attachments.h"
#include "tasks/ChangedElsewhere.h"
#include "tasks/cSCR.h"
#include "tasks/cSCRInternal.h"
#include "workflow/NewOwner.h"

#include <optional>
#include <utility>

namespace bx {

using task_detail::TaskFault;
using task_detail::toSeconds;

namespace {

/** The carried columns that a kind of write takes, in schema order. */
QStringList columnsWritten(TaskColumnWrite write)
{
    QStringList columns;
    for (const TaskColumn& c : taskColumns()) {
        if (c.writes & write)
            columns << c.name;
    }
    return columns;
}

/** The history tests of a save, in the order their entries are queued (after the dates). */
struct ChangeTest
{
    scr::Column column;
    const char* action;
};
constexpr ChangeTest kFieldTests[] = {
    {scr::Title, "Title changed"},
    {scr::Comments, "Comments changed"},
    {scr::Priority, "Priority changed"},
    {scr::ContactKey, "Contact Key changed"},
    {scr::Category, "Folder changed"},
    {scr::Template, "Template changed"},
    {scr::Sensitive, "Sensitivity changed"},
    {scr::PercentComplete, "Percent Complete changed"},
    {scr::FirmTargetDate, "Firm Target changed"},
    {scr::RecurringFrequency, "Recurring Frequency changed"},
    {scr::CustomField, "Custom Field changed"},
};

/** A plug-in value that holds a date, or an invalid date. */
QDateTime plugInDate(const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return {};
    if (v.typeId() == QMetaType::QDate)
        return v.toDate().isValid() ? naive(v.toDate(), QTime(0, 0)) : QDateTime();
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().isValid() ? naive(v.toDateTime()) : QDateTime();
    return RecordSet::toDateTime(v);
}

} // namespace

// ---- Undo on failure ----------------------------------------------------------------------------

cSCR::State cSCR::state() const
{
    return {m_values, m_snapshot, m_history,    m_users,
            m_new,    m_saved,    m_rowPending, m_plugInReadBack};
}

void cSCR::restore(const State& s)
{
    m_values = s.values;
    m_snapshot = s.snapshot;
    m_history = s.history;
    m_users = s.users;
    m_new = s.isNew;
    m_saved = s.saved;
    m_rowPending = s.rowPending;
    m_plugInReadBack = s.plugInReadBack;
    computePermissions();
}

bool cSCR::guarded(const std::function<bool()>& prepare, const std::function<void()>& write)
{
    const State before = state();
    m_changedElsewhere.clear();
    std::optional<Transaction> tx;
    std::optional<Transaction>* const outer = std::exchange(m_operationTx, &tx);
    bool done = false;
    std::optional<QString> failure;
    std::optional<QString> refused;
    try {
        if (prepare()) {
            joinTransaction();
            write();
            tx->commit();
            done = true;
        }
    } catch (const TaskChangedElsewhere& changed) {
        // Not an error: the user is told, and nothing is logged.
        refused = changed.message;
    } catch (const DbError& e) {
        failure = e.description();
    } catch (const TaskFault& f) {
        failure = f.text;
    } catch (const std::exception& e) {
        // A notice service or a script host failing: the same undo, its own text.
        failure = QString::fromLocal8Bit(e.what());
    }
    tx.reset(); // rolls back unless committed, before anything is shown
    m_operationTx = outer;
    if (!m_operationTx) {
        const QStringList held = std::exchange(m_heldErrors, {});
        for (const QString& text : held)
            showTaskError(m_prompt, text);
    }
    if (!done)
        restore(before);
    if (refused) {
        m_changedElsewhere = *refused;
        if (m_showsChangedElsewhere)
            m_prompt.inform(*refused, {}, PromptIcon::Warning);
    }
    if (failure)
        reportError(*failure);
    return done;
}

void cSCR::joinTransaction()
{
    if (m_operationTx && !*m_operationTx)
        m_operationTx->emplace(m_session.db());
}

// ---- Save ---------------------------------------------------------------------------------------

bool cSCR::SAVE()
{
    if (!m_opened) {
        reportError(QStringLiteral(" The task is not opened "));
        return false;
    }
    if (!SavePlugIn(true))
        return false;
    return guarded([this] { writeTask(); });
}

void cSCR::writeTask()
{
    Database& db = m_session.db();
    m_recorded.reset();
    if (m_users.isEmpty())
        m_users.append({SCR_Owner_User_ID(), SCR_Group_ID(), OwnerType::User});
    const cSelUser first = m_users.first();
    if (first.OwnerType != OwnerType::Lifecycle) {
        set(scr::OwnerUserId, first.User_ID);
        set(scr::GroupId, first.Group_id);
    }
    if (SCR_Category().trimmed().isEmpty())
        set(scr::Category, workshopRootFolder(db, SCR_Group_ID()));

    if (m_new) {
        writeNewRow(db);
    } else {
        writeExistingRow(db);
        recordQueued(db);
    }
    rereadWritten(db);
    m_saved = true;
    m_users.clear();
    m_history.clear();
    takeSnapshot();
    computePermissions();
}

void cSCR::writeExistingRow(Database& db)
{
    static const QStringList written = columnsWritten(kWrittenLater);
    QStringList columns = written;
    // Routing and stage moves change these two; the row must follow, or the new owner would see
    // the task as already read.
    for (const QString column : {scr::OwnerDateIn, scr::OwnerDateViewed}) {
        if (!sameValue(ColumnKind::Date, m_values.value(column), m_snapshot.value(column)))
            columns << column;
    }
    QStringList assignments;
    QVariantList values;
    for (const QString& c : columns) {
        assignments << c + QStringLiteral(" = ?");
        values << storedValue(c);
    }
    const QString owner = scr::OwnerUserId;
    if (m_routedKind) {
        assignments << scr::OwnerType + QStringLiteral(" = ?");
        values << static_cast<int>(*m_routedKind);
    } else if (!sameValue(ColumnKind::Text, m_values.value(owner), m_snapshot.value(owner))) {
        const auto [kindColumn, kindValue] = ownerKindOfEditorRoute();
        assignments << QStringLiteral("%1 = ?").arg(kindColumn);
        values << kindValue;
    }
    // Only the row as this object read it is written; a row another client changed since is
    // left as it is and the save refused.
    const TaskSeen seen{m_snapshot.value(scr::RowVersion).toLongLong(),
                        m_snapshot.value(scr::RouteNumber).toLongLong()};
    assignments << scr::RaiseRowVersion;
    values << SCR_Number() << seen.version;
    const qlonglong changed =
        db.execute(QStringLiteral("UPDATE SCR SET ") + assignments.join(QStringLiteral(", ")) +
                       QStringLiteral(" WHERE %1 = ? AND %2 = ?").arg(scr::Number, scr::RowVersion),
                   values);
    if (changed == 1)
        return;
    if (db.query(QStringLiteral("SELECT %1 FROM SCR WHERE %1 = ?").arg(scr::Number), {SCR_Number()})
            .isEmpty())
        throw TaskFault{QStringLiteral(" Task %1 does not exist ").arg(SCR_Number())};
    throw bx::changedElsewhere(db, SCR_Number(), seen);
}

void cSCR::rereadWritten(Database& db)
{
    // Inside the write's transaction the row is this object's until the commit, so what the
    // history's last write of the row left, or else what is read here, is what the next write of
    // the object must find.
    if (m_recorded) {
        m_values.insert(scr::RowVersion, m_recorded->rowVersion);
        m_values.insert(scr::RouteNumber, m_recorded->routeNumber);
        return;
    }
    const RecordSet row = db.query(QStringLiteral("SELECT %1, %2 FROM SCR WHERE %3 = ?")
                                       .arg(scr::RowVersion, scr::RouteNumber, scr::Number),
                                   {SCR_Number()});
    if (row.isEmpty())
        throw TaskFault{QStringLiteral(" Task %1 does not exist ").arg(SCR_Number())};
    const TaskSeen written = taskSeenIn(row);
    m_values.insert(scr::RowVersion, written.version);
    m_values.insert(scr::RouteNumber, written.routeNumber);
}

void cSCR::writeNewRow(Database& db)
{
    const QDateTime now = toSeconds(m_session.clock().nowLocal());
    m_values.insert(scr::RequestDate, now);
    m_values.insert(scr::OwnerDateIn, now);
    set(scr::RouteNote, QString());
    if (m_taskType == TaskType::Meeting)
        set(scr::MeetingId, SCR_Number());
    // A task made for someone else reaches its owner unread.
    if (!ownerIsMe())
        set(scr::OwnerDateViewed, QDateTime());

    static const QStringList columns = columnsWritten(kWrittenFirst);
    QStringList assignments;
    QVariantList values;
    for (const QString& c : columns) {
        assignments << c + QStringLiteral(" = ?");
        values << storedValue(c);
    }
    assignments << scr::RaiseRowVersion;
    values << num(scr::Counter);
    const qlonglong changed =
        db.execute(QStringLiteral("UPDATE SCR SET ") + assignments.join(QStringLiteral(", ")) +
                       QStringLiteral(" WHERE %1 = ?").arg(scr::Counter),
                   values);
    if (changed == 0)
        throw TaskFault{QStringLiteral(" Task %1 does not exist ").arg(SCR_Number())};

    const cSelUser first = m_users.first();
    if (first.OwnerType != OwnerType::Lifecycle)
        rememberDefaultAssignment(db);

    if (m_createNote.isEmpty())
        m_createNote = events::kCreateRequest;
    m_history.prepend(historyEntry(m_createNote, QString()));
    recordQueued(db);

    const QList<cSelUser> recipients = m_users;
    for (qsizetype i = 1; i < recipients.size(); ++i)
        cloneFor(recipients.at(i).User_ID, recipients.at(i).Group_id);
    m_new = false;
    m_rowPending = false;
}

void cSCR::recordQueued(Database& db)
{
    m_recorded.reset();
    for (const RouteHistoryEntry& e : std::as_const(m_history)) {
        if (e.action.trimmed().isEmpty())
            continue;
        RouteRecorded recorded;
        if (RecordRoute(db, e, toSeconds(m_gmt.nowGmt()), m_session.user.userId,
                        m_session.taskNotifier, &recorded) &&
            e.taskNumber == SCR_Number())
            m_recorded = recorded;
    }
}

void cSCR::rememberDefaultAssignment(Database& db)
{
    // The name is the key of Vars: one row per user, naming the recipient saved last.
    Vars::setValue(db, QStringLiteral("USERS/DEFAULT ASSIGN/") + m_session.user.userId,
                   m_users.last().User_ID);
}

QString cSCR::workshopRootFolder(Database& db, qlonglong group) const
{
    return db.scalar(QStringLiteral("SELECT Root_Folder FROM LU_GROUP WHERE Group_ID = ?"), {group})
        .toString();
}

// ---- History ------------------------------------------------------------------------------------

void cSCR::MakeHistory(const QString& note)
{
    if (m_new)
        return;
    const qsizetype before = m_history.size();
    // A date note the user gives becomes the task's route note; a cancelled one leaves it.
    QString routeNote = note;
    const auto dateNote = [&](std::optional<QString> given) {
        if (given)
            routeNote = *given;
        return given.value_or(QString());
    };
    if (IsLCDateChanged())
        queueHistory(QStringLiteral("LC End Date changed"), note);
    if (IsTargetChanged())
        queueHistory(events::kTargetDateChanged,
                     m_noteForm ? dateNote(m_noteForm->OnTargetChange()) : QString());
    if (IsStartChanged())
        queueHistory(QStringLiteral("Start Date changed"),
                     m_noteForm ? dateNote(m_noteForm->OnStartChange()) : QString());
    for (const ChangeTest& t : kFieldTests) {
        const QString column = t.column;
        const TaskColumn* c = findTaskColumn(column);
        if (!sameValue(c->kind, m_values.value(column), m_snapshot.value(column)))
            queueHistory(QString::fromLatin1(t.action), note);
    }
    if (m_history.size() == before)
        queueHistory(QStringLiteral("Task saved"), note);
    set(scr::RouteNote, routeNote);
}

cSCR::HistoryMark cSCR::historyMark() const
{
    return {m_history.size(), m_values.value(scr::RouteNote)};
}

void cSCR::undoHistory(const HistoryMark& mark)
{
    if (m_history.size() > mark.queued)
        m_history.resize(mark.queued);
    set(scr::RouteNote, mark.routeNote);
}

// ---- Plug-in ------------------------------------------------------------------------------------

bool cSCR::SavePlugIn(bool readBack)
{
    if (!m_plugIn)
        return true;
    m_plugIn->setProperty(QStringLiteral("ACTION"), QStringLiteral("SAVE"));
    if (sameText(m_plugIn->property(QStringLiteral("ACTION")).toString(), QStringLiteral("CANCEL")))
        return false;
    if (readBack && !m_plugInReadBack) {
        set(scr::CustomField, m_plugIn->property(scr::CustomField));
        QDateTime due = plugInDate(m_plugIn->property(scr::OwnerTargetDate));
        if (due.isValid()) {
            if (due.time() == QTime(0, 0))
                due = naive(due.date(), m_session.clock().nowLocal().time());
            set(scr::OwnerTargetDate, due);
        }
    }
    const QDateTime end = plugInDate(m_plugIn->property(scr::LifecycleEndDate));
    if (end.isValid())
        set(scr::LifecycleEndDate, end);
    m_plugInReadBack = true;
    return true;
}

// ---- Clones and attachments ---------------------------------------------------------------------

qlonglong cSCR::CloneSCR(const QString& userId, qlonglong groupId)
{
    if (!m_opened) {
        reportError(QStringLiteral(" The task is not opened "));
        return 0;
    }
    qlonglong number = 0;
    guarded([&] { number = cloneFor(userId, groupId); });
    return number;
}

qlonglong cSCR::cloneFor(const QString& userId, qlonglong groupId)
{
    Database& db = m_session.db();
    cSCR clone(m_session, m_prompt);
    const qlonglong number = clone.createRow(m_taskType);
    // The enclosing transaction takes the row back if anything below fails.
    clone.m_rowPending = false;
    clone.setGroupKey(groupId);
    static const QStringList cloned = columnsWritten(kCloned);
    for (const QString& c : cloned)
        clone.m_values.insert(c, m_values.value(c));
    clone.set(scr::OwnerUserId, userId);
    clone.set(scr::GroupId, groupId);
    clone.setCreateNote(events::kTaskCloned);
    clone.writeTask();
    copyAttachments(db, SCR_Number(), number);
    return number;
}

bool cSCR::SCRCloneAttach(qlonglong from, qlonglong to, QList<qlonglong>* copies)
{
    QList<qlonglong> made;
    if (!guarded([&] { made = copyAttachments(m_session.db(), from, to); }))
        return false;
    if (copies)
        copies->append(made);
    return true;
}

QList<qlonglong> cSCR::copyAttachments(Database& db, qlonglong from, qlonglong to)
{
    static const QStringList copied = {
        QStringLiteral("Attach_Date"),    QStringLiteral("Attach_Filename"),
        QStringLiteral("Attach_Owner"),   QStringLiteral("Attach_Title"),
        QStringLiteral("Attach_Type"),    QStringLiteral("Category"),
        QStringLiteral("Group_ID"),       QStringLiteral("Temp_Status"),
        QStringLiteral("Show_In_TabBar"), QStringLiteral("Publish"),
    };
    // The stored files stay in the engine: only whether there is one is read here.
    RecordSet rows =
        db.query(QStringLiteral("SELECT Attach_Number, ") + copied.join(QStringLiteral(", ")) +
                     QStringLiteral(", CASE WHEN OLE_Data IS NULL THEN 0 ELSE 1 END AS Has_Data "
                                    "FROM ATTACH WHERE %1 = ? ORDER BY Attach_Number")
                         .arg(scr::Number),
                 {from});
    QList<qlonglong> copies;
    for (rows.moveFirst(); !rows.eof(); rows.moveNext()) {
        QStringList columns{scr::Number};
        QVariantList values{to};
        for (const QString& c : copied) {
            if (rows.isNull(c))
                continue;
            columns << c;
            values << rows.value(c);
        }
        const qlonglong source = rows.number(QStringLiteral("Attach_Number"));
        const qlonglong copy = db.insertNumbered(QStringLiteral("ATTACH"),
                                                 QStringLiteral("Attach_Number"), columns, values);
        if (rows.flag(QStringLiteral("Has_Data")))
            db.copyBlob(attachments::dataOf(source), attachments::dataOf(copy));
        // A filled-in custom form keeps its values in CONTROL rows of its own.
        if (sameText(rows.text(QStringLiteral("Attach_Type")), QStringLiteral("X")))
            attachments::copyFormValues(db, source, copy);
        copies.append(copy);
    }
    return copies;
}

bool cSCR::PublishAttach(qlonglong attachNumber, bool publish)
{
    try {
        m_session.db().execute(
            QStringLiteral("UPDATE ATTACH SET Publish = ? WHERE Attach_Number = ? AND %1 = ?")
                .arg(scr::Number),
            {publish, attachNumber, SCR_Number()});
    } catch (const DbError& e) {
        reportError(e.description());
        return false;
    }
    return true;
}

RecordSet cSCR::RS_ATTACH() const
{
    if (!m_opened)
        return {};
    try {
        return m_session.db().query(
            QStringLiteral("SELECT Attach_Number, %1, Attach_Title, Attach_Type, Attach_Owner, "
                           "Attach_Date, Attach_Filename, Publish, Show_In_TabBar, Temp_Status, "
                           "Category, Group_ID FROM ATTACH WHERE %1 = ? ORDER BY Attach_Date DESC")
                .arg(scr::Number),
            {SCR_Number()});
    } catch (const DbError& e) {
        reportError(e.description());
        return {};
    }
}

} // namespace bx
