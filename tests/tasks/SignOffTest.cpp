// Sign-off attachments as the task editor stores them: the approval note and a checklist's copy,
// written and read back on each engine.

#include "tasks/SignOff.h"

#include "TaskTestSupport.h"
#include "tasks/Attachments.h"
#include "tasks/MemoText.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::test::tasks;

namespace {

class SignOffTest : public TaskTest
{
protected:
    RecordSet storedRow(const PendingAttachment& pending, qlonglong task)
    {
        const Outcome<qlonglong> number =
            attachments::add(db(), AttachmentPlace{task, QString(), kShop7}, pending);
        EXPECT_TRUE(number);
        return db().query(u"SELECT * FROM ATTACH WHERE Attach_Number = ?"_s,
                          {number ? *number : 0});
    }
};

// Blank texts are refused; the stamp trims text and user, the content names who signed and the
// day; the note is owned, dated in GMT and unpublished. The fixed clock is two hours ahead of GMT.
TEST_P(SignOffTest, ApprovalAndChecklistAttachmentsStoreTheirStamp)
{
    clock.setStandardOffsetSeconds(2 * 3600);
    for (const char* blank : {"", "   ", "\t\n"})
        EXPECT_EQ(signoff::approvalNote(QString::fromUtf8(blank), true, kMe, clock).refusal(),
                  RefusalOf<>{memo::kSpecifyTitle});
    EXPECT_EQ(signoff::checklistAttachment(u" "_s, false, kMe, clock).refusal(),
              RefusalOf<>{u"Please specify a Checklist"_s});

    const qlonglong task = addTaskRow(db(), {{scr::Title, u"sign"_s}});
    const QString text = u" O'Brien's \"go\", with a comma "_s;
    for (bool approved : {true, false}) {
        SCOPED_TRACE(approved);
        const Outcome<PendingAttachment> note =
            signoff::approvalNote(text, approved, u" ann "_s, clock);
        ASSERT_TRUE(note);
        const RecordSet row = storedRow(*note, task);
        EXPECT_EQ(row.text(u"Attach_Title"_s),
                  u"O'Brien's \"go\", with a comma, ann, 2024-01-31 14:05"_s);
        EXPECT_EQ(row.text(u"Attach_Type"_s), u"M"_s);
        EXPECT_TRUE(row.text(u"Attach_Filename"_s).isEmpty());
        EXPECT_FALSE(row.flag(u"Publish"_s));
        EXPECT_EQ(RecordSet::toDateTime(row.value(u"Attach_Date"_s)), at(2024, 1, 31, 12, 5, 9));
        EXPECT_EQ(memo::readText(db(), row.number(u"Attach_Number"_s)),
                  (approved ? u"Approved by: "_s : u"Disapproved by: "_s) + u"ann : 2024-01-31"_s);
    }

    const Outcome<PendingAttachment> copy =
        signoff::checklistAttachment(u"O'Neil's release"_s, true, kMe, clock);
    ASSERT_TRUE(copy);
    const RecordSet row = storedRow(*copy, task);
    EXPECT_EQ(row.text(u"Attach_Title"_s), u"Checklist: O'Neil's release, ann, 2024-01-31 14:05"_s);
    EXPECT_EQ(row.text(u"Attach_Type"_s), u"K"_s);
    EXPECT_EQ(row.text(u"Attach_Filename"_s), u"O'Neil's release"_s);
    EXPECT_TRUE(row.flag(u"Show_In_TabBar"_s));
    EXPECT_EQ(row.text(u"Attach_Owner"_s), kMe);
}

BX_INSTANTIATE_ENGINES(SignOffTest);

} // namespace
