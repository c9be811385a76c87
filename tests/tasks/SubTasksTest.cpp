#include "tasks/SubTasks.h"

#include "TaskTestSupport.h"
#include "core/UserRights.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::test::tasks;

namespace {

class SubTasksTest : public TaskTest
{
protected:
    qlonglong taskOf(const QString& owner, qlonglong group)
    {
        return addTaskRow(
            db(), {{scr::Title, u"Parent"_s}, {scr::OwnerUserId, owner}, {scr::GroupId, group}});
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
    const qlonglong bobs = taskOf(u"bob"_s, kShop4);
    const qlonglong obriens = taskOf(u"O'Brien"_s, kShop8);
    session.user.record.editUnowned = false;
    EXPECT_EQ(prepareSubTask(session, prompt, bobs), std::nullopt);
    EXPECT_EQ(prompt.texts(), QStringList{UserRights::kMustOwnParentTask});

    prompt.clear();
    session.user.userId = u" o'brien "_s;
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
        EXPECT_EQ(prompt.last().text, u"Please select a Task for Creating a Subtask."_s);
        EXPECT_EQ(prompt.last().icon, PromptIcon::Critical);
    }
}

TEST_P(SubTasksTest, TemplatesAreListedByTitleAndOpenedAsClones)
{
    const qlonglong b = templateTask(u"b: O'Neil's checklist"_s, true, 0);
    const qlonglong a = templateTask(u"a: weekly report"_s, true, 2);
    templateTask(u"a0: contact's template"_s, true, 1);
    templateTask(u"a1: plain task"_s, false, 0);

    const QList<TemplateEntry> list = templateList(db());
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].number, a);
    EXPECT_EQ(list[0].title, u"a: weekly report"_s);
    EXPECT_EQ(list[1].number, b);
    EXPECT_EQ(list[1].title, u"b: O'Neil's checklist"_s);

    session.currentWorkshopId = static_cast<int>(kShop8);
    EXPECT_EQ(prepareFromTemplate(session, prompt, b), TaskOpening::fromTemplate(b, kShop8));
    EXPECT_TRUE(prompt.texts().isEmpty());

    EXPECT_EQ(prepareFromTemplate(session, prompt, 4242), std::nullopt);
    EXPECT_EQ(prompt.texts(), QStringList{u"Template record not found"_s});
}

BX_INSTANTIATE_ENGINES(SubTasksTest);

} // namespace
