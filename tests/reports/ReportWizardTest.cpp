#include "reports/ReportWizard.h"

#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::reportwizard;
using namespace Qt::StringLiterals;

namespace {

/**
 * Signed in as ann in workshop 7, with the global-reports right, and two related tables of odd
 * names: regions and their sales (the sales' key to the region has a space and a quote in its
 * name, a note column brackets).
 */
class ReportWizardTest : public bx::test::SessionTest
{
protected:
    void arrange() override
    {
        session.currentWorkshopId = 7;
        session.user.record.globalReports = true;
        db().executeScript(
            u"CREATE TABLE WizRegion (\"Region Id\" integer PRIMARY KEY, \"Region Name\" "
            "varchar(40));\n"
            "CREATE TABLE WizSale (\"Sale No\" integer PRIMARY KEY, \"O'Brien Region\" integer "
            "REFERENCES WizRegion (\"Region Id\"), Amount numeric(12, 2), \"Note [pWorkshop]\" "
            "varchar(40))"_s);
        for (const auto& [id, name] : {std::pair{1, "North"}, {2, "South"}, {3, "Empty"}}) {
            db().execute(u"INSERT INTO WizRegion VALUES (?, ?)"_s, {id, QString::fromLatin1(name)});
        }
        const struct
        {
            int number;
            int region;
            double amount;
        } sales[] = {{10, 1, 5.5}, {11, 2, 40}, {12, 1, 20}, {13, 2, 7.25}, {14, 1, 12}};
        for (const auto& s : sales) {
            db().execute(u"INSERT INTO WizSale VALUES (?, ?, ?, ?)"_s,
                         {s.number, s.region, s.amount, u"note"_s});
        }
    }

    CDataSource tables(bool showSystem = false)
    {
        const Outcome<CDataSource> data = CDataSource::openTables(session, showSystem);
        EXPECT_TRUE(data);
        return *data;
    }

    /** The table as the catalogue spells it. */
    QString table(CDataSource& data, const QString& name)
    {
        for (const WizTableDef& t : data.tableDefs()) {
            if (t.name.compare(name, Qt::CaseInsensitive) == 0)
                return t.name;
        }
        ADD_FAILURE() << "no table " << name.toStdString();
        return name;
    }

    /** The field as the data source offers it, chosen for the report. */
    SelectedField field(CDataSource& data, const QString& tableName, const QString& name)
    {
        for (const WizFieldInfo& f : data.fields(tableName)) {
            if (f.name.compare(name, Qt::CaseInsensitive) == 0)
                return {tableName, f.name, f.type, f.kind, defaultWidth(f.kind)};
        }
        ADD_FAILURE() << "no field " << name.toStdString();
        return {};
    }

    /** A report of that title over the tables, named as the catalogue spells them. */
    Report reportOf(CDataSource& data, const QString& title, const QStringList& names)
    {
        Report report;
        report.title = title;
        for (const QString& name : names)
            report.tables << table(data, name);
        return report;
    }

    /** The names of the regions, sorted by them. */
    Report regionNames(CDataSource& data)
    {
        Report report;
        report.title = u"Regions"_s;
        report.tables = {table(data, u"WizRegion"_s)};
        report.fields = {field(data, report.tables.first(), u"Region Name"_s)};
        report.sorts = {{report.tables.first(), report.fields.first().field}};
        return report;
    }

    Outcome<RecordSet> run(const Report& report)
    {
        const Outcome<ReportLayout> layout = makeLayout(session, report);
        if (!layout)
            return *layout.refusal();
        return reportrun::runLayout(session, *layout);
    }

