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
using namespace Qt::StringLiterals;
using bx::test::EngineTest;

namespace {

class DatabaseTest : public EngineTest
{
protected:
    /** Case-insensitive text, as the schema declares it on each engine. */
    QString text() const { return isServer() ? u"citext"_s : u"TEXT COLLATE NOCASE"_s; }
    QString dateTime() const { return isServer() ? u"timestamp"_s : u"DATETIME"_s; }

    void makeItems()
    {
        db().executeScript(u"CREATE TABLE ITEM (Item_Number integer PRIMARY KEY, Title "_s +
                           text() + u", Done smallint, Seen "_s + dateTime() +
                           u", Rate numeric(19,4))"_s);
    }

    /** ATT with rows 1 to `rows`, their binary column empty. */
    void makeAttachments(int rows)
    {
        db().executeScript(
            isServer() ? u"CREATE TABLE ATT (Attach_Number integer PRIMARY KEY, OLE_Data oid)"_s
                       : u"CREATE TABLE ATT (Attach_Number INTEGER PRIMARY KEY, OLE_Data BLOB)"_s);
        for (int n = 1; n <= rows; ++n)
            db().execute(u"INSERT INTO ATT (Attach_Number) VALUES (?)"_s, {n});
    }
    static BlobRef ref(int n) { return {u"ATT"_s, u"Attach_Number"_s, n, u"OLE_Data"_s}; }
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
        u"INSERT INTO ITEM (Item_Number, Title, Done, Seen, Rate) VALUES (?, ?, ?, ?, ?)"_s,
        {1, u"O'Brien's \"task\" -- ; ?"_s, true, when, 12.5});
    db().execute(
        u"INSERT INTO ITEM (Item_Number, Title, Done, Seen, Rate) VALUES (?, ?, ?, ?, ?)"_s,
        {2, QVariant(), false, QVariant(), QVariant()});

    RecordSet rs = db().query(u"SELECT * FROM ITEM ORDER BY Item_Number"_s);
    ASSERT_EQ(rs.rowCount(), 2);
    EXPECT_EQ(rs.text(u"TITLE"_s), u"O'Brien's \"task\" -- ; ?"_s);
    EXPECT_EQ(rs.number(u"done"_s), db().dialect().trueValue());
    EXPECT_TRUE(rs.flag(u"Done"_s));
    EXPECT_EQ(rs.dateTime(u"Seen"_s), when);
    EXPECT_DOUBLE_EQ(rs.real(u"Rate"_s), 12.5);
    rs.moveNext();
    EXPECT_TRUE(rs.isNull(u"Title"_s));
    EXPECT_EQ(rs.text(u"Title"_s), QString());
    EXPECT_FALSE(rs.flag(u"Done"_s));
    EXPECT_FALSE(rs.dateTime(u"Seen"_s).isValid());
    EXPECT_EQ(rs.number(u"Rate"_s), 0);
    rs.moveNext();
    EXPECT_TRUE(rs.eof());
    EXPECT_EQ(rs.text(u"Title"_s), QString()) << "past the end reads empty";

    // Text comparison ignores case on both engines, and a quote is just a character.
    EXPECT_EQ(db().scalar(u"SELECT Item_Number FROM ITEM WHERE Title = ?"_s,
                          {u"o'brien's \"TASK\" -- ; ?"_s})
                  .toInt(),
              1);
    EXPECT_EQ(db().execute(u"UPDATE ITEM SET Done = ? WHERE Item_Number > ?"_s, {true, 0}), 2);
}

