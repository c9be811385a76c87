#pragma once

struct sqlite3;

namespace bx {

/**
 * Text comparison without regard to case across all of Unicode on an embedded connection, as the
 * server's citext compares: the engine's own NOCASE folds ASCII letters only, so "Zoë" and "ZOË"
 * would differ.
 *
 * Registers on the connection:
 * - like(pattern, text) and like(pattern, text, escape), behind the LIKE operator: "%" any run,
 *   "_" any one character, both sides folded code point by code point (QChar::toCaseFolded);
 * - the collation kFoldCaseCollation, for the comparisons of names people type (Dialect::
 *   textEquals). It is named in statements only, never in the schema, so the file still opens in
 *   other tools of the engine.
 *
 * Both are deterministic and safe to call from any thread that holds the connection.
 *
 * @return the engine's result code: SQLITE_OK, or the first failure
 */
int registerCaseFolding(sqlite3* db);

/** The collation registered by registerCaseFolding(). */
inline constexpr char kFoldCaseCollation[] = "FOLDCASE";

} // namespace bx
