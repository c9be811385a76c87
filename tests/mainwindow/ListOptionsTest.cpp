#include "mainwindow/ListOptions.h"

#include "core/schema/TaskColumns.h"
#include "core/settings/SettingsStore.h"
#include "reports/TimeSheets.h"
#include "support/QtPrinters.h"
#include "support/ScriptedPrompt.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

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

class ActualHoursTest : public SessionTest
{
};

// A list with task numbers gets the time booked on each task, in one more field; a task without
// bookings shows nothing. A list without numbers, or already with the field, is left as it is.
TEST_P(ActualHoursTest, AddedToTheRowsOfAListWithTaskNumbers)
{
    addUsers(db(), {QStringLiteral("ann")});
    session.user.userId = QStringLiteral("ann");
    const qlonglong booked = addTaskRow(db(), {});
    const qlonglong idle = addTaskRow(db(), {});
    ASSERT_TRUE(timesheet::addBooking(
        session, booked,
        {QDate(2024, 1, 31), QTime(9, 0), QStringLiteral("2"), QStringLiteral("20"), QString()}));

    QStringList names{scr::Title, scr::Number};
    QList<QVariantList> rows{{QStringLiteral("A"), booked}, {QStringLiteral("B"), idle}};
    ListOptions::addActualHours(session, names, rows);
    EXPECT_EQ(names, (QStringList{scr::Title, scr::Number, ListOptions::actualHoursField()}));
    ASSERT_EQ(rows.at(0).size(), 3);
    EXPECT_EQ(rows.at(0).at(2), QStringLiteral("2 h. 20 m."));
    EXPECT_TRUE(rows.at(1).value(2).isNull());

    const QList<QVariantList> before = rows;
    ListOptions::addActualHours(session, names, rows);
    EXPECT_EQ(rows, before);
    QStringList titles{scr::Title};
    QList<QVariantList> titleRows{{QStringLiteral("A")}};
    ListOptions::addActualHours(session, titles, titleRows);
    EXPECT_EQ(titles, QStringList{scr::Title});
    EXPECT_EQ(titleRows, (QList<QVariantList>{{QStringLiteral("A")}}));
}

BX_INSTANTIATE_ENGINES(ActualHoursTest);

} // namespace
} // namespace bx::test
