#pragma once

#include <QString>
#include <QStringList>

namespace bx {

/**
 * The delivered server scripts ("PAXSQL.sql", "PAXSQLN.sql") are read line by line and cut into
 * batches that run one at a time. Each line is trimmed and rewritten first:
 *  - every "brindlepax" becomes the chosen database name, written for where it stands (quotes
 *    doubled inside a quoted string or name; a bare word holding it becomes a quoted name), so
 *    that any name a user types is safe; except on the line that adds the administrator's user row
 * (it holds "1,'admin'") and on the line that creates the administrator's login (it holds
 * "bx_create_login(" and "'admin'"): these keep the default administrator password;
 *  - the login name "'admin'" becomes "'<database>_admin'", except on lines holding "1,'admin'";
 *  - the data-file placeholders "<database>MDF" and "<database>LDF" have no counterpart on the
 *    server engine and are removed.
 * A line that reads "GO" in any case ends the batch (empty batches are dropped); the last batch
 * needs no "GO". Lines are joined with CR LF. A batch "USE <name>" (the name bare or as a quoted
 * name) asks the runner to continue on that database.
 */
QStringList scriptBatches(const QString& script, const QString& databaseName);

/** The database a "USE <name>" batch names, or "" for any other batch. */
QString useTarget(const QString& batch);

} // namespace bx
