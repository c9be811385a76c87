#pragma once

#include "core/db/Engine.h"

#include <QString>

#include <source_location>
#include <stdexcept>

namespace bx {

/** The classes of database failure that the program answers differently. */
enum class DbErrorKind
{
    LoginFailed,        ///< wrong password or unknown login (reported as 18456)
    CannotOpenDatabase, ///< the database does not exist or may not be opened (reported as 4060)
    ServerUnreachable,  ///< no connection before any server answer (reported as 17)
    ConnectionLost,     ///< an open connection stopped answering
    ConversionError,    ///< a value could not be turned into the column's data type
    UnknownTable,       ///< a statement named a table that does not exist
    UnknownColumn,      ///< a statement named a column that does not exist
    DuplicateKey,       ///< a row would repeat the value of a unique or primary key
    Other,              ///< anything else: a failed statement, a broken file, ...
};

/**
 * A failed database operation. Carries the engine's error number and text, the statement that
 * failed and the place in the program that ran it. Thrown by every operation of Database.
 *
 * number() is the engine's code as text: "18456", "4060" or "17" for the three connection
 * classes; otherwise the SQLSTATE on the server engine and the extended result code on the
 * embedded engine. A rule raised by a trigger with a number of its own (for example 44447)
 * reports that number on both engines.
 */
class DbError : public std::runtime_error
{
public:
    DbError(DbErrorKind kind, QString number, QString description, QString statement = {},
            QString where = {});

    /**
     * A statement naming a table or column that is not there, worded as the engine words it, for
     * checks made before such a statement would run (names that come from data).
     */
    static DbError unknownTable(Engine engine, const QString& table);

    /**
     * Thrown for a statement text holding a NUL character: both engines read a statement only up
     * to its first NUL, so whatever follows (a condition, a second statement) would be dropped
     * without a word.
     */
    static DbError nulInStatement(const QString& sql, const QString& where);
    static DbError unknownColumn(Engine engine, const QString& table, const QString& column);

    DbErrorKind kind() const { return m_kind; }
    const QString& number() const { return m_number; }
    const QString& description() const { return m_description; }
    const QString& statement() const { return m_statement; }
    const QString& where() const { return m_where; }

    /** "Error: " + number + " " + description, the form in which errors are shown and logged. */
    QString text() const;

    /** Describes a call site for where(). */
    static QString describe(const std::source_location& loc);

private:
    DbErrorKind m_kind;
    QString m_number;
    QString m_description;
    QString m_statement;
    QString m_where;
};

} // namespace bx
