#include "messaging/OutboxSender.h"

#include "core/db/Database.h"
#include "core/db/Dialect.h"
#include "core/settings/MailPlainLogin.h"
#include "messaging/MailMessage.h"
#include "messaging/Outbox.h"

#include <QBuffer>
#include <QTemporaryFile>
#include <QUuid>

#include <memory>
#include <utility>

namespace bx::outbox {

namespace {

// A message this large or smaller is composed in memory; a larger one goes through a temporary
// file, so that memory stays bounded.
constexpr qint64 kInMemoryBytes = 256 * 1024;
// Rows claimed together: one statement for several, yet few enough that they are settled long
// before their claim expires.
constexpr int kClaimChunk = 10;

const QString kRowColumns = QStringLiteral(
    "Outbox_Number, Recipient, Sender_Name, Sender_Address, Subject, Body, Attach_Name, "
    "Attach_Type, Attach_Text, Message_ID, Attempts, Next_Attempt");

QString pending()
{
    return QString::fromLatin1(kPending);
}

QString newToken()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

qint64 retryDelaySeconds(qlonglong attemptsBefore)
{
    if (attemptsBefore >= 12)
        return kLastRetrySeconds;
    return qMin<qint64>(kLastRetrySeconds, qint64(kFirstRetrySeconds) << attemptsBefore);
}

/** The e-mail a claimed group of rows makes: the row itself, or a digest of its notices. */
OutgoingMail composeMail(const RecordSet& rows)
{
    OutgoingMail mail;
    mail.fromName = rows.value(0, QStringLiteral("Sender_Name")).toString();
    mail.fromAddress = rows.value(0, QStringLiteral("Sender_Address")).toString();
    mail.to = {rows.value(0, QStringLiteral("Recipient")).toString()};
    QStringList bodies;
    for (int i = 0; i < rows.rowCount(); ++i) {
        const QString name = rows.value(i, QStringLiteral("Attach_Name")).toString();
        if (!name.isEmpty()) {
            mail.textAttachments.append({name,
                                         rows.value(i, QStringLiteral("Attach_Type")).toString(),
                                         rows.value(i, QStringLiteral("Attach_Text")).toString()});
        }
        bodies.append(rows.value(i, QStringLiteral("Subject")).toString() + QStringLiteral("\n\n") +
                      rows.value(i, QStringLiteral("Body")).toString());
    }
    if (rows.rowCount() == 1) {
        mail.subject = rows.value(0, QStringLiteral("Subject")).toString();
        mail.body = rows.value(0, QStringLiteral("Body")).toString();
        mail.messageId = rows.value(0, QStringLiteral("Message_ID")).toString();
    } else {
        mail.subject = outbox::kNoticeMarker + QStringLiteral(" %1 notices").arg(rows.rowCount());
        mail.body = bodies.join(QStringLiteral("\n\n") + QString(40, QLatin1Char('-')) +
                                QStringLiteral("\n\n"));
    }
    return mail;
}

qint64 roughSize(const OutgoingMail& mail)
{
    qint64 size = mail.subject.size() + mail.body.size();
    for (const TextAttachment& a : mail.textAttachments)
        size += a.text.size();
    // UTF-8, then base64 or quoted-printable: up to four times the characters and a third.
    return size * 4 + size / 3;
}

/** Writes the message and hands it to the server. */
SmtpResult send(const OutgoingMail& mail, const SmtpSettings& settings, const SenderContext& ctx)
{
    std::unique_ptr<QIODevice> device;
    if (roughSize(mail) <= kInMemoryBytes)
        device = std::make_unique<QBuffer>();
    else
        device = std::make_unique<QTemporaryFile>();
    if (!device->open(QIODevice::ReadWrite))
        return SmtpResult::failure(
            SmtpResult::Status::Temporary,
            QStringLiteral("The message could not be written: %1").arg(device->errorString()));
    const Outcome<QString> written = writeMailMessage(mail, ctx.nowUtc.toUTC(), *device);
    if (!written) {
        // An address or Message-ID the composer refuses would be refused every time.
        return SmtpResult::failure(SmtpResult::Status::Permanent, written.refusal()->message);
    }
    device->seek(0);
    return sendSmtp(settings, mail.fromAddress, mail.to, *device, ctx.abort);
}

/** Releases a claim without counting an attempt: the pass was cut off. */
void release(Database& db, const QString& token)
{
    db.execute(QStringLiteral("UPDATE MAIL_OUTBOX SET Claim_Token = NULL, Claim_Expires = NULL "
                              "WHERE Claim_Token = ?"),
               {token});
}

/** Records how the rows of `token` went. */
void settle(Database& db, const RecordSet& rows, const QString& token, const SmtpResult& result,
            const SenderContext& ctx)
{
    const QDateTime now = ctx.nowUtc.toUTC();
    Transaction tx(db);
    for (int i = 0; i < rows.rowCount(); ++i) {
        const QVariant number = rows.value(i, QStringLiteral("Outbox_Number"));
        if (result.sent()) {
            db.execute(QStringLiteral("UPDATE MAIL_OUTBOX SET State = ?, Sent_Date = ?, "
                                      "Last_Error = NULL, Claim_Token = NULL, Claim_Expires = "
                                      "NULL WHERE Outbox_Number = ? AND Claim_Token = ?"),
                       {QString::fromLatin1(kSent), now, number, token});
        } else if (result.status == SmtpResult::Status::Permanent) {
            db.execute(QStringLiteral("UPDATE MAIL_OUTBOX SET State = ?, Attempts = Attempts + 1, "
                                      "Last_Error = ?, Claim_Token = NULL, Claim_Expires = NULL "
                                      "WHERE Outbox_Number = ? AND Claim_Token = ?"),
                       {QString::fromLatin1(kFailed), result.error, number, token});
        } else {
            const qlonglong attempts = rows.value(i, QStringLiteral("Attempts")).toLongLong();
            db.execute(
                QStringLiteral(
                    "UPDATE MAIL_OUTBOX SET Attempts = Attempts + 1, Next_Attempt = ?, "
                    "Last_Error = ?, Claim_Token = NULL, Claim_Expires = NULL, State = CASE WHEN "
                    "Queued_Date <= ? THEN ? ELSE ? END WHERE Outbox_Number = ? AND "
                    "Claim_Token = ?"),
                {now.addSecs(retryDelaySeconds(attempts)), result.error, now.addDays(-kGiveUpDays),
                 QString::fromLatin1(kFailed), pending(), number, token});
        }
    }
    tx.commit();
}

bool isDigest(const RecordSet& due, int i)
{
    return due.value(i, QStringLiteral("Digest")).toLongLong() > 0 &&
           due.value(i, QStringLiteral("Personal")).toLongLong() == 0;
}

bool isPersonal(const RecordSet& due, int i)
{
    return due.value(i, QStringLiteral("Personal")).toLongLong() != 0;
}

/**
 * Puts `token` on the rows that `where` (with `params`) selects and no other sender holds, for
 * kClaimMinutes from `now`; returns how many it took.
 */
qlonglong claim(Database& db, const QString& where, const QVariantList& params,
                const QString& token, const QDateTime& now)
{
    return db.execute(
        QStringLiteral("UPDATE MAIL_OUTBOX SET Claim_Token = ?, Claim_Expires = ? WHERE ") + where +
            QStringLiteral(" AND (Claim_Token IS NULL OR Claim_Expires <= ?)"),
        QVariantList{token, now.addSecs(qint64(kClaimMinutes) * 60)} + params + QVariantList{now});
}

/** The rows claimed under `token`, in the order they were queued. */
RecordSet claimedRows(Database& db, const QString& token)
{
    return db.query(QStringLiteral("SELECT ") + kRowColumns +
                        QStringLiteral(" FROM MAIL_OUTBOX WHERE Claim_Token = ? ORDER BY "
                                       "Queued_Date, Outbox_Number"),
                    {token});
}

/**
 * Claims every pending digest row of `recipient` under `token`; returns them (empty: another
 * sender was first, or none of them is due yet).
 */
RecordSet claimDigest(Database& db, const QVariant& recipient, const QString& token,
                      const SenderContext& ctx)
{
    const QDateTime now = ctx.nowUtc.toUTC();
    const qlonglong claimed =
        claim(db,
              QStringLiteral("State = ? AND Digest > 0 AND Personal = 0 AND ") +
                  db.dialect().textEquals(QStringLiteral("Recipient")),
              {pending(), recipient}, token, now);
    if (claimed == 0)
        return {};
    RecordSet rows = claimedRows(db, token);
    for (int r = 0; r < rows.rowCount(); ++r) {
        if (RecordSet::toDateTime(rows.value(r, QStringLiteral("Next_Attempt"))) <= now)
            return rows;
    }
    // Another sender took the due row first; the rest wait for their own time.
    release(db, token);
    return {};
}

/**
 * Claims those of the rows `numbers` no other sender holds under `token`, in one statement (on
 * the embedded engine every statement that writes costs a flush to disk); returns them.
 */
RecordSet claimRows(Database& db, const QVariantList& numbers, const QString& token,
                    const SenderContext& ctx)
{
    const qlonglong claimed =
        claim(db,
              QStringLiteral("Outbox_Number IN (") + Dialect::markers(numbers.size()) +
                  QStringLiteral(") AND State = ?"),
              numbers + QVariantList{pending()}, token, ctx.nowUtc.toUTC());
    return claimed == 0 ? RecordSet() : claimedRows(db, token);
}

RecordSet rowAt(const RecordSet& rows, int r)
{
    return RecordSet(rows.columns(), {rows.rows().at(r)});
}

/** Fails the pending rows queued too long ago that no sender holds. */
void giveUpStale(Database& db, const QDateTime& now)
{
    // Read first: on the embedded engine even an update that changes nothing locks the file
    // against every other writer, and this runs every few seconds in every client.
    const QString stale = QStringLiteral(" FROM MAIL_OUTBOX WHERE State = ? AND Queued_Date <= ? "
                                         "AND (Claim_Token IS NULL OR Claim_Expires <= ?)");
    const QVariantList staleParams = {pending(), now.addDays(-kGiveUpDays), now};
    if (db.scalar(QStringLiteral("SELECT COUNT(*)") + stale, staleParams).toLongLong() > 0) {
        db.execute(QStringLiteral("UPDATE MAIL_OUTBOX SET State = ?, Last_Error = ? WHERE "
                                  "Outbox_Number IN (SELECT Outbox_Number") +
                       stale + QLatin1Char(')'),
                   QVariantList{QString::fromLatin1(kFailed),
                                QStringLiteral("Not sent within %1 days").arg(kGiveUpDays)} +
                       staleParams);
    }
}

/** The rows of this pass: due, unclaimed, and this client's to send. */
RecordSet dueRows(Database& db, const SenderContext& ctx, const QDateTime& now)
{
    return db.query(
        QStringLiteral("SELECT Outbox_Number, Recipient, Personal, Digest FROM MAIL_OUTBOX WHERE "
                       "State = ? AND Next_Attempt <= ? AND (Claim_Token IS NULL OR "
                       "Claim_Expires <= ?) AND (") +
            db.dialect().textEquals(QStringLiteral("Queued_By")) +
            QStringLiteral(" OR (Personal = 0 AND Queued_Date <= ?)) ORDER BY Next_Attempt, "
                           "Outbox_Number LIMIT ?"),
        {pending(), now, now, ctx.userId, now.addSecs(-qint64(kAbandonedMinutes) * 60), ctx.batch});
}

/** Sends the due rows of one pass, the shared ones and the personal ones each by its server. */
class DeliveryPass
{
public:
    DeliveryPass(Database& db, const SenderContext& ctx, const RecordSet& due)
        : m_db(db)
        , m_ctx(ctx)
        , m_due(due)
        , m_shared(withPermission(ctx.shared))
        , m_own(withPermission(ctx.own))
    {
    }

