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

using namespace Qt::StringLiterals;

namespace bx::test {
namespace {

class ListOptionsTest : public ::testing::Test
{
protected:
    QString file() const { return dir.filePath(u"MRBX.conf"_s); }

    static ListOptionsSet sample()
    {
        ListOptionsSet set;
        set.columns = {u"SCR_Number"_s, u"SCR_Custom_Field"_s};
        NodeFont& task = set.font(NodeKind::OverdueTask);
        task.name = u"O'Neil Sans"_s;
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
    EXPECT_EQ(again.get(u"Options\\TeamTree\\TaskOverDueFont"_s, u"Underline"_s), u"True"_s);
    EXPECT_EQ(again.get(u"Field List"_s, u"Task Number"_s), u"SCR_Number"_s);
    EXPECT_TRUE(prompt.records().isEmpty());
}

TEST_F(ListOptionsTest, ProfilesRoundTripAndOverwriteAsks)
{
    prompt.answerInput(u"Ann's layout"_s);
    ASSERT_EQ(options.saveProfileAs(sample(), prompt), u"Ann's layout"_s);
    EXPECT_EQ(prompt.last().text, u"Please Enter Profile Name"_s);
    EXPECT_EQ(options.profiles(), QStringList{u"Ann's layout"_s});
    EXPECT_EQ(options.profile(u"ann's LAYOUT"_s), sample());
    // The profile leaves the set in use alone.
    EXPECT_EQ(options.current().columns, ListOptions::defaultColumns());

    ListOptionsSet changed = sample();
    changed.columns = {u"SCR_Status"_s};
    prompt.answer(PromptAnswer::No);
    EXPECT_FALSE(options.saveProfile(u"Ann's layout"_s, changed, prompt));
    EXPECT_EQ(prompt.last().text, u"Profile with name Ann's layoutalready exists. Overwrite?"_s);
    EXPECT_EQ(options.profile(u"Ann's layout"_s), sample());

    prompt.answer(PromptAnswer::Yes);
    EXPECT_TRUE(options.saveProfile(u"Ann's layout"_s, changed, prompt));
    EXPECT_EQ(options.profile(u"Ann's layout"_s), changed);
    EXPECT_EQ(options.profiles().size(), 1);

    prompt.answerInput(std::nullopt);
    EXPECT_FALSE(options.saveProfileAs(sample(), prompt));
    EXPECT_FALSE(options.profile(u"Profile 1"_s));
}

class ActualHoursTest : public SessionTest
{
};

// A list with task numbers gets the time booked on each task, in one more field; a task without
// bookings shows nothing. A list without numbers, or already with the field, is left as it is.
TEST_P(ActualHoursTest, AddedToTheRowsOfAListWithTaskNumbers)
{
    addUsers(db(), {u"ann"_s});
    session.user.userId = u"ann"_s;
    const qlonglong booked = addTaskRow(db(), {});
    const qlonglong idle = addTaskRow(db(), {});
    ASSERT_TRUE(timesheet::addBooking(
        session, booked, {QDate(2024, 1, 31), QTime(9, 0), u"2"_s, u"20"_s, QString()}));

    QStringList names{scr::Title, scr::Number};
    QList<QVariantList> rows{{u"A"_s, booked}, {u"B"_s, idle}};
    ListOptions::addActualHours(session, names, rows);
    EXPECT_EQ(names, (QStringList{scr::Title, scr::Number, ListOptions::actualHoursField()}));
    ASSERT_EQ(rows.at(0).size(), 3);
    EXPECT_EQ(rows.at(0).at(2), u"2 h. 20 m."_s);
    EXPECT_TRUE(rows.at(1).value(2).isNull());

    const QList<QVariantList> before = rows;
    ListOptions::addActualHours(session, names, rows);
    EXPECT_EQ(rows, before);
    QStringList titles{scr::Title};
    QList<QVariantList> titleRows{{u"A"_s}};
    ListOptions::addActualHours(session, titles, titleRows);
    EXPECT_EQ(titles, QStringList{scr::Title});
    EXPECT_EQ(titleRows, (QList<QVariantList>{{u"A"_s}}));
}

BX_INSTANTIATE_ENGINES(ActualHoursTest);

} // namespace
} // namespace bx::test
