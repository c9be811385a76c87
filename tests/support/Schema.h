#pragma once

#include "dbadmin/UpgradeStep.h"

#include <QCoreApplication>
#include <QString>

namespace bx {
class Database;
class UpgradeLog;
} // namespace bx

namespace bx::test {

/** A delivered data file, read from beside the test executable where the build copies it. */
QString deliveredFile(const QString& name);

/**
 * The name under which the tests run the server script; it also names the roles it creates.
 * Roles belong to the whole cluster, and the upgrade sets their members from the database's own
 * users, so every test process has names of its own.
 */
inline const QString kScriptDatabaseName =
    QStringLiteral("bxschema%1").arg(QCoreApplication::applicationPid());

/**
 * Loads the base schema, the build the upgrade steps start from, into an empty database: the
 * embedded script on the embedded engine, the batches of PAXSQLN.sql on the server engine (into
 * the current schema).
 */
void loadBaseSchema(Database& db);

/** The number of a step, from its name ("UpgClass42" gives 42). */
int stepNumber(const UpgradeStep& step);

/**
 * Applies the steps numbered from `first` to `last` in order, as the upgrader does: each in a
 * transaction of its own that also records its marker in Vars.
 */
void applySteps(Database& db, UpgradeLog& log, const UpgradeContext& context, int first = 0,
                int last = 1000);

/**
 * Brings an empty database to the current schema, as a new database gets it: the base schema,
 * then every upgrade step in its own transaction. The steps read delivered files (the report
 * layouts) from `programDir`; a folder without them leaves ATTACH without reports.
 */
void loadCurrentSchema(Database& db, const QString& programDir);

} // namespace bx::test
