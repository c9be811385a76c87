#pragma once

#include "core/db/Engine.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace bx {

/** A LIKE condition: the text to append to a column name, and the pattern to bind for its "?". */
struct LikeClause
{
    QString sql;      ///< " LIKE ? ESCAPE '\' "
    QVariant pattern; ///< the bound pattern
};

/** Column types of the shared schema, written in each engine's own terms by Dialect::columnType. */
enum class ColumnType
{
    Text,     ///< case-insensitive text (also long text: the engines make no difference)
    Flag,     ///< true/false, stored as a whole number (false by default)
    Integer,  ///< whole number
    DateTime, ///< a moment in GMT
    Money,    ///< currency amount
    Binary,   ///< small binary value read whole (icons)
    Counter,  ///< the key of a table whose rows are numbered (Database::insertNumbered)
    Identity, ///< a key the server numbers by itself (LU_SERIALS)
};

/**
 * The differences between the engines' SQL that code outside the database layer may need, in one
 * place. Conventions that hold on both engines and so need no method here: identifiers written in
 * our source are unquoted, and the reserved table names lower-case quoted identifiers ("group",
 * "user"); names read from the catalogue go through quoteIdentifier().
 */
class Dialect
{
public:
    explicit Dialect(Engine engine)
        : m_engine(engine)
    {
    }

    Engine engine() const { return m_engine; }

    /**
     * Whether connections take notices of changes (Database::listen, takeNotices): the server
     * engine's triggers announce changes; the embedded engine has no way to.
     */
    bool hasNotices() const { return m_engine == Engine::Postgres; }

    /** "?, ?, ?": the markers of a list of `count` bound values, the same on both engines. */
    static QString markers(qsizetype count);

    /** The stored value of a true flag: -1 on the embedded engine, 1 on the server engine. */
    int trueValue() const { return m_engine == Engine::Sqlite ? -1 : 1; }
    QVariant flag(bool on) const { return on ? trueValue() : 0; }

    /**
     * LIKE condition for a pattern typed by a user: "*" is the wildcard for any run of characters;
     * "%", "_" and "\" typed by the user match themselves. The pattern is bound, never spliced.
     */
    LikeClause like(const QString& pattern) const;

    /**
     * The whole condition "column matches the typed pattern", as like() treats it, written so
     * that the engine's text search indexes serve it: on the server the text form of the column
     * with ILIKE (its trigram indexes are built on that form).
     */
    LikeClause searchLike(const QString& column, const QString& pattern) const;

    /**
     * The whole condition "expression begins with `text`", every character of the text taken
     * literally ("%", "_", "*" and "\" match themselves) and letter case ignored, also when the
     * expression is not a column of case-insensitive text but, say, a concatenation of such
     * columns (the server's "||" gives plain text).
     */
    LikeClause beginsWith(const QString& expression, const QString& text) const;

    /**
     * "column = ?" comparing without regard to case across all of Unicode, for names people type
     * (user IDs, lookup and rule names): the server's citext does so already; the embedded
     * engine's NOCASE folds ASCII only, so the statement names the connection's folding
     * collation there. Meant for small lists: the column's index is not used on that engine.
     */
    QString textEquals(const QString& column) const;

    /**
     * A date/time as literal SQL text with its quotes: '20240131 14:05:09' on the server engine,
     * '2024-01-31 14:05:09' (the stored form) on the embedded engine. Prefer binding the value;
     * this exists for statements that are stored as text.
     */
    QString dateLiteral(const QDateTime& value) const;

    /** A column type of schema statements in the engine's terms (a flag defaults to false). */
    QString columnType(ColumnType type) const;
    /** Text compared without regard to case: columnType(ColumnType::Text). */
    QString textType() const { return columnType(ColumnType::Text); }

    /**
     * A name as a quoted identifier: in double quotes, a double quote inside doubled. Both
     * engines read it so; the name is taken exactly as the catalogue spells it. For every name
     * that is not written in our source (columns and tables read from the catalogue), since
     * such a name may hold a blank, a quote or a keyword.
     */
    static QString quoteIdentifier(const QString& name);

    /** The text form in which a date/time value is bound and stored: "yyyy-MM-dd HH:mm:ss". */
    static QString storedDateTime(const QDateTime& value);

private:
    Engine m_engine;
};

} // namespace bx
