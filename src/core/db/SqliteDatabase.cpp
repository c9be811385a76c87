#include "core/db/SqliteDatabase.h"

#include "core/db/Dialect.h"
#include "core/db/SqliteFolding.h"
#include "core/db/SqliteScriptFence.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QIODevice>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <limits>
#include <sqlite3.h>
#include <sys/vfs.h>
#include <vector>

namespace bx {

namespace {

constexpr int kDefaultBusyMs = 10'000;
// How long opening waits for other clients when it changes the journal.
constexpr int kJournalBusyMs = 500;
// The -wal file is cut back to this size whenever a checkpoint has taken all of it into the
// database: a log that grew under a long read does not stay large.
constexpr int kWalSizeLimit = 16 * 1024 * 1024;

// Kinds of file system (statfs f_type) whose files other computers share.
constexpr qint64 kNetworkFileSystems[] = {
    0x6969,     // NFS
    0x517B,     // SMB
    0xFF534D42, // CIFS
    0xFE534D42, // SMB2
    0x564C,     // NCP (NetWare)
    0x5346414F, // AFS
    0x6B414653, // kAFS
    0x73757245, // Coda
    0x01021997, // 9P
    0x00C36400, // Ceph
    0x01161970, // GFS2
    0x7461636F, // OCFS2
    0x0BD00BD0, // Lustre
    0x47504653, // GPFS
    0x65735546, // FUSE (sshfs and other remote file systems)
};

QString fromUtf8(const char* s)
{
    return s ? QString::fromUtf8(s) : QString();
}

bool isDateType(const char* declared)
{
    if (!declared)
        return false;
    const QByteArray t = QByteArray(declared).toUpper();
    return t.contains("DATE") || t.contains("TIME");
}

} // namespace

JournalMode journalModeForFileSystem(qint64 type)
{
    // f_type is a signed word on some platforms: compare the low 32 bits, as the kinds are.
    const qint64 kind = type & 0xFFFFFFFF;
    for (const qint64 network : kNetworkFileSystems) {
        if (kind == network)
            return JournalMode::Rollback;
    }
    return JournalMode::Wal;
}

/** A prepared statement that finalises itself. */
class SqliteDatabase::Statement
{
public:
    Statement(SqliteDatabase& owner, const QString& sql, const QString& where)
        : m_owner(owner)
        , m_sql(sql)
        , m_where(where)
    {
        if (sql.contains(QChar(0)))
            throw DbError::nulInStatement(sql, where);
        owner.checkTransaction(sql, where);
        const QByteArray utf8 = sql.toUtf8();
        const char* tail = nullptr;
        const int rc =
            sqlite3_prepare_v2(owner.m_db, utf8.constData(), int(utf8.size()), &m_stmt, &tail);
        if (rc != SQLITE_OK)
            throw owner.error(rc, sql, where);
        refuseFurtherStatements(tail, utf8.constData() + utf8.size());
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(const QVariantList& params)
    {
        const int expected = sqlite3_bind_parameter_count(m_stmt);
        if (expected != params.size())
            throw DbError(DbErrorKind::Other, QString::number(SQLITE_RANGE),
                          QStringLiteral("The statement takes %1 values, %2 were given")
                              .arg(expected)
                              .arg(params.size()),
                          m_sql, m_where);
        for (int i = 0; i < params.size(); ++i)
            bindOne(i + 1, params.at(i));
    }

    /** Steps once; true when a row is ready. */
    bool step()
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        const DbError e = m_owner.error(rc, m_sql, m_where);
        // Some failures (an interrupted write, a full disk) make the engine roll back the whole
        // transaction, not only this statement.
        if (m_owner.transactionDepth() > 0 && sqlite3_get_autocommit(m_owner.m_db))
            m_owner.m_transactionLost = true;
        throw e;
    }

