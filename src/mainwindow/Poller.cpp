#include "mainwindow/Poller.h"

#include "core/Clock.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "core/settings/SettingsStore.h"

#include <QCryptographicHash>
#include <QElapsedTimer>

#include <algorithm>
#include <limits>

namespace bx {

namespace {

const QString kOptions = QStringLiteral("Options");

int nonNegative(const QString& text)
{
    return qMax(0, text.trimmed().toInt());
}

} // namespace

PollIntervals PollIntervals::fromSettings(const SettingsStore& settings)
{
    return {nonNegative(settings.get(kOptions, QStringLiteral("CheckTasks"))),
            nonNegative(settings.get(kOptions, QStringLiteral("CheckMessages")))};
}

qint64 elapsedSeconds(const QDateTime& from, const QDateTime& to)
{
    if (!from.isValid() || !to.isValid())
        return std::numeric_limits<qint64>::max();
    return qAbs(from.secsTo(to));
}

PollDue pollDue(const PollCounters& counters, const PollIntervals& intervals, const QDateTime& now,
                bool databaseOpen)
{
    PollDue due;
    due.clearStatus = counters.statusShown.isValid() &&
                      elapsedSeconds(counters.statusShown, now) >= kStatusSeconds;
    if (!databaseOpen)
        return due;
    due.checkTasks = intervals.checkTasksMinutes > 0 &&
                     elapsedSeconds(counters.lastTasks, now) >=
                         static_cast<qint64>(intervals.checkTasksMinutes) * 60;
    due.checkMessages =
        intervals.checkMessagesSeconds > 0 &&
        elapsedSeconds(counters.lastMessages, now) >= intervals.checkMessagesSeconds;
    due.heartbeat = elapsedSeconds(counters.lastHeartbeat, now) >= kHeartbeatSeconds;
    return due;
}

QByteArray rowsFingerprint(const RecordSet& rows)
{
    // Rows that tie in a view's order may come in any order (the server engine varies it from one
    // run to the next), so each row is digested alone and the sorted row digests make the whole.
    const QByteArray nullMark("\x01", 1);
    const QByteArray separator("\x1f", 1);
    QList<QByteArray> digests;
    digests.reserve(rows.rowCount());
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const QVariantList& row : rows.rows()) {
        hash.reset();
        for (const QVariant& value : row) {
            if (value.isNull())
                hash.addData(nullMark);
            else if (value.typeId() == QMetaType::QByteArray)
                hash.addData(value.toByteArray());
            else
                hash.addData(value.toString().toUtf8());
            hash.addData(separator);
        }
        digests << hash.result();
    }
    std::sort(digests.begin(), digests.end());
    hash.reset();
    for (const QByteArray& d : std::as_const(digests))
        hash.addData(d);
    return hash.result();
}

DatabasePollBackend::DatabasePollBackend(Connector connector)
    : m_connector(std::move(connector))
{
}

DatabasePollBackend::~DatabasePollBackend() = default;

PollResult DatabasePollBackend::run(const PollJob& job)
{
    PollResult result;
    try {
        if (!m_db)
            m_db = m_connector();
        if (!job.taskProbe.sql.isEmpty())
            result.taskFingerprint =
                rowsFingerprint(m_db->query(job.taskProbe.sql, job.taskProbe.params));
        if (job.messageProbe)
            result.messageState = job.messageProbe(*m_db);
        if (job.heartbeat) {
            Presence::writeHeartbeat(*m_db, job.userId, job.nowUtc);
            result.presence = m_presence.read(*m_db, job.nowUtc);
        }
    } catch (const std::exception& e) {
        m_db.reset();
        result = {};
        result.failed = true;
        result.error = QString::fromUtf8(e.what());
        if (const auto* db = dynamic_cast<const DbError*>(&e))
            result.error = db->text();
    }
    return result;
}

