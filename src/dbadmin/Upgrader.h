#pragma once

#include "dbadmin/UpgradeStep.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace bx {

class Database;
class DbError;
class Prompt;
class UpgradeLog;

/**
 * Brings a database up to the program's build, step by step.
 *
 * load() creates table Vars when it is missing and finds the pending steps. run() applies them in
 * order, each in a transaction of its own that also records the step's marker, so that a step is
 * either applied and marked or not applied at all. The first failing step stops the run; the
 * steps before it stay applied, and the next run resumes at the failing one. The database's build
 * number is stamped only after a run in which every pending step succeeded.
 */
class Upgrader
{
public:
    /**
     * @param quiet when true no message is shown (database creation upgrades its new database
     *              itself); the log is written all the same
     */
    using StepList = std::vector<std::unique_ptr<UpgradeStep>>;

    /**
     * @param makeSteps the steps in their order; the program's own by default (tests give others)
     */
    Upgrader(Database& db, Prompt& prompt, UpgradeLog& log, UpgradeContext context,
             bool quiet = false, std::function<StepList()> makeSteps = allUpgradeSteps);
    ~Upgrader();

    /** Creates Vars when missing and collects the pending steps. @throws DbError */
    void load();
    bool isLoaded() const { return m_loaded; }

    /** The steps still to run, in order (after load()). */
    std::vector<const UpgradeStep*> pending() const;

    /**
     * Applies the pending steps and, when all succeeded, stamps the build number. Reports
     * "The Database has been updated." or "The Database hasn't been updated." unless quiet.
     * Does nothing and returns false before load().
     *
     * @param applied called with each step's name once it is applied and marked
     * @return true when every pending step succeeded
     */
    bool run(const std::function<void(const QString& name)>& applied = {});

    /** "Error: " + number + "; " + description of the step that stopped the last run. */
    const QString& lastError() const { return m_lastError; }

private:
    bool runStep(UpgradeStep& step);
    /** Keeps the error as lastError(), logs it and, unless quiet, shows it. */
    void report(const DbError& e);
    QString stamp() const;

    Database& m_db;
    Prompt& m_prompt;
    UpgradeLog& m_log;
    UpgradeContext m_context;
    bool m_quiet;
    std::function<StepList()> m_makeSteps;
    bool m_loaded = false;
    StepList m_steps;
    QString m_lastError;
};

} // namespace bx
