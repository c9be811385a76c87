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
using namespace Qt::StringLiterals;

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
        env.insert(u"BRINDLEPAX_CONFIG"_s, m_home.filePath(u"config"_s));
        env.insert(u"BRINDLEPAX_DATA"_s, m_home.filePath(u"data"_s));
        if (password.isEmpty())
            env.remove(u"BXADMIN_PASSWORD"_s);
        else
            env.insert(u"BXADMIN_PASSWORD"_s, password);
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(QCoreApplication::applicationDirPath() + u"/bxadmin"_s, args);
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
    EXPECT_EQ(tool.run({u"--help"_s}).code, 0);
    EXPECT_EQ(tool.run({}).code, 2);
    EXPECT_EQ(tool.run({u"frobnicate"_s}).code, 2);
    const auto nothing = tool.run({u"info"_s});
    EXPECT_EQ(nothing.code, 2) << "nothing is remembered yet";
    EXPECT_TRUE(nothing.err.contains(u"no database is remembered"_s));

    const QString file = tool.path(u"o'brien's data/pax.db"_s);
    const auto created = tool.run({u"create"_s, u"--embedded"_s, file});
    ASSERT_EQ(created.code, 0) << created.err.toStdString();

    const auto info = tool.run({u"info"_s});
    ASSERT_EQ(info.code, 0) << info.err.toStdString();
    EXPECT_TRUE(info.out.contains(file));
    EXPECT_TRUE(info.out.contains(u"database build:  %1"_s.arg(BuildInfo::buildNumber())));
    EXPECT_TRUE(info.out.contains(u"pending:         none"_s));
    EXPECT_EQ(tool.run({u"upgrade"_s}).code, 0) << "nothing to apply is no failure";

    // Replacing needs a yes, which a run without a terminal cannot give.
    const auto again = tool.run({u"create"_s, u"--embedded"_s, file});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.err.contains(u"Brindlepax database already exists at "_s));
    EXPECT_EQ(tool.run({u"create"_s, u"--embedded"_s, file, u"--yes"_s}).code, 0);

    const auto broken = tool.path(u"broken.db"_s);
    QFile junk(broken);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(2048, 'x'));
    junk.close();
    EXPECT_EQ(tool.run({u"info"_s, u"--embedded"_s, broken}).code, 1);
    EXPECT_EQ(tool.run({u"create"_s, u"--server"_s, u"h"_s}).code, 2);
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
    m_name = bx::test::processDatabase() + u"_tool"_s;
    const QString server = u"127.0.0.1:%1"_s.arg(cluster().port);
    const QStringList create{u"create"_s, u"--server"_s, server, u"--database"_s, m_name};
    const auto noPassword = tool.run(create);
    EXPECT_EQ(noPassword.code, 1);
    EXPECT_TRUE(noPassword.err.contains(u"BXADMIN_PASSWORD"_s));

    const auto wrong = tool.run(create, u"wrong"_s);
    EXPECT_EQ(wrong.code, 1);
    EXPECT_TRUE(wrong.err.contains(u"Invalid Password or User Name."_s));

    const auto made = tool.run(create, cluster().password);
    ASSERT_EQ(made.code, 0) << made.err.toStdString();
    EXPECT_TRUE(made.err.contains(u"the password is 'vastrelume'"_s));
    const auto info = tool.run({u"info"_s}, cluster().password);
    ASSERT_EQ(info.code, 0) << info.err.toStdString();
    EXPECT_TRUE(info.out.contains(u"engine:          server"_s));
    EXPECT_TRUE(info.out.contains(u"pending:         none"_s));

    // The SSL mode select is given is remembered for the server, and used from then on.
    BX_NEED_TEST_SERVER(bx::test::missingTlsCluster());
    const QString ca = QFileInfo(*bx::test::testClusterCa()).absoluteFilePath();
    const auto selected = tool.run({u"select"_s, u"--server"_s, server, u"--database"_s, m_name,
                                    u"--sslmode"_s, u"verify-full"_s, u"--sslrootcert"_s, ca},
                                   cluster().password);
    ASSERT_EQ(selected.code, 0) << selected.err.toStdString();
    const SettingsStore settings(tool.path(u"config/MRBX.conf"_s));
    EXPECT_EQ(settings.get(SettingsKeys::serverSslSection(server), SettingsKeys::kSslMode),
              u"verify-full"_s);
    EXPECT_EQ(settings.get(SettingsKeys::serverSslSection(server), SettingsKeys::kSslRootCert), ca);
    const auto secured = tool.run({u"info"_s}, cluster().password);
    ASSERT_EQ(secured.code, 0) << secured.err.toStdString();
    EXPECT_TRUE(secured.out.contains(u"ssl mode:        verify-full (encrypted)"_s))
        << secured.out.toStdString();
}

TEST(Bxadmin, BothProgramsTellTheirVersionWithoutADisplay)
{
    EXPECT_EQ(QStringLiteral(BX_PROJECT_VERSION), BuildInfo::versionText())
        << "the package and the program name one version";
    // The X11 platform with no display to reach: a program that made its application object
    // first would abort instead of answering.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    env.remove(u"DISPLAY"_s);
    env.remove(u"WAYLAND_DISPLAY"_s);
    for (const char* program : {"brindlepax", "bxadmin"}) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationDirPath() + u'/' + QLatin1String(program),
                {u"--version"_s});
        ASSERT_TRUE(p.waitForFinished(60000)) << program;
        EXPECT_EQ(p.exitCode(), 0) << program;
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()),
                  u"Brindlepax %1\n"_s.arg(BuildInfo::versionText()))
            << program;
    }
}
