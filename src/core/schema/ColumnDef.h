#pragma once

#include <QList>
#include <QString>
#include <QStringView>

namespace bx {

/**
 * How a column is held in memory:
 *  - Text:   QString; Null reads as ""
 *  - Number: qlonglong; Null reads as 0
 *  - Flag:   bool; stored as the engine's flag value, true when non-zero
 *  - Date:   naive local QDateTime (see core/Clock.h); stored in GMT; invalid = empty (Null)
 */
enum class ColumnKind
{
    Text,
    Number,
    Flag,
    Date
};

/** Which writes of a record's object take a column (ColumnDef::writes). */
enum ColumnWrite : int
{
    kWrittenNever = 0,
    kWrittenFirst = 1, ///< the first save of a new record writes it
    kWrittenLater = 2, ///< every later save writes it
    kCloned = 4,       ///< a clone takes it over from its original
};

/**
 * One column of a table of the shared schema, as the program uses it. Each table the program
 * reads through an object or a list has one list of these (its catalogue), in the order its
 * object keeps them; a column the catalogue lacks is not read by name anywhere.
 */
struct ColumnDef
{
    QString name; ///< the column's name as the schema spells it
    ColumnKind kind;
    bool carried;  ///< the table's record object reads and writes it
    bool readOnly; ///< callers may not set it (the object fills it itself)
    int writes;    ///< ColumnWrite flags
    int listed;    ///< position in the table's list query; -1 when lists do not read it
};

/** The column of that name (compared without regard to case) in a catalogue, or null. */
const ColumnDef* findColumn(const QList<ColumnDef>& catalogue, QStringView name);

/** The columns of a catalogue that its list query reads, in the order the query names them. */
QStringList listedColumns(const QList<ColumnDef>& catalogue);

} // namespace bx
