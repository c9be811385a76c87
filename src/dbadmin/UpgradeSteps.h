#pragma once

#include "dbadmin/StepActions.h"
#include "dbadmin/UpgradeStep.h"

#include <QDateTime>
#include <QList>

namespace bx {

/** What one upgrade step is: its number, its description, its error policy and its work. */
struct StepDefinition
{
    int number; ///< the step is named "UpgClass" + number
    QString friendlyName;
    ErrorPolicy policy;
    void (*body)(StepActions&);
    /**
     * Server engine: the whole step runs with the rights of the login that runs the upgrade (the
     * step that made the roles). Every other step runs as the owner role, and whatever it must do
     * as the server's administrator it does through asServerAdministrator.
     */
    bool asServerAdministrator = false;
};

/** A step made from its definition; the body runs on a StepActions of the step's policy. */
class DefinedStep final : public UpgradeStep
{
public:
    explicit DefinedStep(StepDefinition definition);

    QString name() const override;
    QString friendlyName() const override { return m_definition.friendlyName; }
    void execute(Database& db, UpgradeLog& log, const UpgradeContext& context) override;

private:
    StepDefinition m_definition;
};

// The steps by range, each list in the order of application.
QList<StepDefinition> upgradeSteps33To48();
QList<StepDefinition> upgradeSteps49To64();
QList<StepDefinition> upgradeSteps66To75();
QList<StepDefinition> upgradeSteps76();
QList<StepDefinition> upgradeSteps77();
QList<StepDefinition> upgradeSteps78();
QList<StepDefinition> upgradeSteps79();
QList<StepDefinition> upgradeSteps80();
QList<StepDefinition> upgradeSteps81();
QList<StepDefinition> upgradeSteps82();
QList<StepDefinition> upgradeSteps83();
QList<StepDefinition> upgradeSteps84();
QList<StepDefinition> upgradeSteps85();
QList<StepDefinition> upgradeSteps86();
QList<StepDefinition> upgradeSteps87();
QList<StepDefinition> upgradeSteps88();
QList<StepDefinition> upgradeSteps89();
QList<StepDefinition> upgradeSteps90();

/**
 * Server engine: makes the pg_trgm extension available and returns its schema as a quoted
 * identifier, or "" (noting `without` in the log) when the server lacks or refuses it.
 */
QString trigramSchema(StepActions& a, const QString& without);

/**
 * PL/pgSQL for a statement trigger with transition tables new_rows and old_rows: sets the text
 * variable `src` to the query in `one` (written over "{rows}") of the statement's new rows, its
 * old rows, or both (UNION), as the statement inserted, updated or deleted.
 */
QString transitionRowsSql();

/** Step 38: the tables of stored analyses and the three delivered analyses. */
void addAnalysisTables(StepActions& a);

/** Step 40: the triggers that refuse a task naming an unknown priority, category or requester. */
void addTaskRules(StepActions& a);

/** The present moment in GMT, as stored in Attach_Date. */
QDateTime gmtNow(const UpgradeContext& context);
/** The present local date and time as the steps write it into titles. */
QString localNowText(const UpgradeContext& context);

} // namespace bx
