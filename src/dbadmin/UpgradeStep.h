#pragma once

#include <QString>

#include <memory>
#include <vector>

namespace bx {

class Clock;
class Database;
class UpgradeLog;

/** What the steps need besides the database. */
struct UpgradeContext
{
    QString programDir; ///< folder of the delivered files ("1.rpx" ... "9.rpx")
    const Clock* clock; ///< the present moment (local), for dates the steps write
};

/**
 * One change of the shared schema, applied once. A step is pending while table Vars has no row
 * "UPGRADE/" + name(); the upgrader adds that row after the step succeeded.
 *
 * execute() runs inside a transaction the upgrader opened, writes each statement to the log
 * before running it, and throws DbError when the step failed (the upgrader rolls back). Errors
 * that the step's policy ignores are caught inside execute().
 */
class UpgradeStep
{
public:
    virtual ~UpgradeStep() = default;

    /** The step's key, e.g. "UpgClass36". */
    virtual QString name() const = 0;
    /** The description shown in the list and the log. */
    virtual QString friendlyName() const = 0;

    /** True while the step still has to run. @throws DbError */
    bool check(Database& db) const;

    /** Applies the step. @throws DbError */
    virtual void execute(Database& db, UpgradeLog& log, const UpgradeContext& context) = 0;

    /** The marker row's name, "UPGRADE/" + name. */
    QString marker() const { return QStringLiteral("UPGRADE/") + name(); }
};

/** Every step, in the fixed order in which they are applied. */
std::vector<std::unique_ptr<UpgradeStep>> allUpgradeSteps();

} // namespace bx
