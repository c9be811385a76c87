#include "workflow/RuleStore.h"

#include "core/Session.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "tasks/LookupLists.h"

namespace bx {

namespace {

/**
 * The task row as the task object hands it to a rule: every column it carries, in its type,
 * dates as stored (GMT), a workshop reference of 0 as Null.
 */
QVariantMap taskRow(const RecordSet& rs)
{
    QVariantMap row;
    for (const TaskColumn& c : taskColumns()) {
        QVariant v;
        if (c.kind == ColumnKind::Date) {
            const QDateTime dt = rs.dateTime(c.name);
            v = dt.isValid() ? QVariant(dt) : QVariant();
        } else {
            v = normalised(c.kind, rs.value(c.name));
        }
        if ((c.name == scr::LcOwnerGroupId || c.name == scr::RequestGroupId) && v.toLongLong() == 0)
            v = QVariant();
        row.insert(c.name, v);
    }
    return row;
}

} // namespace

QString RuleTrial::report() const
{
    QStringList lines;
    if (!outcome.ok()) {
        lines << outcome.error;
    } else {
        lines << QStringLiteral("Task %1").arg(taskNumber);
        lines << QStringLiteral("New owner: %1").arg(outcome.newOwner);
        lines << QStringLiteral("New group: %1").arg(outcome.newGroup);
        lines << (outcome.targetStage.isEmpty()
                      ? QStringLiteral("Target stage: (the next stage)")
                      : QStringLiteral("Target stage: %1").arg(outcome.targetStage));
        if (!outcome.ran)
            lines << QStringLiteral("SCRMain was not called.");
        if (!changedColumns.isEmpty())
            lines << QStringLiteral("Task columns set: %1").arg(changedColumns.join(u", "));
    }
    lines << QStringLiteral("Trial run only: nothing was saved.");
    return lines.join(u'\n');
}

RuleStore::RuleStore(Session& session)
    : m_session(session)
{
}

std::optional<RuleRecord> RuleStore::load(const QString& name)
{
    Database& db = m_session.db();
    const RecordSet rs = db.query(QStringLiteral("SELECT RULE_NAME, SCRIPT FROM LU_RULES WHERE ") +
                                      db.dialect().textEquals(QStringLiteral("RULE_NAME")),
                                  {name.trimmed()});
    if (rs.isEmpty())
        return std::nullopt;
    return RuleRecord{rs.text(QStringLiteral("RULE_NAME")), rs.text(QStringLiteral("SCRIPT"))};
}

Outcome<Done, RuleField> RuleStore::save(const QString& originalName, const QString& name,
                                         const QString& script)
{
    using Refusal = RefusalOf<RuleField>;
    if (auto refusal =
            UserRights::refuseUnlessAdministrator(m_session.user.record, RuleField::None))
        return *refusal;
    const QString newName = name.trimmed();
    if (newName.isEmpty())
        return Refusal{QStringLiteral("Please specify Rule Name"), RuleField::Name};
    if (script.trimmed().isEmpty())
        return Refusal{QStringLiteral("Please specify Rule Script"), RuleField::Script};

    const QString oldName = originalName.trimmed();
    // RULE_NAME compares without regard to case on both engines, so a rule renamed only in its
    // letter case finds itself and is not a clash.
    const bool sameRule = !oldName.isEmpty() && oldName.compare(newName, Qt::CaseInsensitive) == 0;
    Database& db = m_session.db();
    Transaction tx(db);
    if (!sameRule && !db.query(QStringLiteral("SELECT RULE_NAME FROM LU_RULES WHERE ") +
                                   db.dialect().textEquals(QStringLiteral("RULE_NAME")),
                               {newName})
                          .isEmpty())
        return Refusal{QStringLiteral("Value '") + newName + QStringLiteral("' already exists."),
                       RuleField::Name};
    qlonglong changed = 0;
    if (!oldName.isEmpty())
        changed = db.execute(
            QStringLiteral("UPDATE LU_RULES SET RULE_NAME = ?, SCRIPT = ? WHERE RULE_NAME = ?"),
            {newName, script, oldName});
    if (changed == 0)
        db.execute(QStringLiteral("INSERT INTO LU_RULES (RULE_NAME, SCRIPT) VALUES (?, ?)"),
                   {newName, script});
    else if (!sameRule)
        renameReferences(db, LookupKind::Rule, oldName, newName);
    tx.commit();
    return Done{};
}

Outcome<qlonglong> RuleStore::parseTaskNumber(const QString& text)
{
    bool ok = false;
    const qlonglong n = text.trimmed().toLongLong(&ok);
    if (!ok || n <= 0)
        return RefusalOf<>{QStringLiteral("Please enter a task number")};
    return n;
}

Outcome<RuleTrial> RuleStore::trial(const QString& script, qlonglong taskNumber,
                                    const TrialOwner& proposed, const QString& ruleName)
{
    Database& db = m_session.db();
    const RecordSet rs =
        db.query(QStringLiteral("SELECT * FROM SCR WHERE %1 = ?").arg(scr::Number), {taskNumber});
    if (rs.isEmpty())
        return RefusalOf<>{QStringLiteral("Task %1 does not exist").arg(taskNumber)};
    RuleTrial t;
    t.taskNumber = taskNumber;
    t.currentOwner = rs.text(scr::OwnerUserId);
    t.currentGroup = rs.number(scr::GroupId);
    t.proposedOwner = proposed.owner.value_or(t.currentOwner).trimmed();
    t.proposedGroup = proposed.group.value_or(t.currentGroup);

    RuleInput in;
    in.currentOwner = t.currentOwner;
    in.currentGroup = t.currentGroup;
    in.proposedOwner = t.proposedOwner;
    in.proposedGroup = t.proposedGroup;
    in.row = taskRow(rs);
    in.serverFlag = m_session.connection.serverFlag;
    {
        // Never committed: whatever the script writes through BXDB is undone here.
        Transaction tx(db);
        t.outcome = StageRule::runScript(db, script, in, ruleName.trimmed());
    }
    for (auto it = t.outcome.row.cbegin(); it != t.outcome.row.cend(); ++it) {
        if (it.value() != in.row.value(it.key()))
            t.changedColumns << it.key();
    }
    return t;
}

} // namespace bx
