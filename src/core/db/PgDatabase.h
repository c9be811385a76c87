#pragma once

#include "core/db/Database.h"
#include "core/db/LoginRoles.h"

#include <memory>

struct pg_conn;
struct pg_cancel;

namespace bx {

/** Where and as whom to connect to the server engine. */
struct PgConnectParams
{
    QString host = QStringLiteral("127.0.0.1");
    int port = 5432;
    QString user;
    QString password;
    QString database;
    /** Extra server settings, e.g. "-c search_path=s1,public" (libpq "options"). */
    QString options;
    int connectTimeoutSeconds = 25;
    /**
     * How the connection is protected (libpq "sslmode"): "prefer" encrypts when the server
     * offers it, "require" always encrypts, "verify-full" also checks the server's certificate
     * against the CA file sslRootCert and its name against the host.
     */
    QString sslMode = kSslPrefer;
    /** CA file the server's certificate must come from (libpq "sslrootcert"); verify-full only. */
    QString sslRootCert;

    inline static const QString kSslPrefer = QStringLiteral("prefer");
    inline static const QString kSslRequire = QStringLiteral("require");
    inline static const QString kSslVerifyFull = QStringLiteral("verify-full");
    /** The SSL modes a server may be given, weakest first. */
    static QStringList sslModes();
    /**
     * Why `mode` with `rootCert` cannot be used (an unknown mode, verify-full without a CA file),
     * or "" when it can.
     */
    static QString sslProblem(const QString& mode, const QString& rootCert);

    /** Host and port from a server name "host[:port]" (IPv6 addresses as "[addr]:port"). */
    static PgConnectParams forServer(const QString& serverName);

    /**
     * From a connection string of blank-separated "key=value" words (host, port, user,
     * password, dbname, sslmode, sslrootcert; others are ignored), as the test and benchmark
     * scripts hand it over. The database defaults to "postgres".
     */
    static PgConnectParams fromConnectionString(const QString& text);
};

/**
 * The server engine: one PostgreSQL connection through libpq.
 *
 * "?" markers are turned into $1, $2, ... outside quoted text. Values go as text (binary for
 * QByteArray); results come as text and are turned into QVariants by column type (see RecordSet).
 * Large binary values live in large objects whose oid the row holds; they are streamed with
 * lo_read/lo_write inside a transaction.
 */
class PgDatabase final : public Database, private LoginRoles
{
public:
    /**
     * Connects. A failed connection throws DbError of kind LoginFailed (SQLSTATE 28P01 or 28000,
     * number "18456"), CannotOpenDatabase (3D000, "4060") or ServerUnreachable (no SQLSTATE,
     * "17"), or Other with the SQLSTATE. An SSL mode sslProblem refuses, and a protected
     * connection that fails on TLS (no TLS on the server, a certificate that does not verify),
     * throw Other with number "08001" and a message that says so.
     */
    static std::unique_ptr<PgDatabase> connect(const PgConnectParams& params);
    ~PgDatabase() override;

    Engine engine() const override { return Engine::Postgres; }
    const PgConnectParams& params() const { return m_params; }
    /** Whether the connection is encrypted (TLS). */
    bool sslInUse() const;

    /**
     * Quoting for the few statements that cannot take parameters (CREATE DATABASE, ALTER ROLE):
     * a name as a quoted identifier, a text as a quoted literal, escaped by the server's rules.
     */
    QString quoteIdentifier(const QString& name) const;
    QString quoteLiteral(const QString& text) const;

    LoginRoles* loginRoles() override { return this; }
    /**
     * Gives a login role a new password. The password is hashed here, by the server's rules, so
     * that it never travels or lands in a server log in clear. @throws DbError
     */
    void setRolePassword(const QString& role, const QString& password) override;
    /**
     * Creates a login that is no user's own (the shared login) when it is missing, without a
     * password, and makes it a member of `usersRole`. Needs the server administrator's rights.
     */
    void ensureSharedLogin(const QString& login, const QString& usersRole);

    /** Draws a new number from LU_SERIALS (unique across tables and clients). */
    qlonglong drawSerial();

    void executeScript(const QString& script, Where where = Where::current()) override;
    QStringList tables() override;
    QStringList systemTables() override;
    QList<ColumnInfo> columns(const QString& table) override;
    QList<ForeignKey> foreignKeys(const QString& table) override;
    void writeBlob(const BlobRef& ref, QIODevice& source, qint64 size,
                   const BlobProgress& progress = {}) override;
    qint64 readBlob(const BlobRef& ref, QIODevice& sink,
                    const BlobProgress& progress = {}) override;
    qint64 blobSize(const BlobRef& ref) override;
    void clearBlob(const BlobRef& ref) override;
    /** Copies inside the server, piece by piece: none of the value travels to this program. */
    void copyBlob(const BlobRef& from, const BlobRef& to) override;
    qint64 maxBlobSize() const override;
    void setQueryTimeout(int seconds) override;
    void interrupt() override;

    QString changeChannel() override;
    void listen(const QString& channel) override;
    /** Reads from the socket only when the server sent something (PQconsumeInput, PQnotifies). */
    QList<Notice> takeNotices(int waitMs = 0) override;

    // Through the functions bx_password_setting, bx_password_check and bx_password_rehash, which
    // run as the tables' owner: a user's login cannot read User_Password itself.
    QString passwordSetting(const QString& userId) override;
    bool passwordMatches(const QString& userId, const QString& candidate) override;
    bool replacePassword(const QString& userId, const QString& candidate,
                         const QString& replacement) override;

    /** "?" markers as $1, $2, ...; quoted text, quoted names and comments are left alone. */
    static QString numberedPlaceholders(const QString& sql);

protected:
    RecordSet doQuery(const QString& sql, const QVariantList& params,
                      const QString& where) override;
    qlonglong doExecute(const QString& sql, const QVariantList& params,
                        const QString& where) override;
    qlonglong doInsertNumbered(const QString& table, const QString& numberColumn,
                               const QStringList& columns, const QVariantList& values,
                               const QString& where) override;
    void exec(const QString& sql) override;
    QString beginStatement() const override { return QStringLiteral("BEGIN"); }
    ReadOnlyRows doQueryReadOnly(const QString& sql, const QVariantList& params, const ReadCap& cap,
                                 qint64 waitMs, const QString& where) override;

private:
    /** The base tables of the catalogue's schema pg_catalog, or of the current schema. */
    QStringList tableNames(bool system);
    PgDatabase(pg_conn* conn, PgConnectParams params);

    // LoginRoles
    bool roleExists(const QString& role) override;
    void ensureLogin(const QString& role, bool administrator) override;
    void setRights(const QString& role, const QStringList& rights) override;
    void setLoginAllowed(const QString& role, bool allowed) override;
    void renameRole(const QString& from, const QString& to) override;
    void dropRole(const QString& role) override;
    QString sessionRole() override;

    class Result;
    Result run(const QString& sql, const QVariantList& params, const QString& where);
    /** Several statements without parameters; the result is the last statement's. */
    Result runScript(const QString& script, const QString& where);
    DbError connectionError(const QString& sql, const QString& where) const;
    QString escaped(const QString& text, bool identifier) const;
    qlonglong oidOf(const BlobRef& ref, const QString& where, bool mustExist);
    /** Opens a large object for reading at its start; its size goes to `size`. */
    int openForReading(qlonglong object, qint64* size, const QString& where);

    pg_conn* m_conn;
    /** Made once on the connection's thread; PQcancel on it is safe from any thread. */
    pg_cancel* m_cancel = nullptr;
    PgConnectParams m_params;
};

} // namespace bx
