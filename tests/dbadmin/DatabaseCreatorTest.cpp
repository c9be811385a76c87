#include "dbadmin/DatabaseCreator.h"

#include "core/BuildInfo.h"
#include "core/ErrorLog.h"
#include "core/PasswordCipher.h"
#include "core/Session.h"
#include "core/db/DatabaseOpener.h"
#include "core/db/PgDatabase.h"
#include "core/db/SqliteDatabase.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/settings/Vars.h"
#include "dbadmin/Upgrader.h"
#include "support/EngineFixture.h"
#include "support/FixedClock.h"
#include "support/Schema.h"
#include "support/ScriptedPrompt.h"
#include "support/ServerCleanup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
using bx::test::FixedClock;
using bx::test::ScriptedPrompt;

namespace {

struct Harness
{
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(u"MRBX.conf"_s)};
    FixedClock clock;
    ErrorLog log{dir.filePath(u"QVErrorLog.txt"_s), clock};
    ScriptedPrompt prompt;
    DatabaseCreator creator{settings, prompt, clock, log, QCoreApplication::applicationDirPath()};
};

bool isCurrent(Database& db)
{
    for (const auto& step : allUpgradeSteps()) {
        if (step->check(db))
            return false;
    }
    return Vars::buildNumber(db) == BuildInfo::buildNumber();
}

} // namespace

TEST(EmbeddedCreation, MakesACurrentDatabaseAndRemembersIt)
{
    Harness h;
    const QString path = h.dir.filePath(u"o'brien's files/o'brien.db"_s);
    ASSERT_TRUE(h.creator.createEmbedded(path)) << h.prompt.texts().join(u'|').toStdString();
    EXPECT_TRUE(h.prompt.records().isEmpty());
    EXPECT_EQ(DatabaseOpener::rememberedDatabase(h.settings, false), path);
    EXPECT_FALSE(h.settings.getBool(SettingsKeys::kSql, SettingsKeys::kServerFlag));

    auto db = SqliteDatabase::open(path);
    EXPECT_TRUE(isCurrent(*db));
    EXPECT_EQ(db->query(u"SELECT User_Password FROM LU_USER WHERE USER_ID = ?"_s, {u"ADMIN"_s})
                  .rowCount(),
              1)
        << "the administrator is there";
    db.reset(); // an open embedded database keeps its journal files beside it
    EXPECT_EQ(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files).size(), 1)
        << "no work file is left";
}

TEST(EmbeddedCreation, AnExistingFileIsReplacedOnlyWhenTheUserAgrees)
{
    Harness h;
    const QString path = h.dir.filePath(u"pax.mdb"_s);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("the user's old database");
    }
    h.prompt.answer(PromptAnswer::No);
    EXPECT_FALSE(h.creator.createEmbedded(path));
    ASSERT_EQ(h.prompt.records().size(), 1);
    EXPECT_EQ(h.prompt.last().text, u"Brindlepax database already exists at "_s + path +
                                        u"\nWould you like to replace it?"_s);
    EXPECT_EQ(h.prompt.last().icon, PromptIcon::Critical);
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("the user's old database"));
    old.close();
    EXPECT_TRUE(h.settings.values(SettingsKeys::kLastFile).isEmpty());

    h.prompt.answer(PromptAnswer::Yes);
    ASSERT_TRUE(h.creator.createEmbedded(path));
    EXPECT_TRUE(isCurrent(*SqliteDatabase::open(path)));
}

TEST(EmbeddedCreation, AMissingTemplateIsReportedAndNothingIsWritten)
{
    Harness h;
    QTemporaryDir empty;
    DatabaseCreator creator(h.settings, h.prompt, h.clock, h.log, empty.path());
    const QString path = h.dir.filePath(u"new.mdb"_s);
    EXPECT_FALSE(creator.createEmbedded(path));
    EXPECT_EQ(h.prompt.texts(), QStringList{u"Database Manager can't find template database file. "
                                            "Please reinstall Brindlepax"_s});
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(h.settings.sections().isEmpty());

    h.creator.setRemember(false);
    ASSERT_TRUE(h.creator.createEmbedded(path));
    EXPECT_TRUE(h.settings.sections().isEmpty()) << "not remembered when told so";
}

// The name reaches quoted strings, quoted names and dollar-quoted blocks of the server script;
// what they cannot carry is refused before the server is reached (port 1 answers nobody).
TEST(ServerCreation, ANameTheScriptCannotCarryIsRefusedBeforeConnecting)
{
    Harness h;
    for (const char* name : {"pax$$db", "o'brien", "pax\"db", "pax\\db", "pax\ndb", "pax\x7f"}) {
        for (const bool creating : {true, false}) {
            ServerCreation request;
            request.server = u"127.0.0.1:1"_s;
            request.adminPassword = u"secret"_s;
            request.database = QString::fromUtf8(name);
            request.creating = creating;
            EXPECT_FALSE(h.creator.createServer(request));
            EXPECT_EQ(h.prompt.texts(), QStringList{u"The database name may not contain $, quotes, "
                                                    "backslashes or control characters."_s})
                << name;
            h.prompt.clear();
        }
    }
    EXPECT_TRUE(h.settings.sections().isEmpty());
    EXPECT_FALSE(checkServerDatabaseName(u"Pax db-2_\u00e9t\u00e9"_s));
}

