#include "workflow/ActionItems.h"

#include "core/db/Database.h"
#include "support/Lifecycles.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

using bx::ActionItem;
using bx::ActionItems;
using bx::Outcome;
using bx::PromptAnswer;
using bx::RefusalOf;

const QString kCycle = QStringLiteral("Mike's cycle");
const QString kShopName = QStringLiteral("O'Neil's shop");
constexpr qlonglong kShop = 7;

/**
 * Stages Draft (ann) and Bob's review (the workshop) with two templates and a task's copy; the
 * signed-in user may create lifecycles.
 */
class ActionItemsTest : public bx::test::SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        session.user.record.allowCreateLifecycle = true;
        bx::test::addUsers(db(), {QStringLiteral("ann"), QStringLiteral("dan")});
        bx::test::addWorkshop(db(), kShop, kShopName);
        const QString draft = QStringLiteral("Draft");
        bx::test::addStages(db(), kCycle, kShop,
                            {bx::test::userStage(draft, QStringLiteral("ann"), kShop),
                             bx::test::workshopStage(QStringLiteral("Bob's review"), kShop)});
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
            db().query(QStringLiteral("SELECT LC_Stage_Name, Action_Name, SCR_Number FROM "
                                      "LIFECYCLE_ACTION ORDER BY LC_Stage_Name, Action_Name, "
                                      "SCR_Number"));
        for (const QVariantList& row : rs.rows())
            all << QStringLiteral("%1/%2/%3")
                       .arg(row.value(0).toString(), row.value(1).toString(),
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
    EXPECT_EQ(stages[0].stageName, QStringLiteral("Draft"));
    EXPECT_EQ(stages[0].ownerText, QStringLiteral("ann(O'Neil's shop)"));
    EXPECT_EQ(stages[1].ownerText, QStringLiteral("(O'Neil's shop)"));

    EXPECT_EQ(items.actionTitles(draft()),
              (QStringList{QStringLiteral("O'Hara's check"), QStringLiteral("Sign")}));
    EXPECT_EQ(items.stage(5).refusal(),
              RefusalOf<>{QStringLiteral("Unable to locate Phase of lifecycle in database")});
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
    const QString path = tempDir() + QStringLiteral("/O'Hara.bmp");
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
    ASSERT_TRUE(items.save(*review, {}, {QStringLiteral(" Sign "), true, *bytes}));
    const auto loaded = items.load(*review, QStringLiteral("sign"));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->title, QStringLiteral("Sign"));
    EXPECT_TRUE(loaded->mandatory);
    EXPECT_EQ(loaded->icon, picture);
    const bx::RecordSet row = db().query(
        QStringLiteral("SELECT Owner_ID, owner_group_ID, SCR_Number FROM LIFECYCLE_ACTION WHERE "
                       "LC_Stage_Name = ?"),
        {QStringLiteral("Bob's review")});
    EXPECT_EQ(row.text(QStringLiteral("Owner_ID")), QStringLiteral("ann"));
    EXPECT_EQ(row.number(QStringLiteral("owner_group_ID")), kShop);
    EXPECT_EQ(row.number(QStringLiteral("SCR_Number")), 0);

    // Editing: retitled in letter case only, icon cleared; the task's copy keeps its title.
    ASSERT_TRUE(items.save(draft(), QStringLiteral("Sign"), {QStringLiteral("SIGN"), false, {}}));
    const auto edited = items.load(draft(), QStringLiteral("Sign"));
    ASSERT_TRUE(edited);
    EXPECT_EQ(edited->title, QStringLiteral("SIGN"));
    EXPECT_TRUE(edited->icon.isEmpty());
    EXPECT_TRUE(actionRows().contains(QStringLiteral("Draft/Sign/12")));

    EXPECT_EQ(ActionItems::readIconFile(tempDir() + QStringLiteral("/none.ico")).refusal(),
              RefusalOf<>{QStringLiteral("Unable to read icon file ") + tempDir() +
                          QStringLiteral("/none.ico")});
}

TEST_P(ActionItemsTest, RemoveAsksFirstAndKeepsTaskCopies)
{
    prompt.answer(PromptAnswer::Cancel);
    const Outcome<> cancelled = items.remove(0, QStringLiteral("Sign"));
    EXPECT_FALSE(cancelled || cancelled.refusal());
    EXPECT_EQ(prompt.last().buttons, bx::PromptButtons::OkCancel);
    EXPECT_EQ(actionRows().size(), 3);

    prompt.answer(PromptAnswer::Ok);
    EXPECT_TRUE(items.remove(0, QStringLiteral("Sign")));
    EXPECT_EQ(actionRows(), (QStringList{QStringLiteral("Draft/O'Hara's check/0"),
                                         QStringLiteral("Draft/Sign/12")}));

    EXPECT_EQ(items.remove(0, QStringLiteral("Sign")).refusal(),
              RefusalOf<>{QStringLiteral("Unable to locate action data")});
    EXPECT_EQ(items.remove(3, QStringLiteral("O'Hara's check")).refusal(),
              RefusalOf<>{QStringLiteral("Unable to locate Phase of lifecycle in database")});
    EXPECT_EQ(actionRows().size(), 2);
}

BX_INSTANTIATE_ENGINES(ActionItemsTest);

} // namespace
