#pragma once

#include "core/Refusal.h"
#include "workflow/StageRule.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

class Session;

/** The box of the rule editor a refusal puts the focus on. */
enum class RuleField
{
    None, ///< no box: the refusal concerns no input
    Name,
    Script
};

/** One row of LU_RULES. */
struct RuleRecord
{
    QString name;   ///< RULE_NAME as stored
    QString script; ///< SCRIPT
};

/** The owner a trial run proposes; an unset field takes the task's own value. */
struct TrialOwner
{
    std::optional<QString> owner;
    std::optional<qlonglong> group;
};

/** What a trial run of a rule script against a task gave. */
struct RuleTrial
{
    qlonglong taskNumber = 0;
    QString currentOwner;     ///< the task's SCR_Owner_User_ID
    qlonglong currentGroup{}; ///< the task's SCR_Group_ID
    QString proposedOwner;
    qlonglong proposedGroup{};
    RuleOutcome outcome;
    QStringList changedColumns; ///< task columns the script assigned through RS_SCR, by name

    /** The result as the rule editor shows it: owner, group, stage, changed columns or error. */
    QString report() const;
};

/**
 * The rule editor's logic (window `Rules`): reading, saving and trying out the named scripts of
 * LU_RULES that lifecycle stages run. Refusals are returned; every method that reads or writes
 * throws DbError.
 */
class RuleStore
{
public:
    explicit RuleStore(Session& session);

    /** The rule of that name (compared without regard to case), or nothing when there is none. */
    std::optional<RuleRecord> load(const QString& name);

    /**
     * The editor's OK. Refused first unless the user is an administrator
     * (UserRights::kNotAdministrator). The trimmed name is required ("Please specify Rule Name"),
     * then the trimmed script ("Please specify Rule Script"). A new rule (`originalName` empty) and
     * a renamed one must not take a name another rule has in any letter case ("Value '" + name + "'
     * already exists."). A new rule is added; an edited one is rewritten, or added again when it
     * was deleted meanwhile.
     *
     * Done when the rule was written.
     */
    Outcome<Done, RuleField> save(const QString& originalName, const QString& name,
                                  const QString& script);

    /**
     * The task number typed for a trial run: a positive whole number, or refused with
     * "Please enter a task number".
     */
    static Outcome<qlonglong> parseTaskNumber(const QString& text);

    /**
     * Runs `script` as the stage rule would against task `taskNumber`, inside a transaction that
     * is always rolled back, so nothing the script writes through BXDB stays, and the task row is
     * not saved. Current owner and group are the task's; the proposed ones default to them.
     * A task that does not exist is refused ("Task " + number + " does not exist"). A script
     * error is part of the result, not shown here.
     */
    Outcome<RuleTrial> trial(const QString& script, qlonglong taskNumber,
                             const TrialOwner& proposed = {}, const QString& ruleName = {});

private:
    Session& m_session;
};

} // namespace bx
