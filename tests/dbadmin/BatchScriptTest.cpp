#include "dbadmin/BatchScript.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace bx;

TEST(BatchScript, GoInAnyCaseSeparatesAndTheLastBatchNeedsNone)
{
    const QString script = QStringLiteral("  CREATE TABLE a (x integer)  \r\n"
                                          "INSERT INTO a VALUES (1)\n"
                                          "go\n"
                                          "GO\n"
                                          "   Go   \n"
                                          "\n"
                                          "CREATE TABLE b (y integer)\n"
                                          "GOTO_NOT_A_SEPARATOR\n");
    const QStringList batches = scriptBatches(script, QStringLiteral("paxdb"));
    ASSERT_EQ(batches.size(), 2) << "empty batches are dropped";
    EXPECT_EQ(batches.at(0),
              QStringLiteral("CREATE TABLE a (x integer)\r\nINSERT INTO a VALUES (1)"));
    EXPECT_EQ(batches.at(1), QStringLiteral("CREATE TABLE b (y integer)\r\nGOTO_NOT_A_SEPARATOR"));
    EXPECT_TRUE(scriptBatches(QStringLiteral("GO\ngo\n"), QStringLiteral("x")).isEmpty());
}

TEST(BatchScript, TheDatabaseNameIsWrittenSafelyWhereverItStands)
{
    const QString name = QStringLiteral("O'Brien \"Q\"");
    const QStringList batches = scriptBatches(
        QStringLiteral(
            "CREATE DATABASE \"brindlepax\"\n"
            "GO\n"
            "SELECT 'brindlepax_users', \"brindlepax_users\", brindlepax_x\n"
            "GO\n"
            "SELECT bx_create_login('admin', 'brindlepax', true)\n"
            "INSERT INTO LU_USER (Ext12, USER_ID, User_Password) VALUES (1,'admin', 'brindlepax')\n"
            "SELECT 'admin', 'Admin', 'administrator'\n"
            "ALTER DATABASE \"brindlepax\" FILE brindlepaxMDF, brindlepaxLDF\n"),
        name);
    ASSERT_EQ(batches.size(), 3);
    EXPECT_EQ(batches.at(0), QStringLiteral("CREATE DATABASE \"O'Brien \"\"Q\"\"\""));
    EXPECT_EQ(batches.at(1),
              QStringLiteral("SELECT 'O''Brien \"Q\"_users', \"O'Brien \"\"Q\"\"_users\", "
                             "\"O'Brien \"\"Q\"\"_x\""));
    const QStringList lines = batches.at(2).split(QStringLiteral("\r\n"));
    // The two lines that set up the administrator keep the default password.
    EXPECT_EQ(lines.at(0),
              QStringLiteral("SELECT bx_create_login('O''Brien \"Q\"_admin', 'brindlepax', true)"));
    EXPECT_EQ(lines.at(1),
              QStringLiteral("INSERT INTO LU_USER (Ext12, USER_ID, User_Password) VALUES "
                             "(1,'admin', 'brindlepax')"));
    EXPECT_EQ(lines.at(2),
              QStringLiteral("SELECT 'O''Brien \"Q\"_admin', 'Admin', 'administrator'"));
    EXPECT_EQ(lines.at(3), QStringLiteral("ALTER DATABASE \"O'Brien \"\"Q\"\"\" FILE ,"))
        << "the data-file placeholders have no counterpart";
}

TEST(BatchScript, UseNamesTheDatabaseToContinueOn)
{
    EXPECT_EQ(useTarget(QStringLiteral("USE paxdb")), QStringLiteral("paxdb"));
    EXPECT_EQ(useTarget(QStringLiteral("  use \"O'Brien \"\"Q\"\"\";")),
              QStringLiteral("O'Brien \"Q\""));
    EXPECT_EQ(useTarget(QStringLiteral("USE paxdb\r\nSELECT 1")), QString());
    EXPECT_EQ(useTarget(QStringLiteral("SELECT 'USE x'")), QString());
}
