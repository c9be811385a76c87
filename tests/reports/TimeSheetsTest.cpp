#include "reports/TimeSheets.h"

#include "core/db/Database.h"
#include "core/db/Money.h"
#include "core/schema/TaskColumns.h"
#include "reports/TimeSheetReport.h"
#include "support/SessionTest.h"
#include "support/TaskRows.h"

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::timesheet;
using namespace Qt::StringLiterals;

namespace {

const QDate kDay(2024, 1, 31);

BookingInput entry(QTime start, const char* hours, const char* minutes)
{
    return {kDay, start, QLatin1String(hours), QLatin1String(minutes), {}};
}

/**
 * Signed in as "ann", two hours ahead of GMT, on task 5; "dave" works under ann, "bob" and
 * "carol" apart.
 */
class TimeSheetsTest : public bx::test::SessionTest
{
protected:
    void arrange() override
    {
        clock.setStandardOffsetSeconds(2 * 3600);
        clock.set(QDateTime(kDay, QTime(10, 0)));
        bx::test::addUsers(db(), {u"ann"_s, u"bob"_s, u"carol"_s, u"dave"_s});
        bx::test::setUserColumn(db(), u"dave"_s, u"Supervisor_User_ID"_s, u"ann"_s);
        task = bx::test::addTaskRow(db(), {{QString(scr::Title), u"Build"_s}});
    }

    void signIn(const QString& user) { session.user.userId = user; }

    qint64 book(const QString& hours, const QString& minutes, QDate date = kDay,
                const QString& comment = u"work"_s, qint64 onTask = 0)
    {
        const auto id = addBooking(session, onTask ? onTask : task,
                                   {date, QTime(9, 15), hours, minutes, comment});
        EXPECT_TRUE(id) << (id.refusal() ? id.refusal()->message.toStdString() : std::string());
        return id ? *id : 0;
    }

    /** Every booking as "user hours:minutes comment", in ID order. */
    QString bookings()
    {
        QStringList out;
        const RecordSet rs =
            db().query(u"SELECT User_ID, Time_Sheet, Time_Sheet_Minute, "
                       "Comment_Sheet, Timer_Running FROM TIME_SHEET ORDER BY ID_Sheet"_s);
        for (const QVariantList& r : rs.rows())
            out << u"%1 %2:%3 %4%5"_s.arg(r.at(0).toString(), r.at(1).toString(),
                                          r.at(2).toString(), r.at(3).toString(),
                                          r.at(4).toInt() ? u" running"_s : QString());
        return out.join(u", "_s);
    }

    QString changeLog()
    {
        QStringList out;
        const RecordSet rs = db().query(
            u"SELECT User_ID, Action, Comment, Old_Value FROM TIME_SHEET_ROUTE ORDER BY Id"_s);
        for (const QVariantList& r : rs.rows())
            out << u"%1 %2 (%3): %4"_s.arg(r.at(0).toString(), r.at(1).toString(),
                                           r.at(2).toString(), r.at(3).toString());
        return out.join(u" | "_s);
    }

    qint64 task = 0;
};

TEST_P(TimeSheetsTest, DurationsOutOfRangeAreRefusedAndNothingIsWritten)
{
    const struct
    {
        const char* hours;
        const char* minutes;
        TimeSheetField refused;
    } cases[] = {
        {"0", "59", TimeSheetField::None},          {"4200000000", "0", TimeSheetField::None},
        {" 3 ", "5", TimeSheetField::None},         {"0", "60", TimeSheetField::Minutes},
        {"0", "-1", TimeSheetField::Minutes},       {"0", "", TimeSheetField::Minutes},
        {"4200000001", "0", TimeSheetField::Hours}, {"1.5", "0", TimeSheetField::Hours},
        {"two", "0", TimeSheetField::Hours},
    };
    for (const auto& c : cases) {
        const auto refusal = checkDuration(QLatin1String(c.hours), QLatin1String(c.minutes));
        EXPECT_EQ(refusal ? refusal->field : TimeSheetField::None, c.refused)
            << c.hours << " h " << c.minutes << " m";
    }
    const auto refused = addBooking(session, task, entry(QTime(9, 0), "4200000001", "0"));
    ASSERT_TRUE(refused.refusal());
    EXPECT_EQ(refused.refusal()->message, u"Please enter a number from hours 0 to 4200000000"_s);
    EXPECT_EQ(bookings(), QString());

    book(u"4200000000"_s, u"59"_s);
    EXPECT_EQ(bookings(), u"ann 4200000000:59 work"_s);
}

TEST_P(TimeSheetsTest, ABookingStoresTheGmtOfItsLocalDayAndStart)
{
    const qint64 id = book(u"1"_s, u"5"_s);
    const RecordSet rs =
        db().query(u"SELECT Date_Sheet, Start_Sheet FROM TIME_SHEET WHERE ID_Sheet = ?"_s, {id});
    EXPECT_EQ(rs.dateTime(u"Date_Sheet"_s), QDateTime(kDay.addDays(-1), QTime(22, 0), Qt::UTC));
    EXPECT_EQ(rs.dateTime(u"Start_Sheet"_s), QDateTime(kDay, QTime(7, 15), Qt::UTC));
    const QList<Booking> listed = bookingsOf(session, task);
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed.first().date, kDay);
    EXPECT_EQ(listed.first().start, QTime(9, 15));
    EXPECT_EQ(durationText(listed.first().hours * 60 + listed.first().minutes), u"1:05"_s);
}

