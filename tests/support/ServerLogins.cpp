#include "support/ServerLogins.h"

#include "core/PasswordCipher.h"
#include "core/db/DatabaseOpener.h"
#include "support/Schema.h"
#include "support/ServerCleanup.h"
#include "support/TaskRows.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace bx::test {

void ServerLoginsTest::prepare()
{
    if (!isServer())
        GTEST_SKIP() << "logins belong to the server engine";
    QDir(tempDir()).mkdir(u"program"_s);
    loadCurrentSchema(db(), tempDir() + u"/program"_s);
}

void ServerLoginsTest::TearDown()
{
    if (isServer() && !IsSkipped()) {
        m_connections.clear();
        dropRoles(static_cast<PgDatabase&>(db()), processDatabase() + u"\\_%"_s, true);
    }
    EngineTest::TearDown();
}

void ServerLoginsTest::addLogins(const QStringList& ids, const QStringList& administrators)
{
    addUsers(db(), ids);
    LoginRoles& roles = *db().loginRoles();
    for (const QString& id : ids) {
        if (administrators.contains(id))
            db().execute(u"UPDATE LU_USER SET Ext12 = 1 WHERE USER_ID = ?"_s, {id});
        roles.ensureLogin(role(id), administrators.contains(id));
        roles.setRolePassword(role(id), password());
    }
}

QString ServerLoginsTest::role(const QString& id)
{
    return serverRoleName(processDatabase(), id);
}

QString ServerLoginsTest::password()
{
    return PasswordCipher::loginPassword(u"secret9"_s);
}

std::unique_ptr<PgDatabase> ServerLoginsTest::connect(const QString& id)
{
    PgConnectParams p = serverParams();
    p.user = role(id);
    p.password = password();
    return PgDatabase::connect(p);
}

PgDatabase& ServerLoginsTest::as(const QString& id)
{
    auto& slot = m_connections[id];
    if (!slot)
        slot = connect(id);
    return *slot;
}

bool ServerLoginsTest::tryRun(const QString& id, const QString& sql)
{
    try {
        as(id).executeScript(sql);
        return true;
    } catch (const DbError&) {
        return false;
    }
}

} // namespace bx::test
