// ParameterQuery::parse: for a text with the PARAMETERS keyword whose statement SQLite prepares
// (and whose body has no markers of the engine's own), the statement has exactly one parameter
// for each name in order(), so that values bound by name land where the names stood.

#include "FuzzCheck.h"
#include "FuzzSqlite.h"
#include "core/db/ParameterQuery.h"

using namespace bx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = fuzz::text(data, size);
    if (!text.left(10).trimmed().startsWith(QLatin1String("PARAMETERS"), Qt::CaseInsensitive))
        return 0;
    // The engine's own markers in the body ("?", ":name", "?3") make the count differ on purpose:
    // the database layer refuses to bind such a statement (DatabaseTest).
    if (text.contains(QLatin1Char('?')))
        return 0;
    const ParameterQuery query = ParameterQuery::parse(text);
    if (query.sql().contains(QChar(0)))
        return 0; // the database layer refuses it (DatabaseTest)
    const QByteArray sql = query.sql().toUtf8();
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(fuzz::schemaDatabase(), sql.constData(), int(sql.size()), &statement,
                           &tail) != SQLITE_OK ||
        statement == nullptr)
        return 0;
    const int markers = sqlite3_bind_parameter_count(statement);
    bool named = false;
    for (int i = 1; i <= markers; ++i)
        named = named || sqlite3_bind_parameter_name(statement, i) != nullptr;
    sqlite3_finalize(statement);
    if (named)
        return 0;
    // A second statement after the first: the database layer refuses the text (DatabaseTest).
    sqlite3_stmt* next = nullptr;
    const char* end = sql.constData() + sql.size();
    const int restRc =
        sqlite3_prepare_v2(fuzz::schemaDatabase(), tail, int(end - tail), &next, nullptr);
    sqlite3_finalize(next);
    if (restRc != SQLITE_OK || next != nullptr)
        return 0;
    fuzz::check(
        markers == query.order().size(), "one marker for each parameter named",
        query.sql() +
            QStringLiteral("\nmarkers %1, names %2").arg(markers).arg(query.order().size()));
    return 0;
}
