#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

class Database;
class UpgradeLog;

/**
 * A table's definition on the embedded engine, split into its parts: the column definitions and
 * table constraints between the parentheses of its CREATE TABLE statement, in order, with
 * comments removed and white space collapsed.
 */
struct TableDefinition
{
    QString name;      ///< as the catalogue spells it
    QStringList items; ///< "GROUP_ID INTEGER PRIMARY KEY", "CONSTRAINT x FOREIGN KEY ...", ...
    QString tail;      ///< what follows the closing parenthesis ("WITHOUT ROWID"), usually ""

    /** The CREATE TABLE statement for this definition, under its own name or another. */
    QString sql() const { return sqlAs(name); }
    QString sqlAs(const QString& tableName) const;

    /** Index in items of a column's definition, -1 when there is none. */
    int columnItem(const QString& column) const;
    QStringList columnNames() const;
};

/** A relation declared by a table constraint "[CONSTRAINT name] FOREIGN KEY (...) REFERENCES". */
struct ForeignKeyItem
{
    QString name;        ///< the constraint's name, "" when it has none
    QString parentTable; ///< the referenced table
};

/**
 * Schema changes on the embedded engine that its ALTER TABLE cannot make: adding or removing a
 * relation or a key, dropping NOT NULL, adding a column anywhere but at the end.
 *
 * Foreign keys are enforced on every connection, and the engine cannot switch them off inside a
 * transaction, where the upgrade steps run. So a table that other tables reference is never
 * dropped and built anew here: its drop would delete the rows it holds first and so run the
 * children's ON DELETE CASCADE. Two ways are offered instead:
 *  - rewriteDefinition() replaces the stored CREATE TABLE text and moves no row. The engine keeps
 *    a table's rows independent of its constraints, so this serves every change of constraints
 *    only (relations, NOT NULL, CHECK, defaults) on any table, referenced or not.
 *  - rebuildTable() copies the rows into a new table and swaps it in; it serves changes of the
 *    stored layout (a column in the middle, a new primary key) and refuses a table that others
 *    reference.
 *
 * Every statement is written to the log before it runs. All functions throw DbError; they are
 * meant to run inside the caller's transaction, whose rollback undoes them completely.
 */
namespace EmbeddedSchemaEdit {

/** Splits a CREATE TABLE statement. @throws DbError when it has no parenthesised body */
TableDefinition parseDefinition(const QString& createSql);

/** The stored definition of a table. @throws DbError when there is no such table */
TableDefinition definitionOf(Database& db, const QString& table);

/** The column a column definition defines; "" for a table constraint. */
QString columnNameOf(const QString& item);

/** The relation a table constraint declares, if it is one. */
std::optional<ForeignKeyItem> foreignKeyOf(const QString& item);

/** The other tables whose relations refer to the table (a table's own self-reference is not). */
QStringList referencingTables(Database& db, const QString& table);

/**
 * Replaces the stored definition of def.name with def, leaving every row where it is. For
 * changes of constraints only: the columns must stay as they are. The text is first proved by
 * creating a scratch table from it. Afterwards the rows are checked against the table's
 * relations; a row without its related record fails the change.
 */
void rewriteDefinition(Database& db, UpgradeLog& log, const TableDefinition& def);

/**
 * Builds def.name anew from def and copies the rows of the columns that the old and the new
 * definition share; re-creates the table's indexes and triggers and keeps its counter where it
 * was. Refuses a table that other tables reference.
 */
void rebuildTable(Database& db, UpgradeLog& log, const TableDefinition& def);

/** Drops a table; refuses one that other tables reference. */
void dropTable(Database& db, UpgradeLog& log, const QString& table);

/**
 * Lets table `to` continue counting where table `from` stood, so that a number drawn once is
 * never drawn again after rows moved from one to the other.
 */
void carryCounter(Database& db, UpgradeLog& log, const QString& from, const QString& to);

} // namespace EmbeddedSchemaEdit

} // namespace bx
