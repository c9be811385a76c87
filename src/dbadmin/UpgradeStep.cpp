#include "dbadmin/UpgradeStep.h"

#include "core/Clock.h"
#include "core/Gmt.h"
#include "core/db/Database.h"
#include "dbadmin/ServerRoles.h"
#include "dbadmin/UpgradeSteps.h"

namespace bx {

bool UpgradeStep::check(Database& db) const
{
    // A database without Vars is older than every step: all of them are pending.
    if (!db.hasTable(QStringLiteral("Vars")))
        return true;
    return db.query(QStringLiteral("SELECT VarName FROM Vars WHERE VarName = ?"), {marker()})
        .isEmpty();
}

std::vector<std::unique_ptr<UpgradeStep>> allUpgradeSteps()
{
    std::vector<std::unique_ptr<UpgradeStep>> steps;
    for (const auto& range :
         {upgradeSteps33To48(), upgradeSteps49To64(), upgradeSteps66To75(), upgradeSteps76(),
          upgradeSteps77(), upgradeSteps78(), upgradeSteps79(), upgradeSteps80(), upgradeSteps81(),
          upgradeSteps82(), upgradeSteps83(), upgradeSteps84(), upgradeSteps85(), upgradeSteps86(),
          upgradeSteps87(), upgradeSteps88(), upgradeSteps89(), upgradeSteps90()}) {
        for (const StepDefinition& definition : range)
            steps.push_back(std::make_unique<DefinedStep>(definition));
    }
    return steps;
}

DefinedStep::DefinedStep(StepDefinition definition)
    : m_definition(std::move(definition))
{
}

QString DefinedStep::name() const
{
    return QStringLiteral("UpgClass") + QString::number(m_definition.number);
}

void DefinedStep::execute(Database& db, UpgradeLog& log, const UpgradeContext& context)
{
    StepActions actions(db, log, context, m_definition.policy);
    if (!m_definition.asServerAdministrator)
        server_sql::enterOwnerRole(db);
    m_definition.body(actions);
}

namespace {

const Clock& clockOf(const UpgradeContext& context)
{
    static const SystemClock systemClock;
    return context.clock ? *context.clock : systemClock;
}

} // namespace

QDateTime gmtNow(const UpgradeContext& context)
{
    return GmtConverter(clockOf(context)).nowGmt();
}

QString localNowText(const UpgradeContext& context)
{
    return clockOf(context).nowLocal().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace bx
