#pragma once

#include "core/db/ChangeMarkers.h"
#include "core/db/Notices.h"
#include "mainwindow/Presence.h"
#include "mainwindow/TaskViews.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

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

/** More tasks marked than this are read again with the whole view, not one by one. */
inline constexpr int kMaxMarkedTasks = 40;

/** What the change notices taken so far ask of the poll. */
struct NoticeMarks
{
    QSet<qlonglong> tasks;  ///< tasks to read again by number
    bool wholeView = false; ///< the whole view is to be checked
    bool mailbox = false;   ///< the message check is to run

    bool empty() const { return tasks.isEmpty() && !wholeView && !mailbox; }
    bool operator==(const NoticeMarks&) const = default;
};

/**
 * Adds to `marks` what `notices` ask of the poll of the user `userId` whose view shows the
 * workshop `workshop`: tasks and routes of the workshop mark their tasks (past kMaxMarkedTasks,
 * or a notice for the whole workshop or table, the whole view instead); the user's mail marks
 * the mailbox. Notices of other workshops or users, of the outbox, and payloads that are not
 * change notices mark nothing.
 */
void markNotices(NoticeMarks& marks, const QList<Notice>& notices, qlonglong workshop,
                 const QString& userId);

/**
 * A digest of a task view kept row by row, so that re-reading a few of its tasks updates it
 * without reading the whole view again. The digest of a set of rows does not depend on their
 * order (rows that tie in a view's order may come in any order).
 */
class ViewDigest
{
public:
    /** The digest of the whole view `rows`. */
    void reset(const RecordSet& rows);
    /**
     * The tasks `numbers` were read again and gave `rows` (those absent left the view).
     * @return false when the digest cannot follow (rows without task numbers); it is then void
     */
    bool update(const QList<qlonglong>& numbers, const RecordSet& rows);
    /** Empty when no whole view was digested or the digest is void. */
    QByteArray fingerprint() const;

private:
    struct Sum
    {
        quint64 high = 0;
        quint64 low = 0;
    };
    static Sum rowSum(const QVariantList& row);
    void add(const Sum& s, int sign);

    bool m_valid = false;
    bool m_keyed = false; ///< rows are known by their task numbers
    QHash<qlonglong, Sum> m_rows;
    Sum m_total;
    qsizetype m_count = 0;
};

/** The database work of one tick, done away from the user-interface thread. */
struct PollJob
{
    /**
     * Take the change notices that came (listening first when the connection does not yet, on
     * an engine that has them).
     */
    bool takeNotices = false;
    /** Empty: none. The view's statement kept to the tasks `keyedNumbers`. */
    TaskCriteria keyedRead;
    QList<qlonglong> keyedNumbers;
    bool heartbeat = false;
    QString userId;
    QDateTime nowUtc; ///< true UTC: presence compares moments between machines
    /** Empty: no task check. Otherwise the statement whose rows stand for the task view. */
    TaskCriteria taskProbe;
    /**
     * With a task check: the change markers that stand for the view, read first; the view is
     * read only when they moved. None: the view is read at every check.
     */
    std::optional<change_markers::Scope> markerScope;
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
    QList<Notice> notices;
    bool listenStarted = false; ///< the connection began to listen in this job
    bool noticesLost = false;   ///< the listening connection broke (a new one may listen now)
    std::optional<RecordSet> keyedRows;
    QList<qlonglong> keyedNumbers; ///< the job's
    /** The view's digest after the keyed read; empty when it could not follow. */
    QByteArray keyedFingerprint;
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
 * presence read go through Presence; the task probe's rows are digested (ViewDigest), and a
 * keyed read updates that digest. With a marker scope the task check reads the change markers
 * first and the view only when they moved since the view was last read, when the view's statement
 * or scope differs from that read, on a new connection, or when the digest cannot stand for the
 * view (a keyed read it could not follow); an unchanged view costs that one statement. Asked to
 * take notices, the connection listens on the database's change channel; a listening connection
 * found broken is replaced within the same job, which then listens again (noticesLost,
 * listenStarted); only when no new connection opens does the job fail.
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
    /** The task check of a job: the markers, and the view when they moved. */
    void checkTasks(const PollJob& job, PollResult& result);

