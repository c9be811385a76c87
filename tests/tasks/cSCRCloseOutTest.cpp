// Workflow actions of the task object: closing, lifecycle moves, rules, checklists, the end of a
// lifecycle and the sub-task cascade; entering a lifecycle by routing.

#include "TaskTestSupport.h"
#include "tasks/cSCR.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::test::tasks;

namespace {

const QString kCycle = QStringLiteral("Buyer's cycle");
const QString kDraft = QStringLiteral("Draft");
const QString kBoss = QStringLiteral("Boss's OK");
const QString kShop = QStringLiteral("Shop");
const QString kCheck = QStringLiteral("Requester's check");
const QString kNote = QStringLiteral("O'Brien said \"fine\"");
/** Now in GMT: the fixed clock stands at 14:05:09 local, two hours ahead. */
const QDateTime kNowGmt = at(2024, 1, 31, 12, 5, 9);

const QString kToOBrien = QStringLiteral(R"(// Hands the task to O'Brien in workshop 9.
function SCRMain(co, cg, po, pg, srv, stage, owner, group) {
    owner.value = "O'Brien";
    group.value = 9;
})");

class cSCRCloseOutTest : public TaskTest
{
protected:
    void SetUp() override
    {
        TaskTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // Stage owners: a user, the user of another workshop, a whole workshop, the requester.
        addLifecycle(kCycle, kShop7,
                     {userStage(kDraft, QStringLiteral("carl"), kShop8),
                      userStage(kBoss, QStringLiteral("bob"), kShop4), workshopStage(kShop, kShop9),
                      requesterStage(kCheck, kShop7)});
        addRule(QStringLiteral("To O'Brien"), kToOBrien);
    }

    /** A task of mine requested by dora of workshop 8; in kCycle at `stage` unless it is null. */
    qlonglong task(const QString& stage = {}, const QVariantMap& extra = {})
    {
        QVariantMap row{
            {QStringLiteral("SCR_Title"), QStringLiteral("Lathe for O'Brien's shop")},
            {QStringLiteral("SCR_Request_ID"), QStringLiteral("dora")},
            {QStringLiteral("SCR_Request_Group_ID"), kShop8},
            {QStringLiteral("SCR_Category"), kProjects},
            {QStringLiteral("SCR_Owner_Date_In"), at(2024, 1, 2, 8, 0)},
            {QStringLiteral("SCR_Owner_Date_Viewed"), at(2024, 1, 3, 8, 0)},
            {QStringLiteral("SCR_Owner_Target_Date"), at(2024, 2, 10, 15, 0)},
            {QStringLiteral("SCR_Parent_Folder_Number"), 5},
        };
        if (!stage.isNull()) {
            row.insert(QStringLiteral("SCR_Lifecycle_ID"), kCycle);
            row.insert(QStringLiteral("SCR_LC_Stage_Name"), stage);
            row.insert(QStringLiteral("SCR_LC_Owner_ID"), QStringLiteral("dan"));
            row.insert(QStringLiteral("SCR_LC_Owner_Group_ID"), kShop7);
        }
        const qlonglong number = bx::test::addTaskRow(db(), row, extra);
        startHistory(number, storedText(number, QStringLiteral("SCR_Owner_User_ID")),
                     storedNumber(number, QStringLiteral("SCR_Group_ID")));
        return number;
    }

    /** The actions recorded after the task's creation, oldest first. */
    QStringList recorded(qlonglong number)
    {
        QStringList actions = closedActions(number);
        EXPECT_FALSE(actions.isEmpty());
        if (!actions.isEmpty()) {
            EXPECT_EQ(actions.first(), QStringLiteral("Create Request"));
            actions.removeFirst();
        }
        return actions;
    }

    void setStageRule(const QString& stage, const QString& rule, bool approved, bool declined,
                      bool received = false)
    {
        db().execute(QStringLiteral("UPDATE LIFECYCLE_USER SET Rule_Name = ?, Approved = ?, "
                                    "Declined = ?, Received = ? WHERE Lifecycle_ID = ? AND "
                                    "LC_Stage_Name = ?"),
                     {rule, db().dialect().flag(approved), db().dialect().flag(declined),
                      db().dialect().flag(received), kCycle, stage});
    }

    void clearRules()
    {
        db().execute(QStringLiteral("UPDATE LIFECYCLE_USER SET Rule_Name = NULL, Approved = 0, "
                                    "Declined = 0, Received = 0"));
    }

