#include "core/db/ParameterQuery.h"
#include "core/db/PgDatabase.h"
#include "core/db/SqliteDatabase.h"
#include "support/EngineFixture.h"
#include "support/FuzzFinds.h"

#include <QBuffer>
#include <QRandomGenerator>

#include <algorithm>
#include <gtest/gtest.h>

using namespace bx;
using bx::test::EngineTest;

namespace {

class DatabaseTest : public EngineTest
{
protected:
    /** Case-insensitive text, as the schema declares it on each engine. */
    QString text() const
    {
        return isServer() ? QStringLiteral("citext") : QStringLiteral("TEXT COLLATE NOCASE");
    }
    QString dateTime() const
    {
        return isServer() ? QStringLiteral("timestamp") : QStringLiteral("DATETIME");
    }

    void makeItems()
    {
        db().executeScript(
            QStringLiteral("CREATE TABLE ITEM (Item_Number integer PRIMARY KEY, Title ") + text() +
            QStringLiteral(", Done smallint, Seen ") + dateTime() +
            QStringLiteral(", Rate numeric(19,4))"));
    }

    /** ATT with rows 1 to `rows`, their binary column empty. */
    void makeAttachments(int rows)
    {
        db().executeScript(
            isServer()
                ? QStringLiteral(
                      "CREATE TABLE ATT (Attach_Number integer PRIMARY KEY, OLE_Data oid)")
                : QStringLiteral(
                      "CREATE TABLE ATT (Attach_Number INTEGER PRIMARY KEY, OLE_Data BLOB)"));
        for (int n = 1; n <= rows; ++n)
            db().execute(QStringLiteral("INSERT INTO ATT (Attach_Number) VALUES (?)"), {n});
    }
    static BlobRef ref(int n)
    {
        return {QStringLiteral("ATT"), QStringLiteral("Attach_Number"), n,
                QStringLiteral("OLE_Data")};
    }
    void write(int n, QByteArray bytes, const BlobProgress& progress = {})
    {
        QBuffer in(&bytes);
        in.open(QIODevice::ReadOnly);
        db().writeBlob(ref(n), in, bytes.size(), progress);
    }
    QByteArray read(int n)
    {
        QByteArray out;
        QBuffer sink(&out);
        sink.open(QIODevice::WriteOnly);
        const qint64 size = db().readBlob(ref(n), sink);
        EXPECT_EQ(size, out.size());
        return out;
    }
};

} // namespace

TEST_P(DatabaseTest, ValuesRoundTripWithTheirTypes)
{
    makeItems();
    const QDateTime when(QDate(2024, 2, 29), QTime(23, 59, 58), Qt::UTC);
    db().execute(
        QStringLiteral(
            "INSERT INTO ITEM (Item_Number, Title, Done, Seen, Rate) VALUES (?, ?, ?, ?, ?)"),
        {1, QStringLiteral("O'Brien's \"task\" -- ; ?"), true, when, 12.5});
    db().execute(
        QStringLiteral(
            "INSERT INTO ITEM (Item_Number, Title, Done, Seen, Rate) VALUES (?, ?, ?, ?, ?)"),
        {2, QVariant(), false, QVariant(), QVariant()});

    RecordSet rs = db().query(QStringLiteral("SELECT * FROM ITEM ORDER BY Item_Number"));
    ASSERT_EQ(rs.rowCount(), 2);
    EXPECT_EQ(rs.text(QStringLiteral("TITLE")), QStringLiteral("O'Brien's \"task\" -- ; ?"));
    EXPECT_EQ(rs.number(QStringLiteral("done")), db().dialect().trueValue());
    EXPECT_TRUE(rs.flag(QStringLiteral("Done")));
    EXPECT_EQ(rs.dateTime(QStringLiteral("Seen")), when);
    EXPECT_DOUBLE_EQ(rs.real(QStringLiteral("Rate")), 12.5);
    rs.moveNext();
    EXPECT_TRUE(rs.isNull(QStringLiteral("Title")));
    EXPECT_EQ(rs.text(QStringLiteral("Title")), QString());
    EXPECT_FALSE(rs.flag(QStringLiteral("Done")));
    EXPECT_FALSE(rs.dateTime(QStringLiteral("Seen")).isValid());
    EXPECT_EQ(rs.number(QStringLiteral("Rate")), 0);
    rs.moveNext();
    EXPECT_TRUE(rs.eof());
    EXPECT_EQ(rs.text(QStringLiteral("Title")), QString()) << "past the end reads empty";

    // Text comparison ignores case on both engines, and a quote is just a character.
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT Item_Number FROM ITEM WHERE Title = ?"),
                          {QStringLiteral("o'brien's \"TASK\" -- ; ?")})
                  .toInt(),
              1);
    EXPECT_EQ(
        db().execute(QStringLiteral("UPDATE ITEM SET Done = ? WHERE Item_Number > ?"), {true, 0}),
        2);
}

