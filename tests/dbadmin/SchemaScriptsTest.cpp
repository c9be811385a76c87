#include "core/db/SqliteDatabase.h"
#include "dbadmin/BatchScript.h"
#include "support/EngineFixture.h"
#include "support/Schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace bx;
using bx::test::EngineTest;

namespace {
class BaseSchemaTest : public EngineTest
{
};
} // namespace

TEST(SchemaScripts, TheCreationScriptPreparesWhatItCreatesLikeTheOtherScript)
{
    const QString name = QStringLiteral("pax_O'Neil");
    const QStringList create =
        scriptBatches(bx::test::deliveredFile(QStringLiteral("PAXSQL.sql")), name);
    const QStringList prepare =
        scriptBatches(bx::test::deliveredFile(QStringLiteral("PAXSQLN.sql")), name);
    ASSERT_GT(create.size(), 2);
    EXPECT_TRUE(create.at(0).contains(QStringLiteral("CREATE DATABASE ")));
    EXPECT_EQ(useTarget(create.at(1)), name);
    EXPECT_EQ(create.mid(2), prepare);

    // The administrator's row keeps the announced default password; the login is the database's
    // own and is made without one (the creator gives it the derived one).
    const QString all = prepare.join(QStringLiteral("\n"));
    EXPECT_TRUE(all.contains(QStringLiteral("VALUES (1,'admin', 'Administrator', 'vastrelume'")));
    EXPECT_TRUE(
        all.contains(QStringLiteral("SELECT bx_create_login('pax_O''Neil_admin', NULL, true)")));
    EXPECT_FALSE(all.contains(QStringLiteral("brindlepax")));
    EXPECT_FALSE(all.contains(QStringLiteral("lo_compat_privileges")));
}

TEST(SchemaScripts, TheTemplateIsTheBaseSchemaWithItsAdministrator)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("pax.mdb"));
    ASSERT_TRUE(QFile::copy(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("pax.md_")), copy))
        << "the build makes the template beside the executables";
    auto db = SqliteDatabase::open(copy);

    auto fresh = SqliteDatabase::open(dir.filePath(QStringLiteral("fresh.db")),
                                      SqliteDatabase::OpenMode::Create);
    bx::test::loadBaseSchema(*fresh);
    EXPECT_EQ(db->tables(), fresh->tables());

    const RecordSet admin = db->query(QStringLiteral("SELECT * FROM LU_USER"));
    ASSERT_EQ(admin.rowCount(), 1);
    EXPECT_EQ(admin.text(QStringLiteral("USER_ID")), QStringLiteral("admin"));
    EXPECT_TRUE(admin.text(QStringLiteral("User_Password")).isEmpty());
    EXPECT_EQ(admin.number(QStringLiteral("Ext12")), -1);
    EXPECT_EQ(admin.number(QStringLiteral("Ext13")), -1);
    EXPECT_EQ(db->scalar(QStringLiteral("SELECT count(*) FROM Vars")).toInt(), 0);
}

TEST_P(BaseSchemaTest, HoldsTheInitialRows)
{
    bx::test::loadBaseSchema(db());
    const int yes = db().dialect().trueValue();
    const RecordSet admin = db().query(QStringLiteral("SELECT * FROM LU_USER"));
    ASSERT_EQ(admin.rowCount(), 1);
    EXPECT_EQ(admin.text(QStringLiteral("User_Password")),
              isServer() ? QStringLiteral("vastrelume") : QString());
    for (const char* right :
         {"Full_Access", "Allow_Edit_Custom", "Allow_Forwarding", "Edit_Contact_Info",
          "Delete_Contact_Info", "Edit_Unowned", "Allow_Edit_CloseDate", "Allow_Create_Lifecycle",
          "Edit_Custom_Tab", "User_Review_Account", "Ext10", "Ext11", "Ext12", "Ext13"})
        EXPECT_EQ(admin.number(QString::fromLatin1(right)), yes) << right;
    EXPECT_EQ(admin.number(QStringLiteral("Disabled")), 0);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM SYSTEM")).toInt(), 1);
    EXPECT_TRUE(db().hasTable(QStringLiteral("group")));
    EXPECT_FALSE(db().hasTable(QStringLiteral("LU_GROUP")));
}

TEST_P(BaseSchemaTest, ServerScriptMakesTheLoginsAndMayRunAgainElsewhere)
{
    if (!isServer())
        GTEST_SKIP() << "logins belong to the server engine";
    bx::test::loadBaseSchema(db());
    // Roles belong to the whole server: a second run, in another schema, finds them there.
    const QString schema = db().scalar(QStringLiteral("SELECT current_schema()")).toString();
    const QString again = schema + QStringLiteral("_again");
    db().executeScript(QStringLiteral("CREATE SCHEMA ") + again +
                       QStringLiteral("; SET search_path TO ") + again +
                       QStringLiteral(", public"));
    EXPECT_NO_THROW(bx::test::loadBaseSchema(db()));
    EXPECT_TRUE(db().hasTable(QStringLiteral("SCR")));
    db().executeScript(QStringLiteral("SET search_path TO ") + schema +
                       QStringLiteral(", public; DROP SCHEMA ") + again +
                       QStringLiteral(" CASCADE"));
    const QString users = bx::test::kScriptDatabaseName + QStringLiteral("_users");
    const QString owner = bx::test::kScriptDatabaseName + QStringLiteral("_owner");
    const QString admin = bx::test::kScriptDatabaseName + QStringLiteral("_admin");
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT count(*) FROM pg_roles WHERE rolname = ? AND "
                                         "rolcanlogin AND NOT rolcreaterole"),
                          {admin})
                  .toInt(),
              1);
    for (const QString& group : {users, owner})
        EXPECT_TRUE(
            db().scalar(QStringLiteral("SELECT pg_has_role(?, ?, 'MEMBER')"), {admin, group})
                .toBool());
    EXPECT_TRUE(
        db().scalar(QStringLiteral("SELECT has_table_privilege(?, 'attach', 'DELETE')"), {users})
            .toBool());
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT tableowner FROM pg_tables WHERE tablename = 'scr' "
                                         "AND schemaname = current_schema()"))
                  .toString(),
              owner)
        << "the administrator alters the tables when upgrading, as a member of their owner";
}

BX_INSTANTIATE_ENGINES(BaseSchemaTest);
