#include "TaskEditorWindowFixture.h"
#include "contacts/Contacts.h"
#include "contacts/ui/F_CONTACT.h"
#include "support/ContactRows.h"
#include "support/SampleFiles.h"
#include "tasks/AttachmentView.h"
#include "tasks/MemoText.h"
#include "tasks/ui/AttachmentPane.h"
#include "tasks/ui/SCR_FORM.h"
#include "tasks/ui/dlgAttachLink.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::test;

// "Add from Parent" lists the parent's items; the chosen one is copied to the task under a number
// of its own and listed.
TEST_F(TaskEditorWindowTest, AddFromParentCopiesTheChosenItem)
{
    const qlonglong parent = addTask({{scr::Title, u"parent"_s}});
    const qlonglong file = addAttachment(parent, u"F"_s, "O'Brien's bytes");
    addAttachment(parent, u"M"_s, "a memo");
    const qlonglong task = addTask({{scr::Title, u"child"_s}, {scr::ParentNumber, parent}});
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    ASSERT_TRUE(enabled(window, "mnuAddFromParent"));
    window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        auto* list = child<QTreeWidget>(dialog, "lstAttach");
        EXPECT_EQ(list->topLevelItemCount(), 2);
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->data(0, Qt::UserRole).toLongLong() == file)
                list->setCurrentItem(list->topLevelItem(i));
        child<QPushButton>(dialog, "cmdOK")->click();
        return dialog.result();
    });
    trigger(window, "mnuAddFromParent");

    const RecordSet rows =
        db().query(u"SELECT Attach_Number FROM ATTACH WHERE SCR_Number = ?"_s, {task});
    ASSERT_EQ(rows.rowCount(), 1);
    const qlonglong copy = rows.number(u"Attach_Number"_s);
    EXPECT_NE(copy, file);
    selectFile(window, copy);
}

// A memo opened from its list is changed in the memo window: OK writes its text, and
// the memo box shows the new text. A memo of a completed task opens read-only and stays as it is.
TEST_F(TaskEditorWindowTest, MemoWindowChangesAMemoOnlyWhereAllowed)
{
    session.system.editAttachments = true;
    const qlonglong task = addTask({{scr::Title, u"open"_s}});
    const qlonglong memo = addAttachment(task, u"M"_s, "first");
    {
        SCR_FORM window(session, prompt, &host);
        ASSERT_TRUE(window.open(TaskOpening::existing(task)));
        selectMemo(window, memo);
        window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
            EXPECT_EQ(child<QTextEdit>(dialog, "txtMemo")->toPlainText(), u"first"_s);
            child<QLineEdit>(dialog, "txtTitle")->setText(u"O'Brien's memo"_s);
            child<QTextEdit>(dialog, "txtMemo")->setPlainText(u"O'Brien's second"_s);
            child<QPushButton>(dialog, "cmdOK")->click();
            return dialog.result();
        });
        trigger(window, "mnuLaunchViewer");
        EXPECT_EQ(memo::readText(db(), memo), u"O'Brien's second"_s);
        EXPECT_EQ(child<QTextEdit>(window, "T_Memo")->toPlainText(), u"O'Brien's second"_s);
    }

    const qlonglong done = addTask({{scr::Status, u"C"_s}});
    const qlonglong closed = addAttachment(done, u"M"_s, "final");
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(done)));
    selectMemo(window, closed);
    bool shown = false;
    window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        shown = true;
        auto* text = child<QTextEdit>(dialog, "txtMemo");
        EXPECT_TRUE(text->isReadOnly());
        text->setPlainText(u"changed"_s);
        child<QPushButton>(dialog, "cmdOK")->click();
        return dialog.result();
    });
    trigger(window, "mnuLaunchViewer");
    EXPECT_TRUE(shown);
    EXPECT_EQ(memo::readText(db(), closed), u"final"_s);
}

