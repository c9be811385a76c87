#pragma once

// What the benchmark programs share: the test cluster and a throwaway database on it, the
// program's databases, the large workshop, multi-row inserts, the process's peak memory and large
// pseudo-random files.

#include "core/Clock.h"
#include "core/ErrorLog.h"
#include "core/Prompt.h"
#include "core/db/Database.h"
#include "core/db/PgDatabase.h"
#include "core/db/SqliteDatabase.h"
#include "core/settings/SettingsStore.h"
#include "dbadmin/DatabaseCreator.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>
#include <utility>
#include <vector>

namespace bx::bench {

/** The cluster named by BX_TEST_PG ("host=.. port=.. user=.. password=.. dbname=.."). */
inline std::optional<PgConnectParams> testCluster()
{
    const QString env = qEnvironmentVariable("BX_TEST_PG");
    if (env.isEmpty())
        return std::nullopt;
    return PgConnectParams::fromConnectionString(env);
}

/** Answers every question with Yes and reports errors and warnings it is shown on stderr. */
class BenchPrompt final : public Prompt
{
public:
    void inform(const QString& text, const QString&, PromptIcon icon) override
    {
        if (icon == PromptIcon::Critical || icon == PromptIcon::Warning)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    PromptAnswer ask(const QString&, const QString&, PromptButtons, PromptIcon) override
    {
        return PromptAnswer::Yes;
    }
    std::optional<QString> input(const QString&, const QString&, const QString& d) override
    {
        return d;
    }
};

/** Folder for temporary files: BX_BENCH_DIR, or /var/tmp. */
inline QString benchDir()
{
    const QString dir = qEnvironmentVariable("BX_BENCH_DIR");
    return dir.isEmpty() ? QStringLiteral("/var/tmp") : dir;
}

/** A fresh folder under benchDir(), removed at the end; null (after a message) when it fails. */
inline std::unique_ptr<QTemporaryDir> scratchDir()
{
    auto dir = std::make_unique<QTemporaryDir>(benchDir() + QStringLiteral("/bxbench-XXXXXX"));
    if (dir->isValid())
        return dir;
    std::fprintf(stderr, "cannot create a folder under %s\n", qPrintable(benchDir()));
    return nullptr;
}

/** A throwaway database on the test cluster, dropped again by the destructor. */
class ServerDatabase
{
public:
    explicit ServerDatabase(const PgConnectParams& cluster)
        : m_cluster(cluster)
    {
        // The name is made of numbers only; CREATE DATABASE takes no bound values.
        m_name = QStringLiteral("bxbench_%1_%2")
                     .arg(QCoreApplication::applicationPid())
                     .arg(QRandomGenerator::global()->bounded(1000000));
        PgDatabase::connect(m_cluster)->executeScript(QStringLiteral("CREATE DATABASE ") + m_name);
    }
    ~ServerDatabase()
    {
        try {
            PgDatabase::connect(m_cluster)->executeScript(
                QStringLiteral("DROP DATABASE IF EXISTS ") + m_name +
                QStringLiteral(" WITH (FORCE)"));
        } catch (const DbError& e) {
            std::fprintf(stderr, "could not drop the benchmark database %s: %s\n",
                         qPrintable(m_name), e.what());
        }
    }
    ServerDatabase(const ServerDatabase&) = delete;
    ServerDatabase& operator=(const ServerDatabase&) = delete;

    PgConnectParams params() const
    {
        PgConnectParams p = m_cluster;
        p.database = m_name;
        if (!m_login.isEmpty()) {
            p.user = m_login;
            p.password = m_loginPassword;
        }
        return p;
    }

