#include "dbadmin/BatchScript.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;

TEST(BatchScript, GoInAnyCaseSeparatesAndTheLastBatchNeedsNone)
{
    const QString script = u"  CREATE TABLE a (x integer)  \r\nINSERT INTO a VALUES (1)\ngo\nGO\n  "
                           " Go   \n\nCREATE TABLE b (y integer)\nGOTO_NOT_A_SEPARATOR\n"_s;
    const QStringList batches = scriptBatches(script, u"paxdb"_s);
    ASSERT_EQ(batches.size(), 2) << "empty batches are dropped";
    EXPECT_EQ(batches.at(0), u"CREATE TABLE a (x integer)\r\nINSERT INTO a VALUES (1)"_s);
    EXPECT_EQ(batches.at(1), u"CREATE TABLE b (y integer)\r\nGOTO_NOT_A_SEPARATOR"_s);
    EXPECT_TRUE(scriptBatches(u"GO\ngo\n"_s, u"x"_s).isEmpty());
}

TEST(BatchScript, TheDatabaseNameIsWrittenSafelyWhereverItStands)
{
    const QString name = u"O'Brien \"Q\""_s;
    const QStringList batches = scriptBatches(
        u"CREATE DATABASE \"brindlepax\"\nGO\n"
        "SELECT 'brindlepax_users', \"brindlepax_users\", brindlepax_x\nGO\n"
        "SELECT bx_create_login('admin', 'brindlepax', true)\n"
        "INSERT INTO LU_USER (Ext12, USER_ID, User_Password) VALUES (1,'admin', 'brindlepax')\n"
        "SELECT 'admin', 'Admin', 'administrator'\n"
        "ALTER DATABASE \"brindlepax\" FILE brindlepaxMDF, brindlepaxLDF\n"_s,
        name);
    ASSERT_EQ(batches.size(), 3);
    EXPECT_EQ(batches.at(0), u"CREATE DATABASE \"O'Brien \"\"Q\"\"\""_s);
    EXPECT_EQ(batches.at(1), u"SELECT 'O''Brien \"Q\"_users', \"O'Brien \"\"Q\"\"_users\", "
                             "\"O'Brien \"\"Q\"\"_x\""_s);
    const QStringList lines = batches.at(2).split(u"\r\n"_s);
    // The two lines that set up the administrator keep the default password.
    EXPECT_EQ(lines.at(0), u"SELECT bx_create_login('O''Brien \"Q\"_admin', 'brindlepax', true)"_s);
    EXPECT_EQ(lines.at(1), u"INSERT INTO LU_USER (Ext12, USER_ID, User_Password) VALUES "
                           "(1,'admin', 'brindlepax')"_s);
    EXPECT_EQ(lines.at(2), u"SELECT 'O''Brien \"Q\"_admin', 'Admin', 'administrator'"_s);
    EXPECT_EQ(lines.at(3), u"ALTER DATABASE \"O'Brien \"\"Q\"\"\" FILE ,"_s)
        << "the data-file placeholders have no counterpart";
}

TEST(BatchScript, UseNamesTheDatabaseToContinueOn)
{
    EXPECT_EQ(useTarget(u"USE paxdb"_s), u"paxdb"_s);
    EXPECT_EQ(useTarget(u"  use \"O'Brien \"\"Q\"\"\";"_s), u"O'Brien \"Q\""_s);
    EXPECT_EQ(useTarget(u"USE paxdb\r\nSELECT 1"_s), QString());
    EXPECT_EQ(useTarget(u"SELECT 'USE x'"_s), QString());
}