TEST_P(DatabaseTest, ParameterQueriesBindByNameInAnyCase)
{
    makeItems();
    const auto insert =
        ParameterQuery::parse(QStringLiteral("parameters pNote Text, [pNum] Long; INSERT INTO ITEM "
                                             "(Item_Number, Title) VALUES ([pNum], [PNOTE])"));
    ASSERT_EQ(insert.declared(), (QStringList{QStringLiteral("pNote"), QStringLiteral("pNum")}));
    db().execute(insert, {{QStringLiteral("PNUM"), 5},
                          {QStringLiteral("pnote"), QStringLiteral("it's [pNote]")}});

    const auto select =
        ParameterQuery::parse(QStringLiteral("PARAMETERS pTitle Text; SELECT Item_Number FROM ITEM "
                                             "WHERE Title = [pTitle] OR Title = '[pTitle]';"));
    EXPECT_EQ(select.sql(),
              QStringLiteral("SELECT Item_Number FROM ITEM WHERE Title = ? OR Title = '[pTitle]'"));
    const RecordSet rs =
        db().query(select, {{QStringLiteral("pTitle"), QStringLiteral("IT'S [PNOTE]")}});
    ASSERT_EQ(rs.rowCount(), 1);
    EXPECT_EQ(rs.number(QStringLiteral("Item_Number")), 5);

    EXPECT_THROW(db().query(select, {}), DbError) << "a missing value is an error, not a Null";

    // A marker in a comment is no marker: its value would land on the next one.
    const auto commented = ParameterQuery::parse(
        QString::fromUtf8(test::fuzzFind("parameter_query", "marker-in-comments.sql")));
    EXPECT_EQ(commented.order(), QStringList{QStringLiteral("pNum")});
    const RecordSet byNumber = db().query(
        commented, {{QStringLiteral("pTitle"), QStringLiteral("x")}, {QStringLiteral("pNum"), 5}});
    ASSERT_EQ(byNumber.rowCount(), 1);
    EXPECT_EQ(byNumber.text(QStringLiteral("Title")), QStringLiteral("it's [pNote]"));
    EXPECT_EQ(ParameterQuery::parse(QStringLiteral("SELECT 1")).sql(), QStringLiteral("SELECT 1"));

    // A bracket that names no parameter quotes a name to the next "]"; a marker inside is part of
    // that name, not a marker.
    const auto inName = ParameterQuery::parse(
        QString::fromUtf8(test::fuzzFind("parameter_query", "marker-inside-a-quoted-name.sql")));
    EXPECT_EQ(inName.sql(), QStringLiteral("SELECT ? AS [a[p]"));
    EXPECT_EQ(inName.order(), QStringList{QStringLiteral("p")});
}

