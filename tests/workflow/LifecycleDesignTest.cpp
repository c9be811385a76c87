#include "workflow/LifecycleDesign.h"

#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "support/Lifecycles.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"
#include "workflow/ActionItems.h"
#include "workflow/RuleStore.h"

#include <gtest/gtest.h>

using namespace bx;

namespace {

const QString kLifecycle = QStringLiteral("Dept's Release");
const QString kObrien = QStringLiteral("O'Brien");

StageDraft stage(const QString& name, StageOwnerKind kind, qlonglong group = 0,
                 const QString& user = {})
{
    StageDraft s;
    s.stage.stageName = name;
    s.stage.ownerKind = kind;
    s.stage.groupId = group;
    s.stage.userId = user;
    return s;
}

QStringList names(const QList<StageDraft>& stages)
{
    QStringList out;
    for (const StageDraft& s : stages)
        out.append(s.stage.stageName);
    return out;
}

TEST(LifecycleStageNameTest, NamesAreRequiredUniqueAndNeverRequester)
{
    const QList<StageDraft> stages{stage(QStringLiteral("Draft"), StageOwnerKind::Requester),
                                   stage(QStringLiteral("Boss's OK"), StageOwnerKind::Requester)};
    const QString ok;
    const struct
    {
        const char* name;
        int renaming;
        QString problem;
    } cases[] = {
        {"", -1, LifecycleText::kNoStageName},
        {"  ", 0, LifecycleText::kNoStageName},
        {" dRAFT ", -1, LifecycleText::kStageNameExists},
        {"boss's ok", 0, LifecycleText::kStageExists},
        {"DRAFT", 0, ok}, // a stage keeps its own name in another case
        {"Requester", -1, LifecycleText::kRequesterReserved},
        {"rEqUeStEr", 1, LifecycleText::kRequesterReserved},
        {" REQUESTER ", -1, LifecycleText::kRequesterReserved},
        {"Requesters", -1, ok},
        {"O'Brien's check", -1, ok},
    };
    for (const auto& c : cases) {
        const auto problem = stageNameProblem(stages, QString::fromUtf8(c.name), c.renaming);
        EXPECT_EQ(problem.value_or(DesignRefusal{}),
                  (DesignRefusal{c.problem,
                                 c.problem.isEmpty() ? DesignField::None : DesignField::Stages}))
            << c.name;
    }

    QList<StageDraft> full;
    for (int i = 0; i < kMaxLifecycleStages; ++i)
        full.append(stage(QString::number(i), StageOwnerKind::Requester));
    EXPECT_EQ(stageNameProblem(full, QStringLiteral("one more"))->message,
              LifecycleText::kTooManyStages);
    EXPECT_FALSE(stageNameProblem(full, QStringLiteral("renamed"), 3));
}

/**
 * Workshops "Home" (the current one) and "Other", users ann, O'Brien and zed (disabled), and a
 * session signed in as O'Brien, who may create lifecycles, over a second connection.
 */
class LifecycleDesignTest : public bx::test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        bx::test::addWorkshop(db(), home, QStringLiteral("Home"));
        bx::test::addWorkshop(db(), other, QStringLiteral("Other"));
        bx::test::addUsers(db(), {QStringLiteral("ann"), kObrien, QStringLiteral("zed")});
        db().execute(QStringLiteral("UPDATE LU_USER SET Disabled = ? WHERE USER_ID = ?"),
                     {db().dialect().flag(true), QStringLiteral("zed")});
        for (qlonglong g : {home, other})
            bx::test::addMembers(db(), g, {QStringLiteral("ann"), kObrien, QStringLiteral("zed")});
        session.user.userId = kObrien;
        session.user.record.allowCreateLifecycle = true;
        session.currentWorkshopId = static_cast<int>(home);
    }

    LifecycleDraft threeStages()
    {
        LifecycleDraft d;
        d.lifecycleId = QStringLiteral(" ") + kLifecycle;
        d.description = QStringLiteral("O'Brien's flow");
        d.stages = {stage(QStringLiteral("Draft"), StageOwnerKind::User, other, kObrien),
                    stage(QStringLiteral("Boss's OK"), StageOwnerKind::Workshop, other),
                    stage(QStringLiteral("Done"), StageOwnerKind::Requester, other)};
        d.stages[1].stage.ruleName = QStringLiteral("Escalate");
        d.stages[1].stage.declined = true;
        d.stages[1].daysInCycle = 3;
        return d;
    }

    /** Saves the three-stage lifecycle with templates on Draft and Boss's OK and a task copy. */
    void saveWithTemplates()
    {
        LifecycleDraft d = threeStages();
        ASSERT_TRUE(design.save(d));
        addAction(QStringLiteral("Draft"), QStringLiteral("Outline"));
        addAction(QStringLiteral("Boss's OK"), QStringLiteral("Budget O'K"));
        addAction(QStringLiteral("Boss's OK"), QStringLiteral("Budget O'K"), 7);
    }

    void addAction(const QString& stageName, const QString& action, qlonglong task = 0)
    {
        db().execute(
            QStringLiteral("INSERT INTO LIFECYCLE_ACTION (Lifecycle_ID, LC_Stage_Name, "
                           "Action_Name, Mandatory, Owner_ID, owner_group_id, SCR_Number) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?)"),
            {kLifecycle, stageName, action, db().dialect().flag(true), kObrien, home, task});
    }

    /** A task sitting in a stage of the lifecycle owned by `lcGroup`. */
    void addTaskAt(const QString& stageName, qlonglong lcGroup, qlonglong taskGroup = 0)
    {
        bx::test::addTaskRow(db(), {{scr::GroupId, taskGroup},
                                    {scr::LifecycleId, kLifecycle},
                                    {scr::LcStageName, stageName},
                                    {scr::LcOwnerGroupId, lcGroup}});
    }

    /** Stage name and sequence, or template stage and action name, of the lifecycle in a group. */
    QList<QVariantList> rows(const char* sql, const QString& id = kLifecycle, qlonglong group = 0)
    {
        return db().query(QString::fromUtf8(sql), {id, group ? group : home}).rows();
    }

    static constexpr const char* kStages =
        "SELECT LC_Stage_Name, LC_Sequence_Number FROM LIFECYCLE_USER WHERE Lifecycle_ID = ? AND "
        "owner_group_id = ? ORDER BY LC_Sequence_Number";
    static constexpr const char* kTemplates =
        "SELECT LC_Stage_Name, Action_Name, SCR_Number FROM LIFECYCLE_ACTION WHERE Lifecycle_ID = "
        "? AND owner_group_id = ? ORDER BY SCR_Number, LC_Stage_Name";

    LifecycleDesign design{session, prompt};
    const qlonglong home = 11;
    const qlonglong other = 12;
};