    std::string shown() const { return prompt.texts().join(u'|').toStdString(); }
};

// ---------------------------------------------------------------------------------------------
// Tasks without lifecycle

TEST_P(cSCRCloseOutTest, ActionsWithoutLifecycleSetTheStatusAndRecordTheirWord)
{
    const struct
    {
        const char* action;
        int step;
        const char* from;
        const char* status;
        const char* recorded;
    } cases[] = {
        {"YES", 0, "A", "C", "YES"},       {"NO", 0, "A", "I", "NO"},
        {"Jump", 0, "A", "C", "Jump"},     {"Jump", -1, "A", "C", "Jump"},
        {"Jump", 2, "A", "C", "YES"},      {"Cancel", 0, "A", "X", "Cancel"},
        {"Reopen", 0, "C", "A", "Reopen"}, {"CONDITIONAL", 0, "A", "A", "CONDITIONAL"},
        {"cancel", 0, "A", "X", "cancel"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.action) + " " + std::to_string(c.step));
        const qlonglong number =
            task({}, {{QStringLiteral("SCR_Status"), QString::fromUtf8(c.from)}});
        cSCR t(session, prompt);
        ASSERT_TRUE(t.Load(number));
        ASSERT_TRUE(t.CloseOut(QString::fromUtf8(c.action), c.step, kNote)) << shown();
        EXPECT_EQ(t.SCR_Status(), QString::fromUtf8(c.status));
        EXPECT_EQ(t.SCR_Route_Note(), kNote);
        EXPECT_TRUE(t.pendingHistory().isEmpty());
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_Status")), QString::fromUtf8(c.status));
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_Owner_User_ID")), kMe);
        EXPECT_EQ(recorded(number), QStringList{QString::fromUtf8(c.recorded)});
        const RecordSet rows = routeRows(number);
        ASSERT_EQ(rows.rowCount(), 3);
        EXPECT_EQ(rows.value(1, QStringLiteral("Route_Note")).toString(), kNote);
        EXPECT_EQ(rows.value(2, QStringLiteral("USER_ID")).toString(), kMe);
        // The row opened after the action carries the status the action left.
        EXPECT_EQ(rows.value(2, QStringLiteral("Route_Status")).toString(),
                  QString::fromUtf8(c.status));
    }
    EXPECT_TRUE(prompt.records().isEmpty()) << shown();
}

TEST_P(cSCRCloseOutTest, ReopenOfATaskThatIsNotCompleteDoesNothing)
{
    for (const char* status : {"I", "X", "A"}) {
        SCOPED_TRACE(status);
        const qlonglong number =
            task({}, {{QStringLiteral("SCR_Status"), QString::fromUtf8(status)}});
        cSCR t(session, prompt);
        ASSERT_TRUE(t.Load(number));
        EXPECT_FALSE(t.CloseOut(QStringLiteral("Reopen"), 0, kNote));
        EXPECT_EQ(t.SCR_Status(), QString::fromUtf8(status));
        EXPECT_TRUE(t.pendingHistory().isEmpty());
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_Status")), QString::fromUtf8(status));
        EXPECT_EQ(routeRows(number).rowCount(), 2);
        EXPECT_TRUE(notifier.notices.isEmpty());
    }
}

TEST_P(cSCRCloseOutTest, UntickedMandatoryChecklistItemRefusesAcceptance)
{
    const QString list = QStringLiteral("Pre-flight 'A'");
    const QString item = QStringLiteral("Check the 'oil'");
    addChecklistItem(list, QStringLiteral("Wipe the glass"), false);
    addChecklistItem(list, item, true);
    addChecklistItem(QStringLiteral("Optional only"), QStringLiteral("Smile"), false);
    addChecklistItem(QStringLiteral("Not attached"), QStringLiteral("Never"), true);
    const QString refusal = QStringLiteral("Mandatory field 'Check the 'oil'' for CheckList "
                                           "'Pre-flight 'A'' should be checked");

    // A checklist whose items are all optional, and a checklist attachment without a name, never
    // block.
    const qlonglong optional = task();
    attachChecklist(optional, QStringLiteral("Optional only"));
    attachChecklist(optional, QString());
    {
        cSCR t(session, prompt);
        ASSERT_TRUE(t.Load(optional));
        EXPECT_TRUE(t.CloseOut(QStringLiteral("YES"), 0, kNote)) << shown();
        EXPECT_EQ(storedText(optional, QStringLiteral("SCR_Status")), QStringLiteral("C"));
    }

    const qlonglong number = task();
    const qlonglong attach = attachChecklist(number, list);
    // Ticked on another task's copy of the same checklist: not ticked here.
    const qlonglong other = task();
    tickChecklistItem(list, item, attachChecklist(other, list));
    tickChecklistItem(list, QStringLiteral("Wipe the glass"), attach);
    for (const char* action : {"YES", "yes "}) {
        SCOPED_TRACE(action);
        prompt.clear();
        cSCR t(session, prompt);
        ASSERT_TRUE(t.Load(number));
        const QVariantMap before = t.values();
        EXPECT_FALSE(t.CloseOut(QString::fromUtf8(action), 0, kNote));
        ASSERT_EQ(prompt.records().size(), 1);
        EXPECT_EQ(prompt.last().text, refusal);
        EXPECT_EQ(prompt.last().icon, PromptIcon::Critical);
        EXPECT_EQ(differingValues(t.values(), before), QStringList{});
        EXPECT_TRUE(t.pendingHistory().isEmpty());
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_Status")), QStringLiteral("A"));
        EXPECT_EQ(routeRows(number).rowCount(), 2);
    }

    // Declining is not checked.
    {
        prompt.clear();
        const qlonglong declined = task();
        attachChecklist(declined, list);
        cSCR t(session, prompt);
        ASSERT_TRUE(t.Load(declined));
        EXPECT_TRUE(t.CloseOut(QStringLiteral("NO"), 0, kNote)) << shown();
        EXPECT_EQ(storedText(declined, QStringLiteral("SCR_Status")), QStringLiteral("I"));
    }

    // Ticked on this task's copy: accepted.
    prompt.clear();
    tickChecklistItem(list, item, attach);
    cSCR t(session, prompt);
    ASSERT_TRUE(t.Load(number));
    EXPECT_TRUE(t.CloseOut(QStringLiteral("YES"), 0, kNote)) << shown();
    EXPECT_EQ(storedText(number, QStringLiteral("SCR_Status")), QStringLiteral("C"));
    EXPECT_TRUE(prompt.records().isEmpty()) << shown();
}

