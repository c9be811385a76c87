#include "workflow/StageRule.h"

#include "core/db/Database.h"
#include "core/settings/Vars.h"
#include "support/Schema.h"
#include "support/SessionTest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

using namespace std::chrono_literals;

namespace {

using bx::RuleInput;
using bx::RuleOutcome;
using bx::StageRule;

// The golden cases live beside this file.
QString rulesDir()
{
    return QStringLiteral(BX_TEST_SOURCE_DIR "/workflow/rules");
}

QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    return QString::fromUtf8(file.readAll());
}

QJsonObject readJson(const QString& path)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(readText(path).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        throw std::runtime_error(path.toStdString() + ": " + error.errorString().toStdString());
    return doc.object();
}

// A row as the task object reads it: whole numbers as integers, stored moments as naive dates.
QVariantMap taskRow(const QJsonObject& json)
{
    static const QRegularExpression moment(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$)"));
    QVariantMap row;
    for (auto it = json.begin(); it != json.end(); ++it) {
        const QJsonValue v = it.value();
        if (v.isDouble() && v.toDouble() == static_cast<double>(v.toInteger()))
            row.insert(it.key(), static_cast<qlonglong>(v.toInteger()));
        else if (v.isString() && moment.match(v.toString()).hasMatch())
            row.insert(it.key(), bx::RecordSet::toDateTime(v.toString()));
        else
            row.insert(it.key(), v.toVariant());
    }
    return row;
}

// Values compared as the user would read them, so 100 and 100.0 or a date and its text agree.
QString shown(const QVariant& v)
{
    if (v.isNull())
        return QStringLiteral("<null>");
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return v.toString();
}

class StageRuleTest : public bx::test::CurrentSchemaTest
{
protected:
    void SetUp() override
    {
        CurrentSchemaTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        for (const auto& [id, supervisor] :
             {std::pair{"alice", "carol"}, {"bob", "alice"}, {"carol", ""}, {"O'Brien", "carol"}})
            db().execute(QStringLiteral("INSERT INTO LU_USER (USER_ID, User_Name, "
                                        "Supervisor_User_ID, Disabled) VALUES (?, ?, ?, ?)"),
                         {QString::fromUtf8(id), QString::fromUtf8(id).toUpper(),
                          QString::fromUtf8(supervisor), db().dialect().flag(false)});
    }

    RuleOutcome runText(const QString& script, const QVariantMap& row = {})
    {
        RuleInput in;
        in.currentOwner = QStringLiteral("alice");
        in.currentGroup = 10;
        in.proposedOwner = QStringLiteral("bob");
        in.proposedGroup = 20;
        in.row = row;
        in.serverFlag = isServer();
        return StageRule::runScript(db(), script, in, QStringLiteral("Trial"));
    }
};

