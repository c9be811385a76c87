#include "core/db/Database.h"
#include "core/schema/OlapItems.h"
#include "dbadmin/UpgradeSteps.h"

namespace bx {

namespace {

/** The SQL pieces in which the analyses' queries differ between the engines. */
struct Sql
{
    bool server;

    /** Whole days from `from` to `to`, counted as the change of date (day boundaries crossed). */
    QString days(const QString& to, const QString& from) const
    {
        if (server)
            return QStringLiteral("(CAST(%1 AS date) - CAST(%2 AS date))").arg(to, from);
        return QStringLiteral("CAST(julianday(date(%1)) - julianday(date(%2)) AS INTEGER)")
            .arg(to, from);
    }

    /** The present moment in GMT, as dates are stored. */
    QString now() const
    {
        return server ? QStringLiteral("CAST(now() AT TIME ZONE 'UTC' AS timestamp)")
                      : QStringLiteral("datetime('now')");
    }
};

// The moment a task was completed is its newest route row with status C. A task counts as done
// at that moment only while it is still complete; an open one is measured up to now.
const QString kCompletion =
    QStringLiteral("LEFT JOIN ROUTE r ON r.Route_Number = (SELECT Max(x.Route_Number) FROM ROUTE x "
                   "WHERE x.SCR_Number = s.SCR_Number AND x.Route_Status = 'C')");

QString endOf(const Sql& sql)
{
    return QStringLiteral("COALESCE(CASE WHEN s.SCR_Status = 'C' THEN r.Route_Date_In END, %1)")
        .arg(sql.now());
}

// Each query yields the columns the delivered items name: TaskDate (a date column, so that it
// splits into year, quarter and month), TaskOwner, and the measures Tasks (1 per task),
// TasksTurnover (days from request to completion) and DaysDelay (days beyond the target date).
QString completedQuery(const Sql& sql)
{
    return QStringLiteral(
               "SELECT r.Route_Date_In AS TaskDate, s.SCR_Owner_User_ID AS TaskOwner, 1 AS Tasks, "
               "%1 AS TasksTurnover, CASE WHEN r.Route_Date_In > s.SCR_Owner_Target_Date THEN %2 "
               "ELSE 0 END AS DaysDelay FROM SCR s %3 WHERE s.SCR_Status = 'C' AND "
               "r.Route_Number IS NOT NULL AND COALESCE(s.SCR_Template, 0) = 0")
        .arg(sql.days(QStringLiteral("r.Route_Date_In"), QStringLiteral("s.SCR_Request_Date")),
             sql.days(QStringLiteral("r.Route_Date_In"), QStringLiteral("s.SCR_Owner_Target_Date")),
             kCompletion);
}

QString initiatedQuery(const Sql& sql)
{
    const QString end = endOf(sql);
    return QStringLiteral(
               "SELECT s.SCR_Request_Date AS TaskDate, s.SCR_Owner_User_ID AS TaskOwner, "
               "1 AS Tasks, %1 AS TasksTurnover, CASE WHEN %2 > s.SCR_Owner_Target_Date "
               "THEN %3 ELSE 0 END AS DaysDelay FROM SCR s %4 WHERE s.SCR_Request_Date "
               "IS NOT NULL AND COALESCE(s.SCR_Template, 0) = 0")
        .arg(sql.days(end, QStringLiteral("s.SCR_Request_Date")), end,
             sql.days(end, QStringLiteral("s.SCR_Owner_Target_Date")), kCompletion);
}

QString lateQuery(const Sql& sql)
{
    const QString end = endOf(sql);
    return QStringLiteral("SELECT s.SCR_Owner_Target_Date AS TaskDate, s.SCR_Owner_User_ID AS "
                          "TaskOwner, 1 AS Tasks, %1 AS TasksTurnover, %2 AS DaysDelay FROM SCR s "
                          "%3 WHERE s.SCR_Owner_Target_Date IS NOT NULL AND %4 > "
                          "s.SCR_Owner_Target_Date AND s.SCR_Status <> 'X' AND "
                          "COALESCE(s.SCR_Template, 0) = 0")
        .arg(sql.days(end, QStringLiteral("s.SCR_Request_Date")),
             sql.days(end, QStringLiteral("s.SCR_Owner_Target_Date")), kCompletion, end);
}

struct Item
{
    olap::ItemType type;
    QString name;
    QString title;
    int parameter1;
    int parameter2;
    QString parentItem;
};

QList<Item> deliveredItems()
{
    using olap::ItemType;
    const auto datePart = [](const char* prefix, const char* title, olap::DatePart part) {
        return Item{ItemType::DatePart,
                    QString::fromLatin1(prefix) + QStringLiteral("TaskDate"),
                    QString::fromLatin1(title),
                    olap::kDatePartParameter,
                    int(part),
                    QStringLiteral("TaskDate")};
    };
    const auto fact = [](const char* column) {
        return Item{ItemType::Fact,
                    QString::fromLatin1(column),
                    QString::fromLatin1(column),
                    int(olap::Aggregate::Sum),
                    0,
                    QString()};
    };
    const auto formula = [](const char* expression, const char* name) {
        return Item{ItemType::Formula,
                    QString::fromLatin1(expression),
                    QString::fromLatin1(name),
                    olap::kFormulaParameter,
                    0,
                    QString()};
    };
    return {
        {ItemType::Dimension, QStringLiteral("TaskOwner"), QStringLiteral("Owner"), 0, 0, {}},
        datePart("YEAR_", "Year", olap::DatePart::Year),
        datePart("QUARTER_", "Quarter", olap::DatePart::Quarter),
        datePart("MONTH_", "Month", olap::DatePart::Month),
        fact("Tasks"),
        fact("TasksTurnover"),
        fact("DaysDelay"),
        formula("TasksTurnover / Tasks", "AverageTurnover"),
        formula("DaysDelay / Tasks", "AverageDelay"),
    };
}

void addAnalysis(StepActions& a, const QString& title, const QString& query)
{
    const QVariant yes = a.db().dialect().flag(true);
    const RecordSet added =
        a.query(QStringLiteral(
                    "INSERT INTO OLAP_REPORT (SQLQuery, CubeTitle, AllowFilter, "
                    "AllowInactiveDimArea, AllowFactFilter, AllowExpand, AllowPivot, AllowTitle, "
                    "TitleAlign) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING ID"),
                {query, title, yes, yes, yes, yes, yes, yes, 0});
    const qlonglong report = added.number(QStringLiteral("ID"));

    QHash<int, int> positions;
    for (const Item& item : deliveredItems())
        a.run(
            QStringLiteral("INSERT INTO OLAP_DIMENSION (ReportID, ItemType, Name, Title, "
                           "ItemParameter1, ItemParameter2, ItemParameter3, ParentItem, Position) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {report, int(item.type), item.name, item.title, item.parameter1, item.parameter2, 0,
             item.parentItem.isEmpty() ? QVariant() : QVariant(item.parentItem),
             positions[int(item.type)]++});
}

} // namespace

void addAnalysisTables(StepActions& a)
{
    a.run(a.ddl(QStringLiteral(
        "CREATE TABLE OLAP_REPORT (ID {identity}, SQLQuery {text}, CubeTitle {text}, "
        "AllowFilter {flag}, AllowInactiveDimArea {flag}, AllowFactFilter {flag}, "
        "AllowExpand {flag}, AllowPivot {flag}, AllowTitle {flag}, TitleAlign {int})")));
    a.run(a.ddl(QStringLiteral(
        "CREATE TABLE OLAP_DIMENSION (ID {identity}, ReportID {int}, ItemType {int}, Name {text}, "
        "Title {text}, ItemParameter1 {int}, ItemParameter2 {int}, ItemParameter3 {int}, "
        "ParentItem {text}, Position {int})")));

    const Sql sql{a.onServer()};
    addAnalysis(a, QStringLiteral("Completed tasks over time"), completedQuery(sql));
    addAnalysis(a, QStringLiteral("Initiated tasks over time"), initiatedQuery(sql));
    addAnalysis(a, QStringLiteral("Late tasks over time"), lateQuery(sql));
}

} // namespace bx