TEST_P(cSCRCloseOutTest, UntickedMandatoryChecklistItemKeepsTheLifecycleStage)
{
    addChecklistItem(QStringLiteral("Sign-off"), QStringLiteral("Budget"), true);
    const qlonglong number = task(kBoss);
    attachChecklist(number, QStringLiteral("Sign-off"));
    cSCR t(session, prompt);
    ASSERT_TRUE(t.Load(number));
    EXPECT_FALSE(t.CloseOut(QStringLiteral("YES"), 0, kNote));
    EXPECT_EQ(prompt.texts(), QStringList{QStringLiteral("Mandatory field 'Budget' for CheckList "
                                                         "'Sign-off' should be checked")});
    EXPECT_EQ(t.SCR_LC_Stage_Name(), kBoss);
    EXPECT_EQ(storedText(number, QStringLiteral("SCR_LC_Stage_Name")), kBoss);
    EXPECT_EQ(storedText(number, QStringLiteral("SCR_Owner_User_ID")), kMe);
    EXPECT_EQ(routeRows(number).rowCount(), 2);
}

// ---------------------------------------------------------------------------------------------
// Lifecycle moves

TEST_P(cSCRCloseOutTest, LifecycleMovesTakeTheOwnerOfTheNewStage)
{
    const struct
    {
        const char* name;
        QString from;
        const char* action;
        int step;
        QString stage; ///< empty: out of the lifecycle
        QString owner;
        qlonglong group;
        const char* status;
        const char* recorded;
        bool moved; ///< a stage move (or leaving the lifecycle) took place
    } cases[] = {
        {"accept to a user's stage", kDraft, "YES", 0, kBoss, QStringLiteral("bob"), kShop4, "A",
         "YES", true},
        {"accept to a workshop's stage", kBoss, "YES", 0, kShop, QString(), kShop9, "A", "YES",
         true},
        {"accept to the requester's stage", kShop, "YES", 0, kCheck, QStringLiteral("dora"), kShop8,
         "A", "YES", true},
        {"accept at the last stage", kCheck, "YES", 0, kCheck, kMe, kShop7, "C", "YES", false},
        {"decline to the previous stage", kBoss, "NO", 0, kDraft, QStringLiteral("carl"), kShop8,
         "A", "NO", true},
        {"decline at the first stage", kDraft, "NO", 0, QString(), QStringLiteral("dora"), kShop8,
         "A", "NO", true},
        {"jump forward", kDraft, "Jump", 2, kShop, QString(), kShop9, "A", "YES", true},
        {"jump back", kShop, "Jump", -2, kDraft, QStringLiteral("carl"), kShop8, "A", "Jump", true},
        {"jump past the end", kBoss, "Jump", 5, kBoss, kMe, kShop7, "C", "YES", false},
        {"jump before the first stage", kBoss, "Jump", -3, QString(), QStringLiteral("dora"),
         kShop8, "A", "Jump", true},
        {"stage names compared without case", QStringLiteral(" boss's ok "), "YES", 0, kShop,
         QString(), kShop9, "A", "YES", true},
        {"cancel", kBoss, "Cancel", 0, kBoss, kMe, kShop7, "X", "Cancel", false},
        {"conditional", kBoss, "CONDITIONAL", 0, kBoss, kMe, kShop7, "A", "CONDITIONAL", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        notifier.notices.clear();
        const qlonglong number = task(c.from);
        cSCR t(session, prompt);
        ASSERT_TRUE(t.Load(number));
        ASSERT_TRUE(t.CloseOut(QString::fromUtf8(c.action), c.step, kNote)) << shown();

        EXPECT_EQ(t.SCR_LC_Stage_Name().trimmed().toLower(), c.stage.toLower());
        EXPECT_EQ(t.SCR_Owner_User_ID(), c.owner);
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_LC_Stage_Name")).trimmed().toLower(),
                  c.stage.toLower());
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_Owner_User_ID")), c.owner);
        EXPECT_EQ(storedNumber(number, QStringLiteral("SCR_Group_ID")), c.group);
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_Status")), QString::fromUtf8(c.status));
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_Request_ID")), QStringLiteral("dora"));
        if (c.stage.isEmpty()) {
            EXPECT_EQ(storedText(number, QStringLiteral("SCR_Lifecycle_ID")), QString());
            EXPECT_EQ(storedText(number, QStringLiteral("SCR_LC_Owner_ID")), QString());
            EXPECT_TRUE(stored(number, QStringLiteral("SCR_LC_Owner_Group_ID")).isNull());
            EXPECT_EQ(t.SCR_Lifecycle_ID(), QString());
        } else {
            EXPECT_EQ(storedText(number, QStringLiteral("SCR_Lifecycle_ID")), kCycle);
            EXPECT_EQ(storedText(number, QStringLiteral("SCR_LC_Owner_ID")), QStringLiteral("dan"));
            EXPECT_EQ(storedNumber(number, QStringLiteral("SCR_LC_Owner_Group_ID")), kShop7);
        }
        if (c.moved && !c.stage.isEmpty()) {
            EXPECT_EQ(RecordSet::toDateTime(stored(number, QStringLiteral("SCR_Owner_Date_In"))),
                      kNowGmt);
            EXPECT_TRUE(stored(number, QStringLiteral("SCR_Owner_Date_Viewed")).isNull());
            EXPECT_EQ(storedNumber(number, QStringLiteral("SCR_Parent_Folder_Number")), 0);
        }
        if (!c.moved) {
            EXPECT_EQ(RecordSet::toDateTime(stored(number, QStringLiteral("SCR_Owner_Date_In"))),
                      at(2024, 1, 2, 8, 0));
        }

        // The entry is taken after the move: the open row names the new owner.
        EXPECT_EQ(recorded(number), QStringList{QString::fromUtf8(c.recorded)});
        const RecordSet rows = routeRows(number);
        ASSERT_EQ(rows.rowCount(), 3);
        EXPECT_EQ(rows.value(1, QStringLiteral("Route_Note")).toString().toLower(),
                  (c.stage.isEmpty() ? kNote : c.stage + QStringLiteral(": ") + kNote).toLower());
        EXPECT_EQ(rows.value(2, QStringLiteral("USER_ID")).toString(), c.owner);
        ASSERT_EQ(notifier.notices.size(), 1);
        EXPECT_EQ(notifier.notices[0].ownerUser, c.owner);
        EXPECT_EQ(notifier.notices[0].groupId, c.group);
    }
    EXPECT_TRUE(prompt.records().isEmpty()) << shown();
}

