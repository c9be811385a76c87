// Custom forms from the task editor: a new copy filled in and saved through Form_Form, reopened,
// changed and closed, read-only on a closed task; drop-down lists filled on first focus.

#include "TaskEditorWindowFixture.h"
#include "core/UserRights.h"
#include "support/ScriptedPrompt.h"
#include "tasks/CustomForms.h"
#include "tasks/ui/AttachmentPane.h"
#include "tasks/ui/Form_Form.h"
#include "tasks/ui/SCR_FORM.h"
#include "tasks/ui/frmFormDesigner.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFocusEvent>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::test;

namespace {

const QString kForm = u"O'Neil's inspection"_s;

class CustomFormWindowsTest : public TaskEditorWindowTest
{
protected:
    void SetUp() override
    {
        TaskEditorWindowTest::SetUp();
        db().execute(u"INSERT INTO FORM (Form_Name) VALUES ('Another'), (?)"_s, {kForm});
        const auto field = [&](int key, const char* name, const char* type, const char* table,
                               bool mandatory) {
            db().execute(u"INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY, "
                         "ATTACH_NUMBER, NAME, TYPE, VALUE, MANDATORY, \"left\", "
                         "TOP, WIDTH, HEIGHT, \"table\", FIELD) VALUES (?, ?, 0, "
                         "?, ?, '', ?, 150, ?, 3000, 300, ?, 'SCR_Title')"_s,
                         {kForm, key, QString::fromUtf8(name), QString::fromUtf8(type),
                          db().dialect().flag(mandatory), key * 450, QString::fromUtf8(table)});
        };
        field(1, "Inspector", "EDIT", "", true);
        field(2, "Same", "COMBO", "SCR", false);
        field(3, "Same", "COMBO", "No such table", false);
        field(4, "Passed", "CHECK", "", false);
    }

    /** The value a form copy holds for field `key`. */
    QString valueOf(qlonglong copy, int key)
    {
        return db()
            .scalar(u"SELECT VALUE FROM CONTROL WHERE ATTACH_NUMBER = ? AND "
                    "CONTROL_KEY = ?"_s,
                    {copy, key})
            .toString();
    }
};

// "Add Custom Form": the mandatory field stops the save with its message and title; a save makes
// the copy, which the editor lists and the window then goes on with, fixed to its form.
// Reopened, a change asks on close; a closed task's copy is read-only. A missing table gives one
// message however often its list is entered.
TEST_F(CustomFormWindowsTest, FormsAreAddedFilledReopenedAndReadOnlyWhenClosed)
{
    const qlonglong task = addTask({{scr::Title, u"chairs"_s}});
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    qlonglong copy = 0;
    window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        auto* forms = child<QComboBox>(dialog, "cboForms");
        EXPECT_TRUE(forms->isEnabled());
        forms->setCurrentText(kForm);
        auto* inspector = child<QLineEdit>(dialog, "Field1");
        inspector->setText(u"   "_s);
        trigger(dialog, "Save");
        EXPECT_EQ(prompt.last().text, forms::mandatoryMessage(u"Inspector"_s));
        EXPECT_EQ(prompt.last().title, u"Warning: Field value required"_s);

        for (int i = 0; i < 2; ++i) {
            QFocusEvent in(QEvent::FocusIn);
            QApplication::sendEvent(child<QComboBox>(dialog, "Field3"), &in);
        }
        EXPECT_EQ(prompt.texts().count(
                      forms::missingListMessage(u"Same"_s, u"No such table"_s, u"SCR_Title"_s)),
                  1);

        inspector->setText(u"O'Brien"_s);
        trigger(dialog, "Save");
        EXPECT_FALSE(forms->isEnabled()) << "goes on as the saved copy";
        dialog.reject();
        return 0;
    });
    trigger(window, "AttachForm");
    copy = db().scalar(u"SELECT Attach_Number FROM ATTACH WHERE SCR_Number = ? AND "
                       "Attach_Type = 'X'"_s,
                       {task})
               .toLongLong();
    ASSERT_NE(copy, 0);
    EXPECT_EQ(valueOf(copy, 1), u"O'Brien"_s);
    selectFile(window, copy);

    // Reopened: a change asks; Cancel keeps it open, Yes saves.
    window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        EXPECT_FALSE(child<QComboBox>(dialog, "cboForms")->isEnabled());
        child<QComboBox>(dialog, "Field3")->setEditText(u"changed"_s);
        prompt.answer(PromptAnswer::Cancel).answer(PromptAnswer::Yes);
        dialog.reject();
        EXPECT_EQ(prompt.last().text, kSaveChanges);
        dialog.reject();
        return 0;
    });
    trigger(window, "mnuOpenForm");
    EXPECT_EQ(valueOf(copy, 3), u"changed"_s);
    EXPECT_EQ(sqlNumber("SELECT COUNT(*) FROM ATTACH WHERE Attach_Type = 'X'", {}), 1);

    // A closed task's copy opens read-only and closes without a question.
    const qlonglong done = addTask({{scr::Status, u"C"_s}});
    db().execute(u"UPDATE ATTACH SET SCR_Number = ? WHERE Attach_Number = ?"_s, {done, copy});
    SCR_FORM closed(session, prompt, &host);
    ASSERT_TRUE(closed.open(TaskOpening::existing(done)));
    selectFile(closed, copy);
    bool shown = false;
    closed.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        shown = true;
        EXPECT_FALSE(child<QAction>(dialog, "Save")->isEnabled());
        EXPECT_TRUE(child<QLineEdit>(dialog, "Field1")->isReadOnly());
        EXPECT_FALSE(child<QCheckBox>(dialog, "Field4")->isEnabled());
        child<QLineEdit>(dialog, "Field1")->setText(u"typed anyway"_s);
        dialog.reject();
        return 0;
    });
    trigger(closed, "mnuOpenForm");
    EXPECT_TRUE(shown);
}

