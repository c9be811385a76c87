#pragma once

#include "core/db/DbError.h"
#include "core/db/Dialect.h"
#include "core/db/Engine.h"
#include "core/db/Notices.h"
#include "core/db/RecordSet.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <source_location>

class QIODevice;

namespace bx {

class LoginRoles;
class ParameterQuery;

/** A column as the engine's catalogue describes it. */
struct ColumnInfo
{
    QString name;
    QString type; ///< the engine's type name, lower case
    bool nullable = true;
};

/**
 * One column pair of a foreign key that the engine's catalogue declares: `table`.`column` refers
 * to `referencedTable`.`referencedColumn`. Names are in the engine's spelling.
 */
struct ForeignKey
{
    QString table;
    QString column;
    QString referencedTable;
    QString referencedColumn;

    bool operator==(const ForeignKey&) const = default;
};

/** The large binary value in one column of one row (for example ATTACH.OLE_Data). */
struct BlobRef
{
    QString table;      ///< a table of the schema (never user text)
    QString keyColumn;  ///< column that identifies the row
    QVariant key;       ///< its value, bound
    QString blobColumn; ///< the binary column
};

/**
 * What begins a hashed password in LU_USER.User_Password (see core/StoredPassword.h); nothing
 * else the program stores there begins with it.
 */
inline const QString kPasswordHashPrefix = QStringLiteral("$bxa2$");

/** What a column of a query's result holds. */
enum class ResultKind
{
    Text,
    Number,
    Date, ///< naive moments: QDateTime, or on the embedded engine their stored text form
};

/** How much a read-only query may bring: it stops reading past either. */
struct ReadCap
{
    qsizetype rows = std::numeric_limits<qsizetype>::max();
    qsizetype cells = std::numeric_limits<qsizetype>::max(); ///< rows times columns
};

/** The rows of Database::queryReadOnly. */
struct ReadOnlyRows
{
    RecordSet rows;
    /**
     * Each column's kind as the engine types it: the server by the result's type, the embedded
     * engine by the declared type of a column taken directly from a table; none for a computed
     * column of the embedded engine (see resultKinds).
     */
    QList<std::optional<ResultKind>> declared;
    /** More rows came than the cap allows; `rows` holds those up to it. */
    bool capped = false;
    /** The time limit passed; `rows` holds those read until then. */
    bool timedOut = false;
};

/**
 * Each result column's kind: the declared one, else from its values among the first `sample`
 * rows (every row when negative): a date when every non-Null value reads as the stored date/time
 * form ("yyyy-MM-dd HH:mm:ss" or "yyyy-MM-dd"), a number when all are numbers, otherwise (and
 * for a column of Nulls only) text.
 */
QList<ResultKind> resultKinds(const ReadOnlyRows& read, qsizetype sample = -1);

/** Called after each piece of a streamed value: bytes done so far and bytes in all. */
using BlobProgress = std::function<void(qint64 done, qint64 total)>;

/**
 * One open connection to the shared database, on either engine.
 *
 * Every statement is written with "?" markers and its values are bound; no text typed by a user
 * is ever part of the SQL. Values are QVariants: an invalid QVariant binds Null, bool binds the
 * engine's flag value, QDateTime binds its date and time fields (see core/Clock.h), QByteArray
 * binds binary data. Every operation throws DbError on failure, with the statement and the
 * caller's location.
 *
 * A Database belongs to one thread at a time. It is not copyable.
 */
class Database
{
public:
    using Where = std::source_location;

    virtual ~Database() = default;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    virtual Engine engine() const = 0;
    const Dialect& dialect() const { return m_dialect; }

    /** Runs a query and returns all its rows. */
    RecordSet query(const QString& sql, const QVariantList& params = {},
                    Where where = Where::current());
    /** Runs a statement and returns the number of rows it changed. */
    qlonglong execute(const QString& sql, const QVariantList& params = {},
                      Where where = Where::current());

