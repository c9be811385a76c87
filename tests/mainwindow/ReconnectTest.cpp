#include "mainwindow/Reconnect.h"

#include "core/Session.h"
#include "core/db/PgDatabase.h"
#include "core/db/SecondConnection.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "mainwindow/Poller.h"
#include "support/EngineFixture.h"
#include "support/FixedClock.h"
#include "support/Schema.h"
#include "support/ScriptedPrompt.h"
#include "support/TaskRows.h"
#include "tasks/cSCR.h"

#include <QDir>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

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
        ASSERT_EQ(prompt.records().size(), c.answers.size()) << c.name;
        for (const test::PromptRecord& r : prompt.records()) {
            EXPECT_EQ(r.text, kConnectionLost);
            EXPECT_EQ(r.title, QStringLiteral("Reconnect?"));
            EXPECT_EQ(r.buttons, PromptButtons::YesNo);
        }
    }
}

/**
 * Stands between the client and the test server on a thread of its own (the client's calls
 * block the thread they run on). stop() drops every connection and refuses new ones, as a
 * server that went down; start() takes them again on the same port.
 */
class Forwarder : public QObject
{
public:
    Forwarder(QString host, int port)
        : m_host(std::move(host))
        , m_port(port)
    {
        moveToThread(&m_thread);
        m_thread.start();
    }

