#include "tasks/SubTasks.h"

#include "TaskTestSupport.h"
#include "core/UserRights.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::test::tasks;

namespace {

class SubTasksTest : public TaskTest
{
protected:
    qlonglong taskOf(const QString& owner, qlonglong group)
    {
        return addTaskRow(db(), {{scr::Title, QStringLiteral("Parent")},
                                 {scr::OwnerUserId, owner},
                                 {scr::GroupId, group}});
    }
    qlonglong templateTask(const QString& title, bool isTemplate, int contactKey)
    {
        return addTaskRow(
            db(),
            {{scr::Title, title}, {scr::Template, isTemplate}, {scr::ContactKey, contactKey}});
    }
};

// A sub-task of somebody else's task needs the right to edit unowned tasks; the owner is compared
// trimmed and without case.
TEST_P(SubTasksTest, SubTaskOfAnothersTaskNeedsEditUnowned)
{
    const qlonglong bobs = taskOf(QStringLiteral("bob"), kShop4);
    const qlonglong obriens = taskOf(QStringLiteral("O'Brien"), kShop8);
    session.user.record.editUnowned = false;
    EXPECT_EQ(prepareSubTask(session, prompt, bobs), std::nullopt);
    EXPECT_EQ(prompt.texts(), QStringList{UserRights::kMustOwnParentTask});

    prompt.clear();
    session.user.userId = QStringLiteral(" o'brien ");
    EXPECT_EQ(prepareSubTask(session, prompt, obriens), TaskOpening::subTaskOf(obriens, kShop8));
    session.user.record.editUnowned = true;
    EXPECT_EQ(prepareSubTask(session, prompt, bobs), TaskOpening::subTaskOf(bobs, kShop4));
    EXPECT_TRUE(prompt.texts().isEmpty());
}

TEST_P(SubTasksTest, MissingParentIsACriticalMessage)
{
    for (bool right : {false, true}) {
        prompt.clear();
        session.user.record.editUnowned = right;
        EXPECT_EQ(prepareSubTask(session, prompt, 4242), std::nullopt);
        ASSERT_EQ(prompt.records().size(), 1);
        EXPECT_EQ(prompt.last().text, kSelectTaskForSubtask);
        EXPECT_EQ(prompt.last().icon, PromptIcon::Critical);
    }
}

TEST_P(SubTasksTest, TemplatesAreListedByTitleAndOpenedAsClones)
{
    const qlonglong b = templateTask(QStringLiteral("b: O'Neil's checklist"), true, 0);
    const qlonglong a = templateTask(QStringLiteral("a: weekly report"), true, 2);
    templateTask(QStringLiteral("a0: contact's template"), true, 1);
    templateTask(QStringLiteral("a1: plain task"), false, 0);

    const QList<TemplateEntry> list = templateList(db());
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].number, a);
    EXPECT_EQ(list[0].title, QStringLiteral("a: weekly report"));
    EXPECT_EQ(list[1].number, b);
    EXPECT_EQ(list[1].title, QStringLiteral("b: O'Neil's checklist"));

    session.currentWorkshopId = static_cast<int>(kShop8);
    EXPECT_EQ(prepareFromTemplate(session, prompt, b), TaskOpening::fromTemplate(b, kShop8));
    EXPECT_TRUE(prompt.texts().isEmpty());

    EXPECT_EQ(prepareFromTemplate(session, prompt, 4242), std::nullopt);
    EXPECT_EQ(prompt.texts(), QStringList{kTemplateNotFound});
}

BX_INSTANTIATE_ENGINES(SubTasksTest);

} // namespace
