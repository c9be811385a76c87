#include "messaging/OutboxSender.h"

#include "core/Clock.h"
#include "core/db/Database.h"
#include "core/db/RecordSet.h"
#include "core/db/SecondConnection.h"
#include "core/settings/MailPlainLogin.h"
#include "messaging/Outbox.h"
#include "support/SessionTest.h"
#include "support/SinkMail.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QUuid>

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <tuple>

namespace {

using namespace bx;
using namespace Qt::StringLiterals;
using outbox::deliverDue;
using outbox::QueuedMail;
using outbox::SenderContext;

using test::partText;
using test::sinkMessages;

QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QString env(const char* name)
{
    return qEnvironmentVariable(name);
}

/**
 * Delivery through the test mail servers of scripts/smtp-test-server.sh; skipped without them,
 * failed under CI. Each test writes to recipients of its own, so that the sink's other messages
 * do not count.
 */
class OutboxSenderTest : public test::CurrentSchemaTest
{
protected:
    void arrange() override { BX_NEED_TEST_SERVER(test::mailServersMissing()); }

    /** A recipient no other test writes to. */
    static QString recipient(const char* name)
    {
        return QString::fromLatin1(name) + u'.' +
               QUuid::createUuid().toString(QUuid::Id128).left(12) + u"@example.org"_s;
    }

    QueuedMail mail(const QString& to, const QString& subject = u"BX#17 Printer"_s)
    {
        QueuedMail m;
        m.recipient = to;
        m.senderName = text("Zoë Ørsted");
        m.senderAddress = u"zoe@example.org"_s;
        m.subject = subject;
        m.body = u"Title: Printer\n"_s;
        return m;
    }

    qlonglong queue(const QueuedMail& m, const QString& by = u"ann"_s,
                    const QDateTime& at = QDateTime())
    {
        const auto number = outbox::queue(db(), m, by, at.isValid() ? at : now);
        EXPECT_TRUE(number);
        return number ? *number : 0;
    }

    SenderContext context(const QString& server, const QDateTime& at = QDateTime())
    {
        SenderContext ctx;
        ctx.userId = u"ann"_s;
        ctx.shared.server = server;
        ctx.shared.timeoutSeconds = 2;
        ctx.nowUtc = at.isValid() ? at : now;
        return ctx;
    }

    RecordSet row(qlonglong number)
    {
        return db().query(u"SELECT State, Attempts, Next_Attempt, Last_Error, "
                          "Sent_Date, Claim_Token FROM MAIL_OUTBOX WHERE Outbox_Number = ?"_s,
                          {number});
    }

    QString state(qlonglong number) { return row(number).text(u"State"_s); }

    void allowPlainLogin(const QString& server, bool allow = true)
    {
        UserRecord admin;
        admin.userId = u"admin"_s;
        ASSERT_FALSE(
            MailPlainLogin::setAllowed(db(), admin, MailPlainLogin::Service::Smtp, server, allow));
    }

    /** The logins the test servers were given so far, "PORT LOGIN" each. */
    static QList<QByteArray> logins()
    {
        QFile file(env("BX_TEST_SMTP_LOGINS"));
        return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
    }