// The web page and shortcut windows refuse a missing title, then a missing address or path; what
// they hand back is stored with the address or the chosen path, the user as owner, and published
// only when ticked.
TEST_F(TaskEditorWindowTest, LinkWindowsNeedATitleAndATarget)
{
    const qlonglong task = addTask({{scr::Title, u"links"_s}});
    const QString path = dir.filePath(u"O'Brien's plan.txt"_s);
    const QString address = u"https://example.org/O'Brien"_s;
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        auto* form = qobject_cast<dlgAttachLink*>(&dialog);
        EXPECT_NE(form, nullptr);
        if (!form)
            return int(QDialog::Rejected);
        form->setFileChooser([&] { return path; });
        child<QPushButton>(dialog, "cmdOK")->click();
        child<QLineEdit>(dialog, "txtTitle")->setText(u"Bob's link"_s);
        child<QPushButton>(dialog, "cmdOK")->click();
        if (dialog.objectName() == QLatin1String("dlgShortcut")) {
            child<QPushButton>(dialog, "cmdBrowse")->click();
            child<QCheckBox>(dialog, "chkPublish")->setChecked(true);
        } else
            child<QLineEdit>(dialog, "txtAddress")->setText(address);
        child<QPushButton>(dialog, "cmdOK")->click();
        return dialog.result();
    });
    trigger(window, "mnuAddWebPage");
    trigger(window, "mnuAddShortcut");

    EXPECT_EQ(prompt.texts(),
              (QStringList{memo::kSpecifyTitle, u"Please specify a web address"_s,
                           memo::kSpecifyTitle, u"Please specify the path of the file"_s}));
    const RecordSet rows =
        db().query(u"SELECT Attach_Type, Attach_Title, Attach_Filename, Attach_Owner, "
                   "Publish FROM ATTACH WHERE SCR_Number = ? ORDER BY Attach_Number"_s,
                   {task});
    ASSERT_EQ(rows.rowCount(), 2);
    for (int row : {0, 1}) {
        EXPECT_EQ(rows.value(row, u"Attach_Owner"_s).toString(), session.user.userId);
        EXPECT_EQ(rows.value(row, u"Publish"_s).toBool(), row == 1);
    }
    EXPECT_EQ(rows.value(0, u"Attach_Type"_s).toString(), u"W"_s);
    EXPECT_EQ(rows.value(0, u"Attach_Filename"_s).toString(), address);
    EXPECT_EQ(rows.value(1, u"Attach_Type"_s).toString(), u"H"_s);
    EXPECT_EQ(rows.value(1, u"Attach_Filename"_s).toString(), path);
    EXPECT_EQ(rows.value(1, u"Attach_Title"_s).toString(), u"Bob's link"_s);
}

// Save Attachment As writes the stored bytes to the file chosen; Copy Selected Text puts the
// selection of the memo box, lines and all, on the clipboard.
TEST_F(TaskEditorWindowTest, SaveAsAndCopyTextTakeWhatIsStoredAndSelected)
{
    const QByteArray bytes("O'Brien's \0bytes", 16);
    const qlonglong task = addTask({{scr::Title, u"files"_s}});
    const qlonglong file = addAttachment(task, u"F"_s, bytes);
    const qlonglong memo = addAttachment(task, u"M"_s, "Ann's memo:\nO'Brien's plan");
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));

    const QString target = dir.filePath(u"O'Brien's copy.bin"_s);
    window.attachmentPane().setSaveChooser([&](const QString&, const QString&) { return target; });
    selectFile(window, file);
    trigger(window, "mnuSaveAttachment");
    EXPECT_TRUE(fileBytes(target) == bytes);

    selectMemo(window, memo);
    auto* box = child<QTextEdit>(window, "T_Memo");
    QTextCursor cursor = box->textCursor();
    cursor.setPosition(6);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    box->setTextCursor(cursor);
    QApplication::clipboard()->clear();
    trigger(window, "mnuCopyText");
    EXPECT_EQ(QApplication::clipboard()->text(), u"memo:\nO'Brien's plan"_s);
    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
}

// Double-clicking a contact opens its card; one that is gone says so and opens nothing.
TEST_F(TaskEditorWindowTest, ContactAttachmentOpensItsCard)
{
    const qlonglong key = addContactRow(db(), u"O'Brien"_s, u"Pat"_s);
    const qlonglong task = addTask({{scr::Title, u"calls"_s}});
    const qlonglong found = addContactAttachment(db(), task, key);
    const qlonglong gone = addContactAttachment(db(), task, key + 1000);
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    QStringList shown;
    window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        EXPECT_NE(qobject_cast<F_CONTACT*>(&dialog), nullptr) << dialog.objectName().toStdString();
        shown << child<QLineEdit>(dialog, "T_LNAME")->text();
        return int(QDialog::Rejected);
    });
    auto* list = child<QTreeWidget>(window, "AttachListView");
    for (const qlonglong attachment : {found, gone}) {
        selectFile(window, attachment);
        emit list->itemDoubleClicked(list->currentItem(), 0);
    }
    EXPECT_EQ(shown, QStringList{u"O'Brien"_s});
    EXPECT_EQ(prompt.texts(), QStringList{contacts::kNotFound});
}
