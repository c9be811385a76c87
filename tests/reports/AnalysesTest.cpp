#include "reports/Analyses.h"

#include "core/UserRights.h"
#include "core/db/Database.h"
#include "support/RefuseInserts.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
using olap::Aggregate;
using olap::DatePart;

namespace {

QDateTime at(int year, int month, int day, int hour = 9, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, 0, second), Qt::UTC);
}

class AnalysesTest : public test::SessionTest
{
protected:
    void arrange() override
    {
        session.user.record.userId = u"ann"_s;
        session.user.record.businessIntelligence = true;
        session.currentWorkshopId = 7;
        test::addUsers(db(), {u"ann"_s, u"bob"_s});
    }

    /** A designed analysis over the tasks: owner down, status across, two facts, a formula. */
    static Analysis designed(const QString& title = u"O'Brien's \"tasks\""_s)
    {
        Analysis a;
        a.title = title;
        a.query = u"SELECT SCR_Owner_User_ID AS Owner, SCR_Status AS Status, "
                  "SCR_Request_Date AS Asked, 1 AS Tasks FROM SCR"_s;
        a.options.allowFilter = false;
        a.options.titleAlign = 2;
        a.items = {
            AnalysisItem::fact(u"Tasks"_s, u"Tasks"_s, Aggregate::Sum),
            AnalysisItem::dimension(u"Owner"_s, u"Owner"_s, AnalysisArea::Vertical),
            AnalysisItem::datePart(u"Asked"_s, DatePart::Year, AnalysisArea::Vertical),
            AnalysisItem::dimension(u"Status"_s, u"Status"_s, AnalysisArea::Horizontal),
            AnalysisItem::formula(u"Tasks / 2"_s, u"Half"_s),
            AnalysisItem::fact(u"Tasks"_s, u"Counted"_s, Aggregate::Count),
        };
        return a;
    }

    int count(const QString& sql, const QVariantList& params = {})
    {
        return db().scalar(sql, params).toInt();
    }
    int named(const QString& title) { return analysesNamed(db(), title); }
    int items() { return count(u"SELECT count(*) FROM OLAP_DIMENSION"_s); }

    AnalysisStore store() { return AnalysisStore(session, prompt); }

    /** Runs an analysis as laid out by its items. */
    Outcome<pivot::Grid> run(const Analysis& a, const AnalysisRun& how = {})
    {
        const Outcome<pivot::Definition> layout = layoutOf(a);
        EXPECT_TRUE(layout) << (layout.refusal() ? layout.refusal()->message.toStdString() : "");
        return runAnalysis(db(), a, layout ? *layout : pivot::Definition(), how);
    }

    static Analysis over(const QString& query, QList<AnalysisItem> items)
    {
        Analysis a;
        a.title = u"probe"_s;
        a.query = query;
        a.items = std::move(items);
        return a;
    }

    static QString refusalOf(const Outcome<pivot::Grid>& outcome)
    {
        return outcome.refusal() ? outcome.refusal()->message : QString();
    }

    /** The grid value of the row member `row` (first dimension) in the total column. */
    static QVariant rowTotal(const pivot::Grid& grid, const QString& row, int fact = 0)
    {
        const pivot::Axis& rows = grid.rows();
        for (int r = 0; r < rows.size(); ++r)
            if (rows.entries[r].path.size() == 1 && rows.label(r, 0) == row)
                return grid.value(r, grid.columns().size() - 1, fact);
        return u"no row %1"_s.arg(row);
    }
};

} // namespace

// What is saved reads back as it was, the items in their type's order and each type's order.
TEST_P(AnalysesTest, SavedAnalysesReloadEqual)
{
    const Analysis saved = designed();
    const Outcome<qlonglong> id = store().save(saved);
    ASSERT_TRUE(id);
    const Outcome<Analysis> loaded = store().load(*id);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->title, saved.title);
    EXPECT_EQ(loaded->query, saved.query);
    EXPECT_EQ(loaded->options, saved.options);
    const QList<AnalysisItem> expected{saved.items[1], saved.items[3], saved.items[2],
                                       saved.items[0], saved.items[5], saved.items[4]};
    EXPECT_EQ(loaded->items, expected);
    EXPECT_EQ(store().list()->size(), 4) << "the three delivered and this one";
    EXPECT_EQ(store().list()->last(), (AnalysisSummary{*id, saved.title}));
    EXPECT_FALSE(store().load(*id + 100)) << "a removed analysis is declined";
}

