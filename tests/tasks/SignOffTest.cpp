// Sign-off attachments as the task editor stores them: the approval note and a checklist's copy,
// written and read back on each engine.

#include "tasks/SignOff.h"

#include "TaskTestSupport.h"
#include "tasks/Attachments.h"
#include "tasks/MemoText.h"

#include <gtest/gtest.h>

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
        return db().query(QStringLiteral("SELECT * FROM ATTACH WHERE Attach_Number = ?"),
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
    EXPECT_EQ(signoff::checklistAttachment(QStringLiteral(" "), false, kMe, clock).refusal(),
              RefusalOf<>{signoff::kSpecifyChecklist});

    const qlonglong task = addTaskRow(db(), {{scr::Title, QStringLiteral("sign")}});
    const QString text = QStringLiteral(" O'Brien's \"go\", with a comma ");
    for (bool approved : {true, false}) {
        SCOPED_TRACE(approved);
        const Outcome<PendingAttachment> note =
            signoff::approvalNote(text, approved, QStringLiteral(" ann "), clock);
        ASSERT_TRUE(note);
        const RecordSet row = storedRow(*note, task);
        EXPECT_EQ(row.text(QStringLiteral("Attach_Title")),
                  QStringLiteral("O'Brien's \"go\", with a comma, ann, 2024-01-31 14:05"));
        EXPECT_EQ(row.text(QStringLiteral("Attach_Type")), QStringLiteral("M"));
        EXPECT_TRUE(row.text(QStringLiteral("Attach_Filename")).isEmpty());
        EXPECT_FALSE(row.flag(QStringLiteral("Publish")));
        EXPECT_EQ(RecordSet::toDateTime(row.value(QStringLiteral("Attach_Date"))),
                  at(2024, 1, 31, 12, 5, 9));
        EXPECT_EQ(
            memo::readText(db(), row.number(QStringLiteral("Attach_Number"))),
            (approved ? QStringLiteral("Approved by: ") : QStringLiteral("Disapproved by: ")) +
                QStringLiteral("ann : 2024-01-31"));
    }

    const Outcome<PendingAttachment> copy =
        signoff::checklistAttachment(QStringLiteral("O'Neil's release"), true, kMe, clock);
    ASSERT_TRUE(copy);
    const RecordSet row = storedRow(*copy, task);
    EXPECT_EQ(row.text(QStringLiteral("Attach_Title")),
              QStringLiteral("Checklist: O'Neil's release, ann, 2024-01-31 14:05"));
    EXPECT_EQ(row.text(QStringLiteral("Attach_Type")), QStringLiteral("K"));
    EXPECT_EQ(row.text(QStringLiteral("Attach_Filename")), QStringLiteral("O'Neil's release"));
    EXPECT_TRUE(row.flag(QStringLiteral("Show_In_TabBar")));
    EXPECT_EQ(row.text(QStringLiteral("Attach_Owner")), kMe);
}

BX_INSTANTIATE_ENGINES(SignOffTest);

} // namespace
