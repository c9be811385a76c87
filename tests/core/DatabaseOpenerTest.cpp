#include "core/db/DatabaseOpener.h"

#include "core/PasswordCipher.h"
#include "core/Session.h"
#include "core/db/PgDatabase.h"
#include "core/db/SecondConnection.h"
#include "core/db/SqliteDatabase.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "support/EngineFixture.h"
#include "support/FixedClock.h"
#include "support/ScriptedPrompt.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
using bx::test::FixedClock;
using bx::test::ScriptedPrompt;

namespace {

/** A session over a settings file of its own, with a clock that stands still. */
struct Harness
{
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(u"MRBX.conf"_s)};
    FixedClock clock;
    Session session{settings, clock};
    ScriptedPrompt prompt;
    DatabaseOpener opener{session, prompt};

    // The error log lives in the process's data folder; each case starts with none.
    Harness() { QFile::remove(session.errorLog().path()); }

    QStringList logLines() const
    {
        QFile f(session.errorLog().path());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(u"\r\n"_s, Qt::SkipEmptyParts);
    }
};

} // namespace

TEST(DatabaseOpener, NothingRememberedOrSuppressedOpensNothingSilently)
{
    for (const bool server : {false, true}) {
        Harness h;
        h.session.connection.serverFlag = server;
        EXPECT_FALSE(h.opener.openDatabase({}, true, u"u"_s, u"p"_s));
        EXPECT_FALSE(h.opener.openDatabase(u"   "_s, false, {}, {}));
        EXPECT_FALSE(h.session.isOpen());
        EXPECT_TRUE(h.prompt.records().isEmpty());
    }
    Harness h;
    const QString file = h.dir.filePath(u"o'brien.db"_s);
    SqliteDatabase::open(file, SqliteDatabase::OpenMode::Create);
    h.session.connection.openSuppressed = true;
    EXPECT_FALSE(h.opener.openDatabase(file, false, {}, {}));
    EXPECT_FALSE(h.session.isOpen());
}

TEST(DatabaseOpener, RememberedFileIsTheOneValueOfItsSection)
{
    Harness h;
    const QString first = h.dir.filePath(u"first.db"_s);
    const QString second = h.dir.filePath(u"o'brien\\data=x.db"_s);
    SqliteDatabase::open(second, SqliteDatabase::OpenMode::Create);
    DatabaseOpener::rememberDatabase(h.settings, first, false);
    DatabaseOpener::rememberDatabase(h.settings, second, false);
    DatabaseOpener::rememberDatabase(h.settings, u"db.example:5433"_s, true);
    ASSERT_EQ(h.settings.values(SettingsKeys::kLastFile).size(), 1);
    EXPECT_EQ(DatabaseOpener::rememberedDatabase(h.settings, false), second);
    EXPECT_EQ(DatabaseOpener::rememberedDatabase(SettingsStore(h.settings.path()), true),
              u"db.example:5433"_s);

    EXPECT_TRUE(h.opener.openDatabase({}, true, {}, {}));
    EXPECT_TRUE(h.session.isOpen());
    EXPECT_EQ(h.session.connection.location, second);
}

TEST(DatabaseOpener, AnEmbeddedFailureIsKeptForTheCallerNotShown)
{
    Harness h;
    EXPECT_FALSE(h.opener.openDatabase(h.dir.filePath(u"missing.db"_s), false, {}, {}));
    ASSERT_TRUE(h.opener.lastError().has_value());
    EXPECT_TRUE(h.prompt.records().isEmpty());

    // Reported, it is an ordinary error: shown with its number and logged.
    reportDatabaseError(*h.opener.lastError(), h.session, h.prompt);
    EXPECT_EQ(h.prompt.last().text, h.opener.lastError()->text());
    EXPECT_EQ(h.prompt.last().icon, PromptIcon::Critical);
    ASSERT_EQ(h.logLines().size(), 1);
    EXPECT_EQ(h.logLines().first(),
              u"2024-01-31 14:05:09 : Error  : "_s + h.opener.lastError()->text());
}

