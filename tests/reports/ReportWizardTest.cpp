#include "reports/ReportWizard.h"

#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::reportwizard;

namespace {

/**
 * Signed in as ann in workshop 7, with the global-reports right, and two related tables of odd
 * names: regions and their sales (the sales' key to the region has a space and a quote in its
 * name, a note column brackets).
 */
class ReportWizardTest : public bx::test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        session.currentWorkshopId = 7;
        session.user.record.globalReports = true;
        db().executeScript(QStringLiteral(
            "CREATE TABLE WizRegion (\"Region Id\" integer PRIMARY KEY, \"Region Name\" "
            "varchar(40));\n"
            "CREATE TABLE WizSale (\"Sale No\" integer PRIMARY KEY, \"O'Brien Region\" integer "
            "REFERENCES WizRegion (\"Region Id\"), Amount numeric(12, 2), \"Note [pWorkshop]\" "
            "varchar(40))"));
        for (const auto& [id, name] : {std::pair{1, "North"}, {2, "South"}, {3, "Empty"}}) {
            db().execute(QStringLiteral("INSERT INTO WizRegion VALUES (?, ?)"),
                         {id, QString::fromLatin1(name)});
        }
        const struct
        {
            int number;
            int region;
            double amount;
        } sales[] = {{10, 1, 5.5}, {11, 2, 40}, {12, 1, 20}, {13, 2, 7.25}, {14, 1, 12}};
        for (const auto& s : sales) {
            db().execute(QStringLiteral("INSERT INTO WizSale VALUES (?, ?, ?, ?)"),
                         {s.number, s.region, s.amount, QStringLiteral("note")});
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
        report.title = QStringLiteral("Regions");
        report.tables = {table(data, QStringLiteral("WizRegion"))};
        report.fields = {field(data, report.tables.first(), QStringLiteral("Region Name"))};
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

    EXPECT_EQ(query(report), QStringLiteral("SELECT \"Region Name\"\nFROM \"") +
                                 report.tables.first() +
                                 QStringLiteral("\"\nORDER BY \"Region Name\""));
    const Outcome<RecordSet> rows = run(report);
    ASSERT_TRUE(rows) << rows.refusal()->message.toStdString();
    EXPECT_EQ(
        column(*rows, QStringLiteral("Region Name")),
        (QStringList{QStringLiteral("Empty"), QStringLiteral("North"), QStringLiteral("South")}));
}

TEST_P(ReportWizardTest, RelatedTablesComeBackGroupedAndSortedDescending)
{
    CDataSource data = tables();
    Report report = reportOf(data, QStringLiteral("Sales by region"),
                             {QStringLiteral("WizSale"), QStringLiteral("WizRegion")});
    const QString sale = report.tables.at(0);
    const QString region = report.tables.at(1);
    report.relations = data.relations(report.tables);
    ASSERT_EQ(report.relations, (WizRelations{{region, QStringLiteral("Region Id"), sale,
                                               QStringLiteral("O'Brien Region")}}));
    const SelectedField amount = field(data, sale, QStringLiteral("Amount"));
    report.fields = {field(data, sale, QStringLiteral("Sale No")), amount,
                     field(data, sale, QStringLiteral("Note [pWorkshop]"))};
    report.groups = {{region, QStringLiteral("Region Name"), GroupOption::FooterWithTotals}};
    report.sorts = {{sale, amount.field, SortOrder::Descending}};

    const QString sql = query(report);
    EXPECT_TRUE(sql.contains(QStringLiteral("\"") + sale + QStringLiteral("\".\"O'Brien Region\"")))
        << sql.toStdString();
    EXPECT_FALSE(sql.contains(QStringLiteral("].["))) << sql.toStdString();

    const Outcome<RecordSet> rows = run(report);
    ASSERT_TRUE(rows) << rows.refusal()->message.toStdString();
    EXPECT_EQ(column(*rows, QStringLiteral("Sale No")),
              (QStringList{QStringLiteral("12"), QStringLiteral("14"), QStringLiteral("10"),
                           QStringLiteral("11"), QStringLiteral("13")}));
    EXPECT_EQ(column(*rows, QStringLiteral("Note [pWorkshop]")).first(), QStringLiteral("note"));

    const Outcome<ReportLayout> layout = makeLayout(session, report);
    ASSERT_TRUE(layout);
    ASSERT_EQ(layout->columns.size(), 4);
    EXPECT_TRUE(layout->columns.at(3).hidden) << "the group field is read, not shown";
    EXPECT_EQ(layout->columns.at(1).align, ReportAlign::Right);
    EXPECT_EQ(layout->totals,
              (QList<ReportTotal>{
                  {layout->columns.at(0).field, ReportFunction::Count, ReportLevel::Group,
                   QStringLiteral("Count")},
                  {layout->columns.at(0).field, ReportFunction::Sum, ReportLevel::Group,
                   QStringLiteral("Sum")},
                  {amount.field, ReportFunction::Sum, ReportLevel::Group, QStringLiteral("Sum")}}));
    const Outcome<RenderedReport> page = reportrun::runReport(session, *layout);
    ASSERT_TRUE(page);
    const QString text = page->html;
    const qsizetype north = text.indexOf(QStringLiteral("Region Name: North"));
    const qsizetype south = text.indexOf(QStringLiteral("Region Name: South"));
    EXPECT_TRUE(north >= 0 && south > north) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("Region Name: Empty")));
    EXPECT_TRUE(text.contains(QStringLiteral("37.5"))) << "the sum of North's amounts";
}

