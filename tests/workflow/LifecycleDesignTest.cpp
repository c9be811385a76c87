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
using namespace Qt::StringLiterals;

namespace {

const QString kLifecycle = u"Dept's Release"_s;
const QString kObrien = u"O'Brien"_s;

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
    const QList<StageDraft> stages{stage(u"Draft"_s, StageOwnerKind::Requester),
                                   stage(u"Boss's OK"_s, StageOwnerKind::Requester)};
    const QString ok;
    const struct
    {
        const char* name;
        int renaming;
        QString problem;
    } cases[] = {
        {"  ", 0, u"Please Specify a stage name"_s},
        {" dRAFT ", -1, u"Stage name already exists"_s},
        {"boss's ok", 0, u"Stage already exists"_s},
        {"DRAFT", 0, ok}, // a stage keeps its own name in another case
        {"Requester", -1, u"Stage name 'Requester' is reserved"_s},
        {"rEqUeStEr", 1, u"Stage name 'Requester' is reserved"_s},
        {" REQUESTER ", -1, u"Stage name 'Requester' is reserved"_s},
        {"Requesters", -1, ok},
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
    EXPECT_EQ(stageNameProblem(full, u"one more"_s).value_or(DesignRefusal{}).message,
              u"A lifecycle can have at most 101 stages"_s);
    EXPECT_FALSE(stageNameProblem(full, u"renamed"_s, 3));
}

/**
 * Workshops "Home" (the current one) and "Other", users ann, O'Brien and zed (disabled), and a
 * session signed in as O'Brien, who may create lifecycles, over a second connection.
 */
class LifecycleDesignTest : public bx::test::SessionTest
{
protected:
    void arrange() override
    {
        bx::test::addWorkshop(db(), home, u"Home"_s);
        bx::test::addWorkshop(db(), other, u"Other"_s);
        bx::test::addUsers(db(), {u"ann"_s, kObrien, u"zed"_s});
        db().execute(u"UPDATE LU_USER SET Disabled = ? WHERE USER_ID = ?"_s,
                     {db().dialect().flag(true), u"zed"_s});
        for (qlonglong g : {home, other})
            bx::test::addMembers(db(), g, {u"ann"_s, kObrien, u"zed"_s});
        session.user.userId = kObrien;
        session.user.record.allowCreateLifecycle = true;
        session.currentWorkshopId = static_cast<int>(home);
    }

    LifecycleDraft threeStages()
    {
        LifecycleDraft d;
        d.lifecycleId = u" "_s + kLifecycle;
        d.description = u"O'Brien's flow"_s;
        d.stages = {stage(u"Draft"_s, StageOwnerKind::User, other, kObrien),
                    stage(u"Boss's OK"_s, StageOwnerKind::Workshop, other),
                    stage(u"Done"_s, StageOwnerKind::Requester, other)};
        d.stages[1].stage.ruleName = u"Escalate"_s;
        d.stages[1].stage.declined = true;
        d.stages[1].daysInCycle = 3;
        return d;
    }

    /** Saves the three-stage lifecycle with templates on Draft and Boss's OK and a task copy. */
    void saveWithTemplates()
    {
        LifecycleDraft d = threeStages();
        ASSERT_TRUE(design.save(d));
        addAction(u"Draft"_s, u"Outline"_s);
        addAction(u"Boss's OK"_s, u"Budget O'K"_s);
        addAction(u"Boss's OK"_s, u"Budget O'K"_s, 7);
    }