TEST_P(DatabaseTest, ParameterQueriesBindByNameInAnyCase)
{
    makeItems();
    const auto insert =
        ParameterQuery::parse(u"parameters pNote Text, [pNum] Long; INSERT INTO ITEM "
                              "(Item_Number, Title) VALUES ([pNum], [PNOTE])"_s);
    ASSERT_EQ(insert.declared(), (QStringList{u"pNote"_s, u"pNum"_s}));
    db().execute(insert, {{u"PNUM"_s, 5}, {u"pnote"_s, u"it's [pNote]"_s}});

    const auto select =
        ParameterQuery::parse(u"PARAMETERS pTitle Text; SELECT Item_Number FROM ITEM "
                              "WHERE Title = [pTitle] OR Title = '[pTitle]';"_s);
    EXPECT_EQ(select.sql(),
              u"SELECT Item_Number FROM ITEM WHERE Title = ? OR Title = '[pTitle]'"_s);
    const RecordSet rs = db().query(select, {{u"pTitle"_s, u"IT'S [PNOTE]"_s}});
    ASSERT_EQ(rs.rowCount(), 1);
    EXPECT_EQ(rs.number(u"Item_Number"_s), 5);

    EXPECT_THROW(db().query(select, {}), DbError) << "a missing value is an error, not a Null";

    // A marker in a comment is no marker: its value would land on the next one.
    const auto commented = ParameterQuery::parse(
        QString::fromUtf8(test::fuzzFind("parameter_query", "marker-in-comments.sql")));
    EXPECT_EQ(commented.order(), QStringList{u"pNum"_s});
    const RecordSet byNumber = db().query(commented, {{u"pTitle"_s, u"x"_s}, {u"pNum"_s, 5}});
    ASSERT_EQ(byNumber.rowCount(), 1);
    EXPECT_EQ(byNumber.text(u"Title"_s), u"it's [pNote]"_s);
    EXPECT_EQ(ParameterQuery::parse(u"SELECT 1"_s).sql(), u"SELECT 1"_s);

    // A bracket that names no parameter quotes a name to the next "]"; a marker inside is part of
    // that name, not a marker.
    const auto inName = ParameterQuery::parse(
        QString::fromUtf8(test::fuzzFind("parameter_query", "marker-inside-a-quoted-name.sql")));
    EXPECT_EQ(inName.sql(), u"SELECT ? AS [a[p]"_s);
    EXPECT_EQ(inName.order(), QStringList{u"p"_s});
}

// Only the star is a wildcard, and LIKE and name comparisons fold case beyond ASCII.
TEST_P(DatabaseTest, LikeAndNameComparisons)
{
    makeItems();
    const QStringList titles{u"abc"_s,           u"xabc"_s, u"ABD"_s,    u"50% off"_s,
                             u"500 off"_s,       u"a_c"_s,  u"abc\\d"_s, u"O'Hara"_s,
                             u"Zoë's 50% cut"_s, u"ÆRØ"_s,  u"Zoe"_s,    u"Ωmega_1"_s};
    for (int i = 0; i < titles.size(); ++i)
        db().execute(u"INSERT INTO ITEM (Item_Number, Title) VALUES (?, ?)"_s, {i, titles.at(i)});
    const auto titlesWhere = [&](const QString& condition, const QVariant& value) {
        QStringList out;
        const RecordSet rs = db().query(
            u"SELECT Title FROM ITEM WHERE "_s + condition + u" ORDER BY Item_Number"_s, {value});
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
        {true, u"ab*"_s, {0, 2, 6}}, {true, u"50%*"_s, {3}},   {true, u"a_c"_s, {5}},
        {true, u"*\\d"_s, {6}},      {true, u"o'h*"_s, {7}},   {true, u"ZOË*"_s, {8}},
        {true, u"*ë'S 50%*"_s, {8}}, {true, u"*5_%*"_s, {}},   {true, u"ærø"_s, {9}},
        {true, u"ωMEGA_*"_s, {11}},  {true, u"z*"_s, {8, 10}}, {false, u"zoË'S 50% CUT"_s, {8}},
        {false, u"æRø"_s, {9}},      {false, u"ZOË"_s, {}},
    };
    for (const auto& c : cases) {
        QStringList expected;
        for (int i : c.expected)
            expected << titles.at(i);
        const LikeClause like = db().dialect().like(c.typed);
        EXPECT_EQ(c.like ? titlesWhere(u"Title"_s + like.sql, like.pattern)
                         : titlesWhere(db().dialect().textEquals(u"Title"_s), c.typed),
                  expected)
            << c.typed.toStdString();
    }
    EXPECT_EQ(db().dialect().like(u"ab*"_s).pattern.toString(), u"ab%"_s);
}

TEST_P(DatabaseTest, DateLiteralIsTheEnginesForm)
{
    const QDateTime when(QDate(2024, 1, 31), QTime(14, 5, 9), Qt::UTC);
    const QString literal = db().dialect().dateLiteral(when);
    EXPECT_EQ(literal, isServer() ? u"'20240131 14:05:09'"_s : u"'2024-01-31 14:05:09'"_s);
    db().executeScript(u"CREATE TABLE D (Seen "_s + dateTime() + u")"_s);
    db().executeScript(u"INSERT INTO D (Seen) VALUES ("_s + literal + u")"_s);
    EXPECT_EQ(db().query(u"SELECT Seen FROM D"_s).dateTime(u"Seen"_s), when);
    EXPECT_EQ(db().scalar(u"SELECT count(*) FROM D WHERE Seen = ?"_s, {when}).toInt(), 1);
}

