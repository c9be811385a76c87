#include "dbadmin/EmbeddedSchemaEdit.h"

#include "core/db/SqliteDatabase.h"
#include "dbadmin/StepActions.h"
#include "dbadmin/UpgradeLog.h"
#include "support/QtPrinters.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bx;
namespace edit = bx::EmbeddedSchemaEdit;

namespace {

class EmbeddedSchemaEditTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_db = SqliteDatabase::open(m_dir.filePath(QStringLiteral("t.db")),
                                    SqliteDatabase::OpenMode::Create);
        m_log = std::make_unique<UpgradeLog>(m_dir.filePath(QStringLiteral("log.txt")));
        // A parent whose children go with it, as LU_GROUP and its messages.
        db().executeScript(QStringLiteral(
            "CREATE TABLE P (ID INTEGER PRIMARY KEY AUTOINCREMENT, NAME TEXT COLLATE NOCASE);"
            "CREATE TABLE C (N INTEGER PRIMARY KEY, P_ID INTEGER, CONSTRAINT FK_C_P FOREIGN KEY "
            "(P_ID) REFERENCES P (ID) ON DELETE CASCADE ON UPDATE CASCADE);"
            "CREATE TABLE Q (CODE TEXT PRIMARY KEY);"
            "INSERT INTO P (NAME) VALUES ('one'), ('two'), ('three');"
            "DELETE FROM P WHERE ID = 3;"
            "INSERT INTO C VALUES (1, 1), (2, 1), (3, 2);"
            "INSERT INTO Q VALUES ('a');"));
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
    const TableDefinition def = edit::parseDefinition(QStringLiteral(
        "CREATE TABLE IF NOT EXISTS \"we\"\"ird\" ( -- the key\n"
        "  a   TEXT DEFAULT 'x, (y) -- no comment' /* c, d */,\n"
        "  \"b c\" INTEGER CHECK (\"b c\" IN (1, 2)),\n"
        "  CONSTRAINT fk FOREIGN KEY (a) REFERENCES \"group\" (GROUP_ID) ON DELETE CASCADE\n"
        ") WITHOUT ROWID"));
    EXPECT_EQ(def.name, QStringLiteral("we\"ird"));
    EXPECT_EQ(def.items,
              (QStringList{QStringLiteral("a TEXT DEFAULT 'x, (y) -- no comment'"),
                           QStringLiteral("\"b c\" INTEGER CHECK (\"b c\" IN (1, 2))"),
                           QStringLiteral("CONSTRAINT fk FOREIGN KEY (a) REFERENCES \"group\" "
                                          "(GROUP_ID) ON DELETE CASCADE")}));
    EXPECT_EQ(def.tail, QStringLiteral("WITHOUT ROWID"));
    EXPECT_EQ(def.columnNames(), (QStringList{QStringLiteral("a"), QStringLiteral("b c")}));
    EXPECT_EQ(def.columnItem(QStringLiteral("B C")), 1);

    const auto fk = edit::foreignKeyOf(def.items.at(2));
    ASSERT_TRUE(fk.has_value());
    EXPECT_EQ(fk->name, QStringLiteral("fk"));
    EXPECT_EQ(fk->parentTable, QStringLiteral("group"));
    EXPECT_FALSE(edit::foreignKeyOf(def.items.at(0)).has_value());
    EXPECT_EQ(edit::columnNameOf(QStringLiteral("PRIMARY KEY (a, b)")), QString());
    EXPECT_THROW(edit::parseDefinition(QStringLiteral("CREATE TABLE broken (a TEXT")), DbError);
}

TEST_F(EmbeddedSchemaEditTest, ARewriteChangesConstraintsWithoutTouchingARow)
{
    TableDefinition def = edit::definitionOf(db(), QStringLiteral("p"));
    EXPECT_EQ(def.name, QStringLiteral("P")) << "the catalogue's spelling";
    def.items << QStringLiteral("CONSTRAINT FK_P_Q FOREIGN KEY (NAME) REFERENCES Q (CODE)");
    {
        Transaction tx(db());
        // The existing names match no Q row: the change is refused and leaves nothing behind.
        EXPECT_THROW(edit::rewriteDefinition(db(), *m_log, def), DbError);
    }
    EXPECT_NO_THROW(db().execute(QStringLiteral("INSERT INTO P (NAME) VALUES ('free')")));
    db().execute(QStringLiteral("DELETE FROM P WHERE NAME = 'free'"));
    db().execute(QStringLiteral("INSERT INTO Q VALUES ('one'), ('two')"));

    Transaction tx(db());
    edit::rewriteDefinition(db(), *m_log, def);
    tx.commit();
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM C")), 3) << "the children are all there";
    EXPECT_THROW(db().execute(QStringLiteral("INSERT INTO P (NAME) VALUES ('zzz')")), DbError);
    EXPECT_EQ(db().scalar(QStringLiteral("PRAGMA integrity_check")).toString(),
              QStringLiteral("ok"));
    // Another connection sees the new definition too.
    auto other = SqliteDatabase::open(m_dir.filePath(QStringLiteral("t.db")));
    EXPECT_THROW(other->execute(QStringLiteral("INSERT INTO P (NAME) VALUES ('zzz')")), DbError);

    // Text the engine cannot read never reaches the catalogue.
    TableDefinition broken = def;
    broken.items << QStringLiteral("CONSTRAINT oops CHECK (");
    EXPECT_THROW(edit::rewriteDefinition(db(), *m_log, broken), DbError);
    TableDefinition moreColumns = def;
    moreColumns.items.insert(1, QStringLiteral("EXTRA TEXT"));
    EXPECT_THROW(edit::rewriteDefinition(db(), *m_log, moreColumns), DbError);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM P")), 2);
}

