#include "tasks/TaskEditor.h"

#include "core/settings/SystemSettings.h"
#include "support/SampleFiles.h"
#include "tasks/TaskTestSupport.h"
#include "tasks/cSCR.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::editor;
using namespace bx::test::tasks;

namespace {

struct CheckCase
{
    const char* name;
    CheckInput in;
    bool mandTarget, mandCategory, mandPriority;
    std::optional<Refusal> expected;
};

CheckInput filled()
{
    CheckInput in;
    in.targetHasDate = true;
    in.title = u"O'Brien's task"_s;
    in.category = kProjects;
    in.priority = u"High"_s;
    return in;
}

template <typename F> CheckInput with(F change)
{
    CheckInput in = filled();
    change(in);
    return in;
}

} // namespace

// The checks run in their fixed order, stop at the first failure, skip disabled fields, and run
// only from the custom form on for a new task.
TEST(TaskEditorChecks, OrderAndConditions)
{
    const CheckInput nothing = with([](CheckInput& in) {
        in.targetHasDate = false;
        in.title.clear();
        in.category = u"   "_s;
        in.priority.clear();
    });
    const Refusal dueDate{{u"Please specify a due date"_s, Field::Target}, true, false};
    const Refusal meetingDate{{u"Please specify a meeting date"_s, Field::Target}, true, false};
    const Refusal name{{u"Please specify a Task Name"_s, Field::Title}, true, true};
    const Refusal folder{{u"Please specify a Folder"_s, Field::Category}, true, true};
    const Refusal priority{{u"Please specify a Priority"_s, Field::Priority}, true, true};
    const CheckCase cases[] = {
        {"all filled, all mandatory", filled(), true, true, true, std::nullopt},
        {"only the title, nothing mandatory", with([](CheckInput& in) {
             in.targetHasDate = false;
             in.category.clear();
             in.priority.clear();
         }),
         false, false, false, std::nullopt},
        {"everything missing: due date first", nothing, true, true, true, dueDate},
        {"due date not checked while disabled", with([&](CheckInput& in) {
             in = nothing;
             in.targetEnabled = false;
         }),
         true, true, true, name},
        {"meeting date whatever the setting", with([](CheckInput& in) {
             in.meeting = true;
             in.targetHasDate = false;
         }),
         false, false, false, meetingDate},
        {"disabled meeting date is not focused", with([](CheckInput& in) {
             in.meeting = true;
             in.targetHasDate = false;
             in.targetEnabled = false;
         }),
         false, false, false,
         Refusal{{u"Please specify a meeting date"_s, Field::Target}, false, false}},
        {"custom form before the name", with([&](CheckInput& in) {
             in = nothing;
             in.targetHasDate = true;
             in.customFormPassed = false;
         }),
         true, true, true, Refusal{{{}, Field::None}, false, false}},
        {"name before folder", with([&](CheckInput& in) {
             in = nothing;
             in.targetHasDate = true;
         }),
         true, true, true, name},
        {"folder of spaces", with([](CheckInput& in) { in.category = u"  "_s; }), false, true,
         false, folder},
        {"folder before priority", with([](CheckInput& in) {
             in.category.clear();
             in.priority.clear();
         }),
         false, true, true, folder},
        {"priority", with([](CheckInput& in) { in.priority.clear(); }), false, false, true,
         priority},
        {"new task skips the dates", with([&](CheckInput& in) {
             in = nothing;
             in.isNew = true;
         }),
         true, true, true, name},
        {"new meeting skips the meeting date", with([](CheckInput& in) {
             in.isNew = true;
             in.meeting = true;
             in.targetHasDate = false;
         }),
         false, false, false, std::nullopt},
        {"no write permission: nothing is checked", with([&](CheckInput& in) {
             in = nothing;
             in.targetEnabled = in.titleEnabled = in.categoryEnabled = in.priorityEnabled = false;
         }),
         true, true, true, std::nullopt},
    };
    for (const CheckCase& c : cases) {
        SystemSettings s;
        s.mandTargetDate = c.mandTarget;
        s.mandCategory = c.mandCategory;
        s.mandPriority = c.mandPriority;
        EXPECT_EQ(checkBeforeSave(c.in, s), c.expected) << c.name;
    }
}

// Typed dates, the date a column keeps, and the estimate's range.
TEST(TaskEditorChecks, DatesAndEstimate)
{
    EXPECT_EQ(parseDate(u" 2024-02-29 "_s), QDate(2024, 2, 29));
    EXPECT_FALSE(parseDate(u"next Tuesday"_s).isValid());
    EXPECT_FALSE(parseDate(QString()).isValid());

    const QDateTime fivePm(QDate(2024, 3, 1), QTime(17, 0));
    EXPECT_EQ(dateForColumn(QDate(2024, 3, 1), fivePm), fivePm);
    EXPECT_EQ(dateForColumn(QDate(2024, 3, 2), fivePm), QDateTime(QDate(2024, 3, 2), QTime(0, 0)));
    EXPECT_FALSE(dateForColumn(QDate(), fivePm).isValid());

    EXPECT_EQ(checkEstimate(u"12"_s, 3, 99).value, 12);
    const EstimateCheck high = checkEstimate(u"100"_s, 3, 99);
    EXPECT_EQ(high.message, u"Must be between 0 and 99"_s);
    EXPECT_EQ(high.value, 3);
    EXPECT_EQ(checkEstimate(u"-1"_s, 3, 99).message, u"Hours estimated must be between 0 and 99"_s);
    EXPECT_EQ(checkEstimate(u"lots"_s, 3, 99).value, 3);
}

TEST(TaskEditorChecks, CommentFile)
{
    QTemporaryDir data;
    qputenv("BRINDLEPAX_DATA", data.path().toUtf8());
    ASSERT_EQ(writeCommentFile(42, u"<p>Ann's \"notes\" – ü</p>"_s), QString());
    EXPECT_EQ(QString::fromUtf8(bx::test::fileBytes(commentFilePath(42))),
              u"<p>Ann's \"notes\" – ü</p>"_s);
    EXPECT_TRUE(commentFilePath(42).endsWith(u"/BXComm/42.bx"_s));
    removeCommentFile(42);
    EXPECT_FALSE(QFile::exists(commentFilePath(42)));

    // A folder that cannot be made: the failure names it, and nothing claims success.
    QFile blocker(data.filePath(u"blocked"_s));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("BRINDLEPAX_DATA", blocker.fileName().toUtf8());
    EXPECT_TRUE(writeCommentFile(42, u"x"_s).contains(u"blocked"_s));
    qunsetenv("BRINDLEPAX_DATA");
}

class TaskEditorTest : public TaskTest
{
};

// Enabling follows the task's status, its owner and the user's rights.
TEST_P(TaskEditorTest, Enabling)
{
    const qlonglong bobs = addTaskRow(
        db(),
        {{scr::Title, u"Bob's"_s}, {scr::OwnerUserId, u"bob"_s}, {scr::LifecycleId, u"Review"_s}});
    const qlonglong mineClosed = addTaskRow(db(), {{scr::Status, u"C"_s}});
    session.user.record.allowForwarding = true;
    session.user.record.allowEditCustom = true;
    cSCR task(session, prompt);
    ASSERT_TRUE(task.Load(bobs));
    EXPECT_EQ(enablingFor(task, session), (Enabling{true, true, false, true, true, false}));
    ASSERT_TRUE(task.Load(mineClosed));
    session.user.record.allowEditCustom = false;
    EXPECT_EQ(enablingFor(task, session), (Enabling{false, false, true, false, false, false}));
}

BX_INSTANTIATE_ENGINES(TaskEditorTest);
