#include "mainwindow/Poller.h"

#include "core/Clock.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "core/settings/SettingsStore.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QtEndian>

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

void markNotices(NoticeMarks& marks, const QList<Notice>& notices, qlonglong workshop,
                 const QString& userId)
{
    for (const Notice& n : notices) {
        const std::optional<ChangeNotice> change = ChangeNotice::parse(n.payload);
        if (!change)
            continue;
        if (change->table == QLatin1String("scr") || change->table == QLatin1String("route")) {
            if (!change->concernsWorkshop(workshop))
                continue;
            if (change->whole)
                marks.wholeView = true;
            for (const qlonglong key : std::as_const(change->keys))
                marks.tasks.insert(key);
        } else if (change->table == QLatin1String("mail") && change->concernsUser(userId)) {
            marks.mailbox = true;
        }
    }
    // Reading many tasks by number costs more than the whole view's check.
    if (marks.tasks.size() > kMaxMarkedTasks)
        marks.wholeView = true;
    if (marks.wholeView)
        marks.tasks.clear();
}

ViewDigest::Sum ViewDigest::rowSum(const QVariantList& row)
{
    // Every row of a view passes here: each value goes in as its kind, its length and its bytes,
    // without making text of numbers and dates. The length keeps values from running into each
    // other; the kind keeps a Null apart from an empty text.
    QCryptographicHash hash(QCryptographicHash::Sha1);
    const auto add = [&hash](char kind, const void* data, qsizetype size) {
        const qint64 length = size;
        hash.addData(QByteArrayView(&kind, 1));
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(&length), sizeof length));
        hash.addData(QByteArrayView(static_cast<const char*>(data), size));
    };
    for (const QVariant& value : row) {
        if (value.isNull()) {
            add('0', nullptr, 0);
            continue;
        }
        switch (value.typeId()) {
        case QMetaType::QString: {
            const auto* text = static_cast<const QString*>(value.constData());
            add('s', text->constData(), text->size() * qsizetype(sizeof(QChar)));
            break;
        }
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::Bool: {
            const qint64 n = value.toLongLong();
            add('i', &n, sizeof n);
            break;
        }
        case QMetaType::Double: {
            const double d = value.toDouble();
            add('d', &d, sizeof d);
            break;
        }
        case QMetaType::QDateTime: {
            // The fields as stored, not the moment: no time zone is looked up.
            const QDateTime t = value.toDateTime();
            const qint64 parts[2] = {t.date().toJulianDay(), t.time().msecsSinceStartOfDay()};
            add('t', parts, sizeof parts);
            break;
        }
        case QMetaType::QByteArray: {
            const auto* bytes = static_cast<const QByteArray*>(value.constData());
            add('b', bytes->constData(), bytes->size());
            break;
        }
        default: {
            const QByteArray text = value.toString().toUtf8();
            add('v', text.constData(), text.size());
        }
        }
    }
    const QByteArray d = hash.result();
    return {qFromBigEndian<quint64>(d.constData()), qFromBigEndian<quint64>(d.constData() + 8)};
}

void ViewDigest::add(const Sum& s, int sign)
{
    // Sums (modulo 2^64 in each half) do not depend on the order of the rows and let a row's
    // part be taken out again.
    if (sign > 0) {
        m_total.high += s.high;
        m_total.low += s.low;
    } else {
        m_total.high -= s.high;
        m_total.low -= s.low;
    }
    m_count += sign;
}

void ViewDigest::reset(const RecordSet& rows)
{
    m_rows.clear();
    m_total = {};
    m_count = 0;
    m_valid = true;
    const int number = rows.columnIndex(scr::Number);
    m_keyed = number >= 0;
    if (m_keyed)
        m_rows.reserve(rows.rowCount());
    for (const QVariantList& row : rows.rows()) {
        const Sum s = rowSum(row);
        add(s, 1);
        if (!m_keyed)
            continue;
        const qlonglong key = row.value(number).toLongLong();
        if (m_rows.contains(key))
            m_keyed = false; // a view that lists a task twice cannot be followed by number
        else
            m_rows.insert(key, s);
    }
    if (!m_keyed)
        m_rows.clear();
}

bool ViewDigest::update(const QList<qlonglong>& numbers, const RecordSet& rows)
{
    const int number = rows.columnIndex(scr::Number);
    if (!m_valid || !m_keyed || (number < 0 && !rows.isEmpty())) {
        m_valid = false;
        m_rows.clear();
        return false;
    }
    for (const qlonglong n : numbers) {
        const auto it = m_rows.constFind(n);
        if (it == m_rows.constEnd())
            continue;
        add(*it, -1);
        m_rows.erase(it);
    }
    for (const QVariantList& row : rows.rows()) {
        const qlonglong key = row.value(number).toLongLong();
        if (!numbers.contains(key) || m_rows.contains(key)) {
            m_valid = false;
            m_rows.clear();
            return false;
        }
        const Sum s = rowSum(row);
        add(s, 1);
        m_rows.insert(key, s);
    }
    return true;
}

QByteArray ViewDigest::fingerprint() const
{
    if (!m_valid)
        return {};
    QByteArray out(24, Qt::Uninitialized);
    qToBigEndian(m_total.high, out.data());
    qToBigEndian(m_total.low, out.data() + 8);
    qToBigEndian(quint64(m_count), out.data() + 16);
    return out;
}