    void run();
    const DeliveryReport& report() const { return m_report; }
    /** A server could not be reached or refused the login. */
    bool serverDown() const { return m_sharedDown || m_ownDown; }

private:
    // The administrator's word on logging in without TLS is read afresh for each pass with mail.
    SmtpSettings withPermission(SmtpSettings settings) const
    {
        settings.allowPlainLogin =
            !m_due.isEmpty() && settings.auth && !settings.user.isEmpty() &&
            MailPlainLogin::allowed(m_db, MailPlainLogin::Service::Smtp, settings.server);
        return settings;
    }
    bool aborted() const { return m_ctx.abort != nullptr && m_ctx.abort->load(); }
    bool deliver(const RecordSet& rows, const QString& token, const SmtpSettings& settings,
                 bool& down);
    bool deliverDigest(const QVariant& recipient, const QString& token,
                       const SmtpSettings& settings, bool& down);
    void deliverChunk(int& i, bool personal, const QString& token, const SmtpSettings& settings,
                      bool& down);

    Database& m_db;
    const SenderContext& m_ctx;
    const RecordSet& m_due;
    const SmtpSettings m_shared;
    const SmtpSettings m_own;
    DeliveryReport m_report;
    // A server that cannot be reached, or refuses the login, would fail the pass's other e-mails
    // alike: they wait for the next pass.
    bool m_sharedDown = false;
    bool m_ownDown = false;
};

void DeliveryPass::run()
{
    int i = 0;
    while (i < m_due.rowCount() && !aborted()) {
        const bool personal = isPersonal(m_due, i);
        const SmtpSettings& settings = personal ? m_own : m_shared;
        bool& down = personal ? m_ownDown : m_sharedDown;
        if (!settings.configured() || down) {
            ++i;
            continue;
        }
        const QString token = newToken();
        if (isDigest(m_due, i)) {
            if (!deliverDigest(m_due.value(i++, QStringLiteral("Recipient")), token, settings,
                               down))
                break;
            continue;
        }
        deliverChunk(i, personal, token, settings, down);
    }
}

// Sends the claimed rows as one e-mail and records how it went; false when cut off.
bool DeliveryPass::deliver(const RecordSet& rows, const QString& token,
                           const SmtpSettings& settings, bool& down)
{
    const SmtpResult result = send(composeMail(rows), settings, m_ctx);
    if (!result.sent() && aborted())
        return false;
    settle(m_db, rows, token, result, m_ctx);
    if (result.sent()) {
        ++m_report.sent;
        return true;
    }
    ++m_report.failed;
    down = down || result.serverFault;
    if (m_report.firstError.isEmpty())
        m_report.firstError = result.error;
    if (m_ctx.log != nullptr) {
        m_ctx.log->write(
            QStringLiteral("E-mail"),
            QStringLiteral("To %1: %2")
                .arg(rows.value(0, QStringLiteral("Recipient")).toString(), result.error));
    }
    return true;
}

/** Claims and sends the digest of `recipient`; false when cut off. */
bool DeliveryPass::deliverDigest(const QVariant& recipient, const QString& token,
                                 const SmtpSettings& settings, bool& down)
{
    const RecordSet rows = claimDigest(m_db, recipient, token, m_ctx);
    if (!rows.isEmpty() && !deliver(rows, token, settings, down)) {
        release(m_db, token);
        return false;
    }
    return true;
}

/** Claims the single rows from `i` on, alike in being personal, and sends them one by one. */
void DeliveryPass::deliverChunk(int& i, bool personal, const QString& token,
                                const SmtpSettings& settings, bool& down)
{
    QVariantList numbers;
    while (i < m_due.rowCount() && numbers.size() < kClaimChunk && !isDigest(m_due, i) &&
           isPersonal(m_due, i) == personal) {
        numbers.append(m_due.value(i++, QStringLiteral("Outbox_Number")));
    }
    const RecordSet rows = claimRows(m_db, numbers, token, m_ctx);
    int settled = 0;
    while (settled < rows.rowCount() && !down && !aborted() &&
           deliver(rowAt(rows, settled), token, settings, down)) {
        ++settled;
    }
    if (settled < rows.rowCount())
        release(m_db, token);
}

} // namespace

SmtpSettings sharedSmtpSettings(Database& db)
{
    const RecordSet rs =
        db.query(QStringLiteral("SELECT SMTPServer, SMTPAuth, SMTPUser, SMTPPwd FROM SYSTEM"));
    SmtpSettings s;
    s.server = rs.text(QStringLiteral("SMTPServer")).trimmed();
    s.auth = rs.number(QStringLiteral("SMTPAuth")) != 0;
    s.user = rs.text(QStringLiteral("SMTPUser"));
    s.password = rs.text(QStringLiteral("SMTPPwd"));
    return s;
}

DeliveryReport deliverDue(Database& db, const SenderContext& ctx)
{
    const QDateTime now = ctx.nowUtc.toUTC();
    giveUpStale(db, now);
    if (!ctx.shared.configured() && !ctx.own.configured())
        return {};

    const RecordSet due = dueRows(db, ctx, now);
    DeliveryPass pass(db, ctx, due);
    pass.run();
    DeliveryReport report = pass.report();
    // Rows that had to wait (no server for them, claimed elsewhere) do not call for another pass,
    // nor does a server that cannot be reached: the next pass would fail one more row at once, and
    // the sender would spin through the backlog one failure at a time.
    report.more =
        due.rowCount() >= ctx.batch && report.sent + report.failed > 0 && !pass.serverDown();
    return report;
}

QDateTime nextDueUtc(Database& db, const SenderContext& ctx)
{
    const QDateTime now = ctx.nowUtc.toUTC();
    const QDateTime abandoned = now.addSecs(-qint64(kAbandonedMinutes) * 60);
    const QString mine = db.dialect().textEquals(QStringLiteral("Queued_By"));
    const RecordSet rs = db.query(
        QStringLiteral("SELECT (SELECT MIN(Next_Attempt) FROM MAIL_OUTBOX WHERE State = ? AND "
                       "(Claim_Token IS NULL OR Claim_Expires <= ?) AND (") +
            mine +
            QStringLiteral(" OR (Personal = 0 AND Queued_Date <= ?))), (SELECT "
                           "MIN(Claim_Expires) FROM MAIL_OUTBOX WHERE State = ? AND Claim_Token "
                           "IS NOT NULL AND Claim_Expires > ?), (SELECT MIN(Queued_Date) FROM "
                           "MAIL_OUTBOX WHERE State = ? AND Personal = 0 AND Queued_Date > ? AND "
                           "NOT (") +
            mine + QStringLiteral("))"),
        {pending(), now, ctx.userId, abandoned, pending(), now, pending(), abandoned, ctx.userId});
    QDateTime next;
    const auto consider = [&](const QDateTime& t) {
        if (t.isValid() && (!next.isValid() || t < next))
            next = t;
    };
    if (rs.isEmpty())
        return next;
    consider(RecordSet::toDateTime(rs.rows().first().value(0)));
    consider(RecordSet::toDateTime(rs.rows().first().value(1)));
    const QDateTime queued = RecordSet::toDateTime(rs.rows().first().value(2));
    if (queued.isValid())
        consider(queued.addSecs(qint64(kAbandonedMinutes) * 60));
    return next;
}

std::chrono::milliseconds waitAfterPass(const QDateTime& nextDue, const QDateTime& nowUtc)
{
    const std::chrono::milliseconds idle(qint64(kIdlePassSeconds) * 1000);
    if (!nextDue.isValid())
        return idle;
    const qint64 ms = nowUtc.msecsTo(nextDue);
    if (ms <= 0)
        return idle;
    return std::min(idle, std::chrono::milliseconds(ms));
}

SenderPass senderPass(Database& db, SenderContext ctx, bool notices)
{
    ctx.shared = sharedSmtpSettings(db);
    SenderPass pass;
    pass.report = deliverDue(db, ctx);
    if (notices)
        pass.nextIn = waitAfterPass(nextDueUtc(db, ctx), QDateTime::currentDateTimeUtc());
    return pass;
}

bool wakesSender(const Notice& notice, const QString& userId)
{
    // The sender's own claims and settlements call for no pass.
    if (notice.fromThisConnection)
        return false;
    const std::optional<ChangeNotice> change = ChangeNotice::parse(notice.payload);
    return change && change->table == QLatin1String("mail_outbox") && change->concernsUser(userId);
}

OutboxSender::OutboxSender(Connector connector, QString userId, SmtpSettings own, ErrorLog log,
                           QObject* parent)
    : QObject(parent)
    , m_connector(std::move(connector))
    , m_userId(std::move(userId))
    , m_log(std::move(log))
    , m_own(std::move(own))
{
}

OutboxSender::~OutboxSender()
{
    stop();
}

void OutboxSender::start(int intervalMs)
{
    if (m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = false;
        m_woken = true;
    }
    m_abort = false;
    m_thread = std::thread([this, intervalMs] { run(intervalMs); });
}

void OutboxSender::stop()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_abort = true;
    m_wakeUp.notify_all();
    m_thread.join();
}