    QVariant column(int i) const
    {
        switch (sqlite3_column_type(m_stmt, i)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_INTEGER:
            return QVariant(qlonglong(sqlite3_column_int64(m_stmt, i)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(m_stmt, i));
        case SQLITE_BLOB: {
            const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, i));
            return QVariant(QByteArray(data, sqlite3_column_bytes(m_stmt, i)));
        }
        default: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, i));
            const QString s = QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, i));
            if (isDateType(sqlite3_column_decltype(m_stmt, i))) {
                const QDateTime dt = RecordSet::toDateTime(s);
                if (dt.isValid())
                    return dt;
            }
            return s;
        }
        }
    }

    sqlite3_stmt* handle() const { return m_stmt; }

private:
    /**
     * The engine prepares one statement and leaves the rest of the text; a second statement
     * there would be dropped without a word, so it is refused. Blanks, comments and empty
     * statements (a closing ';') may follow.
     */
    void refuseFurtherStatements(const char* tail, const char* end)
    {
        while (tail && tail < end) {
            sqlite3_stmt* next = nullptr;
            const char* rest = nullptr;
            const int rc = sqlite3_prepare_v2(m_owner.m_db, tail, int(end - tail), &next, &rest);
            if (next) {
                sqlite3_finalize(next);
                sqlite3_finalize(m_stmt);
                m_stmt = nullptr;
                throw DbError(DbErrorKind::Other, QString::number(SQLITE_MISUSE),
                              QStringLiteral("Only one statement may be run at a time"), m_sql,
                              m_where);
            }
            if (rc != SQLITE_OK) {
                const DbError e = m_owner.error(rc, m_sql, m_where);
                sqlite3_finalize(m_stmt);
                m_stmt = nullptr;
                throw e;
            }
            if (rest == tail)
                break;
            tail = rest;
        }
    }

    void bindOne(int index, const QVariant& v)
    {
        int rc = SQLITE_OK;
        if (v.isNull()) {
            rc = sqlite3_bind_null(m_stmt, index);
        } else {
            switch (v.typeId()) {
            case QMetaType::Bool:
                rc = sqlite3_bind_int64(m_stmt, index, v.toBool() ? -1 : 0);
                break;
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
            case QMetaType::Short:
            case QMetaType::UShort:
            case QMetaType::Long:
            case QMetaType::ULong:
                rc = sqlite3_bind_int64(m_stmt, index, v.toLongLong());
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                rc = sqlite3_bind_double(m_stmt, index, v.toDouble());
                break;
            case QMetaType::QByteArray: {
                const QByteArray b = v.toByteArray();
                rc = sqlite3_bind_blob64(m_stmt, index, b.constData(), sqlite3_uint64(b.size()),
                                         SQLITE_TRANSIENT);
                break;
            }
            case QMetaType::QDateTime: {
                const QDateTime dt = v.toDateTime();
                rc = dt.isValid() ? bindText(index, Dialect::storedDateTime(dt))
                                  : sqlite3_bind_null(m_stmt, index);
                break;
            }
            case QMetaType::QDate: {
                const QDate d = v.toDate();
                rc = d.isValid()
                         ? bindText(index,
                                    Dialect::storedDateTime(QDateTime(d, QTime(0, 0), Qt::UTC)))
                         : sqlite3_bind_null(m_stmt, index);
                break;
            }
            default:
                rc = bindText(index, v.toString());
            }
        }
        if (rc != SQLITE_OK)
            throw m_owner.error(rc, m_sql, m_where);
    }

    int bindText(int index, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        return sqlite3_bind_text64(m_stmt, index, utf8.constData(), sqlite3_uint64(utf8.size()),
                                   SQLITE_TRANSIENT, SQLITE_UTF8);
    }

    SqliteDatabase& m_owner;
    QString m_sql;
    QString m_where;
    sqlite3_stmt* m_stmt = nullptr;
};

SqliteDatabase::SqliteDatabase(sqlite3* db, QString path)
    : Database(Engine::Sqlite)
    , m_db(db)
    , m_path(std::move(path))
    , m_busyMs(kDefaultBusyMs)
{
}

SqliteDatabase::~SqliteDatabase()
{
    sqlite3_close_v2(m_db);
}

