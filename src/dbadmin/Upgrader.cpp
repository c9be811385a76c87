#include "dbadmin/Upgrader.h"

#include "core/BuildInfo.h"
#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/db/Database.h"
#include "core/settings/Vars.h"
#include "dbadmin/ServerRoles.h"
#include "dbadmin/UpgradeLog.h"

namespace bx {

namespace {

const QString kRule = QString(70, QLatin1Char('='));

} // namespace

Upgrader::Upgrader(Database& db, Prompt& prompt, UpgradeLog& log, UpgradeContext context,
                   bool quiet, std::function<StepList()> makeSteps)
    : m_db(db)
    , m_prompt(prompt)
    , m_log(log)
    , m_context(std::move(context))
    , m_quiet(quiet)
    , m_makeSteps(std::move(makeSteps))
{
}

Upgrader::~Upgrader() = default;

void Upgrader::load()
{
    if (!m_db.hasTable(QStringLiteral("Vars"))) {
        const QString text = m_db.dialect().textType();
        m_db.executeScript(QStringLiteral("CREATE TABLE Vars (VarName ") + text +
                           QStringLiteral(", VarValue ") + text + QLatin1Char(')'));
    }
    m_steps = m_makeSteps();
    m_loaded = true;
}

std::vector<const UpgradeStep*> Upgrader::pending() const
{
    std::vector<const UpgradeStep*> out;
    for (const auto& step : m_steps) {
        if (step->check(m_db))
            out.push_back(step.get());
    }
    return out;
}

QString Upgrader::stamp() const
{
    const QDateTime now = m_context.clock->nowLocal();
    return now.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("; ") +
           now.toString(QStringLiteral("HH:mm:ss"));
}

bool Upgrader::run(const std::function<void(const QString& name)>& applied)
{
    if (!m_loaded)
        return false;
    m_lastError.clear();
    m_log.line(kRule);
    m_log.line(QStringLiteral("Starting Upgrade; ") + stamp());

    bool failed = false;
    try {
        server_sql::refuseUnsafeSchema(m_db);
    } catch (const DbError& e) {
        report(e);
        failed = true;
    }
    for (const auto& step : m_steps) {
        if (failed)
            break;
        bool due = false;
        try {
            due = step->check(m_db);
        } catch (const DbError& e) {
            m_lastError =
                QStringLiteral("Error: ") + e.number() + QStringLiteral("; ") + e.description();
            failed = true;
            break;
        }
        if (!due)
            continue;
        if (!runStep(*step)) {
            failed = true;
            break;
        }
        if (applied)
            applied(step->name());
    }

    if (!failed) {
        try {
            // As the owner role, like the steps: a trigger on Vars runs with no more rights.
            Transaction tx(m_db);
            server_sql::enterOwnerRole(m_db);
            Vars::setValue(m_db, QStringLiteral("BuildNum"),
                           QString::number(BuildInfo::buildNumber()));
            tx.commit();
        } catch (const DbError& e) {
            // Every step is in, but the stamp is not: the database still reads as out of date
            // and the next run (which has nothing left to apply) stamps it.
            report(e);
            failed = true;
        }
    }
    if (!m_quiet)
        m_prompt.inform(failed ? QStringLiteral("The Database hasn't been updated.")
                               : QStringLiteral("The Database has been updated."),
                        {}, PromptIcon::Information);

    m_log.line(QStringLiteral("Finishing Upgrade; ") + stamp());
    m_log.line(kRule);
    return !failed;
}

void Upgrader::report(const DbError& e)
{
    m_lastError = QStringLiteral("Error: ") + e.number() + QStringLiteral("; ") + e.description();
    m_log.line(m_lastError);
    if (!m_quiet)
        m_prompt.inform(m_lastError, {}, PromptIcon::Critical);
}

bool Upgrader::runStep(UpgradeStep& step)
{
    m_log.line(QStringLiteral("Starting Upgrade by Class: ") + step.name());
    try {
        Transaction tx(m_db);
        step.execute(m_db, m_log, m_context);
        // The marker goes in with the step's own changes, so that a step is never applied
        // without being recorded as applied.
        m_db.execute(QStringLiteral("INSERT INTO Vars (VarName, VarValue) VALUES (?, ?)"),
                     {step.marker(), QStringLiteral("1")});
        tx.commit();
    } catch (const DbError& e) {
        report(e);
        m_log.line(QStringLiteral("Rolling Back Upgrade by Class: ") + step.name());
        return false;
    }
    m_log.line(QStringLiteral("Finishing Upgrade by Class: ") + step.name());
    return true;
}

} // namespace bx