TEST_P(cSCRCloseOutTest, MissingStageTakesTheTaskOutOfItsLifecycle)
{
    const QString gone = QStringLiteral("Old 'QA'");
    const qlonglong number = task(gone);
    cSCR t(session, prompt);
    ASSERT_TRUE(t.Load(number));
    t.CloseOut(QStringLiteral("YES"), 0, kNote);
    ASSERT_EQ(prompt.records().size(), 1) << shown();
    EXPECT_EQ(prompt.last().kind, bx::test::PromptRecord::Kind::Inform);
    EXPECT_EQ(prompt.last().text, QStringLiteral("Lifecycle Stage Old 'QA' not found"));
    EXPECT_EQ(t.SCR_Lifecycle_ID(), QString());
    EXPECT_EQ(t.SCR_LC_Stage_Name(), QString());
    EXPECT_EQ(t.SCR_LC_Owner_ID(), QString());
    // Saved without its lifecycle; the owner stays.
    EXPECT_EQ(storedText(number, QStringLiteral("SCR_Lifecycle_ID")), QString());
    EXPECT_EQ(storedText(number, QStringLiteral("SCR_LC_Stage_Name")), QString());
    EXPECT_EQ(storedText(number, QStringLiteral("SCR_LC_Owner_ID")), QString());
    EXPECT_EQ(storedText(number, QStringLiteral("SCR_Owner_User_ID")), kMe);
    EXPECT_EQ(recorded(number), QStringList{QStringLiteral("YES")});
}

