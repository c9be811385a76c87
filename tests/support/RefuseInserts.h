#pragma once

#include "core/db/Database.h"

namespace bx::test {

/**
 * Makes the database refuse every new row of `table` for which `condition` (an SQL expression
 * over NEW) holds, with a trigger named `name`, as a failing write of the code under test.
 */
inline void refuseInserts(Database& db, const QString& table,
                          const QString& condition = QStringLiteral("1 = 1"),
                          const QString& name = QStringLiteral("refuse_rows"))
{
    if (db.engine() == Engine::Postgres)
        db.executeScript(QStringLiteral("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS "
                                        "$$ BEGIN IF %3 THEN RAISE EXCEPTION 'refused'; END IF; "
                                        "RETURN NEW; END $$; CREATE TRIGGER %1 BEFORE INSERT ON %2 "
                                        "FOR EACH ROW EXECUTE FUNCTION %1()")
                             .arg(name, table, condition));
    else
        db.executeScript(QStringLiteral("CREATE TRIGGER %1 BEFORE INSERT ON %2 WHEN %3 BEGIN "
                                        "SELECT RAISE(ABORT, 'refused'); END")
                             .arg(name, table, condition));
}

} // namespace bx::test