TEST_P(LifecycleDesignTest, SaveRefusesInOrderAndWritesNothing)
{
    LifecycleDraft existing = threeStages();
    ASSERT_TRUE(design.save(existing));
    const auto before = rows(kStages);
    prompt.clear();

    LifecycleDraft d;
    d.lifecycleId = QStringLiteral("  ");
    d.description = QStringLiteral(" ");
    const DesignRefusal steps[] = {
        {LifecycleText::kNoIdentifier, DesignField::Identifier},
        {LifecycleText::kNoDescription, DesignField::Description},
        {LifecycleText::kNoStages, DesignField::Stages},
        {LifecycleText::kAlreadyExists, DesignField::Identifier},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(design.save(d).refusal(), step);
        // Mend what was refused and try again.
        if (step.field == DesignField::Identifier)
            d.lifecycleId = kLifecycle.toUpper();
        else if (step.field == DesignField::Description)
            d.description = QStringLiteral("x");
        else
            d.stages = {stage(QStringLiteral("Only"), StageOwnerKind::Requester)};
    }
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM LIFECYCLE")).toInt(), 1);
    EXPECT_EQ(rows(kStages), before);

    // The same identifier in another workshop is a lifecycle of its own.
    session.currentWorkshopId = static_cast<int>(other);
    EXPECT_TRUE(design.save(d));
}