// Only the star is a wildcard, and LIKE and name comparisons fold case beyond ASCII.
TEST_P(DatabaseTest, LikeAndNameComparisons)
{
    makeItems();
    const QStringList titles{
        QStringLiteral("abc"),     QStringLiteral("xabc"),    QStringLiteral("ABD"),
        QStringLiteral("50% off"), QStringLiteral("500 off"), QStringLiteral("a_c"),
        QStringLiteral("abc\\d"),  QStringLiteral("O'Hara"),  QStringLiteral("Zoë's 50% cut"),
        QStringLiteral("ÆRØ"),     QStringLiteral("Zoe"),     QStringLiteral("Ωmega_1")};
    for (int i = 0; i < titles.size(); ++i)
        db().execute(QStringLiteral("INSERT INTO ITEM (Item_Number, Title) VALUES (?, ?)"),
                     {i, titles.at(i)});
    const auto titlesWhere = [&](const QString& condition, const QVariant& value) {
        QStringList out;
        const RecordSet rs = db().query(QStringLiteral("SELECT Title FROM ITEM WHERE ") +
                                            condition + QStringLiteral(" ORDER BY Item_Number"),
                                        {value});
        for (const auto& row : rs.rows())
            out << row.first().toString();
        return out;
    };
    const struct
    {
        bool like; ///< else a name comparison
        QString typed;
        QList<int> expected;
    } cases[] = {
        {true, QStringLiteral("ab*"), {0, 2, 6}}, {true, QStringLiteral("50%*"), {3}},
        {true, QStringLiteral("a_c"), {5}},       {true, QStringLiteral("*\\d"), {6}},
        {true, QStringLiteral("o'h*"), {7}},      {true, QStringLiteral("ZOË*"), {8}},
        {true, QStringLiteral("*ë'S 50%*"), {8}}, {true, QStringLiteral("*5_%*"), {}},
        {true, QStringLiteral("ærø"), {9}},       {true, QStringLiteral("ωMEGA_*"), {11}},
        {true, QStringLiteral("z*"), {8, 10}},    {false, QStringLiteral("zoË'S 50% CUT"), {8}},
        {false, QStringLiteral("æRø"), {9}},      {false, QStringLiteral("ZOË"), {}},
    };
    for (const auto& c : cases) {
        QStringList expected;
        for (int i : c.expected)
            expected << titles.at(i);
        const LikeClause like = db().dialect().like(c.typed);
        EXPECT_EQ(c.like ? titlesWhere(QStringLiteral("Title") + like.sql, like.pattern)
                         : titlesWhere(db().dialect().textEquals(QStringLiteral("Title")), c.typed),
                  expected)
            << c.typed.toStdString();
    }
    EXPECT_EQ(db().dialect().like(QStringLiteral("ab*")).pattern.toString(), QStringLiteral("ab%"));
}

TEST_P(DatabaseTest, DateLiteralIsTheEnginesForm)
{
    const QDateTime when(QDate(2024, 1, 31), QTime(14, 5, 9), Qt::UTC);
    const QString literal = db().dialect().dateLiteral(when);
    EXPECT_EQ(literal, isServer() ? QStringLiteral("'20240131 14:05:09'")
                                  : QStringLiteral("'2024-01-31 14:05:09'"));
    db().executeScript(QStringLiteral("CREATE TABLE D (Seen ") + dateTime() + QStringLiteral(")"));
    db().executeScript(QStringLiteral("INSERT INTO D (Seen) VALUES (") + literal +
                       QStringLiteral(")"));
    EXPECT_EQ(db().query(QStringLiteral("SELECT Seen FROM D")).dateTime(QStringLiteral("Seen")),
              when);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT count(*) FROM D WHERE Seen = ?"), {when}).toInt(),
              1);
}

TEST_P(DatabaseTest, FindFirstComparesTrimmedWithoutCase)
{
    makeItems();
    db().execute(
        QStringLiteral("INSERT INTO ITEM (Item_Number, Title) VALUES (1, NULL), (2, ?), (3, ?)"),
        {QStringLiteral(" O'Brien "), QStringLiteral("smith")});
    RecordSet rs = db().query(QStringLiteral("SELECT * FROM ITEM ORDER BY Item_Number"));
    ASSERT_TRUE(rs.findFirst(QStringLiteral("title"), QStringLiteral("o'brien")));
    EXPECT_EQ(rs.number(QStringLiteral("Item_Number")), 2);
    ASSERT_TRUE(rs.findFirst(QStringLiteral("Item_Number"), 3));
    EXPECT_EQ(rs.text(QStringLiteral("Title")), QStringLiteral("smith"));
    EXPECT_FALSE(rs.findFirst(QStringLiteral("Title"), QStringLiteral("jones")));
    EXPECT_TRUE(rs.eof());
    RecordSet empty({QStringLiteral("Title")}, {});
    EXPECT_FALSE(empty.findFirst(QStringLiteral("Title"), QStringLiteral("x")));
}