    const QDateTime now{QDate(2026, 12, 7), QTime(9, 30), Qt::UTC};
    const QString down = u"127.0.0.1:1"_s;
};

TEST_P(OutboxSenderTest, TheSinkGetsWhatWasQueuedAndNoHeaderFromTheSubject)
{
    const QString to = recipient("text");
    QueuedMail m = mail(to, text("Zoë Ørsted — 東京 ✓"));
    m.body = text("Zeile eins\n.\n") + QString(2000, u'x') + text("\nÄnde\n");
    m.attachName = u"task.ics"_s;
    m.attachType = u"text/calendar; method=PUBLISH"_s;
    m.attachText = text("BEGIN:VCALENDAR\r\nSUMMARY:Zoë\r\nEND:VCALENDAR\r\n");
    const qlonglong first = queue(m);
    const QString bccTo = recipient("bcc");
    const qlonglong second = queue(mail(bccTo, u"Hi\r\nBcc: x@example.org"_s));

    const auto report = deliverDue(db(), context(env("BX_TEST_SMTP")));
    EXPECT_EQ(report.sent, 2) << report.firstError.toStdString();
    EXPECT_EQ(state(second), u"S"_s);
    EXPECT_EQ(row(first).value(u"Sent_Date"_s).toDateTime(), now);

    const auto got = sinkMessages(to);
    ASSERT_EQ(got.size(), 1);
    GMimeMessage* message = got.first().get();
    EXPECT_EQ(text(g_mime_message_get_subject(message)), m.subject);
    GMimeObject* top = g_mime_message_get_mime_part(message);
    ASSERT_TRUE(GMIME_IS_MULTIPART(top));
    ASSERT_EQ(g_mime_multipart_get_count(GMIME_MULTIPART(top)), 2);
    EXPECT_EQ(partText(g_mime_multipart_get_part(GMIME_MULTIPART(top), 0)), m.body);
    GMimeObject* ics = g_mime_multipart_get_part(GMIME_MULTIPART(top), 1);
    EXPECT_STREQ(g_mime_part_get_filename(GMIME_PART(ics)), "task.ics");
    EXPECT_STREQ(g_mime_object_get_content_type_parameter(ics, "method"), "PUBLISH");
    EXPECT_EQ(partText(ics), QString(m.attachText).remove(u'\r'));

    const auto bcc = sinkMessages(bccTo);
    ASSERT_EQ(bcc.size(), 1);
    EXPECT_EQ(g_mime_object_get_header(GMIME_OBJECT(bcc.first().get()), "Bcc"), nullptr);
    EXPECT_TRUE(sinkMessages(u"x@example.org"_s).isEmpty());
}

// TLS when the server offers it, with its certificate checked. A password goes out over TLS only,
// unless an administrator allowed the server otherwise. Without a login, a server without TLS
// still gets the mail (the sink above).
TEST_P(OutboxSenderTest, TlsIsCheckedAndALoginGoesOverItOnlyUnlessTheAdministratorAllows)
{
    const QString plain = env("BX_TEST_SMTP_AUTH");
    const QString starttls = u"smtp://"_s + env("BX_TEST_SMTP_STARTTLS");
    const QString smtps = u"smtps://"_s + env("BX_TEST_SMTPS");
    const QString ca = env("BX_TEST_SMTP_CA");
    const struct
    {
        const char* what;
        QString server;
        bool login;
        bool allowed;
        QString caFile;
        QString error; ///< empty: sent
    } cases[] = {
        {"STARTTLS", starttls, false, false, ca, {}},
        {"STARTTLS, unknown certificate", starttls, false, false, {}, u"certificate"_s},
        {"TLS from the start", smtps, false, false, ca, {}},
        {"login, no STARTTLS", plain, true, false, ca, MailPlainLogin::kNoEncryption},
        {"login, no STARTTLS, allowed in clear", plain, true, true, ca, {}},
        {"login, STARTTLS", starttls, true, false, ca, {}},
        {"login, TLS from the start", smtps, true, false, ca, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const bool sent = c.error.isEmpty();
        allowPlainLogin(c.server, c.allowed);
        const qlonglong n = queue(mail(recipient("tls")));
        SenderContext ctx = context(c.server);
        ctx.shared.caFile = c.caFile;
        // A login of this case alone: other test programs use the servers at the same time.
        const QString user = u"pat+"_s + QUuid::createUuid().toString(QUuid::Id128).left(12);
        if (c.login) {
            ctx.shared.auth = true;
            ctx.shared.user = user;
            ctx.shared.password = u"secret1"_s;
        }
        const auto report = deliverDue(db(), ctx);
        EXPECT_EQ(report.sent, sent ? 1 : 0) << report.firstError.toStdString();
        EXPECT_EQ(state(n), sent ? u"S"_s : u"P"_s);
        EXPECT_TRUE(sent || report.firstError.startsWith(c.error) ||
                    (!c.login && report.firstError.contains(c.error)))
            << report.firstError.toStdString();
        const QList<QByteArray> given = logins();
        EXPECT_EQ(std::count_if(
                      given.begin(), given.end(),
                      [&](const QByteArray& line) { return line.endsWith(' ' + user.toUtf8()); }),
                  c.login && sent ? 1 : 0)
            << "logins the server was given";
    }
}

TEST_P(OutboxSenderTest, FailuresWaitOrFailAndTheRowLeavesOnceTheServerIsUp)
{
    const QString to = recipient("retry");
    const qlonglong n = queue(mail(to));

    auto report = deliverDue(db(), context(down));
    EXPECT_EQ(report.failed, 1);
    RecordSet r = row(n);
    EXPECT_EQ(r.text(u"State"_s), u"P"_s);
    EXPECT_EQ(r.number(u"Attempts"_s), 1);
    EXPECT_EQ(r.value(u"Next_Attempt"_s).toDateTime(), now.addSecs(60));
    EXPECT_FALSE(r.text(u"Last_Error"_s).isEmpty());
    EXPECT_EQ(deliverDue(db(), context(down, now.addSecs(30))).failed, 0) << "not due yet";

    // A refused login, and a server that never answers, are worth another try.
    allowPlainLogin(env("BX_TEST_SMTP_AUTH"));
    SenderContext login = context(env("BX_TEST_SMTP_AUTH"), now.addSecs(61));
    login.shared.auth = true;
    login.shared.user = u"pat"_s;
    login.shared.password = u"wrong"_s;
    report = deliverDue(db(), login);
    EXPECT_EQ(report.failed, 1);
    EXPECT_TRUE(report.firstError.contains(u"Login denied"_s)) << report.firstError.toStdString();
    r = row(n);
    EXPECT_EQ(r.text(u"State"_s), u"P"_s);
    EXPECT_EQ(r.value(u"Next_Attempt"_s).toDateTime(), now.addSecs(61 + 120));

    SenderContext silent = context(env("BX_TEST_SMTP_SILENT"), now.addSecs(200));
    silent.shared.timeoutSeconds = 1;
    report = deliverDue(db(), silent);
    EXPECT_EQ(report.failed, 1);
    // "Timeout was reached", or the transfer's own words when it had begun.
    EXPECT_TRUE(report.firstError.contains(
        QRegularExpression(u"timeout|timed out"_s, QRegularExpression::CaseInsensitiveOption)))
        << report.firstError.toStdString();
    EXPECT_EQ(state(n), u"P"_s);

    report = deliverDue(db(), context(env("BX_TEST_SMTP"), now.addSecs(3600)));
    EXPECT_EQ(report.sent, 1) << report.firstError.toStdString();
    EXPECT_EQ(state(n), u"S"_s);
    EXPECT_EQ(deliverDue(db(), context(env("BX_TEST_SMTP"), now.addSecs(7200))).sent, 0);
    EXPECT_EQ(sinkMessages(to).size(), 1);

    login.shared.password = u"secret1"_s;
    const qlonglong viaLogin = queue(mail(recipient("login")), u"ann"_s, login.nowUtc);
    EXPECT_EQ(deliverDue(db(), login).sent, 1);
    EXPECT_EQ(state(viaLogin), u"S"_s);

    // A recipient the server refuses fails at once; so does a row pending for days.
    const qlonglong refused = queue(mail(recipient("refused")));
    report = deliverDue(db(), context(env("BX_TEST_SMTP_REJECT")));
    EXPECT_EQ(state(refused), u"F"_s);
    EXPECT_TRUE(report.firstError.contains(u"550"_s)) << report.firstError.toStdString();
    const qlonglong old = queue(mail(recipient("old")));
    deliverDue(db(), context(down));
    deliverDue(db(), context(down, now.addDays(3).addSecs(1)));
    EXPECT_EQ(state(old), u"F"_s);

    // A server out of reach fails one e-mail of a pass; the others wait, unclaimed.
    const QDateTime later = now.addDays(4);
    const qlonglong a = queue(mail(recipient("a")), u"ann"_s, later);
    const qlonglong b = queue(mail(recipient("b")), u"ann"_s, later);
    SenderContext full = context(down, later);
    full.batch = 2;
    report = deliverDue(db(), full);
    EXPECT_EQ(report.failed, 1);
    EXPECT_FALSE(report.more) << "the sender would spin through the backlog";
    EXPECT_EQ(row(a).number(u"Attempts"_s) + row(b).number(u"Attempts"_s), 1);
    EXPECT_TRUE(row(a).value(u"Claim_Token"_s).isNull());
    EXPECT_TRUE(row(b).value(u"Claim_Token"_s).isNull());
    // A server that wants a login first (530) blames the settings, not the message.
    report = deliverDue(db(), context(env("BX_TEST_SMTP_AUTH"), later.addSecs(3600)));
    EXPECT_TRUE(report.firstError.contains(u"530"_s)) << report.firstError.toStdString();
    EXPECT_EQ(state(a), u"P"_s);
    EXPECT_EQ(state(b), u"P"_s);
}

TEST_P(OutboxSenderTest, TwoSendersDeliverEachRowOnceAndTakeOverExpiredClaims)
{
    QStringList recipients;
    for (int i = 0; i < 24; ++i)
        queue(mail(recipients.emplace_back(recipient("race"))));
    // One row claimed by a sender that died, one by a sender still at work.
    const QString stale = recipient("stale");
    const qlonglong staleRow = queue(mail(stale));
    const qlonglong busyRow = queue(mail(recipient("busy")));
    for (const auto& [token, expires, number] : {std::tuple(u"gone"_s, now.addSecs(-1), staleRow),
                                                 std::tuple(u"busy"_s, now.addSecs(60), busyRow)}) {
        db().execute(
            u"UPDATE MAIL_OUTBOX SET Claim_Token = ?, Claim_Expires = ? WHERE Outbox_Number = ?"_s,
            {token, expires, number});
    }

    std::unique_ptr<Database> one = connectAgain();
    std::unique_ptr<Database> two = connectAgain();
    const SenderContext ctx = context(env("BX_TEST_SMTP"));
    outbox::DeliveryReport first;
    outbox::DeliveryReport second;
    std::thread a([&] { first = deliverDue(*one, ctx); });
    std::thread b([&] { second = deliverDue(*two, ctx); });
    a.join();
    b.join();

    EXPECT_EQ(first.sent + second.sent, 25);
    EXPECT_EQ(first.failed + second.failed, 0) << first.firstError.toStdString();
    for (const QString& to : recipients)
        EXPECT_EQ(sinkMessages(to).size(), 1) << to.toStdString();
    EXPECT_EQ(sinkMessages(stale).size(), 1);
    EXPECT_EQ(state(busyRow), u"P"_s);
    EXPECT_EQ(row(busyRow).text(u"Claim_Token"_s), u"busy"_s);
}

TEST_P(OutboxSenderTest, OthersRowsLeaveOnlyWhenSharedAndAbandoned)
{
    QueuedMail personal = mail(recipient("personal"));
    personal.personal = true;
    const qlonglong bobsPersonal = queue(personal, u"bob"_s, now.addSecs(-3600));
    const qlonglong bobsRecent = queue(mail(recipient("recent")), u"bob"_s, now.addSecs(-10 * 60));
    const qlonglong bobsAbandoned =
        queue(mail(recipient("abandoned")), u"bob"_s, now.addSecs(-15 * 60));
    const qlonglong annsPersonal = queue(personal, u"ANN"_s);

    SenderContext ctx = context(env("BX_TEST_SMTP"));
    EXPECT_EQ(deliverDue(db(), ctx).sent, 1);
    EXPECT_EQ(state(bobsAbandoned), u"S"_s);
    EXPECT_EQ(state(bobsRecent), u"P"_s);
    EXPECT_EQ(state(annsPersonal), u"P"_s) << "no own settings: it waits";

    ctx.own.server = env("BX_TEST_SMTP");
    ctx.shared.server = down;
    EXPECT_EQ(deliverDue(db(), ctx).sent, 1);
    EXPECT_EQ(state(annsPersonal), u"S"_s);
    EXPECT_EQ(state(bobsPersonal), u"P"_s);
    EXPECT_EQ(row(bobsRecent).number(u"Attempts"_s), 0);
}

TEST_P(OutboxSenderTest, ADueDigestTakesAllItsRecipientsNoticesAlong)
{
    const QString to = recipient("digest");
    for (int i = 0; i < 3; ++i) {
        QueuedMail m = mail(to, u"BX#%1 notice"_s.arg(i + 1));
        m.body = u"Body %1\n"_s.arg(i + 1);
        m.digestMinutes = 15;
        m.attachName = u"n%1.ics"_s.arg(i + 1);
        m.attachType = u"text/calendar"_s;
        m.attachText = u"BEGIN:VCALENDAR %1"_s.arg(i + 1);
        queue(m, u"ann"_s, now.addSecs(-20 * 60 + i * 5 * 60));
    }
    const QString alone = recipient("alone");
    QueuedMail lone = mail(alone, u"BX#9 lone"_s);
    lone.digestMinutes = 15;
    queue(lone, u"ann"_s, now.addSecs(-16 * 60));

    const auto report = deliverDue(db(), context(env("BX_TEST_SMTP")));
    EXPECT_EQ(report.sent, 2) << report.firstError.toStdString();
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM MAIL_OUTBOX WHERE State = 'S'"_s).toInt(), 4);

    const auto got = sinkMessages(to);
    ASSERT_EQ(got.size(), 1);
    EXPECT_STREQ(g_mime_message_get_subject(got.first().get()), "BX# 3 notices");
    GMimeObject* top = g_mime_message_get_mime_part(got.first().get());
    ASSERT_TRUE(GMIME_IS_MULTIPART(top));
    ASSERT_EQ(g_mime_multipart_get_count(GMIME_MULTIPART(top)), 4);
    const QString body = partText(g_mime_multipart_get_part(GMIME_MULTIPART(top), 0));
    qsizetype at = -1;
    for (int i = 0; i < 3; ++i) {
        const qsizetype next = body.indexOf(u"BX#%1 notice"_s.arg(i + 1));
        EXPECT_GT(next, at) << "notice " << i + 1 << " missing or out of order";
        EXPECT_TRUE(body.contains(u"Body %1"_s.arg(i + 1)));
        at = next;
        EXPECT_EQ(partText(g_mime_multipart_get_part(GMIME_MULTIPART(top), i + 1)),
                  u"BEGIN:VCALENDAR %1"_s.arg(i + 1));
    }
    const auto single = sinkMessages(alone);
    ASSERT_EQ(single.size(), 1);
    EXPECT_STREQ(g_mime_message_get_subject(single.first().get()), "BX#9 lone");
}

// The service on its thread: one error signal per outage, and a stop that does not wait for a
// server that never answers.
TEST_P(OutboxSenderTest, TheServiceTellsOfAnOutageOnceAndStopsAtOnce)
{
    const SystemClock clock;
    outbox::OutboxSender sender(secondConnectionTo(db()), u"ann"_s, {},
                                ErrorLog(tempDir() + u"/QVErrorLog.txt"_s, clock));
    QSignalSpy errors(&sender, &outbox::OutboxSender::mailError);
    QSignalSpy passes(&sender, &outbox::OutboxSender::passFinished);
    // Queues an e-mail through `server` and waits for a pass that sent or failed one.
    const auto sendThrough = [&](const QString& server, int column) {
        db().execute(u"UPDATE SYSTEM SET SMTPServer = ?"_s, {server});
        const qlonglong n =
            queue(mail(recipient("service")), u"ann"_s, QDateTime::currentDateTimeUtc());
        for (int i = 0; i < 100; ++i) {
            while (!passes.isEmpty()) {
                if (passes.takeFirst().at(column).toInt() > 0)
                    return n;
            }
            passes.wait(100);
        }
        ADD_FAILURE() << "no pass through " << server.toStdString();
        return n;
    };
    sender.start(50);
    sendThrough(down, 1);
    sendThrough(down, 1);
    EXPECT_EQ(errors.size(), 1);
    sendThrough(env("BX_TEST_SMTP"), 0);
    sendThrough(down, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(errors.size(), 2);

    db().execute(u"UPDATE SYSTEM SET SMTPServer = ?"_s, {env("BX_TEST_SMTP_SILENT")});
    const qlonglong n = queue(mail(recipient("cut")), u"ann"_s, QDateTime::currentDateTimeUtc());
    sender.wake();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !row(n).value(u"Claim_Token"_s).isNull(); }, 10000));
    QElapsedTimer stopping;
    stopping.start();
    sender.stop(); // the silent server would hold the transfer for 30 s
    EXPECT_LT(stopping.elapsed(), 5000);
    EXPECT_TRUE(row(n).value(u"Claim_Token"_s).isNull());
    EXPECT_EQ(row(n).number(u"Attempts"_s), 0);
}

