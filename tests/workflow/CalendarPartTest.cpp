#include "workflow/CalendarPart.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using bx::CalendarTask;

CalendarTask datedTask()
{
    CalendarTask task;
    task.number = 17;
    task.title = u"Printer"_s;
    task.description = u"Replace the toner"_s;
    task.target = QDateTime(QDate(2026, 12, 9), QTime(14, 30, 5), Qt::UTC);
    task.databaseId = u"a1b2c3"_s;
    task.sequence = 2;
    task.stamp = QDateTime(QDate(2026, 12, 7), QTime(6, 0), Qt::UTC);
    return task;
}

// Physical lines as they travel (each ended by CR LF).
QList<QByteArray> physicalLines(const QByteArray& bytes)
{
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    QList<QByteArray> lines = bytes.chopped(1).split('\n');
    for (QByteArray& line : lines) {
        EXPECT_TRUE(line.endsWith('\r')) << "bare LF before " << line.toStdString();
        line.chop(1);
    }
    return lines;
}

// Content lines with folding undone.
QList<QByteArray> contentLines(const QByteArray& bytes)
{
    QByteArray unfolded = bytes;
    unfolded.replace("\r\n ", "");
    return physicalLines(unfolded);
}

QByteArray line(const QByteArray& bytes, const QByteArray& name)
{
    for (const QByteArray& l : contentLines(bytes))
        if (l.startsWith(name + ':'))
            return l.mid(name.size() + 1);
    return {};
}

TEST(CalendarPart, PublishesOneUntimedInstantInUtc)
{
    CalendarTask task = datedTask();
    // Two hours east of UTC: the instant must still be written in UTC.
    task.target = QDateTime(QDate(2026, 12, 9), QTime(16, 30, 5), Qt::OffsetFromUTC, 7200);
    const auto part = bx::calendarPart(task);
    ASSERT_TRUE(part);
    EXPECT_EQ(part->fileName, u"BX17.ics"_s);
    EXPECT_EQ(part->contentType, u"text/calendar; method=PUBLISH; charset=utf-8"_s);

    const QList<QByteArray> lines = contentLines(part->bytes);
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines.first(), "BEGIN:VCALENDAR");
    EXPECT_EQ(lines.last(), "END:VCALENDAR");
    EXPECT_TRUE(lines.contains("METHOD:PUBLISH"));
    EXPECT_TRUE(lines.contains("TRANSP:TRANSPARENT"));
    EXPECT_EQ(lines.count("BEGIN:VEVENT"), 1);
    EXPECT_EQ(line(part->bytes, "DTSTART"), "20261209T143005Z");
    EXPECT_EQ(line(part->bytes, "DTSTAMP"), "20261207T060000Z");
    EXPECT_EQ(line(part->bytes, "SEQUENCE"), "2");
    for (const QByteArray& l : lines)
        EXPECT_FALSE(l.startsWith("DTEND") || l.startsWith("DURATION")) << l.toStdString();
}

TEST(CalendarPart, NoPartWithoutDateOrTask)
{
    CalendarTask task = datedTask();
    task.target = QDateTime();
    EXPECT_FALSE(bx::calendarPart(task));

    task = datedTask();
    task.target = QDateTime(QDate(10000, 1, 1), QTime(0, 0), Qt::UTC);
    EXPECT_FALSE(bx::calendarPart(task));

    task = datedTask();
    task.number = 0;
    EXPECT_FALSE(bx::calendarPart(task));
}

TEST(CalendarPart, UidFollowsTaskAndDatabaseNotRevision)
{
    CalendarTask task = datedTask();
    const QByteArray uid = line(bx::calendarPart(task)->bytes, "UID");
    EXPECT_FALSE(uid.isEmpty());

    task.sequence = 5;
    task.title = u"Printer, second floor"_s;
    task.target = task.target.addDays(3);
    task.stamp = task.stamp.addDays(1);
    EXPECT_EQ(line(bx::calendarPart(task)->bytes, "UID"), uid);

    task.number = 18;
    EXPECT_NE(line(bx::calendarPart(task)->bytes, "UID"), uid);
    task = datedTask();
    task.databaseId = u"d4e5f6"_s;
    EXPECT_NE(line(bx::calendarPart(task)->bytes, "UID"), uid);
}

TEST(CalendarPart, TextValuesAreEscaped)
{
    EXPECT_EQ(bx::escapeCalendarText(u"C:\\temp"_s), "C:\\\\temp");
    EXPECT_EQ(bx::escapeCalendarText(u"a;b,c"_s), "a\\;b\\,c");
    EXPECT_EQ(bx::escapeCalendarText(u"1\r\n2\n3\r4\r\r\n5"_s), "1\\n2\\n3\\n4\\n\\n5");
    // Control characters other than tab have no place in a content line.
    EXPECT_EQ(bx::escapeCalendarText(u"a\tb"_s + QChar(0) + u"c\x1b\x7f"_s), "a\tbc");

    CalendarTask task = datedTask();
    task.title = u"Fix; then, test\\ship"_s;
    task.description = u"line one\r\nline two\rline three\nend"_s;
    const auto part = bx::calendarPart(task);
    EXPECT_EQ(line(part->bytes, "SUMMARY"), "Fix\\; then\\, test\\\\ship");
    EXPECT_EQ(line(part->bytes, "DESCRIPTION"), "line one\\nline two\\nline three\\nend");
}

TEST(CalendarPart, LongLinesFoldBetweenWholeCharacters)
{
    // 1-, 2-, 3- and 4-octet characters so that every fold offset meets a sequence somewhere.
    QString title;
    for (int i = 0; i < 40; ++i)
        title += u"aé€😀"_s;
    CalendarTask task = datedTask();
    task.title = title;
    const auto part = bx::calendarPart(task);
    ASSERT_TRUE(part);

    int continuations = 0;
    for (const QByteArray& l : physicalLines(part->bytes)) {
        EXPECT_LE(l.size(), 75) << l.toStdString();
        if (l.startsWith(' ')) {
            ++continuations;
            EXPECT_FALSE(l.startsWith("  "));
        }
        // A split sequence does not survive decoding.
        EXPECT_EQ(QString::fromUtf8(l).toUtf8(), l) << "split sequence in " << l.toStdString();
    }
    EXPECT_GE(continuations, 5);
    EXPECT_EQ(QString::fromUtf8(line(part->bytes, "SUMMARY")), title);

    // Exactly 75 octets stay on one line; one more folds.
    EXPECT_EQ(bx::foldCalendarLine(QByteArray(75, 'x')), QByteArray(75, 'x') + "\r\n");
    EXPECT_EQ(bx::foldCalendarLine(QByteArray(76, 'x')), QByteArray(75, 'x') + "\r\n x\r\n");
    // Octets that are not UTF-8 are still cut, not looped over.
    EXPECT_EQ(bx::foldCalendarLine(QByteArray(80, '\x80')).size(), 80 + 3 + 2);
}

} // namespace
