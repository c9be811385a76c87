#include "core/Gmt.h"

#include "core/db/RecordSet.h"
#include "support/FixedClock.h"
#include "support/FuzzFinds.h"

#include <ctime>
#include <gtest/gtest.h>

using namespace bx;
using namespace Qt::StringLiterals;
using bx::test::FixedClock;

namespace {

QDateTime at(int y, int mo, int d, int h, int mi)
{
    return naive(QDate(y, mo, d), QTime(h, mi));
}

constexpr int kHour = 3600;

} // namespace

// The base bias only: summer time in Berlin must not turn 12:00 into 10:00 GMT.
TEST(Gmt, SystemZoneUsesItsBaseBiasInEverySeason)
{
    const SystemClock berlin(QTimeZone("Europe/Berlin"));
    const GmtConverter gmt(berlin);
    EXPECT_EQ(gmt.toGmt(at(2024, 1, 15, 12, 0)), at(2024, 1, 15, 11, 0));
    EXPECT_EQ(gmt.toGmt(at(2024, 7, 15, 12, 0)), at(2024, 7, 15, 11, 0));
    EXPECT_EQ(gmt.toLocal(at(2024, 7, 15, 11, 0)), at(2024, 7, 15, 12, 0));
    // The hour that summer time skips is still an ordinary value here.
    EXPECT_EQ(gmt.toGmt(at(2024, 3, 31, 2, 30)), at(2024, 3, 31, 1, 30));
}

TEST(Gmt, OffsetsOnBothSidesOfGmt)
{
    struct Case
    {
        int offset;
        QDateTime local;
        QDateTime gmt;
    };
    const Case cases[] = {
        {5 * kHour + 30 * 60, at(2024, 1, 15, 12, 0), at(2024, 1, 15, 6, 30)},
        {-8 * kHour, at(2024, 1, 15, 12, 0), at(2024, 1, 15, 20, 0)},
        {-8 * kHour, at(2024, 12, 31, 18, 0), at(2025, 1, 1, 2, 0)},
        {0, at(2024, 2, 29, 23, 59), at(2024, 2, 29, 23, 59)},
    };
    for (const Case& c : cases) {
        const FixedClock clock(at(2024, 1, 1, 0, 0), c.offset);
        const GmtConverter gmt(clock);
        EXPECT_EQ(gmt.toGmt(c.local), c.gmt) << c.offset;
        EXPECT_EQ(gmt.toLocal(c.gmt), c.local) << c.offset;
        EXPECT_EQ(gmt.toGmt(c.local).timeSpec(), Qt::UTC);
    }
}

TEST(Gmt, DateAndTimePartsComeFromTheConvertedMoment)
{
    const FixedClock plusOne(at(2024, 1, 1, 0, 0), kHour);
    const GmtConverter gmt(plusOne);
    // Local 00:30 on 1 March is still leap day in GMT.
    EXPECT_EQ(gmt.toGmtDate(at(2024, 3, 1, 0, 30)), QDate(2024, 2, 29));
    EXPECT_EQ(gmt.toGmtTime(at(2024, 3, 1, 0, 30)), QTime(23, 30));
    EXPECT_EQ(gmt.toLocalDate(at(2024, 12, 31, 23, 30)), QDate(2025, 1, 1));
    EXPECT_EQ(gmt.toLocalTime(at(2024, 12, 31, 23, 30)), QTime(0, 30));
}

TEST(Gmt, EmptyDateStaysEmpty)
{
    const FixedClock clock(at(2024, 1, 1, 0, 0), kHour);
    const GmtConverter gmt(clock);
    EXPECT_FALSE(gmt.toGmt(QDateTime()).isValid());
    EXPECT_FALSE(gmt.toLocal(QDateTime()).isValid());
    EXPECT_FALSE(gmt.toGmtDate(QDateTime()).isValid());
    EXPECT_FALSE(gmt.toLocalDate(QDateTime()).isValid());
    EXPECT_FALSE(gmt.toGmtTime(QDateTime()).isValid());
    EXPECT_FALSE(gmt.toLocalTime(QDateTime()).isValid());
}

// Stored date texts read back as the same naive fields, whichever form the engine gave.
TEST(Gmt, StoredDateTextsReadBackFieldByField)
{
    const struct
    {
        const char* text;
        QDateTime expected;
    } cases[] = {
        {"2024-02-29 23:59:58", naive(QDate(2024, 2, 29), QTime(23, 59, 58))},
        {"2024-02-29T07:05:00", naive(QDate(2024, 2, 29), QTime(7, 5))},
        {"2024-02-29 07:05", naive(QDate(2024, 2, 29), QTime(7, 5))},
        {"2024-02-29", naive(QDate(2024, 2, 29))},
        {"2024-02-29 07:05:00.250", naive(QDate(2024, 2, 29), QTime(7, 5, 0, 250))},
        {" 2024-03-01 00:00:00 ", naive(QDate(2024, 3, 1), QTime(0, 0))},
        {"2023-02-29", QDateTime()},
        {"2024-01-01 24:00:00", QDateTime()},
        {"", QDateTime()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RecordSet::toDateTime(QString::fromLatin1(c.text)), c.expected) << c.text;
}

// The hour that daylight saving skips in spring exists in GMT, where dates are stored: a stored
// form read as local time there would be lost (a find of the fuzz target date_time).
TEST(Gmt, StoredDatesInTheSkippedHourReadInAnyZone)
{
    const QByteArray oldZone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const QString found =
        QString::fromUtf8(test::fuzzFind("date_time", "skipped-hour-with-milliseconds"));
    const QDateTime read = RecordSet::toDateTime(found);
    const QDateTime plain = RecordSet::toDateTime(u"2024-03-31 02:30:00"_s);
    if (oldZone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldZone);
    tzset();
    EXPECT_EQ(read, naive(QDate(2024, 3, 31), QTime(2, 30))) << found.toStdString();
    EXPECT_EQ(plain, naive(QDate(2024, 3, 31), QTime(2, 30)));
}
