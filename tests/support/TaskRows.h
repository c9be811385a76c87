#pragma once

#include <QStringList>
#include <QVariant>
#include <QVariantMap>

namespace bx {
class Database;
class RecordSet;
} // namespace bx

namespace bx::test {

/**
 * Adds a task row as another client would have saved it and returns its SCR_Number.
 *
 * The row starts as an active task (status "A") titled "Task", owned by "ann" in workshop 7 and
 * asked for by nobody (a requester must be a user); `base` and then `columns` are laid over that,
 * so a fixture can keep its own defaults in `base`. A Null value stores Null, a bool the engine's
 * flag. A row given no SCR_Number of its own is numbered by its counter. Every value is bound.
 */
qlonglong addTaskRow(Database& db, const QVariantMap& base, const QVariantMap& columns);
inline qlonglong addTaskRow(Database& db, const QVariantMap& columns = {})
{
    return addTaskRow(db, {}, columns);
}

/** Enabled users in LU_USER, each named by its ID. */
void addUsers(Database& db, const QStringList& ids);

/** Sets one column of a user's LU_USER row (a test's own column name, never user text). */
void setUserColumn(Database& db, const QString& user, const QString& column, const QVariant& value);

/** A workshop in LU_GROUP; without a name it is called "Shop <id>". */
void addWorkshop(Database& db, qlonglong id, const QString& name = {},
                 const QVariant& rootFolder = {});

/** Categories in LU_CATEGORY. */
void addCategories(Database& db, const QStringList& names);

/** A category under `parent` (Null: at the top) in LU_CATEGORY. */
void addSubfolder(Database& db, const QString& name, const QVariant& parent);

/** Lets `user` see the folder (category) `folder`: a VIEW row of LU_ACCESS_LEVEL. */
void grantFolder(Database& db, const QString& user, const QString& folder);

/** The current row's `columns`, each as text (Null as ""), for one comparison. */
QStringList rowTexts(const RecordSet& row, const QStringList& columns);

} // namespace bx::test