    Connector m_connector;
    std::unique_ptr<Database> m_db;
    bool m_listening = false;
    Presence m_presence;
    ViewDigest m_digest;
    /** The statement and marker scope of the last whole read of the view, and the markers then. */
    std::optional<std::pair<TaskCriteria, change_markers::Scope>> m_viewRead;
    QVariant m_markers;
};

/**
 * The main window's poll (Timer1). A QTimer ticks about once a second; each tick decides from the
 * counters (pollDue) what is due, with the injected clock, and
 *  - clears the status (clearStatus);
 *  - when the database is open: asks the window to re-read the message list (refreshMessages),
 *    and hands the task probe and the heartbeat to the backend on a worker thread. When the probe's
 *    digest differs from the previous one the window is asked to refresh its task view
 *    (refreshTasks); the presence read comes back as presenceChanged, keyed by presenceKey().
 * The first digest is the base line and asks for nothing. With a marker scope (setMarkerScope) the
 * worker reads the view only when the workshop's change markers moved (DatabasePollBackend).
 *  - with notices (setNotices), every tick takes the change notices on the worker and marks what
 *    they name (markNotices). The tick after, marked tasks are read again in one statement
 *    (setKeyedTaskProbe) and handed to the window (tasksRead) instead of a refresh; a mark of the
 *    whole view runs the task check at once, a mark of the mailbox the message check. A notice
 *    connection that broke and listens again also runs the task check at once, since changes
 *    went unheard meanwhile. The task check keeps running every CheckTasks minutes besides, and
 *    a check that is off (0) is not run by notices either.
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
     * The change markers that stand for the task probe's view, built with it at each check: the
     * worker reads them first and the view only when they moved. Without it (a database without
     * markers) every check reads the view.
     */
    void setMarkerScope(std::function<change_markers::Scope()> scope)
    {
        m_markerScope = std::move(scope);
    }
    /**
     * The read of the message check, made on the user-interface thread at each check (so that it
     * follows the workshop) and run on the worker.
     */
    void setMessageProbe(std::function<MessageProbe()> probe) { m_messageProbe = std::move(probe); }
    /**
     * Whether the worker takes change notices at each tick (the engine has them); off by default.
     */
    void setNotices(bool on) { m_notices = on; }
    bool notices() const { return m_notices; }
    /** The workshop the view shows, read on the user-interface thread when notices come. */
    void setWorkshop(std::function<qlonglong()> workshop) { m_workshop = std::move(workshop); }
    /**
     * The view's statement kept to some tasks, built on the user-interface thread; an empty one
     * (a view that cannot be read by task) makes the tick run the whole task check.
     */
    void setKeyedTaskProbe(std::function<TaskCriteria(const QList<qlonglong>&)> probe)
    {
        m_keyedProbe = std::move(probe);
    }
    /** What the notices marked and no tick has taken up yet. */
    const NoticeMarks& marks() const { return m_marks; }
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
    /** The tasks `numbers` were read again under the view's statement; absent ones left it. */
    void tasksRead(const QList<qlonglong>& numbers, const RecordSet& rows);
    void presenceChanged(const QHash<QString, bool>& online);
    void connectionLost(const QString& detail);
    /** The work of a tick that had anything to do is done (also after a failure was handled). */
    void tickFinished();

private:
    void finish(const PollResult& result);
    void lost(const QString& detail);
    /** Emits one of the window's refresh signals; false when a slot reported a failure. */
    bool emitRefresh(void (Poller::*signal)());
    bool emitRefresh(const std::function<void()>& emitter);
    /** Marks what the notices of a result ask for, and a notice connection that broke. */
    void takeUpNotices(const PollResult& result);

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
    std::function<change_markers::Scope()> m_markerScope;
    std::function<MessageProbe()> m_messageProbe;
    std::optional<QVariantList> m_messagesSeen;
    bool m_refreshing = false;        ///< a refresh signal is being emitted
    std::optional<QString> m_failure; ///< a refresh's failure not yet taken up
    bool m_taskRefreshOwed = false;   ///< the last task refresh failed
    std::optional<QByteArray> m_fingerprint;
    bool m_notices = false;
    bool m_listenedBefore = false;
    std::function<qlonglong()> m_workshop;
    std::function<TaskCriteria(const QList<qlonglong>&)> m_keyedProbe;
    NoticeMarks m_marks;
    bool m_busy = false;
    qint64 m_uiNs = 0;
};

} // namespace bx