// The sender's next timed pass: the earliest moment a row it may send falls due.
TEST_P(OutboxSenderTest, TheNextPassIsDueWithTheEarliestRowThisClientMaySend)
{
    const SenderContext ctx = context(QString());
    EXPECT_FALSE(outbox::nextDueUtc(db(), ctx).isValid()) << "nothing pending";

    QueuedMail later = mail(recipient("later"));
    later.digestMinutes = 7;
    queue(later);
    EXPECT_EQ(outbox::nextDueUtc(db(), ctx), now.addSecs(7 * 60));

    QueuedMail personal = mail(recipient("personal"));
    personal.personal = true;
    queue(personal, u"bob"_s, now.addSecs(-600));
    EXPECT_EQ(outbox::nextDueUtc(db(), ctx), now.addSecs(7 * 60)) << "bob's own row is his";

    queue(mail(recipient("shared")), u"bob"_s, now.addSecs(-600));
    EXPECT_EQ(outbox::nextDueUtc(db(), ctx), now.addSecs((outbox::kAbandonedMinutes - 10) * 60))
        << "bob's shared row, once abandoned";

    const qlonglong claimed = queue(mail(recipient("claimed")));
    db().execute(
        u"UPDATE MAIL_OUTBOX SET Claim_Token = 'x', Claim_Expires = ? WHERE Outbox_Number = ?"_s,
        {now.addSecs(120), claimed});
    EXPECT_EQ(outbox::nextDueUtc(db(), ctx), now.addSecs(120)) << "the claim expiring";
}

