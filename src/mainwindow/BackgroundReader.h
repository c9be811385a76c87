#pragma once

#include "core/db/DbError.h"
#include "core/db/SecondConnection.h"
#include "mainwindow/TaskViews.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QThread>
#include <QVariantList>

#include <functional>

namespace bx {

class RecordSet;

/** Which rows of a read are kept; every row when empty. */
using RowFilter = std::function<bool(const RecordSet& rows, int row)>;

/** What walking the rows of a statement did. */
struct RowWalk
{
    int taken = 0;
    int skipped = 0;      ///< rows the filter left out
    bool stopped = false; ///< the time limit was passed: the rows after it were not handed on
};

/**
 * Runs `statement` and hands each row `keep` accepts to `take`, until the milliseconds since the
 * query started pass `queryWaitSeconds` (the system setting Query_Wait). `elapsedMs` reports the
 * time since the start (a steady clock when empty). @throws DbError
 */
RowWalk walkRows(Database& db, const TaskCriteria& statement, int queryWaitSeconds,
                 const RowFilter& keep, const std::function<void(const RecordSet&, int)>& take,
                 const std::function<qint64()>& elapsedMs = {});

/**
 * A further read on a background read's connection once its rows are in, for what the window
 * needs beside them (so that it asks the database nothing itself); its value travels with the
 * rows. @throws DbError
 */
using SideRead = std::function<QVariant(Database& db)>;

/** The rows a read brought: past the limit, those read until then, with `stopped` set. */
struct ReadRows
{
    QStringList names;
    QList<QVariantList> rows;
    int skipped = 0;
    bool stopped = false;
    QVariant side; ///< what the read's SideRead returned; invalid without one
};

/** walkRows keeping the rows it takes. @throws DbError */
ReadRows readRows(Database& db, const TaskCriteria& statement, int queryWaitSeconds,
                  const RowFilter& keep = {}, const std::function<qint64()>& elapsedMs = {});

/**
 * Reads the rows of a statement away from the user-interface thread, on a connection of its own,
 * so that the window stays responsive while many rows are read; the result comes back on the
 * thread that owns the reader. A read started while another runs supersedes it: only the newest
 * read reports. Destroying the reader waits for reads still running.
 */
class BackgroundReader : public QObject
{
    Q_OBJECT
public:
    explicit BackgroundReader(QObject* parent = nullptr);
    ~BackgroundReader() override;

    /**
     * Starts reading `statement` through a connection `opener` opens, keeping the rows `keep`
     * accepts, under the time limit of `queryWaitSeconds` (readRows), then runs `side` (when
     * given) on the same connection.
     */
    void start(Connector opener, TaskCriteria statement, int queryWaitSeconds, RowFilter keep = {},
               SideRead side = {});
    /** A read is running whose result is still wanted. */
    bool busy() const { return m_wanted != 0; }
    /** Forgets the running read: it will not report. */
    void cancel() { m_wanted = 0; }

signals:
    void finished(const bx::ReadRows& rows);
    void failed(const bx::DbError& error);

private:
    QList<QPointer<QThread>> m_threads;
    quint64 m_next = 0;
    quint64 m_wanted = 0;
};

} // namespace bx
