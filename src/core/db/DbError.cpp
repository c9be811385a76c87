#include "core/db/DbError.h"

namespace bx {

DbError::DbError(DbErrorKind kind, QString number, QString description, QString statement,
                 QString where)
    : std::runtime_error(
          QString(QStringLiteral("Error: ") + number + QLatin1Char(' ') + description)
              .toStdString())
    , m_kind(kind)
    , m_number(std::move(number))
    , m_description(std::move(description))
    , m_statement(std::move(statement))
    , m_where(std::move(where))
{
}

DbError DbError::unknownTable(Engine engine, const QString& table)
{
    if (engine == Engine::Postgres)
        return {DbErrorKind::UnknownTable, QStringLiteral("42P01"),
                QStringLiteral("relation \"%1\" does not exist").arg(table)};
    return {DbErrorKind::UnknownTable, QStringLiteral("1"),
            QStringLiteral("no such table: %1").arg(table)};
}

DbError DbError::unknownColumn(Engine engine, const QString& table, const QString& column)
{
    if (engine == Engine::Postgres)
        return {DbErrorKind::UnknownColumn, QStringLiteral("42703"),
                QStringLiteral("column %1.%2 does not exist").arg(table, column)};
    return {DbErrorKind::UnknownColumn, QStringLiteral("1"),
            QStringLiteral("no such column: %1.%2").arg(table, column)};
}

QString DbError::text() const
{
    return QStringLiteral("Error: ") + m_number + QLatin1Char(' ') + m_description;
}

QString DbError::describe(const std::source_location& loc)
{
    return QString::fromUtf8(loc.function_name()) + QStringLiteral(" (") +
           QString::fromUtf8(loc.file_name()) + QLatin1Char(':') + QString::number(loc.line()) +
           QLatin1Char(')');
}

DbError DbError::nulInStatement(const QString& sql, const QString& where)
{
    QString shown = sql;
    shown.replace(QChar(0), QStringLiteral("\\0"));
    return DbError(DbErrorKind::Other, QStringLiteral("0"),
                   QStringLiteral("A statement may not hold a NUL character"), shown, where);
}

} // namespace bx
