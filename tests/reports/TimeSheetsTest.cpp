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
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        clock.setStandardOffsetSeconds(2 * 3600);
        clock.set(QDateTime(kDay, QTime(10, 0)));
        bx::test::addUsers(db(), {QStringLiteral("ann"), QStringLiteral("bob"),
                                  QStringLiteral("carol"), QStringLiteral("dave")});
        bx::test::setUserColumn(db(), QStringLiteral("dave"), QStringLiteral("Supervisor_User_ID"),
                                QStringLiteral("ann"));
        task = bx::test::addTaskRow(db(), {{QString(scr::Title), QStringLiteral("Build")}});
    }

    void signIn(const QString& user) { session.user.userId = user; }

    qint64 book(const QString& hours, const QString& minutes, QDate date = kDay,
                const QString& comment = QStringLiteral("work"), qint64 onTask = 0)
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
            db().query(QStringLiteral("SELECT User_ID, Time_Sheet, Time_Sheet_Minute, "
                                      "Comment_Sheet, Timer_Running FROM TIME_SHEET ORDER BY "
                                      "ID_Sheet"));
        for (const QVariantList& r : rs.rows())
            out << QStringLiteral("%1 %2:%3 %4%5")
                       .arg(r.at(0).toString(), r.at(1).toString(), r.at(2).toString(),
                            r.at(3).toString(),
                            r.at(4).toInt() ? QStringLiteral(" running") : QString());
        return out.join(QStringLiteral(", "));
    }

    QString changeLog()
    {
        QStringList out;
        const RecordSet rs = db().query(
            QStringLiteral("SELECT User_ID, Action, Comment, Old_Value FROM TIME_SHEET_ROUTE ORDER "
                           "BY Id"));
        for (const QVariantList& r : rs.rows())
            out << QStringLiteral("%1 %2 (%3): %4")
                       .arg(r.at(0).toString(), r.at(1).toString(), r.at(2).toString(),
                            r.at(3).toString());
        return out.join(QStringLiteral(" | "));
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
    EXPECT_EQ(refused.refusal()->message,
              QStringLiteral("Please enter a number from hours 0 to 4200000000"));
    EXPECT_EQ(bookings(), QString());

    book(QStringLiteral("4200000000"), QStringLiteral("59"));
    EXPECT_EQ(bookings(), QStringLiteral("ann 4200000000:59 work"));
}

TEST_P(TimeSheetsTest, ABookingStoresTheGmtOfItsLocalDayAndStart)
{
    const qint64 id = book(QStringLiteral("1"), QStringLiteral("5"));
    const RecordSet rs = db().query(
        QStringLiteral("SELECT Date_Sheet, Start_Sheet FROM TIME_SHEET WHERE ID_Sheet = ?"), {id});
    EXPECT_EQ(rs.dateTime(QStringLiteral("Date_Sheet")),
              QDateTime(kDay.addDays(-1), QTime(22, 0), Qt::UTC));
    EXPECT_EQ(rs.dateTime(QStringLiteral("Start_Sheet")), QDateTime(kDay, QTime(7, 15), Qt::UTC));
    const QList<Booking> listed = bookingsOf(session, task);
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed.first().date, kDay);
    EXPECT_EQ(listed.first().start, QTime(9, 15));
    EXPECT_EQ(durationText(listed.first().hours * 60 + listed.first().minutes),
              QStringLiteral("1:05"));
}

TEST_P(TimeSheetsTest, EditAndDeleteLogTheOldValuesWithTheReason)
{
    const qint64 id = book(QStringLiteral("2"), QStringLiteral("5"));
    prompt.answerInput(QStringLiteral("typo"));
    ASSERT_TRUE(editBooking(session, prompt, id, entry(QTime(9, 30), "3", "0")));
    EXPECT_EQ(prompt.last().text,
              QStringLiteral("Please specify comments related to the Time Sheet edited record "));
    prompt.answerInput(QStringLiteral("not mine"));
    ASSERT_TRUE(deleteBooking(session, prompt, id));
    EXPECT_EQ(bookings(), QString());
    EXPECT_EQ(changeLog(),
              QStringLiteral("ann edited (typo): StartDate: 2024-01-31\r\nStartTime: 09:15\r\n"
                             "Working time: 2:05\r\nComment: work | ann deleted (not mine): "
                             "StartDate: 2024-01-31\r\nStartTime: 09:30\r\nWorking time: 3:00\r\n"
                             "Comment: "));
}