void OutboxSender::setOwnSettings(const SmtpSettings& own)
{
    std::lock_guard lock(m_mutex);
    m_own = own;
}

void OutboxSender::wake()
{
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
    }
    m_wakeUp.notify_all();
}

bool OutboxSender::waitForPass(Database* db, std::chrono::steady_clock::time_point deadline,
                               bool& lost)
{
    using namespace std::chrono;
    // A listening connection is watched in slices, so that wake() and stop() are heard too.
    constexpr milliseconds kSlice(200);
    const bool listening = db != nullptr && db->dialect().hasNotices();
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_stopping)
            return false;
        const auto now = steady_clock::now();
        if (m_woken || now >= deadline || lost) {
            m_woken = false;
            return true;
        }
        const auto left = duration_cast<milliseconds>(deadline - now) + milliseconds(1);
        if (!listening) {
            m_wakeUp.wait_until(lock, deadline, [this] { return m_woken || m_stopping; });
            continue;
        }
        lock.unlock();
        bool mine = false;
        try {
            for (const Notice& n : db->takeNotices(int(std::min(left, kSlice).count())))
                mine = mine || wakesSender(n, m_userId);
        } catch (const DbError&) {
            lost = true;
        }
        lock.lock();
        m_woken = m_woken || mine;
    }
}

