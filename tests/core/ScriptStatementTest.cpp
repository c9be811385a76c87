#include "core/db/ScriptStatement.h"

#include "core/db/Database.h"
#include "support/EngineFixture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
using bx::test::EngineTest;

namespace {

class ScriptStatementTest : public EngineTest
{
protected:
    void arrange() override
    {
        db().executeScript(u"CREATE TABLE ITEM (n integer PRIMARY KEY, t text)"_s);
        db().execute(u"INSERT INTO ITEM (n, t) VALUES (1, 'a')"_s);
    }

    QString item() { return db().scalar(u"SELECT t FROM ITEM"_s).toString(); }
};

} // namespace

// A second statement after the first is never dropped without a word, on any entry point.
TEST_P(ScriptStatementTest, SeveralStatementsInOneTextAreRefused)
{
    EXPECT_THROW(db().execute(u"UPDATE ITEM SET t = 'b'; DELETE FROM ITEM"_s), DbError);
    EXPECT_THROW(db().query(u"SELECT 1; UPDATE ITEM SET t = 'c'"_s), DbError);
    EXPECT_EQ(item(), u"a"_s);
    // A closing ';', blanks and comments may follow.
    EXPECT_EQ(db().execute(u"UPDATE ITEM SET t = 'd'; -- done\n /* really */ ;"_s), 1);
    EXPECT_EQ(item(), u"d"_s);
}

// Quotes and comments are read as the engine reads them: what hides inside them counts for
// nothing, and nothing can hide outside them.
TEST_P(ScriptStatementTest, ScriptedStatementsAreReadAsTheEngineReadsThem)
{
    const struct
    {
        const char* sql;
        bool allowed;
        bool serverOnly;
    } cases[] = {
        {"SELECT t FROM ITEM WHERE t <> ';COMMIT' -- ; DROP TABLE ITEM", true, false},
        {"SELECT t AS \"x;y\" FROM ITEM /* ; VACUUM */", true, false},
        {"WITH d AS (DELETE FROM ITEM WHERE n = 2 RETURNING n) SELECT count(*) FROM d", true, true},
        {"SELECT E'it\\'s; DROP TABLE ITEM' AS x", true, true},
        {"SELECT $q$; COMMIT$q$ AS x", true, true},
        {"SELECT * INTO ITEM_COPY FROM ITEM", false, true},
        {"SELECT 1 /* /* */ ' */ INTO ITEM_COPY --'", false, true},
        {"SELECT 1 /* x */ ; DROP TABLE ITEM", false, false},
        {"  -- first\n  DROP TABLE ITEM", false, false},
        {"", false, false},
        // A rule runs in the session of whoever saves the task: it changes no setting there.
        {"SELECT set_config('application_name', 'x', false)", false, true},
    };
    for (const auto& c : cases) {
        if (c.serverOnly && !isServer())
            continue;
        const QString sql = QString::fromUtf8(c.sql);
        SCOPED_TRACE(c.sql);
        if (c.allowed)
            EXPECT_NO_THROW(db().queryScripted(sql));
        else
            EXPECT_THROW(db().queryScripted(sql), DbError);
    }
    EXPECT_TRUE(db().hasTable(u"ITEM"_s));
    EXPECT_FALSE(db().hasTable(u"ITEM_COPY"_s));
}

