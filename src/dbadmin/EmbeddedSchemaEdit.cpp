#include "dbadmin/EmbeddedSchemaEdit.h"

#include "core/db/Database.h"
#include "dbadmin/LoggedStatement.h"
#include "dbadmin/UpgradeLog.h"

#include <QRegularExpression>

namespace bx::EmbeddedSchemaEdit {

namespace {

// Result codes of the embedded engine, reported as error numbers.
const QString kSqliteError = QStringLiteral("1");
const QString kForeignKeyFailed = QStringLiteral("787"); // SQLITE_CONSTRAINT_FOREIGNKEY

const QString kScratchTable = QStringLiteral("bx_check_definition");

DbError editError(const QString& number, const QString& text)
{
    return DbError(DbErrorKind::Other, number, text, {}, QStringLiteral("EmbeddedSchemaEdit"));
}

QString unquoted(QString name)
{
    name = name.trimmed();
    if (name.size() >= 2) {
        const QChar first = name.front(), last = name.back();
        if ((first == QLatin1Char('"') && last == QLatin1Char('"')) ||
            (first == QLatin1Char('`') && last == QLatin1Char('`')) ||
            (first == QLatin1Char('[') && last == QLatin1Char(']')))
            return name.mid(1, name.size() - 2);
    }
    return name;
}

/** The closing character of a quoted piece that starts with `open`, or a null QChar. */
QChar closingQuote(QChar open)
{
    switch (open.unicode()) {
    case '\'':
    case '"':
    case '`':
        return open;
    case '[':
        return QLatin1Char(']');
    default:
        return {};
    }
}

/**
 * Walks a statement from `from`, copying everything but comments into `out` with runs of white
 * space collapsed, and stops at the first top-level character for which `stop` returns true
 * (its index is returned, or -1 at the end). Quoted pieces and parentheses are kept whole.
 */
template <typename Stop> qsizetype scan(const QString& sql, qsizetype from, QString& out, Stop stop)
{
    const auto space = [&out] {
        if (!out.isEmpty() && !out.back().isSpace())
            out += QLatin1Char(' ');
    };
    int depth = 0;
    const qsizetype len = sql.size();
    for (qsizetype i = from; i < len; ++i) {
        const QChar ch = sql.at(i);
        const QChar next = i + 1 < len ? sql.at(i + 1) : QChar();
        if (ch == QLatin1Char('-') && next == QLatin1Char('-')) {
            const qsizetype end = sql.indexOf(QLatin1Char('\n'), i);
            i = end < 0 ? len : end;
            space();
            continue;
        }
        if (ch == QLatin1Char('/') && next == QLatin1Char('*')) {
            const qsizetype end = sql.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? len : end + 1;
            space();
            continue;
        }
        if (const QChar close = closingQuote(ch); !close.isNull()) {
            // A doubled closing quote inside the piece is part of it.
            qsizetype j = i + 1;
            while (j < len) {
                if (sql.at(j) == close) {
                    if (close != QLatin1Char(']') && j + 1 < len && sql.at(j + 1) == close) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            out += QStringView(sql).mid(i, qMin(j, len - 1) - i + 1);
            i = j;
            continue;
        }
        if (depth == 0 && stop(ch))
            return i;
        if (ch == QLatin1Char('('))
            ++depth;
        else if (ch == QLatin1Char(')'))
            --depth;
        if (ch.isSpace())
            space();
        else
            out += ch;
    }
    return -1;
}

QString singleLine(const QString& sql)
{
    QString out;
    scan(sql, 0, out, [](QChar) { return false; });
    return out.trimmed();
}

RecordSet catalogueRows(Database& db, const QString& type, const QString& table)
{
    return db.query(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = ? AND "
                                   "tbl_name = ? COLLATE NOCASE AND sql IS NOT NULL"),
                    {type, table});
}

/** Fails when a row of the table has no related record for one of the table's relations. */
void checkRelations(Database& db, const QString& table)
{
    const RecordSet broken =
        db.query(QStringLiteral("SELECT parent FROM pragma_foreign_key_check(?)"), {table});
    if (broken.isEmpty())
        return;
    throw editError(kForeignKeyFailed,
                    QStringLiteral("%1 row(s) of %2 have no related record in table %3")
                        .arg(broken.rowCount())
                        .arg(table, broken.text(QStringLiteral("parent"))));
}

/** The table of counters exists once some table was declared AUTOINCREMENT. */
bool hasCounters(Database& db)
{
    return db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                                    "name = 'sqlite_sequence'"))
               .toInt() > 0;
}

/** How many keys (primary or unique) a definition declares; their indexes hang on them. */
int keyCount(const TableDefinition& def)
{
    static const QRegularExpression key(QStringLiteral("\\b(PRIMARY\\s+KEY|UNIQUE)\\b"),
                                        QRegularExpression::CaseInsensitiveOption);
    int n = 0;
    for (const QString& item : def.items) {
        for (auto it = key.globalMatch(item); it.hasNext(); it.next())
            ++n;
    }
    return n;
}

/** Lets the table's counter continue at least from `value` (nothing when it is Null). */
void raiseCounter(Database& db, UpgradeLog& log, const QString& table, const QVariant& value)
{
    if (value.isNull())
        return;
    if (executeLogged(db, log,
                      QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, ?) WHERE name = ?"),
                      {value, table}) == 0)
        executeLogged(db, log,
                      QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)"),
                      {table, value});
}