TEST_P(DatabaseTest, FindFirstComparesTrimmedWithoutCase)
{
    makeItems();
    db().execute(u"INSERT INTO ITEM (Item_Number, Title) VALUES (1, NULL), (2, ?), (3, ?)"_s,
                 {u" O'Brien "_s, u"smith"_s});
    RecordSet rs = db().query(u"SELECT * FROM ITEM ORDER BY Item_Number"_s);
    ASSERT_TRUE(rs.findFirst(u"title"_s, u"o'brien"_s));
    EXPECT_EQ(rs.number(u"Item_Number"_s), 2);
    ASSERT_TRUE(rs.findFirst(u"Item_Number"_s, 3));
    EXPECT_EQ(rs.text(u"Title"_s), u"smith"_s);
    EXPECT_FALSE(rs.findFirst(u"Title"_s, u"jones"_s));
    EXPECT_TRUE(rs.eof());
    RecordSet empty({u"Title"_s}, {});
    EXPECT_FALSE(empty.findFirst(u"Title"_s, u"x"_s));
}

#ifndef QT_NO_DEBUG
TEST(RecordSetDeathTest, ReadingAColumnTheSetLacksIsAProgrammingError)
{
    RecordSet rs({u"SCR_Title"_s}, {{u"Fix it"_s}});
    EXPECT_EQ(rs.columnIndex(u"SCR_Titel"_s), -1) << "the probe never asserts";
    EXPECT_FALSE(rs.hasColumn(u"SCR_Titel"_s));
    EXPECT_EQ(rs.text(u"scr_title"_s), u"Fix it"_s);
    EXPECT_DEATH(rs.text(u"SCR_Titel"_s), "SCR_Titel");
    EXPECT_DEATH(rs.value(0, u"SCR_Titel"_s), "SCR_Titel");
    EXPECT_DEATH(rs.findFirst(u"SCR_Titel"_s, 1), "SCR_Titel");
    RecordSet past = rs;
    past.moveNext();
    EXPECT_DEATH(past.number(u"SCR_Titel"_s), "SCR_Titel")
        << "past the end as well, so a list without rows catches it too";
}
#endif

TEST_P(DatabaseTest, TransactionsRollBackUnlessCommittedAndNest)
{
    makeItems();
    {
        Transaction tx(db());
        db().execute(u"INSERT INTO ITEM (Item_Number) VALUES (1)"_s);
    }
    EXPECT_EQ(db().scalar(u"SELECT count(*) FROM ITEM"_s).toInt(), 0);
    {
        Transaction outer(db());
        db().execute(u"INSERT INTO ITEM (Item_Number) VALUES (2)"_s);
        {
            Transaction inner(db());
            db().execute(u"INSERT INTO ITEM (Item_Number) VALUES (3)"_s);
        }
        {
            Transaction inner(db());
            db().execute(u"INSERT INTO ITEM (Item_Number) VALUES (4)"_s);
            inner.commit();
            EXPECT_THROW(inner.commit(), DbError);
        }
        outer.commit();
    }
    EXPECT_EQ(db().scalar(u"SELECT sum(Item_Number) FROM ITEM"_s).toInt(), 6);
    EXPECT_EQ(db().transactionDepth(), 0);

    // A failing statement inside a transaction leaves the connection usable after the rollback.
    try {
        Transaction tx(db());
        db().execute(u"INSERT INTO ITEM (Item_Number) VALUES (2)"_s);
        FAIL() << "duplicate key accepted";
    } catch (const DbError& e) {
        EXPECT_FALSE(e.number().isEmpty());
        EXPECT_TRUE(e.statement().contains(u"INSERT INTO ITEM"_s));
        EXPECT_TRUE(e.where().contains(u"DatabaseTest"_s));
    }
    EXPECT_EQ(db().scalar(u"SELECT count(*) FROM ITEM"_s).toInt(), 2);
}

