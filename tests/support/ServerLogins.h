#pragma once

#include "core/db/PgDatabase.h"
#include "support/EngineFixture.h"

#include <QStringList>

#include <map>
#include <memory>

namespace bx::test {

/**
 * A server database of the current build whose checks connect as the logins of its users, made
 * the way the user windows make them. Skipped on the embedded engine, which has no logins. A
 * fixture adds its own in arrange().
 */
class ServerLoginsTest : public EngineTest
{
protected:
    void prepare() override;
    void TearDown() override;

    /** Adds the users and a login for each; those in `administrators` get the owner's rights. */
    void addLogins(const QStringList& ids, const QStringList& administrators = {});

    static QString role(const QString& id);
    static QString password();

    /** A new connection as the user's login. */
    std::unique_ptr<PgDatabase> connect(const QString& id);
    /** One connection per login, kept to the end of the test. */
    PgDatabase& as(const QString& id);
    /** Runs the statements as the login; false when the server refused them. */
    bool tryRun(const QString& id, const QString& sql);
    /** Closes the connections as(), so that the next ones start new sessions. */
    void closeConnections() { m_connections.clear(); }

private:
    std::map<QString, std::unique_ptr<PgDatabase>> m_connections;
};

} // namespace bx::test
