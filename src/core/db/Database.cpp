#include "core/db/Database.h"

#include "core/db/ParameterQuery.h"
#include "core/db/ScriptStatement.h"

#include <QIODevice>
#include <QTemporaryFile>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace bx {

namespace {

/** Keeps the engine confined to reading and changing rows while a script's statement runs. */
class Confinement
{
public:
    explicit Confinement(const std::function<void(bool)>& set)
        : m_set(set)
    {
        m_set(true);
    }
    ~Confinement() { end(); }
    Confinement(const Confinement&) = delete;
    Confinement& operator=(const Confinement&) = delete;

    void end()
    {
        if (m_on)
            m_set(false);
        m_on = false;
    }

private:
    std::function<void(bool)> m_set;
    bool m_on = true;
};

} // namespace

template <typename Run> auto Database::runScripted(const QString& sql, Where where, Run run)
{
    const QString at = DbError::describe(where);
    if (const std::optional<QString> refusal = scriptStatementRefusal(sql, engine()))
        throw DbError(DbErrorKind::Other, QStringLiteral("0"), *refusal, sql, at);
    ++m_statements;
    // Declared before the confinement, so that SAVEPOINT and RELEASE run outside it.
    std::optional<Transaction> savepoint;
    if (m_depth > 0)
        savepoint.emplace(*this);
    Confinement confined([this](bool on) { confineToData(on); });
    auto result = run(at);
    confined.end();
    if (savepoint)
        savepoint->commit();
    return result;
}

RecordSet Database::queryScripted(const QString& sql, const QVariantList& params, Where where)
{
    return runScripted(sql, where, [&](const QString& at) { return doQuery(sql, params, at); });
}

qlonglong Database::executeScripted(const QString& sql, const QVariantList& params, Where where)
{
    return runScripted(sql, where, [&](const QString& at) { return doExecute(sql, params, at); });
}

ReadOnlyRows Database::queryReadOnly(const QString& sql, const QVariantList& params, ReadCap cap,
                                     int waitSeconds, Where where)
{
    const QString at = DbError::describe(where);
    if (const std::optional<QString> refusal = readOnlyRefusal(sql))
        throw DbError(DbErrorKind::Other, QStringLiteral("0"), *refusal, sql, at);
    ++m_statements;
    cap.rows = qMax<qsizetype>(cap.rows, 0);
    cap.cells = qMax<qsizetype>(cap.cells, 0);
    return doQueryReadOnly(sql, params, cap, qint64(qMax(waitSeconds, 0)) * 1000, at);
}

std::optional<QString> Database::readOnlyRefusal(const QString& sql) const
{
    return readOnlyStatementRefusal(sql, engine());
}

