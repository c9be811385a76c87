#include "dbadmin/StepActions.h"

#include "core/db/Database.h"
#include "dbadmin/EmbeddedSchemaEdit.h"
#include "dbadmin/LoggedStatement.h"
#include "dbadmin/UpgradeLog.h"

#include <QRegularExpression>

namespace bx {

namespace edit = EmbeddedSchemaEdit;

namespace {

/** Tables with a column that is streamed and so, on the embedded engine, must stay last. */
QString streamedColumnOf(const QString& table)
{
    if (table.compare(QLatin1String("ATTACH"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("OLE_Data");
    return {};
}

QString relationClause(const Relation& r)
{
    return QStringLiteral("CONSTRAINT ") + r.name + QStringLiteral(" FOREIGN KEY (") + r.column +
           QStringLiteral(") REFERENCES ") + StepActions::tableSql(r.parentTable) +
           QStringLiteral(" (") + r.parentColumn + QLatin1Char(')') +
           (r.cascade ? QStringLiteral(" ON DELETE CASCADE ON UPDATE CASCADE") : QString());
}

/** The server's name for a relation's action, from its catalogue code. */
QString serverAction(const QString& code)
{
    switch (code.isEmpty() ? 'a' : code.at(0).toLatin1()) {
    case 'c':
        return QStringLiteral("CASCADE");
    case 'n':
        return QStringLiteral("SET NULL");
    case 'd':
        return QStringLiteral("SET DEFAULT");
    case 'r':
        return QStringLiteral("RESTRICT");
    default:
        return QStringLiteral("NO ACTION");
    }
}

/** The server truncates identifiers to 63 bytes; names the program makes stay within. */
QString serverIdentifier(const QString& name)
{
    return name.left(63);
}

} // namespace

struct StepActions::ServerRelation
{
    QString name;
    QString child;  ///< as SQL text, e.g. grouplink or "group"
    QString parent; ///< as SQL text
    QString childColumns;
    QString parentColumns;
    QString onDelete;
    QString onUpdate;
};

StepActions::StepActions(Database& db, UpgradeLog& log, const UpgradeContext& context,
                         ErrorPolicy policy)
    : m_db(db)
    , m_log(log)
    , m_context(context)
    , m_policy(policy)
{
}

bool StepActions::onServer() const
{
    return m_db.engine() == Engine::Postgres;
}

void StepActions::note(const QString& text)
{
    m_log.line(text);
}

void StepActions::run(const QString& sql, const QVariantList& params)
{
    if (m_policy == ErrorPolicy::Strict) {
        executeLogged(m_db, m_log, sql, params);
        return;
    }
    // On the server engine a failed statement spoils the whole transaction; a savepoint around
    // each statement lets the step go on after one it may pass over.
    Transaction savepoint(m_db);
    try {
        executeLogged(m_db, m_log, sql, params);
    } catch (const DbError& e) {
        // The lenient steps were written to pass over one error only: a value that does not
        // convert to a column's type.
        if (e.kind() != DbErrorKind::ConversionError)
            throw;
        m_log.line(QStringLiteral("Ignored ") + e.text());
        return; // the savepoint rolls the statement back
    }
    savepoint.commit();
}

RecordSet StepActions::query(const QString& sql, const QVariantList& params)
{
    return queryLogged(m_db, m_log, sql, params);
}

qlonglong StepActions::insertNumbered(const QString& table, const QString& numberColumn,
                                      const QStringList& columns, const QVariantList& values)
{
    QStringList shown = columns;
    shown.prepend(numberColumn + QStringLiteral(" (new number)"));
    m_log.line(describeStatement(QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") +
                                     shown.join(QStringLiteral(", ")) + QLatin1Char(')'),
                                 values));
    return m_db.insertNumbered(table, numberColumn, columns, values);
}

QString StepActions::typeName(ColumnType type) const
{
    return m_db.dialect().columnType(type);
}

QString StepActions::ddl(QString pattern) const
{
    const struct
    {
        const char* placeholder;
        ColumnType type;
    } types[] = {{"{text}", ColumnType::Text},       {"{flag}", ColumnType::Flag},
                 {"{int}", ColumnType::Integer},     {"{date}", ColumnType::DateTime},
                 {"{money}", ColumnType::Money},     {"{binary}", ColumnType::Binary},
                 {"{counter}", ColumnType::Counter}, {"{identity}", ColumnType::Identity}};
    for (const auto& t : types)
        pattern.replace(QLatin1String(t.placeholder), typeName(t.type));
    return pattern;
}

QString StepActions::tableSql(const QString& table)
{
    if (table.compare(QLatin1String("group"), Qt::CaseInsensitive) == 0 ||
        table.compare(QLatin1String("user"), Qt::CaseInsensitive) == 0)
        return QLatin1Char('"') + table.toLower() + QLatin1Char('"');
    return table;
}

void StepActions::addColumn(const QString& table, const QString& column, ColumnType type,
                            const QString& constraints)
{
    QString definition = column + QLatin1Char(' ') + typeName(type);
    if (!constraints.isEmpty())
        definition += QLatin1Char(' ') + constraints;
    const QString streamed = streamedColumnOf(table);
    if (!onServer() && !streamed.isEmpty()) {
        TableDefinition def = edit::definitionOf(m_db, table);
        const int last = def.columnItem(streamed);
        if (last >= 0) {
            def.items.insert(last, definition);
            edit::rebuildTable(m_db, m_log, def);
            return;
        }
    }
    run(QStringLiteral("ALTER TABLE ") + tableSql(table) + QStringLiteral(" ADD COLUMN ") +
        definition);
}

void StepActions::addPrimaryKey(const QString& table, const QString& name,
                                const QStringList& columns)
{
    const QString clause = QStringLiteral("CONSTRAINT ") + name + QStringLiteral(" PRIMARY KEY (") +
                           columns.join(QStringLiteral(", ")) + QLatin1Char(')');
    if (onServer()) {
        run(QStringLiteral("ALTER TABLE ") + tableSql(table) + QStringLiteral(" ADD ") + clause);
        return;
    }
    // A primary key has an index of its own, so the table is built anew with it.
    TableDefinition def = edit::definitionOf(m_db, table);
    def.items << clause;
    edit::rebuildTable(m_db, m_log, def);
}

void StepActions::addRelation(const Relation& relation)
{
    if (onServer()) {
        run(QStringLiteral("ALTER TABLE ") + tableSql(relation.table) + QStringLiteral(" ADD ") +
            relationClause(relation));
        return;
    }
    TableDefinition def = edit::definitionOf(m_db, relation.table);
    def.items << relationClause(relation);
    edit::rewriteDefinition(m_db, m_log, def);
}

QList<StepActions::ServerRelation> StepActions::serverRelationsOf(const QString& table)
{
    const RecordSet rs = m_db.query(
        QStringLiteral(
            "SELECT c.conname, c.conrelid::regclass::text AS child, "
            "c.confrelid::regclass::text AS parent, "
            "(SELECT string_agg(quote_ident(a.attname), ', ' ORDER BY k.n) "
            " FROM unnest(c.conkey) WITH ORDINALITY AS k(attnum, n) "
            " JOIN pg_attribute a ON a.attrelid = c.conrelid AND a.attnum = k.attnum) AS cc, "
            "(SELECT string_agg(quote_ident(a.attname), ', ' ORDER BY k.n) "
            " FROM unnest(c.confkey) WITH ORDINALITY AS k(attnum, n) "
            " JOIN pg_attribute a ON a.attrelid = c.confrelid AND a.attnum = k.attnum) AS pc, "
            "c.confdeltype::text AS ondelete, c.confupdtype::text AS onupdate "
            "FROM pg_constraint c WHERE c.contype = 'f' "
            "AND (c.conrelid = to_regclass(?) OR c.confrelid = to_regclass(?)) ORDER BY c.conname"),
        {tableSql(table), tableSql(table)});
    QList<ServerRelation> out;
    for (int i = 0; i < rs.rowCount(); ++i) {
        const auto v = [&](const char* column) {
            return rs.value(i, QString::fromLatin1(column)).toString();
        };
        out.append({v("conname"), v("child"), v("parent"), v("cc"), v("pc"),
                    serverAction(v("ondelete")), serverAction(v("onupdate"))});
    }
    return out;
}

void StepActions::removeRelationsOf(const QString& table)
{
    if (onServer()) {
        for (const ServerRelation& r : serverRelationsOf(table))
            run(QStringLiteral("ALTER TABLE ") + r.child + QStringLiteral(" DROP CONSTRAINT ") +
                Dialect::quoteIdentifier(r.name));
        return;
    }
    for (const QString& other : m_db.tables()) {
        TableDefinition def = edit::definitionOf(m_db, other);
        const bool isTable = other.compare(table, Qt::CaseInsensitive) == 0;
        const auto removed =
            std::remove_if(def.items.begin(), def.items.end(), [&](const QString& item) {
                const auto fk = edit::foreignKeyOf(item);
                return fk && (isTable || fk->parentTable.compare(table, Qt::CaseInsensitive) == 0);
            });
        if (removed == def.items.end())
            continue;
        def.items.erase(removed, def.items.end());
        edit::rewriteDefinition(m_db, m_log, def);
    }
}

void StepActions::copyTable(const QString& from, const QString& to, const QString& leaveOutPrefix,
                            const QString& keyName, const QString& keyColumn)
{
    if (onServer())
        copyTableServer(from, to, leaveOutPrefix, keyName, keyColumn);
    else
        copyTableEmbedded(from, to, leaveOutPrefix, keyName, keyColumn);
}

void StepActions::copyTableServer(const QString& from, const QString& to,
                                  const QString& leaveOutPrefix, const QString& keyName,
                                  const QString& keyColumn)
{
    const RecordSet rs = m_db.query(
        QStringLiteral("SELECT a.attname, format_type(a.atttypid, a.atttypmod) AS type, "
                       "a.attnotnull FROM pg_attribute a WHERE a.attrelid = to_regclass(?) "
                       "AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum"),
        {tableSql(from)});
    QStringList definitions, columns;
    for (int i = 0; i < rs.rowCount(); ++i) {
        const QString name = rs.value(i, QStringLiteral("attname")).toString();
        if (name.startsWith(leaveOutPrefix, Qt::CaseInsensitive))
            continue;
        const QString column = Dialect::quoteIdentifier(name);
        columns << column;
        definitions << column + QLatin1Char(' ') + rs.value(i, QStringLiteral("type")).toString() +
                           (rs.value(i, QStringLiteral("attnotnull")).toBool()
                                ? QStringLiteral(" NOT NULL")
                                : QString());
    }
    run(QStringLiteral("CREATE TABLE ") + tableSql(to) + QStringLiteral(" (") +
        definitions.join(QStringLiteral(", ")) + QLatin1Char(')'));
    run(QStringLiteral("ALTER TABLE ") + tableSql(to) + QStringLiteral(" ADD CONSTRAINT ") +
        keyName + QStringLiteral(" PRIMARY KEY (") + keyColumn + QLatin1Char(')'));

    note(QStringLiteral("Copy data from ") + from.toUpper() + QStringLiteral(" TO ") + to);
    const QString list = columns.join(QStringLiteral(", "));
    run(QStringLiteral("INSERT INTO ") + tableSql(to) + QStringLiteral(" (") + list +
        QStringLiteral(") SELECT ") + list + QStringLiteral(" FROM ") + tableSql(from));

    note(QStringLiteral("Copy relations from ") + from.toUpper() + QStringLiteral(" TO ") + to);
    const QString fromSql = tableSql(from);
    for (const ServerRelation& r : serverRelationsOf(from)) {
        const auto moved = [&](const QString& t) {
            return t.compare(fromSql, Qt::CaseInsensitive) == 0 ? tableSql(to) : t;
        };
        run(QStringLiteral("ALTER TABLE ") + moved(r.child) + QStringLiteral(" ADD CONSTRAINT ") +
            Dialect::quoteIdentifier(serverIdentifier(r.name + QLatin1Char('_') + to.toLower())) +
            QStringLiteral(" FOREIGN KEY (") + r.childColumns + QStringLiteral(") REFERENCES ") +
            moved(r.parent) + QStringLiteral(" (") + r.parentColumns +
            QStringLiteral(") ON DELETE ") + r.onDelete + QStringLiteral(" ON UPDATE ") +
            r.onUpdate);
    }
}

void StepActions::copyTableEmbedded(const QString& from, const QString& to,
                                    const QString& leaveOutPrefix, const QString& keyName,
                                    const QString& keyColumn)
{
    const TableDefinition source = edit::definitionOf(m_db, from);

    // The copy keeps the columns and their constraints; relations follow below, re-aimed.
    TableDefinition copy;
    copy.name = to;
    copy.tail = source.tail;
    QStringList ownRelations;
    for (const QString& item : source.items) {
        if (edit::foreignKeyOf(item)) {
            ownRelations << item;
            continue;
        }
        if (edit::columnNameOf(item).startsWith(leaveOutPrefix, Qt::CaseInsensitive))
            continue;
        copy.items << item;
    }
    // A counter column already is the key; the engine allows only one.
    const bool keyed = m_db.scalar(QStringLiteral("SELECT count(*) FROM pragma_table_info(?) "
                                                  "WHERE pk > 0"),
                                   {source.name})
                           .toInt() > 0;
    if (!keyed)
        copy.items << QStringLiteral("CONSTRAINT ") + keyName + QStringLiteral(" PRIMARY KEY (") +
                          keyColumn + QLatin1Char(')');

    // Relations of the copied table itself, re-aimed where they pointed at the table.
    static const QRegularExpression target(
        QStringLiteral("(REFERENCES\\s+)(\"[^\"]*\"|\\[[^\\]]*\\]|`[^`]*`|[^\\s(]+)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression named(QStringLiteral("^CONSTRAINT\\s+(\"[^\"]*\"|\\S+)"),
                                          QRegularExpression::CaseInsensitiveOption);
    const auto reaimed = [&](QString item) {
        const auto fk = edit::foreignKeyOf(item);
        if (fk && fk->parentTable.compare(source.name, Qt::CaseInsensitive) == 0)
            item.replace(target, QStringLiteral("\\1") + Dialect::quoteIdentifier(to));
        if (fk && !fk->name.isEmpty())
            item.replace(named, QStringLiteral("CONSTRAINT ") +
                                    Dialect::quoteIdentifier(fk->name + QLatin1Char('_') + to));
        return item;
    };
    for (const QString& item : ownRelations)
        copy.items << reaimed(item);
    run(copy.sql());

    note(QStringLiteral("Copy data from ") + from.toUpper() + QStringLiteral(" TO ") + to);
    QStringList columns;
    for (const QString& column : copy.columnNames())
        columns << Dialect::quoteIdentifier(column);
    const QString list = columns.join(QStringLiteral(", "));
    run(QStringLiteral("INSERT INTO ") + Dialect::quoteIdentifier(to) + QStringLiteral(" (") +
        list + QStringLiteral(") SELECT ") + list + QStringLiteral(" FROM ") +
        Dialect::quoteIdentifier(source.name));
    edit::carryCounter(m_db, m_log, source.name, to);

    note(QStringLiteral("Copy relations from ") + from.toUpper() + QStringLiteral(" TO ") + to);
    for (const QString& other : edit::referencingTables(m_db, source.name)) {
        if (other.compare(to, Qt::CaseInsensitive) == 0)
            continue;
        TableDefinition def = edit::definitionOf(m_db, other);
        QStringList added;
        for (const QString& item : def.items) {
            const auto fk = edit::foreignKeyOf(item);
            if (fk && fk->parentTable.compare(source.name, Qt::CaseInsensitive) == 0)
                added << reaimed(item);
        }
        if (added.isEmpty())
            continue;
        def.items << added;
        edit::rewriteDefinition(m_db, m_log, def);
    }
}

void StepActions::dropTable(const QString& table)
{
    if (onServer())
        run(QStringLiteral("DROP TABLE ") + tableSql(table));
    else
        edit::dropTable(m_db, m_log, table);
}

void StepActions::allowEmpty(const QString& table, const QStringList& columns)
{
    if (onServer()) {
        for (const QString& column : columns)
            run(QStringLiteral("ALTER TABLE ") + tableSql(table) +
                QStringLiteral(" ALTER COLUMN ") + column + QStringLiteral(" DROP NOT NULL"));
        return;
    }
    static const QRegularExpression notNull(QStringLiteral("\\s+NOT\\s+NULL\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    TableDefinition def = edit::definitionOf(m_db, table);
    bool changed = false;
    for (const QString& column : columns) {
        const int i = def.columnItem(column);
        if (i < 0)
            continue;
        QString item = def.items.at(i);
        item.remove(notNull);
        changed = changed || item != def.items.at(i);
        def.items[i] = item;
    }
    // The engine stores empty text in any text column; only a Null may have been refused.
    if (changed)
        edit::rewriteDefinition(m_db, m_log, def);
}

void StepActions::disableUserTriggers(const QString& table)
{
    // USER leaves the engine's own triggers alone: they are what enforces the relations.
    if (onServer())
        run(QStringLiteral("ALTER TABLE ") + tableSql(table) +
            QStringLiteral(" DISABLE TRIGGER USER"));
}

} // namespace bx
