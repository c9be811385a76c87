#include "core/db/PgDatabase.h"

#include "core/db/Dialect.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <libpq-fe.h>
#include <libpq/libpq-fs.h>
#include <limits>
#include <poll.h>
#include <vector>

namespace bx {

namespace {

// Type oids of the built-in types whose text form we convert.
constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700,
              kFloat8 = 701, kNumeric = 1700, kDate = 1082, kTimestamp = 1114, kTimestampTz = 1184;

QVariant fromText(Oid type, const char* text, int length)
{
    switch (type) {
    case kBool:
        return QVariant(qlonglong(text[0] == 't' ? 1 : 0));
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
        return QVariant(QByteArray::fromRawData(text, length).toLongLong());
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return QVariant(QByteArray::fromRawData(text, length).toDouble());
    case kDate:
    case kTimestamp:
    case kTimestampTz:
        return RecordSet::toDateTime(QString::fromLatin1(text, length).left(19));
    case kBytea: {
        size_t n = 0;
        unsigned char* raw = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &n);
        QByteArray out(reinterpret_cast<const char*>(raw), qsizetype(n));
        PQfreemem(raw);
        return out;
    }
    default:
        return QString::fromUtf8(text, length);
    }
}

DbErrorKind kindOfState(const QString& state)
{
    if (state == QLatin1String("28P01") || state == QLatin1String("28000"))
        return DbErrorKind::LoginFailed;
    if (state == QLatin1String("3D000"))
        return DbErrorKind::CannotOpenDatabase;
    if (state.startsWith(QLatin1String("08")))
        return DbErrorKind::ConnectionLost;
    if (state == QLatin1String("42P01"))
        return DbErrorKind::UnknownTable;
    if (state == QLatin1String("42703"))
        return DbErrorKind::UnknownColumn;
    if (state == QLatin1String("23505"))
        return DbErrorKind::DuplicateKey;
    // Data exceptions and a datatype mismatch: a value that does not fit the column's type.
    if (state.startsWith(QLatin1String("22")) || state == QLatin1String("42804"))
        return DbErrorKind::ConversionError;
    return DbErrorKind::Other;
}

/** A connection that could not be made the way the SSL mode asks. */
DbError sslFailure(const QString& mode, const QString& description)
{
    return DbError(DbErrorKind::Other, QStringLiteral("08001"),
                   QStringLiteral("No secure connection (SSL mode %1): %2").arg(mode, description));
}

/** Turns libpq's message of a failed connection into the error the program reports. */
DbError connectFailure(const QString& message, const PgConnectParams& params)
{
    // With verbose errors the server's SQLSTATE stands after the severity: "FATAL:  28P01: ...".
    static const QRegularExpression coded(
        QStringLiteral("(?:FATAL|ERROR):\\s+([0-9A-Z]{5}):\\s+([^\\n]*)"));
    const auto m = coded.match(message);
    // Failing on TLS is no unreachable server: the server did answer, but could not show that it
    // is the one meant, or would not encrypt.
    if (!m.hasMatch() && params.sslMode != PgConnectParams::kSslPrefer &&
        (message.contains(QLatin1String("SSL")) || message.contains(QLatin1String("certificate"))))
        return sslFailure(params.sslMode, message.simplified());
    if (!m.hasMatch())
        return DbError(DbErrorKind::ServerUnreachable, QStringLiteral("17"), message.simplified());
    const QString state = m.captured(1);
    const DbErrorKind kind = kindOfState(state);
    const QString number = kind == DbErrorKind::LoginFailed          ? QStringLiteral("18456")
                           : kind == DbErrorKind::CannotOpenDatabase ? QStringLiteral("4060")
                                                                     : state;
    return DbError(kind, number, m.captured(2).trimmed());
}

void ignoreNotice(void*, const char*) {}

} // namespace

/** Owns a PGresult. */
class PgDatabase::Result
{
public:
    explicit Result(PGresult* r)
        : m_r(r)
    {
    }
    ~Result() { PQclear(m_r); }
    Result(Result&& o) noexcept
        : m_r(std::exchange(o.m_r, nullptr))
    {
    }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    PGresult* get() const { return m_r; }

private:
    PGresult* m_r;
};

PgConnectParams PgConnectParams::forServer(const QString& serverName)
{
    PgConnectParams p;
    const QString s = serverName.trimmed();
    static const QRegularExpression form(
        QStringLiteral("^(?:\\[([^\\]]+)\\]|([^:]*))(?::(\\d+))?$"));
    const auto m = form.match(s);
    if (!m.hasMatch()) {
        p.host = s;
        return p;
    }
    p.host = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
    if (!m.captured(3).isEmpty())
        p.port = m.captured(3).toInt();
    return p;
}

