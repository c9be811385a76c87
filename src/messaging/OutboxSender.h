#pragma once

#include "core/ErrorLog.h"
#include "core/db/Notices.h"
#include "core/db/SecondConnection.h"
#include "messaging/SmtpClient.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace bx {

class Database;

namespace outbox {

/** A row is claimed by one sender for this long; after that any sender may take it over. */
inline constexpr int kClaimMinutes = 5;
/** Rows of a client that is probably gone: other clients send its shared rows after this. */
inline constexpr int kAbandonedMinutes = 15;
/** A row still pending this long after it was queued fails for good. */
inline constexpr int kGiveUpDays = 3;
/** Back-off after a temporary failure: one minute, doubled at each attempt, at most an hour. */
inline constexpr int kFirstRetrySeconds = 60;
inline constexpr int kLastRetrySeconds = 3600;

/** The longest a sender that takes notices waits between passes. */
inline constexpr int kIdlePassSeconds = 60;

/** What one delivery pass needs to know. */
struct SenderContext
{
    QString userId;                ///< the signed-in user: all his rows are his client's to send
    SmtpSettings shared;           ///< the database's mail settings, for rows that are not personal
    SmtpSettings own;              ///< the user's own settings, for the personal rows he queued
    QDateTime nowUtc;              ///< the present moment, UTC
    const ErrorLog* log = nullptr; ///< gets one line per failed e-mail
    const std::atomic_bool* abort = nullptr; ///< set: the pass ends soon, its claims released
    int batch = 100;                         ///< rows looked at in one pass
};

/** What a pass did. A digest counts as one e-mail. */
struct DeliveryReport
{
    int sent = 0;
    int failed = 0;     ///< temporary and permanent failures
    QString firstError; ///< the error of the first failure
    bool more = false;  ///< a full batch was due and no server failed: another pass may send more
};

/** The database's own mail settings (the SYSTEM row), without the user's personal ones. */
SmtpSettings sharedSmtpSettings(Database& db);

/**
 * One delivery pass through `db`, on the calling thread (never the user-interface thread: it
 * waits on the mail server).
 *
 * Rows due are pending, past their Next_Attempt, and unclaimed or with an expired claim: every
 * row the signed-in user queued, and the rows that are not personal queued by anyone at least
 * kAbandonedMinutes ago. A personal row goes with `own`, the others with `shared`; a row whose
 * settings name no server waits. A login is sent over TLS only, unless an administrator allowed
 * the server otherwise (MailPlainLogin, read at each pass; the settings' allowPlainLogin is not
 * read); a server without TLS counts as one that refuses the login.
 * Rows are claimed by conditional statements (ten at a time) before they are sent, and only those a
 * statement claimed are sent, so that several senders deliver each row once. Once the server cannot
 * be reached or refuses the login, the pass's other rows for it wait. A due row with a Digest
 * claims every pending digest row of its recipient and leaves with them as one e-mail ("BX# <n>
 * notices"); alone, it leaves as itself.
 *
 * Afterwards: sent rows 'S' with their Sent_Date; a temporary failure counts an attempt and
 * waits (kFirstRetrySeconds doubling up to kLastRetrySeconds), a refusal by the server, or a row
 * pending over kGiveUpDays, is 'F'; Last_Error keeps the error. Unclaimed rows pending longer
 * than kGiveUpDays are failed at the start of each pass, whether or not a server is set.
 *
 * @throws DbError the claims taken and not settled expire
 */
DeliveryReport deliverDue(Database& db, const SenderContext& context);

/**
 * When a pass may next find work without being told of new rows, UTC: the earliest of the
 * Next_Attempt of the pending unclaimed rows this client sends (every row the user queued, shared
 * rows queued kAbandonedMinutes ago), a claim expiring, and another user's shared row reaching
 * kAbandonedMinutes. Invalid when nothing is pending.
 */
QDateTime nextDueUtc(Database& db, const SenderContext& context);

/**
 * How long a sender that takes notices waits after a pass: until `nextDue`, but at most
 * kIdlePassSeconds; also that long when nothing is pending, or when rows due now were left
 * (no server for them, or one that could not be reached), which only the next minute may send.
 */
std::chrono::milliseconds waitAfterPass(const QDateTime& nextDue, const QDateTime& nowUtc);

/** What one pass of a sender did, and when a sender that takes notices makes the next one. */
struct SenderPass
{
    DeliveryReport report;
    std::optional<std::chrono::milliseconds> nextIn; ///< with notices only
};

/**
 * One pass as a sender makes it on `db`: the database's mail settings, deliverDue, and with
 * `notices` the wait until the next pass (waitAfterPass of nextDueUtc).
 * @throws DbError
 */
SenderPass senderPass(Database& db, SenderContext ctx, bool notices);

/**
 * Whether `notice` calls for a pass of the sender of `userId`: a change to the outbox rows of
 * that user made by another connection (the sender's own claims and settlements call for none).
 */
bool wakesSender(const Notice& notice, const QString& userId);

/**
 * The outbox's sender: runs deliverDue on a thread and a connection of its own, at once on
 * wake(), until stopped. A database failure drops the connection, which the next pass opens
 * again.
 *
 * On an engine with notices its connection listens for the outbox's changes (again after every
 * reconnect): a change to the user's rows made by any other connection runs a pass at once, and
 * otherwise a pass runs only when a row falls due (see waitAfterPass). Without notices a pass
 * runs every `intervalMs`.
 *
 * mailError is emitted on the first failure of an outage, and again only after an e-mail was
 * sent. Signals arrive on the thread that made the sender.
 */
class OutboxSender : public QObject
{
    Q_OBJECT
public:
    /**
     * @param connector opens the sender's connection (secondConnectionTo(session.db()))
     * @param userId    the signed-in user
     * @param own       the user's mail settings as the session has them (personal ones when he
     *                  uses his own); the shared ones are read from the database at each pass
     */
    OutboxSender(Connector connector, QString userId, SmtpSettings own, ErrorLog log,
                 QObject* parent = nullptr);
    /** Stops the sender (see stop()). */
    ~OutboxSender() override;

    void start(int intervalMs = 2000);
    /**
     * Ends the pass under way soon (a transfer is cut off and its rows are left to the next
     * sender) and waits for the thread to end; nothing runs afterwards.
     */
    void stop();
    /** Settings that changed (RELOAD_SYSTEM_SETTINGS); the next pass uses them. */
    void setOwnSettings(const SmtpSettings& own);

public slots:
    /** Runs a pass now rather than at the next interval: mail was just queued. */
    void wake();

signals:
    void mailError(const QString& error);
    /** After each pass, with what it did (a pass that failed on the database reports nothing). */
    void passFinished(int sent, int failed);

private:
    void run(int intervalMs);
    /**
     * Waits until woken, stopped or `deadline`, taking the notices of `db` meanwhile when it
     * listens. @return false when stopping; sets `lost` when the connection broke
     */
    bool waitForPass(Database* db, std::chrono::steady_clock::time_point deadline, bool& lost);

    Connector m_connector;
    const QString m_userId;
    const ErrorLog m_log;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wakeUp;
    SmtpSettings m_own;      ///< under m_mutex
    bool m_woken = false;    ///< under m_mutex
    bool m_stopping = false; ///< under m_mutex
    std::atomic_bool m_abort{false};
};

} // namespace outbox
} // namespace bx
