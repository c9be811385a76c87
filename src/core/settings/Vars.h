#pragma once

#include <QString>

namespace bx {

class Database;

/**
 * Readers and writers of table Vars, the name/value pairs of the shared database (schema build
 * number, upgrade markers, per-user defaults). Names are compared without regard to case.
 */
namespace Vars {

/** The row holding this database's random id (the calendar events' UIDs carry it). */
inline const QString kDatabaseIdVar = QStringLiteral("Database ID");

/** The value of a name; "" when there is no row, the value is Null or the table is missing. */
QString value(Database& db, const QString& name);

/** Whether a row of that name exists. */
bool contains(Database& db, const QString& name);

/** Sets a value, adding the row when missing. @throws DbError */
void setValue(Database& db, const QString& name, const QString& value);

/** The schema build number, "BuildNum"; 0 when missing, Null, not a number or no table. */
int buildNumber(Database& db);

/**
 * Whether the program keeps a server login role for every user: NotCreateNewLogin is "" or "NO"
 * (without regard to case).
 */
bool createsUserLogins(Database& db);

} // namespace Vars

} // namespace bx
