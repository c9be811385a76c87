#pragma once

#include "core/db/Database.h"

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace bx {

/** How the embedded engine keeps a file's journal. */
enum class JournalMode
{
    Wal,      ///< write-ahead log: readers and a writer do not hold each other up
    Rollback, ///< rollback journal: a read holds up a writer's commit until it ends
};

/**
 * The journal for a database file on a file system of kind `type` (statfs's f_type): the rollback
 * journal on a network or cluster file system (NFS, SMB/CIFS and their like, and FUSE, which
 * carries sshfs), where the shared-memory index of WAL does not work across computers; WAL on
 * every other, local, one.
 */
JournalMode journalModeForFileSystem(qint64 type);

/**
 * Said when a file found in WAL mode on a network file system cannot be switched back because
 * other clients have it open; %1 is the file.
 */
inline const QString kLeaveWalRefused = QStringLiteral(
    "The database %1 lies on a network drive but is kept in write-ahead (WAL) mode, which is not "
    "safe there, and other clients have it open, so it cannot be switched back now. Ask everybody "
    "to close Brindlepax; the first client that then opens the database alone switches it back.");

/**
 * The embedded engine: one SQLite 3 database file, through the C API.
 *
 * Opening turns foreign keys on and sets a busy timeout (10 s until setQueryTimeout says
 * otherwise); write transactions begin IMMEDIATE so that two clients never deadlock upgrading a
 * read lock. Date/time values are stored as text "yyyy-MM-dd HH:mm:ss" and read back as naive
 * QDateTime from columns declared with DATE or TIME in their type. A trigger that raises a
 * message beginning "[NNNNN] " reports NNNNN as the error number and the rest as its text.
 *
 * A binary column that is streamed (writeBlob) must be the last column of its table: only there
 * can the engine reserve the value's size without building it in memory.
 */
class SqliteDatabase final : public Database
{
public:
    enum class OpenMode
    {
        Existing,
        Create
    };

    /**
     * Opens the file. With OpenMode::Existing a missing file fails (it is never created); so
     * does a file that is not a database. The error names the file.
     * @throws DbError
     */
    static std::unique_ptr<SqliteDatabase> open(const QString& path,
                                                OpenMode mode = OpenMode::Existing);

    /**
     * Puts the file into `mode` (opening does so by the file system the file lies on). Entering
     * WAL is left for a later opener when other clients keep the file busy. Leaving WAL needs
     * the file to itself: while other clients have it open, it throws DbError with
     * kLeaveWalRefused and the file stays as it was.
     */
    void useJournal(JournalMode mode);
    /** The file's journal as the engine reports it now. */
    JournalMode journal();
    ~SqliteDatabase() override;

    Engine engine() const override { return Engine::Sqlite; }
    const QString& path() const { return m_path; }

    void executeScript(const QString& script, Where where = Where::current()) override;
    QStringList tables() override;
    QStringList systemTables() override;
    QList<ColumnInfo> columns(const QString& table) override;
    QList<ForeignKey> foreignKeys(const QString& table) override;
    bool hasFullTextTable(const QString& name) override;
    void writeBlob(const BlobRef& ref, QIODevice& source, qint64 size,
                   const BlobProgress& progress = {}) override;
    qint64 readBlob(const BlobRef& ref, QIODevice& sink,
                    const BlobProgress& progress = {}) override;
    qint64 blobSize(const BlobRef& ref) override;
    void clearBlob(const BlobRef& ref) override;
    qint64 maxBlobSize() const override;
    /**
     * Lowers (or raises, up to the library's ceiling) the longest value this connection stores;
     * the engine's own default is about 1 GB. @return the limit before the call
     */
    qint64 setMaxBlobSize(qint64 bytes);
    void setQueryTimeout(int seconds) override;
    void interrupt() override;

    // Plain statements: whoever opens the file may read every column anyway.
    QString passwordSetting(const QString& userId) override;
    bool passwordMatches(const QString& userId, const QString& candidate) override;
    bool replacePassword(const QString& userId, const QString& candidate,
                         const QString& replacement) override;

protected:
    RecordSet doQuery(const QString& sql, const QVariantList& params,
                      const QString& where) override;
    qlonglong doExecute(const QString& sql, const QVariantList& params,
                        const QString& where) override;
    qlonglong doInsertNumbered(const QString& table, const QString& numberColumn,
                               const QStringList& columns, const QVariantList& values,
                               const QString& where) override;
    void exec(const QString& sql) override;
    QString beginStatement() const override { return QStringLiteral("BEGIN IMMEDIATE"); }
    void confineToData(bool on) override;
    ReadOnlyRows doQueryReadOnly(const QString& sql, const QVariantList& params, const ReadCap& cap,
                                 qint64 waitMs, const QString& where) override;

private:
    /** The engine's own tables (sqlite_...) or all the others. */
    QStringList tableNames(bool system);
    SqliteDatabase(sqlite3* db, QString path);

    class Statement;
    DbError error(int code, const QString& sql, const QString& where) const;
    struct StoredValue
    {
        qlonglong rowId = 0;
        /** Whether the column holds a binary value of exactly the size asked about. */
        bool sameSize = false;
    };
    /** The row of a binary value and whether it holds `size` bytes; throws when there is none. */
    StoredValue storedValueOf(const BlobRef& ref, qint64 size, const QString& where);
    /** Refuses a binary column that is not the last of its table (see the class comment). */
    void requireLastColumn(const BlobRef& ref, const QString& where);
    /** Throws when the engine ended the caller's transaction on its own (see m_transactionLost). */
    void checkTransaction(const QString& sql, const QString& where);
    static int authorize(void* self, int action, const char*, const char*, const char*,
                         const char*);

    /** What the authorizer lets the statements prepared now do. */
    enum class Fence
    {
        None,    ///< the program's own statements: anything
        Data,    ///< a rule script's: reading and changing rows
        Reading, ///< a read-only query's: reading rows
    };
    void setFence(Fence fence);

    sqlite3* m_db;
    QString m_path;
    int m_busyMs;
    Fence m_fence = Fence::None;
    /**
     * Set when a statement failed inside a transaction and the engine rolled the whole
     * transaction back (an interrupted write, a full disk): later statements would otherwise run
     * and commit one by one. Cleared when the caller's outermost transaction ends.
     */
    bool m_transactionLost = false;
};

} // namespace bx