TEST_P(DatabaseTest, CatalogueListsTablesColumnsForeignKeysAndSystemTables)
{
    makeItems();
    EXPECT_TRUE(db().hasTable(u"item"_s));
    EXPECT_FALSE(db().hasTable(u"nothing"_s));
    const QList<ColumnInfo> cols = db().columns(u"Item"_s);
    ASSERT_EQ(cols.size(), 5);
    EXPECT_EQ(cols.at(1).name.toLower(), u"title"_s);
    EXPECT_TRUE(cols.at(1).nullable);
    EXPECT_TRUE(db().columns(u"nothing"_s).isEmpty());

    // A key naming the column it refers to, and a key of two columns to the primary key of
    // another table, which it pairs in that key's order.
    db().executeScript(
        u"CREATE TABLE \"Odd Parent\" (\"Parent Key\" integer PRIMARY KEY, Name varchar(20));\n"
        "CREATE TABLE Pair (A integer, B integer, PRIMARY KEY (A, B));\n"
        "CREATE TABLE Child (Id integer PRIMARY KEY, \"O'Brien Key\" integer REFERENCES "
        "\"Odd Parent\" (\"Parent Key\"), PB integer, PA integer, FOREIGN KEY (PB, PA) "
        "REFERENCES Pair)"_s);
    QList<ForeignKey> keys = db().foreignKeys(u"CHILD"_s);
    for (ForeignKey& k : keys) {
        k.table = k.table.toLower();
        k.column = k.column.toLower();
        k.referencedTable = k.referencedTable.toLower();
        k.referencedColumn = k.referencedColumn.toLower();
    }
    std::sort(keys.begin(), keys.end(),
              [](const ForeignKey& a, const ForeignKey& b) { return a.column < b.column; });
    const QString child = u"child"_s;
    EXPECT_EQ(keys, (QList<ForeignKey>{
                        {child, u"o'brien key"_s, u"odd parent"_s, u"parent key"_s},
                        {child, u"pa"_s, u"pair"_s, u"b"_s},
                        {child, u"pb"_s, u"pair"_s, u"a"_s},
                    }));
    EXPECT_TRUE(db().foreignKeys(u"Pair"_s).isEmpty());
    EXPECT_TRUE(db().foreignKeys(u"nothing"_s).isEmpty());
    // Names come in the catalogue's spelling, so that they can be quoted.
    const QList<ForeignKey> spelt = db().foreignKeys(u"child"_s);
    EXPECT_TRUE(std::any_of(spelt.cbegin(), spelt.cend(), [](const ForeignKey& k) {
        return k.referencedTable == u"Odd Parent"_s && k.referencedColumn == u"Parent Key"_s;
    }));

    const QStringList system = db().systemTables();
    ASSERT_FALSE(system.isEmpty());
    for (const QString& table : system) {
        EXPECT_FALSE(db().tables().contains(table)) << table.toStdString();
    }
    const QString catalogue = isServer() ? u"pg_class"_s : u"sqlite_schema"_s;
    EXPECT_TRUE(system.contains(catalogue));
    EXPECT_FALSE(db().columns(catalogue).isEmpty());

    // A full-text table is no table of the catalogue's list, but it can be asked for by name.
    EXPECT_FALSE(db().hasFullTextTable(u"item"_s));
    EXPECT_FALSE(db().hasFullTextTable(u"nothing"_s));
    if (isServer())
        return;
    db().executeScript(u"CREATE VIRTUAL TABLE Item_Words USING fts5(Title)"_s);
    EXPECT_FALSE(db().hasTable(u"Item_Words"_s));
    EXPECT_TRUE(db().hasFullTextTable(u"ITEM_WORDS"_s));
    EXPECT_FALSE(db().hasFullTextTable(u"Item_Words_content"_s)) << "a shadow table";
}