// Each folder of rules/ is one case: script.js is stored in LU_RULES and run by name with the
// owners and task row of row.json; expected.json holds the owner, group and stage the rule
// leaves, whether SCRMain ran, the error text (absent when none) and the columns it changed.
// Every column not listed must come back exactly as it went in.
TEST_P(StageRuleTest, GoldenCases)
{
    const QStringList cases = QDir(rulesDir()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_GE(cases.size(), 5) << rulesDir().toStdString();
    for (const QString& name : cases) {
        SCOPED_TRACE(name.toStdString());
        const QDir dir(QDir(rulesDir()).filePath(name));
        const QJsonObject given = readJson(dir.filePath(QStringLiteral("row.json")));
        const QJsonObject expected = readJson(dir.filePath(QStringLiteral("expected.json")));
        const QString ruleName = given.value(QStringLiteral("rule")).toString(name);

        db().execute(QStringLiteral("INSERT INTO LU_RULES (RULE_NAME, SCRIPT) VALUES (?, ?)"),
                     {ruleName, readText(dir.filePath(QStringLiteral("script.js")))});

        RuleInput in;
        in.currentOwner = given.value(QStringLiteral("currentOwner")).toString();
        in.currentGroup = given.value(QStringLiteral("currentGroup")).toInteger();
        in.proposedOwner = given.value(QStringLiteral("proposedOwner")).toString();
        in.proposedGroup = given.value(QStringLiteral("proposedGroup")).toInteger();
        in.row = taskRow(given.value(QStringLiteral("row")).toObject());

        const RuleOutcome out = StageRule::run(db(), ruleName, in);

        EXPECT_EQ(out.error, expected.value(QStringLiteral("error")).toString());
        EXPECT_EQ(out.ran, expected.value(QStringLiteral("ran")).toBool());
        EXPECT_EQ(out.newOwner, expected.value(QStringLiteral("owner")).toString());
        EXPECT_EQ(out.newGroup, expected.value(QStringLiteral("group")).toInteger());
        EXPECT_EQ(out.targetStage, expected.value(QStringLiteral("stage")).toString());
        EXPECT_FALSE(out.interrupted);

        const QJsonObject changed = expected.value(QStringLiteral("row")).toObject();
        EXPECT_EQ(out.row.keys(), in.row.keys());
        for (auto it = in.row.cbegin(); it != in.row.cend(); ++it) {
            SCOPED_TRACE(it.key().toStdString());
            const QVariant now = out.row.value(it.key());
            if (changed.contains(it.key())) {
                EXPECT_EQ(shown(now), shown(changed.value(it.key()).toVariant()));
                EXPECT_EQ(now.typeId(), it.value().typeId());
            } else {
                EXPECT_EQ(now, it.value());
                EXPECT_EQ(now.typeId(), it.value().typeId());
            }
        }
    }
}

// Whether SCRMain is called depends on where its name stands in the text, as rule authors
// have always relied on; a script that is empty or names no SCRMain leaves the proposed owner.
TEST_P(StageRuleTest, CallsSCRMainOnlyWhenNamedAfterTheFirstCharacter)
{
    const QString body = QStringLiteral("(a, b, c, d, e, stage, owner, group) { owner.value = "
                                        "'zed'; group.value = 7; }");
    const struct
    {
        QString script;
        bool ran;
        const char* owner;
        qlonglong group;
    } cases[] = {
        {QString(), false, "bob", 20},
        {QStringLiteral(" \n\t "), false, "bob", 20},
        {QStringLiteral("function SCRMain") + body, true, "zed", 7},
        {QStringLiteral("  \nSCRMain = function") + body, false, "bob", 20},
        {QStringLiteral("function scrmain") + body, false, "bob", 20},
        {QStringLiteral("function SCRMain(a, b, c, d, e, stage, owner) {}"), true, "alice", 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script.toStdString());
        const RuleOutcome out = runText(c.script);
        EXPECT_TRUE(out.ok()) << out.error.toStdString();
        EXPECT_EQ(out.ran, c.ran);
        EXPECT_EQ(out.newOwner, QString::fromUtf8(c.owner));
        EXPECT_EQ(out.newGroup, c.group);
    }

    const RuleOutcome missing =
        StageRule::run(db(), QStringLiteral("No such rule"),
                       RuleInput{QStringLiteral("alice"), 10, QStringLiteral("bob"), 20, {}});
    EXPECT_TRUE(missing.ok());
    EXPECT_EQ(missing.newOwner, QStringLiteral("bob"));
    EXPECT_EQ(missing.newGroup, 20);
}

TEST_P(StageRuleTest, ScriptSeesItsArgumentsAndNothingOfTheHost)
{
    const RuleOutcome out = runText(QStringLiteral(
        "function SCRMain(a, b, c, d, server, stage, owner, group) {\n"
        "  owner.value = [a, b, c, d, server, JSON.stringify(stage.value), typeof Qt,\n"
        "                 typeof XMLHttpRequest, typeof require, typeof host].join('|');\n"
        "}"));
    ASSERT_TRUE(out.ok()) << out.error.toStdString();
    EXPECT_EQ(out.newOwner,
              QStringLiteral("alice|10|bob|20|%1|\"\"|undefined|undefined|"
                             "undefined|undefined")
                  .arg(isServer() ? QStringLiteral("true") : QStringLiteral("false")));
}

TEST_P(StageRuleTest, BxdbBindsEveryParameterAndReportsFailuresToTheScript)
{
    const RuleOutcome out = runText(
        QStringLiteral(
            "function SCRMain(a, b, c, d, e, stage, owner, group) {\n"
            "  var changed = BXDB.execute('UPDATE LU_USER SET User_Location = ? WHERE USER_ID = ? "
            "OR USER_ID = ?', \"Pier 4 'East'\", \"O'Brien\", 'bob');\n"
            "  var rows = BXDB.query('SELECT user_id, User_Location FROM LU_USER WHERE "
            "User_Location = ? ORDER BY USER_ID', \"Pier 4 'East'\");\n"
            "  var caught = '';\n"
            "  try { BXDB.query('SELECT No_Such_Column FROM LU_USER'); }\n"
            "  catch (e) { caught = e instanceof Error && e.message.length > 0; }\n"
            "  RS_SCR.SCR_Route_Note = [changed, rows.length, rows[0].USER_ID, rows[1].user_id,\n"
            "                           rows[1].USER_LOCATION, caught].join('|');\n"
            "}"),
        {{QStringLiteral("SCR_Route_Note"), QVariant()}});
    ASSERT_TRUE(out.ok()) << out.error.toStdString();
    EXPECT_EQ(out.row.value(QStringLiteral("SCR_Route_Note")).toString(),
              QStringLiteral("2|2|bob|O'Brien|Pier 4 'East'|true"));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT User_Location FROM LU_USER WHERE USER_ID = ?"),
                          {QStringLiteral("O'Brien")}),
              QVariant(QStringLiteral("Pier 4 'East'")));

    // Not caught by the script: reported with the rule's line and the engine's message.
    const RuleOutcome failed =
        runText(QStringLiteral("function SCRMain(a, b, c, d, e, stage, owner, group) {\n"
                               "  owner.value = 'carol';\n"
                               "  BXDB.execute('DELETE FROM No_Such_Table WHERE x = ?', 1);\n"
                               "}"));
    EXPECT_TRUE(failed.error.startsWith(QStringLiteral("Rule 'Trial', line 3: Error: ")))
        << failed.error.toStdString();
    EXPECT_EQ(failed.newOwner, QStringLiteral("carol"));
}