Poller::Poller(const Clock& clock, std::unique_ptr<PollBackend> backend, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_backend(std::move(backend))
    , m_worker(new QObject)
{
    m_thread.setObjectName(QStringLiteral("poll"));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
    connect(&m_timer, &QTimer::timeout, this, &Poller::tick);
}

Poller::~Poller()
{
    shutDown();
    // Jobs still queued die with the worker; the backend is no longer used by the thread.
    delete m_worker;
}

void Poller::start(int tickMs)
{
    const QDateTime now = m_clock.nowLocal();
    m_counters.lastTasks = now;
    m_counters.lastMessages = now;
    m_counters.lastHeartbeat = now;
    if (tickMs > 0)
        m_timer.start(tickMs);
}

void Poller::stop()
{
    m_timer.stop();
}

void Poller::shutDown()
{
    m_timer.stop();
    m_thread.quit();
    m_thread.wait();
}

void Poller::statusShown()
{
    m_counters.statusShown = m_clock.nowLocal();
}

TaskCriteria Poller::workshopTasks(qlonglong workshop)
{
    return {QStringLiteral("SELECT ") + taskListColumns() +
                QStringLiteral(" FROM SCR WHERE SCR.%1 = ? ORDER BY SCR.%2")
                    .arg(scr::GroupId, scr::Number),
            {workshop}};
}

bool Poller::emitRefresh(void (Poller::*signal)())
{
    m_refreshing = true;
    (this->*signal)();
    m_refreshing = false;
    if (!m_failure)
        return true;
    lost(*std::exchange(m_failure, std::nullopt));
    return false;
}

void Poller::refreshFailed(const QString& detail)
{
    // Within the signal emitRefresh takes the loss up; a queued slot reports after it, and the
    // next tick does.
    if (!m_refreshing)
        m_taskRefreshOwed = true;
    if (!m_failure)
        m_failure = detail;
}

void Poller::lost(const QString& detail)
{
    m_busy = true;
    emit connectionLost(detail);
    m_busy = false;
}

void Poller::tick()
{
    if (m_busy)
        return;
    if (m_failure) {
        lost(*std::exchange(m_failure, std::nullopt));
        emit tickFinished();
        return;
    }
    m_busy = true;
    QElapsedTimer spent;
    spent.start();
    const QDateTime now = m_clock.nowLocal();
    const bool open = !m_isOpen || m_isOpen();
    const PollDue due = pollDue(m_counters, m_intervals, now, open);
    if (due.clearStatus) {
        m_counters.statusShown = QDateTime();
        emit clearStatus();
    }
    PollJob job;
    if (due.checkTasks) {
        m_counters.lastTasks = now;
        if (m_probe) {
            job.taskProbe = m_probe();
        } else if (!emitRefresh(&Poller::refreshTasks)) {
            m_busy = false;
            emit tickFinished();
            return;
        }
    }
    if (due.checkMessages) {
        m_counters.lastMessages = now;
        if (m_messageProbe) {
            job.messageProbe = m_messageProbe();
        } else if (!emitRefresh(&Poller::refreshMessages)) {
            m_busy = false;
            emit tickFinished();
            return;
        }
    }
    if (due.heartbeat) {
        m_counters.lastHeartbeat = now;
        job.heartbeat = true;
        job.userId = m_userId;
        job.nowUtc = m_clock.nowUtc();
    }
    if (!job.heartbeat && job.taskProbe.sql.isEmpty() && !job.messageProbe) {
        m_busy = false;
        if (due != PollDue{}) {
            m_uiNs = spent.nsecsElapsed();
            emit tickFinished();
        }
        return;
    }
    PollBackend* backend = m_backend.get();
    QMetaObject::invokeMethod(
        m_worker,
        [this, backend, job] {
            const PollResult result = backend->run(job);
            QMetaObject::invokeMethod(
                this, [this, result] { finish(result); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    m_uiNs = spent.nsecsElapsed();
}

void Poller::finish(const PollResult& result)
{
    QElapsedTimer spent;
    spent.start();
    if (result.failed) {
        lost(result.error);
        emit tickFinished();
        return;
    }
    m_busy = false;
    bool ok = true;
    if (result.taskFingerprint) {
        const bool owed = std::exchange(m_taskRefreshOwed, false);
        if (owed || (m_fingerprint && *m_fingerprint != *result.taskFingerprint)) {
            m_busy = true;
            ok = emitRefresh(&Poller::refreshTasks);
            m_busy = false;
        }
        // A refresh that failed is tried again at the next check, whatever that finds.
        m_fingerprint = result.taskFingerprint;
        m_taskRefreshOwed = !ok;
    }
    if (ok && result.messageState && result.messageState != m_messagesSeen) {
        m_messagesSeen = result.messageState;
        m_busy = true;
        ok = emitRefresh(&Poller::refreshMessages);
        m_busy = false;
        // A list that could not be read is read at the next check, whatever that finds.
        if (!ok)
            m_messagesSeen.reset();
    }
    if (ok && result.presence)
        emit presenceChanged(*result.presence);
    m_uiNs += spent.nsecsElapsed();
    emit tickFinished();
}

} // namespace bx
