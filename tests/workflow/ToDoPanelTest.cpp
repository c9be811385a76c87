#include "workflow/ToDoPanel.h"

#include "core/db/Database.h"
#include "support/Lifecycles.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>
#include <stdexcept>

using namespace bx;

namespace {

const QString kLifecycle = QStringLiteral("Dept's Release");
const QString kDraft = QStringLiteral("Draft");
const QString kBoss = QStringLiteral("Boss's OK");
const QString kDone = QStringLiteral("Done");
const QString kSigner = QStringLiteral("O'Brien");

class ToDoPanelTest : public bx::test::CurrentSchemaTest
{
protected:
    void SetUp() override
    {
        CurrentSchemaTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        bx::test::addWorkshop(db(), m_home, QStringLiteral("Home"));
        bx::test::addWorkshop(db(), m_other, QStringLiteral("Other"));
    }

    void addAction(qlonglong ownerGroup, const QString& stage, const QString& name, bool mandatory,
                   qlonglong task = 0, const QVariant& signature = {})
    {
        bx::test::addStageAction(db(), kLifecycle, stage, ownerGroup, name, mandatory, task,
                                 signature);
    }

    ToDoStage at(const QString& stage, qlonglong task = 7) const
    {
        return {task, kLifecycle, stage, m_home};
    }

    const qlonglong m_home = 11;
    const qlonglong m_other = 12;
};

TEST_P(ToDoPanelTest, ItemsComeFromTemplatesUntilTheTaskSavesItsOwnSignedCopies)
{
    addAction(m_home, kBoss, QStringLiteral("Budget agreed"), true);
    addAction(m_home, kBoss, QStringLiteral("Cc O'Neil"), false);
    // Neighbours that must not show: another stage, another workshop, another task's copy.
    addAction(m_home, kDraft, QStringLiteral("Outline"), true);
    addAction(m_other, kBoss, QStringLiteral("Foreign item"), true);
    addAction(m_home, kBoss, QStringLiteral("Budget agreed"), true, 99, QStringLiteral("zed"));

    QList<ToDoItem> items = loadToDoItems(db(), at(kBoss));
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(toDoCaption(items[0]), QStringLiteral("* Budget agreed"));
    EXPECT_EQ(toDoCaption(items[1]), QStringLiteral("Cc O'Neil"));
    EXPECT_FALSE(items[0].isSigned());
    EXPECT_FALSE(items[1].isSigned());

    setToDoTicked(items[0], true, kSigner);
    setToDoTicked(items[1], true, kSigner);
    setToDoTicked(items[1], false, kSigner);
    saveToDoSignatures(db(), at(kBoss), QStringLiteral("ann"), items);
    // Saving twice replaces the task's rows rather than adding to them.
    saveToDoSignatures(db(), at(kBoss), QStringLiteral("ann"), items);

    const QList<ToDoItem> reread = loadToDoItems(db(), at(kBoss));
    ASSERT_EQ(reread.size(), 2);
    EXPECT_EQ(toDoCaption(reread[0]), QStringLiteral("* Budget agreed"));
    EXPECT_EQ(reread[0].signature, kSigner);
    EXPECT_EQ(toDoCaption(reread[1]), QStringLiteral("Cc O'Neil"));
    EXPECT_FALSE(reread[1].isSigned());

    const RecordSet rows = db().query(
        QStringLiteral("SELECT * FROM LIFECYCLE_ACTION WHERE SCR_Number = ? ORDER BY Action_Name"),
        {7});
    ASSERT_EQ(rows.rowCount(), 2);
    EXPECT_TRUE(rows.value(1, QStringLiteral("Signature")).isNull());
    EXPECT_EQ(rows.value(0, QStringLiteral("Owner_ID")).toString(), QStringLiteral("ann"));
    EXPECT_EQ(rows.value(0, QStringLiteral("Mandatory")).toInt(), db().dialect().trueValue());
    EXPECT_EQ(rows.value(0, QStringLiteral("owner_group_ID")).toLongLong(), m_home);

    // The templates stay as designed, and another task still starts from them.
    const QList<ToDoItem> fresh = loadToDoItems(db(), at(kBoss, 8));
    ASSERT_EQ(fresh.size(), 2);
    EXPECT_FALSE(fresh[0].isSigned());
}

TEST_P(ToDoPanelTest, SavingForATaskWithoutNumberLeavesTheTemplates)
{
    addAction(m_home, kBoss, QStringLiteral("Budget agreed"), true);
    const QList<ToDoItem> items = loadToDoItems(db(), at(kBoss, 0));
    ASSERT_EQ(items.size(), 1);
    EXPECT_THROW(saveToDoSignatures(db(), at(kBoss, 0), kSigner, items), std::invalid_argument);
    EXPECT_EQ(loadToDoItems(db(), at(kBoss)).size(), 1);

    // Outside a lifecycle there is nothing to load or save.
    const ToDoStage none{7, QString(), QString(), m_home};
    EXPECT_TRUE(loadToDoItems(db(), none).isEmpty());
    saveToDoSignatures(db(), none, kSigner, items);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM LIFECYCLE_ACTION")).toLongLong(), 1);
}

TEST_P(ToDoPanelTest, NextStageWorkshopIsTakenFromTheOwningWorkshopsLifecycle)
{
    const qlonglong ops = 13;
    bx::test::addWorkshop(db(), ops, QStringLiteral("Ops O'Neil"));
    using namespace bx::test;
    addMembers(db(), ops, {QStringLiteral("zoe"), kSigner});
    addMembers(db(), m_other, {QStringLiteral("not-a-member")});
    addStages(db(), kLifecycle, m_home,
              {userStage(kDraft, QStringLiteral("ann"), m_home), workshopStage(kBoss, ops),
               requesterStage(kDone, m_home)});
    // The same lifecycle in another workshop, with a user at position 1.
    addStages(db(), kLifecycle, m_other,
              {userStage(kDraft, QStringLiteral("bob"), m_other),
               userStage(QStringLiteral("Review"), QStringLiteral("bob"), m_other)});

    const std::optional<NextStageWorkshop> next = nextStageWorkshop(db(), at(kDraft));
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->groupId, ops);
    EXPECT_EQ(next->groupName, QStringLiteral("Ops O'Neil"));
    EXPECT_EQ(next->members, (QStringList{kSigner, QStringLiteral("zoe")}));
    EXPECT_EQ(next->line,
              QStringLiteral("The next Lifecycle Stage Owner is Workshop \"Ops O'Neil\""));

