// Two clients writing one task: a write made on a row another client changed since it was read
// is refused, and one object's own writes never count as someone else's.

#include "TaskTestSupport.h"
#include "support/ActingPrompt.h"
#include "tasks/cSCR.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::test::tasks;

namespace {

const QString kByBob = QStringLiteral(
    "This task was changed by bob since you opened it. Your changes were not saved.");
const QString kByNobody =
    QStringLiteral("This task was changed since you opened it. Your changes were not saved.");
const QString kHigh = QStringLiteral("O'Brien's high");

class ChangedElsewhereTest : public TaskTest
{
protected:
    void SetUp() override
    {
        TaskTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        db().execute(QStringLiteral("INSERT INTO LU_PRIORITY (Priority) VALUES (?)"), {kHigh});
        bobs.setDatabase(connectAgain());
        bobs.user.userId = QStringLiteral("bob");
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
        QVariantMap columns{{scr::Title, QStringLiteral("Printer")},
                            {scr::OwnerDateViewed, at(2024, 1, 30, 8, 0)}};
        columns.insert(extra);
        const qlonglong n = addTaskRow(db(), columns);
        startHistory(n, kMe, kShop7);
        return n;
    }

    /** The open history row; fails the test when there is not exactly one. */
    qlonglong openRouteRow(qlonglong task)
    {
        const RecordSet open =
            db().query(QStringLiteral("SELECT Route_Number FROM ROUTE WHERE "
                                      "SCR_Number = ? AND Route_Date_Out IS NULL"),
                       {task});
        EXPECT_EQ(open.rowCount(), 1);
        return open.number(QStringLiteral("Route_Number"));
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

    ASSERT_TRUE(his.Route_SCR({{QStringLiteral("carl"), kShop8, OwnerType::User}},
                              QStringLiteral("yours")));
    const qlonglong routeRow = openRouteRow(n);

    mine.setValue(scr::Priority, kHigh);
    mine.MakeHistory(QString());
    EXPECT_FALSE(mine.SAVE());
    EXPECT_EQ(mine.changedElsewhere(), kByBob);
    EXPECT_EQ(prompt.texts(), QStringList{kByBob});
    EXPECT_TRUE(taskErrors().isEmpty()) << "a refusal, not an error";
    EXPECT_EQ(mine.value(scr::Priority), kHigh) << "the typed value stays";
    EXPECT_EQ(storedText(n, scr::OwnerUserId), QStringLiteral("carl"));
    EXPECT_EQ(storedText(n, scr::Priority), QString());
    EXPECT_EQ(storedNumber(n, scr::RouteNumber), routeRow);
    EXPECT_EQ(closedActions(n),
              (QStringList{QStringLiteral("Create Request"),
                           QStringLiteral("Task routed to 'carl' (Workshop:  8 )")}));

    ASSERT_TRUE(mine.Load(n));
    mine.setValue(scr::Priority, kHigh);
    mine.MakeHistory(QString());
    ASSERT_TRUE(mine.SAVE());
    EXPECT_TRUE(mine.changedElsewhere().isEmpty());
    EXPECT_EQ(storedText(n, scr::OwnerUserId), QStringLiteral("carl"));
    EXPECT_EQ(storedText(n, scr::Priority), kHigh);
    EXPECT_EQ(storedNumber(n, scr::RouteNumber), openRouteRow(n));
    EXPECT_EQ(closedActions(n).last(), QStringLiteral("Priority changed"));

    // A change that left no history (a plain SQL client) names nobody: the last entry is older.
    db().execute(QStringLiteral("UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?"),
                 {QStringLiteral("Bob's printer"), n});
    prompt.clear();
    EXPECT_FALSE(mine.CloseOut(QStringLiteral("YES"), 0, QString()));
    EXPECT_EQ(prompt.texts(), QStringList{kByNobody});
    EXPECT_EQ(storedText(n, scr::Status), QStringLiteral("A"));
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
    mine.setSCR_Title(QStringLiteral("Printer, second floor"));
    mine.MakeHistory(QString());
    ASSERT_TRUE(mine.SAVE());
    ASSERT_TRUE(mine.CloseOut(QStringLiteral("YES"), 0, QString()));

    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
    EXPECT_EQ(closedActions(n),
              (QStringList{QStringLiteral("Create Request"), QStringLiteral("Task saved"),
                           QStringLiteral("Title changed"), QStringLiteral("YES")}));
    EXPECT_EQ(storedNumber(n, scr::RouteNumber), openRouteRow(n));
}

// Closing a task offers its open sub-tasks; one that another client changed while the question
// was open is left as that client left it, with nothing recorded for it, and the user is told.
TEST_P(ChangedElsewhereTest, CascadeLeavesASubTaskChangedWhileAsked)
{
    const qlonglong parent = myTask();
    const qlonglong changed =
        myTask({{scr::ParentNumber, parent}, {scr::Title, QStringLiteral("Toner")}});
    const qlonglong untouched =
        myTask({{scr::ParentNumber, parent}, {scr::Title, QStringLiteral("Paper")}});
    test::ActingPrompt acting;
    acting.whileAsked = [&] {
        db().execute(QStringLiteral("UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?"),
                     {QStringLiteral("Toner, black"), changed});
    };
    cSCR mine(session, acting);
    ASSERT_TRUE(mine.Load(parent));
    ASSERT_TRUE(mine.CloseOut(QStringLiteral("YES"), 0, QString()));

    EXPECT_EQ(storedText(untouched, scr::Status), QStringLiteral("C"));
    EXPECT_EQ(storedText(changed, scr::Status), QStringLiteral("A"));
    EXPECT_EQ(closedActions(changed), QStringList{QStringLiteral("Create Request")});
    EXPECT_EQ(acting.shown.last(),
              QStringLiteral("Subtask \"Toner\" was changed in the meantime and was left as it "
                             "is."));
}

// A rule script that writes the task's own row is part of the stage move, not another client.
TEST_P(ChangedElsewhereTest, RuleWritingTheTaskRowDoesNotRefuseTheMove)
{
    const QString cycle = QStringLiteral("Buyer's cycle");
    addLifecycle(db(), cycle, kShop7,
                 {withRule(userStage(QStringLiteral("Draft"), kMe, kShop7), QStringLiteral("Stamp"),
                           false, true, false),
                  userStage(QStringLiteral("Review"), QStringLiteral("bob"), kShop4)});
    addRule(QStringLiteral("Stamp"),
            QStringLiteral("function SCRMain(co, cg, po, pg, srv, stage, owner, group) {\n"
                           "    BXDB.execute(\"UPDATE SCR SET SCR_Attention = 1 WHERE SCR_Number "
                           "= ?\", RS_SCR.SCR_Number);\n"
                           "}\n"));
    const qlonglong n = myTask({{scr::LifecycleId, cycle},
                                {scr::LcStageName, QStringLiteral("Draft")},
                                {scr::LcOwnerGroupId, kShop7}});
    cSCR mine(session, prompt);
    ASSERT_TRUE(mine.Load(n));
    ASSERT_TRUE(mine.CloseOut(QStringLiteral("YES"), 0, QString()))
        << prompt.texts().join(u'|').toStdString();
    EXPECT_EQ(storedText(n, scr::LcStageName), QStringLiteral("Review"));
}

BX_INSTANTIATE_ENGINES(ChangedElsewhereTest);

} // namespace