TEST_F(EmbeddedSchemaEditTest, ARebuildKeepsRowsIndexesTriggersAndTheCounter)
{
    db().executeScript(QStringLiteral(
        "CREATE TABLE A (N INTEGER PRIMARY KEY AUTOINCREMENT, T TEXT, B BLOB);"
        "CREATE INDEX A_T ON A (T);"
        "CREATE TABLE AUDIT (N INTEGER);"
        "CREATE TRIGGER A_Added AFTER INSERT ON A BEGIN INSERT INTO AUDIT VALUES (NEW.N); END;"
        "INSERT INTO A (T, B) VALUES ('x', x'01'), ('y', x'02'), ('z', x'03');"
        "DELETE FROM A WHERE N = 3;"));
    TableDefinition def = edit::definitionOf(db(), QStringLiteral("A"));
    def.items.insert(2, QStringLiteral("C TEXT COLLATE NOCASE"));

    Transaction tx(db());
    edit::rebuildTable(db(), *m_log, def);
    tx.commit();

    QStringList columns;
    for (const ColumnInfo& c : db().columns(QStringLiteral("A")))
        columns << c.name;
    EXPECT_EQ(columns, (QStringList{QStringLiteral("N"), QStringLiteral("T"), QStringLiteral("C"),
                                    QStringLiteral("B")}));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT B FROM A WHERE N = 2")).toByteArray(),
              QByteArray("\x02"));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'A_T'")), 1);
    db().execute(QStringLiteral("INSERT INTO A (T) VALUES ('w')"));
    EXPECT_EQ(count(QStringLiteral("SELECT max(N) FROM A")), 4) << "3 was drawn once already";
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM AUDIT")), 4) << "the trigger is back";
    EXPECT_FALSE(db().hasTable(QStringLiteral("bx_new_A")));
}

TEST_F(EmbeddedSchemaEditTest, AReferencedTableIsNeitherRebuiltNorDropped)
{
    EXPECT_EQ(edit::referencingTables(db(), QStringLiteral("p")), QStringList{QStringLiteral("C")});
    TableDefinition def = edit::definitionOf(db(), QStringLiteral("P"));
    def.items << QStringLiteral("EXTRA TEXT");
    {
        Transaction tx(db());
        EXPECT_THROW(edit::rebuildTable(db(), *m_log, def), DbError);
        EXPECT_THROW(edit::dropTable(db(), *m_log, QStringLiteral("P")), DbError);
    }
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM C")), 3)
        << "dropping P would have deleted every row of C";

    // Once the relation is gone, P may go.
    UpgradeContext context{m_dir.path(), nullptr};
    StepActions a(db(), *m_log, context, ErrorPolicy::Strict);
    Transaction tx(db());
    a.removeRelationsOf(QStringLiteral("P"));
    a.dropTable(QStringLiteral("P"));
    tx.commit();
    EXPECT_FALSE(db().hasTable(QStringLiteral("P")));
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM C")), 3);
}

TEST_F(EmbeddedSchemaEditTest, RequiredTextColumnsCanBeMadeOptional)
{
    db().executeScript(QStringLiteral(
        "CREATE TABLE S (U TEXT NOT NULL DEFAULT '', W TEXT not  null, X TEXT NOT NULL);"
        "INSERT INTO S VALUES ('u', 'w', 'x');"));
    UpgradeContext context{m_dir.path(), nullptr};
    StepActions a(db(), *m_log, context, ErrorPolicy::Strict);
    Transaction tx(db());
    a.allowEmpty(QStringLiteral("S"), {QStringLiteral("U"), QStringLiteral("w")});
    tx.commit();
    EXPECT_NO_THROW(
        db().execute(QStringLiteral("INSERT INTO S (U, W, X) VALUES (NULL, NULL, '')")));
    EXPECT_THROW(db().execute(QStringLiteral("INSERT INTO S (X) VALUES (NULL)")), DbError);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT U FROM S WHERE X = 'x'")).toString(),
              QStringLiteral("u"));
}
