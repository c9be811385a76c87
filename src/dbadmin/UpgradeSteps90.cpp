#include "core/db/ChangeMarkers.h"
#include "core/db/Notices.h"
#include "dbadmin/ServerRoles.h"
#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

using namespace server_sql;

// Change markers per workshop (CHANGE_MARKER, see core/db/ChangeMarkers.h). After every write to
// a table the task views read, a trigger moves the marker of each workshop whose tasks the written
// rows belong to: a task moved between workshops moves both, a deleted row its old workshop. What
// may concern every workshop's view (a user disabled, a task of no workshop, a checklist
// template) moves the marker of kEveryWorkshop. The views read tasks (SCR), the closing routes of
// the date window (ROUTE), the approval list's checklists (ATTACH rows of type K, CHECKLIST_ITEM)
// and which users are enabled (LU_USER.Disabled).
//
// Embedded engine: one row per workshop, its marker the highest in the table plus one, written by
// row triggers. Writers take the file one at a time, so markers grow in the order of commits and
// the highest of a scope tells whether anything of it changed.
//
// Server engine: writers run side by side. A row per workshop raised by each writer (even to a
// value drawn from a sequence) would hold every save in the workshop until the one before it
// commits, since the upsert locks the row until then. Here a writing transaction inserts a row
// of its own instead (Marker drawn from the table's sequence, Writer its transaction id), once per
// workshop, and deletes the committed rows of that workshop that nobody else holds (SKIP LOCKED):
// no writer waits for another's commit. The order of Marker values is not the order of commits,
// so a reader does not compare the highest: it keeps the snapshot of its last check and looks
// for rows of transactions that snapshot did not see committed (ChangeMarkers.cpp). A row only
// goes together with the commit of a later writer of the same workshop, whose own row then stands
// for it. The triggers are statement triggers with transition tables, one per kind of statement,
// calling bx_change_marker with the query that gives the workshops of the rows ({rows} the
// transition table, {schema} the table's schema); it runs as the schema's owner, since logins
// only read the table.

struct Watched
{
    const char* table;
    const char* embedded; ///< the workshops of row X, as column g; "" for kEveryWorkshop
    const char* server;   ///< the same of the transition table {rows} r; "" for kEveryWorkshop
    const char* updateOf; ///< the columns whose update counts; "" for all
};

constexpr Watched kWatched[] = {
    {"SCR", "SELECT X.SCR_Group_ID AS g", "SELECT r.scr_group_id FROM {rows} r", ""},
    // A route whose task is gone concerns no view; the task's own delete moved its workshop.
    {"ROUTE", "SELECT s.SCR_Group_ID AS g FROM SCR s WHERE s.SCR_Number = X.SCR_Number",
     "SELECT s.scr_group_id FROM {rows} r JOIN {schema}.scr s ON s.scr_number = r.scr_number", ""},
    {"ATTACH",
     "SELECT s.SCR_Group_ID AS g FROM SCR s WHERE s.SCR_Number = X.SCR_Number AND "
     "X.Attach_Type = 'K'",
     "SELECT s.scr_group_id FROM {rows} r JOIN {schema}.scr s ON s.scr_number = r.scr_number "
     "WHERE r.attach_type = 'K'",
     ""},
    {"CHECKLIST_ITEM",
     "SELECT s.SCR_Group_ID AS g FROM ATTACH a JOIN SCR s ON s.SCR_Number = a.SCR_Number WHERE "
     "a.Attach_Number = X.Attach_Number UNION ALL SELECT 0 WHERE COALESCE(X.Attach_Number, 0) = 0",
     "SELECT s.scr_group_id FROM {rows} r JOIN {schema}.attach a ON a.attach_number = "
     "r.attach_number JOIN {schema}.scr s ON s.scr_number = a.scr_number UNION ALL SELECT 0 "
     "FROM {rows} r WHERE COALESCE(r.attach_number, 0) = 0",
     ""},
    {"LU_USER", "", "", "Disabled"},
};

struct Event
{
    const char* suffix;
    const char* event;
    const char* rows;   ///< the embedded trigger's rows: "NEW", "OLD" or both
    const char* tables; ///< the server trigger's transition tables
};

constexpr Event kEvents[] = {
    {"Ins", "INSERT", "NEW", "NEW TABLE AS new_rows"},
    {"Upd", "UPDATE", "OLD NEW", "OLD TABLE AS old_rows NEW TABLE AS new_rows"},
    {"Del", "DELETE", "OLD", "OLD TABLE AS old_rows"},
};

QString triggerName(const Watched& w, const Event& e)
{
    return QStringLiteral("%1_Marker_%2").arg(QLatin1String(w.table), QLatin1String(e.suffix));
}

QString eventSql(const Watched& w, const Event& e)
{
    QString sql = QLatin1String(e.event);
    if (sql == QLatin1String("UPDATE") && *w.updateOf)
        sql += QStringLiteral(" OF ") + QLatin1String(w.updateOf);
    return sql;
}

