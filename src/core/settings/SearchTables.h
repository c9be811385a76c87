#pragma once

#include "core/UserRecord.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

class Database;

/** The fields of one plug-in table that the search also looks in, as stored in SEARCH_TABLES. */
struct SearchTableChoice
{
    QStringList fields;     ///< FieldName of each row, in stored order
    QString scrNumberField; ///< the field holding the task number; "" when nothing is stored
};

/**
 * The search tables: which fields of which plug-in tables the task search looks in
 * (table SEARCH_TABLES: SCR_Number_Field, TableName, FieldName; one row per field).
 *
 * Plug-in tables are the user tables of the database that are not the program's own. Table and
 * field names always come from the database's catalogue and are only ever bound as values, so a
 * name holding quotes or blanks is safe. Every operation throws DbError when the database fails.
 */
class SearchTables
{
public:
    static const QString kChooseTable; ///< "Please choose Plug-in table."

    /** "There is no field '" + field + "' in Table '" + table + "'" */
    static QString noSuchField(const QString& field, const QString& table);

    /**
     * Whether a table is one the program creates and maintains itself (never offered as a plug-in
     * table; compared without case) or one of the engine's own tables.
     */
    static bool isProgramTable(const QString& table);

    /** @param editor the signed-in user, whose rights decide whether he may save */
    SearchTables(Database& db, UserRecord editor);

    /** The plug-in tables, in the catalogue's spelling, sorted without regard to case. */
    QStringList pluginTables();

    /**
     * The fields of a plug-in table in their order, without the replication columns s_GUID and
     * s_Generation. Empty when the table is not a plug-in table.
     */
    QStringList fields(const QString& table);

    /** What SEARCH_TABLES holds for the table (compared without regard to case). */
    SearchTableChoice load(const QString& table);

    /**
     * Replaces the table's rows of SEARCH_TABLES by one row per chosen field, in one transaction.
     * Refuses, writing nothing, with the first message that applies: UserRights::kNotAdministrator
     * when the editor is no administrator; kChooseTable when the table
     * is empty or not a plug-in table; "Please specify SCR_Number Field in Plug-in Table." when
     * fields are chosen but the number field is empty; noSuchField() when the number field or a
     * chosen field is not a field of the table. Names are stored in the catalogue's spelling; a
     * field chosen twice is stored once. Returns the refusal, or nothing when saved.
     */
    std::optional<QString> save(const QString& table, const QString& scrNumberField,
                                const QStringList& fields);

private:
    /** The plug-in table of that name in the catalogue's spelling, or "". */
    QString catalogueName(const QString& table);

    Database& m_db;
    UserRecord m_editor;
};

} // namespace bx