QByteArray rowsFingerprint(const RecordSet& rows)
{
    ViewDigest digest;
    digest.reset(rows);
    return digest.fingerprint();
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
        if (job.takeNotices && m_db && m_listening) {
            try {
                result.notices = m_db->takeNotices(0);
            } catch (const DbError&) {
                // Only the notices are lost so far: a new connection below listens again.
                m_db.reset();
                result.noticesLost = true;
            }
        }
        if (!m_db) {
            m_db = m_connector();
            m_listening = false;
            // A new connection (after a reconnect) reads the view once whatever the markers say.
            m_viewRead.reset();
        }
        if (job.takeNotices && !m_listening && m_db->dialect().hasNotices()) {
            m_db->listen(m_db->changeChannel());
            m_listening = true;
            result.listenStarted = true;
        }
        if (!job.keyedRead.sql.isEmpty()) {
            RecordSet rows = m_db->query(job.keyedRead.sql, job.keyedRead.params);
            if (m_digest.update(job.keyedNumbers, rows))
                result.keyedFingerprint = m_digest.fingerprint();
            result.keyedRows = std::move(rows);
            result.keyedNumbers = job.keyedNumbers;
        }
        if (!job.taskProbe.sql.isEmpty())
            checkTasks(job, result);
        if (job.messageProbe)
            result.messageState = job.messageProbe(*m_db);
        if (job.heartbeat) {
            Presence::writeHeartbeat(*m_db, job.userId, job.nowUtc);
            result.presence = m_presence.read(*m_db, job.nowUtc);
        }
    } catch (const std::exception& e) {
        m_db.reset();
        m_listening = false;
        result = {};
        result.failed = true;
        result.error = QString::fromUtf8(e.what());
        if (const auto* db = dynamic_cast<const DbError*>(&e))
            result.error = db->text();
    }
    return result;
}

void DatabasePollBackend::checkTasks(const PollJob& job, PollResult& result)
{
    // The markers are read before the view: a change that commits between the two is in the
    // view and counts as news at the next check, which reads the view once more for nothing;
    // the other order could miss it. A view whose statement holds the present moment (the Late
    // list) differs at every check and so is read every time: time alone changes it.
    const bool sameView = m_viewRead && job.markerScope && m_viewRead->second == *job.markerScope &&
                          m_viewRead->first.sql == job.taskProbe.sql &&
                          m_viewRead->first.params == job.taskProbe.params;
    std::optional<change_markers::Reading> markers;
    if (job.markerScope)
        markers = change_markers::read(*m_db, *job.markerScope, sameView ? m_markers : QVariant());
    const QByteArray digested = m_digest.fingerprint();
    if (markers && !markers->moved && sameView && !digested.isEmpty()) {
        result.taskFingerprint = digested;
        return;
    }
    m_viewRead.reset();
    m_digest.reset(m_db->query(job.taskProbe.sql, job.taskProbe.params));
    result.taskFingerprint = m_digest.fingerprint();
    if (markers) {
        m_viewRead.emplace(job.taskProbe, *job.markerScope);
        m_markers = markers->state;
    }
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
    return emitRefresh([this, signal] { (this->*signal)(); });
}

bool Poller::emitRefresh(const std::function<void()>& emitter)
{
    m_refreshing = true;
    emitter();
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
    PollDue due = pollDue(m_counters, m_intervals, now, open);
    PollJob job;
    if (open && m_notices) {
        job.takeNotices = true;
        // What the notices marked is taken up now; a check that is off stays off.
        const bool tasksOn = m_intervals.checkTasksMinutes > 0;
        if (m_marks.wholeView && tasksOn)
            due.checkTasks = true;
        if (m_marks.mailbox && m_intervals.checkMessagesSeconds > 0)
            due.checkMessages = true;
        if (!m_marks.tasks.isEmpty() && tasksOn && !due.checkTasks) {
            QList<qlonglong> numbers(m_marks.tasks.cbegin(), m_marks.tasks.cend());
            std::sort(numbers.begin(), numbers.end());
            job.keyedRead = m_keyedProbe ? m_keyedProbe(numbers) : TaskCriteria();
            if (job.keyedRead.sql.isEmpty())
                due.checkTasks = true;
            else
                job.keyedNumbers = std::move(numbers);
        }
        m_marks = {};
    }
    if (due.clearStatus) {
        m_counters.statusShown = QDateTime();
        emit clearStatus();
    }
    if (due.checkTasks) {
        m_counters.lastTasks = now;
        if (m_probe) {
            job.taskProbe = m_probe();
            if (m_markerScope)
                job.markerScope = m_markerScope();
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
    if (!job.heartbeat && job.taskProbe.sql.isEmpty() && !job.messageProbe && !job.takeNotices) {
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

void Poller::takeUpNotices(const PollResult& result)
{
    if (result.noticesLost || (result.listenStarted && m_listenedBefore)) {
        // Changes went unheard meanwhile: the whole view is checked once.
        m_marks.wholeView = true;
        if (!m_fingerprint)
            m_taskRefreshOwed = true;
    }
    m_listenedBefore = m_listenedBefore || result.listenStarted;
    markNotices(m_marks, result.notices, m_workshop ? m_workshop() : 0, m_userId);
    // A ticking poll takes the marks up at once rather than a second later.
    if (!m_marks.empty() && m_timer.isActive())
        QTimer::singleShot(0, this, &Poller::tick);
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
    takeUpNotices(result);
    bool ok = true;
    if (result.keyedRows) {
        // The view's digest follows the tasks read, so the next check finds no change in them.
        if (m_fingerprint && !result.keyedFingerprint.isEmpty())
            m_fingerprint = result.keyedFingerprint;
        m_busy = true;
        ok = emitRefresh([&] { emit tasksRead(result.keyedNumbers, *result.keyedRows); });
        m_busy = false;
        if (!ok) {
            for (const qlonglong n : result.keyedNumbers)
                m_marks.tasks.insert(n);
        }
    }
    if (ok && result.taskFingerprint) {
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