std::unique_ptr<SqliteDatabase> SqliteDatabase::open(const QString& path, OpenMode mode)
{
    // A missing file must not be created silently by an ordinary open: that would hand the user
    // an empty database instead of telling him the file is not there.
    if (mode == OpenMode::Existing && !QFile::exists(path))
        throw DbError(DbErrorKind::Other, QString::number(SQLITE_CANTOPEN),
                      QStringLiteral("Could not find file '") + path + QStringLiteral("'."));

    sqlite3* handle = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX |
                      (mode == OpenMode::Create ? SQLITE_OPEN_CREATE : 0);
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &handle, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = handle ? fromUtf8(sqlite3_errmsg(handle)) : QString();
        sqlite3_close_v2(handle);
        throw DbError(DbErrorKind::Other, QString::number(rc),
                      message + QStringLiteral(": ") + path);
    }
    std::unique_ptr<SqliteDatabase> db(new SqliteDatabase(handle, path));
    sqlite3_extended_result_codes(handle, 1);
    // No other database file may be attached to this connection: nothing of ours needs it, and
    // an attached file is one a statement could create or write anywhere the user can.
    sqlite3_limit(handle, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_busy_timeout(handle, kDefaultBusyMs);
    if (const int folding = registerCaseFolding(handle); folding != SQLITE_OK)
        throw db->error(folding, QStringLiteral("registerCaseFolding"), QStringLiteral("open"));
    try {
        // Reading the schema proves that the file is a database at all.
        db->exec(QStringLiteral("PRAGMA foreign_keys = ON"));
        // Freed pages of a deleted value are not overwritten with zeros: some builds of the
        // engine do that by default, which makes deleting a large attachment write (and journal)
        // all of it once more. Rows are still cleared from the pages that hold them; the freed
        // pages keep their old bytes until reused, as the server keeps deleted data until vacuumed.
        db->exec(QStringLiteral("PRAGMA secure_delete = FAST"));
        db->exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } catch (const DbError& e) {
        throw DbError(DbErrorKind::Other, e.number(),
                      e.description() + QStringLiteral(": ") + path);
    }
    // A file system that cannot be asked is taken for a network one: the rollback journal is
    // safe everywhere.
    struct statfs fs = {};
    const JournalMode wanted = ::statfs(QFile::encodeName(path).constData(), &fs) == 0
                                   ? journalModeForFileSystem(qint64(fs.f_type))
                                   : JournalMode::Rollback;
    db->useJournal(wanted);
    return db;
}

JournalMode SqliteDatabase::journal()
{
    const QString mode =
        doQuery(QStringLiteral("PRAGMA journal_mode"), {}, QStringLiteral("journal"))
            .rows()
            .value(0)
            .value(0)
            .toString();
    return mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0 ? JournalMode::Wal
                                                                        : JournalMode::Rollback;
}

void SqliteDatabase::useJournal(JournalMode mode)
{
    const QString where = QStringLiteral("SqliteDatabase::useJournal");
    // Checkpoints stay automatic (every 1000 pages, the engine's default); the size limit makes
    // the -wal file shrink again once a checkpoint has reset it.
    doExecute(QStringLiteral("PRAGMA journal_size_limit = ") + QString::number(kWalSizeLimit), {},
              where);
    if (journal() == mode)
        return;
    // The change must not wait as long as a statement would: other clients busy with the file
    // are a normal case here.
    sqlite3_busy_timeout(m_db, kJournalBusyMs);
    QString reached;
    try {
        reached = doQuery(mode == JournalMode::Wal ? QStringLiteral("PRAGMA journal_mode = WAL")
                                                   : QStringLiteral("PRAGMA journal_mode = DELETE"),
                          {}, where)
                      .rows()
                      .value(0)
                      .value(0)
                      .toString();
    } catch (const DbError&) {
        // busy: reached stays empty
    }
    sqlite3_busy_timeout(m_db, m_busyMs);
    const bool inWal = reached.isEmpty()
                           ? journal() == JournalMode::Wal
                           : reached.compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
    // Staying in the rollback journal is safe anywhere; staying in WAL where it was to be left
    // is not.
    if (mode == JournalMode::Rollback && inWal)
        throw DbError(DbErrorKind::Other, QString::number(SQLITE_BUSY),
                      kLeaveWalRefused.arg(QDir::toNativeSeparators(m_path)), {}, where);
}

