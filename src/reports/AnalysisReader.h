#pragma once

#include "core/db/DbError.h"
#include "core/db/SecondConnection.h"
#include "reports/Analyses.h"

#include <QObject>

#include <functional>
#include <memory>

class QThread;

namespace bx {

/**
 * Reads the rows of an analysis (readAnalysis) away from the window's thread, on a connection of
 * its own, and hands them back on the thread that owns the reader. A read started while another
 * runs supersedes it (the older one is interrupted and reports nothing). interrupt() stops the
 * read; destroying the reader interrupts it and waits for it.
 */
class AnalysisReader : public QObject
{
public:
    using Done = std::function<void(const Outcome<pivot::Source>&)>;
    using Failed = std::function<void(const DbError&)>;

    explicit AnalysisReader(QObject* parent = nullptr);
    ~AnalysisReader() override;

    /** Starts reading `analysis` through a connection `opener` opens; `done` or `failed` follows.
     */
    void start(Connector opener, Analysis analysis, AnalysisRun run, Done done, Failed failed);
    /** A read runs whose result is still wanted. */
    bool busy() const { return m_running != nullptr; }
    /** Stops the running read, which reports nothing. */
    void interrupt();

private:
    struct Read;
    std::shared_ptr<Read> m_running;
    QList<QThread*> m_threads;
};

} // namespace bx
