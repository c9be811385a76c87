#pragma once

namespace bx {

/** The two database engines. Only the database layer (src/core/db) tests which one is in use. */
enum class Engine
{
    Sqlite,
    Postgres
};

} // namespace bx