    /**
     * Runs a query of one table inside the caller's transaction and holds its rows against other
     * writers until the transaction ends: FOR UPDATE on the server engine, where several writers
     * may be inside a transaction at once; a plain read on the embedded engine, whose write
     * transaction already excludes every other writer of the file.
     */
    RecordSet queryLocked(const QString& sql, const QVariantList& params = {},
                          Where where = Where::current());

    /** Parameter queries ("PARAMETERS ...; body"), values bound by name. */
    RecordSet query(const ParameterQuery& q, const QVariantMap& values,
                    Where where = Where::current());
    qlonglong execute(const ParameterQuery& q, const QVariantMap& values,
                      Where where = Where::current());

    /**
     * One statement written by a rule script: a single SELECT, WITH, INSERT, UPDATE or DELETE
     * (see ScriptStatement.h). Anything else, or several statements, is refused with a DbError
     * before it reaches the engine; the embedded engine also refuses, while it runs, any action
     * that is not reading or changing rows. Inside a transaction the statement runs under a
     * savepoint of its own, so that a failing one is undone alone and the caller's transaction
     * goes on (on the server a failed statement would otherwise spoil the whole transaction).
     */
    RecordSet queryScripted(const QString& sql, const QVariantList& params = {},
                            Where where = Where::current());
    qlonglong executeScripted(const QString& sql, const QVariantList& params = {},
                              Where where = Where::current());

    /**
     * Runs a query that may only read: exactly one SELECT or WITH (readOnlyStatementRefusal,
     * refused with a DbError before it reaches the engine), which the engine itself keeps from
     * writing: on the server inside a READ ONLY transaction, so it must not be called inside a
     * transaction there; on the embedded engine under an authorizer that refuses every action but
     * reading. Reading stops at the cap (ReadOnlyRows::capped) and, with `waitSeconds` above 0,
     * when that many seconds have passed since the start (ReadOnlyRows::timedOut, the system
     * setting Query_Wait). interrupt() stops it with a DbError.
     */
    ReadOnlyRows queryReadOnly(const QString& sql, const QVariantList& params, ReadCap cap = {},
                               int waitSeconds = 0, Where where = Where::current());
    /** Why queryReadOnly would refuse the statement, worded for its author; none when it runs. */
    std::optional<QString> readOnlyRefusal(const QString& sql) const;

    /**
     * Asks the engine to stop the statement this connection is running, which then fails with a
     * DbError. Nothing happens when no statement runs. The one member that may be called from
     * another thread than the connection's, while that thread uses it.
     */
    virtual void interrupt() = 0;

    /**
     * Runs several statements separated by ";" with no parameters: schema scripts delivered with
     * the program. Never pass text that holds a user's input.
     */
    virtual void executeScript(const QString& script, Where where = Where::current()) = 0;

    /** The first column of the first row, or Null. */
    QVariant scalar(const QString& sql, const QVariantList& params = {},
                    Where where = Where::current());

    /**
     * Adds a row whose key is a new number and returns that number. On the embedded engine the
     * number column is the table's counter (INTEGER PRIMARY KEY AUTOINCREMENT) and the engine
     * assigns it; on the server engine it is drawn from LU_SERIALS, so that numbers are unique
     * across tables and across clients. `columns` are the other columns, `values` their values.
     */
    qlonglong insertNumbered(const QString& table, const QString& numberColumn,
                             const QStringList& columns, const QVariantList& values,
                             Where where = Where::current());

    // Transactions nest: the outermost begin starts a transaction (a write transaction at once on
    // the embedded engine), inner ones a savepoint. Prefer the RAII Transaction.
    void begin();
    void commit();
    void rollback();
    int transactionDepth() const { return m_depth; }

    /**
     * Calls `work` after every commit of changes to `table` that this connection made and
     * reported with noteChanged(): once at the end of the outermost transaction, or at once when
     * none is open. One watcher per table; an empty `work` removes it. `work` runs on the
     * connection's thread, after the commit, and must not throw.
     */
    void watchCommits(const QString& table, std::function<void()> work);
    /** The caller changed rows of `table` (see watchCommits); a rollback forgets it. */
    void noteChanged(const QString& table);