PgConnectParams PgConnectParams::fromConnectionString(const QString& text)
{
    PgConnectParams p;
    p.database = QStringLiteral("postgres");
    for (const QString& part : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString key = part.section(QLatin1Char('='), 0, 0);
        const QString value = part.section(QLatin1Char('='), 1);
        if (key == QLatin1String("host"))
            p.host = value;
        else if (key == QLatin1String("port"))
            p.port = value.toInt();
        else if (key == QLatin1String("user"))
            p.user = value;
        else if (key == QLatin1String("password"))
            p.password = value;
        else if (key == QLatin1String("dbname"))
            p.database = value;
        else if (key == QLatin1String("sslmode"))
            p.sslMode = value;
        else if (key == QLatin1String("sslrootcert"))
            p.sslRootCert = value;
    }
    return p;
}

QStringList PgConnectParams::sslModes()
{
    return {kSslPrefer, kSslRequire, kSslVerifyFull};
}

QString PgConnectParams::sslProblem(const QString& mode, const QString& rootCert)
{
    if (!sslModes().contains(mode))
        return QStringLiteral("Unknown SSL mode \"%1\": use prefer, require or verify-full.")
            .arg(mode);
    if (mode == kSslVerifyFull && rootCert.trimmed().isEmpty())
        return QStringLiteral("The SSL mode verify-full needs a CA file to check the server's "
                              "certificate against.");
    return {};
}

PgDatabase::PgDatabase(pg_conn* conn, PgConnectParams params)
    : Database(Engine::Postgres)
    , m_conn(conn)
    , m_cancel(PQgetCancel(conn))
    , m_params(std::move(params))
{
}

PgDatabase::~PgDatabase()
{
    PQfreeCancel(m_cancel);
    PQfinish(m_conn);
}

bool PgDatabase::sslInUse() const
{
    return PQsslInUse(m_conn) != 0;
}

void PgDatabase::interrupt()
{
    // The request travels on a connection of its own; the server ignores it when this
    // connection is idle. Failing to send it leaves the statement running, nothing worse.
    char message[256];
    if (m_cancel)
        PQcancel(m_cancel, message, int(sizeof message));
}

