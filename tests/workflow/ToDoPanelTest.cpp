#include "workflow/ToDoPanel.h"

#include "core/db/Database.h"
#include "support/Lifecycles.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>
#include <stdexcept>

using namespace bx;
using namespace Qt::StringLiterals;

namespace {

const QString kLifecycle = u"Dept's Release"_s;
const QString kDraft = u"Draft"_s;
const QString kBoss = u"Boss's OK"_s;
const QString kDone = u"Done"_s;
const QString kSigner = u"O'Brien"_s;

class ToDoPanelTest : public bx::test::CurrentSchemaTest
{
protected:
    void arrange() override
    {
        bx::test::addWorkshop(db(), m_home, u"Home"_s);
        bx::test::addWorkshop(db(), m_other, u"Other"_s);
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
    addAction(m_home, kBoss, u"Budget agreed"_s, true);
    addAction(m_home, kBoss, u"Cc O'Neil"_s, false);
    // Neighbours that must not show: another stage, another workshop, another task's copy.
    addAction(m_home, kDraft, u"Outline"_s, true);
    addAction(m_other, kBoss, u"Foreign item"_s, true);
    addAction(m_home, kBoss, u"Budget agreed"_s, true, 99, u"zed"_s);

    QList<ToDoItem> items = loadToDoItems(db(), at(kBoss));
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(toDoCaption(items[0]), u"* Budget agreed"_s);
    EXPECT_EQ(toDoCaption(items[1]), u"Cc O'Neil"_s);
    EXPECT_FALSE(items[0].isSigned());
    EXPECT_FALSE(items[1].isSigned());

    setToDoTicked(items[0], true, kSigner);
    setToDoTicked(items[1], true, kSigner);
    setToDoTicked(items[1], false, kSigner);
    saveToDoSignatures(db(), at(kBoss), u"ann"_s, items);
    // Saving twice replaces the task's rows rather than adding to them.
    saveToDoSignatures(db(), at(kBoss), u"ann"_s, items);

    const QList<ToDoItem> reread = loadToDoItems(db(), at(kBoss));
    ASSERT_EQ(reread.size(), 2);
    EXPECT_EQ(toDoCaption(reread[0]), u"* Budget agreed"_s);
    EXPECT_EQ(reread[0].signature, kSigner);
    EXPECT_EQ(toDoCaption(reread[1]), u"Cc O'Neil"_s);
    EXPECT_FALSE(reread[1].isSigned());

    const RecordSet rows = db().query(
        u"SELECT * FROM LIFECYCLE_ACTION WHERE SCR_Number = ? ORDER BY Action_Name"_s, {7});
    ASSERT_EQ(rows.rowCount(), 2);
    EXPECT_TRUE(rows.value(1, u"Signature"_s).isNull());
    EXPECT_EQ(rows.value(0, u"Owner_ID"_s).toString(), u"ann"_s);
    EXPECT_EQ(rows.value(0, u"Mandatory"_s).toInt(), db().dialect().trueValue());
    EXPECT_EQ(rows.value(0, u"owner_group_ID"_s).toLongLong(), m_home);

    // The templates stay as designed, and another task still starts from them.
    const QList<ToDoItem> fresh = loadToDoItems(db(), at(kBoss, 8));
    ASSERT_EQ(fresh.size(), 2);
    EXPECT_FALSE(fresh[0].isSigned());
}

TEST_P(ToDoPanelTest, SavingForATaskWithoutNumberLeavesTheTemplates)
{
    addAction(m_home, kBoss, u"Budget agreed"_s, true);
    const QList<ToDoItem> items = loadToDoItems(db(), at(kBoss, 0));
    ASSERT_EQ(items.size(), 1);
    EXPECT_THROW(saveToDoSignatures(db(), at(kBoss, 0), kSigner, items), std::invalid_argument);
    EXPECT_EQ(loadToDoItems(db(), at(kBoss)).size(), 1);

    // Outside a lifecycle there is nothing to load or save.
    const ToDoStage none{7, QString(), QString(), m_home};
    EXPECT_TRUE(loadToDoItems(db(), none).isEmpty());
    saveToDoSignatures(db(), none, kSigner, items);
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM LIFECYCLE_ACTION"_s).toLongLong(), 1);
}

TEST_P(ToDoPanelTest, NextStageWorkshopIsTakenFromTheOwningWorkshopsLifecycle)
{
    const qlonglong ops = 13;
    bx::test::addWorkshop(db(), ops, u"Ops O'Neil"_s);
    using namespace bx::test;
    addMembers(db(), ops, {u"zoe"_s, kSigner});
    addMembers(db(), m_other, {u"not-a-member"_s});
    addStages(db(), kLifecycle, m_home,
              {userStage(kDraft, u"ann"_s, m_home), workshopStage(kBoss, ops),
               requesterStage(kDone, m_home)});
    // The same lifecycle in another workshop, with a user at position 1.
    addStages(db(), kLifecycle, m_other,
              {userStage(kDraft, u"bob"_s, m_other), userStage(u"Review"_s, u"bob"_s, m_other)});

    const std::optional<NextStageWorkshop> next = nextStageWorkshop(db(), at(kDraft));
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->groupId, ops);
    EXPECT_EQ(next->groupName, u"Ops O'Neil"_s);
    EXPECT_EQ(next->members, (QStringList{kSigner, u"zoe"_s}));
    EXPECT_EQ(next->line, u"The next Lifecycle Stage Owner is Workshop \"Ops O'Neil\""_s);