    /**
     * From now on params() names the login the program keeps for `userId` (made here by the
     * cluster's administrator), so that the runs meet the server's rights as a user's client
     * does.
     */
    void useLoginOf(const QString& userId)
    {
        PgConnectParams admin = m_cluster;
        admin.database = m_name;
        const std::unique_ptr<PgDatabase> db = PgDatabase::connect(admin);
        const QString role = (m_name + QLatin1Char('_') + userId).toLower();
        m_loginPassword = QStringLiteral("bench-%1").arg(QRandomGenerator::global()->generate());
        Transaction tx(*db);
        db->loginRoles()->ensureLogin(role, false);
        db->loginRoles()->setRolePassword(role, m_loginPassword);
        tx.commit();
        m_login = role;
    }

private:
    PgConnectParams m_cluster;
    QString m_name;
    QString m_login;
    QString m_loginPassword;
};

/** A new connection to the embedded file at `sqlitePath`, or to `server` (Engine::Postgres). */
inline std::unique_ptr<Database> connectTo(Engine engine, const QString& sqlitePath,
                                           const ServerDatabase* server)
{
    if (engine == Engine::Sqlite)
        return SqliteDatabase::open(sqlitePath);
    return PgDatabase::connect(server->params());
}

/** The creation wizard's logic, with its settings and error log in `dir`, remembering nothing. */
class BenchCreator
{
public:
    BenchCreator(const QTemporaryDir& dir, Prompt& prompt, const Clock& clock)
        : m_settings(dir.filePath(QStringLiteral("MRBX.conf")))
        , m_errorLog(dir.filePath(QStringLiteral("QVErrorLog.txt")), clock)
        , m_creator(m_settings, prompt, clock, m_errorLog, QCoreApplication::applicationDirPath())
    {
        m_creator.setRemember(false);
    }
    DatabaseCreator& creator() { return m_creator; }

private:
    SettingsStore m_settings;
    ErrorLog m_errorLog;
    DatabaseCreator m_creator;
};

/**
 * A throwaway database of the program on `cluster`, made as the creation wizard makes it (every
 * upgrade step), then `prepare`d. With BX_BENCH_LOGIN=<user id> its params() name that user's
 * own login. @return null after a message on stderr
 * @throws DbError
 */
inline std::unique_ptr<ServerDatabase>
makeServerDatabase(DatabaseCreator& creator, const PgConnectParams& cluster,
                   const std::function<void(Database&)>& prepare)
{
    auto server = std::make_unique<ServerDatabase>(cluster);
    const PgConnectParams p = server->params();
    ServerCreation request;
    request.server = p.host + QStringLiteral(":") + QString::number(p.port);
    request.adminLogin = p.user;
    request.adminPassword = p.password;
    request.database = p.database;
    request.creating = false;
    if (!creator.createServer(request)) {
        std::fprintf(stderr, "cannot prepare the server database\n");
        return nullptr;
    }
    prepare(*PgDatabase::connect(p));
    const QString login = qEnvironmentVariable("BX_BENCH_LOGIN").trimmed();
    if (!login.isEmpty())
        server->useLoginOf(login);
    return server;
}

/**
 * The program's databases for a benchmark, made as the creation wizard makes them (template or
 * script, then every upgrade step): an embedded file in `dir`, and a throwaway server database
 * when BX_TEST_PG names a cluster (makeServerDatabase). `prepare` runs on each one made (rows the
 * runs need).
 * @return false after a message on stderr
 */
inline bool makeProgramDatabases(const QTemporaryDir& dir, const QString& fileName, Prompt& prompt,
                                 const Clock& clock, QString& sqlitePath,
                                 std::unique_ptr<ServerDatabase>& server,
                                 const std::function<void(Database&)>& prepare)
{
    BenchCreator creator(dir, prompt, clock);
    try {
        sqlitePath = dir.filePath(fileName);
        if (!creator.creator().createEmbedded(sqlitePath)) {
            std::fprintf(stderr, "cannot create the embedded database\n");
            return false;
        }
        prepare(*SqliteDatabase::open(sqlitePath));
        const std::optional<PgConnectParams> cluster = testCluster();
        if (!cluster) {
            std::fprintf(stderr, "server engine skipped: BX_TEST_PG is not set\n");
            return true;
        }
        server = makeServerDatabase(creator.creator(), *cluster, prepare);
        return server != nullptr;
    } catch (const DbError& e) {
        std::fprintf(stderr, "cannot prepare the databases: %s\n", e.what());
        return false;
    }
}

/** A line of /proc/self/status ("VmHWM:", "VmRSS:") in KiB, or -1 when it cannot be read. */
inline qint64 statusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // Files under /proc report size 0, so read to the end rather than testing atEnd().
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

/** The process's peak resident set (VmHWM) in KiB, or -1 when it cannot be read. */
inline qint64 peakKiB()
{
    return statusKiB("VmHWM:");
}

/**
 * Starts a new peak: writing 5 to clear_refs sets the peak back to the present resident set, for
 * VmHWM and for getrusage's ru_maxrss alike. @return false when the peak could not be reset
 */
inline bool restartPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

/**
 * Inserts rows into a table several at a time, in multi-row INSERT statements with bound values.
 * add() inserts whenever a batch is full; flush() inserts what is left.
 */
class BatchInsert
{
public:
    BatchInsert(Database& db, const QString& table, const QStringList& columns,
                int rowsPerInsert = 50)
        : m_db(db)
        , m_rowsPerInsert(rowsPerInsert)
    {
        m_head = QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") +
                 columns.join(QLatin1Char(',')) + QStringLiteral(") VALUES ");
        QStringList marks;
        for (qsizetype i = 0; i < columns.size(); ++i)
            marks << QStringLiteral("?");
        m_row = QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
    }