    static QStringList column(const RecordSet& rows, const QString& name)
    {
        QStringList out;
        for (int r = 0; r < rows.rowCount(); ++r)
            out << rows.value(r, name).toString();
        return out;
    }
};

TEST_P(ReportWizardTest, OneTableListsItsRows)
{
    CDataSource data = tables();
    const Report report = regionNames(data);

    EXPECT_EQ(query(report), u"SELECT \"Region Name\"\nFROM \""_s + report.tables.first() +
                                 u"\"\nORDER BY \"Region Name\""_s);
    const Outcome<RecordSet> rows = run(report);
    ASSERT_TRUE(rows) << rows.refusal()->message.toStdString();
    EXPECT_EQ(column(*rows, u"Region Name"_s), (QStringList{u"Empty"_s, u"North"_s, u"South"_s}));
}

TEST_P(ReportWizardTest, RelatedTablesComeBackGroupedAndSortedDescending)
{
    CDataSource data = tables();
    Report report = reportOf(data, u"Sales by region"_s, {u"WizSale"_s, u"WizRegion"_s});
    const QString sale = report.tables.at(0);
    const QString region = report.tables.at(1);
    report.relations = data.relations(report.tables);
    ASSERT_EQ(report.relations,
              (WizRelations{{region, u"Region Id"_s, sale, u"O'Brien Region"_s}}));
    const SelectedField amount = field(data, sale, u"Amount"_s);
    report.fields = {field(data, sale, u"Sale No"_s), amount,
                     field(data, sale, u"Note [pWorkshop]"_s)};
    report.groups = {{region, u"Region Name"_s, GroupOption::FooterWithTotals}};
    report.sorts = {{sale, amount.field, SortOrder::Descending}};

    const QString sql = query(report);
    EXPECT_TRUE(sql.contains(u"\""_s + sale + u"\".\"O'Brien Region\""_s)) << sql.toStdString();
    EXPECT_FALSE(sql.contains(u"].["_s)) << sql.toStdString();

    const Outcome<RecordSet> rows = run(report);
    ASSERT_TRUE(rows) << rows.refusal()->message.toStdString();
    EXPECT_EQ(column(*rows, u"Sale No"_s),
              (QStringList{u"12"_s, u"14"_s, u"10"_s, u"11"_s, u"13"_s}));
    EXPECT_EQ(column(*rows, u"Note [pWorkshop]"_s).first(), u"note"_s);

    const Outcome<ReportLayout> layout = makeLayout(session, report);
    ASSERT_TRUE(layout);
    ASSERT_EQ(layout->columns.size(), 4);
    EXPECT_TRUE(layout->columns.at(3).hidden) << "the group field is read, not shown";
    EXPECT_EQ(layout->columns.at(1).align, ReportAlign::Right);
    EXPECT_EQ(
        layout->totals,
        (QList<ReportTotal>{
            {layout->columns.at(0).field, ReportFunction::Count, ReportLevel::Group, u"Count"_s},
            {layout->columns.at(0).field, ReportFunction::Sum, ReportLevel::Group, u"Sum"_s},
            {amount.field, ReportFunction::Sum, ReportLevel::Group, u"Sum"_s}}));
    const Outcome<RenderedReport> page = reportrun::runReport(session, *layout);
    ASSERT_TRUE(page);
    const QString text = page->html;
    const qsizetype north = text.indexOf(u"Region Name: North"_s);
    const qsizetype south = text.indexOf(u"Region Name: South"_s);
    EXPECT_TRUE(north >= 0 && south > north) << text.toStdString();
    EXPECT_FALSE(text.contains(u"Region Name: Empty"_s));
    EXPECT_TRUE(text.contains(u"37.5"_s)) << "the sum of North's amounts";
}

TEST_P(ReportWizardTest, FieldsOfTheSameNameAreKeptApart)
{
    db().executeScript(u"CREATE TABLE WizLeft (Name varchar(10), Id integer); "
                       "CREATE TABLE WizRight (Name varchar(10), Id integer)"_s);
    db().execute(u"INSERT INTO WizLeft VALUES ('left', 1)"_s);
    db().execute(u"INSERT INTO WizRight VALUES ('right', 1)"_s);
    CDataSource data = tables();
    Report report = reportOf(data, u"Both"_s, {u"WizLeft"_s, u"WizRight"_s});
    const QString left = report.tables.at(0);
    const QString right = report.tables.at(1);
    report.fields = {field(data, left, u"Name"_s), field(data, right, u"Name"_s)};
    report.relations = {
        {left, field(data, left, u"Id"_s).field, right, field(data, right, u"Id"_s).field}};
    const Outcome<RecordSet> rows = run(report);
    ASSERT_TRUE(rows) << rows.refusal()->message.toStdString();
    EXPECT_EQ(rows->value(0, left + u"_"_s + report.fields.at(0).field).toString(), u"left"_s);
    EXPECT_EQ(rows->value(0, right + u"_"_s + report.fields.at(1).field).toString(), u"right"_s);
}

TEST_P(ReportWizardTest, PresetSourcesNeverReturnASensitiveTask)
{
    session.user.record.globalReports = false;
    bx::test::addUsers(db(), {u"ann"_s});
    bx::test::addWorkshop(db(), 7);
    const auto task = [&](const QString& title, bool sensitive) {
        const qlonglong number = bx::test::addTaskRow(db(), {{QString(scr::Title), title},
                                                             {QString(scr::GroupId), 7},
                                                             {QString(scr::Sensitive), sensitive}});
        db().insertNumbered(u"ROUTE"_s, u"Route_Number"_s,
                            {u"SCR_Number"_s, u"USER_ID"_s, u"Route_Status"_s},
                            {number, u"ann"_s, u"A"_s});
        db().insertNumbered(u"ATTACH"_s, u"Attach_Number"_s, {u"SCR_Number"_s, u"Attach_Type"_s},
                            {number, u"M"_s});
    };
    task(u"Open task"_s, false);
    task(u"Secret task"_s, true);

    for (const reportrun::Source source :
         {reportrun::Source::Tasks, reportrun::Source::Attachments, reportrun::Source::History}) {
        SCOPED_TRACE(reportrun::sourceName(source).toStdString());
        CDataSource data = CDataSource::openSource(session, source);
        EXPECT_TRUE(data.tableDefs().isEmpty());
        const WizFieldInfos offered = data.fields({});
        ASSERT_FALSE(offered.isEmpty());
        EXPECT_FALSE(std::any_of(offered.cbegin(), offered.cend(), [](const WizFieldInfo& f) {
            return f.name.compare(u"OLE_Data"_s, Qt::CaseInsensitive) == 0;
        }));
        Report report;
        report.title = u"Titles"_s;
        report.source = source;
        const SelectedField title = field(data, {}, QString(scr::Title));
        report.fields = {title};
        report.groups = {{{}, field(data, {}, QString(scr::Sensitive)).field}};
        report.sorts = {{{}, title.field, SortOrder::Descending}};
        const Outcome<RecordSet> rows = run(report);
        ASSERT_TRUE(rows) << rows.refusal()->message.toStdString();
        EXPECT_EQ(column(*rows, title.field), QStringList{u"Open task"_s});
    }
}

TEST_P(ReportWizardTest, CatalogueTablesNeedTheGlobalReportsRight)
{
    CDataSource data = tables();
    const Report report = regionNames(data);
    ASSERT_TRUE(makeLayout(session, report));

    session.user.record.globalReports = false;
    const Outcome<CDataSource> refused = CDataSource::openTables(session, false);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.refusal()->message, UserRights::kNoGlobalReports);
    const Outcome<ReportLayout> layout = makeLayout(session, report);
    ASSERT_FALSE(layout);
    EXPECT_EQ(layout.refusal()->message, UserRights::kNoGlobalReports);
}