    void addAction(const QString& stageName, const QString& action, qlonglong task = 0)
    {
        db().execute(
            u"INSERT INTO LIFECYCLE_ACTION (Lifecycle_ID, LC_Stage_Name, "
            "Action_Name, Mandatory, Owner_ID, owner_group_id, SCR_Number) "
            "VALUES (?, ?, ?, ?, ?, ?, ?)"_s,
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
    d.lifecycleId = u"  "_s;
    d.description = u" "_s;
    const DesignRefusal steps[] = {
        {u"Please specify an identifier for this lifecycle"_s, DesignField::Identifier},
        {u"Please specify a description for this lifecycle"_s, DesignField::Description},
        {u"A lifecycle must have at least one stage"_s, DesignField::Stages},
        {u"Lifecycle already exists, Please specify another name."_s, DesignField::Identifier},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(design.save(d).refusal(), step);
        // Mend what was refused and try again.
        if (step.field == DesignField::Identifier)
            d.lifecycleId = kLifecycle.toUpper();
        else if (step.field == DesignField::Description)
            d.description = u"x"_s;
        else
            d.stages = {stage(u"Only"_s, StageOwnerKind::Requester)};
    }
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM LIFECYCLE"_s).toInt(), 1);
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
              (QList<QVariantList>{{kLifecycle, u"O'Brien's flow"_s, kObrien}}));
    const QVariant null;
    const int yes = db().dialect().trueValue();
    EXPECT_EQ(rows("SELECT LC_Stage_Name, LC_Sequence_Number, UserType, User_ID, group_ID, "
                   "Days_In_Cycle, Rule_Name, Owner_ID, SuperVisor, Received, Approved, Declined "
                   "FROM LIFECYCLE_USER WHERE Lifecycle_ID = ? AND owner_group_id = ? ORDER BY "
                   "LC_Sequence_Number"),
              (QList<QVariantList>{
                  {u"Draft"_s, 0, 0, kObrien, other, 0, null, kObrien, 0, 0, 0, 0},
                  {u"Boss's OK"_s, 1, 1, null, other, 3, u"Escalate"_s, kObrien, 0, 0, 0, yes},
                  // The requester's stage belongs to the current workshop.
                  {u"Done"_s, 2, 2, null, home, 0, null, kObrien, 0, 0, 0, 0}}));

    // Edit: Done moves first, Boss's OK is renamed, Draft is dropped, a new stage takes the
    // dropped stage's name.
    auto d = design.open(kLifecycle.toLower());
    ASSERT_TRUE(d);
    EXPECT_FALSE(d->isNew);
    EXPECT_EQ(d->stages[1].daysInCycle, 3);
    EXPECT_TRUE(d->stages[1].stage.declined);
    d->stages.move(2, 0);
    d->stages[2].stage.stageName = u"Chief's OK"_s;
    ASSERT_FALSE(design.mayRemoveStage(*d, 1));
    d->stages.removeAt(1);
    d->stages.append(stage(u"Draft"_s, StageOwnerKind::Requester));
    EXPECT_EQ(names(d->stages), (QStringList{u"Done"_s, u"Chief's OK"_s, u"Draft"_s}));
    ASSERT_TRUE(design.save(*d));

    EXPECT_EQ(rows(kStages),
              (QList<QVariantList>{{u"Done"_s, 0}, {u"Chief's OK"_s, 1}, {u"Draft"_s, 2}}));
    // The task's copy keeps the name its task knows.
    EXPECT_EQ(rows(kTemplates), (QList<QVariantList>{{u"Chief's OK"_s, u"Budget O'K"_s, 0},
                                                     {u"Boss's OK"_s, u"Budget O'K"_s, 7}}));

    // Two stages may swap names; their templates swap with them.
    d = design.open(kLifecycle);
    ASSERT_TRUE(d);
    d->stages[1].stage.stageName = u"Draft"_s;
    d->stages[2].stage.stageName = u"Chief's OK"_s;
    ASSERT_TRUE(design.save(*d));
    EXPECT_EQ(rows(kTemplates)[0], (QVariantList{u"Draft"_s, u"Budget O'K"_s, 0}));
}

TEST_P(LifecycleDesignTest, StageWithTasksCannotBeRemoved)
{
    saveWithTemplates();
    addTaskAt(u"Boss's OK"_s, home);
    // A lifecycle of the same name in another workshop has its own tasks.
    addTaskAt(u"Draft"_s, other);

    auto d = design.open(kLifecycle);
    ASSERT_TRUE(d);
    const DesignRefusal occupied{u"There are tasks assigned to deleted lifecycle stage."_s,
                                 DesignField::Stages};
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
    EXPECT_EQ(prompt.last().title, u"DELETE"_s);
    EXPECT_EQ(prompt.last().text, u"Are you sure?"_s);
    EXPECT_EQ(prompt.last().buttons, PromptButtons::OkCancel);

    // A task owned in the workshop, and one in the workshop's lifecycle owned elsewhere.
    addTaskAt(u"Draft"_s, 0, home);
    for (const QString& step : {u"task of the workshop"_s, u"task in the workshop's lifecycle"_s}) {
        prompt.answer(PromptAnswer::Ok);
        EXPECT_EQ(design.remove(kLifecycle).refusal(),
                  RefusalOf<>{u"There are tasks assigned to the lifecycle."_s})
            << step.toStdString();
        db().execute(u"UPDATE SCR SET SCR_Group_ID = ?, SCR_LC_Owner_Group_ID = ?"_s,
                     {other, home});
    }
    EXPECT_EQ(rows(kStages).size(), 3);

    db().execute(u"DELETE FROM SCR"_s);
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
    const QString copyId = u"Copy of "_s + kLifecycle;
    // A stray stage under the copy's name does not survive into the copy.
    db().execute(u"INSERT INTO LIFECYCLE_USER (Lifecycle_ID, LC_Stage_Name, "
                 "owner_group_id) VALUES (?, ?, ?)"_s,
                 {copyId, u"Stray"_s, home});
    // A column a site added to the stages, under a name that only works quoted, is copied too.
    const QString siteColumn = u"\"Site's \"\"order\"\"\""_s;
    db().execute(u"ALTER TABLE LIFECYCLE_USER ADD COLUMN "_s + siteColumn + u' ' +
                 db().dialect().textType());
    db().execute(u"UPDATE LIFECYCLE_USER SET "_s + siteColumn + u" = LC_Stage_Name"_s);

    EXPECT_EQ(*design.makeCopy(kLifecycle), copyId);
    EXPECT_EQ(design.list(), (QList<LifecycleSummary>{{copyId, u"O'Brien's flow"_s, kObrien},
                                                      {kLifecycle, u"O'Brien's flow"_s, kObrien}}));
    const char* stageRows =
        "SELECT LC_Stage_Name, LC_Sequence_Number, UserType, User_ID, "
        "group_ID, Rule_Name, Declined, Days_In_Cycle, \"Site's \"\"order\"\"\" "
        "FROM LIFECYCLE_USER WHERE Lifecycle_ID = ? AND owner_group_id = ? "
        "ORDER BY 2";
    EXPECT_EQ(rows(stageRows, copyId), rows(stageRows));
    EXPECT_EQ(rows(kTemplates, copyId), (QList<QVariantList>{{u"Boss's OK"_s, u"Budget O'K"_s, 0},
                                                             {u"Draft"_s, u"Outline"_s, 0}}));

    EXPECT_EQ(design.makeCopy(kLifecycle).refusal(), RefusalOf<>{copyExistsMessage(copyId)});
    EXPECT_EQ(rows(kStages, copyId).size(), 3);
}

TEST_P(LifecycleDesignTest, DesigningNeedsTheRightAndRulesAnAdministrator)
{
    saveWithTemplates();
    const auto everything = [&] {
        QList<QVariantList> all;
        for (const char* table : {"LIFECYCLE", "LIFECYCLE_USER", "LIFECYCLE_ACTION", "LU_RULES"})
            all += db().query(u"SELECT * FROM "_s + QLatin1String(table)).rows();
        return all;
    };
    const auto before = everything();
    prompt.clear();
    session.user.record.allowCreateLifecycle = false;
    const RefusalOf<> refused{UserRights::kNoLifecyclePrivilege};
    LifecycleDraft changed = *design.open(kLifecycle);
    changed.description = u"Changed"_s;
    LifecycleDraft added = threeStages();
    added.lifecycleId = u"O'Hara's flow"_s;
    for (LifecycleDraft* d : {&changed, &added})
        EXPECT_EQ(design.save(*d).refusal(),
                  (DesignRefusal{UserRights::kNoLifecyclePrivilege, DesignField::None}));
    EXPECT_EQ(design.remove(kLifecycle).refusal(), refused);
    EXPECT_EQ(design.makeCopy(kLifecycle).refusal(), refused);
    ActionItems items(session, prompt, kLifecycle, home);
    const LifecycleStage first = changed.stages.first().stage;
    EXPECT_EQ(items.save(first, {}, {u"Extra"_s, false, {}}).refusal(), refused);
    EXPECT_EQ(items.save(first, u"Outline"_s, {u"Renamed"_s, true, {}}).refusal(), refused);
    EXPECT_EQ(items.remove(0, u"Outline"_s).refusal(), refused);
    // The rule scripts the stages run are an administrator's, whatever the lifecycle right.
    session.user.record.allowCreateLifecycle = true;
    EXPECT_EQ(RuleStore(session).save({}, u"Escalate"_s, u"x"_s).refusal(),
              (RefusalOf<RuleField>{UserRights::kNotAdministrator, RuleField::None}));
    EXPECT_TRUE(prompt.records().isEmpty()) << "refused before any question";
    EXPECT_EQ(everything(), before);

    // An administrator needs no lifecycle right.
    session.user.record.allowCreateLifecycle = false;
    session.user.record.administrator = true;
    EXPECT_TRUE(design.makeCopy(kLifecycle));
    EXPECT_TRUE(RuleStore(session).save({}, u"Escalate"_s, u"x"_s));
}

TEST_P(LifecycleDesignTest, OwnerTreeListsWorkshopsByNameWithEnabledMembers)
{
    db().execute(u"INSERT INTO LU_RULES (RULE_NAME) VALUES (?), (?)"_s, {u"Zeta"_s, u"Alpha's"_s});
    const QList<OwnerTreeWorkshop> tree = design.ownerTree();
    QStringList homeUsers;
    QStringList order;
    for (const OwnerTreeWorkshop& w : tree) {
        order.append(w.name);
        if (w.groupId == home)
            homeUsers = w.users;
    }
    EXPECT_LT(order.indexOf(u"Home"_s), order.indexOf(u"Other"_s));
    EXPECT_EQ(homeUsers, (QStringList{u"ann"_s, kObrien}));
    EXPECT_EQ(design.ruleNames(), (QStringList{u"Alpha's"_s, u"Zeta"_s}));
}

BX_INSTANTIATE_ENGINES(LifecycleDesignTest);

} // namespace
