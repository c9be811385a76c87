#pragma once

#include "mainwindow/Presence.h"
#include "mainwindow/TaskViews.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace bx {

class Clock;
class Database;
class SettingsStore;

/** The poll intervals of the user's settings ("Options"); 0 switches a check off. */
struct PollIntervals
{
    int checkTasksMinutes = 0;
    int checkMessagesSeconds = 0;

    /** Reads "Options" CheckTasks and CheckMessages; missing or negative values give 0. */
    static PollIntervals fromSettings(const SettingsStore& settings);
};

/** A status message is cleared once it is this many seconds old. */
inline constexpr int kStatusSeconds = 2;

/** When the checks last ran, and when the status label got its message (invalid: none shown). */
struct PollCounters
{
    QDateTime lastTasks;
    QDateTime lastMessages;
    QDateTime lastHeartbeat;
    QDateTime statusShown;
};

/** What one tick has to do. */
struct PollDue
{
    bool clearStatus = false;
    bool checkTasks = false;
    bool checkMessages = false;
    bool heartbeat = false;

    bool operator==(const PollDue&) const = default;
};

/**
 * Seconds between two moments, always positive, so that a clock set back triggers the checks as a
 * clock set forward does. An invalid moment counts as long ago.
 */
qint64 elapsedSeconds(const QDateTime& from, const QDateTime& to);

/**
 * The decisions of one tick: the status is cleared when shown at least kStatusSeconds ago; with
 * the database closed nothing else is due; the task check after CheckTasks minutes, the message
 * check after CheckMessages seconds (neither when 0), the heartbeat every kHeartbeatSeconds.
 */
PollDue pollDue(const PollCounters& counters, const PollIntervals& intervals, const QDateTime& now,
                bool databaseOpen);

/**
 * The message check's read on the worker's connection: a few values that change whenever the
 * mailbox does (e.g. the unread count and the newest number).
 */
using MessageProbe = std::function<QVariantList(Database&)>;

/** The database work of one tick, done away from the user-interface thread. */
struct PollJob
{
    bool heartbeat = false;
    QString userId;
    QDateTime nowUtc; ///< true UTC: presence compares moments between machines
    /** Empty: no task check. Otherwise the statement whose rows stand for the task view. */
    TaskCriteria taskProbe;
    /** Empty: no message probe. */
    MessageProbe messageProbe;
};

/** What the work found; `failed` means the connection is to be taken as lost. */
struct PollResult
{
    bool failed = false;
    QString error;
    std::optional<QByteArray> taskFingerprint;
    std::optional<QVariantList> messageState;
    std::optional<QHash<QString, bool>> presence;
};

/**
 * A digest of every value of every row; the same rows in another order give the same digest.
 */
QByteArray rowsFingerprint(const RecordSet& rows);

/** Does the work of the ticks. Runs on the poller's worker thread only. */
class PollBackend
{
public:
    virtual ~PollBackend() = default;
    virtual PollResult run(const PollJob& job) = 0;
};

/**
 * The work on a connection of its own: opened at the first job, dropped after any failure and
 * opened again by the next job (so that it follows a reconnect of the session). Heartbeat and
 * presence read go through Presence; the task probe's rows are digested.
 */
class DatabasePollBackend final : public PollBackend
{
public:
    /** Opens the backend's connection, e.g. secondConnectionTo(session.db()). */
    using Connector = std::function<std::unique_ptr<Database>()>;
    explicit DatabasePollBackend(Connector connector);
    ~DatabasePollBackend() override;

    PollResult run(const PollJob& job) override;

private:
    Connector m_connector;
    std::unique_ptr<Database> m_db;
    Presence m_presence;
};

/**
 * The main window's poll (Timer1). A QTimer ticks about once a second; each tick decides from the
 * counters (pollDue) what is due, with the injected clock, and
 *  - clears the status (clearStatus);
 *  - when the database is open: asks the window to re-read the message list (refreshMessages),
 *    and hands the task probe and the heartbeat to the backend on a worker thread. When the probe's
 *    digest differs from the previous one the window is asked to refresh its task view
 *    (refreshTasks); the presence read comes back as presenceChanged, keyed by presenceKey().
 * The first digest is the base line and asks for nothing.
 *  - with a message probe, runs it on the worker too and asks for refreshMessages only when its
 *    values differ from those the window last saw (messagesSeen); without one every message
 *    check asks for refreshMessages.
 *
 * Any failure inside a tick (of the backend, or of a slot of refreshTasks or refreshMessages,
 * which catches its own DbError and calls refreshFailed) emits connectionLost; its slot is
 * expected to settle the matter before it returns (Reconnect). A failed task refresh is asked for
 * again at the next check. Nothing is expected to be thrown through a signal. A tick that comes
 * while the previous one is still running, its work on the worker thread included, does nothing; so
 * does a tick while connectionLost is being handled.
 */