void refuseIfReferenced(Database& db, const QString& table, const QString& action)
{
    const QStringList children = referencingTables(db, table);
    if (children.isEmpty())
        return;
    // The drop would first delete every row of the table, and with it, through the relations'
    // delete rules, the rows of these tables.
    throw editError(kSqliteError, QStringLiteral("Cannot %1 table %2: tables %3 refer to it")
                                      .arg(action, table, children.join(QStringLiteral(", "))));
}

} // namespace

TableDefinition parseDefinition(const QString& createSql)
{
    QString header;
    const qsizetype open =
        scan(createSql, 0, header, [](QChar c) { return c == QLatin1Char('('); });
    if (open < 0)
        throw editError(kSqliteError, QStringLiteral("Not a table definition: ") + createSql);

    TableDefinition def;
    // The name is the header's last word: CREATE TABLE [IF NOT EXISTS] name
    static const QRegularExpression lastWord(
        QStringLiteral("(\"(?:[^\"]|\"\")*\"|\\[[^\\]]*\\]|`[^`]*`|[^\\s\"\\[`]+)\\s*$"));
    const auto m = lastWord.match(header);
    def.name = m.hasMatch()
                   ? unquoted(m.captured(1)).replace(QStringLiteral("\"\""), QStringLiteral("\""))
                   : QString();

    qsizetype pos = open + 1;
    for (;;) {
        QString item;
        const qsizetype at = scan(createSql, pos, item, [](QChar c) {
            return c == QLatin1Char(',') || c == QLatin1Char(')');
        });
        if (at < 0)
            throw editError(kSqliteError,
                            QStringLiteral("Unbalanced table definition: ") + createSql);
        item = item.trimmed();
        if (!item.isEmpty())
            def.items << item;
        pos = at + 1;
        if (createSql.at(at) == QLatin1Char(')'))
            break;
    }
    def.tail = singleLine(createSql.mid(pos));
    if (def.tail == QLatin1String(";"))
        def.tail.clear();
    return def;
}

TableDefinition definitionOf(Database& db, const QString& table)
{
    const RecordSet rs = db.query(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE "
                                                 "type = 'table' AND name = ? COLLATE NOCASE"),
                                  {table});
    if (rs.isEmpty())
        throw editError(kSqliteError, QStringLiteral("no such table: ") + table);
    TableDefinition def = parseDefinition(rs.text(QStringLiteral("sql")));
    def.name = rs.text(QStringLiteral("name"));
    return def;
}

