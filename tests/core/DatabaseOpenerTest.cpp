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
using bx::test::FixedClock;
using bx::test::ScriptedPrompt;

namespace {

/** A session over a settings file of its own, with a clock that stands still. */
struct Harness
{
    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(QStringLiteral("MRBX.conf"))};
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
        return QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
};

} // namespace

TEST(DatabaseOpener, NothingRememberedOrSuppressedOpensNothingSilently)
{
    for (const bool server : {false, true}) {
        Harness h;
        h.session.connection.serverFlag = server;
        EXPECT_FALSE(h.opener.openDatabase({}, true, QStringLiteral("u"), QStringLiteral("p")));
        EXPECT_FALSE(h.opener.openDatabase(QStringLiteral("   "), false, {}, {}));
        EXPECT_FALSE(h.session.isOpen());
        EXPECT_TRUE(h.prompt.records().isEmpty());
    }
    Harness h;
    const QString file = h.dir.filePath(QStringLiteral("o'brien.db"));
    SqliteDatabase::open(file, SqliteDatabase::OpenMode::Create);
    h.session.connection.openSuppressed = true;
    EXPECT_FALSE(h.opener.openDatabase(file, false, {}, {}));
    EXPECT_FALSE(h.session.isOpen());
}

TEST(DatabaseOpener, RememberedFileIsTheOneValueOfItsSection)
{
    Harness h;
    const QString first = h.dir.filePath(QStringLiteral("first.db"));
    const QString second = h.dir.filePath(QStringLiteral("o'brien\\data=x.db"));
    SqliteDatabase::open(second, SqliteDatabase::OpenMode::Create);
    DatabaseOpener::rememberDatabase(h.settings, first, false);
    DatabaseOpener::rememberDatabase(h.settings, second, false);
    DatabaseOpener::rememberDatabase(h.settings, QStringLiteral("db.example:5433"), true);
    ASSERT_EQ(h.settings.values(SettingsKeys::kLastFile).size(), 1);
    EXPECT_EQ(DatabaseOpener::rememberedDatabase(h.settings, false), second);
    EXPECT_EQ(DatabaseOpener::rememberedDatabase(SettingsStore(h.settings.path()), true),
              QStringLiteral("db.example:5433"));

    EXPECT_TRUE(h.opener.openDatabase({}, true, {}, {}));
    EXPECT_TRUE(h.session.isOpen());
    EXPECT_EQ(h.session.connection.location, second);
}

TEST(DatabaseOpener, AnEmbeddedFailureIsKeptForTheCallerNotShown)
{
    Harness h;
    EXPECT_FALSE(
        h.opener.openDatabase(h.dir.filePath(QStringLiteral("missing.db")), false, {}, {}));
    ASSERT_TRUE(h.opener.lastError().has_value());
    EXPECT_TRUE(h.prompt.records().isEmpty());

    // Reported, it is an ordinary error: shown with its number and logged.
    reportDatabaseError(*h.opener.lastError(), h.session, h.prompt);
    EXPECT_EQ(h.prompt.last().text, h.opener.lastError()->text());
    EXPECT_EQ(h.prompt.last().icon, PromptIcon::Critical);
    ASSERT_EQ(h.logLines().size(), 1);
    EXPECT_EQ(h.logLines().first(),
              QStringLiteral("2024-01-31 14:05:09 : Error  : ") + h.opener.lastError()->text());
}

TEST(PgConnectParams, AnSslModeOtherThanTheThreeIsRefusedBeforeConnecting)
{
    EXPECT_TRUE(PgConnectParams::sslProblem(QStringLiteral("require"), {}).isEmpty());
    EXPECT_TRUE(
        PgConnectParams::sslProblem(QStringLiteral("verify-full"), QStringLiteral("/ca.pem"))
            .isEmpty());
    EXPECT_FALSE(
        PgConnectParams::sslProblem(QStringLiteral("verify-full"), QStringLiteral(" ")).isEmpty());
    // Nothing listens on port 1: an attempt to connect would fail as an unreachable server.
    PgConnectParams p = PgConnectParams::forServer(QStringLiteral("127.0.0.1:1"));
    p.sslMode = QStringLiteral("disable");
    try {
        PgDatabase::connect(p);
        ADD_FAILURE() << "connected";
    } catch (const DbError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Error: 08001 Unknown SSL mode \"disable\": use prefer, "
                                           "require or verify-full."));
    }
}

