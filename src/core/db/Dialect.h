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

/**
 * The differences between the engines' SQL that code outside the database layer may need, in one
 * place. Conventions that hold on both engines and so need no method here: identifiers are written
 * unquoted, and the reserved table names as lower-case quoted identifiers ("group", "user").
 */
class Dialect
{
public:
    explicit Dialect(Engine engine)
        : m_engine(engine)
    {
    }

    Engine engine() const { return m_engine; }

    /** The stored value of a true flag: -1 on the embedded engine, 1 on the server engine. */
    int trueValue() const { return m_engine == Engine::Sqlite ? -1 : 1; }
    QVariant flag(bool on) const { return on ? trueValue() : 0; }

    /**
     * LIKE condition for a pattern typed by a user: "*" is the wildcard for any run of characters;
     * "%", "_" and "\" typed by the user match themselves. The pattern is bound, never spliced.
     */
    LikeClause like(const QString& pattern) const;

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

    /** Column types of schema statements: text compared without regard to case, flags, dates. */
    QString textType() const
    {
        return m_engine == Engine::Sqlite ? QStringLiteral("TEXT COLLATE NOCASE")
                                          : QStringLiteral("citext");
    }
    QString flagType() const
    {
        return m_engine == Engine::Sqlite ? QStringLiteral("INTEGER") : QStringLiteral("smallint");
    }
    QString dateTimeType() const
    {
        return m_engine == Engine::Sqlite ? QStringLiteral("DATETIME")
                                          : QStringLiteral("timestamp");
    }

    /** The text form in which a date/time value is bound and stored: "yyyy-MM-dd HH:mm:ss". */
    static QString storedDateTime(const QDateTime& value);

private:
    Engine m_engine;
};

} // namespace bx
