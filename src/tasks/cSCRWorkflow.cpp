// Moving a task on: routing, lifecycle stages, workflow actions and the sub-task cascade.

#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/db/Database.h"
#include "core/schema/TaskEvents.h"
#include "tasks/cSCR.h"
#include "tasks/cSCRInternal.h"
#include "workflow/Checklists.h"
#include "workflow/NewOwner.h"
#include "workflow/StageRule.h"

namespace bx {

using task_detail::TaskFault;
using task_detail::toSeconds;
using task_detail::WorkflowAction;

namespace {

QString subtaskChangedMessage(const QString& title)
{
    return QStringLiteral("Subtask \"") + title +
           QStringLiteral("\" was changed in the meantime and was left as it is.");
}

using Action = WorkflowAction;

Action actionOf(const QString& word)
{
    static const std::pair<const char*, Action> words[] = {
        {"YES", Action::Yes},       {"NO", Action::No},
        {"Jump", Action::Jump},     {"Reopen", Action::Reopen},
        {"Cancel", Action::Cancel}, {"CONDITIONAL", Action::Conditional},
        {"LCEnd", Action::LCEnd},
    };
    for (const auto& [text, action] : words) {
        if (sameText(word, QString::fromLatin1(text)))
            return action;
    }
    return Action::Unknown;
}

} // namespace

// ---- Routing ------------------------------------------------------------------------------------

bool cSCR::Route_SCR(const QList<cSelUser>& recipients, const QString& note, RouteFrom from)
{
    if (!m_opened) {
        reportError(QStringLiteral(" The task is not opened "));
        return false;
    }
    if (recipients.isEmpty()) {
        reportError(QStringLiteral("Please specify recipient"));
        return false;
    }
    const cSelUser first = recipients.first();
    bool saved = false;
    if (first.OwnerType == OwnerType::Lifecycle) {
        saved = guarded(
            [&] {
                if (!SavePlugIn(true) || !enterLifecycle(first.User_ID, first.Group_id, note))
                    return false;
                m_users = {first};
                return true;
            },
            [this] { writeTask(); });
    } else {
        saved = guarded(
            [&] {
                if (!SavePlugIn(true))
                    return false;
                routeToOwner(first, note, from);
                return true;
            },
            [&] {
                for (qsizetype i = 1; i < recipients.size(); ++i)
                    cloneFor(recipients.at(i).User_ID, recipients.at(i).Group_id);
                writeTask();
            });
        m_routedKind.reset();
    }
    // A successful save has emptied UsersCol; a failed one leaves the caller's recipients.
    if (saved && m_plugIn)
        m_plugIn->setProperty(QStringLiteral("ACTION"), QStringLiteral("CANCEL"));
    computePermissions();
    return saved;
}

void cSCR::routeToOwner(const cSelUser& first, const QString& note, RouteFrom from)
{
    const bool dropped = from == RouteFrom::Drop;
    const bool wholeWorkshop = dropped && first.OwnerType == OwnerType::Workshop;
    const QString owner = wholeWorkshop ? QString::number(first.Group_id) : first.User_ID;
    for (const auto& [column, value] : newOwnerColumns(owner, first.Group_id))
        set(column, value);
    set(scr::RouteNote, note);
    queueHistory(dropped ? events::kRoute : events::kTaskRouted, note);
    if (wholeWorkshop)
        m_history.last().ownerUser.clear();
    if (dropped)
        m_routedKind = wholeWorkshop ? OwnerType::Workshop : OwnerType::User;
    m_users = {{owner, first.Group_id, first.OwnerType}};
}

// ---- Lifecycles ---------------------------------------------------------------------------------

StageOwner cSCR::requester() const
{
    if (m_new)
        return {m_session.user.userId, m_session.currentWorkshopId};
    return {SCR_Request_ID(), SCR_Request_Group_ID()};
}

StageOwner cSCR::runRule(const LifecycleStage& ruleStage, const StageOwner& proposed,
                         QString* targetStage)
{
    RuleInput in;
    in.currentOwner = SCR_Owner_User_ID();
    in.currentGroup = SCR_Group_ID();
    in.proposedOwner = proposed.userId;
    in.proposedGroup = proposed.groupId;
    in.serverFlag = m_session.connection.serverFlag;
    for (const TaskColumn& c : taskColumns())
        in.row.insert(c.name, storedValue(c.name));

    // The script's writes belong to the operation: they commit with it or not at all. A script
    // may write the task's own row through BXDB; that write is this operation's, not another
    // client's, so the version it leaves becomes the one the object compares with, provided the
    // row was still as read when the script began.
    joinTransaction();
    Database& db = m_session.db();
    const auto storedVersion = [&] {
        return db
            .scalar(
                QStringLiteral("SELECT %1 FROM SCR WHERE %2 = ?").arg(scr::RowVersion, scr::Number),
                {SCR_Number()})
            .toLongLong();
    };
    const qlonglong seen = num(scr::RowVersion);
    const bool asRead = !m_new && storedVersion() == seen;

    const RuleOutcome out = StageRule::run(db, ruleStage.ruleName, in);
    if (!out.ok())
        reportError(out.error);
    if (asRead) {
        const qlonglong after = storedVersion();
        m_values.insert(scr::RowVersion, after);
        m_snapshot.insert(scr::RowVersion, after);
    }

    // What the script wrote into the task row is kept, as if typed into the task.
    for (auto it = out.row.cbegin(); it != out.row.cend(); ++it) {
        const TaskColumn* c = findTaskColumn(it.key());
        if (!c || c->readOnly || sameValue(c->kind, it.value(), in.row.value(it.key())))
            continue;
        QVariant v = normalised(c->kind, it.value());
        if (c->kind == ColumnKind::Date)
            v = m_gmt.toLocal(v.toDateTime());
        m_values.insert(c->name, v);
    }
    if (targetStage)
        *targetStage = out.targetStage;
    return {out.newOwner, out.newGroup};
}

bool cSCR::enterLifecycle(const QString& lifecycleId, qlonglong ownerGroup, const QString& note)
{
    const QList<LifecycleStage> stages =
        lifecycleStages(m_session.db(), lifecycleId.trimmed(), ownerGroup);
    const std::optional<LifecycleStage> first = stageAt(stages, 0);
    if (!first)
        return false;

    const StageOwner candidate = proposedOwner(*first, requester());
    const StageOwner owner = first->received && !first->ruleName.trimmed().isEmpty()
                                 ? runRule(*first, candidate, nullptr)
                                 : candidate;
    set(scr::OwnerUserId, owner.userId);
    set(scr::GroupId, owner.groupId);
    set(scr::LifecycleId, first->lifecycleId);
    set(scr::LcOwnerGroupId, ownerGroup);
    set(scr::LcOwnerId, first->designer);
    set(scr::LcStageName, first->stageName);
    set(scr::OwnerDateViewed, QDateTime());
    set(scr::RouteNote, note);
    queueHistory(events::kTaskRouted, note);
    return true;
}

void cSCR::MoveStage(int offset, const QString& action)
{
    const QList<LifecycleStage> stages =
        lifecycleStages(m_session.db(), SCR_Lifecycle_ID(), SCR_LC_Owner_Group_ID());
    const std::optional<LifecycleStage> current = findStage(stages, SCR_LC_Stage_Name());
    if (!current) {
        const QString name = SCR_LC_Stage_Name();
        set(scr::LifecycleId, QString());
        set(scr::LcStageName, QString());
        set(scr::LcOwnerId, QString());
        m_prompt.inform(QStringLiteral("Lifecycle Stage ") + name + QStringLiteral(" not found"));
        return;
    }

    const int position = current->sequence + offset;
    if (position < 0) {
        // Declined before the first stage: back to the requester, out of the lifecycle.
        set(scr::OwnerUserId, SCR_Request_ID());
        set(scr::GroupId, SCR_Request_Group_ID());
        set(scr::LcOwnerId, QString());
        set(scr::LcOwnerGroupId, 0);
        set(scr::LcStageName, QString());
        set(scr::LifecycleId, QString());
        return;
    }
    const std::optional<LifecycleStage> next = stageAt(stages, position);
    if (!next) {
        // Past the last stage: done, with the last owner keeping it.
        set(scr::Status, statusCode(TaskStatus::Complete));
        return;
    }

    StageOwner owner = proposedOwner(*next, {SCR_Request_ID(), SCR_Request_Group_ID()});
    LifecycleStage target = *next;
    const bool runsRule = !current->ruleName.trimmed().isEmpty() &&
                          ((sameText(action, QStringLiteral("YES")) && current->approved) ||
                           (sameText(action, QStringLiteral("NO")) && current->declined));
    if (runsRule) {
        QString named;
        owner = runRule(*current, owner, &named);
        if (!named.trimmed().isEmpty()) {
            // A stage the lifecycle lacks would strand the task; the script's choice is then
            // dropped and the task goes on to the next stage.
            if (const std::optional<LifecycleStage> chosen = findStage(stages, named))
                target = *chosen;
            else
                m_session.errorLog().write(
                    QStringLiteral("Rule ") + current->ruleName,
                    QStringLiteral("Stage '%1' not found in lifecycle '%2'; the task goes to '%3'")
                        .arg(named, SCR_Lifecycle_ID(), next->stageName));
        }
    }
    set(scr::OwnerUserId, owner.userId);
    set(scr::GroupId, owner.groupId);
    set(scr::LcOwnerGroupId, target.ownerGroupId);
    m_values.insert(scr::OwnerDateIn, toSeconds(m_session.clock().nowLocal()));
    set(scr::LcStageName, target.stageName);
    set(scr::ParentFolderNumber, 0);
    set(scr::OwnerDateViewed, QDateTime());
}

void cSCR::endLifecycle(const QString& note)
{
    Database& db = m_session.db();
    const QList<LifecycleStage> stages =
        lifecycleStages(db, SCR_Lifecycle_ID(), SCR_LC_Owner_Group_ID());
    const std::optional<LifecycleStage> current = findStage(stages, SCR_LC_Stage_Name());
    if (!current)
        throw TaskFault{QStringLiteral("Lifecycle Stage ") + SCR_LC_Stage_Name() +
                        QStringLiteral(" not found")};

    const StageOwner asker{SCR_Request_ID(), SCR_Request_Group_ID()};
    for (const LifecycleStage& stage : stages) {
        if (stage.sequence < current->sequence)
            continue;
        const StageOwner owner = proposedOwner(stage, asker);
        signStageActions(db, stage, SCR_Number(), m_session.user.userId);
        set(scr::LcStageName, stage.stageName);
        set(scr::LcOwnerGroupId, stage.ownerGroupId);
        set(scr::OwnerUserId, owner.userId);
        set(scr::GroupId, owner.groupId);
        queueHistory(QStringLiteral("YES"), note);
    }
    m_values.insert(scr::OwnerDateIn, toSeconds(m_session.clock().nowLocal()));
    set(scr::OwnerDateViewed, QDateTime());
    // Accepting the last stage completes the task.
    set(scr::Status, statusCode(TaskStatus::Complete));
}

// ---- Workflow actions ---------------------------------------------------------------------------

void cSCR::refuseUncheckedMandatoryItem()
{
    const QString unticked = uncheckedMandatoryItem(m_session.db(), SCR_Number());
    if (!unticked.isEmpty())
        throw TaskFault{unticked};
}

bool cSCR::applyAction(WorkflowAction what, const QString& action, int step, QString& recorded)
{
    const bool inLifecycle = !SCR_Lifecycle_ID().trimmed().isEmpty();
    switch (what) {
    case Action::Yes: {
        refuseUncheckedMandatoryItem();
        set(scr::Status,
            inLifecycle ? statusCode(TaskStatus::Active) : statusCode(TaskStatus::Complete));
        if (inLifecycle)
            MoveStage(1, action);
        return true;
    }
    case Action::No:
        if (inLifecycle)
            MoveStage(-1, action);
        else
            set(scr::Status, statusCode(TaskStatus::Incomplete));
        return true;
    case Action::Jump:
        recorded = step < 1 ? QStringLiteral("Jump") : QStringLiteral("YES");
        // A forward jump accepts the stages it passes; without a lifecycle it completes the task.
        if (!inLifecycle || step >= 1)
            refuseUncheckedMandatoryItem();
        if (inLifecycle)
            MoveStage(step, action);
        else
            set(scr::Status, statusCode(TaskStatus::Complete));
        return true;
    case Action::Reopen:
        if (!hasStatus(SCR_Status(), TaskStatus::Complete))
            return false;
        set(scr::Status, statusCode(TaskStatus::Active));
        return true;
    case Action::Cancel:
        set(scr::Status, statusCode(TaskStatus::Cancel));
        return true;
    case Action::Conditional:
        return true;
    case Action::LCEnd:
        // The stages are walked when the task is written; every remaining stage's "YES" follows
        // this entry, and the task ends complete.
        refuseUncheckedMandatoryItem();
        return true;
    case Action::Unknown:
        break;
    }
    return false;
}

bool cSCR::CloseOut(const QString& action, int step, const QString& note)
{
    if (!m_opened) {
        reportError(QStringLiteral(" The task is not opened "));
        return false;
    }
    const Action what = actionOf(action);
    if (what == Action::Unknown) {
        reportError(QStringLiteral("Unknown action '%1'").arg(action));
        return false;
    }
    QString recorded = action;
    const auto prepare = [&] {
        if (!applyAction(what, action, step, recorded))
            return false;
        // Recorded with the task as the action left it, so the next route row names the owner
        // the task went to.
        queueHistory(recorded, note);
        return SavePlugIn(true);
    };
    const auto write = [&] {
        if (what == Action::LCEnd)
            endLifecycle(note);
        writeTask();
    };
    if (!guarded(prepare, write))
        return false;
    if (what == Action::LCEnd)
        return true;
    set(scr::RouteNote, note);
    cascadeToSubTasks(SCR_Number(), recorded, note);
    return true;
}

void cSCR::cascadeToSubTasks(qlonglong number, const QString& action, const QString& note)
{
    const bool reopened = actionOf(action) == Action::Reopen;
    QString from;
    QString to;
    QString question;
    if (reopened && hasStatus(SCR_Status(), TaskStatus::Active)) {
        from = statusCode(TaskStatus::Complete);
        to = statusCode(TaskStatus::Active);
        question = QStringLiteral("ReOpen Subtasks for the task ");
    } else if (!reopened && hasStatus(SCR_Status(), TaskStatus::Complete)) {
        from = statusCode(TaskStatus::Active);
        to = statusCode(TaskStatus::Complete);
        question = QStringLiteral("Close Subtasks for the task ");
    } else {
        return;
    }

    // Only direct children follow; their own sub-tasks change when they are closed themselves.
    Database& db = m_session.db();
    try {
        RecordSet subs =
            db.query(QStringLiteral("SELECT %1 FROM SCR WHERE %2 = ? AND %3 = ? ORDER BY %4")
                         .arg(scr::columnList({scr::Number, scr::Title, scr::LcStageName,
                                               scr::OwnerTargetDate, scr::OwnerUserId, scr::GroupId,
                                               scr::RowVersion}),
                              scr::ParentNumber, scr::Status, scr::Number),
                     {number, from});
        if (subs.isEmpty() ||
            m_prompt.ask(question + SCR_Title() + QStringLiteral("?"), QString(),
                         PromptButtons::YesNo, PromptIcon::Question) != PromptAnswer::Yes)
            return;
        const QDateTime today =
            m_gmt.toGmt(naive(m_session.clock().nowLocal().date(), QTime(0, 0)));
        Transaction tx(db);
        QStringList leftAlone;
        for (subs.moveFirst(); !subs.eof(); subs.moveNext()) {
            RouteHistoryEntry e;
            e.taskNumber = subs.number(scr::Number);
            e.action = action;
            e.stageName = subs.text(scr::LcStageName);
            e.targetDate = subs.dateTime(scr::OwnerTargetDate);
            e.ownerUser = subs.text(scr::OwnerUserId);
            e.groupId = subs.number(scr::GroupId);
            e.comment = note;
            // A sub-task changed since the question was asked is left as its writer left it.
            if (db.execute(QStringLiteral("UPDATE SCR SET %1 = ? WHERE %2 = ? AND %3 = ?")
                               .arg(scr::Status, scr::Number, scr::RowVersion),
                           {to, e.taskNumber, subs.number(scr::RowVersion)}) == 0) {
                leftAlone << subs.text(scr::Title);
                continue;
            }
            RecordRoute(db, e, today, m_session.user.userId, m_session.taskNotifier);
        }
        tx.commit();
        for (const QString& title : std::as_const(leftAlone))
            m_prompt.inform(subtaskChangedMessage(title), {}, PromptIcon::Warning);
    } catch (const DbError& e) {
        reportError(e.description());
    }
}

} // namespace bx
