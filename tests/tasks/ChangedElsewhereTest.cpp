// Two clients writing one task: a write made on a row another client changed since it was read
// is refused, and one object's own writes never count as someone else's.

#include "TaskTestSupport.h"
#include "support/ActingPrompt.h"
#include "tasks/cSCR.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::test::tasks;

namespace {

const QString kByBob =
    u"This task was changed by bob since you opened it. Your changes were not saved."_s;
const QString kByNobody =
    u"This task was changed since you opened it. Your changes were not saved."_s;
const QString kHigh = u"O'Brien's high"_s;

class ChangedElsewhereTest : public TaskTest
{
protected:
    void SetUp() override
    {
        TaskTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        db().execute(u"INSERT INTO LU_PRIORITY (Priority) VALUES (?)"_s, {kHigh});
        bobs.setDatabase(connectAgain());
        bobs.user.userId = u"bob"_s;
        bobs.currentWorkshopId = static_cast<int>(kShop7);
    }
    void TearDown() override
    {
        bobs.closeDatabase();
        TaskTest::TearDown();
    }

    /** A task of mine with its first history, as another client saved it. */
    qlonglong myTask(const QVariantMap& extra = {})
    {
        QVariantMap columns{{scr::Title, u"Printer"_s},
                            {scr::OwnerDateViewed, at(2024, 1, 30, 8, 0)}};
        columns.insert(extra);
        const qlonglong n = addTaskRow(db(), columns);
        startHistory(n, kMe, kShop7);
        return n;
    }

    /** The open history row; fails the test when there is not exactly one. */
    qlonglong openRouteRow(qlonglong task)
    {
        const RecordSet open = db().query(u"SELECT Route_Number FROM ROUTE WHERE "
                                          "SCR_Number = ? AND Route_Date_Out IS NULL"_s,
                                          {task});
        EXPECT_EQ(open.rowCount(), 1);
        return open.number(u"Route_Number"_s);
    }