TEST_P(ReportWizardTest, FieldsOfTheSameNameAreKeptApart)
{
    db().executeScript(QStringLiteral("CREATE TABLE WizLeft (Name varchar(10), Id integer); "
                                      "CREATE TABLE WizRight (Name varchar(10), Id integer)"));
    db().execute(QStringLiteral("INSERT INTO WizLeft VALUES ('left', 1)"));
    db().execute(QStringLiteral("INSERT INTO WizRight VALUES ('right', 1)"));
    CDataSource data = tables();
    Report report = reportOf(data, QStringLiteral("Both"),
                             {QStringLiteral("WizLeft"), QStringLiteral("WizRight")});
    const QString left = report.tables.at(0);
    const QString right = report.tables.at(1);
    report.fields = {field(data, left, QStringLiteral("Name")),
                     field(data, right, QStringLiteral("Name"))};
    report.relations = {{left, field(data, left, QStringLiteral("Id")).field, right,
                         field(data, right, QStringLiteral("Id")).field}};
    const Outcome<RecordSet> rows = run(report);
    ASSERT_TRUE(rows) << rows.refusal()->message.toStdString();
    EXPECT_EQ(rows->value(0, left + QStringLiteral("_") + report.fields.at(0).field).toString(),
              QStringLiteral("left"));
    EXPECT_EQ(rows->value(0, right + QStringLiteral("_") + report.fields.at(1).field).toString(),
              QStringLiteral("right"));
}

TEST_P(ReportWizardTest, PresetSourcesNeverReturnASensitiveTask)
{
    session.user.record.globalReports = false;
    bx::test::addUsers(db(), {QStringLiteral("ann")});
    bx::test::addWorkshop(db(), 7);
    const auto task = [&](const QString& title, bool sensitive) {
        const qlonglong number = bx::test::addTaskRow(db(), {{QString(scr::Title), title},
                                                             {QString(scr::GroupId), 7},
                                                             {QString(scr::Sensitive), sensitive}});
        db().insertNumbered(QStringLiteral("ROUTE"), QStringLiteral("Route_Number"),
                            {QStringLiteral("SCR_Number"), QStringLiteral("USER_ID"),
                             QStringLiteral("Route_Status")},
                            {number, QStringLiteral("ann"), QStringLiteral("A")});
        db().insertNumbered(QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
                            {QStringLiteral("SCR_Number"), QStringLiteral("Attach_Type")},
                            {number, QStringLiteral("M")});
    };
    task(QStringLiteral("Open task"), false);
    task(QStringLiteral("Secret task"), true);

    for (const reportrun::Source source :
         {reportrun::Source::Tasks, reportrun::Source::Attachments, reportrun::Source::History}) {
        SCOPED_TRACE(reportrun::sourceName(source).toStdString());
        CDataSource data = CDataSource::openSource(session, source);
        EXPECT_TRUE(data.tableDefs().isEmpty());
        const WizFieldInfos offered = data.fields({});
        ASSERT_FALSE(offered.isEmpty());
        EXPECT_FALSE(std::any_of(offered.cbegin(), offered.cend(), [](const WizFieldInfo& f) {
            return f.name.compare(QStringLiteral("OLE_Data"), Qt::CaseInsensitive) == 0;
        }));
        Report report;
        report.title = QStringLiteral("Titles");
        report.source = source;
        const SelectedField title = field(data, {}, QString(scr::Title));
        report.fields = {title};
        report.groups = {{{}, field(data, {}, QString(scr::Sensitive)).field}};
        report.sorts = {{{}, title.field, SortOrder::Descending}};
        const Outcome<RecordSet> rows = run(report);
        ASSERT_TRUE(rows) << rows.refusal()->message.toStdString();
        EXPECT_EQ(column(*rows, title.field), QStringList{QStringLiteral("Open task")});
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
    EXPECT_TRUE(all.fields(QStringLiteral("NoSuchTable")).isEmpty());
}

BX_INSTANTIATE_ENGINES(ReportWizardTest);

TEST(ReportWizard, SummaryListsTheChoices)
{
    Report report;
    report.title = QStringLiteral("Sales");
    report.tables = {QStringLiteral("Region"), QStringLiteral("Sale")};
    report.fields = {{QStringLiteral("Sale"), QStringLiteral("Amount"), QStringLiteral("numeric"),
                      FieldKind::Number, 10}};
    report.groups = {{QStringLiteral("Region"), QStringLiteral("Name")}};
    report.sorts = {{QStringLiteral("Sale"), QStringLiteral("Amount"), SortOrder::Descending}};
    EXPECT_EQ(summary(report), QStringLiteral("Report Title: Sales\n"
                                              "From Tables: Region, Sale\n"
                                              "Selected Fields: \n"
                                              "    Sale.Amount Type = numeric Width = 10\n"
                                              "Summary Group Levels: \n"
                                              "    Region.Name Group Option = Header Only\n"
                                              "Order By: \n"
                                              "    Sale.Amount Sort Order = Dec"));
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
    report.title = QStringLiteral("Prices");
    report.source = reportrun::Source::Tasks;
    report.fields = {
        {{}, QStringLiteral("Price"), QStringLiteral("money"), FieldKind::Currency, 12},
        {{}, QStringLiteral("Due"), QStringLiteral("datetime"), FieldKind::Date, 12}};
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("MRBX.conf")));
    bx::test::FixedClock clock;
    Session session(settings, clock);
    const Outcome<ReportLayout> layout = makeLayout(session, report);
    ASSERT_TRUE(layout) << layout.refusal()->message.toStdString();
    EXPECT_EQ(layout->columns.at(0).format, ReportFormat::Currency);
    EXPECT_EQ(layout->columns.at(0).align, ReportAlign::Right);
    EXPECT_EQ(layout->columns.at(1).format, ReportFormat::Date);
    EXPECT_EQ(layout->style, ReportStyle::Compact);
    EXPECT_TRUE(layout->query.startsWith(QStringLiteral("PARAMETERS pWorkshop")));
}

} // namespace
