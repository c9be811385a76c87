// scriptStatementRefusal, the first fence of a rule script's statement, checked against the
// embedded engine itself: whatever the fence lets through, SQLite prepares as exactly one
// statement (nothing but blanks and comments after it), and every action its authorizer is asked
// about is one the second fence allows. A refusal comes with a reason.

#include "FuzzCheck.h"
#include "FuzzSqlite.h"
#include "core/db/ScriptStatement.h"
#include "core/db/SqliteScriptFence.h"

#include <sqlite3.h>

using namespace bx;

namespace {

QString g_denied; // the actions the second fence denied while the current statement was prepared

int recordDenials(void*, int action, const char* a, const char* b, const char*, const char*)
{
    const int answer = sqliteScriptAuthorization(action, b);
    if (answer != SQLITE_OK)
        g_denied += QStringLiteral("action %1 (%2, %3)\n")
                        .arg(action)
                        .arg(QString::fromUtf8(a ? a : "-"), QString::fromUtf8(b ? b : "-"));
    return answer;
}

sqlite3* database()
{
    static sqlite3* db = [] {
        sqlite3* opened = fuzz::schemaDatabase();
        sqlite3_set_authorizer(opened, &recordDenials, nullptr);
        return opened;
    }();
    return db;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString sql = fuzz::text(data, size);
    if (sql.contains(QChar(0)))
        return 0; // the database layer refuses it before any engine reads it (DatabaseTest)
    if (const std::optional<QString> refusal = scriptStatementRefusal(sql, Engine::Sqlite)) {
        fuzz::check(!refusal->trimmed().isEmpty(), "a refusal gives its reason");
        return 0;
    }

    const QByteArray utf8 = sql.toUtf8();
    const char* end = utf8.constData() + utf8.size();
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    g_denied.clear();
    const int rc =
        sqlite3_prepare_v2(database(), utf8.constData(), int(utf8.size()), &statement, &tail);
    fuzz::check(g_denied.isEmpty(), "the second fence allows what the first lets through",
                sql + QLatin1Char('\n') + g_denied);
    sqlite3_finalize(statement);
    if (rc != SQLITE_OK)
        return 0; // the engine refuses it itself: an unknown name, a syntax error
    fuzz::check(statement != nullptr, "a statement let through is a statement", sql);

    // After the statement: nothing but blanks and comments.
    sqlite3_stmt* next = nullptr;
    const int restRc = sqlite3_prepare_v2(database(), tail, int(end - tail), &next, nullptr);
    sqlite3_finalize(next);
    fuzz::check(restRc == SQLITE_OK && next == nullptr, "one statement only",
                sql + QStringLiteral("\nrest: ") + QString::fromUtf8(tail, end - tail));
    return 0;
}
