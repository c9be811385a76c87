#include "mainwindow/BackgroundReader.h"

#include "core/db/Database.h"

#include <QElapsedTimer>
#include <QMetaObject>

#include <optional>

namespace bx {

RowWalk walkRows(Database& db, const TaskCriteria& statement, int queryWaitSeconds,
                 const RowFilter& keep, const std::function<void(const RecordSet&, int)>& take,
                 const std::function<qint64()>& elapsedMs)
{
    QElapsedTimer timer;
    timer.start();
    const auto elapsed = [&] { return elapsedMs ? elapsedMs() : timer.elapsed(); };
    const RecordSet rows = db.query(statement.sql, statement.params);
    const qint64 limitMs = qint64(queryWaitSeconds) * 1000;
    RowWalk walk;
    for (int row = 0; row < rows.rowCount(); ++row) {
        if (elapsed() > limitMs) {
            walk.stopped = true;
            break;
        }
        if (keep && !keep(rows, row)) {
            ++walk.skipped;
            continue;
        }
        take(rows, row);
        ++walk.taken;
    }
    return walk;
}

ReadRows readRows(Database& db, const TaskCriteria& statement, int queryWaitSeconds,
                  const RowFilter& keep, const std::function<qint64()>& elapsedMs)
{
    ReadRows read;
    const RowWalk walk = walkRows(
        db, statement, queryWaitSeconds, keep,
        [&](const RecordSet& rs, int row) {
            if (read.names.isEmpty())
                read.names = rs.columns();
            read.rows << rs.rows().at(row);
        },
        elapsedMs);
    read.skipped = walk.skipped;
    read.stopped = walk.stopped;
    return read;
}

BackgroundReader::BackgroundReader(QObject* parent)
    : QObject(parent)
{
}

BackgroundReader::~BackgroundReader()
{
    m_wanted = 0;
    for (const QPointer<QThread>& t : std::as_const(m_threads)) {
        if (t)
            t->wait();
    }
}

void BackgroundReader::start(Connector opener, TaskCriteria statement, int queryWaitSeconds,
                             RowFilter keep, SideRead side)
{
    const quint64 read = ++m_next;
    m_wanted = read;
    QPointer<BackgroundReader> self(this);
    QThread* worker =
        QThread::create([self, read, opener = std::move(opener), statement = std::move(statement),
                         queryWaitSeconds, keep = std::move(keep), side = std::move(side)] {
            ReadRows result;
            std::optional<DbError> error;
            try {
                const std::unique_ptr<Database> db = opener();
                result = readRows(*db, statement, queryWaitSeconds, keep);
                if (side)
                    result.side = side(*db);
            } catch (const DbError& e) {
                error = e;
            }
            // Back on the reader's thread, where a superseded read is dropped. The reader waits for
            // this thread before it goes, so it is still there to post to.
            QMetaObject::invokeMethod(
                self.data(),
                [self, read, result = std::move(result), error = std::move(error)] {
                    if (!self || self->m_wanted != read)
                        return;
                    self->m_wanted = 0;
                    if (error)
                        emit self->failed(*error);
                    else
                        emit self->finished(result);
                },
                Qt::QueuedConnection);
        });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    m_threads.removeAll(nullptr);
    m_threads << worker;
    worker->start();
}

} // namespace bx
