#pragma once

#include "core/db/DbError.h"
#include "core/db/Dialect.h"
#include "core/db/RecordSet.h"
#include "dbadmin/UpgradeStep.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

namespace bx {

class Database;
class UpgradeLog;

/** What a step does with a failing statement. */
enum class ErrorPolicy
{
    /** A data type conversion error skips the statement and the step goes on; others fail it. */
    IgnoreConversionErrors,
    /** Every error fails the step. */
    Strict,
};

/** A relation between two tables. */
struct Relation
{
    QString name;
    QString table;  ///< the referencing (child) table
    QString column; ///< its column
    QString parentTable;
    QString parentColumn;
    bool cascade = true; ///< delete and update the child rows with the parent row
};

/**
 * The operations out of which the upgrade steps are made, on the open database of either engine.
 * Each statement is written to the upgrade log before it runs; errors are handled by the step's
 * policy (an ignored error is logged and its statement undone, the rest throw DbError).
 *
 * Only this class, the embedded schema editor and the steps' own bodies tell the engines apart.
 */
class StepActions
{
public:
    StepActions(Database& db, UpgradeLog& log, const UpgradeContext& context, ErrorPolicy policy);

    Database& db() { return m_db; }
    UpgradeLog& log() { return m_log; }
    const UpgradeContext& context() const { return m_context; }
    bool onServer() const;

    /** Writes a line to the log without running anything. */
    void note(const QString& text);

    /** Runs a statement under the step's error policy. */
    void run(const QString& sql, const QVariantList& params = {});
    /** Runs a query; its errors always fail the step. */
    RecordSet query(const QString& sql, const QVariantList& params = {});
    /** Adds a row with a new number (see Database::insertNumbered) and returns the number. */
    qlonglong insertNumbered(const QString& table, const QString& numberColumn,
                             const QStringList& columns, const QVariantList& values);

    /**
     * A statement with the engine's type names put in for the words {text}, {flag}, {int},
     * {date}, {money}, {binary}, {counter} (a key whose numbers the program draws) and
     * {identity} (a key the engine numbers itself).
     */
    QString ddl(QString pattern) const;
    QString typeName(ColumnType type) const;

    /**
     * Adds a column at the end of a table; on the embedded engine a table whose last column is
     * streamed (ATTACH.OLE_Data) gets it before that column, since streaming needs it last.
     * `constraints` (such as "NOT NULL DEFAULT 0") follow the type.
     */
    void addColumn(const QString& table, const QString& column, ColumnType type,
                   const QString& constraints = {});
    void addPrimaryKey(const QString& table, const QString& name, const QStringList& columns);
    void addRelation(const Relation& relation);
    /** Removes every relation that the table takes part in, as child or as parent. */
    void removeRelationsOf(const QString& table);
    /**
     * Creates `to` with the columns of `from` whose names do not begin with `leaveOutPrefix`,
     * makes `keyColumn` its primary key (constraint `keyName`), copies every row and re-creates
     * the relations of `from` on `to`.
     */
    void copyTable(const QString& from, const QString& to, const QString& leaveOutPrefix,
                   const QString& keyName, const QString& keyColumn);
    void dropTable(const QString& table);
    /** Lets text columns hold Null (and, as every text column does, empty text). */
    void allowEmpty(const QString& table, const QStringList& columns);
    /**
     * Server engine: switches off the triggers that the program put on a table; those that
     * enforce relations keep working.
     */
    void disableUserTriggers(const QString& table);

    /** A table name as SQL text: the reserved names "group" and "user" in quotes. */
    static QString tableSql(const QString& table);

private:
    struct ServerRelation;
    QList<ServerRelation> serverRelationsOf(const QString& table);
    void copyTableEmbedded(const QString& from, const QString& to, const QString& leaveOutPrefix,
                           const QString& keyName, const QString& keyColumn);
    void copyTableServer(const QString& from, const QString& to, const QString& leaveOutPrefix,
                         const QString& keyName, const QString& keyColumn);

    Database& m_db;
    UpgradeLog& m_log;
    const UpgradeContext& m_context;
    ErrorPolicy m_policy;
};

} // namespace bx
