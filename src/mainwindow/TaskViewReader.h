#pragma once

#include "mainwindow/BackgroundReader.h"
#include "mainwindow/TaskViews.h"

#include <QList>
#include <QObject>

namespace bx {

/** What a background read of a task view brought: the rows the user may see, as read. */
struct TaskViewRows
{
    QStringList names;
    QList<QVariantList> rows;
    TaskListFill fill;
};

/**
 * Reads the rows of a task view in the background (BackgroundReader), keeping those the user may
 * see. A read started while another runs supersedes it: only the newest read reports.
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
    bool busy() const { return m_reader->busy(); }
    /** Forgets the running read: it will not report. */
    void cancel() { m_reader->cancel(); }

signals:
    void finished(const bx::TaskViewRows& rows);
    void failed(const bx::DbError& error);

private:
    BackgroundReader* m_reader;
};

} // namespace bx
