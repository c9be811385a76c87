#pragma once

// What the benchmark programs share: the test cluster and a throwaway database on it.

#include "core/Clock.h"
#include "core/ErrorLog.h"
#include "core/Prompt.h"
#include "core/db/PgDatabase.h"
#include "core/db/SqliteDatabase.h"
#include "core/settings/SettingsStore.h"
#include "dbadmin/DatabaseCreator.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

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
        return p;
    }

private:
    PgConnectParams m_cluster;
    QString m_name;
};

/**
 * The program's databases for a benchmark, made as the creation wizard makes them (template or
 * script, then every upgrade step): an embedded file in `dir`, and a throwaway server database
 * when BX_TEST_PG names a cluster. `prepare` runs on each one made (rows the runs need).
 * @return false after a message on stderr
 */
inline bool makeProgramDatabases(const QTemporaryDir& dir, const QString& fileName, Prompt& prompt,
                                 const Clock& clock, QString& sqlitePath,
                                 std::unique_ptr<ServerDatabase>& server,
                                 const std::function<void(Database&)>& prepare)
{
    SettingsStore settings(dir.filePath(QStringLiteral("MRBX.conf")));
    const ErrorLog errorLog(dir.filePath(QStringLiteral("QVErrorLog.txt")), clock);
    DatabaseCreator creator(settings, prompt, clock, errorLog,
                            QCoreApplication::applicationDirPath());
    creator.setRemember(false);
    try {
        sqlitePath = dir.filePath(fileName);
        if (!creator.createEmbedded(sqlitePath)) {
            std::fprintf(stderr, "cannot create the embedded database\n");
            return false;
        }
        prepare(*SqliteDatabase::open(sqlitePath));
        const std::optional<PgConnectParams> cluster = testCluster();
        if (!cluster) {
            std::fprintf(stderr, "server engine skipped: BX_TEST_PG is not set\n");
            return true;
        }
        server = std::make_unique<ServerDatabase>(*cluster);
        const PgConnectParams p = server->params();
        ServerCreation request;
        request.server = p.host + QStringLiteral(":") + QString::number(p.port);
        request.adminLogin = p.user;
        request.adminPassword = p.password;
        request.database = p.database;
        request.creating = false;
        if (!creator.createServer(request)) {
            std::fprintf(stderr, "cannot prepare the server database\n");
            return false;
        }
        prepare(*PgDatabase::connect(p));
        return true;
    } catch (const DbError& e) {
        std::fprintf(stderr, "cannot prepare the databases: %s\n", e.what());
        return false;
    }
}

} // namespace bx::bench
