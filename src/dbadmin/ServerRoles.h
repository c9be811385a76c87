#pragma once

#include "core/db/RecordSet.h"

#include <QString>
#include <QVariantList>

namespace bx {

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
 * and granted again column by column. A step that adds a column to LU_USER calls it again, or
 * the users' logins cannot read the new column. Administrators' logins (members of <db>_owner,
 * the table's owner) read them all.
 */
void hidePasswordColumn(StepActions& a);

} // namespace server_sql

} // namespace bx
