#pragma once

#include "core/db/DbError.h"
#include "core/db/SecondConnection.h"
#include "mainwindow/TaskViews.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QThread>

namespace bx {

/** What a background read of a task view brought: the rows the user may see, as read. */
struct TaskViewRows
{
    QStringList names;
    QList<QVariantList> rows;
    TaskListFill fill;
};

/**
 * Reads the rows of a task view away from the user-interface thread, on a connection of its own,
 * so that the window stays responsive while a large view is read; the result comes back on the
 * thread that owns the reader. A read started while another runs supersedes it: only the newest
 * read reports. Destroying the reader waits for reads still running.
 */
class TaskViewReader : public QObject
{
    Q_OBJECT
public:
    explicit TaskViewReader(QObject* parent = nullptr);
    ~TaskViewReader() override;

    /**
     * Starts reading `statement` through a connection `opener` opens, listing rows for `userId`
     * under the time limit of `queryWaitSeconds` (fillTaskList).
     */
    void start(Connector opener, TaskCriteria statement, int queryWaitSeconds, QString userId);
    /** A read is running whose result is still wanted. */
    bool busy() const { return m_wanted != 0; }
    /** Forgets the running read: it will not report. */
    void cancel() { m_wanted = 0; }

signals:
    void finished(const bx::TaskViewRows& rows);
    void failed(const bx::DbError& error);

private:
    QList<QPointer<QThread>> m_threads;
    quint64 m_next = 0;
    quint64 m_wanted = 0;
};

} // namespace bx
