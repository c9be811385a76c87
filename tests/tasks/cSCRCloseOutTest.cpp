// Workflow actions of the task object: closing, lifecycle moves, rules, checklists, the end of a
// lifecycle and the sub-task cascade; entering a lifecycle by routing.

#include "TaskTestSupport.h"
#include "tasks/cSCR.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::test::tasks;

namespace {

// The notifier's record, not the database's change notice.
using bx::test::tasks::Notice;

const QString kCycle = u"Buyer's cycle"_s;
const QString kDraft = u"Draft"_s;
const QString kBoss = u"Boss's OK"_s;
const QString kShop = u"Shop"_s;
const QString kCheck = u"Requester's check"_s;
const QString kTitle = u"Lathe for O'Brien's shop"_s;
const QString kNote = u"O'Brien said \"fine\""_s;
/** Now in GMT: the fixed clock stands at 14:05:09 local, two hours ahead. */
const QDateTime kNowGmt = at(2024, 1, 31, 12, 5, 9);

const QString kToOBrien = uR"(// Hands the task to O'Brien in workshop 9.
function SCRMain(co, cg, po, pg, srv, stage, owner, group) {
    owner.value = "O'Brien";
    group.value = 9;
})"_s;

class cSCRCloseOutTest : public TaskTest
{
protected:
    void SetUp() override
    {
        TaskTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // Stage owners: a user, the user of another workshop, a whole workshop, the requester.
        addLifecycle(db(), kCycle, kShop7,
                     {userStage(kDraft, u"carl"_s, kShop8), userStage(kBoss, u"bob"_s, kShop4),
                      workshopStage(kShop, kShop9), requesterStage(kCheck, kShop7)});
        addRule(u"To O'Brien"_s, kToOBrien);
    }

    /** A task of mine requested by dora of workshop 8; in kCycle at `stage` unless it is null. */
    qlonglong task(const QString& stage = {}, const QVariantMap& extra = {})
    {
        QVariantMap row{
            {scr::Title, kTitle},
            {scr::RequestId, u"dora"_s},
            {scr::RequestGroupId, kShop8},
            {scr::Category, kProjects},
            {scr::OwnerDateIn, at(2024, 1, 2, 8, 0)},
            {scr::OwnerDateViewed, at(2024, 1, 3, 8, 0)},
            {scr::OwnerTargetDate, at(2024, 2, 10, 15, 0)},
            {scr::ParentFolderNumber, 5},
        };
        if (!stage.isNull()) {
            row.insert(scr::LifecycleId, kCycle);
            row.insert(scr::LcStageName, stage);
            row.insert(scr::LcOwnerId, u"dan"_s);
            row.insert(scr::LcOwnerGroupId, kShop7);
        }
        const qlonglong number = bx::test::addTaskRow(db(), row, extra);
        startHistory(number, storedText(number, scr::OwnerUserId),
                     storedNumber(number, scr::GroupId));
        return number;
    }

    /** The actions recorded after the task's creation, oldest first. */
    QStringList recorded(qlonglong number)
    {
        QStringList actions = closedActions(number);
        EXPECT_FALSE(actions.isEmpty());
        if (!actions.isEmpty()) {
            EXPECT_EQ(actions.first(), u"Create Request"_s);
            actions.removeFirst();
        }
        return actions;
    }

    void setStageRule(const QString& stage, const QString& rule, bool approved, bool declined,
                      bool received = false)
    {
        db().execute(u"UPDATE LIFECYCLE_USER SET Rule_Name = ?, Approved = ?, "
                     "Declined = ?, Received = ? WHERE Lifecycle_ID = ? AND "
                     "LC_Stage_Name = ?"_s,
                     {rule, db().dialect().flag(approved), db().dialect().flag(declined),
                      db().dialect().flag(received), kCycle, stage});
    }

    /** Loads the task into a task object of its own and takes the action, noting kNote. */
    bool closeOut(qlonglong number, const char* action, int step = 0)
    {
        cSCR t(session, prompt);
        return t.Load(number) && t.CloseOut(QString::fromUtf8(action), step, kNote);
    }

