#include "mainwindow/BackgroundReader.h"

#include "core/db/Database.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;

namespace {

class BackgroundReaderTest : public test::SessionTest
{
protected:
    void arrange() override { test::addUsers(db(), {u"ann"_s, u"bob"_s, u"carl"_s, u"O'Brien"_s}); }

    const TaskCriteria users{u"SELECT USER_ID FROM LU_USER WHERE USER_ID <> ? ORDER BY USER_ID"_s,
                             {u"carl"_s}};
    static bool notBob(const RecordSet& rows, int row)
    {
        return rows.rows().at(row).value(0).toString() != QLatin1String("bob");
    }
};

// A read on a connection of its own brings back the kept rows with their column names, and what
// its side read found on that connection; of two reads started one after the other, only the
// second reports.
TEST_P(BackgroundReaderTest, ReadsOnItsOwnConnectionAndOnlyTheNewestReports)
{
    BackgroundReader reader;
    QSignalSpy finished(&reader, &BackgroundReader::finished);
    reader.start(secondConnectionTo(db()), {u"SELECT 1 FROM LU_USER"_s, {}}, 10);
    Database* window = &db();
    reader.start(secondConnectionTo(db()), users, 10, &notBob, [window](Database& on) {
        return &on == window ? QVariant() : on.scalar(u"SELECT COUNT(*) FROM LU_USER"_s);
    });
    ASSERT_TRUE(finished.wait(20000));
    QTest::qWait(50);
    ASSERT_EQ(finished.size(), 1);
    EXPECT_FALSE(reader.busy());
    const ReadRows read = finished.first().first().value<ReadRows>();
    ASSERT_EQ(read.names.size(), 1);
    EXPECT_EQ(read.names.first().toUpper(), u"USER_ID"_s);
    QStringList ids;
    for (const QVariantList& row : read.rows)
        ids << row.value(0).toString();
    ids.sort();
    EXPECT_EQ(ids.join(u'|'), u"O'Brien|admin|ann"_s);
    EXPECT_EQ(read.skipped, 1);
    EXPECT_FALSE(read.stopped);
    EXPECT_EQ(read.side.toInt(), 5);
}

// A failing statement reports its error instead of rows. (The limit on the time a read takes is
// TaskViewsTest's, on the same walk over the rows.)
TEST_P(BackgroundReaderTest, AFailingStatementReportsItsError)
{
    BackgroundReader reader;
    QSignalSpy failed(&reader, &BackgroundReader::failed);
    reader.start(secondConnectionTo(db()), {u"SELECT nothing FROM nowhere"_s, {}}, 10);
    EXPECT_TRUE(failed.wait(20000));
}

BX_INSTANTIATE_ENGINES(BackgroundReaderTest);

} // namespace
