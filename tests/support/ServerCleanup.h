#pragma once

#include "core/db/PgDatabase.h"
#include "core/db/RecordSet.h"

namespace bx::test {

/**
 * Drops the roles whose names match the LIKE `pattern`, with what they own when `owned`: what a
 * test made on the shared test cluster.
 */
inline void dropRoles(PgDatabase& admin, const QString& pattern, bool owned = false)
{
    const RecordSet roles =
        admin.query(QStringLiteral("SELECT rolname FROM pg_roles WHERE rolname LIKE ?"), {pattern});
    for (const QVariantList& row : roles.rows()) {
        const QString name = admin.quoteIdentifier(row.first().toString());
        admin.executeScript(
            (owned ? QStringLiteral("DROP OWNED BY ") + name + QStringLiteral("; ") : QString()) +
            QStringLiteral("DROP ROLE ") + name);
    }
}

/** Drops database `name` and every role named after it, as a test that created them leaves. */
inline void dropServerDatabase(PgDatabase& admin, const QString& name)
{
    admin.executeScript(QStringLiteral("DROP DATABASE IF EXISTS ") + admin.quoteIdentifier(name) +
                        QStringLiteral(" WITH (FORCE)"));
    dropRoles(admin, name.toLower() + QStringLiteral("%"));
}

} // namespace bx::test
