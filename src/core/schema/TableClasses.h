#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace bx {

/**
 * What a table of the shared schema holds, and so who may write its rows. On the server engine
 * the database enforces it (the roles and policies of the upgrade steps); the logic's own checks
 * of the user's rights give the messages.
 */
enum class TableClass
{
    /** The team's work (tasks, routes, attachments, folders...): every login reads and writes. */
    Shared,
    /**
     * One user's rows: a login reads, changes and deletes only its own user's rows (those whose
     * `ownerColumn` names him). How others may add rows is the table's own rule.
     */
    Personal,
    /**
     * Rows other clients act on as code or settings (rule scripts, lifecycles, lookup lists,
     * system settings...): every login reads; only logins holding `writerRight` (or
     * administrators, who own the schema) write.
     */
    Configuration,
    /**
     * Rows the database keeps by itself from the changes to other tables (the change markers):
     * every login reads; only the trigger functions, which run as the schema's owner, write.
     */
    Maintained,
};

/** A right that lets its holders write configuration beyond administrators. */
enum class WriterRight
{
    Administrators, ///< administrators only
    Lifecycles,     ///< "Allow to Create Lifecycles" (LU_USER.Allow_Create_Lifecycle)
    Analyses,       ///< "Business Intelligence" (LU_USER.Ext11)
    Reports,        ///< "Reports and Report Designer" (LU_USER.Ext10)
    GlobalReports,  ///< "Allow Global Reports" (LU_USER.Ext13)
    /**
     * The members of the workshop a row belongs to (a GROUPLINK row of the login's user for the
     * workshop `TableClassEntry::workshopOf` gives), whatever their rights.
     */
    WorkshopMembers,
};

struct TableClassEntry
{
    QString table;
    TableClass tableClass;
    /** Configuration tables, and the configuration rows of a shared table: who writes them. */
    WriterRight writer = WriterRight::Administrators;
    /** Personal tables: the column naming the user a row belongs to. */
    QString ownerColumn;
    /**
     * Shared tables that also hold configuration rows (templates, settings): an SQL condition,
     * in the table's own column names, true for the rows every login may write. The other rows
     * are written only by the `writer`.
     */
    QString everyonesRows;
    /**
     * Writer WorkshopMembers: an SQL expression, in the table's own column names (the table
     * itself named by its name), giving the workshop a row belongs to.
     */
    QString workshopOf;
    /**
     * Personal tables: a login also reads (never writes) the rows of every user below its own
     * user in the supervisor tree (LU_USER.Supervisor_User_ID, at any depth).
     */
    bool supervisorsRead = false;
    /**
     * Shared tables with configuration rows: of those, the ones `writer` writes (an SQL
     * condition like everyonesRows; "" for all of them). The others are written by
     * `otherRowsWriter` alone.
     */
    QString writerRows{};
    WriterRight otherRowsWriter = WriterRight::Administrators;
};

/** Every table of the schema with its class, in alphabetical order. */
const QList<TableClassEntry>& tableClasses();

/** The entry of a table (name compared without case), or none for a table the program lacks. */
std::optional<TableClassEntry> tableClassOf(const QString& table);

/**
 * The suffix of the server role that holds a right ("<database>_" + suffix); "" for rights no
 * role holds (administrators', workshop members').
 */
QString writerRoleSuffix(WriterRight right);

/** The rights a server role holds, each granted to the logins of the users that have it. */
const QList<WriterRight>& grantedRights();

/** The LU_USER column that grants a right; "" for rights no column grants. */
QString writerRightColumn(WriterRight right);

} // namespace bx