DbError SqliteDatabase::error(int code, const QString& sql, const QString& where) const
{
    QString message = fromUtf8(sqlite3_errmsg(m_db));
    const int extended = sqlite3_extended_errcode(m_db);
    QString number = QString::number(extended ? extended : code);
    // Triggers state their own error number in front of the text.
    static const QRegularExpression numbered(QStringLiteral("^\\[(\\d+)\\] (.*)$"),
                                             QRegularExpression::DotMatchesEverythingOption);
    const auto m = numbered.match(message);
    if (m.hasMatch()) {
        number = m.captured(1);
        message = m.captured(2);
    }
    DbErrorKind kind = DbErrorKind::Other;
    if ((code & 0xff) == SQLITE_MISMATCH)
        kind = DbErrorKind::ConversionError;
    else if (message.startsWith(QLatin1String("no such table")))
        kind = DbErrorKind::UnknownTable;
    else if (message.startsWith(QLatin1String("no such column")))
        kind = DbErrorKind::UnknownColumn;
    else if (extended == SQLITE_CONSTRAINT_UNIQUE || extended == SQLITE_CONSTRAINT_PRIMARYKEY)
        kind = DbErrorKind::DuplicateKey;
    return DbError(kind, number, message, sql, where);
}

RecordSet SqliteDatabase::doQuery(const QString& sql, const QVariantList& params,
                                  const QString& where)
{
    Statement st(*this, sql, where);
    st.bind(params);
    const int n = sqlite3_column_count(st.handle());
    QStringList columns;
    columns.reserve(n);
    for (int i = 0; i < n; ++i)
        columns << fromUtf8(sqlite3_column_name(st.handle(), i));
    QList<QVariantList> rows;
    while (st.step()) {
        QVariantList row;
        row.reserve(n);
        for (int i = 0; i < n; ++i)
            row << st.column(i);
        rows << std::move(row);
    }
    return RecordSet(std::move(columns), std::move(rows));
}

qlonglong SqliteDatabase::doExecute(const QString& sql, const QVariantList& params,
                                    const QString& where)
{
    Statement st(*this, sql, where);
    st.bind(params);
    while (st.step()) {
    }
    return sqlite3_changes64(m_db);
}

qlonglong SqliteDatabase::doInsertNumbered(const QString& table, const QString& /*numberColumn*/,
                                           const QStringList& columns, const QVariantList& values,
                                           const QString& where)
{
    QString sql = QStringLiteral("INSERT INTO ") + table;
    if (columns.isEmpty()) {
        sql += QStringLiteral(" DEFAULT VALUES");
    } else {
        sql += QStringLiteral(" (") + columns.join(QStringLiteral(", ")) +
               QStringLiteral(") VALUES (") + Dialect::markers(columns.size()) + QLatin1Char(')');
    }
    doExecute(sql, values, where);
    return sqlite3_last_insert_rowid(m_db);
}

void SqliteDatabase::exec(const QString& sql)
{
    doExecute(sql, {}, QStringLiteral("database layer"));
}

void SqliteDatabase::executeScript(const QString& script, Where where)
{
    char* message = nullptr;
    const int rc = sqlite3_exec(m_db, script.toUtf8().constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        DbError e = error(rc, script, DbError::describe(where));
        sqlite3_free(message);
        throw e;
    }
}

QStringList SqliteDatabase::tables()
{
    return tableNames(false);
}

QStringList SqliteDatabase::systemTables()
{
    return tableNames(true);
}

QStringList SqliteDatabase::tableNames(bool system)
{
    // Ordinary tables only: a full-text index is a virtual table with shadow tables of its own,
    // kept by the engine, not tables of the program's or anybody's data. The engine's own tables
    // are those named sqlite_..., which no other table may be.
    const RecordSet rs =
        query(QStringLiteral(
                  "SELECT name FROM pragma_table_list WHERE schema = 'main' AND type = 'table' "
                  "AND name ") +
              (system ? QString() : QStringLiteral("NOT ")) +
              QStringLiteral("LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name"));
    return rs.firstColumnTexts();
}

