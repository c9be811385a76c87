#include "workflow/ActionItems.h"

#include "core/db/Database.h"
#include "support/Lifecycles.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using bx::ActionItem;
using bx::ActionItems;
using bx::Outcome;
using bx::PromptAnswer;
using bx::RefusalOf;

const QString kCycle = u"Mike's cycle"_s;
const QString kShopName = u"O'Neil's shop"_s;
constexpr qlonglong kShop = 7;

/**
 * Stages Draft (ann) and Bob's review (the workshop) with two templates and a task's copy; the
 * signed-in user may create lifecycles.
 */
class ActionItemsTest : public bx::test::SessionTest
{
protected:
    void arrange() override
    {
        session.user.record.allowCreateLifecycle = true;
        bx::test::addUsers(db(), {u"ann"_s, u"dan"_s});
        bx::test::addWorkshop(db(), kShop, kShopName);
        const QString draft = u"Draft"_s;
        bx::test::addStages(db(), kCycle, kShop,
                            {bx::test::userStage(draft, u"ann"_s, kShop),
                             bx::test::workshopStage(u"Bob's review"_s, kShop)});
        for (const auto& [title, task] :
             {std::pair{"O'Hara's check", 0}, {"Sign", 0}, {"Sign", 12}})
            bx::test::addStageAction(db(), kCycle, draft, kShop, QString::fromUtf8(title), false,
                                     task);
    }

    /** Every action row as "stage/title/task", ordered. */
    QStringList actionRows()
    {
        QStringList all;
        const bx::RecordSet rs =
            db().query(u"SELECT LC_Stage_Name, Action_Name, SCR_Number FROM "
                       "LIFECYCLE_ACTION ORDER BY LC_Stage_Name, Action_Name, SCR_Number"_s);
        for (const QVariantList& row : rs.rows())
            all << u"%1/%2/%3"_s.arg(row.value(0).toString(), row.value(1).toString(),
                                     row.value(2).toString());
        return all;
    }

    bx::LifecycleStage draft()
    {
        const auto s = items.stage(0);
        EXPECT_TRUE(s);
        return s ? *s : bx::LifecycleStage{};
    }

    ActionItems items{session, prompt, kCycle, kShop};
};

TEST_P(ActionItemsTest, StageListAndTemplates)
{
    const QList<bx::StageListEntry> stages = items.stageList();
    ASSERT_EQ(stages.size(), 2);
    EXPECT_EQ(stages[0].stageName, u"Draft"_s);
    EXPECT_EQ(stages[0].ownerText, u"ann(O'Neil's shop)"_s);
    EXPECT_EQ(stages[1].ownerText, u"(O'Neil's shop)"_s);

    EXPECT_EQ(items.actionTitles(draft()), (QStringList{u"O'Hara's check"_s, u"Sign"_s}));
    EXPECT_EQ(items.stage(5).refusal(),
              RefusalOf<>{u"Unable to locate Phase of lifecycle in database"_s});
}

TEST_P(ActionItemsTest, SaveRefusalsWriteNothing)
{
    struct Case
    {
        const char* original;
        const char* title;
        const char* message;
    };
    const Case cases[] = {
        {"", " \t ", "Title must be specified"},
        {"", " o'HARA'S CHECK ", "This Title already exists"},
        {"Sign", "O'Hara's Check", "This Title already exists"},
        {"Gone", "Fresh", "Unable to locate action data"},
    };
    const bx::LifecycleStage stage = draft();
    const QStringList before = actionRows();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(
            items.save(stage, QString::fromUtf8(c.original), {QString::fromUtf8(c.title), true, {}})
                .refusal(),
            RefusalOf<>{QString::fromUtf8(c.message)});
    }
    EXPECT_EQ(actionRows(), before);
}

TEST_P(ActionItemsTest, SaveWritesTemplateWithIcon)
{
    QByteArray picture("BM\0\x01\xff\xfe icon", 11);
    picture.append(QByteArray(70000, '\x7f'));
    const QString path = tempDir() + u"/O'Hara.bmp"_s;
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(picture);
    }
    const auto bytes = items.readIconFile(path);
    ASSERT_TRUE(bytes);

    // The same title in another stage is no clash.
    const auto review = items.stage(1);
    ASSERT_TRUE(review);
    ASSERT_TRUE(items.save(*review, {}, {u" Sign "_s, true, *bytes}));
    const auto loaded = items.load(*review, u"sign"_s);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->title, u"Sign"_s);
    EXPECT_TRUE(loaded->mandatory);
    EXPECT_EQ(loaded->icon, picture);
    const bx::RecordSet row =
        db().query(u"SELECT Owner_ID, owner_group_ID, SCR_Number FROM LIFECYCLE_ACTION WHERE "
                   "LC_Stage_Name = ?"_s,
                   {u"Bob's review"_s});
    EXPECT_EQ(row.text(u"Owner_ID"_s), u"ann"_s);
    EXPECT_EQ(row.number(u"owner_group_ID"_s), kShop);
    EXPECT_EQ(row.number(u"SCR_Number"_s), 0);

    // Editing: retitled in letter case only, icon cleared; the task's copy keeps its title.
    ASSERT_TRUE(items.save(draft(), u"Sign"_s, {u"SIGN"_s, false, {}}));
    const auto edited = items.load(draft(), u"Sign"_s);
    ASSERT_TRUE(edited);
    EXPECT_EQ(edited->title, u"SIGN"_s);
    EXPECT_TRUE(edited->icon.isEmpty());
    EXPECT_TRUE(actionRows().contains(u"Draft/Sign/12"_s));

    EXPECT_EQ(ActionItems::readIconFile(tempDir() + u"/none.ico"_s).refusal(),
              RefusalOf<>{u"Unable to read icon file "_s + tempDir() + u"/none.ico"_s});
}

TEST_P(ActionItemsTest, RemoveAsksFirstAndKeepsTaskCopies)
{
    prompt.answer(PromptAnswer::Cancel);
    const Outcome<> cancelled = items.remove(0, u"Sign"_s);
    EXPECT_FALSE(cancelled || cancelled.refusal());
    EXPECT_EQ(prompt.last().buttons, bx::PromptButtons::OkCancel);
    EXPECT_EQ(actionRows().size(), 3);

    prompt.answer(PromptAnswer::Ok);
    EXPECT_TRUE(items.remove(0, u"Sign"_s));
    EXPECT_EQ(actionRows(), (QStringList{u"Draft/O'Hara's check/0"_s, u"Draft/Sign/12"_s}));

    EXPECT_EQ(items.remove(0, u"Sign"_s).refusal(), RefusalOf<>{u"Unable to locate action data"_s});
    EXPECT_EQ(items.remove(3, u"O'Hara's check"_s).refusal(),
              RefusalOf<>{u"Unable to locate Phase of lifecycle in database"_s});
    EXPECT_EQ(actionRows().size(), 2);
}

BX_INSTANTIATE_ENGINES(ActionItemsTest);

} // namespace
