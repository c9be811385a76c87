#include "TaskEditorWindowFixture.h"
#include "contacts/Contacts.h"
#include "contacts/ui/F_CONTACT.h"
#include "support/ContactRows.h"
#include "support/SampleFiles.h"
#include "tasks/AttachmentView.h"
#include "tasks/Attachments.h"
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

using namespace bx;
using namespace bx::test;

// "Add from Parent" lists the parent's items; OK without a choice refuses, the chosen one is
// copied to the task under a number of its own, with its content, and listed.
TEST_F(TaskEditorWindowTest, AddFromParentCopiesTheChosenItem)
{
    const qlonglong parent = addTask({{scr::Title, QStringLiteral("parent")}});
    const qlonglong file = addAttachment(parent, QStringLiteral("F"), "O'Brien's bytes");
    addAttachment(parent, QStringLiteral("M"), "a memo");
    const qlonglong task =
        addTask({{scr::Title, QStringLiteral("child")}, {scr::ParentNumber, parent}});
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    ASSERT_TRUE(enabled(window, "mnuAddFromParent"));
    window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        auto* list = child<QTreeWidget>(dialog, "lstAttach");
        EXPECT_EQ(list->topLevelItemCount(), 2);
        child<QPushButton>(dialog, "cmdOK")->click();
        EXPECT_EQ(prompt.texts(), QStringList{attachments::kSelectAttachment});
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            if (list->topLevelItem(i)->data(0, Qt::UserRole).toLongLong() == file)
                list->setCurrentItem(list->topLevelItem(i));
        child<QPushButton>(dialog, "cmdOK")->click();
        return dialog.result();
    });
    trigger(window, "mnuAddFromParent");

    const RecordSet rows =
        db().query(QStringLiteral("SELECT Attach_Number FROM ATTACH WHERE SCR_Number = ?"), {task});
    ASSERT_EQ(rows.rowCount(), 1);
    const qlonglong copy = rows.number(QStringLiteral("Attach_Number"));
    EXPECT_NE(copy, file);
    EXPECT_EQ(content(copy), QByteArray("O'Brien's bytes"));
    selectFile(window, copy);
}

// A memo opened from its list is changed in the memo window: OK writes its title and text, and
// the memo box shows the new text. A memo of a completed task opens read-only and stays as it is.
TEST_F(TaskEditorWindowTest, MemoWindowChangesAMemoOnlyWhereAllowed)
{
    session.system.editAttachments = true;
    const qlonglong task = addTask({{scr::Title, QStringLiteral("open")}});
    const qlonglong memo = addAttachment(task, QStringLiteral("M"), "first");
    {
        SCR_FORM window(session, prompt, &host);
        ASSERT_TRUE(window.open(TaskOpening::existing(task)));
        selectMemo(window, memo);
        window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
            EXPECT_EQ(child<QTextEdit>(dialog, "txtMemo")->toPlainText(), QStringLiteral("first"));
            child<QLineEdit>(dialog, "txtTitle")->setText(QStringLiteral("O'Brien's memo"));
            child<QTextEdit>(dialog, "txtMemo")->setPlainText(QStringLiteral("O'Brien's second"));
            child<QPushButton>(dialog, "cmdOK")->click();
            return dialog.result();
        });
        trigger(window, "mnuLaunchViewer");
        EXPECT_EQ(memo::readText(db(), memo), QStringLiteral("O'Brien's second"));
        EXPECT_EQ(db().scalar(QStringLiteral("SELECT Attach_Title FROM ATTACH WHERE "
                                             "Attach_Number = ?"),
                              {memo})
                      .toString(),
                  QStringLiteral("O'Brien's memo"));
        EXPECT_EQ(child<QTextEdit>(window, "T_Memo")->toPlainText(),
                  QStringLiteral("O'Brien's second"));
    }

    const qlonglong done = addTask({{scr::Status, QStringLiteral("C")}});
    const qlonglong closed = addAttachment(done, QStringLiteral("M"), "final");
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(done)));
    selectMemo(window, closed);
    bool shown = false;
    window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        shown = true;
        auto* text = child<QTextEdit>(dialog, "txtMemo");
        EXPECT_TRUE(text->isReadOnly());
        text->setPlainText(QStringLiteral("changed"));
        child<QPushButton>(dialog, "cmdOK")->click();
        return dialog.result();
    });
    trigger(window, "mnuLaunchViewer");
    EXPECT_TRUE(shown);
    EXPECT_EQ(memo::readText(db(), closed), QStringLiteral("final"));
}