TEST_P(LifecycleDesignTest, SaveWritesStagesInListOrderAndTemplatesFollowTheirStage)
{
    saveWithTemplates();
    EXPECT_EQ(rows("SELECT Lifecycle_ID, Lifecycle_Description, Owner_ID FROM LIFECYCLE WHERE "
                   "Lifecycle_ID = ? AND owner_group_id = ?"),
              (QList<QVariantList>{{kLifecycle, QStringLiteral("O'Brien's flow"), kObrien}}));
    const QVariant null;
    const int yes = db().dialect().trueValue();
    EXPECT_EQ(rows("SELECT LC_Stage_Name, LC_Sequence_Number, UserType, User_ID, group_ID, "
                   "Days_In_Cycle, Rule_Name, Owner_ID, SuperVisor, Received, Approved, Declined "
                   "FROM LIFECYCLE_USER WHERE Lifecycle_ID = ? AND owner_group_id = ? ORDER BY "
                   "LC_Sequence_Number"),
              (QList<QVariantList>{
                  {QStringLiteral("Draft"), 0, 0, kObrien, other, 0, null, kObrien, 0, 0, 0, 0},
                  {QStringLiteral("Boss's OK"), 1, 1, null, other, 3, QStringLiteral("Escalate"),
                   kObrien, 0, 0, 0, yes},
                  // The requester's stage belongs to the current workshop.
                  {QStringLiteral("Done"), 2, 2, null, home, 0, null, kObrien, 0, 0, 0, 0}}));

    // Edit: Done moves first, Boss's OK is renamed, Draft is dropped, a new stage takes the
    // dropped stage's name.
    auto d = design.open(kLifecycle.toLower());
    ASSERT_TRUE(d);
    EXPECT_FALSE(d->isNew);
    EXPECT_EQ(d->stages[1].daysInCycle, 3);
    EXPECT_TRUE(d->stages[1].stage.declined);
    d->stages.move(2, 0);
    d->stages[2].stage.stageName = QStringLiteral("Chief's OK");
    ASSERT_FALSE(design.mayRemoveStage(*d, 1));
    d->stages.removeAt(1);
    d->stages.append(stage(QStringLiteral("Draft"), StageOwnerKind::Requester));
    EXPECT_EQ(names(d->stages), (QStringList{QStringLiteral("Done"), QStringLiteral("Chief's OK"),
                                             QStringLiteral("Draft")}));
    ASSERT_TRUE(design.save(*d));

    EXPECT_EQ(rows(kStages), (QList<QVariantList>{{QStringLiteral("Done"), 0},
                                                  {QStringLiteral("Chief's OK"), 1},
                                                  {QStringLiteral("Draft"), 2}}));
    // The task's copy keeps the name its task knows.
    EXPECT_EQ(
        rows(kTemplates),
        (QList<QVariantList>{{QStringLiteral("Chief's OK"), QStringLiteral("Budget O'K"), 0},
                             {QStringLiteral("Boss's OK"), QStringLiteral("Budget O'K"), 7}}));

    // Two stages may swap names; their templates swap with them.
    d = design.open(kLifecycle);
    ASSERT_TRUE(d);
    d->stages[1].stage.stageName = QStringLiteral("Draft");
    d->stages[2].stage.stageName = QStringLiteral("Chief's OK");
    ASSERT_TRUE(design.save(*d));
    EXPECT_EQ(rows(kTemplates)[0],
              (QVariantList{QStringLiteral("Draft"), QStringLiteral("Budget O'K"), 0}));
}

TEST_P(LifecycleDesignTest, StageWithTasksCannotBeRemoved)
{
    saveWithTemplates();
    addTaskAt(QStringLiteral("Boss's OK"), home);
    // A lifecycle of the same name in another workshop has its own tasks.
    addTaskAt(QStringLiteral("Draft"), other);

    auto d = design.open(kLifecycle);
    ASSERT_TRUE(d);
    const DesignRefusal occupied{LifecycleText::kStageOccupied, DesignField::Stages};
    EXPECT_EQ(design.mayRemoveStage(*d, 1), occupied);
    EXPECT_FALSE(design.mayRemoveStage(*d, 0));

    // Dropped all the same (a task entered meanwhile): the save refuses.
    d->stages.removeAt(1);
    EXPECT_EQ(design.save(*d).refusal(), occupied);
    EXPECT_EQ(rows(kStages).size(), 3);
}