// Answering Yes replaces every analysis of the name with the new one in one transaction; No,
// or a save that fails, leaves them all.
TEST_P(AnalysesTest, OverwritingReplacesEveryAnalysisOfTheNameOrNone)
{
    const struct
    {
        PromptAnswer answer;
        bool failing;
        int left;      ///< analyses of the name afterwards
        int itemsLeft; ///< their items
    } cases[] = {
        {PromptAnswer::Yes, false, 1, 5},
        {PromptAnswer::No, false, 2, 12},
        {PromptAnswer::Yes, true, 2, 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.answer) * 10 + c.failing);
        const QString title = u"Twice %1%2"_s.arg(int(c.answer)).arg(c.failing);
        // Two of one name, as an older program left them; each keeps its own items.
        const qlonglong first = writeAnalysis(db(), designed(title), false);
        const qlonglong second = writeAnalysis(db(), designed(title), false);
        EXPECT_EQ(count(u"SELECT count(*) FROM OLAP_DIMENSION WHERE ReportID = ?"_s, {second}), 6);
        if (c.failing)
            test::refuseInserts(db(), u"OLAP_DIMENSION"_s, u"NEW.Title = 'Half'"_s,
                                u"refuse_half"_s);
        Analysis changed = designed(title);
        changed.items.removeLast();
        prompt.answer(c.answer);
        if (c.failing) {
            EXPECT_THROW(store().save(changed), DbError);
        } else {
            const Outcome<qlonglong> saved = store().save(changed);
            EXPECT_EQ(bool(saved), c.answer == PromptAnswer::Yes);
            EXPECT_FALSE(saved.refusal());
        }
        EXPECT_EQ(prompt.last().text, AnalysisText::overwrite(title));
        EXPECT_EQ(named(title), c.left);
        EXPECT_EQ(count(u"SELECT count(*) FROM OLAP_DIMENSION d JOIN OLAP_REPORT r "
                        "ON r.ID = d.ReportID WHERE r.CubeTitle = ?"_s,
                        {title}),
                  c.itemsLeft);
        if (c.failing) {
            EXPECT_TRUE(loadAnalysis(db(), first));
        }
    }
}

// A vertical dimension and then a fact are asked for; removing asks and takes the items with the
// row.
TEST_P(AnalysesTest, SaveChecksAndRemoval)
{
    Analysis noVertical = designed();
    noVertical.items.removeAt(2);
    noVertical.items.removeAt(1);
    Analysis noFact = designed();
    noFact.items.removeAt(5);
    noFact.items.removeAt(4);
    noFact.items.removeAt(0);
    const auto refusedWith = [&](const Analysis& a) {
        const Outcome<qlonglong> saved = store().save(a);
        return saved.refusal() ? saved.refusal()->message : QString();
    };
    EXPECT_EQ(refusedWith(noVertical), u"Please specify at least one Vertical dimension. "_s);
    EXPECT_EQ(refusedWith(noFact), u"Please specify at least one Fact. "_s);

    const int before = items();
    Analysis kept = designed();
    kept.id = *store().save(designed());
    prompt.answer(PromptAnswer::No);
    EXPECT_FALSE(store().remove(kept));
    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(store().remove(kept));
    EXPECT_FALSE(loadAnalysis(db(), kept.id));
    EXPECT_EQ(items(), before);
}

// Without the Business Intelligence right nothing is listed, loaded, saved or removed.
TEST_P(AnalysesTest, WithoutTheRightNothingIsWritten)
{
    const qlonglong id = listAnalyses(db()).first().id;
    session.user.record.businessIntelligence = false;
    const int before = items();
    Analysis stored = *loadAnalysis(db(), id);
    const QString refused = UserRights::kNoBusinessIntelligence;
    EXPECT_EQ(store().save(designed()).refusal()->message, refused);
    EXPECT_EQ(store().remove(stored).refusal()->message, refused);
    EXPECT_EQ(store().list().refusal()->message, refused);
    EXPECT_EQ(store().load(id).refusal()->message, refused);
    EXPECT_EQ(listAnalyses(db()).size(), 3);
    EXPECT_EQ(items(), before);
    // Administrators write the configuration anyway.
    session.user.record.administrator = true;
    EXPECT_TRUE(store().save(designed()));
}

