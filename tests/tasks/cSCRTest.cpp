#include "tasks/cSCR.h"

#include "TaskTestSupport.h"

#include <gtest/gtest.h>
#include <optional>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::test::tasks;

namespace {

class cSCRTest : public TaskTest
{
};

TEST_P(cSCRTest, CreateStartsAnActiveTaskOfMineWithEveryDateNow)
{
    cSCR task(session, prompt);
    const qlonglong first = task.Create(TaskType::Meeting);
    ASSERT_GT(first, 0);
    EXPECT_EQ(task.SCR_Number(), first);
    EXPECT_TRUE(task.isNew());
    EXPECT_EQ(task.SCR_Owner_User_ID() + task.SCR_Request_ID() + task.SCR_Status(), u"annannA"_s);
    EXPECT_EQ(task.SCR_Request_Group_ID() * 100 + task.SCR_Group_ID(), 707);
    for (const char* column : {"SCR_Request_Date", "SCR_Owner_Date_In", "SCR_Owner_Date_Viewed",
                               "SCR_Owner_Target_Date", "SCR_StartDate", "SCR_Lifecycle_End_Date"})
        EXPECT_EQ(task.value(QString::fromLatin1(column)).toDateTime(), clock.nowLocal()) << column;
    EXPECT_TRUE(task.changedColumns().isEmpty());
    EXPECT_TRUE(task.SCR_Permission_Write() && task.SCR_Permission_Forward());
    EXPECT_FALSE(task.SCR_Permission_Reopen());

    // The row holds the drawn number only; the task number is written by the first save.
    const RecordSet row = db().query(u"SELECT * FROM SCR WHERE SCR_Counter = ?"_s, {first});
    ASSERT_EQ(row.rowCount(), 1);
    EXPECT_TRUE(row.isNull(scr::Number));
    EXPECT_GT(task.Create(TaskType::Task), first);
    EXPECT_TRUE(prompt.records().isEmpty());
}

TEST_P(cSCRTest, LoadReadsEveryKindOfColumnAndShowsDatesInLocalTime)
{
    const QString title = u"It's \"quoted\"; O''Brien -- ' OR 1=1"_s;
    const qlonglong number = addTaskRow(db(), {
                                                  {scr::Title, title},
                                                  {scr::Status, u"C"_s},
                                                  {scr::OwnerUserId, u"bob"_s},
                                                  {scr::OwnerTargetDate, at(2024, 7, 1, 22, 30)},
                                                  {scr::StartDate, QVariant()},
                                                  {scr::FirmTargetDate, true},
                                                  {scr::PercentComplete, 40},
                                                  {scr::CommentsAsText, u"plain text only"_s},
                                              });

    cSCR task(session, prompt);
    ASSERT_TRUE(task.Load(number));
    EXPECT_EQ(task.SCR_Title(), title);
    EXPECT_EQ(task.value(u"scr_comments"_s), u"plain text only"_s);
    EXPECT_EQ(task.value(scr::FirmTargetDate), true);
    EXPECT_EQ(task.value(scr::PercentComplete), 40);
    EXPECT_EQ(task.value(scr::LcOwnerGroupId), 0);
    // GMT + 2 h: the evening in GMT is the next morning here.
    EXPECT_EQ(task.SCR_Owner_Target_Date(), at(2024, 7, 2, 0, 30));
    EXPECT_FALSE(task.SCR_StartDate().isValid());
    EXPECT_TRUE(task.changedColumns().isEmpty());
    EXPECT_FALSE(task.SCR_Permission_Write() || task.SCR_Permission_Reopen()); // bob's task
    EXPECT_EQ(task.storedValue(scr::OwnerTargetDate), at(2024, 7, 1, 22, 30));

    // History entries carry the due date in GMT, as the route rows store it.
    task.queueHistory(u"Task saved"_s, u"n"_s);
    ASSERT_EQ(task.pendingHistory().size(), 1);
    const RouteHistoryEntry& e = task.pendingHistory().first();
    EXPECT_EQ(e.targetDate, at(2024, 7, 1, 22, 30));
    EXPECT_EQ(e.ownerUser + QString::number(e.groupId), u"bob7"_s);

    // Loading again starts afresh: the queue is emptied and a meeting is recognised.
    const qlonglong meeting = addTaskRow(db(), {{scr::MeetingId, 99}, {scr::Title, QVariant()}});
    ASSERT_TRUE(task.Load(meeting));
    EXPECT_EQ(task.taskType(), TaskType::Meeting);
    EXPECT_TRUE(task.pendingHistory().isEmpty());
    EXPECT_EQ(task.SCR_Title(), QString());
    EXPECT_TRUE(prompt.records().isEmpty());
}

TEST_P(cSCRTest, LoadRefusesNumberZeroAndMissingTasksInTheTaskErrorBox)
{
    cSCR task(session, prompt);
    task.setSCR_Title(u"kept"_s);
    EXPECT_FALSE(task.Load(0));
    EXPECT_EQ(task.SCR_Title(), u"kept"_s);
    EXPECT_FALSE(task.Load(4242));
    EXPECT_EQ(taskErrors().size(), 2) << shown();
}

TEST_P(cSCRTest, ViewedDateIsSetOnceAndOnlyForTheOwner)
{
    const QDateTime earlier = at(2024, 1, 2, 3, 4, 5);
    struct Case
    {
        const char* owner;
        QVariant viewedGmt;
        QVariant expectGmt; ///< Null: stays empty
    } cases[] = {
        {" ANN ", QVariant(), at(2024, 1, 31, 12, 5, 9)}, // now, local 14:05:09 at GMT + 2 h
        {"bob", QVariant(), QVariant()},
        {"ann", earlier, earlier},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.owner);
        const qlonglong number = addTaskRow(db(), {{scr::OwnerUserId, QString::fromLatin1(c.owner)},
                                                   {scr::OwnerDateViewed, c.viewedGmt}});
        cSCR task(session, prompt);
        ASSERT_TRUE(task.Load(number));
        const QVariant gmt = stored(number, scr::OwnerDateViewed);
        if (c.expectGmt.isNull()) {
            EXPECT_TRUE(gmt.isNull());
            EXPECT_FALSE(task.SCR_Owner_Date_Viewed().isValid());
            continue;
        }
        EXPECT_EQ(RecordSet::toDateTime(gmt), c.expectGmt.toDateTime());
        EXPECT_EQ(task.SCR_Owner_Date_Viewed(), c.expectGmt.toDateTime().addSecs(2 * kHour));
        EXPECT_TRUE(task.changedColumns().isEmpty())
            << task.changedColumns().join(u',').toStdString();

        // A later opening keeps the first viewing.
        clock.advanceSeconds(5 * kHour);
        cSCR again(session, prompt);
        ASSERT_TRUE(again.Load(number));
        EXPECT_EQ(RecordSet::toDateTime(stored(number, scr::OwnerDateViewed)),
                  c.expectGmt.toDateTime());
        clock.advanceSeconds(-5 * kHour);
    }
    EXPECT_TRUE(prompt.records().isEmpty());
}

