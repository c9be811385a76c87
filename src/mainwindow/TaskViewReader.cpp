#include "mainwindow/TaskViewReader.h"

namespace bx {

TaskViewReader::TaskViewReader(QObject* parent)
    : QObject(parent)
    , m_reader(new BackgroundReader(this))
{
    connect(m_reader, &BackgroundReader::finished, this, [this](const ReadRows& read) {
        TaskViewRows rows;
        rows.names = read.names;
        rows.rows = read.rows;
        rows.fill.inserted = int(read.rows.size());
        rows.fill.hidden = read.skipped;
        rows.fill.stopped = read.stopped;
        if (read.stopped)
            rows.fill.message = kTooManyTasks;
        emit finished(rows);
    });
    connect(m_reader, &BackgroundReader::failed, this, &TaskViewReader::failed);
}

TaskViewReader::~TaskViewReader() = default;

void TaskViewReader::start(Connector opener, TaskCriteria statement, int queryWaitSeconds,
                           QString userId)
{
    m_reader->start(std::move(opener), std::move(statement), queryWaitSeconds,
                    [userId = std::move(userId)](const RecordSet& rows, int row) {
                        return taskVisibleTo(rows, row, userId);
                    });
}

} // namespace bx
