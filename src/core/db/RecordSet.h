#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QStringList>
#include <QVariant>

namespace bx {

/**
 * The rows a query returned, held in memory, with a cursor.
 *
 * Column names are looked up without regard to case (the server engine reports them in lower
 * case, the embedded engine as written). Values: Null is an invalid QVariant; whole numbers are
 * qlonglong, other numbers double, text QString, binary QByteArray, and date/time columns naive
 * QDateTime values (see core/Clock.h) on both engines. Flags are whole numbers, true when non-zero.
 *
 * The Null-safe readers never throw: a Null value or a cursor past the end give the reader's empty
 * value. Reading a column the set does not have is a programming error (a misspelt name would
 * otherwise read as Null): it fails an assertion in debug builds and reads as Null in release
 * builds. Code that handles an optional column asks columnIndex() or hasColumn() first.
 */
class RecordSet
{
public:
    RecordSet() = default;
    RecordSet(QStringList columns, QList<QVariantList> rows);

    int columnCount() const { return static_cast<int>(m_columns.size()); }
    const QStringList& columns() const { return m_columns; }
    /** Index of a column, -1 when the set has no such column; the probe for optional columns. */
    int columnIndex(const QString& name) const;
    bool hasColumn(const QString& name) const { return columnIndex(name) >= 0; }

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    const QList<QVariantList>& rows() const { return m_rows; }
    /** The first column of every row as text, in order: the answer of a query for names. */
    QStringList firstColumnTexts() const;

    // Cursor. A new set stands on its first row (eof() at once when it is empty).
    bool eof() const { return m_pos >= m_rows.size() || m_pos < 0; }
    void moveFirst() { m_pos = 0; }
    void moveNext() { ++m_pos; }
    void movePrevious() { --m_pos; }
    void moveLast() { m_pos = static_cast<int>(m_rows.size()) - 1; }
    int position() const { return m_pos; }
    void setPosition(int row) { m_pos = row; }

    /** Value of a column in the current row; Null when there is none. */
    QVariant value(const QString& column) const;
    QVariant value(int row, const QString& column) const;

    /** Text of the column; Null and the end of the set give "". */
    QString text(const QString& column) const;
    /** The value as it is; Null stays Null (an invalid QVariant). */
    QVariant variant(const QString& column) const { return value(column); }
    /** Whole number; Null and non-numbers give 0. */
    qlonglong number(const QString& column) const;
    /** Number with fraction; Null gives 0. */
    double real(const QString& column) const;
    /** Flag: true when the value is non-zero. */
    bool flag(const QString& column) const { return number(column) != 0; }
    /** Date and time (naive); Null gives an invalid QDateTime. */
    QDateTime dateTime(const QString& column) const;
    bool isNull(const QString& column) const { return value(column).isNull(); }

    /**
     * Moves to the first row whose column equals the value: text compared trimmed and without
     * regard to case, numbers by value. Returns true when a row was found; otherwise the cursor
     * stands past the end.
     */
    bool findFirst(const QString& column, const QVariant& value);

    /** Converts a stored value to a naive QDateTime (accepts the embedded engine's text form). */
    static QDateTime toDateTime(const QVariant& v);

private:
    /** The index of a column the caller expects the set to have (asserted). */
    int knownColumn(const QString& name) const;

    QStringList m_columns;
    QHash<QString, int> m_index; // lower-cased name -> column
    QList<QVariantList> m_rows;
    int m_pos = 0;
};

} // namespace bx
