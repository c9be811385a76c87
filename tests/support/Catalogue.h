#pragma once

#include <QStringList>

namespace bx {
class Database;
}

namespace bx::test {

/**
 * The schema of a database as sorted lines of text, for comparing two databases: one line per
 * table column ("column TABLE.NAME TYPE"), primary key, foreign key (with its actions), index
 * and trigger. Names are lower-cased, so only real differences show.
 */
QStringList describeSchema(Database& db);

} // namespace bx::test