    // Notices (the server engine; dialect().hasNotices() tells). On the embedded engine a
    // connection listens to nothing and takes no notices.

    /**
     * The channel on which the database's triggers announce changes to its tasks, routes, mail
     * and outbox (see ChangeNotice); "" on the embedded engine.
     */
    virtual QString changeChannel() { return {}; }
    /** Starts listening on `channel`; a new connection listens on none. */
    virtual void listen(const QString& channel) { Q_UNUSED(channel); }
    /**
     * The notices that came since the last call, waiting up to `waitMs` for one when none is
     * there. Costs no statement: when nothing came, it only looks at the connection.
     * @throws DbError of kind ConnectionLost when the connection broke
     */
    virtual QList<Notice> takeNotices(int waitMs = 0)
    {
        Q_UNUSED(waitMs);
        return {};
    }

    /** How many statements the callers ran so far (queries, changes, numbered inserts). */
    quint64 statementCount() const { return m_statements; }

    /**
     * The errors the engine gives for a statement naming a missing table or column, for names
     * that come from data and are checked before any statement runs.
     */
    DbError unknownTable(const QString& table) const
    {
        return DbError::unknownTable(engine(), table);
    }
    DbError unknownColumn(const QString& table, const QString& column) const
    {
        return DbError::unknownColumn(engine(), table, column);
    }

    // Users' passwords. LU_USER.User_Password is reached through these three only: on the server
    // no user's login may read the column, and these call functions that run as the tables'
    // owner and answer no more than a yes or no. `userId` is the ID as the user's row spells it
    // (UserRecord::userId); `candidate` and `replacement` are whole stored forms, never a typed
    // password.

    /**
     * The setting of the user's stored hash: the stored text up to its last '$' (its kind,
     * parameters and salt), with which a typed password is hashed to compare it. Null when there
     * is no such row or its password is no hash (none at all, or a form older than hashes).
     */
    virtual QString passwordSetting(const QString& userId) = 0;
    /**
     * Whether the user's stored password is exactly `candidate`; an empty candidate matches a row
     * without password (Null or empty). False when there is no such row.
     */
    virtual bool passwordMatches(const QString& userId, const QString& candidate) = 0;
    /**
     * Stores `replacement` as the user's password while the row still holds `candidate`, so that
     * a change made meanwhile stands. Both must be hashes (begin with kPasswordHashPrefix);
     * otherwise nothing is written. @return whether the row was written
     */
    virtual bool replacePassword(const QString& userId, const QString& candidate,
                                 const QString& replacement) = 0;

    /** The server's login roles; null on the embedded engine, which has none. */
    virtual LoginRoles* loginRoles() { return nullptr; }

    /** The user tables, in the engine's spelling. */
    virtual QStringList tables() = 0;
    /**
     * The engine's own catalogue tables (its "system tables"), in its spelling: those of
     * pg_catalog on the server, the sqlite_ tables of the embedded engine. Never in tables().
     */
    virtual QStringList systemTables() = 0;
    /**
     * The columns of a table, or of a table of systemTables(), in order; empty when the table
     * does not exist.
     */
    virtual QList<ColumnInfo> columns(const QString& table) = 0;
    /**
     * The foreign keys the table declares (its references to other tables), one entry per column
     * pair, each key's pairs in its order; empty when it declares none or does not exist.
     */
    virtual QList<ForeignKey> foreignKeys(const QString& table) = 0;
    bool hasTable(const QString& table);
    /**
     * Whether the embedded engine holds the full-text table `name` (a virtual table: tables() and
     * hasTable() leave these out, with their shadow tables). Always false on the server engine,
     * which has no such tables.
     */
    virtual bool hasFullTextTable(const QString& name)
    {
        Q_UNUSED(name);
        return false;
    }

