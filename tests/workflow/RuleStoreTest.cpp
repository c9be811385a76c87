#include "workflow/RuleStore.h"

#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

namespace {

using bx::RefusalOf;
using bx::RuleField;
using bx::RuleStore;

const QString kRule = QStringLiteral("O'Brien's rule");

/**
 * Rules "O'Brien's rule" and "Other", and task "Printer's jam" of ann in workshop 7; ann is an
 * administrator.
 */
class RuleStoreTest : public bx::test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        session.user.record.administrator = true;
        bx::test::addUsers(db(), {QStringLiteral("ann"), QStringLiteral("bob")});
        bx::test::addWorkshop(db(), 7);
        for (const QString& name : {kRule, QStringLiteral("Other")})
            db().execute(QStringLiteral("INSERT INTO LU_RULES (RULE_NAME, SCRIPT) VALUES (?, ?)"),
                         {name, QStringLiteral("// ") + name});
        task = bx::test::addTaskRow(db(), {{bx::scr::Title, QStringLiteral("Printer's jam")}});
    }

    /** Every rule as "name=script", ordered. */
    QStringList rules()
    {
        QStringList all;
        const bx::RecordSet rs =
            db().query(QStringLiteral("SELECT RULE_NAME, SCRIPT FROM LU_RULES ORDER BY RULE_NAME"));
        for (const QVariantList& row : rs.rows())
            all << row.value(0).toString() + u'=' + row.value(1).toString();
        return all;
    }

    QString taskTitle()
    {
        return db()
            .scalar(QStringLiteral("SELECT SCR_Title FROM SCR WHERE SCR_Number = ?"), {task})
            .toString();
    }

    RuleStore store{session};
    qlonglong task = 0;
};

TEST_P(RuleStoreTest, SaveRefusesInOrderAndWritesNothing)
{
    struct Case
    {
        const char* original;
        const char* name;
        const char* script;
        const char* message;
        RuleField field;
    };
    const Case cases[] = {
        {"", "  ", " ", "Please specify Rule Name", RuleField::Name},
        {"", "New", " \n ", "Please specify Rule Script", RuleField::Script},
        {"", " o'BRIEN'S RULE ", "x = 1", "Value 'o'BRIEN'S RULE' already exists.",
         RuleField::Name},
        {"Other", "O'BRIEN'S Rule", "x = 1", "Value 'O'BRIEN'S Rule' already exists.",
         RuleField::Name},
    };
    const QStringList before = rules();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(store
                      .save(QString::fromUtf8(c.original), QString::fromUtf8(c.name),
                            QString::fromUtf8(c.script))
                      .refusal(),
                  (RefusalOf<RuleField>{QString::fromUtf8(c.message), c.field}));
    }
    EXPECT_EQ(rules(), before);
}

TEST_P(RuleStoreTest, SaveAddsRenamesAndRewrites)
{
    ASSERT_TRUE(store.save({}, QStringLiteral("  Dave's \"new\" rule "), QStringLiteral("a = 1")));
    // An edit may change the letter case of its own name; a rule deleted meanwhile is added again.
    ASSERT_TRUE(store.save(kRule, QStringLiteral("O'BRIEN'S RULE"), QStringLiteral("b = 2")));
    db().execute(QStringLiteral("DELETE FROM LU_RULES WHERE RULE_NAME = ?"),
                 {QStringLiteral("Other")});
    ASSERT_TRUE(
        store.save(QStringLiteral("Other"), QStringLiteral("Renamed"), QStringLiteral("c = 3")));
    EXPECT_EQ(rules(), (QStringList{QStringLiteral("Dave's \"new\" rule=a = 1"),
                                    QStringLiteral("O'BRIEN'S RULE=b = 2"),
                                    QStringLiteral("Renamed=c = 3")}));

    const auto loaded = store.load(QStringLiteral("o'brien's rule"));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->name, QStringLiteral("O'BRIEN'S RULE"));
    EXPECT_EQ(loaded->script, QStringLiteral("b = 2"));
    EXPECT_FALSE(store.load(QStringLiteral("Other")));

    // A stage that runs a renamed rule keeps running it.
    db().execute(QStringLiteral("INSERT INTO LIFECYCLE_USER (Lifecycle_ID, LC_Stage_Name, "
                                "Rule_Name) VALUES (?, ?, ?)"),
                 {QStringLiteral("Release"), QStringLiteral("Draft"), QStringLiteral("Renamed")});
    ASSERT_TRUE(store.save(QStringLiteral("Renamed"), QStringLiteral("Gate's rule"),
                           QStringLiteral("c = 3")));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT Rule_Name FROM LIFECYCLE_USER")).toString(),
              QStringLiteral("Gate's rule"));
}