TEST_P(LifecycleDesignTest, DeleteAsksAndIsRefusedWhileATaskUsesTheLifecycle)
{
    saveWithTemplates();
    session.currentWorkshopId = static_cast<int>(other);
    LifecycleDraft twin = threeStages();
    ASSERT_TRUE(design.save(twin));
    session.currentWorkshopId = static_cast<int>(home);

    prompt.answer(PromptAnswer::Cancel);
    const Outcome<> cancelled = design.remove(kLifecycle);
    EXPECT_FALSE(cancelled || cancelled.refusal());
    EXPECT_EQ(prompt.last().title, LifecycleText::kDeleteTitle);
    EXPECT_EQ(prompt.last().text, LifecycleText::kAreYouSure);
    EXPECT_EQ(prompt.last().buttons, PromptButtons::OkCancel);

    // A task owned in the workshop, and one in the workshop's lifecycle owned elsewhere.
    addTaskAt(QStringLiteral("Draft"), 0, home);
    for (const QString& step : {QStringLiteral("task of the workshop"),
                                QStringLiteral("task in the workshop's lifecycle")}) {
        prompt.answer(PromptAnswer::Ok);
        EXPECT_EQ(design.remove(kLifecycle).refusal(), RefusalOf<>{LifecycleText::kLifecycleInUse})
            << step.toStdString();
        db().execute(QStringLiteral("UPDATE SCR SET SCR_Group_ID = ?, SCR_LC_Owner_Group_ID = ?"),
                     {other, home});
    }
    EXPECT_EQ(rows(kStages).size(), 3);

    db().execute(QStringLiteral("DELETE FROM SCR"));
    prompt.answer(PromptAnswer::Ok);
    EXPECT_TRUE(design.remove(kLifecycle));
    EXPECT_TRUE(design.list().isEmpty());
    EXPECT_TRUE(rows(kStages).isEmpty());
    EXPECT_EQ(rows(kTemplates).size(), 1); // only the task's copy stays
    EXPECT_EQ(rows(kStages, kLifecycle, other).size(), 3);
}

TEST_P(LifecycleDesignTest, CopyCarriesStagesAndTemplatesUnderItsOwnName)
{
    saveWithTemplates();
    const QString copyId = QStringLiteral("Copy of ") + kLifecycle;
    // A stray stage under the copy's name does not survive into the copy.
    db().execute(QStringLiteral("INSERT INTO LIFECYCLE_USER (Lifecycle_ID, LC_Stage_Name, "
                                "owner_group_id) VALUES (?, ?, ?)"),
                 {copyId, QStringLiteral("Stray"), home});
    // A column a site added to the stages, under a name that only works quoted, is copied too.
    const QString siteColumn = QStringLiteral("\"Site's \"\"order\"\"\"");
    db().execute(QStringLiteral("ALTER TABLE LIFECYCLE_USER ADD COLUMN ") + siteColumn +
                 QLatin1Char(' ') + db().dialect().textType());
    db().execute(QStringLiteral("UPDATE LIFECYCLE_USER SET ") + siteColumn +
                 QStringLiteral(" = LC_Stage_Name"));

    EXPECT_EQ(*design.makeCopy(kLifecycle), copyId);
    EXPECT_EQ(design.list(),
              (QList<LifecycleSummary>{{copyId, QStringLiteral("O'Brien's flow"), kObrien},
                                       {kLifecycle, QStringLiteral("O'Brien's flow"), kObrien}}));
    const char* stageRows =
        "SELECT LC_Stage_Name, LC_Sequence_Number, UserType, User_ID, "
        "group_ID, Rule_Name, Declined, Days_In_Cycle, \"Site's \"\"order\"\"\" "
        "FROM LIFECYCLE_USER WHERE Lifecycle_ID = ? AND owner_group_id = ? "
        "ORDER BY 2";
    EXPECT_EQ(rows(stageRows, copyId), rows(stageRows));
    EXPECT_EQ(rows(kTemplates, copyId),
              (QList<QVariantList>{{QStringLiteral("Boss's OK"), QStringLiteral("Budget O'K"), 0},
                                   {QStringLiteral("Draft"), QStringLiteral("Outline"), 0}}));

    EXPECT_EQ(design.makeCopy(kLifecycle).refusal(), RefusalOf<>{copyExistsMessage(copyId)});
    EXPECT_EQ(rows(kStages, copyId).size(), 3);
}