    EXPECT_FALSE(nextStageWorkshop(db(), at(kBoss)).has_value()) << "next stage is the requester's";
    EXPECT_FALSE(nextStageWorkshop(db(), at(kDone)).has_value()) << "last stage";
    EXPECT_FALSE(nextStageWorkshop(db(), at(QStringLiteral("Gone"))).has_value());
    const ToDoStage elsewhere{7, kLifecycle, kDraft, m_other};
    EXPECT_FALSE(nextStageWorkshop(db(), elsewhere).has_value()) << "other workshop's lifecycle";
}

TEST_P(ToDoPanelTest, JumpDistanceCountsStagesOfTheOwningWorkshop)
{
    using namespace bx::test;
    addStages(db(), kLifecycle, m_home,
              {userStage(kDraft, QStringLiteral("ann"), m_home), userStage(kBoss, kSigner, m_home),
               requesterStage(kDone, m_home)});
    addStages(db(), kLifecycle, m_other,
              {userStage(QStringLiteral("Elsewhere"), QStringLiteral("bob"), m_other)});

    const QList<LifecycleStage> stages = jumpStages(db(), at(kDone));
    ASSERT_EQ(stages.size(), 3);
    EXPECT_EQ(stages[1].stageName, kBoss);
    EXPECT_EQ(stages[2].sequence, 2);

    EXPECT_EQ(jumpDistance(stages, kDone, kDraft), -2);
    EXPECT_EQ(jumpDistance(stages, kDraft, QStringLiteral(" boss's ok ")), 1);
    EXPECT_EQ(jumpDistance(stages, kDraft, kDone), 2);
    EXPECT_EQ(jumpDistance(stages, kDraft, QString()), std::nullopt) << "no choice cancels";
    EXPECT_EQ(jumpDistance(stages, kDraft, QStringLiteral("Elsewhere")), std::nullopt);
    EXPECT_EQ(jumpDistance(stages, QStringLiteral("Gone"), kDone), std::nullopt);
}

BX_INSTANTIATE_ENGINES(ToDoPanelTest);

TEST(ToDoButtons, SignOffNeedsMandatorySignaturesDeclineNeedsACommentCancelNothing)
{
    const auto item = [](bool mandatory, const QString& signature) {
        return ToDoItem{QStringLiteral("x"), mandatory, signature};
    };
    const QList<ToDoItem> mandatoryOpen{item(true, QStringLiteral("ann")), item(true, {})};
    const QList<ToDoItem> optionalOpen{item(true, QStringLiteral("ann")), item(false, {})};
    const QString signAll = QStringLiteral("You have not signed all mandatory action items");
    const QString askComment = QStringLiteral("Please specify a comment");
    const QString blank = QStringLiteral(" \t");
    struct Case
    {
        ToDoButton button;
        QList<ToDoItem> items;
        QString comment;
        QString message; ///< "" when accepted
        QString response;
    };
    const Case cases[] = {
        {ToDoButton::Yes, mandatoryOpen, QStringLiteral("ok"), signAll, {}},
        {ToDoButton::Jump, mandatoryOpen, QStringLiteral("ok"), signAll, {}},
        {ToDoButton::LCEnd, mandatoryOpen, QStringLiteral("ok"), signAll, {}},
        {ToDoButton::Yes, optionalOpen, blank, {}, QStringLiteral("YES")},
        {ToDoButton::Jump, optionalOpen, blank, {}, QStringLiteral("Jump")},
        {ToDoButton::LCEnd, optionalOpen, blank, {}, QStringLiteral("LCEND")},
        {ToDoButton::No, optionalOpen, blank, askComment, {}},
        {ToDoButton::Cond, optionalOpen, blank, askComment, {}},
        {ToDoButton::No, mandatoryOpen, QStringLiteral("why"), {}, QStringLiteral("NO")},
        {ToDoButton::Cond, mandatoryOpen, QStringLiteral("why"), {}, QStringLiteral("CONDITIONAL")},
        {ToDoButton::Cancel, mandatoryOpen, blank, {}, QStringLiteral("CANCEL")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toDoButtonKey(c.button).toStdString());
        const ToDoVerdict v = checkToDoButton(c.button, c.items, c.comment);
        EXPECT_EQ(v.message, c.message);
        EXPECT_EQ(v.response, c.response);
        EXPECT_EQ(v.focusComment, c.message == askComment);
    }
}

} // namespace