// The designer: only administrators open it; a change in the grid shows at once in the preview;
// a new field and a caption are saved together, the copies and other forms untouched.
TEST_F(CustomFormWindowsTest, TheDesignerPreviewsEachChangeAndSavesTheForm)
{
    const UserRecord me = session.user.record;
    session.user.record.administrator = false;
    session.user.record.userId = u"bob"_s;
    {
        frmFormDesigner refused(session, prompt);
        EXPECT_FALSE(refused.refresh());
        EXPECT_EQ(prompt.last().text, UserRights::kNotAdministrator);
    }
    session.user.record = me;
    session.user.record.administrator = true;
    frmFormDesigner designer(session, prompt);
    ASSERT_TRUE(designer.refresh());
    EXPECT_EQ(child<QTreeWidget>(designer, "lvForms")->topLevelItemCount(), 2);
    ASSERT_TRUE(designer.select(kForm));
    auto* grid = child<QTableWidget>(designer, "grdFields");
    ASSERT_EQ(grid->rowCount(), 4);
    EXPECT_NE(child<QLineEdit>(designer, "Field1"), nullptr) << "the preview";

    grid->item(0, int(forms::FieldColumn::Type))->setText(u"check"_s);
    EXPECT_NE(designer.findChild<QCheckBox*>(u"Field1"_s), nullptr);

    trigger(designer, "AddField");
    ASSERT_EQ(grid->rowCount(), 5);
    EXPECT_NE(child<QLineEdit>(designer, "Field5"), nullptr);
    child<QLineEdit>(designer, "txtCaption")->setText(u"Inspection"_s);
    Q_EMIT child<QLineEdit>(designer, "txtCaption")->textEdited(u"Inspection"_s);
    const int shown = int(prompt.texts().size());
    trigger(designer, "Save");
    EXPECT_EQ(prompt.texts().size(), shown) << prompt.last().text.toStdString();
    QStringList types;
    const RecordSet rows = db().query(u"SELECT TYPE FROM CONTROL WHERE FORM_NAME = ? "
                                      "AND ATTACH_NUMBER = 0 ORDER BY CONTROL_KEY"_s,
                                      {kForm});
    for (const QVariantList& row : rows.rows())
        types << row.first().toString();
    EXPECT_EQ(types.join(u','), u"CHECK,COMBO,COMBO,CHECK,EDIT"_s);
    EXPECT_EQ(
        db().scalar(u"SELECT Form_Caption FROM FORM WHERE Form_Name = ?"_s, {kForm}).toString(),
        u"Inspection"_s);

    // Another form chosen over unsaved edits asks first: Cancel stays with them, No drops them.
    grid->item(0, int(forms::FieldColumn::Name))->setText(u"Renamed"_s);
    auto* list = child<QTreeWidget>(designer, "lvForms");
    QTreeWidgetItem* other = list->topLevelItem(list->topLevelItem(0)->text(0) == kForm ? 1 : 0);
    prompt.answer(PromptAnswer::Cancel);
    Q_EMIT list->itemClicked(other, 0);
    EXPECT_EQ(prompt.last().text, kSaveChanges);
    EXPECT_EQ(designer.definition().name, kForm);
    EXPECT_EQ(designer.definition().fields.first().name, u"Renamed"_s);
    prompt.answer(PromptAnswer::No);
    Q_EMIT list->itemClicked(other, 0);
    EXPECT_EQ(designer.definition().name, other->text(0));
    EXPECT_EQ(db().scalar(u"SELECT COUNT(*) FROM CONTROL WHERE FORM_NAME = ? AND "
                          "ATTACH_NUMBER = 0 AND NAME = 'Renamed'"_s,
                          {kForm})
                  .toInt(),
              0);

    // The title bar's close over unsaved edits asks once: Cancel keeps the window, No closes it.
    trigger(designer, "AddField");
    designer.show();
    prompt.answer(PromptAnswer::Cancel);
    EXPECT_FALSE(designer.close());
    EXPECT_TRUE(designer.isVisible());
    prompt.answer(PromptAnswer::No);
    EXPECT_TRUE(designer.close());
    EXPECT_FALSE(designer.isVisible());
    designer.show();
    prompt.answer(PromptAnswer::Cancel);
    EXPECT_FALSE(designer.close()) << "a window shown again asks again";
    EXPECT_FALSE(prompt.pending());
}