TEST_P(DatabaseTest, NewNumbersComeFromTheCounterOrTheSerialTable)
{
    createSerialTable();
    db().executeScript(
        isServer() ? u"CREATE TABLE A (A_Number integer PRIMARY KEY, Title citext); "
                     "CREATE TABLE B (B_Number integer PRIMARY KEY)"_s
                   : u"CREATE TABLE A (A_Number INTEGER PRIMARY KEY AUTOINCREMENT, Title TEXT); "
                     "CREATE TABLE B (B_Number INTEGER PRIMARY KEY AUTOINCREMENT)"_s);
    const qlonglong a1 = db().insertNumbered(u"A"_s, u"A_Number"_s, {u"Title"_s}, {u"x'y"_s});
    const qlonglong b1 = db().insertNumbered(u"B"_s, u"B_Number"_s, {}, {});
    const qlonglong a2 = db().insertNumbered(u"A"_s, u"A_Number"_s, {u"Title"_s}, {QVariant()});
    EXPECT_GT(a1, 0);
    EXPECT_GT(a2, a1);
    EXPECT_EQ(db().scalar(u"SELECT Title FROM A WHERE A_Number = ?"_s, {a1}).toString(), u"x'y"_s);
    if (isServer()) {
        EXPECT_NE(b1, a1) << "one serial for every table";
        EXPECT_NE(b1, a2);
        EXPECT_EQ(db().scalar(u"SELECT count(*) FROM LU_SERIALS"_s).toInt(), 0)
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
        EXPECT_EQ(db().scalar(u"SELECT count(*) FROM pg_largeobject_metadata"_s).toInt(), 1);
        db().clearBlob(ref(1));
        EXPECT_EQ(db().scalar(u"SELECT count(*) FROM pg_largeobject_metadata"_s).toInt(), 0);
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
    const BlobRef missing{u"ATT"_s, u"Attach_Number"_s, 99, u"OLE_Data"_s};
    QBuffer again(&shortData);
    again.open(QIODevice::ReadOnly);
    EXPECT_THROW(db().writeBlob(missing, again, 10), DbError);

    if (!isServer()) {
        // A column after the binary one would make the embedded engine hold the whole value in
        // memory; such a table is refused rather than streamed slowly into a memory spike.
        db().executeScript(u"CREATE TABLE BAD (K INTEGER PRIMARY KEY, OLE_Data BLOB, Later TEXT); "
                           "INSERT INTO BAD (K) VALUES (1)"_s);
        QBuffer third(&shortData);
        third.open(QIODevice::ReadOnly);
        EXPECT_THROW(db().writeBlob({u"BAD"_s, u"K"_s, 1, u"OLE_Data"_s}, third, 10), DbError);
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
    EXPECT_EQ(db().scalar(u"SELECT count(*) FROM ATT WHERE OLE_Data IS NULL"_s).toInt(), 2);
    if (isServer()) {
        // The values a copy replaced are freed: only row 1's remains.
        EXPECT_EQ(db().scalar(u"SELECT count(*) FROM pg_largeobject_metadata"_s).toInt(), 1);
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
        u"The record can't be added or changed. Referential integrity rules require "
        "a related record in table 'LU_PRIORITY'."_s;
    if (isServer()) {
        db().executeScript(
            u"CREATE TABLE T (x integer); "
            "CREATE FUNCTION t_refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
            "RAISE EXCEPTION USING ERRCODE = '44447', MESSAGE = 'The record can''t be added or "
            "changed. "
            "Referential integrity rules require a related record in table ''LU_PRIORITY''.'; END "
            "$$; "
            "CREATE TRIGGER t_refuse BEFORE INSERT ON T FOR EACH ROW EXECUTE FUNCTION t_refuse()"_s);
    } else {
        db().executeScript(u"CREATE TABLE T (x INTEGER); "
                           "CREATE TRIGGER t_refuse BEFORE INSERT ON T BEGIN SELECT RAISE(ABORT, "
                           "'[44447] The record can''t "
                           "be added or changed. Referential integrity rules require a related "
                           "record in table ''LU_PRIORITY''.'); END"_s);
    }
    try {
        db().execute(u"INSERT INTO T (x) VALUES (?)"_s, {1});
        FAIL() << "trigger did not fire";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number(), u"44447"_s);
        EXPECT_EQ(e.description(), text);
    }
}

TEST_P(DatabaseTest, FailuresAreClassifiedTheSameOnBothEngines)
{
    makeItems();
    db().executeScript(u"CREATE UNIQUE INDEX ITEM_TITLE ON ITEM (Title)"_s);
    db().execute(u"INSERT INTO ITEM (Item_Number, Title) VALUES (?, ?)"_s, {1, u"O'Brien"_s});
    const auto kindOf = [this](const QString& sql, const QVariantList& params) {
        try {
            db().execute(sql, params);
        } catch (const DbError& e) {
            return e.kind();
        }
        ADD_FAILURE() << "no error from " << sql.toStdString();
        return DbErrorKind::Other;
    };
    const QString insert = u"INSERT INTO ITEM (Item_Number, Title) VALUES (?, ?)"_s;
    EXPECT_EQ(kindOf(insert, {1, u"Other"_s}), DbErrorKind::DuplicateKey);
    EXPECT_EQ(kindOf(insert, {2, u"O'Brien"_s}), DbErrorKind::DuplicateKey);
    EXPECT_EQ(kindOf(u"INSERT INTO NO_ITEM (x) VALUES (?)"_s, {1}), DbErrorKind::UnknownTable);
    EXPECT_EQ(kindOf(u"UPDATE ITEM SET No_Column = ?"_s, {1}), DbErrorKind::UnknownColumn);
}

// Both engines read a statement only up to its first NUL: a condition or a statement after it
// would be dropped without a word, so such a text is refused before it reaches the engine.
TEST_P(DatabaseTest, StatementsHoldingANulAreRefused)
{
    makeItems();
    db().execute(u"INSERT INTO ITEM (Item_Number, Title) VALUES (1, 'a')"_s);
    const ParameterQuery found = ParameterQuery::parse(
        QString::fromUtf8(test::fuzzFind("parameter_query", "nul-drops-the-rest.sql")));
    ASSERT_TRUE(found.sql().contains(QChar(0)));
    try {
        db().query(found, {{u"pTitle"_s, u"none"_s}});
        ADD_FAILURE() << "a statement cut at its NUL ran";
    } catch (const DbError& e) {
        EXPECT_EQ(e.description(), u"A statement may not hold a NUL character"_s);
    }
    const QString deleteTwice =
        u"DELETE FROM ITEM WHERE Item_Number = 2"_s + QChar(0) + u"; DELETE FROM ITEM"_s;
    EXPECT_THROW(db().execute(deleteTwice), DbError);
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM ITEM"_s).toInt(), 1);
}

BX_INSTANTIATE_ENGINES(DatabaseTest);

TEST(PgPlaceholders, NumberedOutsideQuotesAndComments)
{
    EXPECT_EQ(PgDatabase::numberedPlaceholders(
                  u"SELECT ? , '?''?' , \"a?\" , ? -- ?\n, $q$ ? $q$, /* ? */ ?"_s),
              u"SELECT $1 , '?''?' , \"a?\" , $2 -- ?\n, $q$ ? $q$, /* ? */ $3"_s);
    EXPECT_EQ(PgDatabase::numberedPlaceholders(u"SELECT $1x, ?"_s), u"SELECT $1x, $1"_s);
}

TEST(PgConnectParams, ServerNameGivesHostAndPort)
{
    EXPECT_EQ(PgConnectParams::forServer(u"db.example"_s).host, u"db.example"_s);
    EXPECT_EQ(PgConnectParams::forServer(u"db.example"_s).port, 5432);
    EXPECT_EQ(PgConnectParams::forServer(u" 10.0.0.2:6543 "_s).port, 6543);
    EXPECT_EQ(PgConnectParams::forServer(u"[::1]:7000"_s).host, u"::1"_s);
    EXPECT_EQ(PgConnectParams::forServer(u"[::1]:7000"_s).port, 7000);
}

TEST(SqliteOpen, MissingFileOrNotADatabaseCannotBeOpened)
{
    QTemporaryDir dir;
    try {
        SqliteDatabase::open(dir.filePath(u"none.db"_s));
        FAIL();
    } catch (const DbError& e) {
        EXPECT_TRUE(e.description().contains(u"none.db"_s));
    }
    QFile junk(dir.filePath(u"junk.db"_s));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'j'));
    junk.close();
    EXPECT_THROW(SqliteDatabase::open(junk.fileName()), DbError);
    EXPECT_FALSE(QFile::exists(dir.filePath(u"none.db"_s))) << "opening never creates";
}

TEST_P(DatabaseTest, AScriptsStatementMayOnlyReadAndChangeRows)
{
    db().executeScript(u"CREATE TABLE T (Id integer)"_s);
    EXPECT_EQ(db().executeScripted(u"INSERT INTO T (Id) VALUES (?)"_s, {1}), 1);
    if (isServer())
        return; // the server leaves this to the login's rights
    // Starts like a read, yet asks for a setting of the file: refused while the script runs.
    const QString pragma = u"SELECT * FROM pragma_table_info('T')"_s;
    EXPECT_THROW(db().queryScripted(pragma), DbError);
    // The program's own statements are not held to it, before or after.
    EXPECT_EQ(db().query(pragma).rowCount(), 1);
}
