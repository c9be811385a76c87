#include "mainwindow/ListOptions.h"

#include "core/settings/SettingsStore.h"
#include "support/QtPrinters.h"
#include "support/ScriptedPrompt.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace bx::test {
namespace {

class ListOptionsTest : public ::testing::Test
{
protected:
    QString file() const { return dir.filePath(QStringLiteral("MRBX.conf")); }

    static ListOptionsSet sample()
    {
        ListOptionsSet set;
        set.columns = {QStringLiteral("SCR_Number"), QStringLiteral("SCR_Custom_Field")};
        NodeFont& task = set.font(NodeKind::OverdueTask);
        task.name = QStringLiteral("O'Neil Sans");
        task.size = 11;
        task.underline = true;
        task.color = QColor(0x12, 0x34, 0x56);
        return set;
    }

    QTemporaryDir dir;
    SettingsStore store{file()};
    ListOptions options{store};
    ScriptedPrompt prompt;
};

TEST_F(ListOptionsTest, AppliedSetIsStoredUnderTheTreeSectionsAndReadBack)
{
    ASSERT_TRUE(options.apply(sample(), prompt));
    options.setCheckTasks(5);

    SettingsStore again(file());
    ListOptions reread(again);
    EXPECT_EQ(reread.current(), sample());
    EXPECT_EQ(reread.checkTasks(), 5);
    EXPECT_EQ(again.get(QStringLiteral("Options\\TeamTree\\TaskOverDueFont"),
                        QStringLiteral("Underline")),
              QStringLiteral("True"));
    EXPECT_EQ(again.get(QStringLiteral("Field List"), QStringLiteral("Task Number")),
              QStringLiteral("SCR_Number"));
    EXPECT_TRUE(prompt.records().isEmpty());
}

TEST_F(ListOptionsTest, ProfilesRoundTripAndOverwriteAsks)
{
    prompt.answerInput(QStringLiteral("Ann's layout"));
    ASSERT_EQ(options.saveProfileAs(sample(), prompt), QStringLiteral("Ann's layout"));
    EXPECT_EQ(prompt.last().text, QStringLiteral("Please Enter Profile Name"));
    EXPECT_EQ(options.profiles(), QStringList{QStringLiteral("Ann's layout")});
    EXPECT_EQ(options.profile(QStringLiteral("ann's LAYOUT")), sample());
    // The profile leaves the set in use alone.
    EXPECT_EQ(options.current().columns, ListOptions::defaultColumns());

    ListOptionsSet changed = sample();
    changed.columns = {QStringLiteral("SCR_Status")};
    prompt.answer(PromptAnswer::No);
    EXPECT_FALSE(options.saveProfile(QStringLiteral("Ann's layout"), changed, prompt));
    EXPECT_EQ(prompt.last().text,
              QStringLiteral("Profile with name Ann's layoutalready exists. Overwrite?"));
    EXPECT_EQ(options.profile(QStringLiteral("Ann's layout")), sample());

    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(options.saveProfile(QStringLiteral("Ann's layout"), changed, prompt));
    EXPECT_EQ(options.profile(QStringLiteral("Ann's layout")), changed);
    EXPECT_EQ(options.profiles().size(), 1);

    prompt.answerInput(std::nullopt);
    EXPECT_FALSE(options.saveProfileAs(sample(), prompt));
    EXPECT_FALSE(options.profile(QStringLiteral("Profile 1")));
}

} // namespace
} // namespace bx::test
