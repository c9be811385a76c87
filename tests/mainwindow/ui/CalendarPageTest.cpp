#include "mainwindow/ui/CalendarPage.h"

#include "core/Session.h"
#include "core/db/SqliteDatabase.h"
#include "core/settings/SettingsStore.h"
#include "mainwindow/ListOptions.h"
#include "mainwindow/ui/DlgTaskListOptions.h"
#include "support/FixedClock.h"
#include "support/ScriptedPrompt.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCharFormat>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using bx::test::ScriptedPrompt;

namespace {

class CalendarPageTest : public bx::test::WindowTest
{
protected:
    qlonglong addDue(const QString& title, const QDateTime& dueGmt, qlonglong meeting)
    {
        return bx::test::addTaskRow(db(), {{u"SCR_Title"_s, title},
                                           {u"SCR_Request_ID"_s, u"O'Brien"_s},
                                           {u"SCR_Owner_User_ID"_s, u"O'Brien"_s},
                                           {u"SCR_Owner_Target_Date"_s, dueGmt},
                                           {u"Meeting_ID"_s, meeting}});
    }
};

} // namespace

// The page asks for a workshop, then marks the days of the month in local time and opens the task
// double-clicked in the day list.
TEST_F(CalendarPageTest, MarksDaysListsTheChosenDayAndOpensTheTask)
{
    clock.set(naive(QDate(2024, 3, 1)));
    clock.setStandardOffsetSeconds(2 * 3600);
    bx::test::addUsers(db(), {u"O'Brien"_s});
    bx::test::addWorkshop(db(), 7, u"Seven's"_s);
    // 23:00 GMT on the 4th is the 5th for a user two hours east.
    const qlonglong task = addDue(u"O'Brien's plan"_s, naive(QDate(2024, 3, 4), QTime(23, 0)), 0);
    addDue(u"Board"_s, naive(QDate(2024, 3, 12), QTime(9, 0)), 5);

    CalendarPage page(session, prompt);
    page.resize(600, 600);
    page.show();
    page.refresh();
    EXPECT_EQ(prompt.texts(), QStringList{u"Please specify Workshop"_s});

    session.currentWorkshopId = 7;
    page.showDate(QDate(2024, 3, 5));
    auto* calendar = page.findChild<QCalendarWidget*>(u"PaxCal"_s);
    ASSERT_NE(calendar, nullptr);
    EXPECT_EQ(calendar->dateTextFormat(QDate(2024, 3, 5)).fontWeight(), QFont::Bold);
    EXPECT_EQ(calendar->dateTextFormat(QDate(2024, 3, 4)).fontWeight(), QFont::Normal);
    EXPECT_EQ(calendar->dateTextFormat(QDate(2024, 3, 12)).foreground().color(), QColor(Qt::blue));

    auto* list = page.findChild<QTableView*>(u"lvDay"_s);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->model()->rowCount(), 1);
    EXPECT_EQ(list->model()->index(0, 1).data().toString(), u"O'Brien's plan"_s);

    QSignalSpy opened(&page, &CalendarPage::openTask);
    const QRect cell = list->visualRect(list->model()->index(0, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first().first().toLongLong(), task);

    // Choosing another day lists that day only.
    calendar->setSelectedDate(QDate(2024, 3, 4));
    EXPECT_EQ(list->model()->rowCount(), 0);
    EXPECT_EQ(prompt.texts().size(), 1);
}

// The options dialog refuses an empty field list, saves the shown set as a profile and stores it
// as the set in use on OK.
TEST(DlgTaskListOptionsTest, EmptyFieldsRefusedThenProfileSavedAndApplied)
{
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(u"MRBX.conf"_s));
    bx::test::FixedClock clock;
    ScriptedPrompt prompt;
    Session session(settings, clock);
    session.system.labelCustom = u"Client's code"_s;

    DlgTaskListOptions dialog(session, prompt);
    auto* fields = dialog.findChild<QListWidget*>(u"lstFields"_s);
    ASSERT_NE(fields, nullptr);
    for (int i = 0; i < fields->count(); ++i)
        fields->item(i)->setCheckState(Qt::Unchecked);
    dialog.findChild<QPushButton*>(u"cmdOK"_s)->click();
    EXPECT_EQ(prompt.last().text, u"Please include at least one field in field list."_s);
    EXPECT_NE(dialog.result(), QDialog::Accepted);

    const auto custom = fields->findItems(u"Client's code"_s, Qt::MatchExactly);
    ASSERT_EQ(custom.size(), 1);
    custom.first()->setCheckState(Qt::Checked);
    auto* node = dialog.findChild<QComboBox*>(u"cboNode"_s);
    node->setCurrentIndex(node->findText(u"Workshop"_s));
    dialog.findChild<QCheckBox*>(u"chkBold"_s)->setChecked(true);

    prompt.answerInput(u"Profile 1"_s);
    dialog.findChild<QPushButton*>(u"cmdSaveProfile"_s)->click();
    EXPECT_EQ(dialog.findChild<QComboBox*>(u"cboProfile"_s)->currentText(), u"Profile 1"_s);
    dialog.findChild<QPushButton*>(u"cmdOK"_s)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    ListOptions options(settings);
    const ListOptionsSet stored = options.current();
    EXPECT_EQ(stored.columns, QStringList{u"SCR_Custom_Field"_s});
    EXPECT_TRUE(stored.font(NodeKind::Workshop).bold);
    EXPECT_EQ(options.profile(u"Profile 1"_s), stored);
    EXPECT_EQ(options.lastProfile(), u"Profile 1"_s);
}
