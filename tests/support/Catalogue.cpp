#include "support/Catalogue.h"

#include "core/db/Database.h"

#include <algorithm>

using namespace Qt::StringLiterals;

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
        if (t == "sqlite_sequence"_L1)
            continue;
        for (const ColumnInfo& c : db.columns(table))
            out << u"column %1.%2 %3"_s.arg(t, c.name.toLower(), c.type);
        const RecordSet pk =
            db.query(u"SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk"_s, {table});
        QStringList keys;
        for (const auto& row : pk.rows())
            keys << lower(row.at(0));
        if (!keys.isEmpty())
            out << u"primary key %1 (%2)"_s.arg(t, keys.join(u','));
        const RecordSet fks = db.query(u"SELECT \"table\", \"from\", \"to\", on_update, on_delete "
                                       "FROM pragma_foreign_key_list(?)"_s,
                                       {table});
        for (const auto& row : fks.rows())
            out << u"foreign key %1.%2 -> %3.%4 update %5 delete %6"_s.arg(
                t, lower(row.at(1)), lower(row.at(0)), lower(row.at(2)), lower(row.at(3)),
                lower(row.at(4)));
    }
    const RecordSet others = db.query(
        u"SELECT type, name, tbl_name FROM sqlite_master WHERE type IN ('index', 'trigger') "
        "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"_s);
    for (const auto& row : others.rows())
        out << u"%1 %2 on %3"_s.arg(lower(row.at(0)), lower(row.at(1)), lower(row.at(2)));
    return out;
}

QStringList describeServer(Database& db)
{
    QStringList out;
    for (const QString& table : db.tables()) {
        for (const ColumnInfo& c : db.columns(table))
            out << u"column %1.%2 %3"_s.arg(table.toLower(), c.name.toLower(), c.type);
    }
    const RecordSet constraints = db.query(
        u"SELECT c.contype, lower(c.conrelid::regclass::text), pg_get_constraintdef(c.oid) "
        "FROM pg_constraint c JOIN pg_namespace n ON n.oid = c.connamespace "
        "WHERE n.nspname = current_schema() AND c.contype IN ('p', 'f', 'u')"_s);
    for (const auto& row : constraints.rows())
        out << u"constraint %1 %2 %3"_s.arg(lower(row.at(0)), lower(row.at(1)), lower(row.at(2)));
    const RecordSet indexes =
        db.query(u"SELECT lower(indexname), lower(tablename) FROM pg_indexes WHERE "
                 "schemaname = current_schema()"_s);
    for (const auto& row : indexes.rows())
        out << u"index %1 on %2"_s.arg(lower(row.at(0)), lower(row.at(1)));
    const RecordSet triggers =
        db.query(u"SELECT lower(t.tgname), lower(c.relname) FROM pg_trigger t JOIN "
                 "pg_class c ON c.oid = t.tgrelid JOIN pg_namespace n ON n.oid = c.relnamespace "
                 "WHERE n.nspname = current_schema() AND NOT t.tgisinternal"_s);
    for (const auto& row : triggers.rows())
        out << u"trigger %1 on %2"_s.arg(lower(row.at(0)), lower(row.at(1)));
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
