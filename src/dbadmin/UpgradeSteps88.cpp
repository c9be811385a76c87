#include "core/db/Notices.h"
#include "core/db/RecordSet.h"
#include "dbadmin/ServerRoles.h"
#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

using namespace server_sql;

// Change notices (server engine). After every statement that writes SCR, ROUTE, MAIL or
// MAIL_OUTBOX, a trigger sends notices on the schema's change channel (changeChannelSql), so that
// clients that listen learn what changed without reading: one notice per workshop (tasks and
// routes) or user (mail, outbox) the statement touched, naming the rows' keys. Rows a task moved
// out of a workshop count for both workshops. Past kMaxNamedKeys keys or kMaxNamedPayload bytes a
// notice names the workshop or user alone; past kMaxGroups of them one notice names the table
// alone. The server sends the notices when the transaction commits, each payload once. A row
// without its key yet (a task between its insert and the statement that numbers it) is left out:
// the statement that gives it its key names it.
// LOGIN gets none: every client writes its heartbeat there every 30 seconds.
//
// The triggers are statement triggers with transition tables (one per kind of statement, as the
// server wants of them), all calling bx_change_notice with the table's key column, the column of
// its workshop or user, and the payload's name for it. ROUTE has no workshop of its own: its
// notices name the tasks, and the workshop is read from SCR.
// The embedded engine has no notices: there the step only raises the version.

struct Watched
{
    const char* table;
    const char* key;   ///< the column whose values the notice names
    const char* group; ///< the column of the workshop or user; "" for ROUTE (the task's)
    const char* field; ///< "w" workshop, "u" user
};

constexpr Watched kWatched[] = {
    {"SCR", "scr_number", "scr_group_id", "w"},
    {"ROUTE", "scr_number", "", "w"},
    {"MAIL", "mail_number", "owner_user_id", "u"},
    {"MAIL_OUTBOX", "outbox_number", "queued_by", "u"},
};

QString functionBody()
{
    return QStringLiteral(
               "DECLARE\n"
               "  key_col text := TG_ARGV[0];\n"
               "  group_col text := TG_ARGV[1];\n"
               "  field text := TG_ARGV[2];\n"
               "  channel text := %1;\n"
               "  tbl text := lower(TG_TABLE_NAME);\n"
               "  one text;\n"
               "  src text := '';\n"
               "  groups integer;\n"
               "  g record;\n"
               "  payload text;\n"
               "BEGIN\n"
               "  IF group_col = '' THEN\n"
               "    one := format('SELECT s.scr_group_id AS g, r.%I AS k FROM {rows} r LEFT JOIN "
               "%I.scr s ON s.scr_number = r.%I', key_col, TG_TABLE_SCHEMA, key_col);\n"
               "  ELSE\n"
               "    one := format('SELECT %I AS g, %I AS k FROM {rows}', group_col, key_col);\n"
               "  END IF;\n"
               "%5"
               "  EXECUTE format('SELECT count(DISTINCT g) + max(CASE WHEN g IS NULL THEN 1 "
               "ELSE 0 END) FROM (%s) x WHERE k IS NOT NULL', src) INTO groups;\n"
               "  IF groups IS NULL THEN\n"
               "    RETURN NULL;\n"
               "  END IF;\n"
               "  IF groups > %2 THEN\n"
               "    PERFORM pg_notify(channel, jsonb_build_object('t', tbl)::text);\n"
               "    RETURN NULL;\n"
               "  END IF;\n"
               "  FOR g IN EXECUTE format('SELECT g, array_agg(DISTINCT k ORDER BY k) AS k, "
               "count(DISTINCT k) AS n FROM (%s) x WHERE k IS NOT NULL GROUP BY g', src) LOOP\n"
               "    payload := jsonb_build_object('t', tbl, field, g.g, 'k', g.k)::text;\n"
               "    IF g.n > %3 OR octet_length(payload) > %4 THEN\n"
               "      payload := jsonb_build_object('t', tbl, field, g.g)::text;\n"
               "    END IF;\n"
               "    PERFORM pg_notify(channel, payload);\n"
               "  END LOOP;\n"
               "  RETURN NULL;\n"
               "END")
        .arg(changeChannelSql(QStringLiteral("TG_TABLE_SCHEMA")))
        .arg(kMaxGroups)
        .arg(kMaxNamedKeys)
        .arg(kMaxNamedPayload)
        .arg(transitionRowsSql());
}

} // namespace

QString transitionRowsSql()
{
    return QStringLiteral("  IF TG_OP IN ('INSERT', 'UPDATE') THEN\n"
                          "    src := replace(one, '{rows}', 'new_rows');\n"
                          "  END IF;\n"
                          "  IF TG_OP IN ('UPDATE', 'DELETE') THEN\n"
                          "    src := src || CASE WHEN src = '' THEN '' ELSE ' UNION ' END ||"
                          " replace(one, '{rows}', 'old_rows');\n"
                          "  END IF;\n");
}

namespace {

void step88(StepActions& a)
{
    if (!a.onServer())
        return;
    // Runs as the tables' owner, so that a notice on ROUTE may read the task's workshop whoever
    // wrote the route.
    createFunction(a, QStringLiteral("bx_change_notice() RETURNS trigger"), functionBody(), true);
    const QString owner = single(a, QStringLiteral("SELECT quote_ident(tableowner) FROM pg_tables "
                                                   "WHERE schemaname = current_schema() AND "
                                                   "tablename = 'scr'"));
    if (!owner.isEmpty())
        a.run(QStringLiteral("ALTER FUNCTION bx_change_notice() OWNER TO ") + owner);

    struct Event
    {
        const char* suffix;
        const char* event;
        const char* tables;
    };
    constexpr Event kEvents[] = {
        {"Ins", "INSERT", "NEW TABLE AS new_rows"},
        {"Upd", "UPDATE", "OLD TABLE AS old_rows NEW TABLE AS new_rows"},
        {"Del", "DELETE", "OLD TABLE AS old_rows"},
    };
    for (const Watched& w : kWatched) {
        for (const Event& e : kEvents) {
            const QString trigger = QStringLiteral("%1_Changes_%2")
                                        .arg(QLatin1String(w.table), QLatin1String(e.suffix));
            a.run(QStringLiteral("DROP TRIGGER IF EXISTS %1 ON %2")
                      .arg(trigger, QLatin1String(w.table)));
            a.run(QStringLiteral("CREATE TRIGGER %1 AFTER %2 ON %3 REFERENCING %4 FOR EACH "
                                 "STATEMENT EXECUTE FUNCTION bx_change_notice(%5, %6, %7)")
                      .arg(trigger, QLatin1String(e.event), QLatin1String(w.table),
                           QLatin1String(e.tables), literal(QLatin1String(w.key)),
                           literal(QLatin1String(w.group)), literal(QLatin1String(w.field))));
        }
    }
}

} // namespace

QList<StepDefinition> upgradeSteps88()
{
    return {{88, QStringLiteral("Change notices of tasks, routes, mail and the outbox"),
             ErrorPolicy::Strict, step88}};
}

} // namespace bx