void OutboxSender::run(int intervalMs)
{
    using namespace std::chrono;
    std::unique_ptr<Database> db;
    bool outage = false;
    bool dbFailed = false; ///< logged once until the database answers again
    bool listening = false;
    auto deadline = steady_clock::now() + milliseconds(intervalMs);
    for (;;) {
        bool lost = false;
        if (!waitForPass(db.get(), deadline, lost))
            return;
        if (lost) {
            // Rows queued meanwhile were announced to a connection that is gone: a pass on the
            // new one finds them.
            db.reset();
        }
        SenderContext ctx;
        {
            std::lock_guard lock(m_mutex);
            ctx.own = m_own;
        }
        ctx.userId = m_userId;
        ctx.nowUtc = QDateTime::currentDateTimeUtc();
        ctx.log = &m_log;
        ctx.abort = &m_abort;
        DeliveryReport report;
        deadline = steady_clock::now() + milliseconds(intervalMs);
        try {
            if (!db) {
                db = m_connector();
                listening = false;
            }
            if (!listening && db->dialect().hasNotices()) {
                db->listen(db->changeChannel());
                listening = true;
            }
            const SenderPass pass = senderPass(*db, ctx, listening);
            report = pass.report;
            if (pass.nextIn)
                deadline = steady_clock::now() + *pass.nextIn;
            dbFailed = false;
        } catch (const DbError& e) {
            // The connection is likely gone; the window's poll tells the user. Claims taken expire.
            db.reset();
            if (!std::exchange(dbFailed, true))
                m_log.write(QStringLiteral("E-mail"), e.text());
            continue;
        }
        if (report.failed > 0 && !outage) {
            outage = true;
            QMetaObject::invokeMethod(
                this, [this, error = report.firstError] { emit mailError(error); },
                Qt::QueuedConnection);
        } else if (report.sent > 0 && report.failed == 0) {
            outage = false;
        }
        QMetaObject::invokeMethod(
            this,
            [this, sent = report.sent, failed = report.failed] { emit passFinished(sent, failed); },
            Qt::QueuedConnection);
        if (report.more) {
            std::lock_guard lock(m_mutex);
            m_woken = true;
        }
    }
}

} // namespace bx::outbox