TEST(DatabaseOpener, RemembersTheSslModeOfEachServer)
{
    Harness h;
    const QString other = QStringLiteral("db.example:5433");
    // "Srv" also names the section of the remembered server, which remembering rewrites.
    const QString srv = QStringLiteral("Srv");
    DatabaseOpener::rememberServerSsl(h.settings, other, PgConnectParams::kSslVerifyFull,
                                      QStringLiteral("/ca.pem"));
    DatabaseOpener::rememberServerSsl(h.settings, srv, PgConnectParams::kSslRequire, {});
    DatabaseOpener::rememberDatabase(h.settings, srv, true);
    auto applied = [&](const QString& server) {
        PgConnectParams p;
        DatabaseOpener::applyServerSsl(SettingsStore(h.settings.path()), server, p);
        return p.sslMode + QLatin1Char(' ') + p.sslRootCert;
    };
    EXPECT_EQ(applied(other), QStringLiteral("verify-full /ca.pem"));
    EXPECT_EQ(applied(srv), QStringLiteral("require "));
    EXPECT_EQ(applied(QStringLiteral("unknown")), QStringLiteral("prefer "));
    DatabaseOpener::rememberServerSsl(h.settings, other, PgConnectParams::kSslRequire,
                                      QStringLiteral("/ca.pem"));
    EXPECT_EQ(applied(other), QStringLiteral("require ")) << "the CA file goes with verify-full";
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
        m_server = QStringLiteral("127.0.0.1:%1").arg(admin.port);
        h.settings.set(SettingsKeys::kSql, SettingsKeys::kSqlDbName, m_database);
        h.session.connection.serverFlag = true;
    }

    void TearDown() override
    {
        for (const QString& role : std::as_const(m_roles))
            m_admin->executeScript(QStringLiteral("DROP ROLE IF EXISTS ") + role);
    }

    /** A login role whose password is the cipher of `typed`. */
    QString makeRole(const QString& name, const QString& password)
    {
        m_admin->executeScript(QStringLiteral("CREATE ROLE ") + name +
                               QStringLiteral(" LOGIN PASSWORD '") + password +
                               QStringLiteral("'"));
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
    const QString typed = QStringLiteral("Secret'1");
    makeRole(serverRoleName(m_database, QStringLiteral("Alice")),
             PasswordCipher::loginPassword(typed));
    // A working shared login, which must never be used once the database is secured.
    makeRole(m_database + QStringLiteral("_shared"),
             PasswordCipher::sharedLoginPassword(QStringLiteral("pw")));
    h.settings.set(section(), SettingsKeys::kUnsecureLogin, m_database + QStringLiteral("_shared"));
    h.settings.set(section(), SettingsKeys::kUnsecurePwd, QStringLiteral("pw"));

    ASSERT_TRUE(h.opener.openDatabase(m_server, false, QStringLiteral("Alice"),
                                      PasswordCipher::loginPassword(typed)));
    EXPECT_TRUE(h.session.isOpen());
    EXPECT_EQ(h.settings.get(section(), SettingsKeys::kSecured), QStringLiteral("True"));
    EXPECT_EQ(h.session.db().scalar(QStringLiteral("SELECT current_user")).toString(),
              serverRoleName(m_database, QStringLiteral("alice")));

    EXPECT_FALSE(h.opener.openDatabase(m_server, false, QStringLiteral("Alice"),
                                       PasswordCipher::loginPassword(QStringLiteral("wrong"))));
    EXPECT_FALSE(h.session.isOpen());
    EXPECT_EQ(h.prompt.texts(), QStringList{QStringLiteral("Invalid Password or User Name. ")});
}