QList<ForeignKey> SqliteDatabase::foreignKeys(const QString& table)
{
    // The list names the referenced table as its declaration spelt it, and leaves the referenced
    // column Null when the key refers to the primary key: both are taken from that table itself.
    const RecordSet keys =
        query(QStringLiteral("SELECT k.\"table\", k.\"from\", k.\"to\", k.seq, "
                             "(SELECT m.name FROM sqlite_schema m WHERE m.type = 'table' "
                             "AND m.name = k.\"table\" COLLATE NOCASE), "
                             "(SELECT m.name FROM sqlite_schema m WHERE m.type = 'table' "
                             "AND m.name = ? COLLATE NOCASE) "
                             "FROM pragma_foreign_key_list(?) k ORDER BY k.id, k.seq"),
              {table, table});
    QList<ForeignKey> out;
    for (const QVariantList& row : keys.rows()) {
        const QString referenced = row.at(4).isNull() ? row.at(0).toString() : row.at(4).toString();
        QString to = row.at(2).toString();
        if (row.at(2).isNull()) {
            const RecordSet pk =
                query(QStringLiteral("SELECT name FROM pragma_table_info(?) WHERE pk = ?"),
                      {referenced, row.at(3).toLongLong() + 1});
            if (!pk.isEmpty())
                to = pk.rows().first().first().toString();
        }
        out.append({row.at(5).toString(), row.at(1).toString(), referenced, to});
    }
    return out;
}

QList<ColumnInfo> SqliteDatabase::columns(const QString& table)
{
    const RecordSet rs = query(
        QStringLiteral("SELECT name, type, \"notnull\" FROM pragma_table_info(?) ORDER BY cid"),
        {table});
    QList<ColumnInfo> out;
    for (const QVariantList& row : rs.rows())
        out.append({row.at(0).toString(), row.at(1).toString().toLower(), row.at(2).toInt() == 0});
    return out;
}

SqliteDatabase::StoredValue SqliteDatabase::storedValueOf(const BlobRef& ref, qint64 size,
                                                          const QString& where)
{
    const RecordSet rs =
        doQuery(QStringLiteral("SELECT rowid, typeof(") + ref.blobColumn +
                    QStringLiteral(") = 'blob' AND length(") + ref.blobColumn +
                    QStringLiteral(") = ? FROM ") + ref.table + QStringLiteral(" WHERE ") +
                    ref.keyColumn + QStringLiteral(" = ?"),
                {size, ref.key}, where);
    if (rs.isEmpty())
        throw DbError(DbErrorKind::Other, QString::number(SQLITE_NOTFOUND),
                      QStringLiteral("No row of ") + ref.table + QStringLiteral(" has ") +
                          ref.keyColumn + QStringLiteral(" = ") + ref.key.toString(),
                      {}, where);
    const QVariantList& row = rs.rows().first();
    return {row.at(0).toLongLong(), row.at(1).toLongLong() != 0};
}

bool SqliteDatabase::hasFullTextTable(const QString& name)
{
    return !query(QStringLiteral("SELECT 1 FROM pragma_table_list WHERE schema = 'main' AND "
                                 "type = 'virtual' AND name = ? COLLATE NOCASE"),
                  {name})
                .isEmpty();
}

void SqliteDatabase::requireLastColumn(const BlobRef& ref, const QString& where)
{
    // zeroblob() stays a size in the record only while the value is the row's last column;
    // anywhere else the engine builds the whole value in memory, and reading any later column
    // walks through it. So a streamed column must be the last one of its table.
    const QList<ColumnInfo> cols = columns(ref.table);
    if (cols.isEmpty() || cols.last().name.compare(ref.blobColumn, Qt::CaseInsensitive) != 0)
        throw DbError(DbErrorKind::Other, QString::number(SQLITE_MISUSE),
                      QStringLiteral("The binary column ") + ref.table + QLatin1Char('.') +
                          ref.blobColumn + QStringLiteral(" is not the last column of its table"),
                      {}, where);
}

