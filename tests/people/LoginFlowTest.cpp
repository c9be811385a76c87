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

using namespace Qt::StringLiterals;
using namespace bx;
using bx::test::FixedClock;
using bx::test::ScriptedPrompt;

TEST(CommandLine, TwoWordsOrAUserIdWithThePasswordInTheEnvironmentLogOn)
{
    QString user, password;
    EXPECT_TRUE(commandLineLogon({u"O'Brien"_s, u"pw"_s}, std::nullopt, &user, &password));
    EXPECT_EQ(user, u"O'Brien"_s);
    EXPECT_EQ(password, u"pw"_s);
    EXPECT_TRUE(commandLineLogon({u" a b "_s}, std::nullopt, &user, &password))
        << "one quoted argument of two words";
    for (const QStringList& args :
         {QStringList{}, QStringList{u"a"_s}, QStringList{u"a"_s, u"b"_s, u"c"_s},
          QStringList{u"a"_s, QString(), u"b"_s}})
        EXPECT_FALSE(commandLineLogon(args, std::nullopt, &user, &password))
            << args.join(QLatin1Char('|')).toStdString();

    // The environment's password, also an empty one, goes with a user ID alone.
    EXPECT_TRUE(commandLineLogon({u"pat"_s}, QString(), &user, &password));
    EXPECT_EQ(user, u"pat"_s);
    EXPECT_EQ(password, QString());
    EXPECT_TRUE(commandLineLogon({u"pat"_s, u"typed"_s}, u"env"_s, &user, &password));
    EXPECT_EQ(password, u"typed"_s) << "the command line's password wins";
    EXPECT_FALSE(commandLineLogon({}, u"env"_s, &user, &password));

    // Taken once: programs the client starts do not inherit it.
    qputenv("BRINDLEPAX_PASSWORD", "s3cret");
    EXPECT_EQ(takeEnvironmentPassword(), u"s3cret"_s);
    EXPECT_FALSE(qEnvironmentVariableIsSet("BRINDLEPAX_PASSWORD"));
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
        m_name = bx::test::processDatabase() + u"_login"_s;
        ErrorLog log(dir.filePath(u"QVErrorLog.txt"_s), clock);
        ScriptedPrompt quiet;
        DatabaseCreator creator(settings, quiet, clock, log,
                                QCoreApplication::applicationDirPath());
        ServerCreation request;
        request.server = server();
        request.adminLogin = cluster().user;
        request.adminPassword = cluster().password;
        request.database = m_name;
        request.sharedLogin = m_name + u"_shared"_s;
        ASSERT_TRUE(creator.createServer(request))
            << quiet.texts().join(QLatin1Char('|')).toStdString();
        quiet.clear();
        session.connection.serverFlag = true;
        admin()->execute(
            u"INSERT INTO LU_USER (USER_ID, User_Name, User_Password) VALUES (?, ?, ?)"_s,
            {u"O'Brien"_s, u"Pat"_s, bx::test::kCheapHash});
    }

    void TearDown() override
    {
        if (m_name.isEmpty())
            return;
        session.closeDatabase();
        bx::test::dropServerDatabase(*PgDatabase::connect(cluster()), m_name);
    }

    QString server() const { return u"127.0.0.1:%1"_s.arg(cluster().port); }
    std::unique_ptr<PgDatabase> admin() const
    {
        PgConnectParams p = cluster();
        p.database = m_name;
        return PgDatabase::connect(p);
    }

    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(u"MRBX.conf"_s)};
    FixedClock clock;
    Session session{settings, clock};
    ScriptedPrompt prompt;
    QString m_name;
};

} // namespace

TEST_F(ServerLogOn, TheAdministratorAndAUserOfTheSharedLoginLogOn)
{
    LoginFlow flow(session, prompt, QCoreApplication::applicationDirPath());
    EXPECT_EQ(flow.logOn(server(), u"admin"_s, u"wrong"_s, false), LogOnOutcome::Failed);
    EXPECT_EQ(prompt.last().text, u"Invalid Password or User Name. "_s);

    // A user without a login role of his own comes in through the shared login.
    ASSERT_EQ(flow.logOn(server(), u"O'Brien"_s, u"Old PW"_s, false), LogOnOutcome::LoggedOn)
        << prompt.last().text.toStdString();
    EXPECT_EQ(session.user.record.userName, u"Pat"_s);
    // His password, hashed at a lower cost, is hashed anew at today's by his log-on, though the
    // shared login cannot read it.
    const QString rehashed =
        admin()
            ->scalar(u"SELECT User_Password FROM LU_USER WHERE USER_ID = ?"_s, {u"O'Brien"_s})
            .toString();
    EXPECT_NE(rehashed, bx::test::kCheapHash);
    EXPECT_TRUE(StoredPassword::matches(rehashed, u"old pw"_s));
    EXPECT_FALSE(StoredPassword::needsRehash(StoredPassword::settingOf(rehashed)));

    // The administrator's own login role, whose log-on stores the four reports the database lacks;
    // from now on this machine no longer offers the shared login for this database.
    admin()->execute(u"DELETE FROM ATTACH WHERE Attach_Type = 'R'"_s);
    ASSERT_EQ(flow.logOn(server(), u"Admin"_s, u" vastrelume "_s, false), LogOnOutcome::LoggedOn)
        << prompt.last().text.toStdString();
    EXPECT_TRUE(session.user.record.administrator);
    EXPECT_EQ(session.db().scalar(u"SELECT current_user"_s).toString(),
              m_name.toLower() + u"_admin"_s);
    EXPECT_EQ(admin()->scalar(u"SELECT count(*) FROM ATTACH WHERE Attach_Type = 'R'"_s).toInt(), 4);

    EXPECT_FALSE(tryDesktopLogon(session, prompt, u"o'brien"_s, false, {}))
        << "the server engine never logs on under the desktop name";
}
