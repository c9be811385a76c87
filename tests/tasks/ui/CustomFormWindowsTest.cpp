// Custom forms from the task editor: a new copy filled in and saved through Form_Form, reopened,
// changed and closed, read-only on a closed task; drop-down lists filled on first focus.

#include "TaskEditorWindowFixture.h"
#include "support/ScriptedPrompt.h"
#include "tasks/CustomForms.h"
#include "tasks/ui/AttachmentPane.h"
#include "tasks/ui/Form_Form.h"
#include "tasks/ui/SCR_FORM.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFocusEvent>
#include <QLineEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::test;

namespace {

const QString kForm = QStringLiteral("O'Neil's inspection");

class CustomFormWindowsTest : public TaskEditorWindowTest
{
protected:
    void SetUp() override
    {
        TaskEditorWindowTest::SetUp();
        db().execute(QStringLiteral("INSERT INTO FORM (Form_Name) VALUES ('Another'), (?)"),
                     {kForm});
        const auto field = [&](int key, const char* name, const char* type, const char* table,
                               bool mandatory) {
            db().execute(QStringLiteral("INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY, "
                                        "ATTACH_NUMBER, NAME, TYPE, VALUE, MANDATORY, \"left\", "
                                        "TOP, WIDTH, HEIGHT, \"table\", FIELD) VALUES (?, ?, 0, "
                                        "?, ?, '', ?, 150, ?, 3000, 300, ?, 'SCR_Title')"),
                         {kForm, key, QString::fromUtf8(name), QString::fromUtf8(type),
                          db().dialect().flag(mandatory), key * 450, QString::fromUtf8(table)});
        };
        field(1, "Inspector", "EDIT", "", true);
        field(2, "Same", "COMBO", "SCR", false);
        field(3, "Same", "COMBO", "No such table", false);
        field(4, "Passed", "CHECK", "", false);
    }
};

// "Add Custom Form": the mandatory field stops the save with its message and title; a save makes
// the copy, which the editor lists and the window then goes on with, fixed to its form.
// Reopened, a change in the second of two same-named fields asks on close; a closed task's copy
// is read-only. A list fills on first focus; a missing table gives one message.
TEST_F(CustomFormWindowsTest, FormsAreAddedFilledReopenedAndReadOnlyWhenClosed)
{
    const qlonglong task = addTask({{scr::Title, QStringLiteral("chairs")}});
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    qlonglong copy = 0;
    window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        auto* forms = child<QComboBox>(dialog, "cboForms");
        EXPECT_TRUE(forms->isEnabled());
        trigger(dialog, "Save");
        EXPECT_EQ(prompt.last().text, forms::kSelectForm);
        forms->setCurrentText(kForm);
        auto* inspector = child<QLineEdit>(dialog, "Field1");
        inspector->setText(QStringLiteral("   "));
        trigger(dialog, "Save");
        EXPECT_EQ(prompt.last().text, forms::mandatoryMessage(QStringLiteral("Inspector")));
        EXPECT_EQ(prompt.last().title, forms::kMandatoryTitle);

        auto* list = child<QComboBox>(dialog, "Field2");
        QFocusEvent focus(QEvent::FocusIn);
        QApplication::sendEvent(list, &focus);
        EXPECT_EQ(list->count(), 1) << "the task titles";
        for (int i = 0; i < 2; ++i) {
            QFocusEvent in(QEvent::FocusIn);
            QApplication::sendEvent(child<QComboBox>(dialog, "Field3"), &in);
        }
        EXPECT_EQ(prompt.texts().count(forms::missingListMessage(QStringLiteral("Same"),
                                                                 QStringLiteral("No such table"),
                                                                 QStringLiteral("SCR_Title"))),
                  1);

        inspector->setText(QStringLiteral("O'Brien"));
        trigger(dialog, "Save");
        EXPECT_FALSE(forms->isEnabled()) << "goes on as the saved copy";
        dialog.reject();
        return 0;
    });
    trigger(window, "AttachForm");
    copy = db().scalar(QStringLiteral("SELECT Attach_Number FROM ATTACH WHERE SCR_Number = ? AND "
                                      "Attach_Type = 'X'"),
                       {task})
               .toLongLong();
    ASSERT_NE(copy, 0);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT VALUE FROM CONTROL WHERE ATTACH_NUMBER = ? AND "
                                         "CONTROL_KEY = 1"),
                          {copy})
                  .toString(),
              QStringLiteral("O'Brien"));
    selectFile(window, copy);

    // Reopened: the second "Same" changed asks; Cancel keeps it open, Yes saves.
    window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        EXPECT_FALSE(child<QComboBox>(dialog, "cboForms")->isEnabled());
        child<QComboBox>(dialog, "Field3")->setEditText(QStringLiteral("changed"));
        prompt.answer(PromptAnswer::Cancel).answer(PromptAnswer::Yes);
        dialog.reject();
        EXPECT_EQ(prompt.last().text, forms::kSaveChanges);
        dialog.reject();
        return 0;
    });
    trigger(window, "mnuOpenForm");
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT VALUE FROM CONTROL WHERE ATTACH_NUMBER = ? AND "
                                         "CONTROL_KEY = 3"),
                          {copy})
                  .toString(),
              QStringLiteral("changed"));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM ATTACH WHERE Attach_Type = 'X'"))
                  .toLongLong(),
              1);

    // Saved by another client meanwhile: nothing is overwritten; Yes keeps the values as a new
    // copy, which the editor lists.
    window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        db().execute(QStringLiteral("UPDATE ATTACH SET Publish = 1 WHERE Attach_Number = ?"),
                     {copy});
        child<QLineEdit>(dialog, "Field1")->setText(QStringLiteral("late"));
        prompt.answer(PromptAnswer::Yes);
        trigger(dialog, "Save");
        EXPECT_EQ(prompt.last().text, forms::kSavedElsewhere);
        dialog.reject();
        return 0;
    });
    trigger(window, "mnuOpenForm");
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT COUNT(*) FROM CONTROL WHERE VALUE = 'late'"))
                  .toLongLong(),
              1);
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT VALUE FROM CONTROL WHERE ATTACH_NUMBER = ? AND "
                                         "CONTROL_KEY = 1"),
                          {copy})
                  .toString(),
              QStringLiteral("O'Brien"));
    EXPECT_EQ(child<QTreeWidget>(window, "AttachListView")->topLevelItemCount(), 2);

    // A closed task's copy opens read-only and closes without a question.
    const qlonglong done = addTask({{scr::Status, QStringLiteral("C")}});
    db().execute(QStringLiteral("UPDATE ATTACH SET SCR_Number = ? WHERE Attach_Number = ?"),
                 {done, copy});
    SCR_FORM closed(session, prompt, &host);
    ASSERT_TRUE(closed.open(TaskOpening::existing(done)));
    selectFile(closed, copy);
    bool shown = false;
    closed.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        shown = true;
        EXPECT_FALSE(child<QAction>(dialog, "Save")->isEnabled());
        EXPECT_TRUE(child<QLineEdit>(dialog, "Field1")->isReadOnly());
        EXPECT_FALSE(child<QCheckBox>(dialog, "Field4")->isEnabled());
        child<QLineEdit>(dialog, "Field1")->setText(QStringLiteral("typed anyway"));
        dialog.reject();
        return 0;
    });
    trigger(closed, "mnuOpenForm");
    EXPECT_TRUE(shown);
}

} // namespace
