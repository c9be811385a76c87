#include "dbadmin/EmbeddedSchemaEdit.h"

#include "core/db/SqliteDatabase.h"
#include "dbadmin/StepActions.h"
#include "dbadmin/UpgradeLog.h"
#include "support/QtPrinters.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
namespace edit = bx::EmbeddedSchemaEdit;

namespace {

class EmbeddedSchemaEditTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_db = SqliteDatabase::open(m_dir.filePath(u"t.db"_s), SqliteDatabase::OpenMode::Create);
        m_log = std::make_unique<UpgradeLog>(m_dir.filePath(u"log.txt"_s));
        // A parent whose children go with it, as LU_GROUP and its messages.
        db().executeScript(
            u"CREATE TABLE P (ID INTEGER PRIMARY KEY AUTOINCREMENT, NAME TEXT COLLATE NOCASE);"
            "CREATE TABLE C (N INTEGER PRIMARY KEY, P_ID INTEGER, CONSTRAINT FK_C_P FOREIGN KEY "
            "(P_ID) REFERENCES P (ID) ON DELETE CASCADE ON UPDATE CASCADE);"
            "CREATE TABLE Q (CODE TEXT PRIMARY KEY);"
            "INSERT INTO P (NAME) VALUES ('one'), ('two'), ('three');DELETE FROM P WHERE ID = 3;"
            "INSERT INTO C VALUES (1, 1), (2, 1), (3, 2);INSERT INTO Q VALUES ('a');"_s);
    }

    Database& db() { return *m_db; }
    qlonglong count(const QString& sql) { return db().scalar(sql).toLongLong(); }

    QTemporaryDir m_dir;
    std::unique_ptr<SqliteDatabase> m_db;
    std::unique_ptr<UpgradeLog> m_log;
};

} // namespace

TEST(TableDefinitionParsing, KeepsQuotedTextWholeAndDropsComments)
{
    const TableDefinition def = edit::parseDefinition(
        u"CREATE TABLE IF NOT EXISTS \"we\"\"ird\" ( -- the key\n"
        "  a   TEXT DEFAULT 'x, (y) -- no comment' /* c, d */,\n"
        "  \"b c\" INTEGER CHECK (\"b c\" IN (1, 2)),\n"
        "  CONSTRAINT fk FOREIGN KEY (a) REFERENCES \"group\" (GROUP_ID) ON DELETE CASCADE\n"
        ") WITHOUT ROWID"_s);
    EXPECT_EQ(def.name, u"we\"ird"_s);
    EXPECT_EQ(def.items, (QStringList{u"a TEXT DEFAULT 'x, (y) -- no comment'"_s,
                                      u"\"b c\" INTEGER CHECK (\"b c\" IN (1, 2))"_s,
                                      u"CONSTRAINT fk FOREIGN KEY (a) REFERENCES \"group\" "
                                      "(GROUP_ID) ON DELETE CASCADE"_s}));
    EXPECT_EQ(def.tail, u"WITHOUT ROWID"_s);
    EXPECT_EQ(def.columnNames(), (QStringList{u"a"_s, u"b c"_s}));
    EXPECT_EQ(def.columnItem(u"B C"_s), 1);

    const auto fk = edit::foreignKeyOf(def.items.at(2));
    ASSERT_TRUE(fk.has_value());
    EXPECT_EQ(fk->name, u"fk"_s);
    EXPECT_EQ(fk->parentTable, u"group"_s);
    EXPECT_FALSE(edit::foreignKeyOf(def.items.at(0)).has_value());
    EXPECT_EQ(edit::columnNameOf(u"PRIMARY KEY (a, b)"_s), QString());
    EXPECT_THROW(edit::parseDefinition(u"CREATE TABLE broken (a TEXT"_s), DbError);
}

TEST_F(EmbeddedSchemaEditTest, ARewriteChangesConstraintsWithoutTouchingARow)
{
    TableDefinition def = edit::definitionOf(db(), u"p"_s);
    EXPECT_EQ(def.name, u"P"_s) << "the catalogue's spelling";
    def.items << u"CONSTRAINT FK_P_Q FOREIGN KEY (NAME) REFERENCES Q (CODE)"_s;
    {
        Transaction tx(db());
        // The existing names match no Q row: the change is refused and leaves nothing behind.
        EXPECT_THROW(edit::rewriteDefinition(db(), *m_log, def), DbError);
    }
    EXPECT_NO_THROW(db().execute(u"INSERT INTO P (NAME) VALUES ('free')"_s));
    db().execute(u"DELETE FROM P WHERE NAME = 'free'"_s);
    db().execute(u"INSERT INTO Q VALUES ('one'), ('two')"_s);

    Transaction tx(db());
    edit::rewriteDefinition(db(), *m_log, def);
    tx.commit();
    EXPECT_EQ(count(u"SELECT count(*) FROM C"_s), 3) << "the children are all there";
    EXPECT_THROW(db().execute(u"INSERT INTO P (NAME) VALUES ('zzz')"_s), DbError);
    EXPECT_EQ(db().scalar(u"PRAGMA integrity_check"_s).toString(), u"ok"_s);
    // Another connection sees the new definition too.
    auto other = SqliteDatabase::open(m_dir.filePath(u"t.db"_s));
    EXPECT_THROW(other->execute(u"INSERT INTO P (NAME) VALUES ('zzz')"_s), DbError);

    // Text the engine cannot read never reaches the catalogue.
    TableDefinition broken = def;
    broken.items << u"CONSTRAINT oops CHECK ("_s;
    EXPECT_THROW(edit::rewriteDefinition(db(), *m_log, broken), DbError);
    TableDefinition moreColumns = def;
    moreColumns.items.insert(1, u"EXTRA TEXT"_s);
    EXPECT_THROW(edit::rewriteDefinition(db(), *m_log, moreColumns), DbError);
    EXPECT_EQ(count(u"SELECT count(*) FROM P"_s), 2);
}

