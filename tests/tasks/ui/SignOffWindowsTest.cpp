// The sign-off commands of the task editor: the approval window and "Select Checklist" hand the
// editor one attachment each, which it stores and lists.

#include "TaskEditorWindowFixture.h"
#include "support/ScriptedPrompt.h"
#include "tasks/MemoText.h"
#include "tasks/SignOff.h"
#include "tasks/ui/AttachmentPane.h"
#include "tasks/ui/SCR_FORM.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::test;

namespace {

/** The fixed clock's local time as every stamp writes it. */
const QString kNow = u"2024-01-31 14:05"_s;

QString attachKey(qlonglong number)
{
    return u"00"_s + QString::number(number);
}

} // namespace

// A blank text is refused and the window stays; Disapprove then Approve store one memo each,
// holding who signed it; Cancel stores nothing.
TEST_F(TaskEditorWindowTest, ApprovalWindowStoresTheSignedMemo)
{
    const qlonglong task = addTask({{scr::Title, u"sign me"_s}});
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    const char* button = nullptr;
    window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        auto* box = child<QLineEdit>(dialog, "txtTitle");
        box->setText(u" \t "_s);
        child<QPushButton>(dialog, "cmdApprove")->click();
        EXPECT_EQ(dialog.result(), 0) << "a blank text closed the window";
        box->setText(u"  O'Brien said \"no\", twice "_s);
        child<QPushButton>(dialog, button)->click();
        return dialog.result();
    });
    for (const char* name : {"cmdDisapprove", "cmdCancel", "cmdApprove"}) {
        button = name;
        child<QAction>(window, "mnuAddSignature")->trigger();
    }

    EXPECT_EQ(prompt.texts(), QStringList(3, memo::kSpecifyTitle));
    const RecordSet rows = db().query(u"SELECT Attach_Number, Attach_Title FROM ATTACH "
                                      "WHERE SCR_Number = ? ORDER BY Attach_Number"_s,
                                      {task});
    ASSERT_EQ(rows.rowCount(), 2);
    EXPECT_EQ(rows.value(0, u"Attach_Title"_s).toString(),
              u"O'Brien said \"no\", twice, ann, "_s + kNow);
    const QStringList contents{u"Disapproved by: ann : 2024-01-31"_s,
                               u"Approved by: ann : 2024-01-31"_s};
    for (int row : {0, 1})
        EXPECT_EQ(memo::readText(db(), rows.value(row, u"Attach_Number"_s).toLongLong()),
                  contents.at(row));
}

// "Select Checklist" lists the current workshop's checklists by name, refuses OK without one, and
// hands back the checklist.
TEST_F(TaskEditorWindowTest, SelectChecklistAttachesTheChosenOne)
{
    addWorkshop(db(), 8, u"Eight"_s);
    for (const auto& [name, workshop] : {std::pair{"Zeta", kShop}, std::pair{"alpha 'A'", kShop},
                                         std::pair{"Elsewhere", qlonglong(8)}})
        db().execute(u"INSERT INTO CHECKLIST (Checklist_Name, group_id) VALUES (?, ?)"_s,
                     {QString::fromUtf8(name), workshop});
    const qlonglong task = addTask({{scr::Title, u"check me"_s}});
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        auto* list = child<QComboBox>(dialog, "cmbCheckList");
        QStringList names;
        for (int i = 0; i < list->count(); ++i)
            names << list->itemText(i);
        EXPECT_EQ(names, (QStringList{u"alpha 'A'"_s, u"Zeta"_s}));
        child<QPushButton>(dialog, "cmdOK")->click();
        list->setCurrentIndex(1);
        child<QCheckBox>(dialog, "chkTabBar")->setChecked(true);
        child<QPushButton>(dialog, "cmdOK")->click();
        return dialog.result();
    });
    child<QAction>(window, "mnuAddChecklist")->trigger();

    EXPECT_EQ(prompt.texts(), QStringList{u"Please specify a Checklist"_s});
    const RecordSet rows = db().query(
        u"SELECT Attach_Number, Attach_Filename FROM ATTACH WHERE SCR_Number = ?"_s, {task});
    ASSERT_EQ(rows.rowCount(), 1);
    EXPECT_EQ(rows.text(u"Attach_Filename"_s), u"Zeta"_s);
    select(window, "AttachListView", attachKey(rows.number(u"Attach_Number"_s)));
}