TEST_F(ServerOpenerTest, SharedLoginIsTheLastResortUntilSecured)
{
    makeRole(m_database + QStringLiteral("_shared"),
             PasswordCipher::sharedLoginPassword(QStringLiteral("pw")));
    h.settings.set(section(), SettingsKeys::kUnsecureLogin, m_database + QStringLiteral("_shared"));
    h.settings.set(section(), SettingsKeys::kUnsecurePwd, QStringLiteral("pw"));

    ASSERT_TRUE(h.opener.openDatabase(m_server, false, QStringLiteral("nobody"),
                                      PasswordCipher::loginPassword(QStringLiteral("x"))));
    EXPECT_EQ(h.session.db().scalar(QStringLiteral("SELECT current_user")).toString(),
              m_database + QStringLiteral("_shared"));
    EXPECT_NE(h.settings.get(section(), SettingsKeys::kSecured), QStringLiteral("True"));
    EXPECT_TRUE(h.prompt.records().isEmpty());
}

TEST_F(ServerOpenerTest, PlainUserIdIsTheSecondAttempt)
{
    const QString plain = makeRole(m_database + QStringLiteral("plain"),
                                   PasswordCipher::loginPassword(QStringLiteral("pw")));
    ASSERT_TRUE(h.opener.openDatabase(m_server, false, plain,
                                      PasswordCipher::loginPassword(QStringLiteral("pw"))));
    EXPECT_EQ(h.session.db().scalar(QStringLiteral("SELECT current_user")).toString(), plain);
    EXPECT_NE(h.settings.get(section(), SettingsKeys::kSecured), QStringLiteral("True"))
        << "only the per-user login secures the database";
}

TEST_F(ServerOpenerTest, FailuresAreShownAndLoggedByClass)
{
    // Wrong password.
    makeRole(serverRoleName(m_database, QStringLiteral("bob")),
             PasswordCipher::loginPassword(QStringLiteral("right")));
    EXPECT_FALSE(h.opener.openDatabase(m_server, false, QStringLiteral("bob"),
                                       PasswordCipher::loginPassword(QStringLiteral("wrong"))));
    ASSERT_EQ(h.prompt.records().size(), 1);
    EXPECT_EQ(h.prompt.last().text, QStringLiteral("Invalid Password or User Name. "));
    EXPECT_EQ(h.prompt.last().icon, PromptIcon::Critical);
    EXPECT_EQ(h.prompt.last().title, QString());
    ASSERT_EQ(h.logLines().size(), 1);
    EXPECT_EQ(h.logLines().last(),
              QStringLiteral(
                  "2024-01-31 14:05:09 : Invalid Password or User Name. : Error: 18456 password "
                  "authentication failed for user \"bob\""));

    // Unknown database: the right login, but no such database; not logged.
    h.settings.set(SettingsKeys::kSql, SettingsKeys::kSqlDbName, QStringLiteral("no_such_db"));
    makeRole(serverRoleName(QStringLiteral("no_such_db"), QStringLiteral("bob")),
             PasswordCipher::loginPassword(QStringLiteral("right")));
    EXPECT_FALSE(h.opener.openDatabase(m_server, false, QStringLiteral("bob"),
                                       PasswordCipher::loginPassword(QStringLiteral("right"))));
    EXPECT_EQ(h.prompt.last().text, QStringLiteral("Invalid Database Name: no_such_db"));
    EXPECT_EQ(h.logLines().size(), 1);

    // A server that refuses the connection.
    EXPECT_FALSE(h.opener.openDatabase(QStringLiteral("127.0.0.1:1"), false, QStringLiteral("bob"),
                                       QStringLiteral("x")));
    EXPECT_EQ(h.prompt.last().text,
              QStringLiteral("Server is invalid, or Internet connection is unavailable."));
    ASSERT_EQ(h.logLines().size(), 2);
    EXPECT_TRUE(
        h.logLines().last().startsWith(QStringLiteral("2024-01-31 14:05:09 : 17 : Error: 17 ")))
        << h.logLines().last().toStdString();
    EXPECT_EQ(h.prompt.records().size(), 3) << "each failure is shown once";
}