TEST_P(TimeSheetsTest, EditAndDeleteLogTheOldValuesWithTheReason)
{
    const qint64 id = book(u"2"_s, u"5"_s);
    prompt.answerInput(u"typo"_s);
    ASSERT_TRUE(editBooking(session, prompt, id, entry(QTime(9, 30), "3", "0")));
    EXPECT_EQ(prompt.last().text,
              u"Please specify comments related to the Time Sheet edited record "_s);
    prompt.answerInput(u"not mine"_s);
    ASSERT_TRUE(deleteBooking(session, prompt, id));
    EXPECT_EQ(bookings(), QString());
    EXPECT_EQ(changeLog(),
              u"ann edited (typo): StartDate: 2024-01-31\r\nStartTime: 09:15\r\n"
              "Working time: 2:05\r\nComment: work | ann deleted (not mine): "
              "StartDate: 2024-01-31\r\nStartTime: 09:30\r\nWorking time: 3:00\r\nComment: "_s);
}

TEST_P(TimeSheetsTest, ACancelledReasonOrAnothersBookingChangesNothing)
{
    const qint64 mine = book(u"1"_s, u"0"_s);
    signIn(u"bob"_s);
    const qint64 bobs = book(u"2"_s, u"0"_s);
    signIn(u"ann"_s);
    const QString before = bookings();

    prompt.answerInput(std::nullopt);
    EXPECT_FALSE(editBooking(session, prompt, mine, entry(QTime(8, 0), "5", "0")));
    prompt.answerInput(std::nullopt);
    const auto cancelled = deleteBooking(session, prompt, mine);
    EXPECT_FALSE(cancelled);
    EXPECT_FALSE(cancelled.refusal());

    prompt.clear();
    const auto edit = editBooking(session, prompt, bobs, entry(QTime(8, 0), "5", "0"));
    ASSERT_TRUE(edit.refusal());
    EXPECT_TRUE(deleteBooking(session, prompt, bobs).refusal());
    EXPECT_TRUE(prompt.records().isEmpty()) << "refused before the reason is asked";
    EXPECT_EQ(deleteBooking(session, prompt, std::nullopt).refusal()->message,
              u"Please select a Record to delete."_s);
    EXPECT_EQ(bookings(), before);
    EXPECT_EQ(changeLog(), QString());

    // An administrator changes it, and it stays bob's.
    session.user.record.administrator = true;
    prompt.answerInput(u"fix"_s);
    ASSERT_TRUE(editBooking(session, prompt, bobs, entry(QTime(8, 0), "5", "0")));
    EXPECT_EQ(bookings(), u"ann 1:0 work, bob 5:0 "_s);
}

TEST_P(TimeSheetsTest, EachUsersStopwatchStopsAloneWithItsOwnDuration)
{
    startStopwatch(session, task);
    clock.set(QDateTime(kDay, QTime(11, 0)));
    signIn(u"bob"_s);
    startStopwatch(session, task);
    EXPECT_EQ(stopwatchStart(session, task), QDateTime(kDay, QTime(9, 0), Qt::UTC));

    clock.set(QDateTime(kDay, QTime(12, 35)));
    signIn(u"ann"_s);
    EXPECT_EQ(stopStopwatch(session, task), 1);
    EXPECT_EQ(bookings(), u"ann 2:35  , bob 0:0   running"_s);
    EXPECT_EQ(stopwatchStart(session, task), std::nullopt);
    EXPECT_EQ(stopStopwatch(session, task), 0) << "stopping none changes nothing";
    EXPECT_EQ(bookings(), u"ann 2:35  , bob 0:0   running"_s);

    signIn(u"bob"_s);
    clock.set(QDateTime(kDay, QTime(11, 45)));
    EXPECT_EQ(stopStopwatch(session, task), 1);
    EXPECT_EQ(bookings(), u"ann 2:35  , bob 0:45  "_s);
}

TEST_P(TimeSheetsTest, UsersSeeTheirOwnBookingsAndThoseOfTheUsersBelowThem)
{
    for (const char* user : {"ann", "bob", "dave"}) {
        signIn(QLatin1String(user));
        book(u"1"_s, u"10"_s);
    }
    const auto seen = [this](const char* user) {
        signIn(QLatin1String(user));
        QStringList users;
        for (const Booking& b : bookingsOf(session, task))
            users << b.userId;
        return users.join(u',');
    };
    EXPECT_EQ(seen("ann"), u"ann,dave"_s);
    EXPECT_EQ(seen("bob"), u"bob"_s);
    EXPECT_EQ(seen("dave"), u"dave"_s);
    signIn(u"ann"_s);
    EXPECT_EQ(bookedMinutes(session, {task, task + 1}), (QHash<qint64, qint64>{{task, 140}}));
    session.user.record.administrator = true;
    EXPECT_EQ(seen("ann"), u"ann,bob,dave"_s);
    EXPECT_EQ(actualHoursText(bookedMinutes(session, {task}).value(task)), u"3 h. 30 m."_s);
}