namespace {

/** Server databases made by the creator, and the roles they bring, dropped after each case. */
class ServerCreationTest : public bx::test::ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_admin = PgDatabase::connect(cluster());
        // A name with a blank, a hyphen and a capital: it must survive every statement of the
        // script.
        m_name = bx::test::processDatabase() + u"_New db-1"_s;
        m_request.server = u"127.0.0.1:%1"_s.arg(cluster().port);
        m_request.adminLogin = cluster().user;
        m_request.adminPassword = cluster().password;
        m_request.database = m_name;
    }

    void TearDown() override
    {
        if (!m_admin)
            return;
        bx::test::dropServerDatabase(*m_admin, m_name);
    }

    bool databaseExists()
    {
        return !m_admin->query(u"SELECT 1 FROM pg_database WHERE datname = ?"_s, {m_name})
                    .isEmpty();
    }

    std::unique_ptr<PgDatabase> m_admin;
    QString m_name;
    ServerCreation m_request;
    Harness h;
};

} // namespace

TEST_F(ServerCreationTest, MakesACurrentDatabaseTheAdministratorCanLogOnTo)
{
    ASSERT_TRUE(h.creator.createServer(m_request)) << h.prompt.texts().join(u'|').toStdString();
    ASSERT_EQ(h.prompt.records().size(), 1);
    EXPECT_EQ(h.prompt.last().text,
              u"The administrative username is 'admin' and the password is 'vastrelume'. \n\n"
              "We highly recommend that you change the password to something unique for "
              "security purposes, after you run the program for the first time."_s);
    EXPECT_TRUE(h.settings.getBool(SettingsKeys::kSql, SettingsKeys::kServerFlag));
    EXPECT_EQ(h.settings.get(SettingsKeys::kSql, SettingsKeys::kSqlDbName), m_name);
    EXPECT_EQ(DatabaseOpener::rememberedDatabase(h.settings, true), m_request.server);

    // The client's own way in: the administrator's login role with the derived password.
    Session session(h.settings, h.clock);
    session.connection.serverFlag = true;
    DatabaseOpener opener(session, h.prompt);
    ASSERT_TRUE(
        opener.openDatabase({}, true, u"admin"_s, PasswordCipher::loginPassword(u"vastrelume"_s)))
        << h.prompt.last().text.toStdString();
    EXPECT_TRUE(isCurrent(session.db()));
    EXPECT_EQ(session.db()
                  .scalar(u"SELECT count(*) FROM LU_USER WHERE USER_ID = ?"_s, {u"admin"_s})
                  .toInt(),
              1);
    // The administrator may write, and may read a value another login streamed.
    session.db().execute(u"UPDATE SYSTEM SET Query_Wait = ?"_s, {12});
}

TEST_F(ServerCreationTest, AnExistingDatabaseIsReinstalledOnlyOnYes)
{
    ASSERT_TRUE(h.creator.createServer(m_request));
    h.prompt.clear();
    {
        PgConnectParams p = cluster();
        p.database = m_name;
        PgDatabase::connect(p)->execute(u"UPDATE SYSTEM SET Query_Wait = 77"_s);
    }
    h.prompt.answer(PromptAnswer::No);
    EXPECT_FALSE(h.creator.createServer(m_request));
    EXPECT_EQ(h.prompt.last().text,
              u"There is '"_s + m_name +
                  u"' database on defined SQL Server. Do you want to reinstall '"_s + m_name +
                  u"' Database?"_s);
    PgConnectParams p = cluster();
    p.database = m_name;
    EXPECT_EQ(PgDatabase::connect(p)->scalar(u"SELECT Query_Wait FROM SYSTEM"_s).toInt(), 77);

    // Yes replaces it with a new one.
    h.prompt.answer(PromptAnswer::Yes);
    ASSERT_TRUE(h.creator.createServer(m_request)) << h.prompt.last().text.toStdString();
    EXPECT_NE(PgDatabase::connect(p)->scalar(u"SELECT Query_Wait FROM SYSTEM"_s).toInt(), 77);
}

TEST_F(ServerCreationTest, PreparingADatabaseThatIsNotThereStopsWithoutSettings)
{
    m_request.creating = false;
    EXPECT_FALSE(h.creator.createServer(m_request));
    EXPECT_EQ(h.prompt.texts(),
              QStringList{u"'"_s + m_name +
                          u"' database doesn't exist on SQL Server. Please create it before."_s});
    EXPECT_TRUE(h.settings.sections().isEmpty());
    EXPECT_FALSE(databaseExists());
}

TEST_F(ServerCreationTest, PreparingLeavesNoLoginWithTheDefaultPasswordEvenWhenTheUpgradeFails)
{
    auto accepts = [&](const QString& password) {
        PgConnectParams p = cluster();
        p.database = m_name;
        p.user = serverRoleName(m_name, u"admin"_s);
        p.password = password;
        try {
            PgDatabase::connect(p);
            return true;
        } catch (const DbError&) {
            return false;
        }
    };
    const QString derived = PasswordCipher::loginPassword(u"vastrelume"_s);
    m_request.creating = false;
    m_admin->executeScript(u"CREATE DATABASE "_s + m_admin->quoteIdentifier(m_name));
    ASSERT_TRUE(h.creator.createServer(m_request)) << h.prompt.last().text.toStdString();
    EXPECT_TRUE(accepts(derived));
    EXPECT_FALSE(accepts(u"vastrelume"_s));

    // A table in the way of an upgrade step stops the upgrade after the script made the login.
    TearDown();
    m_admin = PgDatabase::connect(cluster());
    m_admin->executeScript(u"CREATE DATABASE "_s + m_admin->quoteIdentifier(m_name));
    {
        PgConnectParams p = cluster();
        p.database = m_name;
        PgDatabase::connect(p)->executeScript(u"CREATE TABLE LOGIN (ID integer)"_s);
    }
    h.prompt.clear();
    EXPECT_FALSE(h.creator.createServer(m_request));
    EXPECT_FALSE(accepts(u"vastrelume"_s));
    EXPECT_TRUE(accepts(derived));
}
