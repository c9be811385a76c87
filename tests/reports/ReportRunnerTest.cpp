#include "reports/ReportRunner.h"

#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "reports/StandardReports.h"
#include "support/Lifecycles.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::reportrun;
using namespace Qt::StringLiterals;

namespace {

/** A moment in GMT. */
QDateTime gmt(int month, int day, int hour = 8)
{
    return naive(QDate(2024, month, day), QTime(hour, 0));
}

/**
 * Workshop 7 of ann and bob, signed in as ann on Wednesday 8 May 2024 at 10:00, two hours east of
 * GMT (the week began on Monday 6 May, 5 May 22:00 GMT). Tasks:
 * - "Alpha task" (ann): due 1 May, completed and reported on ("Status - Issue with supplier")
 *   on 7 May;
 * - "Beta task" (ann): no due date, no report;
 * - "Secret task" (bob, sensitive): no due date, completed and reported on 7 May;
 * - "Elsewhere task" (carol, workshop 8): no due date, completed and reported on 7 May.
 */
class ReportRunnerTest : public bx::test::SessionTest
{
protected:
    void arrange() override
    {
        clock.setStandardOffsetSeconds(2 * 3600);
        clock.set(naive(QDate(2024, 5, 8), QTime(10, 0)));
        session.currentWorkshopId = 7;
        bx::test::addUsers(db(), {u"ann"_s, u"bob"_s, u"carol"_s});
        bx::test::addWorkshop(db(), 7);
        bx::test::addWorkshop(db(), 8);
        bx::test::addCategories(db(), {u"Build"_s});
        bx::test::addMembers(db(), 7, {u"ann"_s, u"bob"_s});
        bx::test::addMembers(db(), 8, {u"carol"_s});

        alpha = task(u"Alpha task"_s, u"ann"_s, 7, gmt(5, 1));
        beta = task(u"Beta task"_s, u"ann"_s, 7, {});
        secret = task(u"Secret task"_s, u"bob"_s, 7, {}, true);
        elsewhere = task(u"Elsewhere task"_s, u"carol"_s, 8, {});
        for (const qlonglong t : {alpha, secret, elsewhere}) {
            db().insertNumbered(
                u"ROUTE"_s, u"Route_Number"_s,
                {u"SCR_Number"_s, u"USER_ID"_s, u"Route_Date_In"_s, u"Route_Status"_s},
                {t, u"ann"_s, gmt(5, 7), u"C"_s});
            db().insertNumbered(
                u"ATTACH"_s, u"Attach_Number"_s,
                {u"SCR_Number"_s, u"Attach_Title"_s, u"Attach_Type"_s, u"Attach_Owner"_s,
                 u"Attach_Date"_s},
                {t, u"Status - Issue with supplier"_s, u"M"_s, u"ann"_s, gmt(5, 7)});
        }
    }

    qlonglong task(const QString& title, const QString& owner, int workshop, const QVariant& due,
                   bool sensitive = false)
    {
        return bx::test::addTaskRow(db(), {{QString(scr::Title), title},
                                           {QString(scr::OwnerUserId), owner},
                                           {QString(scr::GroupId), workshop},
                                           {QString(scr::OwnerTargetDate), due},
                                           {QString(scr::Sensitive), sensitive},
                                           {QString(scr::Category), u"Build"_s}});
    }

    static ReportLayout delivered(int number)
    {
        QFile file(QStringLiteral(BX_TEST_SOURCE_DIR "/../data/reports/") +
                   StandardReports::byNumber(number).fileName());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        QString error;
        const std::optional<ReportLayout> layout = ReportLayout::fromJson(file.readAll(), &error);
        EXPECT_TRUE(layout) << error.toStdString();
        return layout.value_or(ReportLayout());
    }

    /** A layout over a source, showing the task number and title. */
    static ReportLayout sourceLayout(Source source)
    {
        ReportLayout l;
        l.title = sourceName(source);
        useSource(l, source);
        l.columns = {{u"SCR_Number"_s, u"ID"_s}, {u"SCR_Title"_s, u"Title"_s}};
        return l;
    }

