#include "core/db/Database.h"
#include "support/EngineFixture.h"

#include <gtest/gtest.h>
#include <thread>

using namespace bx;
using namespace Qt::StringLiterals;
using bx::test::EngineTest;

namespace {

class ReadOnlyQueryTest : public EngineTest
{
protected:
    void arrange() override
    {
        const QString date = isServer() ? u"timestamp"_s : u"DATETIME"_s;
        db().executeScript(u"CREATE TABLE T (Id integer, Title text, Seen %1, "
                           "Later %1, Rate numeric(19,4))"_s.arg(date));
        for (int id = 1; id <= 5; ++id)
            db().execute(u"INSERT INTO T (Id, Title, Seen) VALUES (?, ?, ?)"_s,
                         {id, u"t%1"_s.arg(id),
                          id == 1 ? QVariant()
                                  : QVariant(QDateTime(QDate(2024, 1, id), QTime(9, 0), Qt::UTC))});
    }

    QString rows() { return db().scalar(u"SELECT count(*) FROM T"_s).toString(); }
};

} // namespace

// Nothing that writes gets through: the text is refused before it runs, and what reads like a
// query yet would write or touch the file's settings is refused by the engine itself.
TEST_P(ReadOnlyQueryTest, OnlyOneReadingStatementRunsAndTheEngineKeepsItFromWriting)
{
    if (isServer())
        db().executeScript(u"CREATE FUNCTION bump() RETURNS integer LANGUAGE sql AS "
                           "'UPDATE T SET Id = Id + 10 RETURNING Id'"_s);
    const struct
    {
        const char* sql;
        bool textRefused; ///< refused before it reaches the engine
        bool serverOnly;
    } cases[] = {
        {"DELETE FROM T", true, false},
        {"SELECT 1; DELETE FROM T", true, false},
        {"WITH d AS (DELETE FROM T RETURNING Id) SELECT count(*) FROM d", true, false},
        {"  -- nothing\n", true, false},
        {"SELECT bump()", false, true},
        {"SELECT * FROM pragma_table_info('T')", false, false},
    };
    for (const auto& c : cases) {
        if (c.serverOnly && !isServer())
            continue;
        if (!c.serverOnly && !c.textRefused && isServer())
            continue; // the server's catalogue functions only read
        const QString sql = QString::fromUtf8(c.sql);
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(db().readOnlyRefusal(sql).has_value(), c.textRefused);
        EXPECT_THROW(db().queryReadOnly(sql, {}), DbError);
        EXPECT_EQ(rows(), u"5"_s);
        EXPECT_EQ(db().scalar(u"SELECT max(Id) FROM T"_s).toInt(), 5);
    }
    // The program's own statements are not held to it afterwards.
    db().execute(u"DELETE FROM T WHERE Id = 5"_s);
    EXPECT_EQ(rows(), u"4"_s);
}

// Reading stops at the cap of rows or of cells, one row beyond it telling that there were more;
// the values are bound.
TEST_P(ReadOnlyQueryTest, ReadingStopsAtTheCap)
{
    const struct
    {
        qsizetype rows;
        qsizetype cells;
        int read;
        bool capped;
    } cases[] = {
        {3, 1000, 3, true}, {4, 1000, 4, false}, {100, 5, 2, true},
        {100, 8, 4, false}, {0, 100, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rows);
        SCOPED_TRACE(c.cells);
        const ReadOnlyRows read = db().queryReadOnly(
            u"SELECT Id, Title FROM T WHERE Id > ? ORDER BY Id"_s, {1}, ReadCap{c.rows, c.cells});
        EXPECT_EQ(read.rows.rowCount(), c.read);
        EXPECT_EQ(read.capped, c.capped);
        if (c.read > 0) {
            EXPECT_EQ(read.rows.rows().first().first().toInt(), 2);
        }
    }
}

// A query past the time limit stops with what it read; interrupting it fails it.
TEST_P(ReadOnlyQueryTest, TheTimeLimitAndAnInterruptStopTheQuery)
{
    const QString slow =
        u"WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 500000000) "
        "SELECT count(*) FROM c"_s;
    const ReadOnlyRows read = db().queryReadOnly(slow, {}, {}, 1);
    EXPECT_TRUE(read.timedOut);
    EXPECT_EQ(read.rows.rowCount(), 0);

    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        db().interrupt();
    });
    EXPECT_THROW(db().queryReadOnly(slow, {}), DbError);
    stopper.join();
    EXPECT_EQ(db().queryReadOnly(u"SELECT Id FROM T"_s, {}).rows.rowCount(), 5)
        << "the connection reads again";
}

// Columns are typed by the engine where it can, a computed column of the embedded engine from its
// values.
TEST_P(ReadOnlyQueryTest, ResultColumnsAreTypedAsDatesNumbersOrText)
{
    const ReadOnlyRows read = db().queryReadOnly(
        u"SELECT Title, Seen, Id, Rate, COALESCE(Later, Seen) AS Shown, 1 AS One, "
        "Title || 'x' AS Joined, CASE WHEN Id = 2 THEN 'x' ELSE '2024-01-01 "
        "00:00:00' END AS Mixed, CASE WHEN Id = 0 THEN 'never' END AS Empty FROM T"_s,
        {});
    const QList<ResultKind> expected{ResultKind::Text,   ResultKind::Date, ResultKind::Number,
                                     ResultKind::Number, ResultKind::Date, ResultKind::Number,
                                     ResultKind::Text,   ResultKind::Text, ResultKind::Text};
    EXPECT_EQ(resultKinds(read), expected);
    // Typed from the first rows only, the mixed column reads as dates.
    if (!isServer()) {
        EXPECT_EQ(resultKinds(read, 1).at(7), ResultKind::Date);
    }
}

// The server cannot make a transaction read-only once it has begun.
TEST_P(ReadOnlyQueryTest, TheServerRefusesItInsideATransaction)
{
    Transaction tx(db());
    if (isServer())
        EXPECT_THROW(db().queryReadOnly(u"SELECT Id FROM T"_s, {}), DbError);
    else
        EXPECT_EQ(db().queryReadOnly(u"SELECT Id FROM T"_s, {}).rows.rowCount(), 5);
}

BX_INSTANTIATE_ENGINES(ReadOnlyQueryTest);
