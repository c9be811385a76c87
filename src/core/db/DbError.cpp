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

} // namespace bx
