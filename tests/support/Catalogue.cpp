#include "support/Catalogue.h"

#include "core/db/Database.h"

#include <algorithm>

namespace bx::test {

namespace {

QString lower(const QVariant& v)
{
    return v.toString().toLower();
}

QStringList describeEmbedded(Database& db)
{
    QStringList out;
    for (const QString& table : db.tables()) {
        const QString t = table.toLower();
        if (t == QLatin1String("sqlite_sequence"))
            continue;
        for (const ColumnInfo& c : db.columns(table))
            out << QStringLiteral("column %1.%2 %3").arg(t, c.name.toLower(), c.type);
        const RecordSet pk = db.query(
            QStringLiteral("SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk"),
            {table});
        QStringList keys;
        for (const auto& row : pk.rows())
            keys << lower(row.at(0));
        if (!keys.isEmpty())
            out << QStringLiteral("primary key %1 (%2)").arg(t, keys.join(QLatin1Char(',')));
        const RecordSet fks =
            db.query(QStringLiteral("SELECT \"table\", \"from\", \"to\", on_update, on_delete "
                                    "FROM pragma_foreign_key_list(?)"),
                     {table});
        for (const auto& row : fks.rows())
            out << QStringLiteral("foreign key %1.%2 -> %3.%4 update %5 delete %6")
                       .arg(t, lower(row.at(1)), lower(row.at(0)), lower(row.at(2)),
                            lower(row.at(3)), lower(row.at(4)));
    }
    const RecordSet others = db.query(QStringLiteral(
        "SELECT type, name, tbl_name FROM sqlite_master WHERE type IN ('index', 'trigger') "
        "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"));
    for (const auto& row : others.rows())
        out << QStringLiteral("%1 %2 on %3")
                   .arg(lower(row.at(0)), lower(row.at(1)), lower(row.at(2)));
    return out;
}

QStringList describeServer(Database& db)
{
    QStringList out;
    for (const QString& table : db.tables()) {
        for (const ColumnInfo& c : db.columns(table))
            out << QStringLiteral("column %1.%2 %3").arg(table.toLower(), c.name.toLower(), c.type);
    }
    const RecordSet constraints = db.query(QStringLiteral(
        "SELECT c.contype, lower(c.conrelid::regclass::text), pg_get_constraintdef(c.oid) "
        "FROM pg_constraint c JOIN pg_namespace n ON n.oid = c.connamespace "
        "WHERE n.nspname = current_schema() AND c.contype IN ('p', 'f', 'u')"));
    for (const auto& row : constraints.rows())
        out << QStringLiteral("constraint %1 %2 %3")
                   .arg(lower(row.at(0)), lower(row.at(1)), lower(row.at(2)));
    const RecordSet indexes =
        db.query(QStringLiteral("SELECT lower(indexname), lower(tablename) FROM pg_indexes WHERE "
                                "schemaname = current_schema()"));
    for (const auto& row : indexes.rows())
        out << QStringLiteral("index %1 on %2").arg(lower(row.at(0)), lower(row.at(1)));
    const RecordSet triggers =
        db.query(QStringLiteral("SELECT lower(t.tgname), lower(c.relname) FROM pg_trigger t JOIN "
                                "pg_class c ON c.oid = t.tgrelid "
                                "JOIN pg_namespace n ON n.oid = c.relnamespace "
                                "WHERE n.nspname = current_schema() AND NOT t.tgisinternal"));
    for (const auto& row : triggers.rows())
        out << QStringLiteral("trigger %1 on %2").arg(lower(row.at(0)), lower(row.at(1)));
    return out;
}

} // namespace

QStringList describeSchema(Database& db)
{
    QStringList out = db.engine() == Engine::Sqlite ? describeEmbedded(db) : describeServer(db);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace bx::test