TEST(PgConnectParams, AnSslModeOtherThanTheThreeIsRefusedBeforeConnecting)
{
    EXPECT_TRUE(PgConnectParams::sslProblem(u"require"_s, {}).isEmpty());
    EXPECT_TRUE(PgConnectParams::sslProblem(u"verify-full"_s, u"/ca.pem"_s).isEmpty());
    EXPECT_FALSE(PgConnectParams::sslProblem(u"verify-full"_s, u" "_s).isEmpty());
    // Nothing listens on port 1: an attempt to connect would fail as an unreachable server.
    PgConnectParams p = PgConnectParams::forServer(u"127.0.0.1:1"_s);
    p.sslMode = u"disable"_s;
    try {
        PgDatabase::connect(p);
        ADD_FAILURE() << "connected";
    } catch (const DbError& e) {
        EXPECT_EQ(e.text(), u"Error: 08001 Unknown SSL mode \"disable\": use prefer, "
                            "require or verify-full."_s);
    }
}

TEST(DatabaseOpener, RemembersTheSslModeOfEachServer)
{
    Harness h;
    const QString other = u"db.example:5433"_s;
    // "Srv" also names the section of the remembered server, which remembering rewrites.
    const QString srv = u"Srv"_s;
    DatabaseOpener::rememberServerSsl(h.settings, other, PgConnectParams::kSslVerifyFull,
                                      u"/ca.pem"_s);
    DatabaseOpener::rememberServerSsl(h.settings, srv, PgConnectParams::kSslRequire, {});
    DatabaseOpener::rememberDatabase(h.settings, srv, true);
    auto applied = [&](const QString& server) {
        PgConnectParams p;
        DatabaseOpener::applyServerSsl(SettingsStore(h.settings.path()), server, p);
        return p.sslMode + u' ' + p.sslRootCert;
    };
    EXPECT_EQ(applied(other), u"verify-full /ca.pem"_s);
    EXPECT_EQ(applied(srv), u"require "_s);
    EXPECT_EQ(applied(u"unknown"_s), u"prefer "_s);
    DatabaseOpener::rememberServerSsl(h.settings, other, PgConnectParams::kSslRequire,
                                      u"/ca.pem"_s);
    EXPECT_EQ(applied(other), u"require "_s) << "the CA file goes with verify-full";
}

namespace {

/**
 * Server logins in the test cluster. Role names start with the process database's name, so that
 * test processes running side by side never share one.
 */
class ServerOpenerTest : public bx::test::ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_database = bx::test::processDatabase();
        PgConnectParams admin = cluster();
        m_admin = PgDatabase::connect(admin);
        m_server = u"127.0.0.1:%1"_s.arg(admin.port);
        h.settings.set(SettingsKeys::kSql, SettingsKeys::kSqlDbName, m_database);
        h.session.connection.serverFlag = true;
    }

    void TearDown() override
    {
        for (const QString& role : std::as_const(m_roles))
            m_admin->executeScript(u"DROP ROLE IF EXISTS "_s + role);
    }

    /** A login role whose password is the cipher of `typed`. */
    QString makeRole(const QString& name, const QString& password)
    {
        m_admin->executeScript(u"CREATE ROLE "_s + name + u" LOGIN PASSWORD '"_s + password +
                               u"'"_s);
        m_roles << name;
        return name;
    }

    QString section() const { return SettingsKeys::serverSection(m_server, m_database); }

    Harness h;
    QString m_database;
    QString m_server;
    std::unique_ptr<PgDatabase> m_admin;
    QStringList m_roles;
};

} // namespace

TEST_F(ServerOpenerTest, OwnLoginSucceedsFirstAndSecuresTheDatabase)
{
    const QString typed = u"Secret'1"_s;
    makeRole(serverRoleName(m_database, u"Alice"_s), PasswordCipher::loginPassword(typed));
    // A working shared login, which must never be used once the database is secured.
    makeRole(m_database + u"_shared"_s, PasswordCipher::sharedLoginPassword(u"pw"_s));
    h.settings.set(section(), SettingsKeys::kUnsecureLogin, m_database + u"_shared"_s);
    h.settings.set(section(), SettingsKeys::kUnsecurePwd, u"pw"_s);

    ASSERT_TRUE(
        h.opener.openDatabase(m_server, false, u"Alice"_s, PasswordCipher::loginPassword(typed)));
    EXPECT_TRUE(h.session.isOpen());
    EXPECT_EQ(h.settings.get(section(), SettingsKeys::kSecured), u"True"_s);
    EXPECT_EQ(h.session.db().scalar(u"SELECT current_user"_s).toString(),
              serverRoleName(m_database, u"alice"_s));
}