    void clearRules()
    {
        db().execute(u"UPDATE LIFECYCLE_USER SET Rule_Name = NULL, Approved = 0, "
                     "Declined = 0, Received = 0"_s);
    }
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
        const char* recorded; ///< null: refused, nothing written
    } cases[] = {
        {"YES", 0, "A", "C", "YES"},       {"NO", 0, "A", "I", "NO"},
        {"Jump", 0, "A", "C", "Jump"},     {"Jump", -1, "A", "C", "Jump"},
        {"Jump", 2, "A", "C", "YES"},      {"Cancel", 0, "A", "X", "Cancel"},
        {"Reopen", 0, "C", "A", "Reopen"}, {"CONDITIONAL", 0, "A", "A", "CONDITIONAL"},
        {"cancel", 0, "A", "X", "cancel"}, {"Reopen", 0, "I", "I", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.action) + " " + std::to_string(c.step) + " from " + c.from);
        const qlonglong number = task({}, {{scr::Status, QString::fromUtf8(c.from)}});
        // An action that does not complete the task asks nothing about an active sub-task.
        const bool completes = QByteArray(c.status) == "C";
        const qlonglong sub = completes ? 0 : task({}, {{scr::ParentNumber, number}});
        cSCR t(session, prompt);
        ASSERT_TRUE(t.Load(number));
        EXPECT_EQ(t.CloseOut(QString::fromUtf8(c.action), c.step, kNote), c.recorded != nullptr)
            << shown();
        EXPECT_EQ(storedText(number, scr::Status), QString::fromUtf8(c.status));
        if (sub) {
            EXPECT_EQ(storedText(sub, scr::Status), u"A"_s);
        }
        if (!c.recorded) {
            EXPECT_EQ(routeRows(number).rowCount(), 2);
            continue;
        }
        EXPECT_EQ(t.SCR_Route_Note(), kNote);
        EXPECT_EQ(recorded(number), QStringList{QString::fromUtf8(c.recorded)});
        const RecordSet rows = routeRows(number);
        ASSERT_EQ(rows.rowCount(), 3);
        EXPECT_EQ(rows.value(1, u"Route_Note"_s).toString(), kNote);
        // The row opened after the action carries the status the action left.
        EXPECT_EQ(rows.value(2, u"Route_Status"_s).toString(), QString::fromUtf8(c.status));
    }
    EXPECT_TRUE(prompt.records().isEmpty()) << shown();
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
        {"accept to a user's stage", kDraft, "YES", 0, kBoss, u"bob"_s, kShop4, "A", "YES", true},
        {"accept to a workshop's stage", kBoss, "YES", 0, kShop, QString(), kShop9, "A", "YES",
         true},
        {"accept to the requester's stage", kShop, "YES", 0, kCheck, u"dora"_s, kShop8, "A", "YES",
         true},
        {"accept at the last stage", kCheck, "YES", 0, kCheck, kMe, kShop7, "C", "YES", false},
        {"decline to the previous stage", kBoss, "NO", 0, kDraft, u"carl"_s, kShop8, "A", "NO",
         true},
        {"decline at the first stage", kDraft, "NO", 0, QString(), u"dora"_s, kShop8, "A", "NO",
         true},
        {"jump forward", kDraft, "Jump", 2, kShop, QString(), kShop9, "A", "YES", true},
        {"jump back", kShop, "Jump", -2, kDraft, u"carl"_s, kShop8, "A", "Jump", true},
        {"stage names compared without case", u" boss's ok "_s, "YES", 0, kShop, QString(), kShop9,
         "A", "YES", true},
        {"cancel", kBoss, "Cancel", 0, kBoss, kMe, kShop7, "X", "Cancel", false},
        {"conditional", kBoss, "CONDITIONAL", 0, kBoss, kMe, kShop7, "A", "CONDITIONAL", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const qlonglong number = task(c.from);
        // A task that moves on, or stays, asks nothing about its active sub-task.
        if (QByteArray(c.status) != "C")
            task({}, {{scr::ParentNumber, number}});
        ASSERT_TRUE(closeOut(number, c.action, c.step)) << shown();

        EXPECT_EQ(storedText(number, scr::LcStageName).trimmed().toLower(), c.stage.toLower());
        EXPECT_EQ(storedTexts(number, {scr::OwnerUserId, scr::GroupId, scr::Status}),
                  (QStringList{c.owner, QString::number(c.group), QString::fromUtf8(c.status)}));
        const QStringList lifecycle{kCycle, u"dan"_s, QString::number(kShop7)};
        EXPECT_EQ(storedTexts(number, {scr::LifecycleId, scr::LcOwnerId, scr::LcOwnerGroupId}),
                  c.stage.isEmpty() ? QStringList(3, QString()) : lifecycle);
        if (c.moved && !c.stage.isEmpty()) {
            EXPECT_EQ(RecordSet::toDateTime(stored(number, scr::OwnerDateIn)), kNowGmt);
            EXPECT_TRUE(stored(number, scr::OwnerDateViewed).isNull());
            EXPECT_EQ(storedNumber(number, scr::ParentFolderNumber), 0);
        }
        if (!c.moved) {
            EXPECT_EQ(RecordSet::toDateTime(stored(number, scr::OwnerDateIn)),
                      at(2024, 1, 2, 8, 0));
        }

        // The entry is taken after the move: the open row names the new owner.
        EXPECT_EQ(recorded(number), QStringList{QString::fromUtf8(c.recorded)});
        const RecordSet rows = routeRows(number);
        ASSERT_EQ(rows.rowCount(), 3);
        EXPECT_EQ(rows.value(1, u"Route_Note"_s).toString().toLower(),
                  (c.stage.isEmpty() ? kNote : c.stage + u": "_s + kNote).toLower());
        EXPECT_EQ(rows.value(2, u"USER_ID"_s).toString(), c.owner);
    }
    EXPECT_TRUE(prompt.records().isEmpty()) << shown();
}