namespace {

/** An open incremental blob handle, closed however the caller leaves. */
class BlobHandle
{
public:
    BlobHandle() = default;
    ~BlobHandle()
    {
        if (m_blob)
            sqlite3_blob_close(m_blob);
    }
    BlobHandle(const BlobHandle&) = delete;
    BlobHandle& operator=(const BlobHandle&) = delete;

    sqlite3_blob** out() { return &m_blob; }
    sqlite3_blob* get() const { return m_blob; }
    /** Closes now; the engine reports a failed write only here. */
    int close()
    {
        const int rc = sqlite3_blob_close(m_blob);
        m_blob = nullptr;
        return rc;
    }

private:
    sqlite3_blob* m_blob = nullptr;
};

} // namespace

void SqliteDatabase::writeBlob(const BlobRef& ref, QIODevice& source, qint64 size,
                               const BlobProgress& progress)
{
    const QString where = QStringLiteral("SqliteDatabase::writeBlob");
    requireLastColumn(ref, where);
    Transaction tx(*this);
    const StoredValue stored = storedValueOf(ref, size, where);
    // A value of another size is replaced by zeros of the new size, which the pieces then
    // overwrite, so that only one piece is ever held in memory. The engine builds the new value
    // in pages of its own before it frees the old one's, and pages new to the file need no
    // journal. A value of the same size it would zero where it lies instead, journaling every old
    // page and then writing each one twice; so such a value is written over in place, and only
    // the pieces that differ from what is stored, which are the only pages journaled. A file
    // saved back after an edit often keeps its size and most of its bytes.
    const bool inPlace = stored.sameSize;
    if (!inPlace)
        doExecute(QStringLiteral("UPDATE ") + ref.table + QStringLiteral(" SET ") + ref.blobColumn +
                      QStringLiteral(" = zeroblob(?) WHERE ") + ref.keyColumn +
                      QStringLiteral(" = ?"),
                  {size, ref.key}, where);

    // The handle is closed before the transaction ends, also when the source or the progress
    // callback throws: an open handle would keep the rollback from undoing the row.
    BlobHandle blob;
    int rc = sqlite3_blob_open(m_db, "main", ref.table.toUtf8().constData(),
                               ref.blobColumn.toUtf8().constData(), stored.rowId, 1, blob.out());
    if (rc != SQLITE_OK)
        throw error(rc, {}, where);
    std::vector<char> old(inPlace ? kBlobPiece : 0);
    feedBlobPieces(source, size, progress, QString::number(SQLITE_IOERR), where,
                   [&](const char* piece, qint64 length, qint64 offset) {
                       bool unchanged = false;
                       if (inPlace) {
                           rc = sqlite3_blob_read(blob.get(), old.data(), int(length), int(offset));
                           if (rc != SQLITE_OK)
                               throw error(rc, {}, where);
                           unchanged = std::memcmp(old.data(), piece, size_t(length)) == 0;
                       }
                       if (!unchanged) {
                           rc = sqlite3_blob_write(blob.get(), piece, int(length), int(offset));
                           if (rc != SQLITE_OK)
                               throw error(rc, {}, where);
                       }
                   });
    rc = blob.close();
    if (rc != SQLITE_OK)
        throw error(rc, {}, where);
    tx.commit();
}