    /** A second client, signed in as bob on a connection of its own. */
    Session bobs{settings, clock};
    bx::test::ScriptedPrompt bobsPrompt;
};

// The first client routes the task while the second has it open; the second's save is refused
// with the first's name, writes nothing and leaves the route standing. Loaded again, the second
// client's change goes in on top of the first's.
TEST_P(ChangedElsewhereTest, SaveAfterAnotherClientRoutedIsRefusedUntilReloaded)
{
    const qlonglong n = myTask();
    cSCR mine(session, prompt);
    cSCR his(bobs, bobsPrompt);
    ASSERT_TRUE(mine.Load(n));
    ASSERT_TRUE(his.Load(n));

    ASSERT_TRUE(his.Route_SCR({{u"carl"_s, kShop8, OwnerType::User}}, u"yours"_s));
    const qlonglong routeRow = openRouteRow(n);

    mine.setValue(scr::Priority, kHigh);
    mine.MakeHistory(QString());
    EXPECT_FALSE(mine.SAVE());
    EXPECT_EQ(mine.changedElsewhere(), kByBob);
    EXPECT_EQ(prompt.texts(), QStringList{kByBob});
    EXPECT_TRUE(taskErrors().isEmpty()) << "a refusal, not an error";
    EXPECT_EQ(mine.value(scr::Priority), kHigh) << "the typed value stays";
    EXPECT_EQ(storedText(n, scr::OwnerUserId), u"carl"_s);
    EXPECT_EQ(storedText(n, scr::Priority), QString());
    EXPECT_EQ(storedNumber(n, scr::RouteNumber), routeRow);
    EXPECT_EQ(closedActions(n),
              (QStringList{u"Create Request"_s, u"Task routed to 'carl' (Workshop:  8 )"_s}));

    ASSERT_TRUE(mine.Load(n));
    mine.setValue(scr::Priority, kHigh);
    mine.MakeHistory(QString());
    ASSERT_TRUE(mine.SAVE());
    EXPECT_TRUE(mine.changedElsewhere().isEmpty());
    EXPECT_EQ(storedText(n, scr::OwnerUserId), u"carl"_s);
    EXPECT_EQ(storedText(n, scr::Priority), kHigh);
    EXPECT_EQ(storedNumber(n, scr::RouteNumber), openRouteRow(n));
    EXPECT_EQ(closedActions(n).last(), u"Priority changed"_s);

    // A change that left no history (a plain SQL client) names nobody: the last entry is older.
    db().execute(u"UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?"_s, {u"Bob's printer"_s, n});
    prompt.clear();
    EXPECT_FALSE(mine.CloseOut(u"YES"_s, 0, QString()));
    EXPECT_EQ(prompt.texts(), QStringList{kByNobody});
    EXPECT_EQ(storedText(n, scr::Status), u"A"_s);
}

// One object saving again and again is never refused by its own writes, even when opening the
// task wrote its viewed date, and each save closes the history entry the previous one opened.
TEST_P(ChangedElsewhereTest, OneObjectWritesAgainAfterItsOwnWrites)
{
    const qlonglong n = myTask({{scr::OwnerDateViewed, QVariant()}});
    cSCR mine(session, prompt);
    ASSERT_TRUE(mine.Load(n));
    EXPECT_TRUE(mine.SCR_Owner_Date_Viewed().isValid());
    mine.MakeHistory(QString());
    ASSERT_TRUE(mine.SAVE());
    mine.setSCR_Title(u"Printer, second floor"_s);
    mine.MakeHistory(QString());
    ASSERT_TRUE(mine.SAVE());
    ASSERT_TRUE(mine.CloseOut(u"YES"_s, 0, QString()));

    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
    EXPECT_EQ(closedActions(n),
              (QStringList{u"Create Request"_s, u"Task saved"_s, u"Title changed"_s, u"YES"_s}));
    EXPECT_EQ(storedNumber(n, scr::RouteNumber), openRouteRow(n));
}

// Closing a task offers its open sub-tasks; one that another client changed while the question
// was open is left as that client left it, with nothing recorded for it, and the user is told.
TEST_P(ChangedElsewhereTest, CascadeLeavesASubTaskChangedWhileAsked)
{
    const qlonglong parent = myTask();
    const qlonglong changed = myTask({{scr::ParentNumber, parent}, {scr::Title, u"Toner"_s}});
    const qlonglong untouched = myTask({{scr::ParentNumber, parent}, {scr::Title, u"Paper"_s}});
    test::ActingPrompt acting;
    acting.whileAsked = [&] {
        db().execute(u"UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?"_s,
                     {u"Toner, black"_s, changed});
    };
    cSCR mine(session, acting);
    ASSERT_TRUE(mine.Load(parent));
    ASSERT_TRUE(mine.CloseOut(u"YES"_s, 0, QString()));

    EXPECT_EQ(storedText(untouched, scr::Status), u"C"_s);
    EXPECT_EQ(storedText(changed, scr::Status), u"A"_s);
    EXPECT_EQ(closedActions(changed), QStringList{u"Create Request"_s});
    EXPECT_EQ(acting.shown.last(),
              u"Subtask \"Toner\" was changed in the meantime and was left as it "
              "is."_s);
}

// A rule script that writes the task's own row is part of the stage move, not another client.
TEST_P(ChangedElsewhereTest, RuleWritingTheTaskRowDoesNotRefuseTheMove)
{
    const QString cycle = u"Buyer's cycle"_s;
    addLifecycle(db(), cycle, kShop7,
                 {withRule(userStage(u"Draft"_s, kMe, kShop7), u"Stamp"_s, false, true, false),
                  userStage(u"Review"_s, u"bob"_s, kShop4)});
    addRule(u"Stamp"_s, u"function SCRMain(co, cg, po, pg, srv, stage, owner, group) {\n"
                        "    BXDB.execute(\"UPDATE SCR SET SCR_Attention = 1 WHERE SCR_Number "
                        "= ?\", RS_SCR.SCR_Number);\n"
                        "}\n"_s);
    const qlonglong n = myTask(
        {{scr::LifecycleId, cycle}, {scr::LcStageName, u"Draft"_s}, {scr::LcOwnerGroupId, kShop7}});
    cSCR mine(session, prompt);
    ASSERT_TRUE(mine.Load(n));
    ASSERT_TRUE(mine.CloseOut(u"YES"_s, 0, QString())) << prompt.texts().join(u'|').toStdString();
    EXPECT_EQ(storedText(n, scr::LcStageName), u"Review"_s);
}

BX_INSTANTIATE_ENGINES(ChangedElsewhereTest);

} // namespace