    EXPECT_FALSE(nextStageWorkshop(db(), at(kBoss)).has_value()) << "next stage is the requester's";
    EXPECT_FALSE(nextStageWorkshop(db(), at(kDone)).has_value()) << "last stage";
    EXPECT_FALSE(nextStageWorkshop(db(), at(u"Gone"_s)).has_value());
    const ToDoStage elsewhere{7, kLifecycle, kDraft, m_other};
    EXPECT_FALSE(nextStageWorkshop(db(), elsewhere).has_value()) << "other workshop's lifecycle";
}

TEST_P(ToDoPanelTest, JumpDistanceCountsStagesOfTheOwningWorkshop)
{
    using namespace bx::test;
    addStages(db(), kLifecycle, m_home,
              {userStage(kDraft, u"ann"_s, m_home), userStage(kBoss, kSigner, m_home),
               requesterStage(kDone, m_home)});
    addStages(db(), kLifecycle, m_other, {userStage(u"Elsewhere"_s, u"bob"_s, m_other)});

    const QList<LifecycleStage> stages = jumpStages(db(), at(kDone));
    ASSERT_EQ(stages.size(), 3);
    EXPECT_EQ(stages[1].stageName, kBoss);
    EXPECT_EQ(stages[2].sequence, 2);

    EXPECT_EQ(jumpDistance(stages, kDone, kDraft), -2);
    EXPECT_EQ(jumpDistance(stages, kDraft, u" boss's ok "_s), 1);
    EXPECT_EQ(jumpDistance(stages, kDraft, kDone), 2);
    EXPECT_EQ(jumpDistance(stages, kDraft, QString()), std::nullopt) << "no choice cancels";
    EXPECT_EQ(jumpDistance(stages, kDraft, u"Elsewhere"_s), std::nullopt);
    EXPECT_EQ(jumpDistance(stages, u"Gone"_s, kDone), std::nullopt);
}

BX_INSTANTIATE_ENGINES(ToDoPanelTest);

TEST(ToDoButtons, SignOffNeedsMandatorySignaturesDeclineNeedsACommentCancelNothing)
{
    const auto item = [](bool mandatory, const QString& signature) {
        return ToDoItem{u"x"_s, mandatory, signature};
    };
    const QList<ToDoItem> mandatoryOpen{item(true, u"ann"_s), item(true, {})};
    const QList<ToDoItem> optionalOpen{item(true, u"ann"_s), item(false, {})};
    const QString signAll = u"You have not signed all mandatory action items"_s;
    const QString askComment = u"Please specify a comment"_s;
    const QString blank = u" \t"_s;
    struct Case
    {
        ToDoButton button;
        QList<ToDoItem> items;
        QString comment;
        QString message; ///< "" when accepted
        QString response;
    };
    const Case cases[] = {
        {ToDoButton::Yes, mandatoryOpen, u"ok"_s, signAll, {}},
        {ToDoButton::Jump, mandatoryOpen, u"ok"_s, signAll, {}},
        {ToDoButton::LCEnd, mandatoryOpen, u"ok"_s, signAll, {}},
        {ToDoButton::Yes, optionalOpen, blank, {}, u"YES"_s},
        {ToDoButton::Jump, optionalOpen, blank, {}, u"Jump"_s},
        {ToDoButton::LCEnd, optionalOpen, blank, {}, u"LCEND"_s},
        {ToDoButton::No, optionalOpen, blank, askComment, {}},
        {ToDoButton::Cond, optionalOpen, blank, askComment, {}},
        {ToDoButton::No, mandatoryOpen, u"why"_s, {}, u"NO"_s},
        {ToDoButton::Cond, mandatoryOpen, u"why"_s, {}, u"CONDITIONAL"_s},
        {ToDoButton::Cancel, mandatoryOpen, blank, {}, u"CANCEL"_s},
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