// Nor does it call the functions that manage logins and passwords, however the name is spelt.
TEST(ScriptStatementRefusal, LoginFunctionsAreRefusedUnderAnySpelling)
{
    const struct
    {
        const char* sql;
        bool refused;
    } cases[] = {
        {"SELECT bx_login_ensure('db_eve', true)", true},
        {"SELECT t FROM ITEM WHERE t = (SELECT \"bx_login_password\"('db_eve', 'x'))", true},
        {"SELECT x.BX_PASSWORD_REHASH('a', 'b', 'c')", true},
        {"SELECT U&\"\\0062x_login_drop\"('db_eve')", true},
        {"SELECT 'bx_login_ensure(1)' AS t FROM ITEM -- bx_login_drop", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        EXPECT_EQ(scriptStatementRefusal(QString::fromUtf8(c.sql), Engine::Postgres).has_value(),
                  c.refused);
    }
}

// What follows a statement is read as the engines read it (both found by fuzzing,
// tests/data/fuzz/script_statement): a comment left open is refused, since the embedded engine
// would run the statement before it and leave the rest unread; and only the blanks both engines
// skip are blanks, a vertical tab or a no-break space being a token of its own there.
TEST(ScriptStatementRefusal, WhatFollowsAStatementIsReadAsTheEnginesReadIt)
{
    for (const Engine engine : {Engine::Sqlite, Engine::Postgres}) {
        EXPECT_TRUE(scriptStatementRefusal(u"SELECT 1; /*"_s, engine));
        EXPECT_TRUE(scriptStatementRefusal(u"SELECT 1;\v--"_s, engine));
        EXPECT_TRUE(scriptStatementRefusal(u"SELECT 1;\u00a0"_s, engine));
        EXPECT_FALSE(scriptStatementRefusal(u"SELECT 1 ;\t\r\n\f-- done"_s, engine));
        // The server nests block comments: there this one is still open.
        EXPECT_EQ(readOnlyStatementRefusal(u"SELECT 1 /* /* */"_s, engine).has_value(),
                  engine == Engine::Postgres);
        EXPECT_FALSE(scriptStatementRefusal(u"SELECT 1 /* closed */"_s, engine));
    }
}

// Inside a transaction a failing statement of a script is undone alone; the transaction goes on
// and commits what the others did.
TEST_P(ScriptStatementTest, FailedScriptedStatementLeavesTheTransactionUsable)
{
    Transaction tx(db());
    EXPECT_EQ(db().executeScripted(u"UPDATE ITEM SET t = 'kept'"_s), 1);
    EXPECT_THROW(db().executeScripted(u"INSERT INTO ITEM (n, t) VALUES (?, ?)"_s, {1, u"twice"_s}),
                 DbError);
    EXPECT_THROW(db().executeScripted(u"COMMIT"_s), DbError);
    EXPECT_EQ(db().transactionDepth(), 1);
    EXPECT_EQ(db().executeScripted(u"UPDATE ITEM SET t = t || '!'"_s), 1);
    tx.commit();
    EXPECT_EQ(item(), u"kept!"_s);
}

// The fence's fuzz corpus replayed on the server: every text it lets through is one statement the
// server prepares ("PREPARE" analyses it without running it, and the database layer sends one
// command), or one it refuses only for a table, column or function it does not hold. The embedded
// engine is held to the same by the fuzz target script_statement.
TEST_P(ScriptStatementTest, CorpusLetThroughIsOneStatementOnTheServer)
{
    if (!isServer())
        GTEST_SKIP() << "the fuzz target script_statement checks the embedded engine";
    static const QStringList missingName = {u"42P01"_s, u"42703"_s, u"42883"_s};
    int replayed = 0;
    for (const char* folder : {"/fuzz/corpus/script_statement", "/data/fuzz/script_statement"}) {
        const QDir dir(QStringLiteral(BX_TEST_SOURCE_DIR) + QLatin1String(folder));
        for (const QFileInfo& info : dir.entryInfoList(QDir::Files, QDir::Name)) {
            QFile file(info.filePath());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << info.filePath().toStdString();
            const QString sql = QString::fromUtf8(file.readAll());
            // PREPARE takes only these; "?" would become a parameter of unknown type.
            static const QRegularExpression preparable(
                u"^\\s*(SELECT|INSERT|UPDATE|DELETE|WITH|VALUES)\\b"_s,
                QRegularExpression::CaseInsensitiveOption);
            if (scriptStatementRefusal(sql, Engine::Postgres) ||
                !preparable.match(sql).hasMatch() || sql.contains(u'?') || sql.contains(QChar(0)))
                continue;
            SCOPED_TRACE(info.fileName().toStdString() + ": " + sql.toStdString());
            ++replayed;
            try {
                db().execute(u"PREPARE f AS "_s + sql);
                db().execute(u"DEALLOCATE f"_s);
            } catch (const DbError& e) {
                EXPECT_TRUE(missingName.contains(e.number()))
                    << e.number().toStdString() << " " << e.description().toStdString();
            }
        }
    }
    EXPECT_GT(replayed, 5);
}

BX_INSTANTIATE_ENGINES(ScriptStatementTest);
