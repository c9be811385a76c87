#include "mainwindow/TaskViewReader.h"

#include "core/db/Database.h"

#include <QMetaObject>

#include <optional>

namespace bx {

TaskViewReader::TaskViewReader(QObject* parent)
    : QObject(parent)
{
}

TaskViewReader::~TaskViewReader()
{
    m_wanted = 0;
    for (const QPointer<QThread>& t : std::as_const(m_threads)) {
        if (t)
            t->wait();
    }
}

void TaskViewReader::start(Connector opener, TaskCriteria statement, int queryWaitSeconds,
                           QString userId)
{
    const quint64 read = ++m_next;
    m_wanted = read;
    QPointer<TaskViewReader> self(this);
    QThread* worker =
        QThread::create([self, read, opener = std::move(opener), statement = std::move(statement),
                         queryWaitSeconds, userId = std::move(userId)] {
            TaskViewRows result;
            std::optional<DbError> error;
            try {
                const std::unique_ptr<Database> db = opener();
                result.fill = fillTaskList(*db, queryWaitSeconds, userId, statement,
                                           [&](const RecordSet& rs, int row) {
                                               if (result.names.isEmpty())
                                                   result.names = rs.columns();
                                               result.rows << rs.rows().at(row);
                                           });
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