    /** An own query of the tasks' number alone, asking nothing. */
    static ReportLayout writing(const QString& sql)
    {
        ReportLayout l = sourceLayout(Source::Tasks);
        l.query = sql;
        l.parameters.clear();
        l.columns = {{u"SCR_Number"_s, u"ID"_s}};
        return l;
    }

    static QList<qlonglong> numbers(const RecordSet& rows)
    {
        QList<qlonglong> out;
        for (int i = 0; i < rows.rowCount(); ++i)
            out << rows.value(i, u"SCR_Number"_s).toLongLong();
        return out;
    }

    int logged()
    {
        QFile log(session.errorLog().path());
        if (!log.open(QIODevice::ReadOnly))
            return 0;
        return int(QString::fromUtf8(log.readAll()).count(u"Report Designer Error"_s));
    }

    qlonglong alpha = 0;
    qlonglong beta = 0;
    qlonglong secret = 0;
    qlonglong elsewhere = 0;
};

// Each delivered report lists what it is about for the signed-in user, and never another user's
// sensitive task or a task of another workshop's member.
TEST_P(ReportRunnerTest, RunsTheNineDeliveredReports)
{
    struct Case
    {
        int number;
        QStringList listed;
        QStringList left;
    };
    const QString a = u"Alpha task"_s;
    const QString b = u"Beta task"_s;
    const Case cases[] = {
        {1, {a}, {b}}, {2, {a}, {b}}, {3, {b}, {a}}, {4, {a}, {b}},   {5, {a}, {b}},
        {6, {b}, {a}}, {7, {a}, {b}}, {8, {a}, {b}}, {9, {a, b}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        const Outcome<RenderedReport> report = runReport(session, delivered(c.number));
        ASSERT_TRUE(report) << report.refusal()->message.toStdString();
        EXPECT_EQ(report->title, StandardReports::byNumber(c.number).title);
        for (const QString& title : c.listed)
            EXPECT_TRUE(report->html.contains(title)) << title.toStdString();
        for (const QString& title : c.left + QStringList{u"Secret task"_s, u"Elsewhere task"_s})
            EXPECT_FALSE(report->html.contains(title)) << title.toStdString();
    }
}

// A source holds the workshop's tasks that are not sensitive, in the order its layout puts
// before the source's own, on both engines.
TEST_P(ReportRunnerTest, SourcesHoldTheWorkshopsTasksThatAreNotSensitiveInTheOrderPutFirst)
{
    struct Case
    {
        Source source;
        QStringList extraColumns;
        QList<ReportSort> sorts;
        QList<qlonglong> sorted;
    };
    const Case cases[] = {
        {Source::Tasks,
         {},
         {{u"SCR_Owner_User_ID"_s, false}, {u"SCR_Title"_s, true}},
         {beta, alpha}}, // "Beta task" before "Alpha task"
        {Source::Attachments,
         {u"Attach_Title"_s, u"Attach_Date"_s},
         {{u"Attach_Date"_s, true}},
         {alpha}},
        {Source::History,
         {u"Route_Status"_s, u"Route_Date_In"_s},
         {{u"Route_Date_In"_s, true}},
         {alpha}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(sourceName(c.source).toStdString());
        ReportLayout layout = sourceLayout(c.source);
        EXPECT_EQ(layout.validationError(), QString());
        EXPECT_FALSE(layout.parameters.at(0).ask);
        // The workshop is the session's, whatever a caller passes for it.
        const Outcome<RecordSet> rows = runLayout(session, layout, {{u"pWorkshop"_s, 8}});
        ASSERT_TRUE(rows) << rows.refusal()->message.toStdString();
        const QList<qlonglong> expected =
            c.source == Source::Tasks ? QList<qlonglong>{alpha, beta} : QList<qlonglong>{alpha};
        EXPECT_EQ(numbers(*rows), expected);
        for (const QString& column : c.extraColumns)
            EXPECT_TRUE(rows->hasColumn(column)) << column.toStdString();
        EXPECT_FALSE(rows->hasColumn(u"OLE_Data"_s));

        useSource(layout, c.source, c.sorts);
        const Outcome<RecordSet> sorted = runLayout(session, layout);
        ASSERT_TRUE(sorted) << sorted.refusal()->message.toStdString();
        EXPECT_EQ(numbers(*sorted), c.sorted);
    }
}

TEST_P(ReportRunnerTest, AskedValuesReplaceTheirDefaults)
{
    ReportLayout layout = delivered(4); // over due before [pToday]
    // Due before 1 May: nothing; the default (today) lists Alpha, due on 1 May.
    const Outcome<RecordSet> none = runLayout(session, layout, {{u"ptoday"_s, gmt(4, 30)}});
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->isEmpty());
    const Outcome<RecordSet> some = runLayout(session, layout);
    ASSERT_TRUE(some);
    EXPECT_EQ(numbers(*some), QList<qlonglong>{alpha});
    // Signed in as another user through a value for a parameter that is never asked: ignored.
    const Outcome<RecordSet> asBob = runLayout(session, delivered(9), {{u"pUser"_s, u"bob"_s}});
    ASSERT_TRUE(asBob);
    EXPECT_FALSE(numbers(*asBob).contains(secret));
}

TEST_P(ReportRunnerTest, RefusesWhatCannotRunAndLogsIt)
{
    ReportLayout brokenQuery = sourceLayout(Source::Tasks);
    brokenQuery.query.replace(u"FROM SCR"_s, u"FROM NO_SUCH_TABLE"_s);
    ReportLayout missingColumn = sourceLayout(Source::Tasks);
    missingColumn.columns.append({u"Hours"_s, u"Hours"_s});
    ReportLayout noValue = delivered(4);
    noValue.parameters[0].defaultValue.clear();
    ReportLayout invalid = sourceLayout(Source::Tasks);
    invalid.columns.clear();

    struct Case
    {
        const char* what;
        ReportLayout layout;
        const char* reason;
    };
    const Case cases[] = {
        {"failing query", brokenQuery, "The report's query failed: "},
        {"missing column", missingColumn, "The report's query gives no column \"Hours\"."},
        {"value missing", noValue, "The report needs a value for \"Due before\"."},
        {"invalid layout", invalid, "The report cannot be run: the layout has no columns"},
        {"writing query", writing(u"DELETE FROM SCR"_s), "The report's query cannot run: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = logged();
        const Outcome<RenderedReport> report = runReport(session, c.layout);
        ASSERT_FALSE(report);
        ASSERT_TRUE(report.refusal());
        EXPECT_TRUE(report.refusal()->message.startsWith(QLatin1String(c.reason)))
            << report.refusal()->message.toStdString();
        EXPECT_EQ(logged(), before + 1);
    }
}

// What a user types for a parameter is bound as its kind; what does not read is refused by name.
TEST_P(ReportRunnerTest, TypedValuesAreBoundAsTheirKind)
{
    const auto param = [](ReportParameterType type) {
        return ReportParameter{u"p"_s, u"Since"_s, type, {}, true};
    };
    struct Case
    {
        ReportParameterType type;
        const char* typed;
        QVariant value; ///< invalid: refused
    };
    const Case cases[] = {
        // A local day starts two hours earlier in GMT.
        {ReportParameterType::Date, "2024-05-01", gmt(4, 30, 22)},
        {ReportParameterType::Date, " weekStart ", gmt(5, 5, 22)},
        {ReportParameterType::Date, "1 May", {}},
        {ReportParameterType::Number, "2.5", 2.5},
        {ReportParameterType::Number, "12", qlonglong(12)},
        {ReportParameterType::Number, "twelve", {}},
        {ReportParameterType::Workshop, "currentWorkshop", qlonglong(7)},
        {ReportParameterType::Workshop, "8", qlonglong(8)},
        {ReportParameterType::Workshop, "Desk", {}},
        {ReportParameterType::Text, "O'Brien", u"O'Brien"_s},
        {ReportParameterType::User, "currentUser", u"ann"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const Outcome<QVariant> value =
            typedValue(session, param(c.type), QString::fromLatin1(c.typed));
        if (!c.value.isValid()) {
            ASSERT_TRUE(value.refusal());
            EXPECT_TRUE(value.refusal()->message.startsWith("\"Since\" needs "_L1));
            continue;
        }
        ASSERT_TRUE(value);
        EXPECT_EQ(*value, c.value);
    }
}

// What each format holds is ReportLayoutTest's; a layout the program cannot read is refused and
// logged.
TEST_P(ReportRunnerTest, RefusesALayoutOfANewerFormat)
{
    ReportLayout layout = sourceLayout(Source::Tasks);
    layout.style = ReportStyle::Formal;
    QByteArray format3 = layout.toJson();
    ASSERT_TRUE(format3.contains("\"format\": 2"));
    format3.replace("\"format\": 2", "\"format\": 3");
    const int before = logged();
    const Outcome<ReportLayout> refused = readLayout(session, format3);
    ASSERT_TRUE(refused.refusal());
    EXPECT_EQ(refused.refusal()->message,
              u"The report cannot be read: the layout is of format 3, newer than "
              "this program reads (2)"_s);
    EXPECT_EQ(logged(), before + 1);
}

// The fields offered for columns are those of the result, typed; an own query runs with Null for
// a value it would ask without a default.
TEST_P(ReportRunnerTest, OffersTheColumnsOfSourcesAndOwnQueries)
{
    const Outcome<QList<ResultColumn>> tasks = resultColumns(session, sourceLayout(Source::Tasks));
    ASSERT_TRUE(tasks) << tasks.refusal()->message.toStdString();
    const auto kindOf = [&](const QString& name) -> std::optional<ResultKind> {
        for (const ResultColumn& c : *tasks) {
            if (c.name.compare(name, Qt::CaseInsensitive) == 0)
                return c.kind;
        }
        return std::nullopt;
    };
    EXPECT_EQ(kindOf(u"SCR_Number"_s), ResultKind::Number);
    EXPECT_EQ(kindOf(u"SCR_Title"_s), ResultKind::Text);
    EXPECT_EQ(kindOf(u"SCR_Owner_Target_Date"_s), ResultKind::Date);
    EXPECT_FALSE(kindOf(u"OLE_Data"_s));

    ReportLayout own = sourceLayout(Source::Tasks);
    own.query = u"PARAMETERS pTitle Text;\nSELECT SCR_Title AS Caption, SCR_Number "
                "FROM SCR WHERE SCR_Title = [pTitle]"_s;
    own.parameters = {{u"pTitle"_s, u"Title"_s, ReportParameterType::Text, QString(), true}};
    const Outcome<QList<ResultColumn>> columns = resultColumns(session, own);
    ASSERT_TRUE(columns) << columns.refusal()->message.toStdString();
    ASSERT_EQ(columns->size(), 2);
    EXPECT_EQ(columns->at(0).name.toLower(), u"caption"_s);
    EXPECT_EQ(columns->at(1).name.toLower(), u"scr_number"_s);
}

// An own query that would write is refused, whether its fields are read or it runs, and nothing
// changes, on either engine.
TEST_P(ReportRunnerTest, AnOwnQueryThatWritesIsRefusedAndWritesNothing)
{
    const char* const statements[] = {
        "UPDATE SCR SET SCR_Title = 'x'",
        "WITH gone AS (DELETE FROM SCR RETURNING SCR_Number) SELECT SCR_Number FROM gone",
        "SELECT SCR_Number FROM SCR; DELETE FROM SCR",
    };
    const QString titles = u"SELECT COUNT(*) FROM SCR WHERE SCR_Title LIKE '%task'"_s;
    const qlonglong before = db().scalar(titles).toLongLong();
    for (const char* sql : statements) {
        SCOPED_TRACE(sql);
        const ReportLayout writes = writing(QString::fromLatin1(sql));
        ASSERT_EQ(writes.validationError(), QString());
        const Outcome<QList<ResultColumn>> columns = resultColumns(session, writes);
        ASSERT_TRUE(columns.refusal());
        EXPECT_TRUE(columns.refusal()->message.startsWith("The report's query"_L1));
        EXPECT_FALSE(runReport(session, writes));
        EXPECT_EQ(db().scalar(titles).toLongLong(), before);
    }
    EXPECT_EQ(before, 4);
}

BX_INSTANTIATE_ENGINES(ReportRunnerTest);

} // namespace
