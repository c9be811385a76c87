#include "core/BuildInfo.h"
#include "core/db/PgDatabase.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "support/EngineFixture.h"
#include "support/ServerCleanup.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bx;

namespace {

/** Runs the tool with settings and data folders of its own, as a user on a fresh machine. */
class Bxadmin
{
public:
    struct Result
    {
        int code = -1;
        QString out;
        QString err;
    };

    Result run(const QStringList& args, const QString& password = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BRINDLEPAX_CONFIG"), m_home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("BRINDLEPAX_DATA"), m_home.filePath(QStringLiteral("data")));
        if (password.isEmpty())
            env.remove(QStringLiteral("BXADMIN_PASSWORD"));
        else
            env.insert(QStringLiteral("BXADMIN_PASSWORD"), password);
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/bxadmin"), args);
        EXPECT_TRUE(p.waitForFinished(120000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    QString path(const QString& name) const { return m_home.filePath(name); }

private:
    QTemporaryDir m_home;
};

} // namespace

TEST(Bxadmin, CreatesAnEmbeddedDatabaseThatInfoThenDescribes)
{
    Bxadmin tool;
    EXPECT_EQ(tool.run({QStringLiteral("--help")}).code, 0);
    EXPECT_EQ(tool.run({}).code, 2);
    EXPECT_EQ(tool.run({QStringLiteral("frobnicate")}).code, 2);
    const auto nothing = tool.run({QStringLiteral("info")});
    EXPECT_EQ(nothing.code, 2) << "nothing is remembered yet";
    EXPECT_TRUE(nothing.err.contains(QStringLiteral("no database is remembered")));

    const QString file = tool.path(QStringLiteral("o'brien's data/pax.db"));
    const auto created = tool.run({QStringLiteral("create"), QStringLiteral("--embedded"), file});
    ASSERT_EQ(created.code, 0) << created.err.toStdString();

    const auto info = tool.run({QStringLiteral("info")});
    ASSERT_EQ(info.code, 0) << info.err.toStdString();
    EXPECT_TRUE(info.out.contains(file));
    EXPECT_TRUE(
        info.out.contains(QStringLiteral("database build:  %1").arg(BuildInfo::buildNumber())));
    EXPECT_TRUE(info.out.contains(QStringLiteral("pending:         none")));
    EXPECT_EQ(tool.run({QStringLiteral("upgrade")}).code, 0) << "nothing to apply is no failure";

    // Replacing needs a yes, which a run without a terminal cannot give.
    const auto again = tool.run({QStringLiteral("create"), QStringLiteral("--embedded"), file});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.err.contains(QStringLiteral("Brindlepax database already exists at ")));
    EXPECT_EQ(tool.run({QStringLiteral("create"), QStringLiteral("--embedded"), file,
                        QStringLiteral("--yes")})
                  .code,
              0);

    const auto broken = tool.path(QStringLiteral("broken.db"));
    QFile junk(broken);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(2048, 'x'));
    junk.close();
    EXPECT_EQ(tool.run({QStringLiteral("info"), QStringLiteral("--embedded"), broken}).code, 1);
    EXPECT_EQ(
        tool.run({QStringLiteral("create"), QStringLiteral("--server"), QStringLiteral("h")}).code,
        2);
}

namespace {

class BxadminServer : public bx::test::ServerTest
{
protected:
    void TearDown() override
    {
        if (m_name.isEmpty())
            return;
        bx::test::dropServerDatabase(*PgDatabase::connect(cluster()), m_name);
    }
    QString m_name;
};

} // namespace

TEST_F(BxadminServer, CreatesAServerDatabaseWithThePasswordFromTheEnvironment)
{
    Bxadmin tool;
    m_name = bx::test::processDatabase() + QStringLiteral("_tool");
    const QString server = QStringLiteral("127.0.0.1:%1").arg(cluster().port);
    const QStringList create{QStringLiteral("create"), QStringLiteral("--server"), server,
                             QStringLiteral("--database"), m_name};
    const auto noPassword = tool.run(create);
    EXPECT_EQ(noPassword.code, 1);
    EXPECT_TRUE(noPassword.err.contains(QStringLiteral("BXADMIN_PASSWORD")));

    const auto wrong = tool.run(create, QStringLiteral("wrong"));
    EXPECT_EQ(wrong.code, 1);
    EXPECT_TRUE(wrong.err.contains(QStringLiteral("Invalid Password or User Name.")));

    const auto made = tool.run(create, cluster().password);
    ASSERT_EQ(made.code, 0) << made.err.toStdString();
    EXPECT_TRUE(made.err.contains(QStringLiteral("the password is 'vastrelume'")));
    const auto info = tool.run({QStringLiteral("info")}, cluster().password);
    ASSERT_EQ(info.code, 0) << info.err.toStdString();
    EXPECT_TRUE(info.out.contains(QStringLiteral("engine:          server")));
    EXPECT_TRUE(info.out.contains(QStringLiteral("pending:         none")));

    // The SSL mode select is given is remembered for the server, and used from then on.
    BX_NEED_TEST_SERVER(bx::test::missingTlsCluster());
    const QString ca = QFileInfo(*bx::test::testClusterCa()).absoluteFilePath();
    const auto selected =
        tool.run({QStringLiteral("select"), QStringLiteral("--server"), server,
                  QStringLiteral("--database"), m_name, QStringLiteral("--sslmode"),
                  QStringLiteral("verify-full"), QStringLiteral("--sslrootcert"), ca},
                 cluster().password);
    ASSERT_EQ(selected.code, 0) << selected.err.toStdString();
    const SettingsStore settings(tool.path(QStringLiteral("config/MRBX.conf")));
    EXPECT_EQ(settings.get(SettingsKeys::serverSslSection(server), SettingsKeys::kSslMode),
              QStringLiteral("verify-full"));
    EXPECT_EQ(settings.get(SettingsKeys::serverSslSection(server), SettingsKeys::kSslRootCert), ca);
    const auto secured = tool.run({QStringLiteral("info")}, cluster().password);
    ASSERT_EQ(secured.code, 0) << secured.err.toStdString();
    EXPECT_TRUE(secured.out.contains(QStringLiteral("ssl mode:        verify-full (encrypted)")))
        << secured.out.toStdString();
}

TEST(Bxadmin, BothProgramsTellTheirVersionWithoutADisplay)
{
    EXPECT_EQ(QStringLiteral(BX_PROJECT_VERSION), BuildInfo::versionText())
        << "the package and the program name one version";
    // The X11 platform with no display to reach: a program that made its application object
    // first would abort instead of answering.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    for (const char* program : {"brindlepax", "bxadmin"}) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(program),
                {QStringLiteral("--version")});
        ASSERT_TRUE(p.waitForFinished(60000)) << program;
        EXPECT_EQ(p.exitCode(), 0) << program;
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()),
                  QStringLiteral("Brindlepax %1\n").arg(BuildInfo::versionText()))
            << program;
    }
}