TEST_P(cSCRCloseOutTest, MissingStageTakesTheTaskOutOfItsLifecycle)
{
    const qlonglong number = task(u"Old 'QA'"_s);
    EXPECT_TRUE(closeOut(number, "YES"));
    EXPECT_EQ(prompt.texts(), QStringList{u"Lifecycle Stage Old 'QA' not found"_s});
    EXPECT_EQ(prompt.last().kind, bx::test::PromptRecord::Kind::Inform);
    // Saved without its lifecycle; the owner stays.
    EXPECT_EQ(
        storedTexts(number, {scr::LifecycleId, scr::LcStageName, scr::LcOwnerId, scr::OwnerUserId}),
        (QStringList{{}, {}, {}, kMe}));
    EXPECT_EQ(recorded(number), QStringList{u"YES"_s});
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
        {"approved, accepted", kBoss, true, false, "YES", kShop, u"O'Brien"_s, kShop9},
        {"declined only, accepted", kBoss, false, true, "YES", kShop, QString(), kShop9},
        {"declined, declined", kBoss, false, true, "NO", kDraft, u"O'Brien"_s, kShop9},
        {"approved only, declined", kBoss, true, false, "NO", kDraft, u"carl"_s, kShop8},
        {"rule of the next stage", kShop, true, true, "YES", kShop, QString(), kShop9},
        {"rule of the previous stage", kDraft, true, true, "NO", kDraft, u"carl"_s, kShop8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clearRules();
        setStageRule(c.ruleStage, u"To O'Brien"_s, c.approved, c.declined, true);
        const qlonglong number = task(kBoss);
        ASSERT_TRUE(closeOut(number, c.action)) << shown();
        EXPECT_EQ(storedTexts(number, {scr::LcStageName, scr::OwnerUserId, scr::GroupId}),
                  (QStringList{c.stage, c.owner, QString::number(c.group)}));
        EXPECT_EQ(routeRows(number).value(2, u"USER_ID"_s).toString(), c.owner);
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
        {"named stage",
         "stage.value = \"Requester's check\"; owner.value = 'carl'; group.value = 8;", kCheck,
         u"carl"_s, kShop8},
        {"unknown stage keeps the next one",
         "stage.value = 'Nowhere'; owner.value = 'carl'; group.value = 8;", kBoss, u"carl"_s,
         kShop8},
        {"owner read from the task row", "owner.value = RS_SCR.SCR_Request_ID; group.value = 8;",
         kBoss, u"dora"_s, kShop8},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString rule = u"Rule %1"_s.arg(++i);
        addRule(rule, u"function SCRMain(co, cg, po, pg, srv, stage, owner, group) {\n    "_s +
                          QString::fromUtf8(c.body) + u"\n}\n"_s);
        clearRules();
        setStageRule(kDraft, rule, true, false);
        const qlonglong number = task(kDraft);
        ASSERT_TRUE(closeOut(number, "YES")) << shown();
        EXPECT_EQ(
            storedTexts(number, {scr::LcStageName, scr::OwnerUserId, scr::GroupId, scr::Status}),
            (QStringList{c.stage, c.owner, QString::number(c.group), u"A"_s}));
    }
    EXPECT_TRUE(prompt.records().isEmpty()) << shown();
}

