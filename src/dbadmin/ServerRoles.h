#pragma once

#include "core/db/RecordSet.h"
#include "core/schema/TableClasses.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>

namespace bx {

class Database;
class StepActions;

/**
 * The server's roles of a database <db>, as the upgrade steps set them up:
 *  - <db>_owner (no login) owns the tables, sequences and functions and may create in the
 *    schema. Only administrators' logins are its members.
 *  - <db>_users (no login) may read and write the rows of shared tables, read configuration
 *    tables, and touch its own rows of personal tables. Every login of the database is its member.
 *  - <db>_roles (no login, CREATEROLE) owns only the functions bx_login_*, through which the user
 *    windows create, rename, enable, disable and drop logins. Nobody is its member.
 */
struct ServerRoles
{
    QString prefix; ///< the database name the roles were made for, lower case
    QString owner;
    QString users;
    QString roles;
};

namespace server_sql {

/** A text as a quoted SQL literal. Only for names and bodies the program itself composes. */
QString literal(const QString& text);
/** A name as a quoted SQL identifier. */
QString ident(const QString& name);
/** The first column of the first row of a query, or "" when it has none. */
QString single(StepActions& a, const QString& sql, const QVariantList& params = {});

/**
 * The roles of the database. They were named after the database when it was prepared; the
 * tables' owner tells which name that was (the users role in older builds, the owner role since).
 */
ServerRoles rolesOf(StepActions& a);

/**
 * CREATE OR REPLACE FUNCTION in PL/pgSQL with the body as a quoted string, whatever the names
 * hold; the function runs with a search path of the catalogue only, so it names the program's
 * tables with their schema or through format('%I.%I', ...).
 */
void createFunction(StepActions& a, const QString& head, const QString& body, bool definer = false);

bool roleExists(StepActions& a, const QString& role);

/**
 * Makes a role without login with the given attributes when it is missing, or alters it when its
 * attributes differ. Roles belong to the whole server; another session may be creating the same
 * one right now.
 */
void ensureRole(StepActions& a, const QString& role, const QString& attributes, bool createsRoles);

/** Refuses, with a message saying how to run it, a step run by anyone but a superuser. */
void requireServerAdministrator(StepActions& a);

/** The schema the steps run in, as a quoted identifier. */
QString schemaIdent(StepActions& a);

/**
 * Lets <db>_users read every column of LU_USER but User_Password: SELECT on the table is revoked
 * and granted again column by column. A step that adds a column to LU_USER calls it again
 * (applyTableClass does), or the users' logins cannot read the new column. Administrators' logins
 * (members of <db>_owner, the table's owner) read them all.
 */
void hidePasswordColumn(StepActions& a);

} // namespace server_sql

} // namespace bx

namespace bx {

struct ServerRoles;

namespace server_sql {

/** The markers and right roles of a database, beside ServerRoles' three. */
struct MarkerRoles
{
    QString logins;     ///< "<db>_logins": every login the program made for a user
    QString shared;     ///< "<db>_shared": the logins every user may share
    QStringList rights; ///< "<db>_lifecycles", "<db>_analysts": writers of configuration
};

MarkerRoles markerRolesOf(const ServerRoles& roles);

/** The role holding a right ("<db>#lifecycles"); "" for administrators, who own the tables. */
QString rightRoleOf(const ServerRoles& roles, WriterRight right);

/** Every role of the database that is no login: the three, the markers and the right roles. */
QStringList programRoles(const ServerRoles& roles);

/**
 * Server engine: the rest of the step and its marker run as the owner role (SET LOCAL ROLE, to
 * the end of the step's transaction), so that nothing the owner role can change (a trigger, a
 * function) runs with the rights of the server's administrator who runs the upgrade. Nothing
 * happens on the embedded engine, or where the owner role does not exist yet (before step 78).
 */
void enterOwnerRole(Database& db);

/**
 * Runs `work` (role and ownership statements only: nothing that touches rows, so that no trigger
 * fires) with the rights of the login that runs the upgrade, then returns to the owner role.
 */
void asServerAdministrator(StepActions& a, const std::function<void()>& work);

/**
 * Server engine: refuses an upgrade of a schema that the login running it could be fooled in:
 *  - the schema belongs to neither this login nor a superuser (its owner could replace what the
 *    program's functions call);
 *  - a trigger, rule or function on the program's tables that the program did not make.
 * @throws DbError with a message naming what was found
 */
void refuseUnsafeSchema(Database& db);

/**
 * The marker and right roles, the marks of the logins there are with the rights their users hold,
 * and the login functions (bx_login_*), made again after the rights of grantedRights(). Run by
 * the server's administrator (requireServerAdministrator).
 */
void renewLogins(StepActions& a, const ServerRoles& r);

/** Grants and policies of one table after its class (server engine; nothing on the embedded). */
void applyTableClass(StepActions& a, const ServerRoles& roles, const QString& table);

} // namespace server_sql

} // namespace bx