#ifndef QT_NO_DEBUG
TEST(RecordSetDeathTest, ReadingAColumnTheSetLacksIsAProgrammingError)
{
    RecordSet rs({QStringLiteral("SCR_Title")}, {{QStringLiteral("Fix it")}});
    EXPECT_EQ(rs.columnIndex(QStringLiteral("SCR_Titel")), -1) << "the probe never asserts";
    EXPECT_FALSE(rs.hasColumn(QStringLiteral("SCR_Titel")));
    EXPECT_EQ(rs.text(QStringLiteral("scr_title")), QStringLiteral("Fix it"));
    EXPECT_DEATH(rs.text(QStringLiteral("SCR_Titel")), "SCR_Titel");
    EXPECT_DEATH(rs.value(0, QStringLiteral("SCR_Titel")), "SCR_Titel");
    EXPECT_DEATH(rs.findFirst(QStringLiteral("SCR_Titel"), 1), "SCR_Titel");
    RecordSet past = rs;
    past.moveNext();
    EXPECT_DEATH(past.number(QStringLiteral("SCR_Titel")), "SCR_Titel")
        << "past the end as well, so a list without rows catches it too";
}
#endif

TEST_P(DatabaseTest, TransactionsRollBackUnlessCommittedAndNest)
{
    makeItems();
    {
        Transaction tx(db());
        db().execute(QStringLiteral("INSERT INTO ITEM (Item_Number) VALUES (1)"));
    }
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT count(*) FROM ITEM")).toInt(), 0);
    {
        Transaction outer(db());
        db().execute(QStringLiteral("INSERT INTO ITEM (Item_Number) VALUES (2)"));
        {
            Transaction inner(db());
            db().execute(QStringLiteral("INSERT INTO ITEM (Item_Number) VALUES (3)"));
        }
        {
            Transaction inner(db());
            db().execute(QStringLiteral("INSERT INTO ITEM (Item_Number) VALUES (4)"));
            inner.commit();
            EXPECT_THROW(inner.commit(), DbError);
        }
        outer.commit();
    }
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT sum(Item_Number) FROM ITEM")).toInt(), 6);
    EXPECT_EQ(db().transactionDepth(), 0);

    // A failing statement inside a transaction leaves the connection usable after the rollback.
    try {
        Transaction tx(db());
        db().execute(QStringLiteral("INSERT INTO ITEM (Item_Number) VALUES (2)"));
        FAIL() << "duplicate key accepted";
    } catch (const DbError& e) {
        EXPECT_FALSE(e.number().isEmpty());
        EXPECT_TRUE(e.statement().contains(QStringLiteral("INSERT INTO ITEM")));
        EXPECT_TRUE(e.where().contains(QStringLiteral("DatabaseTest")));
    }
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT count(*) FROM ITEM")).toInt(), 2);
}

TEST_P(DatabaseTest, CatalogueListsTablesAndColumns)
{
    makeItems();
    EXPECT_TRUE(db().hasTable(QStringLiteral("item")));
    EXPECT_FALSE(db().hasTable(QStringLiteral("nothing")));
    const QList<ColumnInfo> cols = db().columns(QStringLiteral("Item"));
    ASSERT_EQ(cols.size(), 5);
    EXPECT_EQ(cols.at(1).name.toLower(), QStringLiteral("title"));
    EXPECT_TRUE(cols.at(1).nullable);
    EXPECT_TRUE(db().columns(QStringLiteral("nothing")).isEmpty());

    // A full-text table is no table of the catalogue's list, but it can be asked for by name.
    EXPECT_FALSE(db().hasFullTextTable(QStringLiteral("item")));
    EXPECT_FALSE(db().hasFullTextTable(QStringLiteral("nothing")));
    if (isServer())
        return;
    db().executeScript(QStringLiteral("CREATE VIRTUAL TABLE Item_Words USING fts5(Title)"));
    EXPECT_FALSE(db().hasTable(QStringLiteral("Item_Words")));
    EXPECT_TRUE(db().hasFullTextTable(QStringLiteral("ITEM_WORDS")));
    EXPECT_FALSE(db().hasFullTextTable(QStringLiteral("Item_Words_content"))) << "a shadow table";
}

