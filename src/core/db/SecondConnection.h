#pragma once

#include <functional>
#include <memory>

namespace bx {

class Database;

/** Opens a connection of its own; throws DbError when it cannot. */
using Connector = std::function<std::unique_ptr<Database>()>;

/**
 * A connector that opens another connection to the database `db` is connected to, as the same
 * login (the same file on the embedded engine), for work done away from the user-interface
 * thread: a connection belongs to the thread that uses it. @throws DbError when `db` is of no
 * known kind
 */
Connector secondConnectionTo(const Database& db);

} // namespace bx