// The rule of the stage being left runs on acceptance only when Approved is set, on decline only
// when Declined is set; the rule of the stage entered does not run.
TEST_P(cSCRCloseOutTest, StageRuleRunsOnlyForTheFlaggedAction)
{
    const struct
    {
        const char* name;
        QString ruleStage;
        bool approved;
        bool declined;
        const char* action;
        QString stage;
        QString owner;
        qlonglong group;
    } cases[] = {
        {"approved, accepted", kBoss, true, false, "YES", kShop, QStringLiteral("O'Brien"), kShop9},
        {"declined only, accepted", kBoss, false, true, "YES", kShop, QString(), kShop9},
        {"declined, declined", kBoss, false, true, "NO", kDraft, QStringLiteral("O'Brien"), kShop9},
        {"approved only, declined", kBoss, true, false, "NO", kDraft, QStringLiteral("carl"),
         kShop8},
        {"rule of the next stage", kShop, true, true, "YES", kShop, QString(), kShop9},
        {"rule of the previous stage", kDraft, true, true, "NO", kDraft, QStringLiteral("carl"),
         kShop8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clearRules();
        setStageRule(c.ruleStage, QStringLiteral("To O'Brien"), c.approved, c.declined, true);
        const qlonglong number = task(kBoss);
        cSCR t(session, prompt);
        ASSERT_TRUE(t.Load(number));
        ASSERT_TRUE(t.CloseOut(QString::fromUtf8(c.action), 0, kNote)) << shown();
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_LC_Stage_Name")), c.stage);
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_Owner_User_ID")), c.owner);
        EXPECT_EQ(storedNumber(number, QStringLiteral("SCR_Group_ID")), c.group);
        EXPECT_EQ(routeRows(number).value(2, QStringLiteral("USER_ID")).toString(), c.owner);
    }
    EXPECT_TRUE(prompt.records().isEmpty()) << shown();
}

TEST_P(cSCRCloseOutTest, StageRuleMayKeepTheProposedOwnerOrNameAnotherStage)
{
    const struct
    {
        const char* name;
        const char* body;
        QString stage;
        QString owner;
        qlonglong group;
    } cases[] = {
        {"blank owner keeps the proposed one", "owner.value = '   '; group.value = 99;", kBoss,
         QStringLiteral("bob"), kShop4},
        {"named stage",
         "stage.value = \"Requester's check\"; owner.value = 'carl'; group.value = 8;", kCheck,
         QStringLiteral("carl"), kShop8},
        {"unknown stage keeps the next one",
         "stage.value = 'Nowhere'; owner.value = 'carl'; group.value = 8;", kBoss,
         QStringLiteral("carl"), kShop8},
        {"owner read from the task row", "owner.value = RS_SCR.SCR_Request_ID; group.value = 8;",
         kBoss, QStringLiteral("dora"), kShop8},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString rule = QStringLiteral("Rule %1").arg(++i);
        addRule(rule, QStringLiteral(
                          "function SCRMain(co, cg, po, pg, srv, stage, owner, group) {\n    ") +
                          QString::fromUtf8(c.body) + QStringLiteral("\n}\n"));
        clearRules();
        setStageRule(kDraft, rule, true, false);
        const qlonglong number = task(kDraft);
        cSCR t(session, prompt);
        ASSERT_TRUE(t.Load(number));
        ASSERT_TRUE(t.CloseOut(QStringLiteral("YES"), 0, kNote)) << shown();
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_LC_Stage_Name")), c.stage);
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_Owner_User_ID")), c.owner);
        EXPECT_EQ(storedNumber(number, QStringLiteral("SCR_Group_ID")), c.group);
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_Status")), QStringLiteral("A"));
    }
    EXPECT_TRUE(prompt.records().isEmpty()) << shown();
}

// A failure while recording leaves task, history and object as they were.
TEST_P(cSCRCloseOutTest, FailedRecordingUndoesTheMove)
{
    const qlonglong number = task(kDraft);
    cSCR t(session, prompt);
    ASSERT_TRUE(t.Load(number));
    const QVariantMap before = t.values();
    notifier.throwDbError = true;
    notifier.failWhen = [](const Notice&) { return true; };
    bool done = true;
    EXPECT_NO_THROW(done = t.CloseOut(QStringLiteral("YES"), 0, kNote));
    EXPECT_FALSE(done);
    EXPECT_EQ(taskErrors().size(), 1) << shown();
    EXPECT_EQ(differingValues(t.values(), before), QStringList{});
    EXPECT_EQ(storedText(number, QStringLiteral("SCR_LC_Stage_Name")), kDraft);
    EXPECT_EQ(storedText(number, QStringLiteral("SCR_Owner_User_ID")), kMe);
    EXPECT_EQ(RecordSet::toDateTime(stored(number, QStringLiteral("SCR_Owner_Date_In"))),
              at(2024, 1, 2, 8, 0));
    EXPECT_EQ(routeRows(number).rowCount(), 2);

    // Taken again once the notices go through.
    notifier.failWhen = nullptr;
    prompt.clear();
    ASSERT_TRUE(t.CloseOut(QStringLiteral("YES"), 0, kNote)) << shown();
    EXPECT_EQ(storedText(number, QStringLiteral("SCR_LC_Stage_Name")), kBoss);
    EXPECT_EQ(recorded(number), QStringList{QStringLiteral("YES")});
}

// A rule's writes belong to the move: a move that fails after the rule ran leaves none of them;
// a rule that fails leaves none of its own, and the move goes on with the owner it had set.
TEST_P(cSCRCloseOutTest, RuleWritesCommitOnlyWithTheMove)
{
    const QString head =
        QStringLiteral("function SCRMain(co, cg, po, pg, srv, stage, owner, group) {\n"
                       "    BXDB.execute('UPDATE LU_USER SET User_Location = ? WHERE USER_ID = ?',"
                       " 'ruled', \"O'Brien\");\n"
                       "    owner.value = 'bob'; group.value = 4;\n");
    addRule(QStringLiteral("Marks"), head + QStringLiteral("}\n"));
    addRule(QStringLiteral("Breaks"), head + QStringLiteral("    throw new Error('stop');\n}\n"));
    const auto location = [this] {
        return db().scalar(QStringLiteral("SELECT User_Location FROM LU_USER WHERE USER_ID = ?"),
                           {QStringLiteral("O'Brien")});
    };

    clearRules();
    setStageRule(kDraft, QStringLiteral("Marks"), true, false);
    const qlonglong number = task(kDraft);
    cSCR t(session, prompt);
    ASSERT_TRUE(t.Load(number));
    notifier.throwDbError = true;
    notifier.failWhen = [](const Notice&) { return true; };
    EXPECT_FALSE(t.CloseOut(QStringLiteral("YES"), 0, kNote));
    EXPECT_EQ(taskErrors().size(), 1) << shown();
    EXPECT_EQ(location(), QVariant());
    EXPECT_EQ(storedText(number, QStringLiteral("SCR_LC_Stage_Name")), kDraft);

    notifier.failWhen = nullptr;
    prompt.clear();
    ASSERT_TRUE(t.CloseOut(QStringLiteral("YES"), 0, kNote)) << shown();
    EXPECT_EQ(location(), QVariant(QStringLiteral("ruled")));
    db().execute(QStringLiteral("UPDATE LU_USER SET User_Location = NULL"));

    // The rule's error is shown once the move's transaction has ended, not while it holds locks.
    struct DepthPrompt : Prompt
    {
        Prompt& shown;
        Database& db;
        QList<int> depths;
        DepthPrompt(Prompt& p, Database& d)
            : shown(p)
            , db(d)
        {
        }
        void inform(const QString& text, const QString& title, PromptIcon icon) override
        {
            depths << db.transactionDepth();
            shown.inform(text, title, icon);
        }
        PromptAnswer ask(const QString& text, const QString& title, PromptButtons buttons,
                         PromptIcon icon) override
        {
            return shown.ask(text, title, buttons, icon);
        }
        std::optional<QString> input(const QString& text, const QString& title,
                                     const QString& value) override
        {
            return shown.input(text, title, value);
        }
    } depthPrompt(prompt, session.db());
    clearRules();
    setStageRule(kDraft, QStringLiteral("Breaks"), true, false);
    const qlonglong broken = task(kDraft);
    cSCR u(session, depthPrompt);
    ASSERT_TRUE(u.Load(broken));
    prompt.clear();
    ASSERT_TRUE(u.CloseOut(QStringLiteral("YES"), 0, kNote)) << shown();
    EXPECT_EQ(taskErrors(), QStringList{QStringLiteral("Rule 'Breaks', line 4: Error: stop")});
    EXPECT_EQ(depthPrompt.depths, QList<int>{0});
    EXPECT_EQ(location(), QVariant());
    EXPECT_EQ(storedText(broken, QStringLiteral("SCR_LC_Stage_Name")), kBoss);
    EXPECT_EQ(storedText(broken, QStringLiteral("SCR_Owner_User_ID")), QStringLiteral("bob"));
}

// ---------------------------------------------------------------------------------------------
// Entering a lifecycle

TEST_P(cSCRCloseOutTest, RoutingIntoALifecycleTakesTheFirstStageAndItsOwner)
{
    const struct
    {
        const char* name;
        StageDef first;
        QString owner;
        std::optional<qlonglong> group; ///< nullopt: not fixed here
        QString recorded;
    } cases[] = {
        {"named user", userStage(kDraft, QStringLiteral("carl"), kShop8), QStringLiteral("carl"),
         kShop8, QStringLiteral("Task routed to 'carl' (Workshop:  8 )")},
        {"workshop", workshopStage(kDraft, kShop9), QString(), kShop9,
         QStringLiteral("Task routed to 'Ninth'")},
        {"requester", requesterStage(kDraft, kShop7), QStringLiteral("dora"), std::nullopt,
         QString()},
        {"received rule",
         withRule(userStage(kDraft, QStringLiteral("carl"), kShop8), QStringLiteral("To O'Brien"),
                  true, false, false),
         QStringLiteral("O'Brien"), kShop9,
         QStringLiteral("Task routed to 'O'Brien' (Workshop:  9 )")},
        {"rule not run on receipt",
         withRule(userStage(kDraft, QStringLiteral("carl"), kShop8), QStringLiteral("To O'Brien"),
                  false, true, true),
         QStringLiteral("carl"), kShop8, QStringLiteral("Task routed to 'carl' (Workshop:  8 )")},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString cycle = QStringLiteral("Entry's %1").arg(++i);
        addLifecycle(cycle, kShop9, {c.first, userStage(kBoss, QStringLiteral("bob"), kShop4)});
        const qlonglong number = task();
        cSCR t(session, prompt);
        ASSERT_TRUE(t.Load(number));
        ASSERT_TRUE(t.Route_SCR({{cycle, kShop9, OwnerType::Lifecycle}}, kNote)) << shown();

        EXPECT_EQ(t.SCR_Lifecycle_ID(), cycle);
        EXPECT_EQ(t.SCR_LC_Stage_Name(), kDraft);
        EXPECT_EQ(t.SCR_Owner_User_ID(), c.owner);
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_Lifecycle_ID")), cycle);
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_LC_Stage_Name")), kDraft);
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_LC_Owner_ID")), QStringLiteral("dan"));
        EXPECT_EQ(storedNumber(number, QStringLiteral("SCR_LC_Owner_Group_ID")), kShop9);
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_Owner_User_ID")), c.owner);
        if (c.group) {
            EXPECT_EQ(storedNumber(number, QStringLiteral("SCR_Group_ID")), *c.group);
        }
        EXPECT_TRUE(stored(number, QStringLiteral("SCR_Owner_Date_Viewed")).isNull());
        EXPECT_EQ(storedText(number, QStringLiteral("SCR_Status")), QStringLiteral("A"));
        EXPECT_TRUE(t.UsersCol().isEmpty());

        const RecordSet rows = routeRows(number);
        ASSERT_EQ(rows.rowCount(), 3);
        const QString action = rows.value(1, QStringLiteral("Route_Action")).toString();
        if (c.recorded.isEmpty()) {
            EXPECT_TRUE(action.startsWith(QStringLiteral("Task routed to 'dora'")))
                << action.toStdString();
        } else {
            EXPECT_EQ(action, c.recorded);
        }
        EXPECT_EQ(rows.value(1, QStringLiteral("Route_Note")).toString(),
                  kDraft + QStringLiteral(": ") + kNote);
        EXPECT_EQ(rows.value(2, QStringLiteral("USER_ID")).toString(), c.owner);
    }
    EXPECT_TRUE(prompt.records().isEmpty()) << shown();
}

TEST_P(cSCRCloseOutTest, RoutingIntoALifecycleWithoutStagesChangesNothing)
{
    db().execute(QStringLiteral("INSERT INTO LIFECYCLE (Lifecycle_ID, Lifecycle_Description, "
                                "Owner_ID, owner_group_id) VALUES (?, ?, ?, ?)"),
                 {QStringLiteral("Empty"), QStringLiteral("none"), QStringLiteral("dan"), kShop7});
    const qlonglong number = task();
    cSCR t(session, prompt);
    ASSERT_TRUE(t.Load(number));
    const QVariantMap before = t.values();
    // The lifecycle of another workshop does not count either.
    EXPECT_FALSE(t.Route_SCR({{QStringLiteral("Empty"), kShop7, OwnerType::Lifecycle}}, kNote));
    EXPECT_FALSE(t.Route_SCR({{kCycle, kShop9, OwnerType::Lifecycle}}, kNote));
    EXPECT_EQ(differingValues(t.values(), before), QStringList{});
    EXPECT_EQ(storedText(number, QStringLiteral("SCR_Lifecycle_ID")), QString());
    EXPECT_EQ(storedText(number, QStringLiteral("SCR_Owner_User_ID")), kMe);
    EXPECT_EQ(routeRows(number).rowCount(), 2);
}

// ---------------------------------------------------------------------------------------------
// Ending a lifecycle

TEST_P(cSCRCloseOutTest, EndingTheLifecycleSignsEveryRemainingStage)
{
    addStageAction(kCycle, kDraft, kShop7, QStringLiteral("Draft's item"), true);
    addStageAction(kCycle, kBoss, kShop7, QStringLiteral("Sign 'A'"), true);
    addStageAction(kCycle, kBoss, kShop7, QStringLiteral("Read"), false);
    addStageAction(kCycle, kShop, kShop7, QStringLiteral("Stamp"), false);
    const qlonglong number = task(kBoss);
    const qlonglong other = task(kBoss);
    // The task's own unsigned copy is replaced; another task's copy stays.
    addStageAction(kCycle, kBoss, kShop7, QStringLiteral("Sign 'A'"), true, number);
    addStageAction(kCycle, kBoss, kShop7, QStringLiteral("Sign 'A'"), true, other);

    cSCR t(session, prompt);
    ASSERT_TRUE(t.Load(number));
    ASSERT_TRUE(t.CloseOut(QStringLiteral("LCEnd"), 0, kNote)) << shown();

    EXPECT_EQ(storedText(number, QStringLiteral("SCR_Status")), QStringLiteral("C"));
    EXPECT_EQ(storedText(number, QStringLiteral("SCR_LC_Stage_Name")), kCheck);
    EXPECT_EQ(storedText(number, QStringLiteral("SCR_Lifecycle_ID")), kCycle);
    EXPECT_EQ(storedNumber(number, QStringLiteral("SCR_LC_Owner_Group_ID")), kShop7);
    EXPECT_EQ(RecordSet::toDateTime(stored(number, QStringLiteral("SCR_Owner_Date_In"))), kNowGmt);
    EXPECT_TRUE(stored(number, QStringLiteral("SCR_Owner_Date_Viewed")).isNull());
    EXPECT_EQ(t.SCR_Status(), QStringLiteral("C"));

    // "LCEnd" first, then one "YES" per stage from the current one on, each with its stage and
    // owner.
    EXPECT_EQ(recorded(number), (QStringList{QStringLiteral("LCEnd"), QStringLiteral("YES"),
                                             QStringLiteral("YES"), QStringLiteral("YES")}));
    ASSERT_EQ(notifier.notices.size(), 4);
    const QStringList stages{kBoss, kShop, kCheck};
    const QStringList owners{QStringLiteral("bob"), QString(), QStringLiteral("dora")};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(stages[i].toStdString());
        EXPECT_EQ(notifier.notices[i + 1].action, QStringLiteral("YES"));
        EXPECT_EQ(notifier.notices[i + 1].stageName, stages[i]);
        EXPECT_EQ(notifier.notices[i + 1].ownerUser, owners[i]);
    }
    const RecordSet rows = routeRows(number);
    ASSERT_EQ(rows.rowCount(), 6);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(rows.value(i + 2, QStringLiteral("Route_Note"))
                        .toString()
                        .startsWith(stages[i] + QStringLiteral(":")))
            << i;
    }
    EXPECT_EQ(rows.value(5, QStringLiteral("USER_ID")).toString(), QStringLiteral("dora"));
    EXPECT_TRUE(rows.value(5, QStringLiteral("Route_Date_Out")).isNull());

    // Signed copies of the remaining stages' items; the earlier stage's item is not copied.
    const RecordSet copies = db().query(
        QStringLiteral("SELECT * FROM LIFECYCLE_ACTION WHERE SCR_Number = ? ORDER BY Action_Name"),
        {number});
    QStringList signedItems;
    for (int i = 0; i < copies.rowCount(); ++i) {
        signedItems << copies.value(i, QStringLiteral("Action_Name")).toString() +
                           QStringLiteral("/") +
                           copies.value(i, QStringLiteral("Signature")).toString();
        EXPECT_EQ(copies.value(i, QStringLiteral("owner_group_id")).toLongLong(), kShop7);
        EXPECT_EQ(copies.value(i, QStringLiteral("Lifecycle_ID")).toString(), kCycle);
    }
    EXPECT_EQ(signedItems, (QStringList{QStringLiteral("Read/ann"), QStringLiteral("Sign 'A'/ann"),
                                        QStringLiteral("Stamp/ann")}));
    EXPECT_EQ(countRows(QStringLiteral("SELECT COUNT(*) FROM LIFECYCLE_ACTION WHERE SCR_Number = ? "
                                       "AND Signature IS NULL"),
                        {other}),
              1);
    EXPECT_EQ(countRows(QStringLiteral("SELECT COUNT(*) FROM LIFECYCLE_ACTION WHERE SCR_Number = 0 "
                                       "AND Signature IS NULL")),
              4);
    EXPECT_TRUE(prompt.records().isEmpty()) << shown();
}