TEST_P(TimeSheetsTest, ACancelledReasonOrAnothersBookingChangesNothing)
{
    const qint64 mine = book(QStringLiteral("1"), QStringLiteral("0"));
    signIn(QStringLiteral("bob"));
    const qint64 bobs = book(QStringLiteral("2"), QStringLiteral("0"));
    signIn(QStringLiteral("ann"));
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
              QStringLiteral("Please select a Record to delete."));
    EXPECT_EQ(bookings(), before);
    EXPECT_EQ(changeLog(), QString());

    // An administrator changes it, and it stays bob's.
    session.user.record.administrator = true;
    prompt.answerInput(QStringLiteral("fix"));
    ASSERT_TRUE(editBooking(session, prompt, bobs, entry(QTime(8, 0), "5", "0")));
    EXPECT_EQ(bookings(), QStringLiteral("ann 1:0 work, bob 5:0 "));
}

TEST_P(TimeSheetsTest, EachUsersStopwatchStopsAloneWithItsOwnDuration)
{
    startStopwatch(session, task);
    clock.set(QDateTime(kDay, QTime(11, 0)));
    signIn(QStringLiteral("bob"));
    startStopwatch(session, task);
    EXPECT_EQ(stopwatchStart(session, task), QDateTime(kDay, QTime(9, 0), Qt::UTC));

    clock.set(QDateTime(kDay, QTime(12, 35)));
    signIn(QStringLiteral("ann"));
    EXPECT_EQ(stopStopwatch(session, task), 1);
    EXPECT_EQ(bookings(), QStringLiteral("ann 2:35  , bob 0:0   running"));
    EXPECT_EQ(stopwatchStart(session, task), std::nullopt);
    EXPECT_EQ(stopStopwatch(session, task), 0) << "stopping none changes nothing";
    EXPECT_EQ(bookings(), QStringLiteral("ann 2:35  , bob 0:0   running"));

    signIn(QStringLiteral("bob"));
    clock.set(QDateTime(kDay, QTime(11, 45)));
    EXPECT_EQ(stopStopwatch(session, task), 1);
    EXPECT_EQ(bookings(), QStringLiteral("ann 2:35  , bob 0:45  "));
}

TEST_P(TimeSheetsTest, UsersSeeTheirOwnBookingsAndThoseOfTheUsersBelowThem)
{
    for (const char* user : {"ann", "bob", "dave"}) {
        signIn(QLatin1String(user));
        book(QStringLiteral("1"), QStringLiteral("10"));
    }
    const auto seen = [this](const char* user) {
        signIn(QLatin1String(user));
        QStringList users;
        for (const Booking& b : bookingsOf(session, task))
            users << b.userId;
        return users.join(QLatin1Char(','));
    };
    EXPECT_EQ(seen("ann"), QStringLiteral("ann,dave"));
    EXPECT_EQ(seen("bob"), QStringLiteral("bob"));
    EXPECT_EQ(seen("dave"), QStringLiteral("dave"));
    signIn(QStringLiteral("ann"));
    EXPECT_EQ(bookedMinutes(session, {task, task + 1}), (QHash<qint64, qint64>{{task, 140}}));
    session.user.record.administrator = true;
    EXPECT_EQ(seen("ann"), QStringLiteral("ann,bob,dave"));
    EXPECT_EQ(actualHoursText(bookedMinutes(session, {task}).value(task)),
              QStringLiteral("3 h. 30 m."));
}