TEST_P(LifecycleDesignTest, DesigningNeedsTheRightAndRulesAnAdministrator)
{
    saveWithTemplates();
    const auto everything = [&] {
        QList<QVariantList> all;
        for (const char* table : {"LIFECYCLE", "LIFECYCLE_USER", "LIFECYCLE_ACTION", "LU_RULES"})
            all += db().query(QStringLiteral("SELECT * FROM ") + QLatin1String(table)).rows();
        return all;
    };
    const auto before = everything();
    prompt.clear();
    session.user.record.allowCreateLifecycle = false;
    const RefusalOf<> refused{UserRights::kNoLifecyclePrivilege};
    LifecycleDraft changed = *design.open(kLifecycle);
    changed.description = QStringLiteral("Changed");
    LifecycleDraft added = threeStages();
    added.lifecycleId = QStringLiteral("O'Hara's flow");
    for (LifecycleDraft* d : {&changed, &added})
        EXPECT_EQ(design.save(*d).refusal(),
                  (DesignRefusal{UserRights::kNoLifecyclePrivilege, DesignField::None}));
    EXPECT_EQ(design.remove(kLifecycle).refusal(), refused);
    EXPECT_EQ(design.makeCopy(kLifecycle).refusal(), refused);
    ActionItems items(session, prompt, kLifecycle, home);
    const LifecycleStage first = changed.stages.first().stage;
    EXPECT_EQ(items.save(first, {}, {QStringLiteral("Extra"), false, {}}).refusal(), refused);
    EXPECT_EQ(items.save(first, QStringLiteral("Outline"), {QStringLiteral("Renamed"), true, {}})
                  .refusal(),
              refused);
    EXPECT_EQ(items.remove(0, QStringLiteral("Outline")).refusal(), refused);
    // The rule scripts the stages run are an administrator's, whatever the lifecycle right.
    session.user.record.allowCreateLifecycle = true;
    EXPECT_EQ(
        RuleStore(session).save({}, QStringLiteral("Escalate"), QStringLiteral("x")).refusal(),
        (RefusalOf<RuleField>{UserRights::kNotAdministrator, RuleField::None}));
    EXPECT_TRUE(prompt.records().isEmpty()) << "refused before any question";
    EXPECT_EQ(everything(), before);

    // An administrator needs no lifecycle right.
    session.user.record.allowCreateLifecycle = false;
    session.user.record.administrator = true;
    EXPECT_TRUE(design.makeCopy(kLifecycle));
    EXPECT_TRUE(RuleStore(session).save({}, QStringLiteral("Escalate"), QStringLiteral("x")));
}

TEST_P(LifecycleDesignTest, OwnerTreeListsWorkshopsByNameWithEnabledMembers)
{
    db().execute(QStringLiteral("INSERT INTO LU_RULES (RULE_NAME) VALUES (?), (?)"),
                 {QStringLiteral("Zeta"), QStringLiteral("Alpha's")});
    const QList<OwnerTreeWorkshop> tree = design.ownerTree();
    QStringList homeUsers;
    QStringList order;
    for (const OwnerTreeWorkshop& w : tree) {
        order.append(w.name);
        if (w.groupId == home)
            homeUsers = w.users;
    }
    EXPECT_LT(order.indexOf(QStringLiteral("Home")), order.indexOf(QStringLiteral("Other")));
    EXPECT_EQ(homeUsers, (QStringList{QStringLiteral("ann"), kObrien}));
    EXPECT_EQ(design.ruleNames(), (QStringList{QStringLiteral("Alpha's"), QStringLiteral("Zeta")}));
}

BX_INSTANTIATE_ENGINES(LifecycleDesignTest);

} // namespace