TEST_P(DatabaseTest, CatalogueListsForeignKeysAndSystemTables)
{
    // A key naming the column it refers to, and a key of two columns to the primary key of
    // another table, which it pairs in that key's order.
    db().executeScript(QStringLiteral(
        "CREATE TABLE \"Odd Parent\" (\"Parent Key\" integer PRIMARY KEY, Name varchar(20));\n"
        "CREATE TABLE Pair (A integer, B integer, PRIMARY KEY (A, B));\n"
        "CREATE TABLE Child (Id integer PRIMARY KEY, \"O'Brien Key\" integer REFERENCES "
        "\"Odd Parent\" (\"Parent Key\"), PB integer, PA integer, FOREIGN KEY (PB, PA) "
        "REFERENCES Pair)"));
    QList<ForeignKey> keys = db().foreignKeys(QStringLiteral("CHILD"));
    for (ForeignKey& k : keys) {
        k.table = k.table.toLower();
        k.column = k.column.toLower();
        k.referencedTable = k.referencedTable.toLower();
        k.referencedColumn = k.referencedColumn.toLower();
    }
    std::sort(keys.begin(), keys.end(),
              [](const ForeignKey& a, const ForeignKey& b) { return a.column < b.column; });
    const QString child = QStringLiteral("child");
    EXPECT_EQ(keys, (QList<ForeignKey>{
                        {child, QStringLiteral("o'brien key"), QStringLiteral("odd parent"),
                         QStringLiteral("parent key")},
                        {child, QStringLiteral("pa"), QStringLiteral("pair"), QStringLiteral("b")},
                        {child, QStringLiteral("pb"), QStringLiteral("pair"), QStringLiteral("a")},
                    }));
    EXPECT_TRUE(db().foreignKeys(QStringLiteral("Pair")).isEmpty());
    EXPECT_TRUE(db().foreignKeys(QStringLiteral("nothing")).isEmpty());
    // Names come in the catalogue's spelling, so that they can be quoted.
    const QList<ForeignKey> spelt = db().foreignKeys(QStringLiteral("child"));
    EXPECT_TRUE(std::any_of(spelt.cbegin(), spelt.cend(), [](const ForeignKey& k) {
        return k.referencedTable == QStringLiteral("Odd Parent") &&
               k.referencedColumn == QStringLiteral("Parent Key");
    }));

    const QStringList system = db().systemTables();
    ASSERT_FALSE(system.isEmpty());
    for (const QString& table : system) {
        EXPECT_FALSE(db().tables().contains(table)) << table.toStdString();
    }
    const QString catalogue =
        isServer() ? QStringLiteral("pg_class") : QStringLiteral("sqlite_schema");
    EXPECT_TRUE(system.contains(catalogue));
    EXPECT_FALSE(db().columns(catalogue).isEmpty());
}

TEST_P(DatabaseTest, NewNumbersComeFromTheCounterOrTheSerialTable)
{
    createSerialTable();
    db().executeScript(
        isServer() ? QStringLiteral("CREATE TABLE A (A_Number integer PRIMARY KEY, Title citext); "
                                    "CREATE TABLE B (B_Number integer PRIMARY KEY)")
                   : QStringLiteral(
                         "CREATE TABLE A (A_Number INTEGER PRIMARY KEY AUTOINCREMENT, Title TEXT); "
                         "CREATE TABLE B (B_Number INTEGER PRIMARY KEY AUTOINCREMENT)"));
    const qlonglong a1 = db().insertNumbered(QStringLiteral("A"), QStringLiteral("A_Number"),
                                             {QStringLiteral("Title")}, {QStringLiteral("x'y")});
    const qlonglong b1 =
        db().insertNumbered(QStringLiteral("B"), QStringLiteral("B_Number"), {}, {});
    const qlonglong a2 = db().insertNumbered(QStringLiteral("A"), QStringLiteral("A_Number"),
                                             {QStringLiteral("Title")}, {QVariant()});
    EXPECT_GT(a1, 0);
    EXPECT_GT(a2, a1);
    EXPECT_EQ(
        db().scalar(QStringLiteral("SELECT Title FROM A WHERE A_Number = ?"), {a1}).toString(),
        QStringLiteral("x'y"));
    if (isServer()) {
        EXPECT_NE(b1, a1) << "one serial for every table";
        EXPECT_NE(b1, a2);
        EXPECT_EQ(db().scalar(QStringLiteral("SELECT count(*) FROM LU_SERIALS")).toInt(), 0)
            << "serial rows live only for the moment of drawing";
    }
}