TEST_P(TimeSheetsTest, TheReportPricesEachLineToTheCent)
{
    db().execute(QStringLiteral("UPDATE LU_USER SET Rate = 33.33 WHERE USER_ID = 'ann'"));
    db().execute(QStringLiteral("UPDATE LU_USER SET Rate = 0.03 WHERE USER_ID = 'dave'"));
    const auto newTask = [this](const char* title, QVariantMap more = {}) {
        more.insert(QString(scr::Title), QLatin1String(title));
        return bx::test::addTaskRow(db(), more);
    };
    book(QStringLiteral("1"), QStringLiteral("30"));
    signIn(QStringLiteral("dave"));
    for (const char* title : {"One", "Two", "Three"})
        book(QStringLiteral("0"), QStringLiteral("10"), kDay, {}, newTask(title));
    signIn(QStringLiteral("carol"));
    db().execute(QStringLiteral("UPDATE LU_USER SET Supervisor_User_ID = 'ann' WHERE USER_ID = "
                                "'carol'"));
    book(QStringLiteral("2"), QStringLiteral("0"), kDay, {}, newTask("<b>R&D</b>"));
    book(QStringLiteral("5"), QStringLiteral("0"), kDay.addDays(1), {}, newTask("Late"));
    book(QStringLiteral("1"), QStringLiteral("0"), kDay, {},
         newTask("Secret", {{QString(scr::Sensitive), true},
                            {QString(scr::RequestId), QStringLiteral("bob")},
                            {QString(scr::OwnerUserId), QStringLiteral("bob")}}));
    book(QStringLiteral("1"), QStringLiteral("0"), kDay, {},
         newTask("Asked", {{QString(scr::Sensitive), true},
                           {QString(scr::RequestId), QStringLiteral("ANN")},
                           {QString(scr::OwnerUserId), QStringLiteral("bob")}}));
    signIn(QStringLiteral("ann"));

    const TimeSheetRequest request{0, 7, {}, kDay.addDays(-7), kDay};
    const TimeSheetTotals totals = readTimeSheets(session, request);
    QStringList lines;
    for (const TimeSheetLine& l : totals.lines)
        lines << QStringLiteral("%1/%2 %3 %4")
                     .arg(l.title, l.userId, durationText(l.minutes), money::dollars(l.cents));
    EXPECT_EQ(lines.join(QStringLiteral(", ")),
              QStringLiteral("<b>R&D</b>/carol 2:00 $00000.00, Asked/carol 1:00 $00000.00, "
                             "Build/ann 1:30 $00050.00, One/dave 0:10 $00000.01, Three/dave "
                             "0:10 $00000.01, Two/dave 0:10 $00000.01"));
    EXPECT_EQ(money::dollars(totals.cents), QStringLiteral("$00050.03"));
    EXPECT_EQ(totals.minutes, 5 * 60 + 0);

    const QString page = reportPage(totals, request, {}, kDay);
    EXPECT_TRUE(page.contains(QStringLiteral("&lt;b&gt;R&amp;D&lt;/b&gt;")));
    EXPECT_FALSE(page.contains(QStringLiteral("<b>R&D")));
    EXPECT_TRUE(page.contains(QStringLiteral("Summary by User: dave</td><td class=\"BXSumFont\">"
                                             "&nbsp;</td><td class=\"BXSumFont\">0:30</td><td "
                                             "class=\"BXSumFont\">$00000.03")));
    EXPECT_TRUE(page.contains(QStringLiteral("Totals: </td><td class=\"BXSumFont\">&nbsp;</td>"
                                             "<td class=\"BXSumFont\">5:00</td><td "
                                             "class=\"BXSumFont\">$00050.03")));

    // One user's bookings, and one task's.
    TimeSheetRequest daves = request;
    daves.userId = QStringLiteral("DAVE");
    EXPECT_EQ(readTimeSheets(session, daves).minutes, 30);
    TimeSheetRequest build = request;
    build.task = task;
    EXPECT_EQ(readTimeSheets(session, build).lines.size(), 1);
}

TEST(TimeSheetPeriodTest, PeriodsAreCountedBackFromToday)
{
    const QDate today(2024, 3, 31);
    EXPECT_EQ(*periodOf(PeriodKind::LastMonths, QStringLiteral("1"), {}, {}, today),
              std::pair(QDate(2024, 2, 29), today));
    EXPECT_EQ(*periodOf(PeriodKind::LastDays, QStringLiteral("10"), {}, {}, today),
              std::pair(QDate(2024, 3, 21), today));
    EXPECT_EQ(
        periodOf(PeriodKind::LastMonths, QStringLiteral("x"), {}, {}, today).refusal()->message,
        QStringLiteral("Please specify Number of Months"));
    EXPECT_EQ(periodOf(PeriodKind::LastDays, {}, {}, {}, today).refusal()->message,
              QStringLiteral("Please specify Number of Days"));
    EXPECT_EQ(periodOf(PeriodKind::Dates, {}, today, today.addDays(-1), today).refusal()->message,
              QStringLiteral("Start Date is more then the End one."));
}

} // namespace

BX_INSTANTIATE_ENGINES(TimeSheetsTest);