// A stored query only reads, whatever it says, and names only columns of its result.
TEST_P(AnalysesTest, StoredQueriesOnlyReadAndNameTheirColumns)
{
    test::addTaskRow(db(), {{u"SCR_Request_Date"_s, at(2024, 3, 1)}});
    const QList<AnalysisItem> byOwner{
        AnalysisItem::dimension(u"owner"_s, u"Owner"_s, AnalysisArea::Vertical),
        AnalysisItem::fact(u"TASKS"_s, u"Tasks"_s, Aggregate::Sum)};
    const char* const writing[] = {
        "DELETE FROM SCR",
        "SELECT 1; DELETE FROM SCR",
        "WITH d AS (DELETE FROM SCR RETURNING SCR_Number) SELECT count(*) AS Tasks FROM d",
    };
    for (const char* sql : writing) {
        SCOPED_TRACE(sql);
        const Outcome<pivot::Grid> outcome = run(over(QString::fromLatin1(sql), byOwner));
        EXPECT_FALSE(refusalOf(outcome).isEmpty());
        EXPECT_EQ(count(u"SELECT count(*) FROM SCR"_s), 1);
    }

    const QString query = u"SELECT SCR_Owner_User_ID AS Owner, 1 AS Tasks FROM SCR"_s;
    EXPECT_TRUE(run(over(query, byOwner))) << "names match without case";
    const QString hostile = u"x\"; DROP TABLE SCR; --"_s;
    QList<AnalysisItem> named = byOwner;
    named[0].name = hostile;
    EXPECT_TRUE(refusalOf(run(over(query, named))).contains(hostile));
    named = byOwner;
    named << AnalysisItem::datePart(hostile, DatePart::Month, AnalysisArea::Horizontal);
    EXPECT_TRUE(refusalOf(run(over(query, named))).contains(hostile)) << "ParentItem too";
    EXPECT_TRUE(db().hasTable(u"SCR"_s));
}

// Over the cap of rows or cells an analysis is refused naming the cap.
TEST_P(AnalysesTest, ASmallCapIsEnforced)
{
    for (int i = 0; i < 3; ++i)
        test::addTaskRow(db());
    const Analysis a = over(u"SELECT SCR_Owner_User_ID AS Owner, 1 AS Tasks FROM SCR"_s,
                            {AnalysisItem::dimension(u"Owner"_s, {}, AnalysisArea::Vertical),
                             AnalysisItem::fact(u"Tasks"_s, {}, Aggregate::Sum)});
    const struct
    {
        qsizetype rows;
        qsizetype cells;
        QString refusal;
    } cases[] = {
        {2, 1000, pivot::tooManyRowsMessage(2)},
        {1000, 5, AnalysisText::tooManyCells(5)},
        {3, 6, {}},
    };
    for (const auto& c : cases) {
        AnalysisRun how;
        how.limits = {c.rows, c.cells};
        EXPECT_EQ(refusalOf(run(a, how)), c.refusal) << c.rows << " " << c.cells;
    }
}

// A computed date column has no declared type on the embedded engine: its values make it one.
TEST_P(AnalysesTest, AComputedDateColumnSplitsIntoParts)
{
    test::addTaskRow(db(), {{u"SCR_Owner_Target_Date"_s, at(2023, 5, 1)},
                            {u"SCR_Request_Date"_s, at(2022, 1, 1)}});
    test::addTaskRow(db(), {{u"SCR_Request_Date"_s, at(2024, 2, 1)}});
    const Analysis a = over(
        u"SELECT COALESCE(SCR_Owner_Target_Date, SCR_Request_Date) AS Due, 1 AS Tasks FROM SCR"_s,
        {AnalysisItem::datePart(u"Due"_s, DatePart::Year, AnalysisArea::Vertical),
         AnalysisItem::fact(u"Tasks"_s, {}, Aggregate::Sum)});
    const Outcome<pivot::Grid> grid = run(a);
    ASSERT_TRUE(grid) << refusalOf(grid).toStdString();
    EXPECT_EQ(rowTotal(*grid, u"2023"_s).toDouble(), 1);
    EXPECT_EQ(rowTotal(*grid, u"2024"_s).toDouble(), 1);

    const Outcome<QList<QueryColumn>> columns = queryColumns(db(), a.query);
    ASSERT_TRUE(columns);
    EXPECT_EQ(columns->first().name.toLower(), u"due"_s);
    EXPECT_EQ(columns->first().kind, pivot::ColumnKind::Date);
}

