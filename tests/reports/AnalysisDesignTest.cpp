#include "reports/AnalysisDesign.h"

#include "core/db/Database.h"
#include "core/db/SecondConnection.h"
#include "reports/AnalysisReader.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
using olap::Aggregate;
using olap::DatePart;

namespace {

const QueryColumn kOwner{u"Owner"_s, pivot::ColumnKind::Text};
const QueryColumn kAsked{u"Asked"_s, pivot::ColumnKind::Date};
const QueryColumn kHours{u"Hours"_s, pivot::ColumnKind::Number};

struct Placing
{
    AnalysisArea area;
    QueryColumn column;
    QList<DatePart> parts;
};

/** The items' names, comma-separated. */
QString names(const QList<AnalysisItem>& items)
{
    QStringList out;
    for (const AnalysisItem& i : items)
        out << i.name;
    return out.join(u',');
}

} // namespace

// Columns land in their areas: a date column as one item per part, a column placed again moves
// instead of doubling.
TEST(AnalysisDesignTest, PlacesColumnsInAreas)
{
    const struct
    {
        const char* what;
        QList<Placing> steps;
        const char* vertical; ///< item names, comma-separated
        const char* horizontal;
    } cases[] = {
        {"plain column", {{AnalysisArea::Vertical, kOwner, {}}}, "Owner", ""},
        {"date parts",
         {{AnalysisArea::Horizontal, kAsked, {DatePart::Year, DatePart::TenDays}}},
         "",
         "YEAR_Asked,TENDAYS_Asked"},
        {"moved across",
         {{AnalysisArea::Vertical, kOwner, {}},
          {AnalysisArea::Vertical, kHours, {}},
          {AnalysisArea::Horizontal, kOwner, {}}},
         "Hours",
         "Owner"},
        {"placed twice",
         {{AnalysisArea::Vertical, kOwner, {}}, {AnalysisArea::Vertical, kOwner, {}}},
         "Owner",
         ""},
        {"a part again moves alone",
         {{AnalysisArea::Vertical, kAsked, {DatePart::Year, DatePart::Month}},
          {AnalysisArea::Horizontal, kAsked, {DatePart::Month}}},
         "YEAR_Asked",
         "MONTH_Asked"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AnalysisDesign design;
        for (const Placing& step : c.steps)
            design.place(step.area, step.column, step.parts);
        EXPECT_EQ(names(design.vertical), QString::fromLatin1(c.vertical));
        EXPECT_EQ(names(design.horizontal), QString::fromLatin1(c.horizontal));
    }
}

// What the designer saves: dimensions marked with their areas (date parts in ItemParameter3,
// with 8 and the part code), then facts and formulas; a design read back is the same.
TEST(AnalysisDesignTest, SavesItemsInTheirAreasAndReadsThemBack)
{
    AnalysisDesign design;
    design.title = u"O'Brien's hours"_s;
    design.place(AnalysisArea::Vertical, kAsked, {DatePart::Quarter});
    design.place(AnalysisArea::Horizontal, kOwner, {});
    design.addFact(kHours.name, Aggregate::Sum);
    design.addFact(kHours.name, Aggregate::Max);
    design.formulas << AnalysisItem::formula(u"Hours / 2"_s, u"Half"_s);

    const Analysis analysis = design.analysis();
    ASSERT_EQ(analysis.items.size(), 5);
    const AnalysisItem& part = analysis.items[0];
    EXPECT_EQ(part.type, olap::ItemType::DatePart);
    EXPECT_EQ(part.parameter1, olap::kDatePartParameter);
    EXPECT_EQ(part.parameter2, int(DatePart::Quarter));
    EXPECT_EQ(part.parameter3, int(AnalysisArea::Vertical));
    EXPECT_EQ(part.parentItem, u"Asked"_s);
    EXPECT_EQ(analysis.items[1].parameter1, int(AnalysisArea::Horizontal));
    EXPECT_EQ(analysis.items[2].title, u"Hours"_s);
    EXPECT_EQ(analysis.items[3].title, u"Hours Max"_s);
    EXPECT_EQ(analysis.items[3].parameter1, int(Aggregate::Max));
    EXPECT_EQ(analysis.items[4].type, olap::ItemType::Formula);
    EXPECT_EQ(design.formulaOperands().size(), 2);

    const AnalysisDesign again = AnalysisDesign::of(analysis);
    EXPECT_EQ(again.analysis().items, analysis.items);
    EXPECT_EQ(again.title, design.title);
}

// Delivered items carry area 0: their date parts go down the side, the rest across.
TEST(AnalysisDesignTest, DeliveredItemsTakeTheirDefaultAreas)
{
    Analysis delivered;
    delivered.items = {AnalysisItem::dimension(u"Owner"_s, u"Owner"_s),
                       AnalysisItem::datePart(u"Asked"_s, DatePart::Year),
                       AnalysisItem::dimension(u"Status"_s, u"Status"_s, AnalysisArea::Vertical)};
    const AnalysisDesign design = AnalysisDesign::of(delivered);
    EXPECT_EQ(names(design.vertical), u"YEAR_Asked,Status"_s);
    EXPECT_EQ(names(design.horizontal), u"Owner"_s);
}

namespace {

class AnalysisReaderTest : public test::SessionTest
{
protected:
    /** Starts a read; the outcome lands in `rows` (-1 until it does) or `error`. */
    void start(AnalysisReader& reader, const QString& query)
    {
        Analysis analysis;
        analysis.query = query;
        reader.start(
            secondConnectionTo(db()), analysis, {},
            [this](const Outcome<pivot::Source>& source) {
                ++reports;
                refusal = source.refusal() ? source.refusal()->message : QString();
                rows = source ? int(source->rows.size()) : -2;
            },
            [this](const DbError& e) {
                ++reports;
                error = e.text();
            });
    }

    int reports = 0;
    int rows = -1;
    QString refusal;
    QString error;
};

} // namespace

// The rows come back on the window's thread; a newer read supersedes an older one; an
// interrupted read reports nothing; a writing query is refused on the reading connection.
TEST_P(AnalysisReaderTest, ReadsAwayAndReportsOnlyTheNewestRead)
{
    test::addTaskRow(db(), {});
    test::addTaskRow(db(), {});
    const QString tasks = u"SELECT SCR_Number FROM SCR"_s;
    {
        AnalysisReader reader;
        start(reader, u"SELECT 1 AS One"_s);
        start(reader, tasks);
        EXPECT_TRUE(reader.busy());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !reader.busy(); }, 20000));
        QTest::qWait(50);
        EXPECT_EQ(reports, 1);
        EXPECT_EQ(rows, 2);
    }
    {
        reports = 0;
        AnalysisReader reader;
        start(reader, tasks);
        reader.interrupt();
        EXPECT_FALSE(reader.busy());
        QTest::qWait(200);
        EXPECT_EQ(reports, 0);
    }
    {
        AnalysisReader reader;
        start(reader, u"DELETE FROM SCR"_s);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !reader.busy(); }, 20000));
        EXPECT_FALSE(refusal.isEmpty());
        EXPECT_EQ(db().scalar(u"SELECT count(*) FROM SCR"_s).toInt(), 2);
    }
}

BX_INSTANTIATE_ENGINES(AnalysisReaderTest);
