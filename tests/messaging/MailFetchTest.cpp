#include "messaging/MailFetch.h"

#include "core/db/Database.h"
#include "core/settings/MailPlainLogin.h"
#include "support/RefuseInserts.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>

#include <cstdlib>
#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

QByteArray message(const QByteArray& subject, const QByteArray& body = "Hello\r\n")
{
    return "From: \"O'Brien, Pat\" <pat@example.org>\r\nSubject: " + subject +
           "\r\nDate: Tue, 05 Mar 2024 10:00:00 +0000\r\n\r\n" + body;
}

QByteArray withAttachment(const QByteArray& subject)
{
    return "Subject: " + subject +
           "\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
           "--b\r\nContent-Type: text/plain\r\n\r\nSee attached.\r\n"
           "--b\r\nContent-Type: application/pdf; name=\"a.pdf\"\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK\r\n--b--\r\n";
}

// Needs the POP3 test server (scripts/pop3-test-server.sh): BX_TEST_POP3 names it and
// BX_TEST_POP3_DIR its folder. Each test gets a mailbox of its own there.
class MailFetchTest : public test::SessionTest
{
protected:
    void arrange() override
    {
        const QString server = qEnvironmentVariable("BX_TEST_POP3");
        const QString dir = qEnvironmentVariable("BX_TEST_POP3_DIR");
        BX_NEED_TEST_SERVER(server.isEmpty() || dir.isEmpty()
                                ? u"BX_TEST_POP3 is not set: start scripts/pop3-test-server.sh"_s
                                : QString());
        static int counter = 0;
        const QString mailbox = u"bx%1x%2"_s.arg(QCoreApplication::applicationPid()).arg(++counter);
        m_maildir = dir + u"/mail/"_s + mailbox;
        for (const char* sub : {"", "/new", "/cur", "/tmp"}) {
            const QString path = m_maildir + QLatin1String(sub);
            ASSERT_TRUE(QDir().mkpath(path));
            // The server reads mail as an unprivileged user.
            QFile::setPermissions(path, QFileDevice::Permissions(0x7777));
        }
        QFile password(dir + u"/password"_s);
        ASSERT_TRUE(password.open(QIODevice::ReadOnly));
        QFile pop3sPort(dir + u"/pop3s-port"_s);
        ASSERT_TRUE(pop3sPort.open(QIODevice::ReadOnly));
        m_pop3s = u"pop3s://127.0.0.1:"_s + QString::fromLatin1(pop3sPort.readAll().trimmed());
        QFile plainPort(dir + u"/plain-port"_s);
        ASSERT_TRUE(plainPort.open(QIODevice::ReadOnly));
        m_plain = u"127.0.0.1:"_s + QString::fromLatin1(plainPort.readAll().trimmed());

        test::addWorkshop(db(), 7);
        test::addWorkshop(db(), 9);
        request.userId = u"ann"_s;
        request.workshopId = 7;
        request.popServer = server;
        request.popUser = mailbox;
        request.popPassword = QString::fromUtf8(password.readAll().trimmed());
        request.caFile = dir + u"/ca.pem"_s;
        request.clock = &clock;
    }

    void TearDown() override
    {
        if (!m_maildir.isEmpty()) {
            QDir(m_maildir).removeRecursively();
        }
        SessionTest::TearDown();
    }

    // The server numbers new messages in the order of the time their file names begin with.
    QString fileName(const QString& name)
    {
        if (!m_files.contains(name)) {
            m_files.insert(name, u"%1.%2"_s.arg(1700000000 + m_files.size()).arg(name));
        }
        return m_files.value(name);
    }