// "Task ownership over time" counts the current workshop's tasks, those an owner got in one
// second together; the delivered analyses run as they are laid out.
TEST_P(AnalysesTest, BuiltInAndDeliveredAnalysesRun)
{
    for (const auto& [owner, workshop] :
         {std::pair{"ann", 7}, std::pair{"ann", 7}, std::pair{"bob", 7}, std::pair{"bob", 8}})
        test::addTaskRow(db(), {{u"SCR_Owner_User_ID"_s, QLatin1String(owner)},
                                {u"SCR_Group_ID"_s, workshop},
                                {u"SCR_Owner_Date_In"_s, at(2024, 4, 2, 10, 5)},
                                {u"SCR_Request_Date"_s, at(2024, 4, 1)}});
    const Analysis ownership = *store().builtIn(BuiltInAnalysis::TaskOwnership);
    pivot::Definition userByStatus;
    userByStatus.rows = {{u"User Name"_s, u"User Name"_s, {}}};
    userByStatus.columns = {{u"Task Status"_s, u"Task Status"_s, {}}};
    userByStatus.facts = {{u"Item"_s, u"Count"_s, Aggregate::Sum}};
    const Outcome<pivot::Grid> grid = runAnalysis(db(), ownership, userByStatus);
    ASSERT_TRUE(grid) << refusalOf(grid).toStdString();
    EXPECT_EQ(rowTotal(*grid, u"ann"_s).toDouble(), 2);
    EXPECT_EQ(rowTotal(*grid, u"bob"_s).toDouble(), 1);
    EXPECT_EQ(grid->columns().label(0, 0), u"Active"_s);
    EXPECT_TRUE(run(ownership)) << "as laid out by its items";

    const Analysis common = *store().builtIn(BuiltInAnalysis::CommonTaskInformation);
    EXPECT_TRUE(run(common));
    const QList<AnalysisSummary> stored = *store().list();
    ASSERT_EQ(stored.size(), 3);
    for (const AnalysisSummary& delivered : stored) {
        SCOPED_TRACE(delivered.title.toStdString());
        const Outcome<pivot::Grid> ran = run(*store().load(delivered.id));
        EXPECT_TRUE(ran) << refusalOf(ran).toStdString();
    }
}

// "Common Task Information" shows a sensitive task to its owner and requester only, and counts as
// late the open tasks past their target date.
TEST_P(AnalysesTest, CommonTaskInformationHidesOthersSensitiveTasks)
{
    const QDateTime past = at(2024, 1, 2); // the fixed clock stands at 31 January 2024
    const QDateTime future = at(2024, 3, 2);
    const struct
    {
        const char* owner;
        const char* requester;
        bool sensitive;
        const char* status;
        QDateTime target;
    } tasks[] = {
        {"bob", nullptr, true, "A", past},    // hidden from ann
        {"bob", "ann", true, "I", past},      // ann asked for it: late
        {"bob", nullptr, false, "C", past},   // complete: not late
        {"bob", nullptr, false, "A", future}, // not yet late
    };
    for (const auto& t : tasks)
        test::addTaskRow(db(), {{u"SCR_Owner_User_ID"_s, QLatin1String(t.owner)},
                                {u"SCR_Request_ID"_s,
                                 t.requester ? QVariant(QLatin1String(t.requester)) : QVariant()},
                                {u"SCR_Sensitive"_s, t.sensitive},
                                {u"SCR_Status"_s, QLatin1String(t.status)},
                                {u"SCR_Owner_Target_Date"_s, t.target},
                                {u"SCR_Request_Date"_s, at(2023, 12, 1)}});
    test::addTaskRow(db(), {{u"SCR_Template"_s, true}});
    const Outcome<pivot::Grid> grid = run(*store().builtIn(BuiltInAnalysis::CommonTaskInformation));
    ASSERT_TRUE(grid) << refusalOf(grid).toStdString();
    EXPECT_EQ(rowTotal(*grid, u"bob"_s, 0).toDouble(), 3);
    EXPECT_EQ(rowTotal(*grid, u"bob"_s, 1).toDouble(), 1);
    EXPECT_EQ(grid->rows().size(), 2) << "bob and the total: no template of ann's";
}

BX_INSTANTIATE_ENGINES(AnalysesTest);