TEST_P(StageRuleTest, MisspeltColumnIsAnErrorAtTheRulesLine)
{
    const QVariantMap row{{QStringLiteral("SCR_Status"), QStringLiteral("A")}};
    const RuleOutcome out =
        runText(QStringLiteral("function SCRMain(a, b, c, d, e, stage, owner, group) {\n"
                               "  owner.value = 'carol';\n"
                               "\n"
                               "  RS_SCR.SCR_Statsu = 'C';\n"
                               "}"),
                row);
    EXPECT_EQ(out.error,
              QStringLiteral("Rule 'Trial', line 4: TypeError: RS_SCR has no column SCR_Statsu"));
    EXPECT_EQ(out.newOwner, QStringLiteral("carol"));
    EXPECT_EQ(out.row, row);

    const RuleOutcome thrown = runText(QStringLiteral("var x = 1;\nthrow 'no rule today';\n"));
    EXPECT_EQ(thrown.error, QStringLiteral("Rule 'Trial', line 2: no rule today"));
}

TEST_P(StageRuleTest, RunawayScriptIsInterruptedAtTheLimit)
{
    RuleInput in{QStringLiteral("alice"), 10, QStringLiteral("bob"), 20, {}};
    QElapsedTimer timer;
    timer.start();
    const RuleOutcome out = StageRule::runScript(
        db(),
        QStringLiteral("function SCRMain(a, b, c, d, e, stage, owner, group) {\n"
                       "  owner.value = 'carol';\n"
                       "  for (;;) { try { while (true) {} } catch (e) {} }\n"
                       "}"),
        in, QStringLiteral("Loop"), 200ms);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_TRUE(out.interrupted);
    EXPECT_EQ(out.error,
              QStringLiteral("Rule 'Loop' was interrupted: it ran longer than 0.2 seconds."));
    EXPECT_EQ(out.newOwner, QStringLiteral("carol"));
}