    void put(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_maildir + u"/new/"_s + fileName(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    void putLarge(const QString& name, qint64 bytes)
    {
        QFile file(m_maildir + u"/new/"_s + fileName(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_GT(file.write(message(name.toUtf8(), {})), 0);
        const QByteArray line = QByteArray(998, 'a') + "\r\n";
        for (qint64 written = 0; written < bytes; written += line.size()) {
            ASSERT_EQ(file.write(line), line.size());
        }
    }

    /** Whether the message dropped in as `name` is still on the server. */
    bool onServer(const QString& name) const
    {
        const QString file = m_files.value(name);
        for (const char* sub : {"/new", "/cur"}) {
            const QStringList files = QDir(m_maildir + QLatin1String(sub)).entryList(QDir::Files);
            for (const QString& f : files) {
                if (f == file || f.startsWith(file + u':')) {
                    return true;
                }
            }
        }
        return false;
    }

    QStringList storedTitles()
    {
        QStringList titles;
        const RecordSet rs = db().query(u"SELECT Title FROM MAIL ORDER BY Mail_Number"_s);
        for (const QVariantList& row : rs.rows()) {
            titles << row.value(0).toString();
        }
        return titles;
    }

    int fetch(const std::function<void(int, int)>& progress = {})
    {
        const Outcome<int> outcome = fetchMail(session.db(), request, stop, progress);
        EXPECT_TRUE(outcome) << (outcome.refusal() ? outcome.refusal()->message.toStdString()
                                                   : std::string("declined"));
        return outcome ? *outcome : -1;
    }

    FetchRequest request;
    std::atomic_bool stop{false};
    QString m_maildir;
    QString m_pop3s;
    QString m_plain; ///< the same mailboxes without TLS
    QHash<QString, QString> m_files;
};

TEST_P(MailFetchTest, LeaveOffDeletesOnlyWhatTheMailboxKeepsWhole)
{
    put(u"plain"_s, message("Plain"));
    put(u"notice"_s, message("BX#42 task routed"));
    put(u"attached"_s, withAttachment("Attached"));
    putLarge(u"huge"_s, 30 * 1024 * 1024);

    QList<std::pair<int, int>> steps;
    EXPECT_EQ(fetch([&](int done, int total) { steps.append({done, total}); }), 2);
    EXPECT_EQ(steps.last(), std::make_pair(4, 4));
    EXPECT_EQ(storedTitles(), (QStringList{u"Plain"_s, u"Attached"_s}));
    EXPECT_FALSE(onServer(u"plain"_s));
    EXPECT_TRUE(onServer(u"notice"_s));
    EXPECT_TRUE(onServer(u"attached"_s));
    EXPECT_TRUE(onServer(u"huge"_s));

    const RecordSet rs = db().query(u"SELECT * FROM MAIL WHERE Title = ?"_s, {u"Plain"_s});
    ASSERT_EQ(rs.rowCount(), 1);
    EXPECT_EQ(rs.text(u"Owner_User_ID"_s), u"ann"_s);
    EXPECT_EQ(rs.text(u"Sender"_s), u"O'Brien, Pat <pat@example.org>"_s);
    EXPECT_EQ(rs.text(u"Body"_s), u"Hello\n"_s);
    EXPECT_EQ(rs.dateTime(u"Date"_s), naive(QDate(2024, 3, 5), QTime(10, 0)));
    EXPECT_FALSE(rs.flag(u"Viewed"_s));
    EXPECT_FALSE(rs.flag(u"Sent"_s));
    EXPECT_EQ(rs.number(u"Mail_Folder_Number"_s), 0);
    EXPECT_EQ(rs.number(u"SourceID"_s), 0);
    EXPECT_EQ(rs.number(u"group_id"_s), 7);
    EXPECT_FALSE(rs.text(u"POPID"_s).isEmpty());

    // What stayed is not stored twice.
    EXPECT_EQ(fetch(), 0);
    EXPECT_EQ(storedTitles().size(), 2);
    EXPECT_TRUE(onServer(u"attached"_s));
}

TEST_P(MailFetchTest, LeaveOnKeepsMailAndStoresItOnceInAnyWorkshop)
{
    request.leaveOnServer = true;
    request.workshopId = 0;
    put(u"one"_s, message("=?ISO-8859-1?Q?Gr=FC=DFe?="));
    put(u"two"_s, message("Two"));

    EXPECT_EQ(fetch(), 2);
    EXPECT_TRUE(onServer(u"one"_s));
    EXPECT_TRUE(onServer(u"two"_s));
    EXPECT_TRUE(db().query(u"SELECT * FROM MAIL WHERE group_id IS NOT NULL"_s).isEmpty());

    request.workshopId = 9;
    put(u"three"_s, message("Three"));
    EXPECT_EQ(fetch(), 1);
    EXPECT_EQ(storedTitles(), (QStringList{QString::fromUtf8("Grüße"), u"Two"_s, u"Three"_s}));
}

// Any failure to reach or enter the mailbox is reported with the server's name and changes
// nothing; certificates are checked on both ways to TLS.
TEST_P(MailFetchTest, FailuresStoreAndDeleteNothing)
{
    put(u"one"_s, message("One"));
    const QString plain = request.popServer;
    const QString password = request.popPassword;
    const QString ca = request.caFile;
    const struct
    {
        const char* what;
        QString server;
        QString password;
        QString caFile;
    } cases[] = {
        {"wrong password", plain, u"wrong"_s, ca},
        {"untrusted certificate after STARTTLS", plain, password, QString()},
        {"untrusted certificate on pop3s", m_pop3s, password, QString()},
        {"nothing listening", u"127.0.0.1:1"_s, password, ca},
    };
    for (const auto& c : cases) {
        request.popServer = c.server;
        request.popPassword = c.password;
        request.caFile = c.caFile;
        const Outcome<int> outcome = fetchMail(session.db(), request, stop);
        ASSERT_TRUE(outcome.refusal().has_value()) << c.what;
        const QString prefix = u"Mail could not be fetched from "_s + c.server + u": "_s;
        EXPECT_TRUE(outcome.refusal()->message.startsWith(prefix) &&
                    outcome.refusal()->message.size() > prefix.size())
            << c.what << ": " << outcome.refusal()->message.toStdString();
        EXPECT_TRUE(storedTitles().isEmpty()) << c.what;
        EXPECT_TRUE(onServer(u"one"_s)) << c.what;
    }

    request.popServer = m_pop3s;
    request.popPassword = password;
    request.caFile = ca;
    EXPECT_EQ(fetch(), 1);
    EXPECT_FALSE(onServer(u"one"_s));
}

// A message is deleted from the server only once it is stored.
TEST_P(MailFetchTest, AFailedStoreFailsTheFetchAndLeavesTheMessageOnTheServer)
{
    put(u"one"_s, message("One"));
    test::refuseInserts(db(), u"MAIL"_s);
    EXPECT_THROW(fetchMail(session.db(), request, stop), DbError);
    EXPECT_TRUE(storedTitles().isEmpty());
    EXPECT_TRUE(onServer(u"one"_s));
}

// The password goes out over TLS only, unless an administrator allowed the server otherwise.
TEST_P(MailFetchTest, APasswordGoesOverTlsOnlyUnlessTheAdministratorAllowsTheServer)
{
    UserRecord admin;
    admin.userId = u"admin"_s;
    const struct
    {
        const char* what;
        QString server;
        bool allowed;
        int stored; ///< -1: refused
    } cases[] = {
        {"no TLS", m_plain, false, -1},
        {"STARTTLS", request.popServer, false, 2},
        {"no TLS, allowed in clear", m_plain, true, 1},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(MailPlainLogin::setAllowed(db(), admin, MailPlainLogin::Service::Pop3,
                                                c.server, c.allowed));
        const QString name = u"m%1"_s.arg(++i);
        put(name, message(name.toLatin1()));
        request.popServer = c.server;
        const Outcome<int> outcome = fetchMail(session.db(), request, stop);
        if (c.stored < 0) {
            ASSERT_TRUE(outcome.refusal().has_value());
            EXPECT_TRUE(outcome.refusal()->message.startsWith(u"Mail could not be fetched from "_s +
                                                              c.server + u": "_s +
                                                              MailPlainLogin::kNoEncryption))
                << outcome.refusal()->message.toStdString();
            EXPECT_TRUE(onServer(name));
        } else {
            EXPECT_EQ(outcome ? *outcome : -1, c.stored);
            EXPECT_FALSE(onServer(name));
        }
    }
}

// A stop between two messages keeps what was stored and deletes only that from the server.
TEST_P(MailFetchTest, StopKeepsWhatWasStoredAndDeletesOnlyThat)
{
    for (const char* name : {"m1", "m2", "m3"})
        put(QLatin1String(name), message(name));
    EXPECT_EQ(fetch([&](int done, int) { stop = done == 1; }), 1);
    EXPECT_EQ(storedTitles(), QStringList{u"m1"_s});
    EXPECT_FALSE(onServer(u"m1"_s));
    EXPECT_TRUE(onServer(u"m2"_s));
    EXPECT_TRUE(onServer(u"m3"_s));
}

BX_INSTANTIATE_ENGINES(MailFetchTest);

} // namespace
