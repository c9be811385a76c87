#include "core/settings/SearchTables.h"

#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/schema/TableClasses.h"

#include <algorithm>

namespace bx {

namespace {

/** Replication columns: part of a replicated table, never anything worth searching. */
const QStringList kReplicationColumns{QStringLiteral("s_GUID"), QStringLiteral("s_Generation")};

bool containsName(const QStringList& names, const QString& name)
{
    return names.contains(name, Qt::CaseInsensitive);
}

/** The entry of `names` equal to `name` without regard to case, or "". */
QString spelledAs(const QStringList& names, const QString& name)
{
    for (const QString& n : names) {
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return n;
    }
    return {};
}

QStringList columnNames(Database& db, const QString& table)
{
    QStringList out;
    for (const ColumnInfo& c : db.columns(table))
        out << c.name;
    return out;
}

} // namespace

const QString SearchTables::kChooseTable = QStringLiteral("Please choose Plug-in table.");

QString SearchTables::noSuchField(const QString& field, const QString& table)
{
    return QStringLiteral("There is no field '") + field + QStringLiteral("' in Table '") + table +
           QLatin1Char('\'');
}

bool SearchTables::isProgramTable(const QString& table)
{
    // Every table the program creates has a class; "group" is an old table of the delivered
    // schema that nothing writes any more. The embedded engine keeps its counters in tables of
    // its own (sqlite_sequence and kin).
    return tableClassOf(table).has_value() ||
           table.compare(QLatin1String("group"), Qt::CaseInsensitive) == 0 ||
           table.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive);
}

SearchTables::SearchTables(Database& db, UserRecord editor)
    : m_db(db)
    , m_editor(std::move(editor))
{
}

QStringList SearchTables::pluginTables()
{
    QStringList out;
    for (const QString& t : m_db.tables()) {
        if (!isProgramTable(t))
            out << t;
    }
    std::sort(out.begin(), out.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return out;
}

QString SearchTables::catalogueName(const QString& table)
{
    if (table.trimmed().isEmpty() || isProgramTable(table))
        return {};
    return spelledAs(m_db.tables(), table);
}

QStringList SearchTables::fields(const QString& table)
{
    const QString name = catalogueName(table);
    if (name.isEmpty())
        return {};
    QStringList out;
    for (const QString& c : columnNames(m_db, name)) {
        if (!containsName(kReplicationColumns, c))
            out << c;
    }
    return out;
}

SearchTableChoice SearchTables::load(const QString& table)
{
    const RecordSet rs = m_db.query(QStringLiteral("SELECT SCR_Number_Field, FieldName FROM "
                                                   "SEARCH_TABLES WHERE TableName = ?"),
                                    {table});
    SearchTableChoice choice;
    for (int row = 0; row < rs.rowCount(); ++row) {
        const QString field = rs.value(row, QStringLiteral("FieldName")).toString();
        if (!field.isEmpty() && !containsName(choice.fields, field))
            choice.fields << field;
        if (choice.scrNumberField.isEmpty())
            choice.scrNumberField = rs.value(row, QStringLiteral("SCR_Number_Field")).toString();
    }
    return choice;
}

std::optional<QString> SearchTables::save(const QString& table, const QString& scrNumberField,
                                          const QStringList& fields)
{
    if (auto refusal = UserRights::refuseUnlessAdministrator(m_editor))
        return refusal->message;
    const QString name = catalogueName(table);
    if (name.isEmpty())
        return kChooseTable;
    const QString numberField = scrNumberField.trimmed();
    if (!fields.isEmpty() && numberField.isEmpty())
        return QStringLiteral("Please specify SCR_Number Field in Plug-in Table.");

    const QStringList columns = columnNames(m_db, name);
    // With nothing chosen an empty number field is fine: the save then clears the table's rows.
    QString numberColumn;
    if (!numberField.isEmpty()) {
        numberColumn = spelledAs(columns, numberField);
        if (numberColumn.isEmpty())
            return noSuchField(numberField, name);
    }
    QStringList chosen;
    for (const QString& f : fields) {
        const QString column = spelledAs(columns, f.trimmed());
        if (column.isEmpty())
            return noSuchField(f, name);
        if (!chosen.contains(column))
            chosen << column;
    }

    Transaction tx(m_db);
    m_db.execute(QStringLiteral("DELETE FROM SEARCH_TABLES WHERE TableName = ?"), {name});
    for (const QString& column : chosen)
        m_db.execute(QStringLiteral("INSERT INTO SEARCH_TABLES (SCR_Number_Field, TableName, "
                                    "FieldName) VALUES (?, ?, ?)"),
                     {numberColumn, name, column});
    tx.commit();
    return std::nullopt;
}

} // namespace bx
