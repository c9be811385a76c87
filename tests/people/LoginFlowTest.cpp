#include "people/LoginFlow.h"

#include "core/ErrorLog.h"
#include "core/Session.h"
#include "core/db/PgDatabase.h"
#include "core/settings/SettingsStore.h"
#include "dbadmin/DatabaseCreator.h"
#include "support/EngineFixture.h"
#include "support/FixedClock.h"
#include "support/PeopleBuilders.h"
#include "support/ScriptedPrompt.h"
#include "support/ServerCleanup.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bx;
using bx::test::FixedClock;
using bx::test::ScriptedPrompt;

TEST(CommandLine, TwoWordsOrAUserIdWithThePasswordInTheEnvironmentLogOn)
{
    QString user, password;
    EXPECT_TRUE(commandLineLogon({QStringLiteral("O'Brien"), QStringLiteral("pw")}, std::nullopt,
                                 &user, &password));
    EXPECT_EQ(user, QStringLiteral("O'Brien"));
    EXPECT_EQ(password, QStringLiteral("pw"));
    EXPECT_TRUE(commandLineLogon({QStringLiteral(" a b ")}, std::nullopt, &user, &password))
        << "one quoted argument of two words";
    for (const QStringList& args :
         {QStringList{}, QStringList{QStringLiteral("a")},
          QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")},
          QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")}})
        EXPECT_FALSE(commandLineLogon(args, std::nullopt, &user, &password))
            << args.join(QLatin1Char('|')).toStdString();

    // The environment's password, also an empty one, goes with a user ID alone.
    EXPECT_TRUE(commandLineLogon({QStringLiteral("pat")}, QString(), &user, &password));
    EXPECT_EQ(user, QStringLiteral("pat"));
    EXPECT_EQ(password, QString());
    EXPECT_TRUE(commandLineLogon({QStringLiteral("pat"), QStringLiteral("typed")},
                                 QStringLiteral("env"), &user, &password));
    EXPECT_EQ(password, QStringLiteral("typed")) << "the command line's password wins";
    EXPECT_FALSE(commandLineLogon({}, QStringLiteral("env"), &user, &password));

    // Taken once: programs the client starts do not inherit it.
    qputenv(kPasswordVariable, "s3cret");
    EXPECT_EQ(takeEnvironmentPassword(), QStringLiteral("s3cret"));
    EXPECT_FALSE(qEnvironmentVariableIsSet(kPasswordVariable));
    EXPECT_EQ(takeEnvironmentPassword(), std::nullopt);
}

namespace {

/** A server database made as the wizard makes it, with a shared login for users without a role. */
class ServerLogOn : public bx::test::ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_name = bx::test::processDatabase() + QStringLiteral("_login");
        ErrorLog log(dir.filePath(QStringLiteral("QVErrorLog.txt")), clock);
        ScriptedPrompt quiet;
        DatabaseCreator creator(settings, quiet, clock, log,
                                QCoreApplication::applicationDirPath());
        ServerCreation request;
        request.server = server();
        request.adminLogin = cluster().user;
        request.adminPassword = cluster().password;
        request.database = m_name;
        request.sharedLogin = m_name + QStringLiteral("_shared");
        ASSERT_TRUE(creator.createServer(request))
            << quiet.texts().join(QLatin1Char('|')).toStdString();
        quiet.clear();
        session.connection.serverFlag = true;
        admin()->execute(
            QStringLiteral(
                "INSERT INTO LU_USER (USER_ID, User_Name, User_Password) VALUES (?, ?, ?)"),
            {QStringLiteral("O'Brien"), QStringLiteral("Pat"), bx::test::kCheapHash});
    }

    void TearDown() override
    {
        if (m_name.isEmpty())
            return;
        session.closeDatabase();
        bx::test::dropServerDatabase(*PgDatabase::connect(cluster()), m_name);
    }

    QString server() const { return QStringLiteral("127.0.0.1:%1").arg(cluster().port); }
    std::unique_ptr<PgDatabase> admin() const
    {
        PgConnectParams p = cluster();
        p.database = m_name;
        return PgDatabase::connect(p);
    }

    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(QStringLiteral("MRBX.conf"))};
    FixedClock clock;
    Session session{settings, clock};
    ScriptedPrompt prompt;
    QString m_name;
};

} // namespace

TEST_F(ServerLogOn, TheAdministratorAndAUserOfTheSharedLoginLogOn)
{
    LoginFlow flow(session, prompt, QCoreApplication::applicationDirPath());
    EXPECT_EQ(flow.logOn(server(), QStringLiteral("admin"), QStringLiteral("wrong"), false),
              LogOnOutcome::Failed);
    EXPECT_EQ(prompt.last().text, QStringLiteral("Invalid Password or User Name. "));

    // A user without a login role of his own comes in through the shared login.
    ASSERT_EQ(flow.logOn(server(), QStringLiteral("O'Brien"), QStringLiteral("Old PW"), false),
              LogOnOutcome::LoggedOn)
        << prompt.last().text.toStdString();
    EXPECT_EQ(session.user.record.userName, QStringLiteral("Pat"));
    // His password, hashed at a lower cost, is hashed anew at today's by his log-on, though the
    // shared login cannot read it.
    const QString rehashed =
        admin()
            ->scalar(QStringLiteral("SELECT User_Password FROM LU_USER WHERE USER_ID = ?"),
                     {QStringLiteral("O'Brien")})
            .toString();
    EXPECT_NE(rehashed, bx::test::kCheapHash);
    EXPECT_TRUE(StoredPassword::matches(rehashed, QStringLiteral("old pw")));
    EXPECT_FALSE(StoredPassword::needsRehash(StoredPassword::settingOf(rehashed)));

    // The administrator's own login role, whose log-on stores the four reports the database lacks;
    // from now on this machine no longer offers the shared login for this database.
    admin()->execute(QStringLiteral("DELETE FROM ATTACH WHERE Attach_Type = 'R'"));
    ASSERT_EQ(flow.logOn(server(), QStringLiteral("Admin"), QStringLiteral(" vastrelume "), false),
              LogOnOutcome::LoggedOn)
        << prompt.last().text.toStdString();
    EXPECT_TRUE(session.user.record.administrator);
    EXPECT_EQ(session.db().scalar(QStringLiteral("SELECT current_user")).toString(),
              m_name.toLower() + QStringLiteral("_admin"));
    EXPECT_EQ(admin()
                  ->scalar(QStringLiteral("SELECT count(*) FROM ATTACH WHERE Attach_Type = 'R'"))
                  .toInt(),
              4);

    EXPECT_FALSE(tryDesktopLogon(session, prompt, QStringLiteral("o'brien"), false, {}))
        << "the server engine never logs on under the desktop name";
}
