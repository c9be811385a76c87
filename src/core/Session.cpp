#include "core/Session.h"

#include "core/db/Database.h"

namespace bx {

Session::Session(SettingsStore& settings, const Clock& clock)
    : m_settings(settings)
    , m_clock(clock)
    , m_errorLog(clock)
{
}

Session::~Session() = default;

Database& Session::db()
{
    Q_ASSERT(m_db);
    return *m_db;
}

void Session::setDatabase(std::unique_ptr<Database> db)
{
    m_db = std::move(db);
}

void Session::closeDatabase()
{
    m_db.reset();
}

void Session::reloadSystemSettings(const QString& programDir)
{
    system.reload(db(), m_settings, programDir);
    db().setQueryTimeout(system.queryWait);
}

} // namespace bx