    /**
     * Replaces the binary value with `size` bytes read from `source`, in pieces of kBlobPiece
     * bytes, so that memory stays bounded for any size. Runs in its own transaction unless one is
     * open. The row must exist.
     */
    virtual void writeBlob(const BlobRef& ref, QIODevice& source, qint64 size,
                           const BlobProgress& progress = {}) = 0;
    /** Writes the binary value to `sink` in pieces; returns its size (0 when Null). */
    virtual qint64 readBlob(const BlobRef& ref, QIODevice& sink,
                            const BlobProgress& progress = {}) = 0;
    /** Size of the binary value in bytes; 0 when Null. */
    virtual qint64 blobSize(const BlobRef& ref) = 0;
    /** Sets the binary value to Null and frees its storage. */
    virtual void clearBlob(const BlobRef& ref) = 0;
    /**
     * Gives `to` a copy of the binary value of `from` (Null stays Null); the two values are
     * independent afterwards, in one transaction. Streams in pieces through a temporary file
     * unless the engine copies inside itself. Both rows must exist: a missing source row throws.
     */
    virtual void copyBlob(const BlobRef& from, const BlobRef& to);

    /**
     * The largest binary value the engine stores, in bytes: the embedded engine's length limit of
     * this connection; on the server, where large objects have no practical limit, the largest
     * qint64. A caller checks a value against it before writing any of it (on the embedded engine
     * the row's other columns count against the same limit).
     */
    virtual qint64 maxBlobSize() const = 0;

    /** How long a statement may wait for locks (embedded) or run (server), in seconds. */
    virtual void setQueryTimeout(int seconds) = 0;

    static constexpr qint64 kBlobPiece = 32000;

protected:
    explicit Database(Engine engine)
        : m_dialect(engine)
    {
    }

    /** Takes one piece of a binary value being written: `length` bytes at `offset`. */
    using BlobPieceWriter = std::function<void(const char* piece, qint64 length, qint64 offset)>;
    /**
     * The reading half of writeBlob: reads `size` bytes from `source` in pieces of kBlobPiece
     * bytes, hands each to `write` and reports `progress` after it. A source that ends early
     * throws, with `sqlState` (the engine's code for a fault of the input) and `where`.
     */
    static void feedBlobPieces(QIODevice& source, qint64 size, const BlobProgress& progress,
                               const QString& sqlState, const QString& where,
                               const BlobPieceWriter& write);

    virtual RecordSet doQuery(const QString& sql, const QVariantList& params,
                              const QString& where) = 0;
    virtual qlonglong doExecute(const QString& sql, const QVariantList& params,
                                const QString& where) = 0;
    virtual qlonglong doInsertNumbered(const QString& table, const QString& numberColumn,
                                       const QStringList& columns, const QVariantList& values,
                                       const QString& where) = 0;
    /**
     * Reads a checked statement where the engine refuses every write, at most `rows` rows (or
     * `cells` cells), until `waitMs` (0: no limit) have passed.
     */
    virtual ReadOnlyRows doQueryReadOnly(const QString& sql, const QVariantList& params,
                                         const ReadCap& cap, qint64 waitMs,
                                         const QString& where) = 0;
    /** Runs a statement of the database layer's own (BEGIN, SAVEPOINT, ...). */
    virtual void exec(const QString& sql) = 0;
    virtual QString beginStatement() const = 0;
    /**
     * Whether the statements that run now come from a rule script; the embedded engine then
     * refuses, while preparing them, every action but reading and changing rows.
     */
    virtual void confineToData(bool on) { Q_UNUSED(on); }

private:
    template <typename Run> auto runScripted(const QString& sql, Where where, Run run);

    /** Runs the watchers of the tables noted since the last commit, and forgets the notes. */
    void runCommitWatchers();

    Dialect m_dialect;
    int m_depth = 0;
    quint64 m_statements = 0;
    std::map<QString, std::function<void()>> m_commitWatchers; ///< by table, upper case
    QStringList m_changedTables;                               ///< noted, not yet committed
};

/**
 * Rolls back in its destructor unless committed. Cannot be copied or committed twice.
 *
 *     Transaction tx(db);
 *     db.execute(...);
 *     tx.commit();
 */
class Transaction
{
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    Database& m_db;
    bool m_done = false;
};

} // namespace bx