TEST(OutboxSenderWait, UntilTheNextRowFallsDueAtMostAMinute)
{
    using std::chrono::milliseconds;
    const QDateTime now(QDate(2026, 12, 7), QTime(9, 30), Qt::UTC);
    const milliseconds idle(outbox::kIdlePassSeconds * 1000);
    EXPECT_EQ(outbox::waitAfterPass(QDateTime(), now), idle);
    EXPECT_EQ(outbox::waitAfterPass(now.addSecs(-5), now), idle) << "left by the pass";
    EXPECT_EQ(outbox::waitAfterPass(now, now), idle);
    EXPECT_EQ(outbox::waitAfterPass(now.addMSecs(4500), now), milliseconds(4500));
    EXPECT_EQ(outbox::waitAfterPass(now.addSecs(300), now), idle);
}

TEST(OutboxSenderWait, OnlyOtherConnectionsChangesToTheUsersOutboxWakeTheSender)
{
    struct Case
    {
        const char* payload;
        bool fromThisConnection;
        bool wakes;
    };
    const Case cases[] = {
        {R"({"t":"mail_outbox","u":"Ann ","k":[7]})", false, true},
        {R"({"t":"mail_outbox","u":"ann","k":[7]})", true, false}, // its own claim
        {R"({"t":"mail_outbox","u":"bob","k":[7]})", false, false},
        {R"({"t":"mail_outbox"})", false, true}, // every user's rows
        {R"({"t":"mail","u":"ann","k":[7]})", false, false},
        {R"({"t":"scr","w":900,"k":[7]})", false, false},
        {"not ours", false, false},
    };
    for (const Case& c : cases) {
        const Notice notice{u"bx_changes"_s, QString::fromUtf8(c.payload), c.fromThisConnection};
        EXPECT_EQ(outbox::wakesSender(notice, u"ann"_s), c.wakes) << c.payload;
    }
}