QString columnNameOf(const QString& item)
{
    static const QRegularExpression firstWord(
        QStringLiteral("^\\s*(\"(?:[^\"]|\"\")*\"|\\[[^\\]]*\\]|`[^`]*`|[^\\s\"\\[`(]+)"));
    const auto m = firstWord.match(item);
    if (!m.hasMatch())
        return {};
    const QString word = m.captured(1);
    static const QStringList constraintWords = {QStringLiteral("CONSTRAINT"),
                                                QStringLiteral("PRIMARY"), QStringLiteral("UNIQUE"),
                                                QStringLiteral("CHECK"), QStringLiteral("FOREIGN")};
    if (constraintWords.contains(word, Qt::CaseInsensitive))
        return {};
    return unquoted(word).replace(QStringLiteral("\"\""), QStringLiteral("\""));
}

std::optional<ForeignKeyItem> foreignKeyOf(const QString& item)
{
    static const QRegularExpression relation(
        QStringLiteral("^\\s*(?:CONSTRAINT\\s+(\"[^\"]*\"|\\[[^\\]]*\\]|`[^`]*`|\\S+)\\s+)?"
                       "FOREIGN\\s+KEY\\s*\\([^)]*\\)\\s*REFERENCES\\s+"
                       "(\"[^\"]*\"|\\[[^\\]]*\\]|`[^`]*`|[^\\s(]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = relation.match(item);
    if (!m.hasMatch())
        return std::nullopt;
    return ForeignKeyItem{unquoted(m.captured(1)), unquoted(m.captured(2))};
}

QStringList referencingTables(Database& db, const QString& table)
{
    const RecordSet rs =
        db.query(QStringLiteral("SELECT DISTINCT m.name FROM sqlite_master m, "
                                "pragma_foreign_key_list(m.name) f WHERE m.type = 'table' "
                                "AND f.\"table\" = ? COLLATE NOCASE AND m.name <> ? COLLATE NOCASE "
                                "ORDER BY m.name"),
                 {table, table});
    return rs.firstColumnTexts();
}

void rewriteDefinition(Database& db, UpgradeLog& log, const TableDefinition& def)
{
    const TableDefinition current = definitionOf(db, def.name);
    // Columns and keys are part of the stored layout (a key has an index); only constraints
    // that the rows do not carry may change this way.
    if (current.columnNames()
                .join(QLatin1Char(','))
                .compare(def.columnNames().join(QLatin1Char(',')), Qt::CaseInsensitive) != 0 ||
        keyCount(current) != keyCount(def))
        throw editError(kSqliteError, QStringLiteral("The columns or keys of %1 would change; "
                                                     "rebuild the table instead")
                                          .arg(def.name));

    // A stored definition that the engine cannot read makes the whole file unreadable, so the
    // text is proved on a scratch table first.
    executeLogged(db, log, def.sqlAs(kScratchTable));
    executeLogged(db, log, QStringLiteral("DROP TABLE ") + Dialect::quoteIdentifier(kScratchTable));

    // Rows are stored independently of the constraints, so replacing the text is the whole
    // change. Raising the schema version makes every other connection read the schema anew, and
    // the reset makes this one do so at once.
    const qlonglong version = db.scalar(QStringLiteral("PRAGMA schema_version")).toLongLong();
    executeLogged(db, log, QStringLiteral("PRAGMA writable_schema = ON"));
    try {
        const qlonglong changed = executeLogged(
            db, log,
            QStringLiteral("UPDATE sqlite_master SET sql = ? WHERE type = 'table' AND name = ?"),
            {def.sql(), current.name});
        if (changed != 1)
            throw editError(kSqliteError, QStringLiteral("no such table: ") + def.name);
        executeLogged(db, log,
                      QStringLiteral("PRAGMA schema_version = ") + QString::number(version + 1));
    } catch (const DbError&) {
        db.execute(QStringLiteral("PRAGMA writable_schema = RESET"));
        throw;
    }
    executeLogged(db, log, QStringLiteral("PRAGMA writable_schema = RESET"));
    checkRelations(db, current.name);
}

void rebuildTable(Database& db, UpgradeLog& log, const TableDefinition& def)
{
    const TableDefinition current = definitionOf(db, def.name);
    refuseIfReferenced(db, current.name, QStringLiteral("rebuild"));

    const RecordSet indexes = catalogueRows(db, QStringLiteral("index"), current.name);
    const RecordSet triggers = catalogueRows(db, QStringLiteral("trigger"), current.name);
    const bool counted = hasCounters(db);
    const QVariant counter =
        counted ? db.scalar(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?"),
                            {current.name})
                : QVariant();

    const QString fresh = QStringLiteral("bx_new_") + current.name;
    executeLogged(db, log, def.sqlAs(fresh));

    QStringList shared;
    const QStringList wanted = def.columnNames();
    for (const QString& column : current.columnNames()) {
        if (wanted.contains(column, Qt::CaseInsensitive))
            shared << Dialect::quoteIdentifier(column);
    }
    const QString columns = shared.join(QStringLiteral(", "));
    executeLogged(db, log,
                  QStringLiteral("INSERT INTO ") + Dialect::quoteIdentifier(fresh) +
                      QStringLiteral(" (") + columns + QStringLiteral(") SELECT ") + columns +
                      QStringLiteral(" FROM ") + Dialect::quoteIdentifier(current.name));
    executeLogged(db, log, QStringLiteral("DROP TABLE ") + Dialect::quoteIdentifier(current.name));
    executeLogged(db, log,
                  QStringLiteral("ALTER TABLE ") + Dialect::quoteIdentifier(fresh) +
                      QStringLiteral(" RENAME TO ") + Dialect::quoteIdentifier(current.name));
    for (const QVariantList& row : indexes.rows())
        executeLogged(db, log, row.at(1).toString());
    for (const QVariantList& row : triggers.rows())
        executeLogged(db, log, row.at(1).toString());

    // The new table counts from the highest number it received, which is lower than where the
    // old one stood when its last rows had been deleted; numbers must never be drawn twice.
    raiseCounter(db, log, current.name, counter);
}

void dropTable(Database& db, UpgradeLog& log, const QString& table)
{
    refuseIfReferenced(db, table, QStringLiteral("drop"));
    executeLogged(db, log, QStringLiteral("DROP TABLE ") + Dialect::quoteIdentifier(table));
}

void carryCounter(Database& db, UpgradeLog& log, const QString& from, const QString& to)
{
    if (!hasCounters(db))
        return;
    raiseCounter(db, log, to,
                 db.scalar(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ? "
                                          "COLLATE NOCASE"),
                           {from}));
}

} // namespace bx::EmbeddedSchemaEdit

namespace bx {

QString TableDefinition::sqlAs(const QString& tableName) const
{
    QString sql = QStringLiteral("CREATE TABLE ") + Dialect::quoteIdentifier(tableName) +
                  QStringLiteral(" (") + items.join(QStringLiteral(", ")) + QLatin1Char(')');
    if (!tail.isEmpty())
        sql += QLatin1Char(' ') + tail;
    return sql;
}

int TableDefinition::columnItem(const QString& column) const
{
    for (int i = 0; i < items.size(); ++i) {
        if (EmbeddedSchemaEdit::columnNameOf(items.at(i)).compare(column, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QStringList TableDefinition::columnNames() const
{
    QStringList names;
    for (const QString& item : items) {
        const QString column = EmbeddedSchemaEdit::columnNameOf(item);
        if (!column.isEmpty())
            names << column;
    }
    return names;
}

} // namespace bx