// ---------------------------------------------------------------------------------------------
// Sub-tasks

TEST_P(cSCRCloseOutTest, CompletingAParentOffersToCompleteItsActiveSubtasks)
{
    for (const PromptAnswer answer : {PromptAnswer::Yes, PromptAnswer::No}) {
        SCOPED_TRACE(answer == PromptAnswer::Yes ? "Yes" : "No");
        prompt.clear();
        const qlonglong parent = task();
        const qlonglong active1 =
            task({}, {{QStringLiteral("SCR_Parent_Number"), parent},
                      {QStringLiteral("SCR_Owner_User_ID"), QStringLiteral("bob")}});
        const qlonglong active2 = task({}, {{QStringLiteral("SCR_Parent_Number"), parent}});
        const qlonglong cancelled = task({}, {{QStringLiteral("SCR_Parent_Number"), parent},
                                              {QStringLiteral("SCR_Status"), QStringLiteral("X")}});
        const qlonglong stranger = task();
        // Only direct children follow; a grandchild waits for its own parent's close-out.
        const qlonglong grandchild = task({}, {{QStringLiteral("SCR_Parent_Number"), active1}});

        prompt.answer(answer);
        cSCR t(session, prompt);
        ASSERT_TRUE(t.Load(parent));
        ASSERT_TRUE(t.CloseOut(QStringLiteral("YES"), 0, kNote));
        ASSERT_EQ(prompt.records().size(), 1);
        const auto& question = prompt.records().first();
        EXPECT_EQ(question.kind, bx::test::PromptRecord::Kind::Ask);
        EXPECT_EQ(question.text,
                  QStringLiteral("Close Subtasks for the task %1?").arg(t.SCR_Title()));
        EXPECT_EQ(question.buttons, PromptButtons::YesNo);
        EXPECT_EQ(question.icon, PromptIcon::Question);
        EXPECT_EQ(storedText(parent, QStringLiteral("SCR_Status")), QStringLiteral("C"));
        EXPECT_EQ(t.SCR_Route_Note(), kNote);

        const bool yes = answer == PromptAnswer::Yes;
        for (const qlonglong sub : {active1, active2}) {
            EXPECT_EQ(storedText(sub, QStringLiteral("SCR_Status")),
                      yes ? QStringLiteral("C") : QStringLiteral("A"));
            EXPECT_EQ(recorded(sub), yes ? QStringList{QStringLiteral("YES")} : QStringList{});
        }
        if (yes) {
            const RecordSet rows = routeRows(active1);
            ASSERT_EQ(rows.rowCount(), 3);
            EXPECT_EQ(rows.value(1, QStringLiteral("Route_Note")).toString(), kNote);
            EXPECT_EQ(rows.value(2, QStringLiteral("USER_ID")).toString(), QStringLiteral("bob"));
            // Recorded at today's date without time of day, in GMT.
            EXPECT_EQ(RecordSet::toDateTime(rows.value(1, QStringLiteral("Route_Date_Out"))),
                      at(2024, 1, 30, 22, 0));
        }
        EXPECT_EQ(storedText(cancelled, QStringLiteral("SCR_Status")), QStringLiteral("X"));
        EXPECT_TRUE(recorded(cancelled).isEmpty());
        EXPECT_EQ(storedText(stranger, QStringLiteral("SCR_Status")), QStringLiteral("A"));
        EXPECT_EQ(storedText(grandchild, QStringLiteral("SCR_Status")), QStringLiteral("A"));
    }
}