// Mail committed by another connection (server: its notice) or by the client's own window (the
// commit it watches) runs a pass at once; no timed pass comes between.
TEST_P(OutboxSenderTest, MailCommittedElsewhereWakesTheSenderAtOnce)
{
    const SystemClock clock;
    db().execute(u"UPDATE SYSTEM SET SMTPServer = ?"_s, {env("BX_TEST_SMTP")});
    outbox::OutboxSender sender(secondConnectionTo(db()), u"ann"_s, {},
                                ErrorLog(tempDir() + u"/QVErrorLog.txt"_s, clock));
    QSignalSpy passes(&sender, &outbox::OutboxSender::passFinished);
    if (!db().dialect().hasNotices())
        db().watchCommits(outbox::kOutboxTable, [&] { sender.wake(); });
    sender.start(60'000); // the timed pass of a client without notices would come a minute on
    ASSERT_TRUE(passes.wait(5000)) << "the first pass runs at once";
    QTest::qWait(300); // the listening connection is ready

    const QString to = recipient("woken");
    {
        Transaction tx(db());
        queue(mail(to), u"ann"_s, QDateTime::currentDateTimeUtc());
        tx.commit();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return passes.size() >= 2; }, 5000));
    EXPECT_EQ(passes.at(1).at(0).toInt(), 1) << "the pass sent the new row";
    QTest::qWait(1500);
    EXPECT_EQ(passes.size(), 2) << "neither a timed pass nor the sender's own changes ran more";
    EXPECT_EQ(sinkMessages(to).size(), 1);
    db().watchCommits(outbox::kOutboxTable, {});
}

BX_INSTANTIATE_ENGINES(OutboxSenderTest);

} // namespace