// A rule's writes belong to the move: a move that fails after the rule ran leaves none of them;
// a rule that fails leaves none of its own, and the move goes on with the owner it had set.
TEST_P(cSCRCloseOutTest, RuleWritesCommitOnlyWithTheMove)
{
    const QString head =
        u"function SCRMain(co, cg, po, pg, srv, stage, owner, group) {\n"
        "    BXDB.execute('UPDATE LU_USER SET User_Location = ? WHERE USER_ID = ?',"
        " 'ruled', \"O'Brien\");\n"
        "    owner.value = 'bob'; group.value = 4;\n"_s;
    addRule(u"Marks"_s, head + u"}\n"_s);
    addRule(u"Breaks"_s, head + u"    throw new Error('stop');\n}\n"_s);
    const auto location = [this] {
        return db().scalar(u"SELECT User_Location FROM LU_USER WHERE USER_ID = ?"_s,
                           {u"O'Brien"_s});
    };

    clearRules();
    setStageRule(kDraft, u"Marks"_s, true, false);
    const qlonglong number = task(kDraft);
    cSCR t(session, prompt);
    ASSERT_TRUE(t.Load(number));
    const QVariantMap before = t.values();
    notifier.throwDbError = true;
    notifier.failWhen = [](const Notice&) { return true; };
    bool done = true;
    EXPECT_NO_THROW(done = t.CloseOut(u"YES"_s, 0, kNote));
    EXPECT_FALSE(done);
    EXPECT_EQ(taskErrors().size(), 1) << shown();
    EXPECT_EQ(location(), QVariant());
    EXPECT_EQ(differingValues(t.values(), before), QStringList{});
    EXPECT_EQ(storedText(number, scr::LcStageName), kDraft);
    EXPECT_EQ(storedText(number, scr::OwnerUserId), kMe);
    EXPECT_EQ(RecordSet::toDateTime(stored(number, scr::OwnerDateIn)), at(2024, 1, 2, 8, 0));
    EXPECT_EQ(routeRows(number).rowCount(), 2);

    notifier.failWhen = nullptr;
    prompt.clear();
    ASSERT_TRUE(t.CloseOut(u"YES"_s, 0, kNote)) << shown();
    EXPECT_EQ(location(), QVariant(u"ruled"_s));
    EXPECT_EQ(recorded(number), QStringList{u"YES"_s});
    db().execute(u"UPDATE LU_USER SET User_Location = NULL"_s);

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
    setStageRule(kDraft, u"Breaks"_s, true, false);
    const qlonglong broken = task(kDraft);
    cSCR u(session, depthPrompt);
    ASSERT_TRUE(u.Load(broken));
    prompt.clear();
    ASSERT_TRUE(u.CloseOut(u"YES"_s, 0, kNote)) << shown();
    EXPECT_EQ(taskErrors(), QStringList{u"Rule 'Breaks', line 4: Error: stop"_s});
    EXPECT_EQ(depthPrompt.depths, QList<int>{0});
    EXPECT_EQ(location(), QVariant());
    EXPECT_EQ(storedTexts(broken, {scr::LcStageName, scr::OwnerUserId}),
              (QStringList{kBoss, u"bob"_s}));
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
    } cases[] = {
        {"named user", userStage(kDraft, u"carl"_s, kShop8), u"carl"_s, kShop8},
        {"workshop", workshopStage(kDraft, kShop9), QString(), kShop9},
        {"requester", requesterStage(kDraft, kShop7), u"dora"_s, std::nullopt},
        {"received rule",
         withRule(userStage(kDraft, u"carl"_s, kShop8), u"To O'Brien"_s, true, false, false),
         u"O'Brien"_s, kShop9},
        {"rule not run on receipt",
         withRule(userStage(kDraft, u"carl"_s, kShop8), u"To O'Brien"_s, false, true, true),
         u"carl"_s, kShop8},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString cycle = u"Entry's %1"_s.arg(++i);
        addLifecycle(db(), cycle, kShop9, {c.first, userStage(kBoss, u"bob"_s, kShop4)});
        const qlonglong number = task();
        cSCR t(session, prompt);
        ASSERT_TRUE(t.Load(number));
        ASSERT_TRUE(t.Route_SCR({{cycle, kShop9, OwnerType::Lifecycle}}, kNote)) << shown();

        EXPECT_EQ(storedTexts(number, {scr::LifecycleId, scr::LcStageName, scr::LcOwnerId,
                                       scr::LcOwnerGroupId, scr::OwnerUserId}),
                  (QStringList{cycle, kDraft, u"dan"_s, QString::number(kShop9), c.owner}));
        if (c.group) {
            EXPECT_EQ(storedNumber(number, scr::GroupId), *c.group);
        }
        EXPECT_TRUE(stored(number, scr::OwnerDateViewed).isNull());

        const RecordSet rows = routeRows(number);
        ASSERT_EQ(rows.rowCount(), 3);
        EXPECT_EQ(rows.value(1, u"Route_Note"_s).toString(), kDraft + u": "_s + kNote);
        EXPECT_EQ(rows.value(2, u"USER_ID"_s).toString(), c.owner);
    }
    EXPECT_TRUE(prompt.records().isEmpty()) << shown();
}

