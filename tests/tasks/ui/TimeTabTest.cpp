#include "TaskEditorWindowFixture.h"
#include "reports/TimeSheets.h"
#include "reports/ui/dlgTimeSheet.h"
#include "tasks/TaskOpening.h"
#include "tasks/ui/SCR_FORM.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::test;

namespace {

const char* const kRecordCommands[] = {"ListView2", "cmdAdd", "cmdEdit", "cmdDelete", "cmdReport"};

/** The editor's time tab, signed in as ann with bob working under her. */
class TimeTabTest : public TaskEditorWindowTest
{
protected:
    void SetUp() override
    {
        TaskEditorWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        session.user.record.userId = kMe; // not the built-in administrator the fixture starts as
        setUserColumn(db(), u"bob"_s, u"Supervisor_User_ID"_s, kMe);
        task = addTask({{scr::Title, u"Chairs"_s}, {scr::GroupId, kShop}});
    }

    /** Whether each of the tab's commands is on, as "name=1" or "name=0". */
    QStringList enabling(QWidget& window)
    {
        QStringList out;
        for (const char* name : kRecordCommands)
            out << u"%1=%2"_s.arg(QLatin1String(name))
                       .arg(child<QWidget>(window, name)->isEnabled());
        for (const char* name : {"cmdStart", "cmdStop"})
            out << u"%1=%2"_s.arg(QLatin1String(name))
                       .arg(child<QWidget>(window, name)->isEnabled());
        return out;
    }

    QStringList expected(bool records, bool start, bool stop)
    {
        QStringList out;
        for (const char* name : kRecordCommands)
            out << u"%1=%2"_s.arg(QLatin1String(name)).arg(records);
        out << u"cmdStart=%1"_s.arg(start) << u"cmdStop=%1"_s.arg(stop);
        return out;
    }

    void click(QWidget& window, const char* name) { child<QPushButton>(window, name)->click(); }

    qlonglong bookingCount()
    {
        return sqlNumber("SELECT COUNT(*) FROM TIME_SHEET WHERE SCR_Number_Sheet = ?", {task});
    }

    qlonglong task = 0;
};

// A new task books nothing until it is saved; once saved the tab's commands come on, the
// stopwatch's stop only while it runs.
TEST_F(TimeTabTest, CommandsWaitForTheTaskToBeSaved)
{
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::newTask(TaskType::Task, kShop)));
    window.show();
    EXPECT_EQ(enabling(window), expected(false, false, false));

    child<QLineEdit>(window, "T_TITLE")->setText(u"Tables"_s);
    trigger(window, "Save");
    ASSERT_EQ(host.saved.size(), 1);
    EXPECT_EQ(enabling(window), expected(true, true, false));
}

// Edit without a selection names what is missing; another user's booking is refused before the
// reason is asked, and stays.
TEST_F(TimeTabTest, MessagesOfTheRecordCommands)
{
    session.user.userId = u"bob"_s;
    ASSERT_TRUE(timesheet::addBooking(
        session, task, {clock.nowLocal().date(), QTime(9, 0), u"1"_s, u"0"_s, u"Bob's"_s}));
    session.user.userId = kMe;

    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    window.show();
    EXPECT_EQ(enabling(window), expected(true, true, false));
    click(window, "cmdEdit");
    EXPECT_EQ(prompt.texts(), QStringList{u"Please select a Record to edit."_s});

    prompt.clear();
    auto* list = child<QTreeWidget>(window, "ListView2");
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(3), u"bob"_s);
    list->setCurrentItem(list->topLevelItem(0));
    click(window, "cmdDelete");
    EXPECT_EQ(prompt.texts(),
              QStringList{u"This time record is bob's; only your own records may be changed."_s});
    EXPECT_FALSE(prompt.pending());
    EXPECT_EQ(bookingCount(), 1);
}

// The stopwatch runs on from its stored start in a window opened later, and its stop books the
// time since then.
TEST_F(TimeTabTest, StopwatchOutlivesTheEditorAndBooksItsTime)
{
    {
        SCR_FORM window(session, prompt, &host);
        ASSERT_TRUE(window.open(TaskOpening::existing(task)));
        window.show();
        click(window, "cmdStart");
        EXPECT_EQ(enabling(window), expected(true, false, true));
        EXPECT_EQ(child<QLabel>(window, "BXTIMER1")->text(), u"0:00:00"_s);
    }
    clock.advanceSeconds(2 * 3600 + 35 * 60 + 7);
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    window.show();
    EXPECT_EQ(enabling(window), expected(true, false, true));
    EXPECT_EQ(child<QLabel>(window, "BXTIMER1")->text(), u"2:35:07"_s);

    click(window, "cmdStop");
    EXPECT_EQ(enabling(window), expected(true, true, false));
    EXPECT_EQ(child<QLabel>(window, "BXTIMER1")->text(), u"0:00:00"_s);
    auto* list = child<QTreeWidget>(window, "ListView2");
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(2), u"2:35"_s);
    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
}

// The booking window refuses a duration out of range with the focus on the box, writes nothing
// and stays open; in range, it books and closes.
TEST_F(TimeTabTest, BookingWindowRefusesADurationOutOfRange)
{
    {
        dlgTimeSheet dialog(session, prompt, task);
        dialog.show();
        activate(dialog);
        child<QLineEdit>(dialog, "Text1")->setText(u"0"_s);
        child<QLineEdit>(dialog, "txtMinute")->setText(u"60"_s);
        click(dialog, "cmdOK");
        EXPECT_EQ(prompt.texts(), QStringList{u"Please enter a number of minutes from 0 to 59"_s});
        EXPECT_EQ(dialog.focusWidget(), child<QLineEdit>(dialog, "txtMinute"));
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(bookingCount(), 0);
    }
    dlgTimeSheet dialog(session, prompt, task);
    dialog.show();
    child<QLineEdit>(dialog, "Text1")->setText(u"4200000000"_s);
    child<QLineEdit>(dialog, "txtMinute")->setText(u"59"_s);
    click(dialog, "cmdOK");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(sqlNumber("SELECT Time_Sheet FROM TIME_SHEET WHERE SCR_Number_Sheet = ?", {task}),
              4200000000);
}

} // namespace