TEST_P(cSCRCloseOutTest, ReopeningAParentOffersToReopenItsCompletedSubtasks)
{
    const qlonglong parent = task({}, {{QStringLiteral("SCR_Status"), QStringLiteral("C")}});
    const qlonglong done = task({}, {{QStringLiteral("SCR_Parent_Number"), parent},
                                     {QStringLiteral("SCR_Status"), QStringLiteral("C")}});
    const qlonglong incomplete = task({}, {{QStringLiteral("SCR_Parent_Number"), parent},
                                           {QStringLiteral("SCR_Status"), QStringLiteral("I")}});
    prompt.answer(PromptAnswer::Yes);
    cSCR t(session, prompt);
    ASSERT_TRUE(t.Load(parent));
    ASSERT_TRUE(t.CloseOut(QStringLiteral("Reopen"), 0, kNote));
    EXPECT_EQ(prompt.texts(),
              QStringList{QStringLiteral("ReOpen Subtasks for the task %1?").arg(t.SCR_Title())});
    EXPECT_EQ(storedText(parent, QStringLiteral("SCR_Status")), QStringLiteral("A"));
    EXPECT_EQ(storedText(done, QStringLiteral("SCR_Status")), QStringLiteral("A"));
    EXPECT_EQ(recorded(done), QStringList{QStringLiteral("Reopen")});
    EXPECT_EQ(storedText(incomplete, QStringLiteral("SCR_Status")), QStringLiteral("I"));
}