TEST_P(ReportWizardTest, SystemTablesOnlyOnRequest)
{
    const auto system = [](const CDataSource& data) {
        return std::count_if(data.tableDefs().cbegin(), data.tableDefs().cend(),
                             [](const WizTableDef& t) { return t.system; });
    };
    EXPECT_EQ(system(tables(false)), 0);
    CDataSource all = tables(true);
    ASSERT_GT(system(all), 0);
    const auto first = std::find_if(all.tableDefs().cbegin(), all.tableDefs().cend(),
                                    [](const WizTableDef& t) { return t.system; });
    EXPECT_FALSE(all.fields(first->name).isEmpty()) << first->name.toStdString();
    EXPECT_TRUE(all.fields(u"NoSuchTable"_s).isEmpty());
}

BX_INSTANTIATE_ENGINES(ReportWizardTest);

TEST(ReportWizard, SummaryListsTheChoices)
{
    Report report;
    report.title = u"Sales"_s;
    report.tables = {u"Region"_s, u"Sale"_s};
    report.fields = {{u"Sale"_s, u"Amount"_s, u"numeric"_s, FieldKind::Number, 10}};
    report.groups = {{u"Region"_s, u"Name"_s}};
    report.sorts = {{u"Sale"_s, u"Amount"_s, SortOrder::Descending}};
    EXPECT_EQ(summary(report), u"Report Title: Sales\nFrom Tables: Region, Sale\nSelected Fields: "
                               "\n    Sale.Amount Type = numeric Width = 10\nSummary Group "
                               "Levels: \n    Region.Name Group Option = Header Only\nOrder By: \n"
                               "    Sale.Amount Sort Order = Dec"_s);
}

TEST(ReportWizard, FieldKindsFollowTheCatalogueTypes)
{
    const std::pair<const char*, FieldKind> cases[] = {
        {"integer", FieldKind::Number},
        {"numeric", FieldKind::Number},
        {"double precision", FieldKind::Number},
        {"money", FieldKind::Currency},
        {"CURRENCY", FieldKind::Currency},
        {"datetime", FieldKind::Date},
        {"timestamp without time zone", FieldKind::Date},
        {"citext", FieldKind::Text},
        {"character varying", FieldKind::Text},
        {"blob", FieldKind::Binary},
        {"bytea", FieldKind::Binary},
        {"oid", FieldKind::Binary},
    };
    for (const auto& [type, kind] : cases)
        EXPECT_EQ(kindOfType(QString::fromLatin1(type)), kind) << type;
}

TEST(ReportWizard, CurrencyFieldsAreFormattedAsMoney)
{
    Report report;
    report.title = u"Prices"_s;
    report.source = reportrun::Source::Tasks;
    report.fields = {{{}, u"Price"_s, u"money"_s, FieldKind::Currency, 12},
                     {{}, u"Due"_s, u"datetime"_s, FieldKind::Date, 12}};
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(u"MRBX.conf"_s));
    bx::test::FixedClock clock;
    Session session(settings, clock);
    const Outcome<ReportLayout> layout = makeLayout(session, report);
    ASSERT_TRUE(layout) << layout.refusal()->message.toStdString();
    EXPECT_EQ(layout->columns.at(0).format, ReportFormat::Currency);
    EXPECT_EQ(layout->columns.at(0).align, ReportAlign::Right);
    EXPECT_EQ(layout->columns.at(1).format, ReportFormat::Date);
    EXPECT_EQ(layout->style, ReportStyle::Compact);
    EXPECT_TRUE(layout->query.startsWith(u"PARAMETERS pWorkshop"_s));
}

} // namespace
