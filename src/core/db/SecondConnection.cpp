#include "core/db/SecondConnection.h"

#include "core/db/DbError.h"
#include "core/db/PgDatabase.h"
#include "core/db/SqliteDatabase.h"

namespace bx {

Connector secondConnectionTo(const Database& db)
{
    if (const auto* pg = dynamic_cast<const PgDatabase*>(&db)) {
        const PgConnectParams params = pg->params();
        return [params]() -> std::unique_ptr<Database> { return PgDatabase::connect(params); };
    }
    if (const auto* lite = dynamic_cast<const SqliteDatabase*>(&db)) {
        const QString path = lite->path();
        return [path]() -> std::unique_ptr<Database> { return SqliteDatabase::open(path); };
    }
    throw DbError(DbErrorKind::Other, QStringLiteral("0"),
                  QStringLiteral("No second connection can be made to this database"));
}

} // namespace bx
