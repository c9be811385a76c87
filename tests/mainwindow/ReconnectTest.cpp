#include "mainwindow/Reconnect.h"

#include "core/Session.h"
#include "core/db/PgDatabase.h"
#include "core/db/SecondConnection.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "mainwindow/Poller.h"
#include "support/ActingPrompt.h"
#include "support/EngineFixture.h"
#include "support/FixedClock.h"
#include "support/Schema.h"
#include "support/ScriptedPrompt.h"
#include "support/TaskRows.h"
#include "tasks/cSCR.h"

#include <QDir>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

TEST(AskToReconnectTest, AsksUntilReopenedOrTerminated)
{
    struct Case
    {
        const char* name;
        QList<PromptAnswer> answers;
        QList<bool> reopens; ///< results of the reopen attempts, in order
        bool reconnected;
        bool terminated;
    };
    const Case cases[] = {
        {"no at once", {PromptAnswer::No}, {}, false, true},
        {"yes, works", {PromptAnswer::Yes}, {true}, true, false},
        {"yes twice, second works",
         {PromptAnswer::Yes, PromptAnswer::Yes},
         {false, true},
         true,
         false},
        {"yes fails, then no", {PromptAnswer::Yes, PromptAnswer::No}, {false}, false, true},
    };
    for (const Case& c : cases) {
        test::ScriptedPrompt prompt;
        for (PromptAnswer a : c.answers)
            prompt.answer(a);
        QList<bool> reopens = c.reopens;
        bool terminated = false;
        const bool ok = askToReconnect(
            prompt, [&] { return reopens.takeFirst(); }, [&] { terminated = true; });
        EXPECT_EQ(ok, c.reconnected) << c.name;
        EXPECT_EQ(terminated, c.terminated) << c.name;
        EXPECT_TRUE(reopens.isEmpty()) << c.name;
        EXPECT_EQ(prompt.records().size(), c.answers.size()) << c.name;
    }
}

class ReconnectServerTest : public test::ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_admin = PgDatabase::connect(cluster());
        m_name = test::processDatabase() + u"_poll"_s;
        m_admin->executeScript(u"DROP DATABASE IF EXISTS "_s + m_admin->quoteIdentifier(m_name) +
                               u" WITH (FORCE)"_s);
        m_admin->executeScript(u"CREATE DATABASE "_s + m_admin->quoteIdentifier(m_name));
        PgConnectParams p = cluster();
        p.database = m_name;
        direct = PgDatabase::connect(p);
        direct->executeScript(u"CREATE EXTENSION IF NOT EXISTS citext"_s);
        QDir(dir.path()).mkdir(u"program"_s);
        test::loadCurrentSchema(*direct, dir.filePath(u"program"_s));
        test::addUsers(*direct, {cluster().user});
        test::addWorkshop(*direct, 7);

        settings.set(SettingsKeys::kSql, SettingsKeys::kSqlDbName, m_name);
        session.connection.serverFlag = true;
        startServer();
        session.user.userId = cluster().user;
        session.user.sqlPassword = cluster().password;
        session.currentWorkshopId = 7;
    }

    /**
     * As a server that went down: every connection to the database but the test's own is dropped,
     * and the session's address is one where nothing listens, so reconnecting fails.
     */
    void stopServer()
    {
        QTcpServer unused;
        ASSERT_TRUE(unused.listen(QHostAddress::LocalHost));
        session.connection.location = u"%1:%2"_s.arg(cluster().host).arg(unused.serverPort());
        unused.close();
        direct->query(u"SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                      "WHERE datname = current_database() AND pid <> pg_backend_pid()"_s);
    }

    /** The server is back: the session's address reaches it again. */
    void startServer()
    {
        session.connection.location = u"%1:%2"_s.arg(cluster().host).arg(cluster().port);
    }

    void TearDown() override
    {
        session.closeDatabase();
        direct.reset();
        if (m_admin)
            m_admin->executeScript(u"DROP DATABASE IF EXISTS "_s +
                                   m_admin->quoteIdentifier(m_name) + u" WITH (FORCE)"_s);
    }

    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(u"MRBX.conf"_s)};
    test::FixedClock clock;
    test::ActingPrompt prompt; ///< answers Yes to every question
    int asked = 0;
    Session session{settings, clock};
    std::unique_ptr<Database> direct;

private:
    std::unique_ptr<PgDatabase> m_admin;
    QString m_name;
};

TEST_F(ReconnectServerTest, StoppedServerAsksUntilBackThenAPendingEditSaves)
{
    ASSERT_TRUE(reopenSession(session, prompt)) << prompt.shown.join(u'|').toStdString();
    const qlonglong number = test::addTaskRow(*direct, {{u"SCR_Title"_s, u"before"_s},
                                                        {u"SCR_Owner_User_ID"_s, cluster().user},
                                                        {u"SCR_Request_ID"_s, cluster().user},
                                                        {u"SCR_Request_Group_ID"_s, 7}});
    cSCR task(session, prompt);
    ASSERT_TRUE(task.Load(number));
    task.setSCR_Title(u"O'Brien's edit"_s);

    Poller poller(clock, std::make_unique<DatabasePollBackend>(secondConnectionTo(session.db())));
    poller.setUserId(session.user.userId);
    poller.setDatabaseOpen([&] { return session.isOpen(); });
    bool terminated = false;
    bool reconnected = false;
    QObject::connect(&poller, &Poller::connectionLost, [&](const QString&) {
        reconnected = askToReconnect(
            prompt, [&] { return reopenSession(session, prompt); }, [&] { terminated = true; });
    });
    poller.start(0);
    clock.advanceSeconds(30);
    QSignalSpy done(&poller, &Poller::tickFinished);
    poller.tick();
    ASSERT_TRUE(done.wait(10000)); // the first heartbeat works
    EXPECT_TRUE(prompt.shown.isEmpty());

    stopServer();
    prompt.whileAsked = [&] {
        if (++asked == 2)
            startServer();
    };
    clock.advanceSeconds(30);
    poller.tick();
    ASSERT_TRUE(done.wait(30000));

    EXPECT_TRUE(reconnected);
    EXPECT_FALSE(terminated);
    EXPECT_EQ(asked, 2);
    const QStringList texts = prompt.shown;
    ASSERT_EQ(texts.size(), 3) << texts.join(u'|').toStdString();
    EXPECT_EQ(
        texts.at(0),
        u"Your Brindlepax connection has been lost. Would you like to try to reconnect?  Press 'No' to terminate Brindlepax."_s);
    EXPECT_EQ(texts.at(1), u"Server is invalid, or Internet connection is unavailable."_s);
    EXPECT_EQ(
        texts.at(2),
        u"Your Brindlepax connection has been lost. Would you like to try to reconnect?  Press 'No' to terminate Brindlepax."_s);

    // The editor kept its contents and saves on the new connection.
    EXPECT_EQ(task.SCR_Title(), u"O'Brien's edit"_s);
    ASSERT_TRUE(task.SAVE()) << prompt.shown.join(u'|').toStdString();
    EXPECT_EQ(direct->scalar(u"SELECT SCR_Title FROM SCR WHERE SCR_Number = ?"_s, {number}),
              u"O'Brien's edit"_s);

    // The poll goes on: the next heartbeat reconnects its own connection too.
    clock.advanceSeconds(30);
    poller.tick();
    ASSERT_TRUE(done.wait(10000));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(
        direct->scalar(u"SELECT COUNT(*) FROM LOGIN WHERE User_ID = ?"_s, {cluster().user}).toInt(),
        1);
}

} // namespace
