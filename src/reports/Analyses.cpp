#include "reports/Analyses.h"

#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/schema/TaskColumns.h"

#include <QLocale>

#include <array>

namespace bx {

namespace {

QString grouped(qsizetype n)
{
    return QLocale(QLocale::English).toString(qlonglong(n));
}

struct PartName
{
    olap::DatePart part;
    const char* prefix;
    const char* title;
};

constexpr std::array<PartName, 7> kParts{{
    {olap::DatePart::Year, "YEAR_", "Year"},
    {olap::DatePart::Quarter, "QUARTER_", "Quarter"},
    {olap::DatePart::Month, "MONTH_", "Month"},
    {olap::DatePart::TenDays, "TENDAYS_", "Ten days"},
    {olap::DatePart::WeekOfYear, "WEEKOFYEAR_", "Week of year"},
    {olap::DatePart::DayOfWeek, "DAYOFWEEK_", "Day of week"},
    {olap::DatePart::DayOfMonth, "DAYOFMONTH_", "Day of month"},
}};

const PartName* partName(int code)
{
    for (const PartName& p : kParts)
        if (int(p.part) == code)
            return &p;
    return nullptr;
}

struct AggregateName
{
    olap::Aggregate aggregate;
    const char* word;
};

constexpr std::array<AggregateName, 5> kAggregates{{
    {olap::Aggregate::Sum, "Sum"},
    {olap::Aggregate::Min, "Min"},
    {olap::Aggregate::Max, "Max"},
    {olap::Aggregate::Count, "Count"},
    {olap::Aggregate::Average, "Average"},
}};

/** "CASE <status> WHEN 'A' THEN 'Active' ... END": the status as the analyses show it. */
QString statusWords(const QString& column)
{
    return QStringLiteral("CASE %1 WHEN 'A' THEN 'Active' WHEN 'C' THEN 'Complete' WHEN 'I' THEN "
                          "'Incomplete' ELSE 'Cancelled' END")
        .arg(column);
}

AnalysisItem itemOf(const RecordSet& rs, int row)
{
    AnalysisItem item;
    item.type = olap::ItemType(rs.value(row, QStringLiteral("ItemType")).toInt());
    item.name = rs.value(row, QStringLiteral("Name")).toString();
    item.title = rs.value(row, QStringLiteral("Title")).toString();
    item.parameter1 = rs.value(row, QStringLiteral("ItemParameter1")).toInt();
    item.parameter2 = rs.value(row, QStringLiteral("ItemParameter2")).toInt();
    item.parameter3 = rs.value(row, QStringLiteral("ItemParameter3")).toInt();
    item.parentItem = rs.value(row, QStringLiteral("ParentItem")).toString();
    return item;
}

bool flagOf(const RecordSet& rs, const QString& column)
{
    return rs.value(0, column).toLongLong() != 0;
}

/** The date column of a date part: its ParentItem, or its name less the prefix. */
QString dateColumnOf(const AnalysisItem& item)
{
    if (!item.parentItem.isEmpty())
        return item.parentItem;
    if (const PartName* p = partName(item.parameter2)) {
        const QString prefix = QLatin1String(p->prefix);
        if (item.name.startsWith(prefix, Qt::CaseInsensitive))
            return item.name.mid(prefix.size());
    }
    return item.name;
}

/** Items in their stored order: by type, each type in the order given. */
QList<AnalysisItem> byType(const QList<AnalysisItem>& items)
{
    QList<AnalysisItem> out;
    for (int type = 0; type <= 3; ++type)
        for (const AnalysisItem& item : items)
            if (int(item.type) == type)
                out << item;
    return out;
}

} // namespace

namespace AnalysisText {

QString overwrite(const QString& name)
{
    return QStringLiteral("Report with name '") + name + QStringLiteral("'") + QLatin1Char('\n') +
           QStringLiteral(" already exist in database. Overwirte?");
}

QString tooManyCells(qsizetype cap)
{
    return QStringLiteral("The analysis reads more than %1 cells. Narrow its query.")
        .arg(grouped(cap));
}

QString tooSlow(int seconds)
{
    return QStringLiteral("The analysis's query ran longer than %1 seconds and was stopped. "
                          "Narrow its query.")
        .arg(seconds);
}

} // namespace AnalysisText

AnalysisItem AnalysisItem::dimension(const QString& column, const QString& title, AnalysisArea area)
{
    return {olap::ItemType::Dimension, column, title, int(area), 0, 0, {}};
}

AnalysisItem AnalysisItem::datePart(const QString& column, olap::DatePart part, AnalysisArea area)
{
    return {olap::ItemType::DatePart,
            datePartPrefix(part) + column,
            datePartTitle(part),
            olap::kDatePartParameter,
            int(part),
            int(area),
            column};
}

AnalysisItem AnalysisItem::fact(const QString& column, const QString& title,
                                olap::Aggregate aggregate)
{
    return {olap::ItemType::Fact, column, title, int(aggregate), 0, 0, {}};
}

AnalysisItem AnalysisItem::formula(const QString& expression, const QString& title)
{
    return {olap::ItemType::Formula, expression, title, olap::kFormulaParameter, 0, 0, {}};
}

QString datePartPrefix(olap::DatePart part)
{
    const PartName* p = partName(int(part));
    return p ? QLatin1String(p->prefix) : QString();
}

QString datePartTitle(olap::DatePart part)
{
    const PartName* p = partName(int(part));
    return p ? QLatin1String(p->title) : QString();
}

QString aggregateName(olap::Aggregate aggregate)
{
    for (const AggregateName& a : kAggregates)
        if (a.aggregate == aggregate)
            return QLatin1String(a.word);
    return {};
}

std::optional<olap::Aggregate> aggregateNamed(const QString& word)
{
    for (const AggregateName& a : kAggregates)
        if (word.compare(QLatin1String(a.word), Qt::CaseInsensitive) == 0)
            return a.aggregate;
    return std::nullopt;
}

Analysis builtInAnalysis(BuiltInAnalysis which, const AnalysisContext& context)
{
    using olap::DatePart;
    Analysis a;
    if (which == BuiltInAnalysis::TaskOwnership) {
        a.title = AnalysisText::kTaskOwnership;
        // Tasks the same owner got in the same second with the same status, priority and
        // category are one row: "Item" says how many.
        a.query = QStringLiteral("SELECT %1 AS \"Category\", %2 AS \"Priority\", %3 AS \"Enter "
                                 "Date\", %4 AS \"Task Status\", %5 AS \"User Name\", count(*) AS "
                                 "Item FROM SCR WHERE %6 = ? GROUP BY %3, %5, %7, %2, %1")
                      .arg(scr::Category, scr::Priority, scr::OwnerDateIn, statusWords(scr::Status),
                           scr::OwnerUserId, scr::GroupId, scr::Status);
        a.params = {context.workshop};
        const QString entered = QStringLiteral("Enter Date");
        a.items = {
            AnalysisItem::dimension(QStringLiteral("Category"), QStringLiteral("Folder")),
            AnalysisItem::dimension(QStringLiteral("User Name"), QStringLiteral("User Name")),
            AnalysisItem::dimension(QStringLiteral("Task Status"), QStringLiteral("Task Status")),
            AnalysisItem::dimension(QStringLiteral("Priority"), QStringLiteral("Priority")),
            AnalysisItem::datePart(entered, DatePart::Year),
            AnalysisItem::datePart(entered, DatePart::Quarter),
            AnalysisItem::datePart(entered, DatePart::Month),
            AnalysisItem::fact(QStringLiteral("Item"), QStringLiteral("Count"),
                               olap::Aggregate::Sum),
        };
        return a;
    }
    a.title = AnalysisText::kCommonTaskInformation;
    a.query =
        QStringLiteral(
            "SELECT %1 AS \"Owner\", %2 AS \"Requester\", %3 AS \"Priority\", %4 AS \"Status\", "
            "%5 AS \"Folder\", %6 AS \"Request Date\", 1 AS \"Tasks\", CASE WHEN %7 IN ('A', 'I') "
            "AND %8 < ? THEN 1 ELSE 0 END AS \"Late tasks\" FROM SCR WHERE %9 = ? AND "
            "COALESCE(%10, 0) = 0 AND (COALESCE(%11, 0) = 0 OR %1 = ? OR %2 = ?)")
            .arg(scr::OwnerUserId, scr::RequestId, scr::Priority, statusWords(scr::Status),
                 scr::Category, scr::RequestDate, scr::Status, scr::OwnerTargetDate, scr::GroupId)
            .arg(scr::Template, scr::Sensitive);
    a.params = {context.nowGmt, context.workshop, context.userId, context.userId};
    const QString requested = QStringLiteral("Request Date");
    a.items = {
        AnalysisItem::dimension(QStringLiteral("Owner"), QStringLiteral("Owner"),
                                AnalysisArea::Vertical),
        AnalysisItem::dimension(QStringLiteral("Status"), QStringLiteral("Status"),
                                AnalysisArea::Horizontal),
        AnalysisItem::dimension(QStringLiteral("Requester"), QStringLiteral("Requester"),
                                AnalysisArea::Aside),
        AnalysisItem::dimension(QStringLiteral("Priority"), QStringLiteral("Priority"),
                                AnalysisArea::Aside),
        AnalysisItem::dimension(QStringLiteral("Folder"), QStringLiteral("Folder"),
                                AnalysisArea::Aside),
        AnalysisItem::datePart(requested, DatePart::Year, AnalysisArea::Aside),
        AnalysisItem::datePart(requested, DatePart::Quarter, AnalysisArea::Aside),
        AnalysisItem::datePart(requested, DatePart::Month, AnalysisArea::Aside),
        AnalysisItem::fact(QStringLiteral("Tasks"), QStringLiteral("Tasks"), olap::Aggregate::Sum),
        AnalysisItem::fact(QStringLiteral("Late tasks"), QStringLiteral("Late tasks"),
                           olap::Aggregate::Sum),
    };
    return a;
}

QList<AnalysisSummary> listAnalyses(Database& db)
{
    const RecordSet rs =
        db.query(QStringLiteral("SELECT ID, CubeTitle FROM OLAP_REPORT ORDER BY ID"));
    QList<AnalysisSummary> out;
    for (const QVariantList& row : rs.rows())
        out << AnalysisSummary{row.at(0).toLongLong(), row.at(1).toString()};
    return out;
}

std::optional<Analysis> loadAnalysis(Database& db, qlonglong id)
{
    const RecordSet report = db.query(
        QStringLiteral("SELECT ID, SQLQuery, CubeTitle, AllowFilter, AllowInactiveDimArea, "
                       "AllowFactFilter, AllowExpand, AllowPivot, AllowTitle, TitleAlign FROM "
                       "OLAP_REPORT WHERE ID = ?"),
        {id});
    if (report.isEmpty())
        return std::nullopt;
    Analysis a;
    a.id = id;
    a.query = report.text(QStringLiteral("SQLQuery"));
    a.title = report.text(QStringLiteral("CubeTitle"));
    a.options.allowFilter = flagOf(report, QStringLiteral("AllowFilter"));
    a.options.allowInactiveDimArea = flagOf(report, QStringLiteral("AllowInactiveDimArea"));
    a.options.allowFactFilter = flagOf(report, QStringLiteral("AllowFactFilter"));
    a.options.allowExpand = flagOf(report, QStringLiteral("AllowExpand"));
    a.options.allowPivot = flagOf(report, QStringLiteral("AllowPivot"));
    a.options.allowTitle = flagOf(report, QStringLiteral("AllowTitle"));
    a.options.titleAlign = int(report.number(QStringLiteral("TitleAlign")));

    const RecordSet items = db.query(
        QStringLiteral("SELECT ItemType, Name, Title, ItemParameter1, ItemParameter2, "
                       "ItemParameter3, ParentItem FROM OLAP_DIMENSION WHERE ReportID = ? AND "
                       "ItemType BETWEEN 0 AND 3 ORDER BY ItemType, Position, ID"),
        {id});
    for (int row = 0; row < items.rowCount(); ++row)
        a.items << itemOf(items, row);
    return a;
}

int analysesNamed(Database& db, const QString& title)
{
    return db
        .scalar(QStringLiteral("SELECT count(*) FROM OLAP_REPORT WHERE CubeTitle = ?"), {title})
        .toInt();
}

qlonglong writeAnalysis(Database& db, const Analysis& analysis, bool replaceSameName)
{
    Transaction tx(db);
    if (replaceSameName) {
        db.execute(QStringLiteral("DELETE FROM OLAP_DIMENSION WHERE ReportID IN (SELECT ID FROM "
                                  "OLAP_REPORT WHERE CubeTitle = ?)"),
                   {analysis.title});
        db.execute(QStringLiteral("DELETE FROM OLAP_REPORT WHERE CubeTitle = ?"), {analysis.title});
    }
    const Dialect& d = db.dialect();
    const AnalysisOptions& o = analysis.options;
    const RecordSet added =
        db.query(QStringLiteral(
                     "INSERT INTO OLAP_REPORT (SQLQuery, CubeTitle, AllowFilter, "
                     "AllowInactiveDimArea, AllowFactFilter, AllowExpand, AllowPivot, AllowTitle, "
                     "TitleAlign) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING ID"),
                 {analysis.query, analysis.title, d.flag(o.allowFilter),
                  d.flag(o.allowInactiveDimArea), d.flag(o.allowFactFilter), d.flag(o.allowExpand),
                  d.flag(o.allowPivot), d.flag(o.allowTitle), o.titleAlign});
    const qlonglong id = added.number(QStringLiteral("ID"));
    int positions[4] = {0, 0, 0, 0};
    for (const AnalysisItem& item : byType(analysis.items)) {
        db.execute(
            QStringLiteral("INSERT INTO OLAP_DIMENSION (ReportID, ItemType, Name, Title, "
                           "ItemParameter1, ItemParameter2, ItemParameter3, ParentItem, Position) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {id, int(item.type), item.name, item.title, item.parameter1, item.parameter2,
             item.parameter3, item.parentItem.isEmpty() ? QVariant() : QVariant(item.parentItem),
             positions[int(item.type)]++});
    }
    tx.commit();
    return id;
}

void deleteAnalysis(Database& db, qlonglong id)
{
    Transaction tx(db);
    db.execute(QStringLiteral("DELETE FROM OLAP_DIMENSION WHERE ReportID = ?"), {id});
    db.execute(QStringLiteral("DELETE FROM OLAP_REPORT WHERE ID = ?"), {id});
    tx.commit();
}

AnalysisArea areaOf(const AnalysisItem& item)
{
    const bool datePart = item.type == olap::ItemType::DatePart;
    const int value = datePart ? item.parameter3 : item.parameter1;
    switch (value) {
    case int(AnalysisArea::Vertical):
        return AnalysisArea::Vertical;
    case int(AnalysisArea::Horizontal):
        return AnalysisArea::Horizontal;
    case int(AnalysisArea::Aside):
        return AnalysisArea::Aside;
    default:
        return datePart ? AnalysisArea::Vertical : AnalysisArea::Horizontal;
    }
}

std::optional<RefusalOf<>> analysisProblem(const Analysis& analysis)
{
    bool vertical = false;
    bool fact = false;
    for (const AnalysisItem& item : analysis.items) {
        if (item.type == olap::ItemType::Fact || item.type == olap::ItemType::Formula)
            fact = true;
        else if (areaOf(item) == AnalysisArea::Vertical)
            vertical = true;
    }
    if (!vertical)
        return RefusalOf<>{QStringLiteral("Please specify at least one Vertical dimension. ")};
    if (!fact)
        return RefusalOf<>{QStringLiteral("Please specify at least one Fact. ")};
    return std::nullopt;
}

Outcome<pivot::Definition> layoutOf(const Analysis& analysis)
{
    pivot::Definition layout;
    for (const AnalysisItem& item : byType(analysis.items)) {
        switch (item.type) {
        case olap::ItemType::Dimension:
        case olap::ItemType::DatePart: {
            pivot::Dimension dimension{item.name, item.title, std::nullopt};
            if (item.type == olap::ItemType::DatePart) {
                if (!partName(item.parameter2))
                    return RefusalOf<>{
                        QStringLiteral("The analysis asks for a part of \"%1\" this program "
                                       "does not know.")
                            .arg(dateColumnOf(item))};
                dimension.column = dateColumnOf(item);
                dimension.part = olap::DatePart(item.parameter2);
            }
            const AnalysisArea area = areaOf(item);
            if (area == AnalysisArea::Vertical)
                layout.rows << dimension;
            else if (area == AnalysisArea::Horizontal)
                layout.columns << dimension;
            break;
        }
        case olap::ItemType::Fact:
            if (item.parameter1 < int(olap::Aggregate::Sum) ||
                item.parameter1 > int(olap::Aggregate::Average))
                return RefusalOf<>{QStringLiteral("The fact \"%1\" asks for an aggregate this "
                                                  "program does not know.")
                                       .arg(item.title)};
            layout.facts << pivot::Fact{item.name, item.title, olap::Aggregate(item.parameter1),
                                        false};
            break;
        case olap::ItemType::Formula:
            layout.facts << pivot::Fact{item.name, item.title, olap::Aggregate::Sum, true};
            break;
        }
    }
    return layout;
}

pivot::ColumnKind pivotKind(ResultKind kind)
{
    switch (kind) {
    case ResultKind::Number:
        return pivot::ColumnKind::Number;
    case ResultKind::Date:
        return pivot::ColumnKind::Date;
    case ResultKind::Text:
        break;
    }
    return pivot::ColumnKind::Text;
}

Outcome<QList<QueryColumn>> queryColumns(Database& db, const QString& query, int waitSeconds)
{
    if (const std::optional<QString> refusal = db.readOnlyRefusal(query))
        return RefusalOf<>{*refusal};
    const ReadOnlyRows read =
        db.queryReadOnly(query, {}, ReadCap{kDesignSampleRows, ReadCap().cells}, waitSeconds);
    const QList<ResultKind> kinds = resultKinds(read);
    QList<QueryColumn> columns;
    for (int c = 0; c < read.rows.columnCount(); ++c)
        columns << QueryColumn{read.rows.columns().at(c), pivotKind(kinds.at(c))};
    return columns;
}

Outcome<pivot::Source> readAnalysis(Database& db, const Analysis& analysis, const AnalysisRun& run)
{
    if (const std::optional<QString> refusal = db.readOnlyRefusal(analysis.query))
        return RefusalOf<>{*refusal};
    const ReadOnlyRows read =
        db.queryReadOnly(analysis.query, analysis.params,
                         ReadCap{run.limits.rows, run.limits.cells}, run.waitSeconds);
    if (read.timedOut)
        return RefusalOf<>{AnalysisText::tooSlow(run.waitSeconds)};
    if (read.capped)
        return RefusalOf<>{read.rows.rowCount() < run.limits.rows
                               ? AnalysisText::tooManyCells(run.limits.cells)
                               : pivot::tooManyRowsMessage(run.limits.rows)};
    pivot::Source source;
    source.columns = read.rows.columns();
    for (const ResultKind kind : resultKinds(read))
        source.kinds << pivotKind(kind);
    source.rows = read.rows.rows();
    source.biasSeconds = run.biasSeconds;
    return source;
}

Outcome<pivot::Grid> runAnalysis(Database& db, const Analysis& analysis,
                                 const pivot::Definition& layout, const AnalysisRun& run)
{
    Outcome<pivot::Source> source = readAnalysis(db, analysis, run);
    if (!source)
        return source.refusal() ? Outcome<pivot::Grid>(*source.refusal())
                                : Outcome<pivot::Grid>::declined();
    return pivot::build(*source, layout, run.limits);
}

pivot::Presentation presentationOf(const Analysis& analysis)
{
    return {analysis.title, analysis.options.allowTitle, analysis.options.titleAlign,
            analysis.options.allowPivot, analysis.options.allowFilter};
}

AnalysisStore::AnalysisStore(Session& session, Prompt& prompt)
    : m_session(session)
    , m_prompt(prompt)
{
}

Outcome<QList<AnalysisSummary>> AnalysisStore::list()
{
    if (auto refusal = UserRights::refuseUnlessAnalyst(m_session.user.record))
        return *refusal;
    return listAnalyses(m_session.db());
}

Outcome<Analysis> AnalysisStore::builtIn(BuiltInAnalysis which)
{
    if (auto refusal = UserRights::refuseUnlessAnalyst(m_session.user.record))
        return *refusal;
    return builtInAnalysis(
        which, {m_session.currentWorkshopId, m_session.user.userId, m_session.clock().nowUtc()});
}

Outcome<Analysis> AnalysisStore::load(qlonglong id)
{
    if (auto refusal = UserRights::refuseUnlessAnalyst(m_session.user.record))
        return *refusal;
    std::optional<Analysis> analysis = loadAnalysis(m_session.db(), id);
    if (!analysis)
        return Outcome<Analysis>::declined();
    return *analysis;
}

Outcome<Analysis> AnalysisStore::edit(const Analysis& analysis)
{
    if (auto refusal = UserRights::refuseUnlessAnalyst(m_session.user.record))
        return *refusal;
    if (analysis.isBuiltIn())
        return RefusalOf<>{QStringLiteral("Built-in report couldn't be edited.")};
    return analysis;
}

Outcome<qlonglong> AnalysisStore::save(const Analysis& analysis)
{
    if (auto refusal = UserRights::refuseUnlessAnalyst(m_session.user.record))
        return *refusal;
    if (auto problem = analysisProblem(analysis))
        return *problem;
    Database& db = m_session.db();
    const bool exists = analysesNamed(db, analysis.title) > 0;
    if (exists && m_prompt.ask(AnalysisText::overwrite(analysis.title), {}, PromptButtons::YesNo,
                               PromptIcon::Question) != PromptAnswer::Yes)
        return Outcome<qlonglong>::declined();
    return writeAnalysis(db, analysis, exists);
}

Outcome<> AnalysisStore::remove(const Analysis& analysis)
{
    if (auto refusal = UserRights::refuseUnlessAnalyst(m_session.user.record))
        return *refusal;
    if (analysis.isBuiltIn())
        return RefusalOf<>{QStringLiteral("Built-in report couln't be removed.")};
    if (m_prompt.ask(QStringLiteral("Do you really want to remove the report from Database?"), {},
                     PromptButtons::YesNo, PromptIcon::Question) != PromptAnswer::Yes)
        return Outcome<>::declined();
    deleteAnalysis(m_session.db(), analysis.id);
    return Done{};
}

} // namespace bx
