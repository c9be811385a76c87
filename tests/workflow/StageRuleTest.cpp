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

using namespace Qt::StringLiterals;

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
        return u"<null>"_s;
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().toString(u"yyyy-MM-dd HH:mm:ss"_s);
    return v.toString();
}

class StageRuleTest : public bx::test::CurrentSchemaTest
{
protected:
    void arrange() override
    {
        for (const auto& [id, supervisor] :
             {std::pair{"alice", "carol"}, {"bob", "alice"}, {"carol", ""}, {"O'Brien", "carol"}})
            db().execute(u"INSERT INTO LU_USER (USER_ID, User_Name, "
                         "Supervisor_User_ID, Disabled) VALUES (?, ?, ?, ?)"_s,
                         {QString::fromUtf8(id), QString::fromUtf8(id).toUpper(),
                          QString::fromUtf8(supervisor), db().dialect().flag(false)});
    }

    RuleOutcome runText(const QString& script, const QVariantMap& row = {})
    {
        RuleInput in;
        in.currentOwner = u"alice"_s;
        in.currentGroup = 10;
        in.proposedOwner = u"bob"_s;
        in.proposedGroup = 20;
        in.row = row;
        in.serverFlag = isServer();
        return StageRule::runScript(db(), script, in, u"Trial"_s);
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
        const QJsonObject given = readJson(dir.filePath(u"row.json"_s));
        const QJsonObject expected = readJson(dir.filePath(u"expected.json"_s));
        const QString ruleName = given.value(u"rule"_s).toString(name);

        db().execute(u"INSERT INTO LU_RULES (RULE_NAME, SCRIPT) VALUES (?, ?)"_s,
                     {ruleName, readText(dir.filePath(u"script.js"_s))});

        RuleInput in;
        in.currentOwner = given.value(u"currentOwner"_s).toString();
        in.currentGroup = given.value(u"currentGroup"_s).toInteger();
        in.proposedOwner = given.value(u"proposedOwner"_s).toString();
        in.proposedGroup = given.value(u"proposedGroup"_s).toInteger();
        in.row = taskRow(given.value(u"row"_s).toObject());

        const RuleOutcome out = StageRule::run(db(), ruleName, in);

        EXPECT_EQ(out.error, expected.value(u"error"_s).toString());
        EXPECT_EQ(out.ran, expected.value(u"ran"_s).toBool());
        EXPECT_EQ(out.newOwner, expected.value(u"owner"_s).toString());
        EXPECT_EQ(out.newGroup, expected.value(u"group"_s).toInteger());
        EXPECT_EQ(out.targetStage, expected.value(u"stage"_s).toString());
        EXPECT_FALSE(out.interrupted);

        const QJsonObject changed = expected.value(u"row"_s).toObject();
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
    const QString body =
        u"(a, b, c, d, e, stage, owner, group) { owner.value = 'zed'; group.value = 7; }"_s;
    const struct
    {
        QString script;
        bool ran;
        const char* owner;
        qlonglong group;
    } cases[] = {
        {u" \n\t "_s, false, "bob", 20},
        {u"function SCRMain"_s + body, true, "zed", 7},
        {u"  \nSCRMain = function"_s + body, false, "bob", 20},
        {u"function scrmain"_s + body, false, "bob", 20},
        {u"function SCRMain(a, b, c, d, e, stage, owner) {}"_s, true, "alice", 10},
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
        StageRule::run(db(), u"No such rule"_s, RuleInput{u"alice"_s, 10, u"bob"_s, 20, {}});
    EXPECT_TRUE(missing.ok());
    EXPECT_EQ(missing.newOwner, u"bob"_s);
    EXPECT_EQ(missing.newGroup, 20);
}

TEST_P(StageRuleTest, ScriptSeesItsArgumentsAndNothingOfTheHost)
{
    const RuleOutcome out = runText(
        u"function SCRMain(a, b, c, d, server, stage, owner, group) {\n"
        "  owner.value = [a, b, c, d, server, JSON.stringify(stage.value), typeof Qt,\n"
        "                 typeof XMLHttpRequest, typeof require, typeof host].join('|');\n}"_s);
    ASSERT_TRUE(out.ok()) << out.error.toStdString();
    EXPECT_EQ(out.newOwner, u"alice|10|bob|20|%1|\"\"|undefined|undefined|"
                            "undefined|undefined"_s.arg(isServer() ? u"true"_s : u"false"_s));
}

TEST_P(StageRuleTest, BxdbBindsEveryParameterAndReportsFailuresToTheScript)
{
    const RuleOutcome out = runText(
        u"function SCRMain(a, b, c, d, e, stage, owner, group) {\n"
        "  var changed = BXDB.execute('UPDATE LU_USER SET User_Location = ? WHERE USER_ID = ? "
        "OR USER_ID = ?', \"Pier 4 'East'\", \"O'Brien\", 'bob');\n"
        "  var rows = BXDB.query('SELECT user_id, User_Location FROM LU_USER WHERE "
        "User_Location = ? ORDER BY USER_ID', \"Pier 4 'East'\");\n  var caught = '';\n"
        "  try { BXDB.query('SELECT No_Such_Column FROM LU_USER'); }\n"
        "  catch (e) { caught = e instanceof Error && e.message.length > 0; }\n"
        "  RS_SCR.SCR_Route_Note = [changed, rows.length, rows[0].USER_ID, rows[1].user_id,\n"
        "                           rows[1].USER_LOCATION, caught].join('|');\n}"_s,
        {{u"SCR_Route_Note"_s, QVariant()}});
    ASSERT_TRUE(out.ok()) << out.error.toStdString();
    EXPECT_EQ(out.row.value(u"SCR_Route_Note"_s).toString(),
              u"2|2|bob|O'Brien|Pier 4 'East'|true"_s);
    EXPECT_EQ(db().scalar(u"SELECT User_Location FROM LU_USER WHERE USER_ID = ?"_s, {u"O'Brien"_s}),
              QVariant(u"Pier 4 'East'"_s));

    // Not caught by the script: reported with the rule's line and the engine's message.
    const RuleOutcome failed = runText(
        u"function SCRMain(a, b, c, d, e, stage, owner, group) {\n  owner.value = 'carol';\n"
        "  BXDB.execute('DELETE FROM No_Such_Table WHERE x = ?', 1);\n}"_s);
    EXPECT_TRUE(failed.error.startsWith(u"Rule 'Trial', line 3: Error: "_s))
        << failed.error.toStdString();
    EXPECT_EQ(failed.newOwner, u"carol"_s);
}

TEST_P(StageRuleTest, MisspeltColumnIsAnErrorAtTheRulesLine)
{
    const QVariantMap row{{u"SCR_Status"_s, u"A"_s}};
    const RuleOutcome out = runText(u"function SCRMain(a, b, c, d, e, stage, owner, group) {\n  "
                                    "owner.value = 'carol';\n\n  RS_SCR.SCR_Statsu = 'C';\n}"_s,
                                    row);
    EXPECT_EQ(out.error, u"Rule 'Trial', line 4: TypeError: RS_SCR has no column SCR_Statsu"_s);
    EXPECT_EQ(out.newOwner, u"carol"_s);
    EXPECT_EQ(out.row, row);

    const RuleOutcome thrown = runText(u"var x = 1;\nthrow 'no rule today';\n"_s);
    EXPECT_EQ(thrown.error, u"Rule 'Trial', line 2: no rule today"_s);
}

TEST_P(StageRuleTest, RunawayScriptIsInterruptedAtTheLimit)
{
    RuleInput in{u"alice"_s, 10, u"bob"_s, 20, {}};
    QElapsedTimer timer;
    timer.start();
    const RuleOutcome out = StageRule::runScript(
        db(),
        u"function SCRMain(a, b, c, d, e, stage, owner, group) {\n  owner.value = 'carol';\n"
        "  for (;;) { try { while (true) {} } catch (e) {} }\n}"_s,
        in, u"Loop"_s, 200ms);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_TRUE(out.interrupted);
    EXPECT_EQ(out.error, u"Rule 'Loop' was interrupted: it ran longer than 0.2 seconds."_s);
    EXPECT_EQ(out.newOwner, u"carol"_s);
}

// BXDB takes one statement that reads or changes rows, nothing that could end the save's
// transaction, reach another file, change the schema or the session's rights (what hides in
// quotes and comments is the scripted statements' reader's, tested with the database layer).
TEST_P(StageRuleTest, BxdbRefusesAllButSingleDataStatements)
{
    const QString copy = QDir(tempDir()).filePath(u"copy.db"_s);
    const QStringList refused = {
        u"COMMIT"_s,
        u"begin"_s,
        u"ATTACH DATABASE '%1' AS other"_s.arg(copy),
        u"VACUUM INTO '%1'"_s.arg(copy),
        u"CREATE TABLE T_RULE (a INTEGER)"_s,
        u"DROP TABLE LU_RULES"_s,
        u"PRAGMA foreign_keys = OFF"_s,
        u"SET ROLE postgres"_s,
        u"GRANT ALL ON LU_USER TO PUBLIC"_s,
        u"/* ; */ UPDATE LU_USER SET Disabled = 1; DROP TABLE LU_RULES"_s,
        u"SELECT 1; COMMIT"_s,
    };
    for (const QString& sql : refused) {
        SCOPED_TRACE(sql.toStdString());
        const RuleOutcome out = runText(
            u"function SCRMain(a, b, c, d, e, stage, owner, group) {\n  owner.value = 'carol';\n"
            "  BXDB.execute(%1);\n}"_s.arg(
                QString::fromUtf8(QJsonDocument(QJsonArray{sql}).toJson(QJsonDocument::Compact))
                    .mid(1)
                    .chopped(1)));
        EXPECT_TRUE(out.error.startsWith(u"Rule 'Trial', line 3: Error: BXDB "_s))
            << out.error.toStdString();
        EXPECT_EQ(out.newOwner, u"carol"_s);
    }
    EXPECT_FALSE(QFileInfo::exists(copy));
    EXPECT_TRUE(db().hasTable(u"LU_RULES"_s));
    EXPECT_FALSE(db().hasTable(u"T_RULE"_s));
    EXPECT_EQ(db().scalar(u"SELECT count(*) FROM LU_USER WHERE Disabled <> 0"_s).toInt(), 0);
}

// The watchdog stops the statement too: a query that would run for minutes holds no lock past
// the time limit, and nothing the rule wrote before it stays.
TEST_P(StageRuleTest, RunawayQueryIsStoppedAndItsLocksReleased)
{
    // Bounded, so that a broken interrupt fails the timing instead of hanging the run.
    const QString endless =
        u"WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r WHERE n < 2000000000) "_s;
    const struct
    {
        const char* name;
        bool insideSave;
        QString runaway;
    } cases[] = {
        {"reading, alone", false, endless + u"SELECT count(*) FROM r"_s},
        {"writing, inside a save", true,
         endless + u"UPDATE LU_USER SET User_Location = (SELECT count(*) FROM r) "
                   "WHERE USER_ID = 'carol'"_s},
    };
    const auto location = [this](const char* user) {
        return db().scalar(u"SELECT User_Location FROM LU_USER WHERE USER_ID = ?"_s,
                           {QString::fromUtf8(user)});
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<bx::Transaction> save;
        if (c.insideSave)
            save.emplace(db());
        RuleInput in{u"alice"_s, 10, u"bob"_s, 20, {}};
        QElapsedTimer timer;
        timer.start();
        const RuleOutcome out = StageRule::runScript(
            db(),
            u"function SCRMain(a, b, c, d, e, stage, owner, group) {\n"
            "  BXDB.execute(\"UPDATE LU_USER SET User_Location = 'rule' WHERE USER_ID = 'bob'\");\n"
            "  BXDB.query(%1);\n}"_s.arg(u"\""_s + c.runaway + u"\""_s),
            in, u"Loop"_s, 300ms);
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_TRUE(out.interrupted) << out.error.toStdString();

        // The save goes on as far as the engine lets it; its writes land whole or not at all.
        bool saved = !c.insideSave;
        if (save) {
            try {
                db().execute(u"UPDATE LU_USER SET User_Name = 'SAVED' WHERE USER_ID = 'alice'"_s);
                save->commit();
                saved = true;
            } catch (const bx::DbError&) {
            }
            save.reset();
        }
        EXPECT_EQ(location("bob"), QVariant());
        EXPECT_EQ(location("carol"), QVariant());
        if (c.insideSave) {
            EXPECT_EQ(
                db().scalar(u"SELECT User_Name FROM LU_USER WHERE USER_ID = 'alice'"_s).toString(),
                saved ? u"SAVED"_s : u"ALICE"_s);
        }

        const std::unique_ptr<bx::Database> other = connectAgain();
        other->setQueryTimeout(2);
        timer.restart();
        EXPECT_EQ(other->execute(u"UPDATE LU_USER SET User_Location = 'other' "
                                 "WHERE USER_ID IN ('bob', 'carol')"_s),
                  2);
        EXPECT_LT(timer.elapsed(), 1000);
        db().execute(u"UPDATE LU_USER SET User_Location = NULL"_s);
    }
}

BX_INSTANTIATE_ENGINES(StageRuleTest);

} // namespace
