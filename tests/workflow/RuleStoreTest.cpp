#include "workflow/RuleStore.h"

#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using bx::RefusalOf;
using bx::RuleField;
using bx::RuleStore;

const QString kRule = u"O'Brien's rule"_s;

/**
 * Rules "O'Brien's rule" and "Other", and task "Printer's jam" of ann in workshop 7; ann is an
 * administrator.
 */
class RuleStoreTest : public bx::test::SessionTest
{
protected:
    void arrange() override
    {
        session.user.record.administrator = true;
        bx::test::addUsers(db(), {u"ann"_s, u"bob"_s});
        bx::test::addWorkshop(db(), 7);
        for (const QString& name : {kRule, u"Other"_s})
            db().execute(u"INSERT INTO LU_RULES (RULE_NAME, SCRIPT) VALUES (?, ?)"_s,
                         {name, u"// "_s + name});
        task = bx::test::addTaskRow(db(), {{bx::scr::Title, u"Printer's jam"_s}});
    }

    /** Every rule as "name=script", ordered. */
    QStringList rules()
    {
        QStringList all;
        const bx::RecordSet rs =
            db().query(u"SELECT RULE_NAME, SCRIPT FROM LU_RULES ORDER BY RULE_NAME"_s);
        for (const QVariantList& row : rs.rows())
            all << row.value(0).toString() + u'=' + row.value(1).toString();
        return all;
    }

    QString taskTitle()
    {
        return db().scalar(u"SELECT SCR_Title FROM SCR WHERE SCR_Number = ?"_s, {task}).toString();
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
    ASSERT_TRUE(store.save({}, u"  Dave's \"new\" rule "_s, u"a = 1"_s));
    // An edit may change the letter case of its own name; a rule deleted meanwhile is added again.
    ASSERT_TRUE(store.save(kRule, u"O'BRIEN'S RULE"_s, u"b = 2"_s));
    db().execute(u"DELETE FROM LU_RULES WHERE RULE_NAME = ?"_s, {u"Other"_s});
    ASSERT_TRUE(store.save(u"Other"_s, u"Renamed"_s, u"c = 3"_s));
    EXPECT_EQ(rules(), (QStringList{u"Dave's \"new\" rule=a = 1"_s, u"O'BRIEN'S RULE=b = 2"_s,
                                    u"Renamed=c = 3"_s}));

    const auto loaded = store.load(u"o'brien's rule"_s);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->name, u"O'BRIEN'S RULE"_s);
    EXPECT_EQ(loaded->script, u"b = 2"_s);
    EXPECT_FALSE(store.load(u"Other"_s));

    // A stage that runs a renamed rule keeps running it.
    db().execute(
        u"INSERT INTO LIFECYCLE_USER (Lifecycle_ID, LC_Stage_Name, Rule_Name) VALUES (?, ?, ?)"_s,
        {u"Release"_s, u"Draft"_s, u"Renamed"_s});
    ASSERT_TRUE(store.save(u"Renamed"_s, u"Gate's rule"_s, u"c = 3"_s));
    EXPECT_EQ(db().scalar(u"SELECT Rule_Name FROM LIFECYCLE_USER"_s).toString(), u"Gate's rule"_s);
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
    EXPECT_EQ(own->outcome.newOwner, u"ann/ann"_s);
    EXPECT_EQ(own->outcome.newGroup, 7);
    EXPECT_EQ(own->outcome.targetStage, u"Review"_s);
    EXPECT_EQ(own->changedColumns, QStringList{u"SCR_Title"_s});
    EXPECT_TRUE(own->report().contains(u"New owner: ann/ann"_s));
    EXPECT_TRUE(own->report().contains(u"Target stage: Review"_s));

    const auto given = store.trial(script, task, {u"bob"_s, 9});
    ASSERT_TRUE(given);
    EXPECT_EQ(given->outcome.newOwner, u"bob/ann"_s);
    EXPECT_EQ(given->outcome.newGroup, 9);

    EXPECT_EQ(taskTitle(), u"Printer's jam"_s);
    EXPECT_EQ(rules(), rulesBefore);
    EXPECT_EQ(session.db().transactionDepth(), 0);
}

TEST_P(RuleStoreTest, TrialRunReportsErrorsAndMissingTasks)
{
    const auto broken = store.trial(u"function SCRMain(a, b, c, d, e, f, g, h) {\n    "
                                    "BXDB.execute(\"DELETE FROM SCR\");\n    g.value = (;\n}\n"_s,
                                    task, {}, kRule);
    ASSERT_TRUE(broken);
    EXPECT_FALSE(broken->outcome.ok());
    EXPECT_TRUE(broken->report().startsWith(u"Rule 'O'Brien's rule', line 3: "_s))
        << broken->report().toStdString();

    EXPECT_EQ(store.trial(u"x = 1"_s, task + 100).refusal(),
              RefusalOf<>{u"Task %1 does not exist"_s.arg(task + 100)});
    for (const char* typed : {"12a", "0"})
        EXPECT_EQ(RuleStore::parseTaskNumber(QString::fromLatin1(typed)).refusal(),
                  RefusalOf<>{u"Please enter a task number"_s});
    EXPECT_EQ(*RuleStore::parseTaskNumber(u" 42 "_s), 42);
}

BX_INSTANTIATE_ENGINES(RuleStoreTest);

} // namespace