// "PDF": the copy's fields as typed, markup and quotes included, read back from the document; a
// document that cannot be written says why.
TEST_F(CustomFormWindowsTest, AFormPrintsAsAPdfThatReadsBack)
{
    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    Form_Form window(session, prompt);
    window.openNew(AttachmentPlace{0, QString(), 0});
    child<QComboBox>(window, "cboForms")->setCurrentText(kForm);
    child<QLineEdit>(window, "Field1")->setText(u"<O'Brien & Sons>"_s);
    child<QCheckBox>(window, "Field4")->setChecked(true);
    const QString path = dir.path() + u"/inspection.pdf"_s;
    ASSERT_TRUE(window.exportPdf(path)) << prompt.last().text.toStdString();

    QProcess reader;
    reader.start(u"pdftotext"_s, {u"-layout"_s, path, u"-"_s});
    ASSERT_TRUE(reader.waitForFinished(30000));
    const QString text = QString::fromUtf8(reader.readAllStandardOutput()).simplified();
    for (const char* line : {"O'Neil's inspection", "Inspector <O'Brien & Sons>", "Passed Yes"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(line)))
            << line << " in: " << text.toStdString();

    EXPECT_FALSE(window.exportPdf(dir.path() + u"/none/x.pdf"_s));
    EXPECT_TRUE(prompt.last().text.startsWith(u"Cannot write"_s))
        << prompt.last().text.toStdString();
}

} // namespace
