#pragma once

#include "workflow/StageRule.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

class Prompt;
class Session;

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
 * LU_RULES that lifecycle stages run. Refusals and database errors are shown through the prompt
 * (database errors also logged); no method throws.
 */
class RuleStore
{
public:
    RuleStore(Session& session, Prompt& prompt);

    /** The rule of that name (compared without regard to case), or nothing when there is none. */
    std::optional<RuleRecord> load(const QString& name);

    /**
     * The editor's OK. The trimmed name is required ("Please specify Rule Name"), then the trimmed
     * script ("Please specify Rule Script"). A new rule (`originalName` empty) and a renamed one
     * must not take a name another rule has in any letter case ("Value '" + name + "' already
     * exists."). A new rule is added; an edited one is rewritten, or added again when it was
     * deleted meanwhile.
     *
     * @return true when the rule was written
     */
    bool save(const QString& originalName, const QString& name, const QString& script);

    /**
     * The task number typed for a trial run: a positive whole number, or nothing (with
     * "Please enter a task number" shown).
     */
    std::optional<qlonglong> parseTaskNumber(const QString& text);

    /**
     * Runs `script` as the stage rule would against task `taskNumber`, inside a transaction that
     * is always rolled back, so nothing the script writes through BXDB stays, and the task row is
     * not saved. Current owner and group are the task's; the proposed ones default to them.
     * A task that does not exist is reported ("Task " + number + " does not exist") and gives
     * nothing; so does a database error. A script error is part of the result, not shown here.
     */
    std::optional<RuleTrial> trial(const QString& script, qlonglong taskNumber,
                                   const TrialOwner& proposed = {}, const QString& ruleName = {});

private:
    bool refuse(const QString& text);

    Session& m_session;
    Prompt& m_prompt;
};

} // namespace bx
