#pragma once

#include "core/db/Engine.h"

#include <QString>

#include <optional>

namespace bx {

/**
 * Decides whether a rule script may run a statement: exactly one SELECT, WITH, INSERT, UPDATE or
 * DELETE. Transaction control, ATTACH, VACUUM, PRAGMA, schema changes, role statements and
 * several statements in one text are refused; so is SELECT ... INTO on the server, which creates
 * a table. Quoted text, quoted names and comments are read by the engine's own rules, so a ';' or
 * a keyword inside them counts for nothing.
 *
 * Returns the reason for a refusal, worded for the rule's author, or nothing when the statement
 * may run. This is the first of two fences: the embedded engine also refuses every other action
 * while it prepares a script's statement (see Database::queryScripted).
 */
std::optional<QString> scriptStatementRefusal(const QString& sql, Engine engine);

/**
 * The same check, narrowed for queries that only read (stored analyses and reports): exactly one
 * SELECT or WITH, and no INSERT, UPDATE, DELETE, MERGE or TRUNCATE anywhere in it (a WITH that
 * writes). The first of two fences again: Database::queryReadOnly runs it where the engine
 * refuses every write.
 */
std::optional<QString> readOnlyStatementRefusal(const QString& sql, Engine engine);

} // namespace bx