qint64 SqliteDatabase::readBlob(const BlobRef& ref, QIODevice& sink, const BlobProgress& progress)
{
    const QString where = QStringLiteral("SqliteDatabase::readBlob");
    // Row and size in one look-up; a missing row or a Null value reads as empty.
    const RecordSet rs = doQuery(
        QStringLiteral("SELECT rowid, length(") + ref.blobColumn + QStringLiteral(") FROM ") +
            ref.table + QStringLiteral(" WHERE ") + ref.keyColumn + QStringLiteral(" = ?"),
        {ref.key}, where);
    const qint64 size = rs.isEmpty() ? 0 : rs.rows().first().at(1).toLongLong();
    if (size == 0)
        return 0;
    const qlonglong rowId = rs.rows().first().at(0).toLongLong();
    BlobHandle blob;
    int rc = sqlite3_blob_open(m_db, "main", ref.table.toUtf8().constData(),
                               ref.blobColumn.toUtf8().constData(), rowId, 0, blob.out());
    if (rc != SQLITE_OK)
        throw error(rc, {}, where);
    std::vector<char> piece(kBlobPiece);
    qint64 done = 0;
    while (done < size) {
        const int n = int(std::min<qint64>(kBlobPiece, size - done));
        rc = sqlite3_blob_read(blob.get(), piece.data(), n, int(done));
        if (rc != SQLITE_OK)
            throw error(rc, {}, where);
        if (sink.write(piece.data(), n) != n)
            throw DbError(DbErrorKind::Other, QString::number(SQLITE_IOERR),
                          QStringLiteral("Could not write the value: ") + sink.errorString(), {},
                          where);
        done += n;
        if (progress)
            progress(done, size);
    }
    return done;
}

qint64 SqliteDatabase::blobSize(const BlobRef& ref)
{
    const RecordSet rs =
        query(QStringLiteral("SELECT length(") + ref.blobColumn + QStringLiteral(") FROM ") +
                  ref.table + QStringLiteral(" WHERE ") + ref.keyColumn + QStringLiteral(" = ?"),
              {ref.key});
    return rs.isEmpty() ? 0 : rs.rows().first().first().toLongLong();
}

void SqliteDatabase::clearBlob(const BlobRef& ref)
{
    execute(QStringLiteral("UPDATE ") + ref.table + QStringLiteral(" SET ") + ref.blobColumn +
                QStringLiteral(" = NULL WHERE ") + ref.keyColumn + QStringLiteral(" = ?"),
            {ref.key});
}

qint64 SqliteDatabase::maxBlobSize() const
{
    return sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH, -1);
}

qint64 SqliteDatabase::setMaxBlobSize(qint64 bytes)
{
    return sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH,
                         int(std::clamp<qint64>(bytes, 0, std::numeric_limits<int>::max())));
}

void SqliteDatabase::checkTransaction(const QString& sql, const QString& where)
{
    if (transactionDepth() == 0) {
        m_transactionLost = false;
        return;
    }
    if (m_transactionLost)
        throw DbError(DbErrorKind::Other, QString::number(SQLITE_ABORT),
                      QStringLiteral("The transaction was rolled back after an earlier error; "
                                     "nothing more is written in it"),
                      sql, where);
}

void SqliteDatabase::confineToData(bool on)
{
    setFence(on ? Fence::Data : Fence::None);
}

void SqliteDatabase::setFence(Fence fence)
{
    // The check runs only while a statement is prepared, and every statement is prepared when it
    // runs, so the check is in place exactly for the statements prepared while fenced; the
    // program's own statements are spared the calls.
    m_fence = fence;
    const bool on = fence != Fence::None;
    sqlite3_set_authorizer(m_db, on ? &SqliteDatabase::authorize : nullptr, on ? this : nullptr);
}

int SqliteDatabase::authorize(void* self, int action, const char*, const char* value, const char*,
                              const char*)
{
    const Fence fence = static_cast<const SqliteDatabase*>(self)->m_fence;
    if (fence == Fence::None)
        return SQLITE_OK;
    // A read-only query's fence is a rule script's, less every change of rows.
    if (fence == Fence::Reading &&
        (action == SQLITE_INSERT || action == SQLITE_UPDATE || action == SQLITE_DELETE))
        return SQLITE_DENY;
    return sqliteScriptAuthorization(action, value);
}

namespace {

/** The end of a read-only query's time, checked by the engine as it works. */
struct Deadline
{
    QElapsedTimer timer;
    qint64 ms = 0;
    bool passed = false;

    static int check(void* self)
    {
        auto* d = static_cast<Deadline*>(self);
        d->passed = d->passed || d->timer.elapsed() >= d->ms;
        return d->passed ? 1 : 0;
    }
};

ResultKind declaredKind(const char* declared)
{
    if (isDateType(declared))
        return ResultKind::Date;
    const QByteArray t = QByteArray(declared).toUpper();
    for (const char* number : {"INT", "REAL", "FLOA", "DOUB", "NUM", "DEC", "BIT", "BOOL"})
        if (t.contains(number))
            return ResultKind::Number;
    return ResultKind::Text;
}

} // namespace