TEST_F(ServerOpenerTest, SharedLoginIsTheLastResortUntilSecured)
{
    makeRole(m_database + u"_shared"_s, PasswordCipher::sharedLoginPassword(u"pw"_s));
    h.settings.set(section(), SettingsKeys::kUnsecureLogin, m_database + u"_shared"_s);
    h.settings.set(section(), SettingsKeys::kUnsecurePwd, u"pw"_s);

    ASSERT_TRUE(
        h.opener.openDatabase(m_server, false, u"nobody"_s, PasswordCipher::loginPassword(u"x"_s)));
    EXPECT_EQ(h.session.db().scalar(u"SELECT current_user"_s).toString(),
              m_database + u"_shared"_s);
    EXPECT_NE(h.settings.get(section(), SettingsKeys::kSecured), u"True"_s);
    EXPECT_TRUE(h.prompt.records().isEmpty());
}

TEST_F(ServerOpenerTest, PlainUserIdIsTheSecondAttempt)
{
    const QString plain = makeRole(m_database + u"plain"_s, PasswordCipher::loginPassword(u"pw"_s));
    ASSERT_TRUE(
        h.opener.openDatabase(m_server, false, plain, PasswordCipher::loginPassword(u"pw"_s)));
    EXPECT_EQ(h.session.db().scalar(u"SELECT current_user"_s).toString(), plain);
    EXPECT_NE(h.settings.get(section(), SettingsKeys::kSecured), u"True"_s)
        << "only the per-user login secures the database";
}

TEST_F(ServerOpenerTest, FailuresAreShownAndLoggedByClass)
{
    // Wrong password.
    makeRole(serverRoleName(m_database, u"bob"_s), PasswordCipher::loginPassword(u"right"_s));
    EXPECT_FALSE(h.opener.openDatabase(m_server, false, u"bob"_s,
                                       PasswordCipher::loginPassword(u"wrong"_s)));
    ASSERT_EQ(h.prompt.records().size(), 1);
    EXPECT_EQ(h.prompt.last().text, u"Invalid Password or User Name. "_s);
    EXPECT_EQ(h.prompt.last().icon, PromptIcon::Critical);
    ASSERT_EQ(h.logLines().size(), 1);
    EXPECT_EQ(h.logLines().last(),
              u"2024-01-31 14:05:09 : Invalid Password or User Name. : Error: 18456 password "
              "authentication failed for user \"bob\""_s);

    // Unknown database: the right login, but no such database; not logged.
    h.settings.set(SettingsKeys::kSql, SettingsKeys::kSqlDbName, u"no_such_db"_s);
    makeRole(serverRoleName(u"no_such_db"_s, u"bob"_s), PasswordCipher::loginPassword(u"right"_s));
    EXPECT_FALSE(h.opener.openDatabase(m_server, false, u"bob"_s,
                                       PasswordCipher::loginPassword(u"right"_s)));
    EXPECT_EQ(h.prompt.last().text, u"Invalid Database Name: no_such_db"_s);
    EXPECT_EQ(h.logLines().size(), 1);

    // A server that refuses the connection.
    EXPECT_FALSE(h.opener.openDatabase(u"127.0.0.1:1"_s, false, u"bob"_s, u"x"_s));
    EXPECT_EQ(h.prompt.last().text, u"Server is invalid, or Internet connection is unavailable."_s);
    ASSERT_EQ(h.logLines().size(), 2);
    EXPECT_TRUE(h.logLines().last().startsWith(u"2024-01-31 14:05:09 : 17 : Error: 17 "_s))
        << h.logLines().last().toStdString();
    EXPECT_EQ(h.prompt.records().size(), 3) << "each failure is shown once";
}

