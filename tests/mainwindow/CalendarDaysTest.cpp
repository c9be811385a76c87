#include "mainwindow/CalendarDays.h"

#include "core/db/Database.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

using namespace Qt::StringLiterals;

namespace bx::test {
namespace {

constexpr qlonglong kShop = 7;
constexpr qlonglong kOtherShop = 8;
const QString kOwner = u"O'Brien"_s;

QDateTime gmtAt(int y, int mo, int d, int h, int mi = 0)
{
    return naive(QDate(y, mo, d), QTime(h, mi));
}

class CalendarDaysTest : public CurrentSchemaTest
{
protected:
    void arrange() override
    {
        addUsers(db(), {kOwner, u"ann"_s, u"gone"_s});
        db().execute(u"UPDATE LU_USER SET Disabled = 1 WHERE USER_ID = ?"_s, {u"gone"_s});
        for (qlonglong id : {kShop, kOtherShop})
            addWorkshop(db(), id, u"Shop's %1"_s.arg(id));
    }

    /** A task due at the GMT moment; meeting > 0 makes it a meeting. */
    qlonglong addTask(const QString& title, const QDateTime& dueGmt, qlonglong shop = kShop,
                      qlonglong meeting = 0, const QString& status = u"A"_s,
                      const QString& owner = kOwner)
    {
        return addTaskRow(db(), {{u"SCR_Title"_s, title},
                                 {u"SCR_Status"_s, status},
                                 {u"SCR_Group_ID"_s, shop},
                                 {u"SCR_Owner_User_ID"_s, owner},
                                 {u"SCR_Owner_Target_Date"_s, dueGmt},
                                 {u"Meeting_ID"_s, meeting ? QVariant(meeting) : QVariant()}});
    }

    FixedClock clock{naive(QDate(2024, 3, 15), QTime(9, 0)), 2 * 3600};
};

TEST_P(CalendarDaysTest, MarksActiveTasksAndMeetingsOfTheWorkshopOnly)
{
    addTask(u"O'Brien's plan"_s, gmtAt(2024, 3, 5, 10));
    addTask(u"Weekly 'sync'"_s, gmtAt(2024, 3, 12, 8), kShop, 42);
    addTask(u"other workshop"_s, gmtAt(2024, 3, 7, 10), kOtherShop);
    addTask(u"closed"_s, gmtAt(2024, 3, 9, 10), kShop, 0, u"C"_s);
    addTask(u"no due date"_s, QDateTime());
    addTask(u"February"_s, gmtAt(2024, 2, 20, 10));

    const CalendarDays days(db(), clock);
    const CalendarMarks marks = days.marks(kShop, 2024, 3);
    EXPECT_EQ(marks.taskDays, QSet<QDate>{QDate(2024, 3, 5)});
    EXPECT_EQ(marks.meetingDays, QSet<QDate>{QDate(2024, 3, 12)});

    EXPECT_TRUE(days.marks(0, 2024, 3).taskDays.isEmpty());
}

TEST_P(CalendarDaysTest, LocalDayFollowsTheTimeZoneBiasAcrossMidnight)
{
    struct Case
    {
        int offsetHours;
        QDateTime dueGmt;
        QDate localDay;
    };
    const Case cases[] = {
        {2, gmtAt(2024, 3, 31, 23), QDate(2024, 4, 1)}, // east: next day, next month
        {-5, gmtAt(2024, 4, 1, 3), QDate(2024, 3, 31)}, // west: previous day and month
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offsetHours);
        db().execute(u"DELETE FROM SCR"_s);
        const qlonglong n = addTask(u"Ann's report"_s, c.dueGmt);
        clock.setStandardOffsetSeconds(c.offsetHours * 3600);
        const CalendarDays days(db(), clock);

        const CalendarMarks marks = days.marks(kShop, c.localDay.year(), c.localDay.month());
        EXPECT_EQ(marks.taskDays, QSet<QDate>{c.localDay});
        const QDate gmtDay = c.dueGmt.date();
        if (gmtDay.month() != c.localDay.month()) {
            EXPECT_TRUE(days.marks(kShop, gmtDay.year(), gmtDay.month()).taskDays.isEmpty());
        }

        const QList<CalendarDayItem> items = days.day(kShop, c.localDay);
        ASSERT_EQ(items.size(), 1);
        EXPECT_EQ(items[0].number, n);
        EXPECT_EQ(items[0].dueLocal, c.dueGmt.addSecs(c.offsetHours * 3600));
        EXPECT_TRUE(days.day(kShop, c.localDay.addDays(1)).isEmpty());
        EXPECT_TRUE(days.day(kShop, c.localDay.addDays(-1)).isEmpty());
    }
}

TEST_P(CalendarDaysTest, DayListsTasksThenMeetingsOfEnabledOwnersByTitleDescending)
{
    addTask(u"Alpha"_s, gmtAt(2024, 3, 5, 8));
    addTask(u"O'Brien's review"_s, gmtAt(2024, 3, 5, 9));
    const qlonglong meeting = addTask(u"Board"_s, gmtAt(2024, 3, 5, 10), kShop, 3);
    addTask(u"Zulu of a disabled owner"_s, gmtAt(2024, 3, 5, 11), kShop, 0, u"A"_s, u"gone"_s);
    addTask(u"Other shop"_s, gmtAt(2024, 3, 5, 11), kOtherShop);

    const QList<CalendarDayItem> items = CalendarDays(db(), clock).day(kShop, QDate(2024, 3, 5));
    QStringList titles;
    for (const CalendarDayItem& i : items)
        titles << i.title;
    EXPECT_EQ(titles, (QStringList{u"O'Brien's review"_s, u"Alpha"_s, u"Board"_s}));
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0].owner, kOwner);
    EXPECT_TRUE(items[2].meeting);
    EXPECT_EQ(items[2].number, meeting);
    EXPECT_EQ(CalendarDays::dayCell(items[2], 0), u"Meeting"_s);
}

BX_INSTANTIATE_ENGINES(CalendarDaysTest);

} // namespace
} // namespace bx::test