void embeddedTriggers(StepActions& a)
{
    // Writer, the server's writing transaction, stays Null here: writers take turns.
    a.run(QStringLiteral("CREATE TABLE CHANGE_MARKER (Group_ID INTEGER NOT NULL PRIMARY KEY, "
                         "Marker INTEGER NOT NULL, Writer INTEGER)"));
    a.run(QStringLiteral("CREATE INDEX IX_CHANGE_MARKER_Marker ON CHANGE_MARKER (Marker)"));
    const QString mark = QStringLiteral(
        "INSERT OR REPLACE INTO CHANGE_MARKER (Group_ID, Marker) SELECT COALESCE(g, 0), (SELECT "
        "COALESCE(max(Marker), 0) + 1 FROM CHANGE_MARKER) FROM (%1);");
    for (const Watched& w : kWatched) {
        for (const Event& e : kEvents) {
            QString body;
            for (const QString& side : QString::fromLatin1(e.rows).split(QLatin1Char(' '))) {
                const QString source =
                    *w.embedded ? QString::fromLatin1(w.embedded) : QStringLiteral("SELECT 0 AS g");
                body += mark.arg(
                    QString(source).replace(QStringLiteral("X."), side + QLatin1Char('.')));
            }
            const QString name = triggerName(w, e);
            a.run(QStringLiteral("DROP TRIGGER IF EXISTS ") + name);
            a.run(QStringLiteral("CREATE TRIGGER %1 AFTER %2 ON %3 FOR EACH ROW BEGIN %4 END")
                      .arg(name, eventSql(w, e), QLatin1String(w.table), body));
        }
    }
}

QString functionBody()
{
    return QStringLiteral(
               "DECLARE\n"
               "  one text := TG_ARGV[0];\n"
               "  src text := '';\n"
               "  me xid8 := pg_current_xact_id();\n"
               "  groups integer[];\n"
               "BEGIN\n"
               "  IF one = '' THEN\n"
               "    groups := ARRAY[%1];\n"
               "  ELSE\n"
               "    one := replace(one, '{schema}', quote_ident(TG_TABLE_SCHEMA));\n"
               "%3"
               "    EXECUTE format('SELECT array_agg(DISTINCT COALESCE(g, %1)) FROM (%s) x(g)', "
               "src) INTO groups;\n"
               "    IF groups IS NULL THEN\n"
               "      RETURN NULL;\n"
               "    END IF;\n"
               "    IF cardinality(groups) > %2 THEN\n"
               "      groups := ARRAY[%1];\n"
               "    END IF;\n"
               "  END IF;\n"
               "  EXECUTE format('INSERT INTO %I.change_marker (group_id, writer) SELECT g, $1 "
               "FROM unnest($2) g WHERE NOT EXISTS (SELECT 1 FROM %I.change_marker m WHERE "
               "m.group_id = g AND m.writer = $1)', TG_TABLE_SCHEMA, TG_TABLE_SCHEMA) USING me, "
               "groups;\n"
               "  EXECUTE format('DELETE FROM %I.change_marker WHERE marker IN (SELECT marker FROM "
               "%I.change_marker WHERE group_id = ANY ($2) AND writer <> $1 FOR UPDATE SKIP "
               "LOCKED)', TG_TABLE_SCHEMA, TG_TABLE_SCHEMA) USING me, groups;\n"
               "  RETURN NULL;\n"
               "END")
        .arg(change_markers::kEveryWorkshop)
        .arg(kMaxGroups)
        .arg(transitionRowsSql());
}

void serverTriggers(StepActions& a)
{
    a.run(QStringLiteral("CREATE TABLE CHANGE_MARKER (Group_ID integer NOT NULL, Marker bigint "
                         "GENERATED ALWAYS AS IDENTITY PRIMARY KEY, Writer xid8 NOT NULL)"));
    a.run(QStringLiteral("CREATE INDEX IX_CHANGE_MARKER_Group ON CHANGE_MARKER (Group_ID, "
                         "Writer)"));
    createFunction(a, QStringLiteral("bx_change_marker() RETURNS trigger"), functionBody(), true);
    // Function and table (with its sequence) belong to the schema's owner, not to the login that
    // runs the step.
    const QString owner = single(a, QStringLiteral("SELECT quote_ident(tableowner) FROM pg_tables "
                                                   "WHERE schemaname = current_schema() AND "
                                                   "tablename = 'scr'"));
    if (!owner.isEmpty()) {
        a.run(QStringLiteral("ALTER FUNCTION bx_change_marker() OWNER TO ") + owner);
        a.run(QStringLiteral("ALTER TABLE CHANGE_MARKER OWNER TO ") + owner);
    }
    for (const Watched& w : kWatched) {
        for (const Event& e : kEvents) {
            const QString name = triggerName(w, e);
            // A column list cannot go with transition tables; those triggers need none.
            const QString tables = *w.server ? QStringLiteral("REFERENCING ") +
                                                   QLatin1String(e.tables) + QLatin1Char(' ')
                                             : QString();
            a.run(QStringLiteral("DROP TRIGGER IF EXISTS %1 ON %2")
                      .arg(name, QLatin1String(w.table)));
            a.run(QStringLiteral("CREATE TRIGGER %1 AFTER %2 ON %3 %4FOR EACH STATEMENT EXECUTE "
                                 "FUNCTION bx_change_marker(%5)")
                      .arg(name, eventSql(w, e), QLatin1String(w.table), tables,
                           literal(QLatin1String(w.server))));
        }
    }
    applyTableClass(a, rolesOf(a), change_markers::kTable);
}

void step90(StepActions& a)
{
    if (a.onServer())
        serverTriggers(a);
    else
        embeddedTriggers(a);
}

} // namespace

QList<StepDefinition> upgradeSteps90()
{
    return {{90, QStringLiteral("Change markers of the workshops"), ErrorPolicy::Strict, step90}};
}

} // namespace bx