std::unique_ptr<PgDatabase> PgDatabase::connect(const PgConnectParams& params)
{
    if (const QString problem = PgConnectParams::sslProblem(params.sslMode, params.sslRootCert);
        !problem.isEmpty())
        throw DbError(DbErrorKind::Other, QStringLiteral("08001"), problem);
    // The CA file matters to verify-full alone; an empty value leaves libpq's default.
    const QByteArray sslmode = params.sslMode.toUtf8(),
                     sslrootcert = params.sslMode == PgConnectParams::kSslVerifyFull
                                       ? params.sslRootCert.toUtf8()
                                       : QByteArray();
    const QByteArray host = params.host.toUtf8(), port = QByteArray::number(params.port),
                     user = params.user.toUtf8(), password = params.password.toUtf8(),
                     dbname = params.database.toUtf8(),
                     options = (QStringLiteral("-c datestyle=ISO,YMD ") + params.options).toUtf8(),
                     timeout = QByteArray::number(params.connectTimeoutSeconds);
    const char* keys[] = {"host",
                          "port",
                          "user",
                          "password",
                          "dbname",
                          "connect_timeout",
                          "client_encoding",
                          "application_name",
                          "options",
                          "sslmode",
                          "sslrootcert",
                          nullptr};
    const char* values[] = {host.constData(),
                            port.constData(),
                            user.constData(),
                            password.constData(),
                            dbname.constData(),
                            timeout.constData(),
                            "UTF8",
                            "brindlepax",
                            options.constData(),
                            sslmode.constData(),
                            sslrootcert.constData(),
                            nullptr};
    PGconn* conn = PQconnectStartParams(keys, values, 0);
    if (!conn)
        throw DbError(DbErrorKind::ServerUnreachable, QStringLiteral("17"),
                      QStringLiteral("Out of memory while connecting"));
    // Verbose errors carry the server's SQLSTATE in the message; libpq has no accessor for it
    // on a connection that failed.
    PQsetErrorVerbosity(conn, PQERRORS_VERBOSE);
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (PQstatus(conn) != CONNECTION_BAD && state != PGRES_POLLING_OK &&
           state != PGRES_POLLING_FAILED) {
        pollfd p{PQsocket(conn), short(state == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        const int ready = ::poll(&p, 1, params.connectTimeoutSeconds * 1000);
        if (ready == 0) {
            PQfinish(conn);
            throw DbError(DbErrorKind::ServerUnreachable, QStringLiteral("17"),
                          QStringLiteral("Timed out connecting to ") + params.host);
        }
        state = PQconnectPoll(conn);
    }
    if (PQstatus(conn) != CONNECTION_OK) {
        const QString message = QString::fromUtf8(PQerrorMessage(conn));
        PQfinish(conn);
        throw connectFailure(message, params);
    }
    PQsetErrorVerbosity(conn, PQERRORS_DEFAULT);
    PQsetNoticeProcessor(conn, ignoreNotice, nullptr);
    return std::unique_ptr<PgDatabase>(new PgDatabase(conn, params));
}

QString PgDatabase::numberedPlaceholders(const QString& sql)
{
    QString out;
    out.reserve(sql.size() + 16);
    int n = 0;
    const qsizetype len = sql.size();
    for (qsizetype i = 0; i < len; ++i) {
        const QChar ch = sql.at(i);
        auto copyUntil = [&](const QString& end) {
            const qsizetype stop = sql.indexOf(end, i + 1);
            const qsizetype last = stop < 0 ? len : stop + end.size();
            out += QStringView(sql).mid(i, last - i);
            i = last - 1;
        };
        if (ch == QLatin1Char('\'')) {
            copyUntil(QStringLiteral("'")); // '' inside text is two adjacent quoted pieces
        } else if (ch == QLatin1Char('"')) {
            copyUntil(QStringLiteral("\""));
        } else if (ch == QLatin1Char('-') && i + 1 < len && sql.at(i + 1) == QLatin1Char('-')) {
            copyUntil(QStringLiteral("\n"));
        } else if (ch == QLatin1Char('/') && i + 1 < len && sql.at(i + 1) == QLatin1Char('*')) {
            copyUntil(QStringLiteral("*/"));
        } else if (ch == QLatin1Char('$')) {
            // Dollar quoting: $tag$ ... $tag$
            qsizetype j = i + 1;
            while (j < len && (sql.at(j).isLetterOrNumber() || sql.at(j) == QLatin1Char('_')))
                ++j;
            if (j < len && sql.at(j) == QLatin1Char('$') &&
                !(j > i + 1 && sql.at(i + 1).isDigit())) {
                const QString tag = sql.mid(i, j - i + 1);
                const qsizetype stop = sql.indexOf(tag, j + 1);
                const qsizetype last = stop < 0 ? len : stop + tag.size();
                out += QStringView(sql).mid(i, last - i);
                i = last - 1;
            } else {
                out += ch;
            }
        } else if (ch == QLatin1Char('?')) {
            out += QLatin1Char('$') + QString::number(++n);
        } else {
            out += ch;
        }
    }
    return out;
}

DbError PgDatabase::connectionError(const QString& sql, const QString& where) const
{
    const QString message = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
    const bool lost = PQstatus(m_conn) == CONNECTION_BAD;
    return DbError(lost ? DbErrorKind::ConnectionLost : DbErrorKind::Other,
                   lost ? QStringLiteral("08006") : QStringLiteral("0"), message, sql, where);
}

PgDatabase::Result PgDatabase::run(const QString& sql, const QVariantList& params,
                                   const QString& where)
{
    if (sql.contains(QChar(0)))
        throw DbError::nulInStatement(sql, where);
    const QByteArray text = numberedPlaceholders(sql).toUtf8();
    const int n = int(params.size());
    std::vector<QByteArray> storage(static_cast<size_t>(n));
    std::vector<const char*> values(size_t(n), nullptr);
    std::vector<int> lengths(size_t(n), 0);
    std::vector<int> formats(size_t(n), 0);
    std::vector<Oid> types(size_t(n), 0);
    for (int i = 0; i < n; ++i) {
        const QVariant& v = params.at(i);
        if (v.isNull())
            continue;
        QByteArray& b = storage[size_t(i)];
        switch (v.typeId()) {
        case QMetaType::Bool:
            b = v.toBool() ? "1" : "0";
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            b = QByteArray::number(v.toDouble(), 'g', 17);
            break;
        case QMetaType::QByteArray:
            b = v.toByteArray();
            formats[size_t(i)] = 1;
            types[size_t(i)] = kBytea;
            break;
        case QMetaType::QDateTime:
            if (!v.toDateTime().isValid())
                continue;
            b = Dialect::storedDateTime(v.toDateTime()).toUtf8();
            break;
        case QMetaType::QDate:
            if (!v.toDate().isValid())
                continue;
            b = v.toDate().toString(QStringLiteral("yyyy-MM-dd")).toUtf8();
            break;
        default:
            b = v.toString().toUtf8();
        }
        values[size_t(i)] = b.constData();
        lengths[size_t(i)] = int(b.size());
    }
    Result r(PQexecParams(m_conn, text.constData(), n, types.data(), values.data(), lengths.data(),
                          formats.data(), 0));
    const ExecStatusType status = r.get() ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return r;
    if (!r.get() || PQstatus(m_conn) == CONNECTION_BAD)
        throw connectionError(sql, where);
    const QString state = QString::fromLatin1(PQresultErrorField(r.get(), PG_DIAG_SQLSTATE));
    const QString message = QString::fromUtf8(PQresultErrorField(r.get(), PG_DIAG_MESSAGE_PRIMARY));
    throw DbError(kindOfState(state), state, message, sql, where);
}

namespace {

/** The column types of a result. */
std::vector<Oid> typesOf(PGresult* res)
{
    std::vector<Oid> types(static_cast<size_t>(PQnfields(res)));
    for (size_t c = 0; c < types.size(); ++c)
        types[c] = PQftype(res, int(c));
    return types;
}

/** Appends the first `count` rows of a result (all when more are asked for). */
void appendRows(PGresult* res, const std::vector<Oid>& types, QList<QVariantList>& rows,
                qsizetype count = std::numeric_limits<qsizetype>::max())
{
    const int columns = int(types.size());
    const int n = int(qMin<qsizetype>(PQntuples(res), count));
    rows.reserve(rows.size() + n);
    for (int row = 0; row < n; ++row) {
        QVariantList values;
        values.reserve(columns);
        for (int c = 0; c < columns; ++c) {
            if (PQgetisnull(res, row, c))
                values << QVariant();
            else
                values << fromText(types[size_t(c)], PQgetvalue(res, row, c),
                                   PQgetlength(res, row, c));
        }
        rows << std::move(values);
    }
}

ResultKind kindOfType(Oid type)
{
    switch (type) {
    case kBool:
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return ResultKind::Number;
    case kDate:
    case kTimestamp:
    case kTimestampTz:
        return ResultKind::Date;
    default:
        return ResultKind::Text;
    }
}

/** Rows fetched from the cursor of a read-only query at a time. */
constexpr qsizetype kFetchRows = 10'000;

} // namespace

RecordSet PgDatabase::doQuery(const QString& sql, const QVariantList& params, const QString& where)
{
    const Result r = run(sql, params, where);
    PGresult* res = r.get();
    QStringList names;
    for (int c = 0; c < PQnfields(res); ++c)
        names << QString::fromUtf8(PQfname(res, c));
    QList<QVariantList> rows;
    appendRows(res, typesOf(res), rows);
    return RecordSet(std::move(names), std::move(rows));
}

ReadOnlyRows PgDatabase::doQueryReadOnly(const QString& sql, const QVariantList& params,
                                         const ReadCap& cap, qint64 waitMs, const QString& where)
{
    if (transactionDepth() > 0)
        throw DbError(DbErrorKind::Other, QStringLiteral("25001"),
                      QStringLiteral("A read-only query cannot run inside a transaction"), sql,
                      where);
    QElapsedTimer timer;
    timer.start();
    // Through a cursor, so that no more rows than the cap ever travel, in pieces, so that the
    // server's answer and the rows made of it are not both held whole.
    run(QStringLiteral("BEGIN READ ONLY"), {}, where);
    // Nothing was written that a rollback could lose; the cursor and the time limit go with it.
    const auto endReading = [this] {
        try {
            exec(QStringLiteral("ROLLBACK"));
        } catch (const DbError&) {
            // the connection is gone: so is the transaction
        }
    };
    ReadOnlyRows read;
    QStringList names;
    QList<QVariantList> rows;
    try {
        run(QStringLiteral("DECLARE bx_read NO SCROLL CURSOR FOR ") + sql, params, where);
        qsizetype limit = -1;
        std::vector<Oid> types;
        for (;;) {
            if (waitMs > 0) {
                const qint64 left = waitMs - timer.elapsed();
                if (left <= 0) {
                    read.timedOut = true;
                    break;
                }
                run(QStringLiteral("SET LOCAL statement_timeout = ") + QString::number(left), {},
                    where);
            }
            // One row beyond the cap tells that there are more.
            const qsizetype want = limit < 0 || limit - rows.size() >= kFetchRows
                                       ? kFetchRows
                                       : limit - rows.size() + 1;
            const Result r =
                run(QStringLiteral("FETCH FORWARD %1 FROM bx_read").arg(want), {}, where);
            PGresult* res = r.get();
            if (limit < 0) {
                types = typesOf(res);
                for (int c = 0; c < PQnfields(res); ++c) {
                    names << QString::fromUtf8(PQfname(res, c));
                    read.declared << kindOfType(types[size_t(c)]);
                }
                limit = qMin(cap.rows, cap.cells / qMax<qsizetype>(PQnfields(res), 1));
            }
            const qsizetype got = PQntuples(res);
            const qsizetype room = limit - rows.size();
            appendRows(res, types, rows, room);
            if (got > room) {
                read.capped = true;
                break;
            }
            if (got < want)
                break;
        }
    } catch (const DbError& e) {
        endReading();
        // The server reports a statement stopped by its time limit as cancelled (57014).
        if (!(e.number() == QLatin1String("57014") && waitMs > 0 && timer.elapsed() >= waitMs))
            throw;
        read.timedOut = true;
        read.rows = RecordSet(std::move(names), std::move(rows));
        return read;
    }
    endReading();
    read.rows = RecordSet(std::move(names), std::move(rows));
    return read;
}

qlonglong PgDatabase::doExecute(const QString& sql, const QVariantList& params,
                                const QString& where)
{
    const Result r = run(sql, params, where);
    const char* changed = PQcmdTuples(r.get());
    return changed && *changed ? QByteArray(changed).toLongLong() : 0;
}

QString PgDatabase::escaped(const QString& text, bool identifier) const
{
    const QByteArray utf8 = text.toUtf8();
    char* quoted = identifier ? PQescapeIdentifier(m_conn, utf8.constData(), size_t(utf8.size()))
                              : PQescapeLiteral(m_conn, utf8.constData(), size_t(utf8.size()));
    if (!quoted)
        throw connectionError({}, QStringLiteral("PgDatabase::escaped"));
    const QString out = QString::fromUtf8(quoted);
    PQfreemem(quoted);
    return out;
}

QString PgDatabase::quoteIdentifier(const QString& name) const
{
    return escaped(name, true);
}

QString PgDatabase::quoteLiteral(const QString& text) const
{
    return escaped(text, false);
}

bool PgDatabase::roleExists(const QString& role)
{
    return !query(QStringLiteral("SELECT 1 FROM pg_roles WHERE rolname = ?"), {role}).eof();
}

void PgDatabase::ensureLogin(const QString& role, bool administrator)
{
    query(QStringLiteral("SELECT bx_login_ensure(?, ?)"), {role, administrator});
}

void PgDatabase::setRights(const QString& role, const QStringList& rights)
{
    // The rights' names are words without commas.
    query(QStringLiteral("SELECT bx_login_rights(?, string_to_array(?, ','))"),
          {role, rights.join(QLatin1Char(','))});
}

void PgDatabase::setLoginAllowed(const QString& role, bool allowed)
{
    query(QStringLiteral("SELECT bx_login_allow(?, ?)"), {role, allowed});
}

void PgDatabase::renameRole(const QString& from, const QString& to)
{
    query(QStringLiteral("SELECT bx_login_rename(?, ?)"), {from, to});
}

void PgDatabase::dropRole(const QString& role)
{
    // The function keeps a role the server refuses to drop, without the right to log on.
    query(QStringLiteral("SELECT bx_login_drop(?)"), {role});
}

void PgDatabase::ensureSharedLogin(const QString& login, const QString& usersRole)
{
    if (!roleExists(login))
        executeScript(QStringLiteral("CREATE ROLE ") + quoteIdentifier(login) +
                      QStringLiteral(" LOGIN"));
    executeScript(QStringLiteral("GRANT ") + quoteIdentifier(usersRole) + QStringLiteral(" TO ") +
                  quoteIdentifier(login));
    // The database tells a shared login from a user's own by this role, which the upgrade made.
    if (usersRole.endsWith(QLatin1String("_users"))) {
        const QString marker = usersRole.chopped(6) + QStringLiteral("#shared");
        if (roleExists(marker))
            executeScript(QStringLiteral("GRANT ") + quoteIdentifier(marker) +
                          QStringLiteral(" TO ") + quoteIdentifier(login));
    }
}

QString PgDatabase::sessionRole()
{
    return scalar(QStringLiteral("SELECT session_user")).toString();
}

void PgDatabase::setRolePassword(const QString& role, const QString& password)
{
    const QString where = QStringLiteral("PgDatabase::setRolePassword");
    char* hashed = PQencryptPasswordConn(m_conn, password.toUtf8().constData(),
                                         role.toUtf8().constData(), nullptr);
    if (!hashed)
        throw connectionError({}, where);
    const QString secret = QString::fromUtf8(hashed);
    PQfreemem(hashed);
    // A login changes its own password itself, and so does the server's administrator (a new
    // database has no bx_login_password yet); an administrator of the database changes another
    // user's through the function, which needs no CREATEROLE of him.
    const RecordSet self =
        query(QStringLiteral(
                  "SELECT session_user = ?, rolsuper, to_regprocedure('bx_login_password(text, "
                  "text)') IS NOT NULL FROM pg_roles WHERE rolname = current_user"),
              {role});
    const QVariantList flags = self.isEmpty() ? QVariantList() : self.rows().first();
    if (flags.size() == 3 && !flags.at(0).toBool() && flags.at(2).toBool() &&
        !flags.at(1).toBool()) {
        query(QStringLiteral("SELECT bx_login_password(?, ?)"), {role, secret});
        return;
    }
    // ALTER ROLE takes no parameters; both parts are quoted by the server's rules.
    const QString head = QStringLiteral("ALTER ROLE ") + quoteIdentifier(role);
    try {
        runScript(head + QStringLiteral(" PASSWORD ") + quoteLiteral(secret), where);
    } catch (const DbError& e) {
        throw DbError(e.kind(), e.number(), e.description(),
                      head + QStringLiteral(" PASSWORD '...'"), e.where());
    }
}

qlonglong PgDatabase::drawSerial()
{
    // Both statements travel in one message and run as one implicit transaction: one round trip
    // and one commit per number. The row lives only for that instant.
    const Result r =
        runScript(QStringLiteral("INSERT INTO LU_SERIALS (i) VALUES (1); "
                                 "DELETE FROM LU_SERIALS WHERE Ser = lastval() RETURNING Ser"),
                  QStringLiteral("PgDatabase::drawSerial"));
    if (PQntuples(r.get()) != 1)
        throw DbError(DbErrorKind::Other, QStringLiteral("P0002"),
                      QStringLiteral("No number was drawn from LU_SERIALS"));
    return QByteArray(PQgetvalue(r.get(), 0, 0)).toLongLong();
}

qlonglong PgDatabase::doInsertNumbered(const QString& table, const QString& numberColumn,
                                       const QStringList& columns, const QVariantList& values,
                                       const QString& where)
{
    const qlonglong n = drawSerial();
    doExecute(QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") + numberColumn +
                  (columns.isEmpty() ? QString() : QStringLiteral(", ")) +
                  columns.join(QStringLiteral(", ")) + QStringLiteral(") VALUES (") +
                  Dialect::markers(columns.size() + 1) + QLatin1Char(')'),
              QVariantList{n} + values, where);
    return n;
}

void PgDatabase::exec(const QString& sql)
{
    run(sql, {}, QStringLiteral("database layer"));
}

PgDatabase::Result PgDatabase::runScript(const QString& script, const QString& where)
{
    Result r(PQexec(m_conn, script.toUtf8().constData()));
    const ExecStatusType status = r.get() ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY)
        return r;
    if (!r.get() || PQstatus(m_conn) == CONNECTION_BAD)
        throw connectionError(script, where);
    const QString state = QString::fromLatin1(PQresultErrorField(r.get(), PG_DIAG_SQLSTATE));
    throw DbError(kindOfState(state), state,
                  QString::fromUtf8(PQresultErrorField(r.get(), PG_DIAG_MESSAGE_PRIMARY)), script,
                  where);
}

void PgDatabase::executeScript(const QString& script, Where where)
{
    runScript(script, DbError::describe(where));
}

QStringList PgDatabase::tables()
{
    return tableNames(false);
}

QStringList PgDatabase::systemTables()
{
    return tableNames(true);
}

QStringList PgDatabase::tableNames(bool system)
{
    const RecordSet rs = query(
        QStringLiteral("SELECT table_name FROM information_schema.tables WHERE table_schema = ") +
        (system ? QStringLiteral("'pg_catalog'") : QStringLiteral("current_schema()")) +
        QStringLiteral(" AND table_type = 'BASE TABLE' ORDER BY table_name"));
    return rs.firstColumnTexts();
}

QList<ColumnInfo> PgDatabase::columns(const QString& table)
{
    // A table of the schema first; else one of the catalogue's own, which every statement finds
    // through the search path without naming its schema.
    const RecordSet rs = query(
        QStringLiteral("SELECT column_name, CASE WHEN data_type = 'USER-DEFINED' THEN udt_name "
                       "ELSE data_type END, is_nullable FROM information_schema.columns "
                       "WHERE table_schema = CASE WHEN EXISTS (SELECT 1 FROM "
                       "information_schema.tables t WHERE t.table_schema = current_schema() "
                       "AND lower(t.table_name) = lower(?)) THEN current_schema() "
                       "ELSE 'pg_catalog' END AND lower(table_name) = lower(?) "
                       "ORDER BY ordinal_position"),
        {table, table});
    QList<ColumnInfo> out;
    for (const QVariantList& row : rs.rows())
        out.append({row.at(0).toString(), row.at(1).toString().toLower(),
                    row.at(2).toString() == QLatin1String("YES")});
    return out;
}

QList<ForeignKey> PgDatabase::foreignKeys(const QString& table)
{
    // information_schema pairs a key's columns only through the referenced unique constraint,
    // which a key on a unique index lacks; the constraint's own column arrays always pair them.
    const RecordSet rs = query(
        QStringLiteral("SELECT cl.relname, a.attname, rc.relname, ra.attname "
                       "FROM pg_constraint c "
                       "JOIN pg_class cl ON cl.oid = c.conrelid "
                       "JOIN pg_namespace n ON n.oid = cl.relnamespace "
                       "JOIN pg_class rc ON rc.oid = c.confrelid "
                       "CROSS JOIN LATERAL unnest(c.conkey, c.confkey) WITH ORDINALITY "
                       "AS k(col, refcol, pos) "
                       "JOIN pg_attribute a ON a.attrelid = c.conrelid AND a.attnum = k.col "
                       "JOIN pg_attribute ra ON ra.attrelid = c.confrelid AND ra.attnum = k.refcol "
                       "WHERE c.contype = 'f' AND n.nspname = current_schema() "
                       "AND lower(cl.relname) = lower(?) ORDER BY c.conname, k.pos"),
        {table});
    QList<ForeignKey> out;
    for (const QVariantList& row : rs.rows())
        out.append({row.at(0).toString(), row.at(1).toString(), row.at(2).toString(),
                    row.at(3).toString()});
    return out;
}

qlonglong PgDatabase::oidOf(const BlobRef& ref, const QString& where, bool mustExist)
{
    const RecordSet rs =
        doQuery(QStringLiteral("SELECT ") + ref.blobColumn + QStringLiteral(" FROM ") + ref.table +
                    QStringLiteral(" WHERE ") + ref.keyColumn + QStringLiteral(" = ?"),
                {ref.key}, where);
    if (rs.isEmpty()) {
        if (!mustExist)
            return 0;
        throw DbError(DbErrorKind::Other, QStringLiteral("02000"),
                      QStringLiteral("No row of ") + ref.table + QStringLiteral(" has ") +
                          ref.keyColumn + QStringLiteral(" = ") + ref.key.toString(),
                      {}, where);
    }
    return rs.rows().first().first().toLongLong();
}

void PgDatabase::writeBlob(const BlobRef& ref, QIODevice& source, qint64 size,
                           const BlobProgress& progress)
{
    const QString where = QStringLiteral("PgDatabase::writeBlob");
    Transaction tx(*this); // large objects work only inside a transaction
    const qlonglong old = oidOf(ref, where, true);
    const Oid object = lo_creat(m_conn, INV_READ | INV_WRITE);
    if (object == InvalidOid)
        throw connectionError({}, where);
    const int fd = lo_open(m_conn, object, INV_WRITE);
    if (fd < 0)
        throw connectionError({}, where);
    feedBlobPieces(source, size, progress, QStringLiteral("58030"), where,
                   [&](const char* piece, qint64 length, qint64) {
                       if (lo_write(m_conn, fd, piece, size_t(length)) != int(length))
                           throw connectionError({}, where);
                   });
    if (lo_close(m_conn, fd) < 0)
        throw connectionError({}, where);
    doExecute(QStringLiteral("UPDATE ") + ref.table + QStringLiteral(" SET ") + ref.blobColumn +
                  QStringLiteral(" = ? WHERE ") + ref.keyColumn + QStringLiteral(" = ?"),
              {qlonglong(object), ref.key}, where);
    if (old != 0 && lo_unlink(m_conn, Oid(old)) < 0)
        throw connectionError({}, where);
    tx.commit();
}

int PgDatabase::openForReading(qlonglong object, qint64* size, const QString& where)
{
    const int fd = lo_open(m_conn, Oid(object), INV_READ);
    if (fd < 0)
        throw connectionError({}, where);
    *size = lo_lseek64(m_conn, fd, 0, SEEK_END);
    if (*size < 0 || lo_lseek64(m_conn, fd, 0, SEEK_SET) < 0)
        throw connectionError({}, where);
    return fd;
}

qint64 PgDatabase::readBlob(const BlobRef& ref, QIODevice& sink, const BlobProgress& progress)
{
    const QString where = QStringLiteral("PgDatabase::readBlob");
    Transaction tx(*this);
    const qlonglong object = oidOf(ref, where, false);
    if (object == 0)
        return 0;
    qint64 size = 0;
    const int fd = openForReading(object, &size, where);
    std::vector<char> piece(kBlobPiece);
    qint64 done = 0;
    while (done < size) {
        const int got = lo_read(m_conn, fd, piece.data(), size_t(kBlobPiece));
        if (got <= 0)
            throw connectionError({}, where);
        if (sink.write(piece.data(), got) != got)
            throw DbError(DbErrorKind::Other, QStringLiteral("58030"),
                          QStringLiteral("Could not write the value: ") + sink.errorString(), {},
                          where);
        done += got;
        if (progress)
            progress(done, size);
    }
    lo_close(m_conn, fd);
    tx.commit();
    return done;
}

qint64 PgDatabase::blobSize(const BlobRef& ref)
{
    const QString where = QStringLiteral("PgDatabase::blobSize");
    Transaction tx(*this);
    const qlonglong object = oidOf(ref, where, false);
    if (object == 0)
        return 0;
    qint64 size = 0;
    lo_close(m_conn, openForReading(object, &size, where));
    tx.commit();
    return size;
}

void PgDatabase::clearBlob(const BlobRef& ref)
{
    const QString where = QStringLiteral("PgDatabase::clearBlob");
    Transaction tx(*this);
    const qlonglong old = oidOf(ref, where, false);
    doExecute(QStringLiteral("UPDATE ") + ref.table + QStringLiteral(" SET ") + ref.blobColumn +
                  QStringLiteral(" = NULL WHERE ") + ref.keyColumn + QStringLiteral(" = ?"),
              {ref.key}, where);
    if (old != 0 && lo_unlink(m_conn, Oid(old)) < 0)
        throw connectionError({}, where);
    tx.commit();
}

void PgDatabase::copyBlob(const BlobRef& from, const BlobRef& to)
{
    const QString where = QStringLiteral("PgDatabase::copyBlob");
    if (from.table.compare(to.table, Qt::CaseInsensitive) == 0 && from.key == to.key &&
        from.blobColumn.compare(to.blobColumn, Qt::CaseInsensitive) == 0)
        return;
    // A piece is held in the server's memory while it moves; one statement per piece keeps each
    // statement short, whatever the size and the statement timeout.
    constexpr qint64 kServerPiece = 1024 * 1024;
    Transaction tx(*this);
    const qlonglong source = oidOf(from, where, true);
    const qlonglong old = oidOf(to, where, true);
    QVariant copy;
    if (source != 0) {
        qint64 size = 0;
        lo_close(m_conn, openForReading(source, &size, where));
        const Oid object = lo_creat(m_conn, INV_READ | INV_WRITE);
        if (object == InvalidOid)
            throw connectionError({}, where);
        copy = qlonglong(object);
        for (qint64 done = 0; done < size; done += kServerPiece)
            doExecute(
                QStringLiteral("SELECT lo_put(CAST(? AS oid), CAST(? AS bigint), "
                               "lo_get(CAST(? AS oid), CAST(? AS bigint), CAST(? AS integer)))"),
                {copy, done, source, done, std::min(kServerPiece, size - done)}, where);
    }
    doExecute(QStringLiteral("UPDATE ") + to.table + QStringLiteral(" SET ") + to.blobColumn +
                  QStringLiteral(" = ? WHERE ") + to.keyColumn + QStringLiteral(" = ?"),
              {copy, to.key}, where);
    if (old != 0 && old != source && lo_unlink(m_conn, Oid(old)) < 0)
        throw connectionError({}, where);
    tx.commit();
}

qint64 PgDatabase::maxBlobSize() const
{
    return std::numeric_limits<qint64>::max();
}

void PgDatabase::setQueryTimeout(int seconds)
{
    exec(QStringLiteral("SET statement_timeout = ") + QString::number(qMax(0, seconds) * 1000));
}

QString PgDatabase::changeChannel()
{
    return scalar(QStringLiteral("SELECT ") + changeChannelSql(QStringLiteral("current_schema()")))
        .toString();
}

void PgDatabase::listen(const QString& channel)
{
    runScript(QStringLiteral("LISTEN ") + quoteIdentifier(channel),
              QStringLiteral("PgDatabase::listen"));
}

QList<Notice> PgDatabase::takeNotices(int waitMs)
{
    const QString where = QStringLiteral("PgDatabase::takeNotices");
    QList<Notice> out;
    const auto drain = [&] {
        while (PGnotify* n = PQnotifies(m_conn)) {
            out.append({QString::fromUtf8(n->relname), QString::fromUtf8(n->extra),
                        n->be_pid == PQbackendPID(m_conn)});
            PQfreemem(n);
        }
    };
    // Notices that came with the answer to an earlier statement wait in libpq already.
    drain();
    if (!out.isEmpty())
        return out;
    if (PQstatus(m_conn) == CONNECTION_BAD)
        throw connectionError({}, where);
    pollfd p{PQsocket(m_conn), POLLIN, 0};
    const int ready = ::poll(&p, 1, qMax(0, waitMs));
    if (ready < 0 && errno != EINTR)
        throw DbError(DbErrorKind::ConnectionLost, QStringLiteral("08006"),
                      QStringLiteral("The connection's socket cannot be watched"), {}, where);
    if (ready <= 0)
        return out;
    // Readable: a notice, or the server closing the connection (terminated, shut down).
    if (PQconsumeInput(m_conn) == 0 || PQstatus(m_conn) == CONNECTION_BAD)
        throw connectionError({}, where);
    drain();
    return out;
}

QString PgDatabase::passwordSetting(const QString& userId)
{
    return scalar(QStringLiteral("SELECT bx_password_setting(?)"), {userId}).toString();
}

bool PgDatabase::passwordMatches(const QString& userId, const QString& candidate)
{
    return scalar(QStringLiteral("SELECT bx_password_check(?, COALESCE(?, ''))"),
                  {userId, candidate})
        .toBool();
}

bool PgDatabase::replacePassword(const QString& userId, const QString& candidate,
                                 const QString& replacement)
{
    return scalar(QStringLiteral("SELECT bx_password_rehash(?, ?, ?)"),
                  {userId, candidate, replacement})
        .toBool();
}

} // namespace bx
