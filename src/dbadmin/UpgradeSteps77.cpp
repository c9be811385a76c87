#include "core/db/Database.h"
#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

// The columns the task search looks for a pattern anywhere in.
const char* const kSearchedColumns[] = {"SCR_Title", "SCR_Comments_AsText", "SCR_Custom_Field"};

/** Runs a statement in a savepoint; a failure is noted in the log and reported as false. */
bool tryRun(StepActions& a, const QString& sql, const QString& without)
{
    a.note(sql);
    try {
        Transaction savepoint(a.db());
        a.db().execute(sql);
        savepoint.commit();
        return true;
    } catch (const DbError& e) {
        a.note(e.text() + QStringLiteral(" - ") + without);
        return false;
    }
}

} // namespace

QString trigramSchema(StepActions& a, const QString& without)
{
    tryRun(a, QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm"), without);
    const RecordSet schema = a.query(
        QStringLiteral("SELECT n.nspname FROM pg_extension e JOIN pg_namespace n ON n.oid = "
                       "e.extnamespace WHERE e.extname = 'pg_trgm'"));
    if (schema.isEmpty()) {
        a.note(QStringLiteral("pg_trgm is not available: ") + without);
        return {};
    }
    QString ns = schema.text(QStringLiteral("nspname"));
    ns.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + ns + QLatin1Char('"');
}

namespace {

// Server engine: trigram indexes on the text form of the columns, which the search's ILIKE uses.
// Without the pg_trgm extension (not installed, or not allowed) the search still works, by scans.
void serverIndexes(StepActions& a)
{
    const QString ns =
        trigramSchema(a, QStringLiteral("the task search runs without trigram indexes"));
    if (ns.isEmpty())
        return;
    for (const char* column : kSearchedColumns) {
        const QString c = QString::fromLatin1(column);
        a.run(QStringLiteral("CREATE INDEX IF NOT EXISTS IX_%1_Trgm ON SCR USING gin ((%1::text) "
                             "%2.gin_trgm_ops)")
                  .arg(c, ns));
    }
}

// Embedded engine: a trigram table holding the searched columns of every numbered task under its
// number, kept current by triggers on SCR and filled from the rows already there.
void embeddedIndex(StepActions& a)
{
    const QString without = QStringLiteral("the task search runs without its trigram table");
    if (!tryRun(a,
                QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS SCR_SEARCH USING fts5("
                               "SCR_Title, SCR_Comments_AsText, SCR_Custom_Field, "
                               "tokenize = 'trigram')"),
                without))
        return;
    const QString columns = QStringLiteral("SCR_Title, SCR_Comments_AsText, SCR_Custom_Field");
    const QString fromNew =
        QStringLiteral("new.SCR_Number, new.SCR_Title, new.SCR_Comments_AsText, "
                       "new.SCR_Custom_Field");
    for (const char* name : {"SCR_SEARCH_Insert", "SCR_SEARCH_Update", "SCR_SEARCH_Delete"})
        a.run(QStringLiteral("DROP TRIGGER IF EXISTS ") + QString::fromLatin1(name));
    a.run(QStringLiteral("CREATE TRIGGER SCR_SEARCH_Insert AFTER INSERT ON SCR "
                         "WHEN new.SCR_Number IS NOT NULL BEGIN "
                         "INSERT INTO SCR_SEARCH (rowid, %1) VALUES (%2); END")
              .arg(columns, fromNew));
    a.run(QStringLiteral("CREATE TRIGGER SCR_SEARCH_Update AFTER UPDATE OF SCR_Number, %1 ON SCR "
                         "BEGIN DELETE FROM SCR_SEARCH WHERE rowid = old.SCR_Number; "
                         "INSERT INTO SCR_SEARCH (rowid, %1) SELECT %2 "
                         "WHERE new.SCR_Number IS NOT NULL; END")
              .arg(columns, fromNew));
    a.run(QStringLiteral("CREATE TRIGGER SCR_SEARCH_Delete AFTER DELETE ON SCR BEGIN "
                         "DELETE FROM SCR_SEARCH WHERE rowid = old.SCR_Number; END"));
    a.run(QStringLiteral("DELETE FROM SCR_SEARCH"));
    a.run(QStringLiteral("INSERT INTO SCR_SEARCH (rowid, %1) SELECT SCR_Number, %1 FROM SCR "
                         "WHERE SCR_Number IS NOT NULL")
              .arg(columns));
}

void step77(StepActions& a)
{
    if (a.onServer()) {
        serverIndexes(a);
        // The task grid's order: the server reads the rows in it instead of sorting the whole
        // workshop on disk. The embedded engine already reads in order through its category
        // index.
        a.run(QStringLiteral("CREATE INDEX IF NOT EXISTS IX_SCR_Grid_Order ON SCR "
                             "(SCR_Category, SCR_Priority, SCR_Owner_Date_In)"));
    } else {
        embeddedIndex(a);
    }
}

} // namespace

QList<StepDefinition> upgradeSteps77()
{
    return {{77, QStringLiteral("Indexes of the task search and the task grid's order"),
             ErrorPolicy::Strict, step77}};
}

} // namespace bx
