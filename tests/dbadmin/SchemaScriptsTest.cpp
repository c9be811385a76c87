#include "core/db/SqliteDatabase.h"
#include "dbadmin/BatchScript.h"
#include "support/EngineFixture.h"
#include "support/Schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
using bx::test::EngineTest;

namespace {
class BaseSchemaTest : public EngineTest
{
};
} // namespace

TEST(SchemaScripts, TheCreationScriptPreparesWhatItCreatesLikeTheOtherScript)
{
    const QString name = u"pax_O'Neil"_s;
    const QStringList create = scriptBatches(bx::test::deliveredFile(u"PAXSQL.sql"_s), name);
    const QStringList prepare = scriptBatches(bx::test::deliveredFile(u"PAXSQLN.sql"_s), name);
    ASSERT_GT(create.size(), 2);
    EXPECT_TRUE(create.at(0).contains(u"CREATE DATABASE "_s));
    EXPECT_EQ(useTarget(create.at(1)), name);
    EXPECT_EQ(create.mid(2), prepare);

    // The administrator's row keeps the announced default password; the login is the database's
    // own and is made without one (the creator gives it the derived one).
    const QString all = prepare.join(u"\n"_s);
    EXPECT_TRUE(all.contains(u"VALUES (1,'admin', 'Administrator', 'vastrelume'"_s));
    EXPECT_TRUE(all.contains(u"SELECT bx_create_login('pax_O''Neil_admin', NULL, true)"_s));
    EXPECT_FALSE(all.contains(u"brindlepax"_s));
    EXPECT_FALSE(all.contains(u"lo_compat_privileges"_s));
}

TEST(SchemaScripts, TheTemplateIsTheBaseSchemaWithItsAdministrator)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(u"pax.mdb"_s);
    ASSERT_TRUE(
        QFile::copy(QDir(QCoreApplication::applicationDirPath()).filePath(u"pax.md_"_s), copy))
        << "the build makes the template beside the executables";
    auto db = SqliteDatabase::open(copy);

    auto fresh =
        SqliteDatabase::open(dir.filePath(u"fresh.db"_s), SqliteDatabase::OpenMode::Create);
    bx::test::loadBaseSchema(*fresh);
    EXPECT_EQ(db->tables(), fresh->tables());

    const RecordSet admin = db->query(u"SELECT * FROM LU_USER"_s);
    ASSERT_EQ(admin.rowCount(), 1);
    EXPECT_EQ(admin.text(u"USER_ID"_s), u"admin"_s);
    EXPECT_TRUE(admin.text(u"User_Password"_s).isEmpty());
    EXPECT_EQ(admin.number(u"Ext12"_s), -1);
    EXPECT_EQ(admin.number(u"Ext13"_s), -1);
    EXPECT_EQ(db->scalar(u"SELECT count(*) FROM Vars"_s).toInt(), 0);
}

TEST_P(BaseSchemaTest, HoldsTheInitialRows)
{
    bx::test::loadBaseSchema(db());
    const int yes = db().dialect().trueValue();
    const RecordSet admin = db().query(u"SELECT * FROM LU_USER"_s);
    ASSERT_EQ(admin.rowCount(), 1);
    EXPECT_EQ(admin.text(u"User_Password"_s), isServer() ? u"vastrelume"_s : QString());
    for (const char* right :
         {"Full_Access", "Allow_Edit_Custom", "Allow_Forwarding", "Edit_Contact_Info",
          "Delete_Contact_Info", "Edit_Unowned", "Allow_Edit_CloseDate", "Allow_Create_Lifecycle",
          "Edit_Custom_Tab", "User_Review_Account", "Ext10", "Ext11", "Ext12", "Ext13"})
        EXPECT_EQ(admin.number(QString::fromLatin1(right)), yes) << right;
    EXPECT_EQ(admin.number(u"Disabled"_s), 0);
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM SYSTEM"_s).toInt(), 1);
    EXPECT_TRUE(db().hasTable(u"group"_s));
    EXPECT_FALSE(db().hasTable(u"LU_GROUP"_s));
}

TEST_P(BaseSchemaTest, ServerScriptMakesTheLoginsAndMayRunAgainElsewhere)
{
    if (!isServer())
        GTEST_SKIP() << "logins belong to the server engine";
    bx::test::loadBaseSchema(db());
    // Roles belong to the whole server: a second run, in another schema, finds them there.
    const QString schema = db().scalar(u"SELECT current_schema()"_s).toString();
    const QString again = schema + u"_again"_s;
    db().executeScript(u"CREATE SCHEMA "_s + again + u"; SET search_path TO "_s + again +
                       u", public"_s);
    EXPECT_NO_THROW(bx::test::loadBaseSchema(db()));
    EXPECT_TRUE(db().hasTable(u"SCR"_s));
    db().executeScript(u"SET search_path TO "_s + schema + u", public; DROP SCHEMA "_s + again +
                       u" CASCADE"_s);
    const QString users = bx::test::kScriptDatabaseName + u"_users"_s;
    const QString owner = bx::test::kScriptDatabaseName + u"_owner"_s;
    const QString admin = bx::test::kScriptDatabaseName + u"_admin"_s;
    EXPECT_EQ(db().scalar(u"SELECT count(*) FROM pg_roles WHERE rolname = ? AND "
                          "rolcanlogin AND NOT rolcreaterole"_s,
                          {admin})
                  .toInt(),
              1);
    for (const QString& group : {users, owner})
        EXPECT_TRUE(db().scalar(u"SELECT pg_has_role(?, ?, 'MEMBER')"_s, {admin, group}).toBool());
    EXPECT_TRUE(
        db().scalar(u"SELECT has_table_privilege(?, 'attach', 'DELETE')"_s, {users}).toBool());
    EXPECT_EQ(db().scalar(u"SELECT tableowner FROM pg_tables WHERE tablename = 'scr' "
                          "AND schemaname = current_schema()"_s)
                  .toString(),
              owner)
        << "the administrator alters the tables when upgrading, as a member of their owner";
}

BX_INSTANTIATE_ENGINES(BaseSchemaTest);