// What the script writes, through BXDB or into RS_SCR, is undone; its decision is reported.
TEST_P(RuleStoreTest, TrialRunKeepsNothing)
{
    const QString script = QStringLiteral(R"js(
function SCRMain(co, cg, po, pg, server, stage, owner, group) {
    BXDB.execute("UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?", "changed", RS_SCR.SCR_Number);
    BXDB.execute("INSERT INTO LU_RULES (RULE_NAME, SCRIPT) VALUES (?, ?)", "made by rule", "x");
    RS_SCR.SCR_Title = "set by rule";
    stage.value = "Review";
    owner.value = po + "/" + co;
    group.value = pg;
}
)js");
    const QStringList rulesBefore = rules();

    const auto own = store.trial(script, task, {}, kRule);
    ASSERT_TRUE(own);
    EXPECT_TRUE(own->outcome.ok()) << own->outcome.error.toStdString();
    EXPECT_EQ(own->outcome.newOwner, QStringLiteral("ann/ann"));
    EXPECT_EQ(own->outcome.newGroup, 7);
    EXPECT_EQ(own->outcome.targetStage, QStringLiteral("Review"));
    EXPECT_EQ(own->changedColumns, QStringList{QStringLiteral("SCR_Title")});
    EXPECT_TRUE(own->report().contains(QStringLiteral("New owner: ann/ann")));
    EXPECT_TRUE(own->report().contains(QStringLiteral("Target stage: Review")));

    const auto given = store.trial(script, task, {QStringLiteral("bob"), 9});
    ASSERT_TRUE(given);
    EXPECT_EQ(given->outcome.newOwner, QStringLiteral("bob/ann"));
    EXPECT_EQ(given->outcome.newGroup, 9);

    EXPECT_EQ(taskTitle(), QStringLiteral("Printer's jam"));
    EXPECT_EQ(rules(), rulesBefore);
    EXPECT_EQ(session.db().transactionDepth(), 0);
}

TEST_P(RuleStoreTest, TrialRunReportsErrorsAndMissingTasks)
{
    const auto broken = store.trial(QStringLiteral("function SCRMain(a, b, c, d, e, f, g, h) {\n"
                                                   "    BXDB.execute(\"DELETE FROM SCR\");\n"
                                                   "    g.value = (;\n"
                                                   "}\n"),
                                    task, {}, kRule);
    ASSERT_TRUE(broken);
    EXPECT_FALSE(broken->outcome.ok());
    EXPECT_TRUE(broken->report().startsWith(QStringLiteral("Rule 'O'Brien's rule', line 3: ")))
        << broken->report().toStdString();

    const auto failing = store.trial(QStringLiteral("function SCRMain(a, b, c, d, e, f, g, h) {\n"
                                                    "    BXDB.execute(\"DELETE FROM SCR\");\n"
                                                    "    g.value = nothing.here;\n"
                                                    "}\n"),
                                     task);
    ASSERT_TRUE(failing);
    EXPECT_TRUE(failing->outcome.error.contains(QStringLiteral("line 3")))
        << failing->outcome.error.toStdString();
    EXPECT_EQ(taskTitle(), QStringLiteral("Printer's jam"));

    EXPECT_EQ(store.trial(QStringLiteral("x = 1"), task + 100).refusal(),
              RefusalOf<>{QStringLiteral("Task %1 does not exist").arg(task + 100)});
    for (const char* typed : {"12a", "0"})
        EXPECT_EQ(RuleStore::parseTaskNumber(QString::fromLatin1(typed)).refusal(),
                  RefusalOf<>{QStringLiteral("Please enter a task number")});
    EXPECT_EQ(*RuleStore::parseTaskNumber(QStringLiteral(" 42 ")), 42);
}

BX_INSTANTIATE_ENGINES(RuleStoreTest);

} // namespace