TEST_P(cSCRCloseOutTest, RoutingIntoALifecycleWithoutStagesChangesNothing)
{
    db().execute(u"INSERT INTO LIFECYCLE (Lifecycle_ID, Lifecycle_Description, "
                 "Owner_ID, owner_group_id) VALUES (?, ?, ?, ?)"_s,
                 {u"Empty"_s, u"none"_s, u"dan"_s, kShop7});
    const qlonglong number = task();
    cSCR t(session, prompt);
    ASSERT_TRUE(t.Load(number));
    const QVariantMap before = t.values();
    // The lifecycle of another workshop does not count either.
    EXPECT_FALSE(t.Route_SCR({{u"Empty"_s, kShop7, OwnerType::Lifecycle}}, kNote));
    EXPECT_FALSE(t.Route_SCR({{kCycle, kShop9, OwnerType::Lifecycle}}, kNote));
    EXPECT_EQ(differingValues(t.values(), before), QStringList{});
    EXPECT_EQ(storedText(number, scr::LifecycleId), QString());
    EXPECT_EQ(storedText(number, scr::OwnerUserId), kMe);
    EXPECT_EQ(routeRows(number).rowCount(), 2);
}

// ---------------------------------------------------------------------------------------------
// Ending a lifecycle

TEST_P(cSCRCloseOutTest, EndingTheLifecycleSignsEveryRemainingStage)
{
    addStageAction(db(), kCycle, kDraft, kShop7, u"Draft's item"_s, true);
    addStageAction(db(), kCycle, kBoss, kShop7, u"Sign 'A'"_s, true);
    addStageAction(db(), kCycle, kBoss, kShop7, u"Read"_s, false);
    addStageAction(db(), kCycle, kShop, kShop7, u"Stamp"_s, false);
    const qlonglong number = task(kBoss);
    const qlonglong other = task(kBoss);
    // The task's own unsigned copy is replaced; another task's copy stays.
    addStageAction(db(), kCycle, kBoss, kShop7, u"Sign 'A'"_s, true, number);
    addStageAction(db(), kCycle, kBoss, kShop7, u"Sign 'A'"_s, true, other);

    ASSERT_TRUE(closeOut(number, "LCEnd")) << shown();

    EXPECT_EQ(storedText(number, scr::Status), u"C"_s);
    EXPECT_EQ(storedText(number, scr::LcStageName), kCheck);
    EXPECT_EQ(RecordSet::toDateTime(stored(number, scr::OwnerDateIn)), kNowGmt);
    EXPECT_TRUE(stored(number, scr::OwnerDateViewed).isNull());

    // "LCEnd" first, then one "YES" per stage from the current one on, each with its stage and
    // owner.
    EXPECT_EQ(recorded(number), (QStringList{u"LCEnd"_s, u"YES"_s, u"YES"_s, u"YES"_s}));
    ASSERT_EQ(notifier.notices.size(), 4);
    const QStringList stages{kBoss, kShop, kCheck};
    const QStringList owners{u"bob"_s, QString(), u"dora"_s};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(stages[i].toStdString());
        EXPECT_EQ(notifier.notices[i + 1].stageName, stages[i]);
        EXPECT_EQ(notifier.notices[i + 1].ownerUser, owners[i]);
    }
    const RecordSet rows = routeRows(number);
    ASSERT_EQ(rows.rowCount(), 6);
    EXPECT_EQ(rows.value(5, u"USER_ID"_s).toString(), u"dora"_s);

    // Signed copies of the remaining stages' items; the earlier stage's item is not copied.
    const RecordSet copies = db().query(
        u"SELECT * FROM LIFECYCLE_ACTION WHERE SCR_Number = ? ORDER BY Action_Name"_s, {number});
    QStringList signedItems;
    for (int i = 0; i < copies.rowCount(); ++i) {
        signedItems << copies.value(i, u"Action_Name"_s).toString() + u"/"_s +
                           copies.value(i, u"Signature"_s).toString();
        EXPECT_EQ(copies.value(i, u"owner_group_id"_s).toLongLong(), kShop7);
        EXPECT_EQ(copies.value(i, u"Lifecycle_ID"_s).toString(), kCycle);
    }
    EXPECT_EQ(signedItems, (QStringList{u"Read/ann"_s, u"Sign 'A'/ann"_s, u"Stamp/ann"_s}));
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM LIFECYCLE_ACTION WHERE SCR_Number = ? "
                        "AND Signature IS NULL"_s,
                        {other}),
              1);
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM LIFECYCLE_ACTION WHERE SCR_Number = 0 "
                        "AND Signature IS NULL"_s),
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
            task({}, {{scr::ParentNumber, parent}, {scr::OwnerUserId, u"bob"_s}});
        const qlonglong active2 = task({}, {{scr::ParentNumber, parent}});
        const qlonglong cancelled = task({}, {{scr::ParentNumber, parent}, {scr::Status, u"X"_s}});
        const qlonglong stranger = task();
        // Only direct children follow; a grandchild waits for its own parent's close-out.
        const qlonglong grandchild = task({}, {{scr::ParentNumber, active1}});

        prompt.answer(answer);
        ASSERT_TRUE(closeOut(parent, "YES"));
        EXPECT_EQ(prompt.texts(), QStringList{u"Close Subtasks for the task %1?"_s.arg(kTitle)});
        EXPECT_EQ(storedText(parent, scr::Status), u"C"_s);

        const bool yes = answer == PromptAnswer::Yes;
        for (const qlonglong sub : {active1, active2}) {
            EXPECT_EQ(storedText(sub, scr::Status), yes ? u"C"_s : u"A"_s);
            EXPECT_EQ(recorded(sub), yes ? QStringList{u"YES"_s} : QStringList{});
        }
        if (yes) {
            const RecordSet rows = routeRows(active1);
            ASSERT_EQ(rows.rowCount(), 3);
            EXPECT_EQ(rows.value(1, u"Route_Note"_s).toString(), kNote);
            EXPECT_EQ(rows.value(2, u"USER_ID"_s).toString(), u"bob"_s);
            // Recorded at today's date without time of day, in GMT.
            EXPECT_EQ(RecordSet::toDateTime(rows.value(1, u"Route_Date_Out"_s)),
                      at(2024, 1, 30, 22, 0));
        }
        EXPECT_EQ(storedText(cancelled, scr::Status), u"X"_s);
        EXPECT_TRUE(recorded(cancelled).isEmpty());
        EXPECT_EQ(storedText(stranger, scr::Status), u"A"_s);
        EXPECT_EQ(storedText(grandchild, scr::Status), u"A"_s);
    }
}