    /** One row's values, a value for each column in their order. */
    void add(const QVariantList& values)
    {
        m_params << values;
        if (++m_pending == m_rowsPerInsert)
            flush();
    }

    void flush()
    {
        if (m_pending == 0)
            return;
        QStringList rows;
        for (int i = 0; i < m_pending; ++i)
            rows << m_row;
        m_db.execute(m_head + rows.join(QLatin1Char(',')), m_params);
        m_params.clear();
        m_pending = 0;
    }

private:
    Database& m_db;
    int m_rowsPerInsert;
    QString m_head;
    QString m_row;
    QVariantList m_params;
    int m_pending = 0;
};

/**
 * The large workshop the task-view benchmarks share: 100,000 tasks among 20 users (user00 ..
 * user19, all members of workshop 900): 60% active, 30% complete (each with a completing route
 * entry by user00), 5% incomplete, 5% canceled; 10% are sub-tasks, 10% name a folder 1000..1019,
 * 2% are sensitive; half are viewed. The rows depend only on a fixed seed, so every engine and
 * every program gets the same ones.
 */
// ---- large files --------------------------------------------------------------------------------

inline constexpr qint64 kMiB = 1024 * 1024;

/** Size of the streamed or attached value: BX_BENCH_MB mebibytes, 256 unless set. */
inline qint64 valueBytes()
{
    bool ok = false;
    const int mb = qEnvironmentVariableIntValue("BX_BENCH_MB", &ok);
    return qint64(ok && mb > 0 ? mb : 256) * kMiB;
}

/** Fills `piece` with the next pseudo-random words of the generator state `x`. */
inline void fillRandom(std::vector<quint64>& piece, quint64& x)
{
    for (quint64& word : piece) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        word = x;
    }
}

/** Writes `size` bytes of pseudo-random data (incompressible, like most attachments) in pieces. */
inline bool writeSourceFile(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    std::vector<quint64> piece(kMiB / sizeof(quint64));
    quint64 x = 0x9E3779B97F4A7C15ull;
    for (qint64 done = 0; done < size;) {
        fillRandom(piece, x);
        const qint64 n = std::min(kMiB, size - done);
        if (file.write(reinterpret_cast<const char*>(piece.data()), n) != n)
            return false;
        done += n;
    }
    return file.flush() && ::fdatasync(file.handle()) == 0;
}

/** Compares two files piece by piece, so that neither is ever held whole. */
inline bool sameContent(const QString& a, const QString& b)
{
    QFile fa(a);
    QFile fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    std::vector<char> pa(kMiB);
    std::vector<char> pb(kMiB);
    for (;;) {
        const qint64 na = fa.read(pa.data(), kMiB);
        const qint64 nb = fb.read(pb.data(), kMiB);
        if (na != nb || na < 0)
            return false;
        if (na == 0)
            return true;
        if (std::memcmp(pa.data(), pb.data(), size_t(na)) != 0)
            return false;
    }
}

namespace workshop {

constexpr int kTasks = 100000;
constexpr int kUsers = 20;
constexpr int kWorkshop = 900;
constexpr int kFirstFolder = 1000;

inline const QStringList& categories()
{
    static const QStringList list{QStringLiteral("Design"), QStringLiteral("Build"),
                                  QStringLiteral("O'Hara's"), QStringLiteral("Support"),
                                  QStringLiteral("Sales")};
    return list;
}

inline const QStringList& priorities()
{
    static const QStringList list{QStringLiteral("High"), QStringLiteral("Normal"),
                                  QStringLiteral("Low")};
    return list;
}

inline QString user(int i)
{
    return QStringLiteral("user%1").arg(i, 2, 10, QLatin1Char('0'));
}

/** The workshop (LU_GROUP) and its users (LU_USER), each a member (GROUPLINK). */
inline void addPeople(Database& db)
{
    db.execute(QStringLiteral("INSERT INTO LU_GROUP (GROUP_ID, GROUP_NAME) VALUES (?, ?)"),
               {kWorkshop, QStringLiteral("Bench")});
    for (int u = 0; u < kUsers; ++u) {
        db.execute(QStringLiteral("INSERT INTO LU_USER (USER_ID, Disabled) VALUES (?, 0)"),
                   {user(u)});
        db.execute(QStringLiteral("INSERT INTO GROUPLINK (GROUP_ID, USER_ID) VALUES (?, ?)"),
                   {kWorkshop, user(u)});
    }
}

/**
 * Writes the workshop, its users and lookups and `count` tasks in one transaction, then ANALYZE.
 */
inline void fillTasks(Database& db, int count)
{
    Transaction tx(db);
    addPeople(db);
    for (const QString& c : categories())
        db.execute(QStringLiteral("INSERT INTO LU_CATEGORY (Category) VALUES (?)"), {c});
    for (const QString& p : priorities()) {
        if (db.query(QStringLiteral("SELECT Priority FROM LU_PRIORITY WHERE Priority = ?"), {p})
                .isEmpty())
            db.execute(QStringLiteral("INSERT INTO LU_PRIORITY (Priority) VALUES (?)"), {p});
    }

    const QStringList columns{QStringLiteral("SCR_Counter"),
                              QStringLiteral("SCR_Number"),
                              QStringLiteral("SCR_Title"),
                              QStringLiteral("SCR_Status"),
                              QStringLiteral("SCR_Owner_User_ID"),
                              QStringLiteral("SCR_Request_ID"),
                              QStringLiteral("SCR_Group_ID"),
                              QStringLiteral("SCR_Category"),
                              QStringLiteral("SCR_Priority"),
                              QStringLiteral("SCR_StartDate"),
                              QStringLiteral("SCR_Owner_Date_In"),
                              QStringLiteral("SCR_Owner_Target_Date"),
                              QStringLiteral("SCR_Owner_Date_Viewed"),
                              QStringLiteral("SCR_Parent_Number"),
                              QStringLiteral("SCR_Parent_Folder_Number"),
                              QStringLiteral("SCR_Sensitive"),
                              QStringLiteral("Meeting_ID")};
    BatchInsert tasks(db, QStringLiteral("SCR"), columns);

    QRandomGenerator rng(76);
    const QDateTime now = naive(QDateTime::currentDateTime());
    QVariantList routes;
    for (int n = 1; n <= count; ++n) {
        const int roll = int(rng.bounded(100));
        const QString status = roll < 60   ? QStringLiteral("A")
                               : roll < 90 ? QStringLiteral("C")
                               : roll < 95 ? QStringLiteral("I")
                                           : QStringLiteral("X");
        const QDateTime start = now.addSecs(-qint64(rng.bounded(730 * 86400)));
        const bool sub = n > 10 && rng.bounded(10) == 0;
        // The values of a braced list are worked out from left to right, so the draws keep order.
        tasks.add({n, n, QStringLiteral("Task %1").arg(n), status, user(int(rng.bounded(kUsers))),
                   user(int(rng.bounded(kUsers))), kWorkshop,
                   categories().at(int(rng.bounded(categories().size()))),
                   priorities().at(int(rng.bounded(priorities().size()))), start, start.addDays(1),
                   now.addDays(int(rng.bounded(120)) - 60),
                   rng.bounded(2) ? QVariant(start.addDays(2)) : QVariant(),
                   sub ? int(rng.bounded(n - 1)) + 1 : 0,
                   rng.bounded(10) == 0 ? kFirstFolder + int(rng.bounded(kUsers)) : 0,
                   db.dialect().flag(rng.bounded(50) == 0), 0});
        if (status == QStringLiteral("C"))
            routes << n << now.addSecs(-qint64(rng.bounded(365 * 86400)));
    }
    tasks.flush();
    for (qsizetype i = 0; i < routes.size(); i += 2)
        db.insertNumbered(QStringLiteral("ROUTE"), QStringLiteral("Route_Number"),
                          {QStringLiteral("SCR_Number"), QStringLiteral("USER_ID"),
                           QStringLiteral("Route_Status"), QStringLiteral("Route_Date_In")},
                          {routes.at(i), user(0), QStringLiteral("C"), routes.at(i + 1)});
    tx.commit();
    db.executeScript(QStringLiteral("ANALYZE"));
}

/** The workshop with its kTasks tasks (fillTasks). */
inline void fill(Database& db)
{
    fillTasks(db, kTasks);
}

} // namespace workshop

} // namespace bx::bench
