#pragma once

#include <QString>

namespace bx {
class Database;
} // namespace bx

namespace bx::test {

/**
 * Brings an empty database to the current schema, as a new database gets it: the base schema
 * (the embedded script, or the batches of PAXSQLN.sql on the server engine), then every upgrade
 * step in its own transaction. The steps read delivered files from `programDir`; a folder without
 * report files leaves ATTACH without reports.
 */
void loadCurrentSchema(Database& db, const QString& programDir);

} // namespace bx::test