namespace {

bool isStoredMoment(const QVariant& v)
{
    if (v.typeId() == QMetaType::QDateTime || v.typeId() == QMetaType::QDate)
        return true;
    if (v.typeId() != QMetaType::QString)
        return false;
    const QString s = v.toString();
    if (s.size() == 19)
        return QDateTime::fromString(s, QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid();
    return s.size() == 10 && QDate::fromString(s, QStringLiteral("yyyy-MM-dd")).isValid();
}

bool isNumber(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

} // namespace

QList<ResultKind> resultKinds(const ReadOnlyRows& read, qsizetype sample)
{
    const QList<QVariantList>& rows = read.rows.rows();
    const qsizetype looked = sample < 0 ? rows.size() : qMin(sample, rows.size());
    QList<ResultKind> kinds;
    for (int c = 0; c < read.rows.columnCount(); ++c) {
        if (const auto declared = read.declared.value(c)) {
            kinds << *declared;
            continue;
        }
        bool any = false, dates = true, numbers = true;
        for (qsizetype r = 0; r < looked && (dates || numbers); ++r) {
            const QVariant& v = rows.at(r).at(c);
            if (v.isNull())
                continue;
            any = true;
            dates = dates && isStoredMoment(v);
            numbers = numbers && isNumber(v);
        }
        kinds << (!any      ? ResultKind::Text
                  : dates   ? ResultKind::Date
                  : numbers ? ResultKind::Number
                            : ResultKind::Text);
    }
    return kinds;
}

RecordSet Database::query(const QString& sql, const QVariantList& params, Where where)
{
    ++m_statements;
    return doQuery(sql, params, DbError::describe(where));
}

RecordSet Database::queryLocked(const QString& sql, const QVariantList& params, Where where)
{
    if (engine() == Engine::Postgres)
        return query(sql + QStringLiteral(" FOR UPDATE"), params, where);
    return query(sql, params, where);
}

qlonglong Database::execute(const QString& sql, const QVariantList& params, Where where)
{
    ++m_statements;
    return doExecute(sql, params, DbError::describe(where));
}

RecordSet Database::query(const ParameterQuery& q, const QVariantMap& values, Where where)
{
    ++m_statements;
    return doQuery(q.sql(), q.bind(values), DbError::describe(where));
}

qlonglong Database::execute(const ParameterQuery& q, const QVariantMap& values, Where where)
{
    ++m_statements;
    return doExecute(q.sql(), q.bind(values), DbError::describe(where));
}

QVariant Database::scalar(const QString& sql, const QVariantList& params, Where where)
{
    const RecordSet rs = doQuery(sql, params, DbError::describe(where));
    if (rs.isEmpty() || rs.columnCount() == 0)
        return {};
    return rs.rows().first().first();
}

qlonglong Database::insertNumbered(const QString& table, const QString& numberColumn,
                                   const QStringList& columns, const QVariantList& values,
                                   Where where)
{
    Q_ASSERT(columns.size() == values.size());
    ++m_statements;
    return doInsertNumbered(table, numberColumn, columns, values, DbError::describe(where));
}

void Database::begin()
{
    if (m_depth == 0)
        exec(beginStatement());
    else
        exec(QStringLiteral("SAVEPOINT bx_sp") + QString::number(m_depth));
    ++m_depth;
}

void Database::commit()
{
    Q_ASSERT(m_depth > 0);
    const int depth = m_depth--;
    if (depth > 1) {
        exec(QStringLiteral("RELEASE SAVEPOINT bx_sp") + QString::number(depth - 1));
        return;
    }
    try {
        exec(QStringLiteral("COMMIT"));
    } catch (const DbError&) {
        // The embedded engine keeps the transaction open when COMMIT fails (a busy file, say);
        // end it so that the connection is usable again, then report the failure.
        try {
            exec(QStringLiteral("ROLLBACK"));
        } catch (const DbError&) {
            // already ended by the engine
        }
        m_changedTables.clear();
        throw;
    }
    runCommitWatchers();
}

void Database::watchCommits(const QString& table, std::function<void()> work)
{
    if (work)
        m_commitWatchers[table.toUpper()] = std::move(work);
    else
        m_commitWatchers.erase(table.toUpper());
}

void Database::noteChanged(const QString& table)
{
    const QString name = table.toUpper();
    if (!m_changedTables.contains(name))
        m_changedTables.append(name);
    if (m_depth == 0)
        runCommitWatchers();
}

void Database::runCommitWatchers()
{
    // A savepoint rolled back inside the transaction may leave a note behind: the watcher then
    // runs once for nothing, which costs less than tracking notes by savepoint.
    const QStringList changed = std::exchange(m_changedTables, {});
    for (const QString& table : changed) {
        const auto watcher = m_commitWatchers.find(table);
        if (watcher != m_commitWatchers.end())
            watcher->second();
    }
}

void Database::rollback()
{
    Q_ASSERT(m_depth > 0);
    // The depth drops first: whatever the engine says, the transaction is over for the caller.
    --m_depth;
    if (m_depth == 0) {
        m_changedTables.clear();
        exec(QStringLiteral("ROLLBACK"));
    } else {
        const QString sp = QStringLiteral("bx_sp") + QString::number(m_depth);
        exec(QStringLiteral("ROLLBACK TO SAVEPOINT ") + sp);
        exec(QStringLiteral("RELEASE SAVEPOINT ") + sp);
    }
}

bool Database::hasTable(const QString& table)
{
    const QStringList all = tables();
    return std::any_of(all.cbegin(), all.cend(), [&](const QString& t) {
        return t.compare(table, Qt::CaseInsensitive) == 0;
    });
}

void Database::feedBlobPieces(QIODevice& source, qint64 size, const BlobProgress& progress,
                              const QString& sqlState, const QString& where,
                              const BlobPieceWriter& write)
{
    std::vector<char> piece(kBlobPiece);
    qint64 done = 0;
    while (done < size) {
        const qint64 want = std::min<qint64>(kBlobPiece, size - done);
        const qint64 got = source.read(piece.data(), want);
        if (got <= 0)
            throw DbError(
                DbErrorKind::Other, sqlState,
                QStringLiteral("The source ended after %1 of %2 bytes").arg(done).arg(size), {},
                where);
        write(piece.data(), got, done);
        done += got;
        if (progress)
            progress(done, size);
    }
}

void Database::copyBlob(const BlobRef& from, const BlobRef& to)
{
    if (from.table.compare(to.table, Qt::CaseInsensitive) == 0 && from.key == to.key &&
        from.blobColumn.compare(to.blobColumn, Qt::CaseInsensitive) == 0)
        return;
    const QString where = QStringLiteral("Database::copyBlob");
    Transaction tx(*this);
    const RecordSet source =
        query(QStringLiteral("SELECT CASE WHEN ") + from.blobColumn +
                  QStringLiteral(" IS NULL THEN 1 ELSE 0 END AS Empty FROM ") + from.table +
                  QStringLiteral(" WHERE ") + from.keyColumn + QStringLiteral(" = ?"),
              {from.key});
    if (source.isEmpty())
        throw DbError(DbErrorKind::Other, QStringLiteral("0"),
                      QStringLiteral("No row of ") + from.table + QStringLiteral(" has ") +
                          from.keyColumn + QStringLiteral(" = ") + from.key.toString(),
                      {}, where);
    if (source.number(QStringLiteral("Empty")) != 0) {
        clearBlob(to);
        tx.commit();
        return;
    }
    // Copying piece by piece between two places of one table is no cheaper: on the embedded
    // engine every write makes the reading handle lose its place in the source's chain of pages,
    // and the copy would take time in the square of the size. The value goes out whole, into a
    // temporary file, and then into the target.
    QTemporaryFile buffer;
    if (!buffer.open())
        throw DbError(DbErrorKind::Other, QStringLiteral("0"),
                      QStringLiteral("No temporary file to copy a stored file through: ") +
                          buffer.errorString(),
                      {}, where);
    const qint64 size = readBlob(from, buffer);
    if (!buffer.flush() || !buffer.seek(0))
        throw DbError(DbErrorKind::Other, QStringLiteral("0"),
                      QStringLiteral("Could not keep the value: ") + buffer.errorString(), {},
                      where);
    writeBlob(to, buffer, size);
    tx.commit();
}

Transaction::Transaction(Database& db)
    : m_db(db)
{
    m_db.begin();
}

Transaction::~Transaction()
{
    if (m_done)
        return;
    try {
        m_db.rollback();
    } catch (const DbError&) {
        // The connection is gone or the engine already ended the transaction; there is
        // nothing left to undo and a destructor must not throw.
    }
}

void Transaction::commit()
{
    if (m_done)
        throw DbError(DbErrorKind::Other, QStringLiteral("0"),
                      QStringLiteral("Transaction committed twice"));
    m_done = true; // a failed COMMIT has ended the transaction too
    m_db.commit();
}

} // namespace bx