TEST_F(ServerOpenerTest, ALoginThatMayNotLogOnIsADisabledUser)
{
    const QString role = makeRole(serverRoleName(m_database, QStringLiteral("dora")),
                                  PasswordCipher::loginPassword(QStringLiteral("right")));
    m_admin->executeScript(QStringLiteral("ALTER ROLE ") + role + QStringLiteral(" NOLOGIN"));
    EXPECT_FALSE(h.opener.openDatabase(m_server, false, QStringLiteral("dora"),
                                       PasswordCipher::loginPassword(QStringLiteral("right"))));
    EXPECT_EQ(h.prompt.texts(), QStringList{QStringLiteral("User is disabled")});
    // With a wrong password nothing tells that the user exists.
    EXPECT_FALSE(h.opener.openDatabase(m_server, false, QStringLiteral("dora"),
                                       PasswordCipher::loginPassword(QStringLiteral("wrong"))));
    EXPECT_EQ(h.prompt.last().text, QStringLiteral("Invalid Password or User Name. "));
}

namespace {

/** Whether the server says the connection is encrypted. */
bool encrypted(Database& db)
{
    return db.scalar(QStringLiteral("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()"))
        .toBool();
}

/** A self-signed certificate for 127.0.0.1 that signed nothing the test cluster shows. */
QString strangerCa(const QTemporaryDir& dir)
{
    const QString cert = dir.filePath(QStringLiteral("stranger.pem"));
    QStringList args = QStringLiteral("req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                                      "-nodes -days 1 -subj /CN=127.0.0.1 -keyout")
                           .split(QLatin1Char(' '));
    args << dir.filePath(QStringLiteral("stranger.key")) << QStringLiteral("-out") << cert;
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"), args);
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
    const QString typed = QStringLiteral("pw");
    makeRole(serverRoleName(m_database, QStringLiteral("tess")),
             PasswordCipher::loginPassword(typed));
    auto open = [&](const QString& user) {
        return h.opener.openDatabase(m_server, false, user, PasswordCipher::loginPassword(typed));
    };
    for (const QString& mode : PgConnectParams::sslModes()) {
        SCOPED_TRACE(mode.toStdString());
        DatabaseOpener::rememberServerSsl(h.settings, m_server, mode, ca());
        ASSERT_TRUE(open(QStringLiteral("tess")));
        EXPECT_EQ(dynamic_cast<PgDatabase&>(h.session.db()).params().sslMode, mode);
        EXPECT_TRUE(encrypted(h.session.db()));
        // Background work connects alike.
        auto second = secondConnectionTo(h.session.db())();
        EXPECT_EQ(dynamic_cast<PgDatabase&>(*second).params().sslMode, mode);
        EXPECT_TRUE(encrypted(*second));
    }
    // The shared login, the last attempt, too.
    h.settings.remove(section(), SettingsKeys::kSecured);
    const QString shared = makeRole(m_database + QStringLiteral("_shared"),
                                    PasswordCipher::sharedLoginPassword(typed));
    h.settings.set(section(), SettingsKeys::kUnsecureLogin, shared);
    h.settings.set(section(), SettingsKeys::kUnsecurePwd, typed);
    ASSERT_TRUE(open(QStringLiteral("nobody")));
    EXPECT_EQ(h.session.db().scalar(QStringLiteral("SELECT current_user")).toString(), shared);
    EXPECT_EQ(dynamic_cast<PgDatabase&>(h.session.db()).params().sslRootCert, ca());

    // A certificate from another CA: refused once, saying why.
    DatabaseOpener::rememberServerSsl(h.settings, m_server, PgConnectParams::kSslVerifyFull,
                                      strangerCa(h.dir));
    EXPECT_FALSE(open(QStringLiteral("tess")));
    ASSERT_EQ(h.prompt.records().size(), 1);
    EXPECT_TRUE(h.prompt.last().text.startsWith(
        QStringLiteral("Error: 08001 No secure connection (SSL mode verify-full): ")));
    EXPECT_TRUE(h.prompt.last().text.contains(QStringLiteral("certificate verify failed")))
        << h.prompt.last().text.toStdString();
}
