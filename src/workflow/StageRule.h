#pragma once

#include <QString>
#include <QVariantMap>

#include <chrono>

namespace bx {

class Database;

/** What a stage rule is given: the owners on both sides of the move and the task row. */
struct RuleInput
{
    QString currentOwner;     ///< the task's SCR_Owner_User_ID
    qlonglong currentGroup{}; ///< the task's SCR_Group_ID
    QString proposedOwner;    ///< the owner the next stage names; empty for a workshop
    qlonglong proposedGroup{};
    QVariantMap row;         ///< the SCR row being moved: column name -> value
    bool serverFlag = false; ///< the session's server flag, handed to the script
};

/** What the rule decided. */
struct RuleOutcome
{
    QString targetStage;      ///< stage to send the task to instead of the next one; empty keeps it
    QString newOwner;         ///< trimmed; the proposed owner when the script left it blank
    qlonglong newGroup{};     ///< the group to set with newOwner
    QVariantMap row;          ///< the task row with the script's writes to RS_SCR, ready to save
    bool ran = false;         ///< SCRMain was called
    bool interrupted = false; ///< the script ran past the time limit and was stopped
    QString error;            ///< empty on success; otherwise the text to show (showTaskError)

    bool ok() const { return error.isEmpty(); }
};

/**
 * Runs the rule script of a lifecycle stage (table LU_RULES) in JavaScript.
 *
 * Every run gets a fresh QJSEngine holding only what is installed here, so no state survives
 * between runs and a script reaches neither files nor the network:
 *
 *  - `RS_SCR`: the task row, one read/write property per column. Column names are matched
 *    without regard to case; assigning a column the row does not have throws a TypeError.
 *    Dates appear as text "yyyy-MM-dd HH:mm:ss"; text or a Date written back to a date column
 *    becomes a date again.
 *  - `BXDB.query(sql, ...params)`: an array of row objects (column -> value, names matched
 *    without regard to case); `BXDB.execute(sql, ...params)`: the number of rows changed. Every
 *    param is bound to a "?" marker. Each takes one SELECT, WITH, INSERT, UPDATE or DELETE
 *    statement (Database::queryScripted); anything else is refused. A refusal or a database
 *    error is thrown into the script as an Error carrying the message, so a script may catch
 *    it; the failed statement is undone alone.
 *  - `console` for messages to the program's log.
 *
 * The script's top level runs when it is loaded. When "SCRMain" occurs after the first character
 * of the trimmed script, SCRMain(currentOwner, currentGroup, proposedOwner, proposedGroup,
 * isServer, targetStage, newOwner, newGroup) is called; the last three are objects whose `value`
 * the script may set, holding on entry "", the current owner and the current group.
 * An empty script, or one that never names SCRMain, leaves the proposed owner and group; after a
 * run, a blank new owner also falls back to the proposed owner and group.
 *
 * The script's database writes are all or nothing: they run in a transaction of their own, a
 * savepoint when the caller has one open (the save that runs the rule), and a script that fails
 * leaves none of them. Run inside the caller's transaction, they commit or roll back with it.
 *
 * Errors never escape as exceptions: a syntax or runtime error, a database failure while reading
 * the script, or a script stopped at the time limit is reported in RuleOutcome::error (with the
 * line where the script knows it). The owner, group and stage then hold the values they had at
 * that moment; the caller decides whether to use them.
 *
 * Runs on the calling thread; BXDB uses `db` on that thread, so on the embedded engine the rule
 * shares the save's connection and its write lock. At the time limit a watchdog thread raises
 * the script engine's interrupt flag and stops the statement the script is running
 * (Database::interrupt), so that a runaway query releases its locks. On the embedded engine an
 * interrupted write ends the caller's whole transaction: the caller's later statements then fail
 * and nothing of it is committed.
 */
class StageRule
{
public:
    static constexpr std::chrono::milliseconds kTimeLimit{10000};

    /** The SCRIPT of the named rule, or "" when there is no such rule. Throws DbError. */
    static QString loadScript(Database& db, const QString& ruleName);

    /** Loads the named rule and runs it. */
    static RuleOutcome run(Database& db, const QString& ruleName, const RuleInput& in,
                           std::chrono::milliseconds limit = kTimeLimit);

    /**
     * Runs the given script text; `ruleName` only names it in error texts (the rule editor's
     * trial run passes the name being edited).
     */
    static RuleOutcome runScript(Database& db, const QString& script, const RuleInput& in,
                                 const QString& ruleName = {},
                                 std::chrono::milliseconds limit = kTimeLimit);
};

} // namespace bx
