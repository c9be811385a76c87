#pragma once

#include "core/db/Database.h"
#include "core/db/PgDatabase.h"
#include "support/QtPrinters.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace bx {
/** Prints the engine in test names and failure messages. */
inline void PrintTo(Engine engine, std::ostream* os)
{
    *os << (engine == Engine::Sqlite ? "Sqlite" : "Postgres");
}
} // namespace bx

namespace bx::test {

/** Whether the tests run under CI (CI=true), where a missing test server is a failure. */
bool underCi();

/**
 * In a fixture's SetUp: when `missing` (why a test server is not at hand) is not empty, skips the
 * test with it, or fails it under CI, so that CI can never pass without the server.
 */
#define BX_NEED_TEST_SERVER(missing)                                                               \
    do {                                                                                           \
        const QString bx_missing = (missing);                                                      \
        if (!bx_missing.isEmpty()) {                                                               \
            if (::bx::test::underCi())                                                             \
                FAIL() << bx_missing.toStdString();                                                \
            GTEST_SKIP() << bx_missing.toStdString();                                              \
        }                                                                                          \
    } while (false)

/** Name suffix of engine-parameterised tests: "Sqlite" or "Postgres". */
std::string engineName(const ::testing::TestParamInfo<Engine>& info);

/**
 * The test cluster named by BX_TEST_PG ("host=... port=... user=... password=... dbname=..."),
 * or nothing when it is not set.
 */
std::optional<PgConnectParams> testCluster();

/**
 * The CA file that signed the test cluster's server certificate (BX_TEST_PG_CA, which
 * scripts/pg-test-cluster.sh writes as DIR/ca.pem), or nothing when it is not set.
 */
std::optional<QString> testClusterCa();

/** Why the TLS cases cannot run: "" when BX_TEST_PG and BX_TEST_PG_CA are both set. */
QString missingTlsCluster();

/**
 * The server engine's database of this test process, created on first use in the test cluster
 * (with the citext extension) and dropped when the process ends. Each test then works in a fresh
 * schema of its own inside it.
 */
QString processDatabase();

/** Drops the process database, if one was made; the test main calls it after the last test. */
void dropProcessDatabase();

/**
 * Gives each test a fresh, empty database on the engine of its parameter: a temporary SQLite
 * file, or a new schema in the server database of this process.
 *
 * Without BX_TEST_PG the server-engine cases are skipped with a message; under CI (CI=true) they
 * fail instead, so that CI can never pass without the server engine.
 */
class EngineTest : public ::testing::TestWithParam<Engine>
{
protected:
    /** Opens the database, then runs prepare() and arrange(), each only while nothing failed. */
    void SetUp() override;
    void TearDown() override;
    /** What a fixture of this support adds to the fresh database, before arrange(). */
    virtual void prepare() {}
    /**
     * A test fixture's own rows and settings, run once the database is ready and not when the
     * test was skipped or failed: the fixture overrides this rather than SetUp().
     */
    virtual void arrange() {}
    /** Whether set-up may go on: the test was neither skipped nor failed fatally. */
    static bool ready() { return !IsSkipped() && !HasFatalFailure(); }

    Engine engine() const { return GetParam(); }
    bool isServer() const { return GetParam() == Engine::Postgres; }
    Database& db() { return *m_db; }

    /** Server engine: the number table LU_SERIALS, which new numbers need (no-op otherwise). */
    void createSerialTable();

    /** Another connection to the same fresh database. */
    std::unique_ptr<Database> connectAgain() const;
    /** Server engine: how to reach this test's database (its schema first on the search path). */
    PgConnectParams serverParams() const;
    /** Embedded engine: the file. */
    QString sqlitePath() const { return m_dir.filePath(QStringLiteral("test.db")); }
    /** The temporary folder of this test. */
    QString tempDir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_schema;
    std::unique_ptr<Database> m_db;
};

/**
 * For tests that need the server itself (logins, roles, a stopped server) rather than a fresh
 * database: skips without BX_TEST_PG, and fails instead under CI.
 */
class ServerTest : public ::testing::Test
{
protected:
    void SetUp() override;
    PgConnectParams cluster() const { return *testCluster(); }
};

} // namespace bx::test

#define BX_INSTANTIATE_ENGINES(Suite)                                                              \
    INSTANTIATE_TEST_SUITE_P(Engines, Suite,                                                       \
                             ::testing::Values(::bx::Engine::Sqlite, ::bx::Engine::Postgres),      \
                             ::bx::test::engineName)
