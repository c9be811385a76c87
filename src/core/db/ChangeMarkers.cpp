#include "core/db/ChangeMarkers.h"

#include "core/db/Database.h"

namespace bx::change_markers {

namespace {

/** The first value of a query's first row, or Null. */
QVariant first(const RecordSet& rs)
{
    return rs.rows().value(0).value(0);
}

Reading readEmbedded(Database& db, const Scope& scope, const QVariant& since)
{
    const QVariant highest =
        scope.workshop
            ? first(db.query(QStringLiteral("SELECT max(Marker) FROM CHANGE_MARKER WHERE "
                                            "Group_ID IN (?, ?)"),
                             {*scope.workshop, kEveryWorkshop}))
            : first(db.query(QStringLiteral("SELECT max(Marker) FROM CHANGE_MARKER")));
    Reading r;
    r.state = highest.isNull() ? qlonglong(0) : highest.toLongLong();
    r.moved = !since.isValid() || since.toLongLong() != r.state.toLongLong();
    return r;
}

// Each writing transaction leaves a row per workshop naming itself (Writer, its transaction id).
// A row of a transaction that the earlier check's snapshot did not see committed is news: it
// committed since, or was still running then. Older transactions lie below the snapshot's xmin,
// which keeps the look-up to a few index entries. Snapshot and rows come from the one statement,
// so that nothing commits between them.
Reading readServer(Database& db, const Scope& scope, const QVariant& since)
{
    Reading r;
    if (!since.isValid()) {
        r.state = first(db.query(QStringLiteral("SELECT CAST(pg_current_snapshot() AS text)")));
        return r;
    }
    QString sql = QStringLiteral(
        "SELECT CAST(pg_current_snapshot() AS text), EXISTS (SELECT 1 FROM CHANGE_MARKER WHERE "
        "Writer >= pg_snapshot_xmin(CAST(? AS pg_snapshot)) AND NOT "
        "pg_visible_in_snapshot(Writer, CAST(? AS pg_snapshot))");
    QVariantList params{since, since};
    if (scope.workshop) {
        sql += QStringLiteral(" AND Group_ID IN (?, ?)");
        params << *scope.workshop << kEveryWorkshop;
    }
    const QVariantList row = db.query(sql + QLatin1Char(')'), params).rows().value(0);
    r.state = row.value(0);
    r.moved = row.value(1).toBool();
    return r;
}

} // namespace

Reading read(Database& db, const Scope& scope, const QVariant& since)
{
    return db.engine() == Engine::Postgres ? readServer(db, scope, since)
                                           : readEmbedded(db, scope, since);
}

} // namespace bx::change_markers