TEST_P(cSCRCloseOutTest, ActionsThatDoNotCompleteAskNothingAboutSubtasks)
{
    for (const char* action : {"NO", "Cancel", "CONDITIONAL"}) {
        SCOPED_TRACE(action);
        const qlonglong parent = task();
        const qlonglong sub = task({}, {{QStringLiteral("SCR_Parent_Number"), parent}});
        cSCR t(session, prompt);
        ASSERT_TRUE(t.Load(parent));
        ASSERT_TRUE(t.CloseOut(QString::fromUtf8(action), 0, kNote));
        EXPECT_EQ(storedText(sub, QStringLiteral("SCR_Status")), QStringLiteral("A"));
    }
    // A lifecycle task that moves on stays active: no question either.
    const qlonglong parent = task(kDraft);
    const qlonglong sub = task({}, {{QStringLiteral("SCR_Parent_Number"), parent}});
    cSCR t(session, prompt);
    ASSERT_TRUE(t.Load(parent));
    ASSERT_TRUE(t.CloseOut(QStringLiteral("YES"), 0, kNote));
    EXPECT_EQ(storedText(sub, QStringLiteral("SCR_Status")), QStringLiteral("A"));
    EXPECT_TRUE(prompt.records().isEmpty()) << shown();
}

BX_INSTANTIATE_ENGINES(cSCRCloseOutTest);

} // namespace