TEST_P(DatabaseTest, BinaryValuesStreamByteForByte)
{
    makeAttachments(1);
    EXPECT_EQ(db().blobSize(ref(1)), 0) << "Null reads as empty";

    for (const qint64 size :
         {qint64(0), qint64(1), qint64(32000), qint64(32001), qint64(5'000'000)}) {
        QByteArray data(size, Qt::Uninitialized);
        for (qint64 i = 0; i < size; ++i)
            data[i] = char(QRandomGenerator::global()->bounded(256));
        qint64 lastDone = -1, calls = 0;
        write(1, data, [&](qint64 done, qint64 total) {
            EXPECT_EQ(total, size);
            EXPECT_GT(done, lastDone);
            lastDone = done;
            ++calls;
        });
        EXPECT_EQ(calls, (size + Database::kBlobPiece - 1) / Database::kBlobPiece) << size;
        EXPECT_EQ(db().blobSize(ref(1)), size);
        EXPECT_TRUE(read(1) == data) << "size " << size;
    }
    if (isServer()) {
        // Replacing a value frees the old large object; clearing frees the last one.
        EXPECT_EQ(
            db().scalar(QStringLiteral("SELECT count(*) FROM pg_largeobject_metadata")).toInt(), 1);
        db().clearBlob(ref(1));
        EXPECT_EQ(
            db().scalar(QStringLiteral("SELECT count(*) FROM pg_largeobject_metadata")).toInt(), 0);
    } else {
        db().clearBlob(ref(1));
    }
    EXPECT_EQ(db().blobSize(ref(1)), 0);

    // A source shorter than announced fails and leaves the row as it was.
    QByteArray shortData(10, 'x');
    QBuffer shortIn(&shortData);
    shortIn.open(QIODevice::ReadOnly);
    EXPECT_THROW(db().writeBlob(ref(1), shortIn, 100), DbError);
    EXPECT_EQ(db().blobSize(ref(1)), 0);
    const BlobRef missing{QStringLiteral("ATT"), QStringLiteral("Attach_Number"), 99,
                          QStringLiteral("OLE_Data")};
    QBuffer again(&shortData);
    again.open(QIODevice::ReadOnly);
    EXPECT_THROW(db().writeBlob(missing, again, 10), DbError);

    if (!isServer()) {
        // A column after the binary one would make the embedded engine hold the whole value in
        // memory; such a table is refused rather than streamed slowly into a memory spike.
        db().executeScript(
            QStringLiteral("CREATE TABLE BAD (K INTEGER PRIMARY KEY, OLE_Data BLOB, Later TEXT); "
                           "INSERT INTO BAD (K) VALUES (1)"));
        QBuffer third(&shortData);
        third.open(QIODevice::ReadOnly);
        EXPECT_THROW(db().writeBlob({QStringLiteral("BAD"), QStringLiteral("K"), 1,
                                     QStringLiteral("OLE_Data")},
                                    third, 10),
                     DbError);
    }
}