// Each date of a loaded task is edited in turn; only its own change test may answer true. The
// clock's base bias applies whatever the season, so a value loaded across a daylight-saving
// change and written back as shown is no change.
TEST_P(cSCRTest, DateChangeTestsCompareWithTheValueAsLoaded)
{
    const QDateTime lateGmt = at(2024, 3, 9, 23, 30);   // 01:30 the next day at GMT + 2 h
    const QDateTime changeGmt = at(2024, 3, 10, 7, 30); // 02:30 at GMT - 5 h, a night of change
    const struct
    {
        const char* name;
        QDateTime storedGmt;
        int offsetHours;
        std::optional<QDateTime> edit; // nullopt: untouched; invalid: cleared
        bool changed;
    } cases[] = {
        {"untouched across midnight", lateGmt, 2, {}, false},
        {"same local value set again", lateGmt, 2, at(2024, 3, 10, 1, 30), false},
        {"stored GMT value set as local", lateGmt, 2, lateGmt, true},
        {"next day, same time", lateGmt, 2, at(2024, 3, 11, 1, 30), true},
        {"one second later", lateGmt, 2, at(2024, 3, 10, 1, 30, 1), true},
        {"cleared", lateGmt, 2, QDateTime(), true},
        {"on the clock-change night", changeGmt, -5, at(2024, 3, 10, 2, 30), false},
        {"shifted by daylight saving", changeGmt, -5, at(2024, 3, 10, 3, 30), true},
    };
    const QStringList columns = {scr::OwnerTargetDate, scr::StartDate, scr::LifecycleEndDate};
    clock.set(at(2024, 7, 15, 9, 0)); // read in summer
    for (const auto& c : cases) {
        clock.setStandardOffsetSeconds(c.offsetHours * kHour);
        QVariantMap row{{scr::OwnerUserId, u"bob"_s}};
        for (const QString& column : columns)
            row.insert(column, c.storedGmt);
        const qlonglong number = addTaskRow(db(), row);
        for (const QString& column : columns) {
            SCOPED_TRACE(std::string(c.name) + ", " + column.toStdString());
            cSCR task(session, prompt);
            ASSERT_TRUE(task.Load(number));
            if (c.edit)
                task.setValue(column, *c.edit);
            const bool answers[] = {task.IsTargetChanged(), task.IsStartChanged(),
                                    task.IsLCDateChanged()};
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(answers[i], c.changed && columns[i] == column) << i;
            EXPECT_EQ(task.changedColumns(), c.changed ? QStringList{column} : QStringList{});
        }
    }
}

BX_INSTANTIATE_ENGINES(cSCRTest);

} // namespace