TEST_F(EmbeddedSchemaEditTest, ARebuildKeepsRowsIndexesTriggersAndTheCounter)
{
    db().executeScript(u"CREATE TABLE A (N INTEGER PRIMARY KEY AUTOINCREMENT, T TEXT, B BLOB);"
                       "CREATE INDEX A_T ON A (T);CREATE TABLE AUDIT (N INTEGER);CREATE TRIGGER "
                       "A_Added AFTER INSERT ON A BEGIN INSERT INTO AUDIT VALUES (NEW.N); END;"
                       "INSERT INTO A (T, B) VALUES ('x', x'01'), ('y', x'02'), ('z', x'03');"
                       "DELETE FROM A WHERE N = 3;"_s);
    TableDefinition def = edit::definitionOf(db(), u"A"_s);
    def.items.insert(2, u"C TEXT COLLATE NOCASE"_s);

    Transaction tx(db());
    edit::rebuildTable(db(), *m_log, def);
    tx.commit();

    QStringList columns;
    for (const ColumnInfo& c : db().columns(u"A"_s))
        columns << c.name;
    EXPECT_EQ(columns, (QStringList{u"N"_s, u"T"_s, u"C"_s, u"B"_s}));
    EXPECT_EQ(db().scalar(u"SELECT B FROM A WHERE N = 2"_s).toByteArray(), QByteArray("\x02"));
    EXPECT_EQ(count(u"SELECT count(*) FROM sqlite_master WHERE name = 'A_T'"_s), 1);
    db().execute(u"INSERT INTO A (T) VALUES ('w')"_s);
    EXPECT_EQ(count(u"SELECT max(N) FROM A"_s), 4) << "3 was drawn once already";
    EXPECT_EQ(count(u"SELECT count(*) FROM AUDIT"_s), 4) << "the trigger is back";
    EXPECT_FALSE(db().hasTable(u"bx_new_A"_s));
}

TEST_F(EmbeddedSchemaEditTest, AReferencedTableIsNeitherRebuiltNorDropped)
{
    EXPECT_EQ(edit::referencingTables(db(), u"p"_s), QStringList{u"C"_s});
    TableDefinition def = edit::definitionOf(db(), u"P"_s);
    def.items << u"EXTRA TEXT"_s;
    {
        Transaction tx(db());
        EXPECT_THROW(edit::rebuildTable(db(), *m_log, def), DbError);
        EXPECT_THROW(edit::dropTable(db(), *m_log, u"P"_s), DbError);
    }
    EXPECT_EQ(count(u"SELECT count(*) FROM C"_s), 3)
        << "dropping P would have deleted every row of C";

    // Once the relation is gone, P may go.
    UpgradeContext context{m_dir.path(), nullptr};
    StepActions a(db(), *m_log, context, ErrorPolicy::Strict);
    Transaction tx(db());
    a.removeRelationsOf(u"P"_s);
    a.dropTable(u"P"_s);
    tx.commit();
    EXPECT_FALSE(db().hasTable(u"P"_s));
    EXPECT_EQ(count(u"SELECT count(*) FROM C"_s), 3);
}

TEST_F(EmbeddedSchemaEditTest, RequiredTextColumnsCanBeMadeOptional)
{
    db().executeScript(
        u"CREATE TABLE S (U TEXT NOT NULL DEFAULT '', W TEXT not  null, X TEXT NOT NULL);"
        "INSERT INTO S VALUES ('u', 'w', 'x');"_s);
    UpgradeContext context{m_dir.path(), nullptr};
    StepActions a(db(), *m_log, context, ErrorPolicy::Strict);
    Transaction tx(db());
    a.allowEmpty(u"S"_s, {u"U"_s, u"w"_s});
    tx.commit();
    EXPECT_NO_THROW(db().execute(u"INSERT INTO S (U, W, X) VALUES (NULL, NULL, '')"_s));
    EXPECT_THROW(db().execute(u"INSERT INTO S (X) VALUES (NULL)"_s), DbError);
    EXPECT_EQ(db().scalar(u"SELECT U FROM S WHERE X = 'x'"_s).toString(), u"u"_s);
}
