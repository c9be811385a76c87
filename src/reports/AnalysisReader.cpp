#include "reports/AnalysisReader.h"

#include <QMetaObject>
#include <QThread>

#include <mutex>

namespace bx {

/** One read: the connection it runs on, while it runs, so that another thread may interrupt it. */
struct AnalysisReader::Read
{
    std::mutex mutex;
    Database* db = nullptr;
    bool stopped = false;

    void stop()
    {
        const std::lock_guard lock(mutex);
        stopped = true;
        if (db)
            db->interrupt();
    }
};

AnalysisReader::AnalysisReader(QObject* parent)
    : QObject(parent)
{
}

AnalysisReader::~AnalysisReader()
{
    interrupt();
    for (QThread* t : std::as_const(m_threads)) {
        t->wait();
        delete t;
    }
}

void AnalysisReader::interrupt()
{
    if (m_running)
        m_running->stop();
    m_running.reset();
}

void AnalysisReader::start(Connector opener, Analysis analysis, AnalysisRun run, Done done,
                           Failed failed)
{
    interrupt();
    // Threads of earlier reads that have ended go now.
    m_threads.removeIf([](QThread* t) {
        if (!t->isFinished())
            return false;
        delete t;
        return true;
    });
    auto read = std::make_shared<Read>();
    m_running = read;
    QThread* worker =
        QThread::create([this, read, opener = std::move(opener), analysis = std::move(analysis),
                         run, done = std::move(done), failed = std::move(failed)] {
            Outcome<pivot::Source> result;
            std::optional<DbError> error;
            try {
                const std::unique_ptr<Database> db = opener();
                {
                    const std::lock_guard lock(read->mutex);
                    if (read->stopped)
                        return;
                    read->db = db.get();
                }
                try {
                    result = readAnalysis(*db, analysis, run);
                } catch (const DbError& e) {
                    error = e;
                }
                const std::lock_guard lock(read->mutex);
                read->db = nullptr;
            } catch (const DbError& e) {
                error = e;
            }
            // Back on the reader's thread, which waits for this one before it goes.
            QMetaObject::invokeMethod(
                this,
                [this, read, result = std::move(result), error = std::move(error), done, failed] {
                    if (m_running != read)
                        return;
                    m_running.reset();
                    if (error)
                        failed(*error);
                    else
                        done(result);
                },
                Qt::QueuedConnection);
        });
    m_threads << worker;
    worker->start();
}

} // namespace bx