// The web page and shortcut windows refuse a missing title, then a missing address or path; what
// they hand back is stored with the address or the chosen path, the user as owner, and published
// only when ticked.
TEST_F(TaskEditorWindowTest, LinkWindowsNeedATitleAndATarget)
{
    const qlonglong task = addTask({{scr::Title, QStringLiteral("links")}});
    const QString path = dir.filePath(QStringLiteral("O'Brien's plan.txt"));
    const QString address = QStringLiteral("https://example.org/O'Brien");
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        auto* form = qobject_cast<dlgAttachLink*>(&dialog);
        EXPECT_NE(form, nullptr);
        if (!form)
            return int(QDialog::Rejected);
        form->setFileChooser([&] { return path; });
        child<QPushButton>(dialog, "cmdOK")->click();
        child<QLineEdit>(dialog, "txtTitle")->setText(QStringLiteral("Bob's link"));
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

    EXPECT_EQ(prompt.texts(), (QStringList{memo::kSpecifyTitle, attachments::kSpecifyWebAddress,
                                           memo::kSpecifyTitle, attachments::kSpecifyPath}));
    const RecordSet rows = db().query(
        QStringLiteral("SELECT Attach_Type, Attach_Title, Attach_Filename, Attach_Owner, "
                       "Publish FROM ATTACH WHERE SCR_Number = ? ORDER BY Attach_Number"),
        {task});
    ASSERT_EQ(rows.rowCount(), 2);
    for (int row : {0, 1}) {
        EXPECT_EQ(rows.value(row, QStringLiteral("Attach_Owner")).toString(), session.user.userId);
        EXPECT_EQ(rows.value(row, QStringLiteral("Publish")).toBool(), row == 1);
    }
    EXPECT_EQ(rows.value(0, QStringLiteral("Attach_Type")).toString(), QStringLiteral("W"));
    EXPECT_EQ(rows.value(0, QStringLiteral("Attach_Filename")).toString(), address);
    EXPECT_EQ(rows.value(1, QStringLiteral("Attach_Type")).toString(), QStringLiteral("H"));
    EXPECT_EQ(rows.value(1, QStringLiteral("Attach_Filename")).toString(), path);
    EXPECT_EQ(rows.value(1, QStringLiteral("Attach_Title")).toString(),
              QStringLiteral("Bob's link"));
}

// Save Attachment As writes the stored bytes to the file chosen; Copy Selected Text puts the
// selection of the memo box, lines and all, on the clipboard.
TEST_F(TaskEditorWindowTest, SaveAsAndCopyTextTakeWhatIsStoredAndSelected)
{
    QByteArray bytes(100'000, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 + i / 251);
    const qlonglong task = addTask({{scr::Title, QStringLiteral("files")}});
    const qlonglong file = addAttachment(task, QStringLiteral("F"), bytes);
    const qlonglong memo = addAttachment(task, QStringLiteral("M"), "Ann's memo:\nO'Brien's plan");
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));

    const QString target = dir.filePath(QStringLiteral("O'Brien's copy.bin"));
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
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("memo:\nO'Brien's plan"));
    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
}

// Double-clicking a contact opens its card, read-only for a user without the right to edit
// contacts; one that is gone says so and opens nothing.
TEST_F(TaskEditorWindowTest, ContactAttachmentOpensItsCard)
{
    session.user.record.userId = kMe;
    const qlonglong key = addContactRow(db(), QStringLiteral("O'Brien"), QStringLiteral("Pat"));
    const qlonglong task = addTask({{scr::Title, QStringLiteral("calls")}});
    const qlonglong found = addContactAttachment(db(), task, key);
    const qlonglong gone = addContactAttachment(db(), task, key + 1000);
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    const auto doubleClick = [&](qlonglong attachment) {
        selectFile(window, attachment);
        auto* list = child<QTreeWidget>(window, "AttachListView");
        emit list->itemDoubleClicked(list->currentItem(), 0);
    };
    for (const bool mayEdit : {true, false}) {
        session.user.record.editContactInfo = mayEdit;
        QStringList shown;
        window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
            auto* card = qobject_cast<F_CONTACT*>(&dialog);
            EXPECT_NE(card, nullptr) << dialog.objectName().toStdString();
            if (card)
                shown << child<QLineEdit>(dialog, "T_LNAME")->text() +
                             (card->isReadOnly() ? QStringLiteral(" read-only")
                                                 : QStringLiteral(" editable"));
            return int(QDialog::Rejected);
        });
        doubleClick(found);
        EXPECT_EQ(shown, QStringList{
                             QStringLiteral("O'Brien ") +
                             (mayEdit ? QStringLiteral("editable") : QStringLiteral("read-only"))});
        shown.clear();
        doubleClick(gone);
        EXPECT_TRUE(shown.isEmpty());
        EXPECT_EQ(prompt.texts(), QStringList{contacts::kNotFound});
        prompt.clear();
    }
}