    ~Forwarder() override
    {
        QMetaObject::invokeMethod(
            this, [this] { down(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    bool start()
    {
        bool ok = false;
        QMetaObject::invokeMethod(
            this, [&] { ok = up(); }, Qt::BlockingQueuedConnection);
        return ok;
    }

    void stop()
    {
        QMetaObject::invokeMethod(
            this, [this] { down(); }, Qt::BlockingQueuedConnection);
    }

    quint16 port() const { return m_listenPort; }

private:
    bool up()
    {
        if (!m_server) {
            m_server = new QTcpServer(this);
            connect(m_server, &QTcpServer::newConnection, this, [this] { accept(); });
        }
        const bool ok = m_server->listen(QHostAddress::LocalHost, m_listenPort);
        m_listenPort = m_server->serverPort();
        return ok;
    }

    void down()
    {
        if (m_server)
            m_server->close();
        for (QTcpSocket* s : std::as_const(m_sockets)) {
            s->abort();
            s->deleteLater();
        }
        m_sockets.clear();
    }

    void accept()
    {
        while (QTcpSocket* client = m_server->nextPendingConnection()) {
            auto* upstream = new QTcpSocket(this);
            m_sockets << client << upstream;
            const auto pipe = [](QTcpSocket* from, QTcpSocket* to) {
                connect(from, &QTcpSocket::readyRead, to,
                        [from, to] { to->write(from->readAll()); });
                connect(from, &QTcpSocket::disconnected, to, [to] { to->disconnectFromHost(); });
            };
            pipe(client, upstream);
            pipe(upstream, client);
            connect(upstream, &QTcpSocket::connected, client,
                    [client, upstream] { upstream->write(client->readAll()); });
            upstream->connectToHost(m_host, static_cast<quint16>(m_port));
        }
    }

    QThread m_thread;
    QString m_host;
    int m_port;
    QTcpServer* m_server = nullptr;
    quint16 m_listenPort = 0;
    QList<QTcpSocket*> m_sockets;
};

/** A scripted prompt that lets the test act just before each question is answered. */
class HookedPrompt final : public Prompt
{
public:
    void inform(const QString& text, const QString& title, PromptIcon icon) override
    {
        script.inform(text, title, icon);
    }
    PromptAnswer ask(const QString& text, const QString& title, PromptButtons buttons,
                     PromptIcon icon) override
    {
        if (beforeAsk)
            beforeAsk(++asked);
        return script.ask(text, title, buttons, icon);
    }
    std::optional<QString> input(const QString& text, const QString& title,
                                 const QString& def) override
    {
        return script.input(text, title, def);
    }

    test::ScriptedPrompt script;
    std::function<void(int)> beforeAsk;
    int asked = 0;
};

class ReconnectServerTest : public test::ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_admin = PgDatabase::connect(cluster());
        m_name = test::processDatabase() + QStringLiteral("_poll");
        m_admin->executeScript(QStringLiteral("DROP DATABASE IF EXISTS ") +
                               m_admin->quoteIdentifier(m_name) + QStringLiteral(" WITH (FORCE)"));
        m_admin->executeScript(QStringLiteral("CREATE DATABASE ") +
                               m_admin->quoteIdentifier(m_name));
        PgConnectParams p = cluster();
        p.database = m_name;
        direct = PgDatabase::connect(p);
        direct->executeScript(QStringLiteral("CREATE EXTENSION IF NOT EXISTS citext"));
        QDir(dir.path()).mkdir(QStringLiteral("program"));
        test::loadCurrentSchema(*direct, dir.filePath(QStringLiteral("program")));
        test::addUsers(*direct, {cluster().user});
        test::addWorkshop(*direct, 7);

        forwarder = std::make_unique<Forwarder>(cluster().host, cluster().port);
        ASSERT_TRUE(forwarder->start());
        settings.set(SettingsKeys::kSql, SettingsKeys::kSqlDbName, m_name);
        session.connection.serverFlag = true;
        session.connection.location = QStringLiteral("127.0.0.1:%1").arg(forwarder->port());
        session.user.userId = cluster().user;
        session.user.sqlPassword = cluster().password;
        session.currentWorkshopId = 7;
    }

    void TearDown() override
    {
        forwarder.reset();
        session.closeDatabase();
        direct.reset();
        if (m_admin)
            m_admin->executeScript(QStringLiteral("DROP DATABASE IF EXISTS ") +
                                   m_admin->quoteIdentifier(m_name) +
                                   QStringLiteral(" WITH (FORCE)"));
    }

    QTemporaryDir dir;
    SettingsStore settings{dir.filePath(QStringLiteral("MRBX.conf"))};
    test::FixedClock clock;
    HookedPrompt prompt;
    Session session{settings, clock};
    std::unique_ptr<Database> direct;
    std::unique_ptr<Forwarder> forwarder;

private:
    std::unique_ptr<PgDatabase> m_admin;
    QString m_name;
};

TEST_F(ReconnectServerTest, StoppedServerAsksUntilBackThenAPendingEditSaves)
{
    ASSERT_TRUE(reopenSession(session, prompt)) << prompt.script.texts().join(u'|').toStdString();
    const qlonglong number =
        test::addTaskRow(*direct, {{QStringLiteral("SCR_Title"), QStringLiteral("before")},
                                   {QStringLiteral("SCR_Owner_User_ID"), cluster().user},
                                   {QStringLiteral("SCR_Request_ID"), cluster().user},
                                   {QStringLiteral("SCR_Request_Group_ID"), 7}});
    cSCR task(session, prompt);
    ASSERT_TRUE(task.Load(number));
    task.setSCR_Title(QStringLiteral("O'Brien's edit"));

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
    EXPECT_TRUE(prompt.script.records().isEmpty());

    forwarder->stop();
    prompt.beforeAsk = [&](int asked) {
        if (asked == 2) {
            ASSERT_TRUE(forwarder->start());
        }
    };
    prompt.script.answer(PromptAnswer::Yes).answer(PromptAnswer::Yes);
    clock.advanceSeconds(30);
    poller.tick();
    ASSERT_TRUE(done.wait(30000));

    EXPECT_TRUE(reconnected);
    EXPECT_FALSE(terminated);
    EXPECT_EQ(prompt.asked, 2);
    const QStringList texts = prompt.script.texts();
    ASSERT_EQ(texts.size(), 3) << texts.join(u'|').toStdString();
    EXPECT_EQ(texts.at(0), kConnectionLost);
    EXPECT_EQ(texts.at(1),
              QStringLiteral("Server is invalid, or Internet connection is unavailable."));
    EXPECT_EQ(texts.at(2), kConnectionLost);

    // The editor kept its contents and saves on the new connection.
    EXPECT_EQ(task.SCR_Title(), QStringLiteral("O'Brien's edit"));
    ASSERT_TRUE(task.SAVE()) << prompt.script.texts().join(u'|').toStdString();
    EXPECT_EQ(
        direct->scalar(QStringLiteral("SELECT SCR_Title FROM SCR WHERE SCR_Number = ?"), {number}),
        QStringLiteral("O'Brien's edit"));

    // The poll goes on: the next heartbeat reconnects its own connection too.
    clock.advanceSeconds(30);
    poller.tick();
    ASSERT_TRUE(done.wait(10000));
    EXPECT_EQ(prompt.asked, 2);
    EXPECT_EQ(direct
                  ->scalar(QStringLiteral("SELECT COUNT(*) FROM LOGIN WHERE User_ID = ?"),
                           {cluster().user})
                  .toInt(),
              1);
}

} // namespace