class Poller : public QObject
{
    Q_OBJECT
public:
    Poller(const Clock& clock, std::unique_ptr<PollBackend> backend, QObject* parent = nullptr);
    ~Poller() override;

    void setIntervals(const PollIntervals& intervals) { m_intervals = intervals; }
    const PollIntervals& intervals() const { return m_intervals; }
    void setUserId(const QString& userId) { m_userId = userId; }
    /** Whether the session's database is open; assumed open when not given. */
    void setDatabaseOpen(std::function<bool()> isOpen) { m_isOpen = std::move(isOpen); }
    /**
     * The statement of the task check, built on the user-interface thread at each check; without
     * one every task check asks for refreshTasks.
     */
    void setTaskProbe(std::function<TaskCriteria()> probe) { m_probe = std::move(probe); }
    /**
     * The read of the message check, made on the user-interface thread at each check (so that it
     * follows the workshop) and run on the worker.
     */
    void setMessageProbe(std::function<MessageProbe()> probe) { m_messageProbe = std::move(probe); }
    /** The values of the message probe that the list on show was read with. */
    void messagesSeen(const QVariantList& state) { m_messagesSeen = state; }

    /** Sets every counter to now and starts ticking every `tickMs` (0: only tick() ticks). */
    void start(int tickMs = 1000);
    void stop();
    /**
     * Stops ticking and waits for the work still running on the worker thread; no job runs
     * afterwards, but the result of one that finished may still arrive. For a caller that drops
     * the poller from within one of its signals, where deleting it is not allowed (deleteLater).
     */
    void shutDown();
    /** The status label got a message now. */
    void statusShown();
    /**
     * Called by a slot of refreshTasks or refreshMessages whose work failed on the database. From
     * within the signal the tick ends at once as a lost connection; from a queued slot the loss is
     * taken up by the next tick. The task refresh is asked for again at the next check.
     */
    void refreshFailed(const QString& detail);

    const PollCounters& counters() const { return m_counters; }
    bool busy() const { return m_busy; }
    /**
     * Time the last tick with work spent on the user-interface thread, in nanoseconds: its
     * decision and dispatch plus the handling of its result, the window's slots included.
     */
    qint64 lastTickUiNanoseconds() const { return m_uiNs; }

    /** The default task probe: every task of the workshop, in the task lists' columns. */
    static TaskCriteria workshopTasks(qlonglong workshop);

public slots:
    void tick();

signals:
    void clearStatus();
    void refreshTasks();
    void refreshMessages();
    void presenceChanged(const QHash<QString, bool>& online);
    void connectionLost(const QString& detail);
    /** The work of a tick that had anything to do is done (also after a failure was handled). */
    void tickFinished();

private:
    void finish(const PollResult& result);
    void lost(const QString& detail);
    /** Emits one of the window's refresh signals; false when a slot reported a failure. */
    bool emitRefresh(void (Poller::*signal)());

    const Clock& m_clock;
    std::unique_ptr<PollBackend> m_backend;
    QThread m_thread;
    QObject* m_worker = nullptr; ///< lives on m_thread; jobs are queued to it
    QTimer m_timer;
    PollIntervals m_intervals;
    PollCounters m_counters;
    QString m_userId;
    std::function<bool()> m_isOpen;
    std::function<TaskCriteria()> m_probe;
    std::function<MessageProbe()> m_messageProbe;
    std::optional<QVariantList> m_messagesSeen;
    bool m_refreshing = false;        ///< a refresh signal is being emitted
    std::optional<QString> m_failure; ///< a refresh's failure not yet taken up
    bool m_taskRefreshOwed = false;   ///< the last task refresh failed
    std::optional<QByteArray> m_fingerprint;
    bool m_busy = false;
    qint64 m_uiNs = 0;
};

} // namespace bx
