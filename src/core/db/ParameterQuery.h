#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace bx {

/**
 * A statement in the "PARAMETERS name type, ...; body" form, whose body names its parameters as
 * [name]. The keyword is recognised in any case. parse() turns the body into a statement with one
 * "?" per marker (markers inside quoted text and comments are left alone) and remembers, for each
 * "?", which name it stands for, so that values are bound by name on both engines. Text without the
 * keyword is taken as it is, with no names.
 */
class ParameterQuery
{
public:
    static ParameterQuery parse(const QString& text);

    /** The statement with "?" markers. */
    const QString& sql() const { return m_sql; }
    /** Declared names, as declared. */
    const QStringList& declared() const { return m_declared; }
    /** For each "?" in sql(), the declared name it stands for. */
    const QStringList& order() const { return m_order; }

    /**
     * The values in marker order, looked up by name without regard to case.
     * @throws DbError when a declared name that the body uses has no value.
     */
    QVariantList bind(const QVariantMap& values) const;

private:
    QString declaredAs(const QString& marker) const;

    QString m_sql;
    QStringList m_declared;
    QStringList m_order;
};

} // namespace bx