TEST_P(TimeSheetsTest, TheReportPricesEachLineToTheCent)
{
    db().execute(u"UPDATE LU_USER SET Rate = 33.33 WHERE USER_ID = 'ann'"_s);
    db().execute(u"UPDATE LU_USER SET Rate = 0.03 WHERE USER_ID = 'dave'"_s);
    const auto newTask = [this](const char* title, QVariantMap more = {}) {
        more.insert(QString(scr::Title), QLatin1String(title));
        return bx::test::addTaskRow(db(), more);
    };
    book(u"1"_s, u"30"_s);
    signIn(u"dave"_s);
    for (const char* title : {"One", "Two", "Three"})
        book(u"0"_s, u"10"_s, kDay, {}, newTask(title));
    signIn(u"carol"_s);
    db().execute(u"UPDATE LU_USER SET Supervisor_User_ID = 'ann' WHERE USER_ID = 'carol'"_s);
    book(u"2"_s, u"0"_s, kDay, {}, newTask("<b>R&D</b>"));
    book(u"5"_s, u"0"_s, kDay.addDays(1), {}, newTask("Late"));
    book(u"1"_s, u"0"_s, kDay, {},
         newTask("Secret", {{QString(scr::Sensitive), true},
                            {QString(scr::RequestId), u"bob"_s},
                            {QString(scr::OwnerUserId), u"bob"_s}}));
    book(u"1"_s, u"0"_s, kDay, {},
         newTask("Asked", {{QString(scr::Sensitive), true},
                           {QString(scr::RequestId), u"ANN"_s},
                           {QString(scr::OwnerUserId), u"bob"_s}}));
    signIn(u"ann"_s);

    const TimeSheetRequest request{0, 7, {}, kDay.addDays(-7), kDay};
    const TimeSheetTotals totals = readTimeSheets(session, request);
    QStringList lines;
    for (const TimeSheetLine& l : totals.lines)
        lines << u"%1/%2 %3 %4"_s.arg(l.title, l.userId, durationText(l.minutes),
                                      money::dollars(l.cents));
    EXPECT_EQ(lines.join(u", "_s), u"<b>R&D</b>/carol 2:00 $00000.00, Asked/carol 1:00 $00000.00, "
                                   "Build/ann 1:30 $00050.00, One/dave 0:10 $00000.01, Three/dave "
                                   "0:10 $00000.01, Two/dave 0:10 $00000.01"_s);
    EXPECT_EQ(money::dollars(totals.cents), u"$00050.03"_s);
    EXPECT_EQ(totals.minutes, 5 * 60 + 0);

    const QString page = reportPage(totals, request, {}, kDay);
    EXPECT_TRUE(page.contains(u"&lt;b&gt;R&amp;D&lt;/b&gt;"_s));
    EXPECT_FALSE(page.contains(u"<b>R&D"_s));
    EXPECT_TRUE(page.contains(
        u"Summary by User: dave</td><td class=\"BXSumFont\">"
        "&nbsp;</td><td class=\"BXSumFont\">0:30</td><td class=\"BXSumFont\">$00000.03"_s));
    EXPECT_TRUE(page.contains(
        u"Totals: </td><td class=\"BXSumFont\">&nbsp;</td><td class=\"BXSumFont\">5:00</td><td "
        "class=\"BXSumFont\">$00050.03"_s));

    // One user's bookings, and one task's.
    TimeSheetRequest daves = request;
    daves.userId = u"DAVE"_s;
    EXPECT_EQ(readTimeSheets(session, daves).minutes, 30);
    TimeSheetRequest build = request;
    build.task = task;
    EXPECT_EQ(readTimeSheets(session, build).lines.size(), 1);
}

TEST(TimeSheetPeriodTest, PeriodsAreCountedBackFromToday)
{
    const QDate today(2024, 3, 31);
    EXPECT_EQ(*periodOf(PeriodKind::LastMonths, u"1"_s, {}, {}, today),
              std::pair(QDate(2024, 2, 29), today));
    EXPECT_EQ(*periodOf(PeriodKind::LastDays, u"10"_s, {}, {}, today),
              std::pair(QDate(2024, 3, 21), today));
    EXPECT_EQ(periodOf(PeriodKind::LastMonths, u"x"_s, {}, {}, today).refusal()->message,
              u"Please specify Number of Months"_s);
    EXPECT_EQ(periodOf(PeriodKind::LastDays, {}, {}, {}, today).refusal()->message,
              u"Please specify Number of Days"_s);
    EXPECT_EQ(periodOf(PeriodKind::Dates, {}, today, today.addDays(-1), today).refusal()->message,
              u"Start Date is more then the End one."_s);
}

} // namespace

BX_INSTANTIATE_ENGINES(TimeSheetsTest);