TEST_F(ServerOpenerTest, ALoginThatMayNotLogOnIsADisabledUser)
{
    const QString role =
        makeRole(serverRoleName(m_database, u"dora"_s), PasswordCipher::loginPassword(u"right"_s));
    m_admin->executeScript(u"ALTER ROLE "_s + role + u" NOLOGIN"_s);
    EXPECT_FALSE(h.opener.openDatabase(m_server, false, u"dora"_s,
                                       PasswordCipher::loginPassword(u"right"_s)));
    EXPECT_EQ(h.prompt.texts(), QStringList{u"User is disabled"_s});
    // With a wrong password nothing tells that the user exists.
    EXPECT_FALSE(h.opener.openDatabase(m_server, false, u"dora"_s,
                                       PasswordCipher::loginPassword(u"wrong"_s)));
    EXPECT_EQ(h.prompt.last().text, u"Invalid Password or User Name. "_s);
}

namespace {

/** Whether the server says the connection is encrypted. */
bool encrypted(Database& db)
{
    return db.scalar(u"SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()"_s).toBool();
}

/** A self-signed certificate for 127.0.0.1 that signed nothing the test cluster shows. */
QString strangerCa(const QTemporaryDir& dir)
{
    const QString cert = dir.filePath(u"stranger.pem"_s);
    QStringList args = u"req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                       "-nodes -days 1 -subj /CN=127.0.0.1 -keyout"_s.split(u' ');
    args << dir.filePath(u"stranger.key"_s) << u"-out"_s << cert;
    QProcess openssl;
    openssl.start(u"openssl"_s, args);
    EXPECT_TRUE(openssl.waitForFinished(30000));
    EXPECT_EQ(openssl.exitCode(), 0) << openssl.readAllStandardError().toStdString();
    return cert;
}

/** The test cluster over TLS: needs BX_TEST_PG_CA as well. */
class TlsOpenerTest : public ServerOpenerTest
{
protected:
    void SetUp() override
    {
        BX_NEED_TEST_SERVER(bx::test::missingTlsCluster());
        ServerOpenerTest::SetUp();
    }
    QString ca() const { return *bx::test::testClusterCa(); }
};

} // namespace

TEST_F(TlsOpenerTest, EveryConnectionUsesTheSslModeRememberedForTheServer)
{
    const QString typed = u"pw"_s;
    makeRole(serverRoleName(m_database, u"tess"_s), PasswordCipher::loginPassword(typed));
    auto open = [&](const QString& user) {
        return h.opener.openDatabase(m_server, false, user, PasswordCipher::loginPassword(typed));
    };
    for (const QString& mode : PgConnectParams::sslModes()) {
        SCOPED_TRACE(mode.toStdString());
        DatabaseOpener::rememberServerSsl(h.settings, m_server, mode, ca());
        ASSERT_TRUE(open(u"tess"_s));
        EXPECT_EQ(dynamic_cast<PgDatabase&>(h.session.db()).params().sslMode, mode);
        EXPECT_TRUE(encrypted(h.session.db()));
        // Background work connects alike.
        auto second = secondConnectionTo(h.session.db())();
        EXPECT_EQ(dynamic_cast<PgDatabase&>(*second).params().sslMode, mode);
        EXPECT_TRUE(encrypted(*second));
    }
    // The shared login, the last attempt, too.
    h.settings.remove(section(), SettingsKeys::kSecured);
    const QString shared =
        makeRole(m_database + u"_shared"_s, PasswordCipher::sharedLoginPassword(typed));
    h.settings.set(section(), SettingsKeys::kUnsecureLogin, shared);
    h.settings.set(section(), SettingsKeys::kUnsecurePwd, typed);
    ASSERT_TRUE(open(u"nobody"_s));
    EXPECT_EQ(h.session.db().scalar(u"SELECT current_user"_s).toString(), shared);
    EXPECT_EQ(dynamic_cast<PgDatabase&>(h.session.db()).params().sslRootCert, ca());

    // A certificate from another CA: refused once, saying why.
    DatabaseOpener::rememberServerSsl(h.settings, m_server, PgConnectParams::kSslVerifyFull,
                                      strangerCa(h.dir));
    EXPECT_FALSE(open(u"tess"_s));
    ASSERT_EQ(h.prompt.records().size(), 1);
    EXPECT_TRUE(h.prompt.last().text.startsWith(
        u"Error: 08001 No secure connection (SSL mode verify-full): "_s));
    EXPECT_TRUE(h.prompt.last().text.contains(u"certificate verify failed"_s))
        << h.prompt.last().text.toStdString();
}