// A copy stays the source's value after the source changes; Null copies as Null. A write that
// its progress callback stops leaves the row and the connection as they were.
TEST_P(DatabaseTest, CopiedValuesAreIndependentAndAStoppedWriteUndoesItself)
{
    makeAttachments(3);
    // Larger than the pieces either engine copies in, and no multiple of them.
    QByteArray data(2 * 1024 * 1024 + 3 * Database::kBlobPiece + 1, Qt::Uninitialized);
    for (char& c : data)
        c = char(QRandomGenerator::global()->bounded(256));
    write(1, data);
    // A value of the same size is written over where it lies: every piece that differs arrives.
    QByteArray edited = data;
    edited[2 * Database::kBlobPiece - 1] = char(~edited[2 * Database::kBlobPiece - 1]);
    edited[edited.size() - 1] = char(~edited[edited.size() - 1]);
    write(1, edited);
    EXPECT_TRUE(read(1) == edited);
    write(1, data);
    write(2, "replaced by the copy");
    db().copyBlob(ref(1), ref(2));
    write(1, "changed");
    EXPECT_TRUE(read(2) == data);
    db().copyBlob(ref(3), ref(2));
    EXPECT_EQ(
        db().scalar(QStringLiteral("SELECT count(*) FROM ATT WHERE OLE_Data IS NULL")).toInt(), 2);
    if (isServer()) {
        // The values a copy replaced are freed: only row 1's remains.
        EXPECT_EQ(
            db().scalar(QStringLiteral("SELECT count(*) FROM pg_largeobject_metadata")).toInt(), 1);
    }

    struct Stop
    {
    };
    write(2, data);
    EXPECT_THROW(write(2, QByteArray(data.size(), 'z'),
                       [](qint64 done, qint64) {
                           if (done > Database::kBlobPiece)
                               throw Stop();
                       }),
                 Stop);
    EXPECT_EQ(db().transactionDepth(), 0);
    EXPECT_TRUE(read(2) == data);
    write(2, "next");
    EXPECT_EQ(read(2), QByteArray("next"));

    EXPECT_GE(db().maxBlobSize(), 1'000'000'000);
    if (!isServer()) {
        static_cast<SqliteDatabase&>(db()).setMaxBlobSize(100);
        EXPECT_EQ(db().maxBlobSize(), 100);
    }
}

TEST_P(DatabaseTest, TriggerErrorsKeepTheirNumberAndText)
{
    const QString text =
        QStringLiteral("The record can't be added or changed. Referential integrity rules require "
                       "a related record in table 'LU_PRIORITY'.");
    if (isServer()) {
        db().executeScript(QStringLiteral(
            "CREATE TABLE T (x integer); "
            "CREATE FUNCTION t_refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
            "RAISE EXCEPTION USING ERRCODE = '44447', MESSAGE = 'The record can''t be added or "
            "changed. "
            "Referential integrity rules require a related record in table ''LU_PRIORITY''.'; END "
            "$$; "
            "CREATE TRIGGER t_refuse BEFORE INSERT ON T FOR EACH ROW EXECUTE FUNCTION t_refuse()"));
    } else {
        db().executeScript(
            QStringLiteral("CREATE TABLE T (x INTEGER); "
                           "CREATE TRIGGER t_refuse BEFORE INSERT ON T BEGIN SELECT RAISE(ABORT, "
                           "'[44447] The record can''t "
                           "be added or changed. Referential integrity rules require a related "
                           "record in table ''LU_PRIORITY''.'); END"));
    }
    try {
        db().execute(QStringLiteral("INSERT INTO T (x) VALUES (?)"), {1});
        FAIL() << "trigger did not fire";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number(), QStringLiteral("44447"));
        EXPECT_EQ(e.description(), text);
    }
}

TEST_P(DatabaseTest, FailuresAreClassifiedTheSameOnBothEngines)
{
    makeItems();
    db().executeScript(QStringLiteral("CREATE UNIQUE INDEX ITEM_TITLE ON ITEM (Title)"));
    db().execute(QStringLiteral("INSERT INTO ITEM (Item_Number, Title) VALUES (?, ?)"),
                 {1, QStringLiteral("O'Brien")});
    const auto kindOf = [this](const QString& sql, const QVariantList& params) {
        try {
            db().execute(sql, params);
        } catch (const DbError& e) {
            return e.kind();
        }
        ADD_FAILURE() << "no error from " << sql.toStdString();
        return DbErrorKind::Other;
    };
    const QString insert = QStringLiteral("INSERT INTO ITEM (Item_Number, Title) VALUES (?, ?)");
    EXPECT_EQ(kindOf(insert, {1, QStringLiteral("Other")}), DbErrorKind::DuplicateKey);
    EXPECT_EQ(kindOf(insert, {2, QStringLiteral("O'Brien")}), DbErrorKind::DuplicateKey);
    EXPECT_EQ(kindOf(QStringLiteral("INSERT INTO NO_ITEM (x) VALUES (?)"), {1}),
              DbErrorKind::UnknownTable);
    EXPECT_EQ(kindOf(QStringLiteral("UPDATE ITEM SET No_Column = ?"), {1}),
              DbErrorKind::UnknownColumn);
}