// BXDB takes one statement that reads or changes rows, nothing that could end the save's
// transaction, reach another file, change the schema or the session's rights (what hides in
// quotes and comments is the scripted statements' reader's, tested with the database layer).
TEST_P(StageRuleTest, BxdbRefusesAllButSingleDataStatements)
{
    const QString copy = QDir(tempDir()).filePath(QStringLiteral("copy.db"));
    const QStringList refused = {
        QStringLiteral("COMMIT"),
        QStringLiteral("begin"),
        QStringLiteral("ATTACH DATABASE '%1' AS other").arg(copy),
        QStringLiteral("VACUUM INTO '%1'").arg(copy),
        QStringLiteral("CREATE TABLE T_RULE (a INTEGER)"),
        QStringLiteral("DROP TABLE LU_RULES"),
        QStringLiteral("PRAGMA foreign_keys = OFF"),
        QStringLiteral("SET ROLE postgres"),
        QStringLiteral("GRANT ALL ON LU_USER TO PUBLIC"),
        QStringLiteral("/* ; */ UPDATE LU_USER SET Disabled = 1; DROP TABLE LU_RULES"),
        QStringLiteral("SELECT 1; COMMIT"),
    };
    for (const QString& sql : refused) {
        SCOPED_TRACE(sql.toStdString());
        const RuleOutcome out =
            runText(QStringLiteral("function SCRMain(a, b, c, d, e, stage, owner, group) {\n"
                                   "  owner.value = 'carol';\n"
                                   "  BXDB.execute(%1);\n"
                                   "}")
                        .arg(QString::fromUtf8(
                                 QJsonDocument(QJsonArray{sql}).toJson(QJsonDocument::Compact))
                                 .mid(1)
                                 .chopped(1)));
        EXPECT_TRUE(out.error.startsWith(QStringLiteral("Rule 'Trial', line 3: Error: BXDB ")))
            << out.error.toStdString();
        EXPECT_EQ(out.newOwner, QStringLiteral("carol"));
    }
    EXPECT_FALSE(QFileInfo::exists(copy));
    EXPECT_TRUE(db().hasTable(QStringLiteral("LU_RULES")));
    EXPECT_FALSE(db().hasTable(QStringLiteral("T_RULE")));
    EXPECT_EQ(
        db().scalar(QStringLiteral("SELECT count(*) FROM LU_USER WHERE Disabled <> 0")).toInt(), 0);
}

// The watchdog stops the statement too: a query that would run for minutes holds no lock past
// the time limit, and nothing the rule wrote before it stays.
TEST_P(StageRuleTest, RunawayQueryIsStoppedAndItsLocksReleased)
{
    // Bounded, so that a broken interrupt fails the timing instead of hanging the run.
    const QString endless = QStringLiteral(
        "WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r WHERE n < 2000000000) ");
    const struct
    {
        const char* name;
        bool insideSave;
        QString runaway;
    } cases[] = {
        {"reading, alone", false, endless + QStringLiteral("SELECT count(*) FROM r")},
        {"writing, inside a save", true,
         endless + QStringLiteral("UPDATE LU_USER SET User_Location = (SELECT count(*) FROM r) "
                                  "WHERE USER_ID = 'carol'")},
    };
    const auto location = [this](const char* user) {
        return db().scalar(QStringLiteral("SELECT User_Location FROM LU_USER WHERE USER_ID = ?"),
                           {QString::fromUtf8(user)});
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<bx::Transaction> save;
        if (c.insideSave)
            save.emplace(db());
        RuleInput in{QStringLiteral("alice"), 10, QStringLiteral("bob"), 20, {}};
        QElapsedTimer timer;
        timer.start();
        const RuleOutcome out = StageRule::runScript(
            db(),
            QStringLiteral("function SCRMain(a, b, c, d, e, stage, owner, group) {\n"
                           "  BXDB.execute(\"UPDATE LU_USER SET User_Location = 'rule' "
                           "WHERE USER_ID = 'bob'\");\n"
                           "  BXDB.query(%1);\n"
                           "}")
                .arg(QStringLiteral("\"") + c.runaway + QStringLiteral("\"")),
            in, QStringLiteral("Loop"), 300ms);
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_TRUE(out.interrupted) << out.error.toStdString();

        // The save goes on as far as the engine lets it; its writes land whole or not at all.
        bool saved = !c.insideSave;
        if (save) {
            try {
                db().execute(QStringLiteral(
                    "UPDATE LU_USER SET User_Name = 'SAVED' WHERE USER_ID = 'alice'"));
                save->commit();
                saved = true;
            } catch (const bx::DbError&) {
            }
            save.reset();
        }
        EXPECT_EQ(location("bob"), QVariant());
        EXPECT_EQ(location("carol"), QVariant());
        if (c.insideSave) {
            EXPECT_EQ(db().scalar(QStringLiteral("SELECT User_Name FROM LU_USER WHERE "
                                                 "USER_ID = 'alice'"))
                          .toString(),
                      saved ? QStringLiteral("SAVED") : QStringLiteral("ALICE"));
        }

        const std::unique_ptr<bx::Database> other = connectAgain();
        other->setQueryTimeout(2);
        timer.restart();
        EXPECT_EQ(other->execute(QStringLiteral("UPDATE LU_USER SET User_Location = 'other' "
                                                "WHERE USER_ID IN ('bob', 'carol')")),
                  2);
        EXPECT_LT(timer.elapsed(), 1000);
        db().execute(QStringLiteral("UPDATE LU_USER SET User_Location = NULL"));
    }
}

BX_INSTANTIATE_ENGINES(StageRuleTest);

} // namespace