ReadOnlyRows SqliteDatabase::doQueryReadOnly(const QString& sql, const QVariantList& params,
                                             const ReadCap& cap, qint64 waitMs,
                                             const QString& where)
{
    Deadline deadline;
    // Kept for the whole read: the engine prepares a statement again when the schema changed.
    struct Fenced
    {
        SqliteDatabase& db;
        ~Fenced()
        {
            db.setFence(Fence::None);
            sqlite3_progress_handler(db.m_db, 0, nullptr, nullptr);
        }
    } fenced{*this};
    setFence(Fence::Reading);
    if (waitMs > 0) {
        deadline.ms = waitMs;
        deadline.timer.start();
        sqlite3_progress_handler(m_db, 1000, &Deadline::check, &deadline);
    }

    Statement st(*this, sql, where);
    if (!sqlite3_stmt_readonly(st.handle()))
        throw DbError(DbErrorKind::Other, QString::number(SQLITE_AUTH),
                      QStringLiteral("The query would write"), sql, where);
    st.bind(params);
    const int n = sqlite3_column_count(st.handle());
    ReadOnlyRows read;
    QStringList columns;
    for (int i = 0; i < n; ++i) {
        columns << fromUtf8(sqlite3_column_name(st.handle(), i));
        const char* declared = sqlite3_column_decltype(st.handle(), i);
        read.declared << (declared ? std::optional(declaredKind(declared)) : std::nullopt);
    }
    const qsizetype limit = qMin(cap.rows, cap.cells / qMax(n, 1));
    QList<QVariantList> rows;
    try {
        while (st.step()) {
            if (rows.size() >= limit) {
                read.capped = true;
                break;
            }
            QVariantList row;
            row.reserve(n);
            for (int i = 0; i < n; ++i)
                row << st.column(i);
            rows << std::move(row);
        }
    } catch (const DbError&) {
        if (!deadline.passed)
            throw;
        read.timedOut = true;
    }
    read.rows = RecordSet(std::move(columns), std::move(rows));
    return read;
}

void SqliteDatabase::interrupt()
{
    sqlite3_interrupt(m_db);
}

void SqliteDatabase::setQueryTimeout(int seconds)
{
    m_busyMs = seconds > 0 ? seconds * 1000 : kDefaultBusyMs;
    sqlite3_busy_timeout(m_db, m_busyMs);
}

// The user's row is the one of exactly that spelling, and stored forms compare exactly: the
// columns' own comparison ignores letter case.
QString SqliteDatabase::passwordSetting(const QString& userId)
{
    const QString stored =
        scalar(QStringLiteral("SELECT User_Password FROM LU_USER WHERE USER_ID = ? COLLATE BINARY"),
               {userId})
            .toString();
    if (!stored.startsWith(kPasswordHashPrefix))
        return {};
    return stored.left(stored.lastIndexOf(QLatin1Char('$')));
}

bool SqliteDatabase::passwordMatches(const QString& userId, const QString& candidate)
{
    return !query(QStringLiteral("SELECT 1 FROM LU_USER WHERE USER_ID = ? COLLATE BINARY AND "
                                 "COALESCE(User_Password, '') = COALESCE(?, '') COLLATE BINARY"),
                  {userId, candidate})
                .isEmpty();
}

bool SqliteDatabase::replacePassword(const QString& userId, const QString& candidate,
                                     const QString& replacement)
{
    if (!candidate.startsWith(kPasswordHashPrefix) || !replacement.startsWith(kPasswordHashPrefix))
        return false;
    return execute(QStringLiteral("UPDATE LU_USER SET User_Password = ? WHERE USER_ID = ? COLLATE "
                                  "BINARY AND User_Password = ? COLLATE BINARY"),
                   {replacement, userId, candidate}) == 1;
}

} // namespace bx