TEST_P(cSCRCloseOutTest, ReopeningAParentOffersToReopenItsCompletedSubtasks)
{
    const qlonglong parent = task({}, {{scr::Status, u"C"_s}});
    const qlonglong done = task({}, {{scr::ParentNumber, parent}, {scr::Status, u"C"_s}});
    const qlonglong incomplete = task({}, {{scr::ParentNumber, parent}, {scr::Status, u"I"_s}});
    prompt.answer(PromptAnswer::Yes);
    ASSERT_TRUE(closeOut(parent, "Reopen"));
    EXPECT_EQ(prompt.texts(), QStringList{u"ReOpen Subtasks for the task %1?"_s.arg(kTitle)});
    EXPECT_EQ(storedText(parent, scr::Status), u"A"_s);
    EXPECT_EQ(storedText(done, scr::Status), u"A"_s);
    EXPECT_EQ(recorded(done), QStringList{u"Reopen"_s});
    EXPECT_EQ(storedText(incomplete, scr::Status), u"I"_s);
}

// Every action that accepts or completes needs each mandatory item ticked on this task's own copy
// of its checklist; optional items, unnamed checklist attachments and other tasks' ticks do not
// count.
TEST_P(cSCRCloseOutTest, EveryActionThatAcceptsOrCompletesChecksTheMandatoryItems)
{
    const QString list = u"Pre-flight 'A'"_s;
    const QString item = u"Check the 'oil'"_s;
    addChecklistItem(list, u"Wipe the glass"_s, false);
    addChecklistItem(list, item, true);
    addChecklistItem(u"Optional only"_s, u"Smile"_s, false);
    addChecklistItem(u"Not attached"_s, u"Never"_s, true);
    const QString refusal = u"Mandatory field 'Check the 'oil'' for CheckList "
                            "'Pre-flight 'A'' should be checked"_s;
    const struct
    {
        const char* action;
        int step;
        const char* stage; ///< null: no lifecycle
        bool refused;
    } cases[] = {
        {"YES", 0, nullptr, true},     {"Jump", 0, nullptr, true},
        {"Jump", 2, "Draft", true},    {"LCEnd", 0, "Boss's OK", true},
        {"Jump", -1, "Shop", false},   {"NO", 0, nullptr, false},
        {"Cancel", 0, nullptr, false}, {"CONDITIONAL", 0, "Shop", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.action) + " " + std::to_string(c.step));
        prompt.clear();
        const qlonglong number = task(c.stage ? QString::fromUtf8(c.stage) : QString());
        const qlonglong attach = attachChecklist(number, list);
        attachChecklist(number, u"Optional only"_s);
        attachChecklist(number, QString());
        // Ticked on another task's copy of the same checklist: not ticked here.
        tickChecklistItem(list, item, attachChecklist(task(), list));
        tickChecklistItem(list, u"Wipe the glass"_s, attach);
        EXPECT_EQ(closeOut(number, c.action, c.step), !c.refused) << shown();
        if (!c.refused)
            continue;
        EXPECT_EQ(taskErrors(), QStringList{refusal});
        EXPECT_EQ(storedText(number, scr::Status), u"A"_s);
        EXPECT_EQ(storedText(number, scr::LcStageName), QString::fromUtf8(c.stage));
        EXPECT_EQ(routeRows(number).rowCount(), 2);

        // Ticked on this task's copy: the action goes through.
        prompt.clear();
        tickChecklistItem(list, item, attach);
        EXPECT_TRUE(closeOut(number, c.action, c.step)) << shown();
        EXPECT_TRUE(prompt.records().isEmpty()) << shown();
    }
}

BX_INSTANTIATE_ENGINES(cSCRCloseOutTest);

} // namespace