// Both engines read a statement only up to its first NUL: a condition or a statement after it
// would be dropped without a word, so such a text is refused before it reaches the engine.
TEST_P(DatabaseTest, StatementsHoldingANulAreRefused)
{
    makeItems();
    db().execute(QStringLiteral("INSERT INTO ITEM (Item_Number, Title) VALUES (1, 'a')"));
    const ParameterQuery found = ParameterQuery::parse(
        QString::fromUtf8(test::fuzzFind("parameter_query", "nul-drops-the-rest.sql")));
    ASSERT_TRUE(found.sql().contains(QChar(0)));
    try {
        db().query(found, {{QStringLiteral("pTitle"), QStringLiteral("none")}});
        ADD_FAILURE() << "a statement cut at its NUL ran";
    } catch (const DbError& e) {
        EXPECT_EQ(e.description(), QStringLiteral("A statement may not hold a NUL character"));
    }
    const QString deleteTwice = QStringLiteral("DELETE FROM ITEM WHERE Item_Number = 2") +
                                QChar(0) + QStringLiteral("; DELETE FROM ITEM");
    EXPECT_THROW(db().execute(deleteTwice), DbError);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM ITEM")).toInt(), 1);
}

BX_INSTANTIATE_ENGINES(DatabaseTest);

TEST(PgPlaceholders, NumberedOutsideQuotesAndComments)
{
    EXPECT_EQ(PgDatabase::numberedPlaceholders(
                  QStringLiteral("SELECT ? , '?''?' , \"a?\" , ? -- ?\n, $q$ ? $q$, /* ? */ ?")),
              QStringLiteral("SELECT $1 , '?''?' , \"a?\" , $2 -- ?\n, $q$ ? $q$, /* ? */ $3"));
    EXPECT_EQ(PgDatabase::numberedPlaceholders(QStringLiteral("SELECT $1x, ?")),
              QStringLiteral("SELECT $1x, $1"));
}

TEST(PgConnectParams, ServerNameGivesHostAndPort)
{
    EXPECT_EQ(PgConnectParams::forServer(QStringLiteral("db.example")).host,
              QStringLiteral("db.example"));
    EXPECT_EQ(PgConnectParams::forServer(QStringLiteral("db.example")).port, 5432);
    EXPECT_EQ(PgConnectParams::forServer(QStringLiteral(" 10.0.0.2:6543 ")).port, 6543);
    EXPECT_EQ(PgConnectParams::forServer(QStringLiteral("[::1]:7000")).host, QStringLiteral("::1"));
    EXPECT_EQ(PgConnectParams::forServer(QStringLiteral("[::1]:7000")).port, 7000);
}

TEST(SqliteOpen, MissingFileOrNotADatabaseCannotBeOpened)
{
    QTemporaryDir dir;
    try {
        SqliteDatabase::open(dir.filePath(QStringLiteral("none.db")));
        FAIL();
    } catch (const DbError& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("none.db")));
    }
    QFile junk(dir.filePath(QStringLiteral("junk.db")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'j'));
    junk.close();
    EXPECT_THROW(SqliteDatabase::open(junk.fileName()), DbError);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("none.db")))) << "opening never creates";
}

TEST_P(DatabaseTest, AScriptsStatementMayOnlyReadAndChangeRows)
{
    db().executeScript(QStringLiteral("CREATE TABLE T (Id integer)"));
    EXPECT_EQ(db().executeScripted(QStringLiteral("INSERT INTO T (Id) VALUES (?)"), {1}), 1);
    if (isServer())
        return; // the server leaves this to the login's rights
    // Starts like a read, yet asks for a setting of the file: refused while the script runs.
    const QString pragma = QStringLiteral("SELECT * FROM pragma_table_info('T')");
    EXPECT_THROW(db().queryScripted(pragma), DbError);
    // The program's own statements are not held to it, before or after.
    EXPECT_EQ(db().query(pragma).rowCount(), 1);
}
