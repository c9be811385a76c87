#include "TaskEditorWindowFixture.h"
#include "core/Clock.h"
#include "messaging/ui/dlgEmail.h"
#include "support/Lifecycles.h"
#include "support/SampleFiles.h"
#include "support/ScriptedPrompt.h"
#include "support/Watchdog.h"
#include "tasks/AttachmentTransfer.h"
#include "tasks/MemoText.h"
#include "tasks/Recurrence.h"
#include "tasks/TaskEditor.h"
#include "tasks/ui/ATTFILE.h"
#include "tasks/ui/AttachmentPane.h"
#include "tasks/ui/SCR_FORM.h"

#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::test;

// A new task with only its name saves when nothing is mandatory: the row, its description cache
// and the host's notice; the window closes.
TEST_F(TaskEditorWindowTest, NewTaskWithOnlyATitleSaves)
{
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::newTask(TaskType::Task, kShop)));
    window.show();
    const qlonglong number = window.SCR().SCR_Number();
    child<QLineEdit>(window, "T_TITLE")->setText(u"O'Brien's \"plan\""_s);
    trigger(window, "Save");

    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
    EXPECT_EQ(stored(number, "SCR_Title").toString(), u"O'Brien's \"plan\""_s);
    EXPECT_EQ(stored(number, "SCR_Group_ID").toLongLong(), kShop);
    EXPECT_EQ(host.saved, (QList<std::pair<qlonglong, bool>>{{number, true}}));
    EXPECT_TRUE(QFile::exists(editor::commentFilePath(number)));
    EXPECT_FALSE(window.isVisible());
}

// A refused save shows the refusal on the first tab with the focus on the field and keeps the
// window.
TEST_F(TaskEditorWindowTest, RefusedSaveFocusesTheField)
{
    session.system.mandCategory = true;
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::newTask(TaskType::Task, kShop)));
    window.show();
    child<QLineEdit>(window, "T_TITLE")->setText(u"Ann's"_s);
    child<QLineEdit>(window, "T_CATEGORY")->setText(u"   "_s);
    auto* tabs = child<QTabWidget>(window, "SSTab1");
    tabs->setCurrentIndex(3);
    trigger(window, "Save");
    EXPECT_EQ(prompt.texts(), QStringList{u"Please specify a Folder"_s});
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(window.focusWidget(), child<QLineEdit>(window, "T_CATEGORY"));
    EXPECT_TRUE(host.saved.isEmpty());
    EXPECT_TRUE(window.isVisible());
    prompt.answer(PromptAnswer::No); // "Do you want to save changes?"
    window.close();
}

// A sub-task opened with the copy flag takes the parent's values, its title with " - Subtask",
// no lifecycle, and the parent's number; without the flag it takes only the parent's number.
TEST_F(TaskEditorWindowTest, SubTaskCopiesItsParent)
{
    const qlonglong parent = addTask({{scr::Title, u"Ann's \"big\" job"_s},
                                      {scr::Category, u"O'Neil's folder"_s},
                                      {scr::LifecycleId, u"Review"_s},
                                      {scr::LcStageName, u"Draft"_s}});
    session.system.getParentParams = true;
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::subTaskOf(parent, kShop)));
    EXPECT_EQ(child<QLineEdit>(window, "T_TITLE")->text(), u"Ann's \"big\" job - Subtask"_s);
    EXPECT_EQ(child<QLineEdit>(window, "T_CATEGORY")->text(), u"O'Neil's folder"_s);
    EXPECT_EQ(child<QLineEdit>(window, "T_LIFECYCLE")->text(), QString());
    EXPECT_EQ(window.SCR().SCR_Parent_Number(), parent);

    trigger(window, "Save");
    const qlonglong number = host.saved.value(0).first;
    EXPECT_EQ(stored(number, "SCR_Parent_Number").toLongLong(), parent);
    EXPECT_EQ(stored(number, "SCR_Lifecycle_ID").toString(), QString());

    session.system.getParentParams = false;
    SCR_FORM plain(session, prompt, &host);
    ASSERT_TRUE(plain.open(TaskOpening::subTaskOf(parent, kShop)));
    EXPECT_EQ(child<QLineEdit>(plain, "T_TITLE")->text(), QString());
    EXPECT_EQ(plain.SCR().SCR_Parent_Number(), parent);
}

// A task from a template with a lifecycle is routed into that lifecycle by its first save.
TEST_F(TaskEditorWindowTest, TemplateWithLifecycleRoutesAtSave)
{
    test::addLifecycle(db(), u"Bob's review"_s, kShop,
                       {test::userStage(u"Draft"_s, u"bob"_s, kShop)});
    const qlonglong templ = addTask({{scr::Title, u"template"_s},
                                     {scr::Template, true},
                                     {scr::LifecycleId, u"Bob's review"_s}});
    addAttachment(templ);
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::fromTemplate(templ, kShop)));
    EXPECT_EQ(child<QLineEdit>(window, "T_TITLE")->text(), QString());
    const qlonglong number = window.SCR().SCR_Number();
    child<QLineEdit>(window, "T_TITLE")->setText(u"From O'Brien's template"_s);
    trigger(window, "Save");

    EXPECT_EQ(stored(number, "SCR_Lifecycle_ID").toString(), u"Bob's review"_s);
    EXPECT_EQ(stored(number, "SCR_LC_Stage_Name").toString(), u"Draft"_s);
    EXPECT_EQ(stored(number, "SCR_Owner_User_ID").toString(), u"bob"_s);
    EXPECT_EQ(sqlNumber("SELECT COUNT(*) FROM ATTACH WHERE SCR_Number = ?", {number}), 1);
}

// Activating the window moves a passed weekly due date on and says so once.
TEST_F(TaskEditorWindowTest, RecurrenceNoteOnceOnActivation)
{
    const qlonglong task =
        addTask({{scr::Title, u"weekly"_s},
                 {scr::RecurringFrequency, u"weekly"_s},
                 {scr::OwnerTargetDate, naive(QDate(2024, 1, 16), QTime(9, 0))}});
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    activate(window);
    activate(window);
    EXPECT_EQ(prompt.texts(),
              QStringList{u"Note: Target date has been updated to reflect recurring task"_s});
    EXPECT_EQ(child<QLineEdit>(window, "T_TARGET")->text(), u"2024-02-06"_s);
}

// What the user may do with attachments follows the task: an active task of his own takes new
// items and, with Edit_Attachments, changes to its memos; a completed one shows them read-only.
TEST_F(TaskEditorWindowTest, AttachCommandsAndMemoBoxesFollowTheRights)
{
    session.system.editAttachments = true;
    const qlonglong open = addTask({{scr::Title, u"open"_s}});
    const qlonglong memo = addAttachment(open, u"M"_s, "first");
    const qlonglong file = addAttachment(open, u"F"_s, "bytes");
    {
        SCR_FORM window(session, prompt, &host);
        ASSERT_TRUE(window.open(TaskOpening::existing(open)));
        for (const char* name : {"mnuAddMemo", "AttachForm", "mnuDeleteItem"})
            EXPECT_TRUE(enabled(window, name)) << name;
        EXPECT_FALSE(enabled(window, "mnuAddFromParent"));
        selectFile(window, file);
        selectMemo(window, memo);
        auto* box = child<QTextEdit>(window, "T_Memo");
        EXPECT_EQ(box->toPlainText(), u"first"_s);
        EXPECT_FALSE(box->isReadOnly());
        box->setPlainText(u"O'Brien's second thoughts"_s);
        trigger(window, "Save");
        EXPECT_EQ(memo::readText(db(), memo), u"O'Brien's second thoughts"_s);
    }

    const qlonglong done = addTask({{scr::Status, u"C"_s}});
    const qlonglong closed = addAttachment(done, u"M"_s, "final");
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(done)));
    for (const char* name : {"mnuAddMemo", "AttachForm", "mnuDeleteItem"})
        EXPECT_FALSE(enabled(window, name)) << name;
    selectMemo(window, closed);
    EXPECT_TRUE(child<QTextEdit>(window, "T_Memo")->isReadOnly());
    EXPECT_TRUE(child<QTextEdit>(window, "T_MEMODiscussion")->isReadOnly());
}

// "Email": the record of the sent e-mail joins the description, and the save keeps it.
TEST_F(TaskEditorWindowTest, EmailRecordJoinsTheDescription)
{
    // The sender's address is the one the log-on read.
    session.user.record.email = u"ann@example.org"_s;
    const qlonglong mine = addTask({{scr::Title, u"mine"_s}});
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(mine)));
    window.show();
    auto* description = child<QTextEdit>(window, "T_SCRCOMMENTS");
    description->setPlainText(u"Before"_s);
    QTimer::singleShot(0, &window, [&] {
        auto* mail = window.findChild<dlgEmail*>();
        ASSERT_NE(mail, nullptr);
        child<QLineEdit>(*mail, "txtTo")->setText(u"o'brien@example.org"_s);
        child<QAction>(*mail, "Send")->trigger();
    });
    trigger(window, "mnuEmail");
    EXPECT_TRUE(description->toPlainText().startsWith(
        u"Before\n   ======================= Email ====================  \n"_s))
        << description->toPlainText().toStdString();
    trigger(window, "Save");
    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
    EXPECT_TRUE(stored(mine, "SCR_Comments").toString().contains(u"brien@example.org"_s));
}

// "Add File" through its window: the remembered folder, OK refusing a missing title, then the
// file stored whole and listed; a discard takes it back.
TEST_F(TaskEditorWindowTest, AddFileThroughItsWindow)
{
    const QString path = dir.filePath(u"O'Brien's plan.txt"_s);
    ASSERT_TRUE(writeFile(path, QByteArray(70'000, 'p')));
    settings.set(u"AttachFile"_s, u"InitDir"_s, u"/srv/O'Neil"_s);

    const qlonglong task = addTask({{scr::Title, u"files"_s}});
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    window.show();
    QString startedIn;
    window.attachmentPane().setDialogRunner([&](QDialog& dialog) {
        auto* form = qobject_cast<ATTFILE*>(&dialog);
        EXPECT_NE(form, nullptr);
        if (!form)
            return int(QDialog::Rejected);
        form->setFileChooser([&](const QString& folder) {
            startedIn = folder;
            return path;
        });
        form->chooseFile();
        child<QPushButton>(dialog, "cmdOK")->click();
        EXPECT_EQ(prompt.texts(), QStringList{memo::kSpecifyTitle});
        child<QLineEdit>(dialog, "txtTitle")->setText(u"Bob's \"plan\""_s);
        child<QPushButton>(dialog, "cmdOK")->click();
        return dialog.result();
    });
    trigger(window, "AttachFile");

    EXPECT_EQ(startedIn, u"/srv/O'Neil"_s);
    EXPECT_EQ(settings.get(u"AttachFile"_s, u"InitDir"_s), dir.path());
    const RecordSet rows = db().query(
        u"SELECT Attach_Number, Attach_Title FROM ATTACH WHERE SCR_Number = ?"_s, {task});
    ASSERT_EQ(rows.rowCount(), 1);
    const qlonglong number = rows.number(u"Attach_Number"_s);
    EXPECT_EQ(rows.text(u"Attach_Title"_s), u"Bob's \"plan\""_s);
    EXPECT_EQ(content(number), QByteArray(70'000, 'p'));
    selectFile(window, number);

    // "Do you want to save changes?": Cancel keeps the window, No discards.
    prompt.answer(PromptAnswer::Cancel);
    window.close();
    EXPECT_TRUE(window.isVisible());
    prompt.answer(PromptAnswer::No);
    window.close();
    EXPECT_EQ(sqlNumber("SELECT COUNT(*) FROM ATTACH WHERE SCR_Number = ?", {task}), 0);
}

// A copy the user changed in his viewer is streamed back only after Yes; without a change, or
// after No, nothing is asked again; the copies go when the editor closes. A program is not opened.
TEST_F(TaskEditorWindowTest, ViewerCopySavedBackOnlyOnYes)
{
    session.system.editAttachments = true;
    const qlonglong task = addTask({{scr::Title, u"viewer"_s}});
    const qlonglong number = addAttachment(task, u"F"_s, "stored");
    const qlonglong program = addAttachment(task, u"F"_s, programBytes());
    QList<QUrl> opened;
    QString copy;
    {
        SCR_FORM window(session, prompt, &host);
        ASSERT_TRUE(window.open(TaskOpening::existing(task)));
        window.show();
        window.attachmentPane().setOpener([&](const QUrl& url) {
            opened << url;
            return true;
        });
        // A program stored under a document's name reaches the viewer folder, not the desktop.
        selectFile(window, program);
        trigger(window, "mnuLaunchViewer");
        EXPECT_TRUE(opened.isEmpty());
        ASSERT_EQ(prompt.texts().size(), 1);
        EXPECT_TRUE(
            prompt.texts().first().endsWith(u"O'Brien's plan.txt"_s + attachments::kIsAProgram));
        prompt.clear();

        selectFile(window, number);
        trigger(window, "mnuLaunchViewer");
        ASSERT_EQ(opened.size(), 1);
        copy = opened.first().toLocalFile();

        const auto edit = [&](const QByteArray& bytes) { ASSERT_TRUE(writeFile(copy, bytes)); };
        const QString question = attachments::changedQuestion(u"O'Brien's plan.txt"_s);
        edit("first edit");
        prompt.answer(PromptAnswer::No);
        activate(window);
        activate(window);
        EXPECT_EQ(prompt.texts(), QStringList{question});
        EXPECT_EQ(content(number), QByteArray("stored"));

        edit("second edit, longer");
        prompt.answer(PromptAnswer::Yes);
        window.close();
        EXPECT_EQ(prompt.texts(), (QStringList{question, question}));
        EXPECT_EQ(content(number), QByteArray("second edit, longer"));
    }
    EXPECT_FALSE(QFile::exists(copy));
}

// A description naming /dev/zero or a pipe as an image opens at once, and a custom caption of
// the settings shows as written.
TEST_F(TaskEditorWindowTest, StoredTextLoadsNothingAndShowsAsWritten)
{
    const QString fifo = dir.filePath(u"fifo"_s);
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    session.system.showCustom = true;
    session.system.labelCustom = u"<b>x</b><img src=x>"_s;
    for (const QString& source : {u"file:///dev/zero"_s, fifo}) {
        const QString comment = u"<p>see<img src=\""_s + source + u"\"></p>"_s;
        const qlonglong task = addTask({{scr::Title, u"planted"_s}, {u"SCR_Comments"_s, comment}});
        SCR_FORM window(session, prompt, &host);
        {
            const Watchdog watchdog("opening a task whose description names " +
                                    source.toStdString());
            QElapsedTimer timer;
            timer.start();
            ASSERT_TRUE(window.open(TaskOpening::existing(task)));
            window.show();
            child<QTextEdit>(window, "T_SCRCOMMENTS")->viewport()->grab();
            EXPECT_LT(timer.elapsed(), 1000);
        }
        EXPECT_EQ(child<QTextEdit>(window, "T_SCRCOMMENTS")->toPlainText().trimmed(),
                  u"see\uFFFC"_s);
        auto* custom = child<QLabel>(window, "Label2");
        EXPECT_EQ(custom->text(), session.system.labelCustom);
        EXPECT_EQ(custom->textFormat(), Qt::PlainText);
        window.close();
    }
}

// Two files dropped on the description: No adds nothing, Yes adds each as a file titled with its
// path, not published; their names do not land in the description.
TEST_F(TaskEditorWindowTest, DroppedFilesAskOnceForSeveral)
{
    const qlonglong task = addTask({{scr::Title, u"drops"_s}});
    QList<QUrl> urls;
    for (const QString& name : {u"O'Brien.txt"_s, u"b.bin"_s}) {
        ASSERT_TRUE(writeFile(dir.filePath(name), name.toUtf8()));
        urls << QUrl::fromLocalFile(dir.filePath(name));
    }
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    window.show();
    QWidget* target = child<QTextEdit>(window, "T_SCRCOMMENTS")->viewport();
    auto drop = [&] {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    };
    auto count = [&] {
        return sqlNumber("SELECT COUNT(*) FROM ATTACH WHERE SCR_Number = ? AND Attach_Type = 'F' "
                         "AND Publish = 0",
                         {task});
    };
    prompt.answer(PromptAnswer::No);
    drop();
    EXPECT_EQ(count(), 0);
    prompt.answer(PromptAnswer::Yes);
    drop();
    EXPECT_EQ(prompt.texts(),
              (QStringList{u"You are dropping multiple files.  Would you like to continue?"_s,
                           u"You are dropping multiple files.  Would you like to continue?"_s}));
    EXPECT_EQ(count(), 2);
    EXPECT_EQ(sqlNumber("SELECT COUNT(*) FROM ATTACH WHERE Attach_Title = ?",
                        {urls.first().toLocalFile()}),
              1);
    EXPECT_TRUE(child<QTextEdit>(window, "T_SCRCOMMENTS")->toPlainText().isEmpty());
}

// Cancel in the progress window of a transfer stores nothing; the editor does not close while the
// transfer runs.
TEST_F(TaskEditorWindowTest, CancelledTransferStoresNothing)
{
    const QString path = dir.filePath(u"O'Brien's drawing.bin"_s);
    ASSERT_TRUE(writeFile(path, QByteArray(400'000, 'd')));
    const qlonglong task = addTask({{scr::Title, u"objects"_s}});
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    window.show();
    window.attachmentPane().setOpenChooser([&](const QString&, const QString&) { return path; });
    bool stayedOpen = false;
    QTimer::singleShot(0, &window, [&] {
        window.close();
        stayedOpen = window.isVisible();
        auto* progress = window.findChild<QProgressDialog*>(u"TransferProgress"_s);
        ASSERT_NE(progress, nullptr);
        progress->cancel();
    });
    trigger(window, "mnuAddObject");

    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
    EXPECT_EQ(sqlNumber("SELECT COUNT(*) FROM ATTACH WHERE SCR_Number = ?", {task}), 0);
}

// A save whose memo write fails writes no history; saving again records each change once.
TEST_F(TaskEditorWindowTest, SavingAgainAfterAFailedMemoWriteRecordsTheHistoryOnce)
{
    session.system.editAttachments = true;
    const qlonglong task = addTask({{scr::Title, u"open"_s}});
    const qlonglong memo = addAttachment(task, u"M"_s, "first");
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    selectMemo(window, memo);
    child<QTextEdit>(window, "T_Memo")->setPlainText(u"O'Brien's second thoughts"_s);
    child<QLineEdit>(window, "T_TITLE")->setText(u"O'Brien's"_s);
    db().executeScript(u"CREATE TRIGGER refuse_memo BEFORE UPDATE ON ATTACH BEGIN "
                       "SELECT RAISE(ABORT, 'refused'); END"_s);
    trigger(window, "Save");
    ASSERT_EQ(prompt.records().size(), 1);
    EXPECT_TRUE(host.saved.isEmpty());

    db().executeScript(u"DROP TRIGGER refuse_memo"_s);
    trigger(window, "Save");
    EXPECT_EQ(host.saved.size(), 1);
    EXPECT_EQ(memo::readText(db(), memo), u"O'Brien's second thoughts"_s);
    EXPECT_EQ(sqlNumber("SELECT COUNT(*) FROM ROUTE WHERE SCR_Number = ? AND Route_Action = ?",
                        {task, u"Title changed"_s}),
              1);
}

// A save refused because the task changed elsewhere: No keeps the window with everything typed;
// Yes shows the task as stored, with the typed description after the stored one, and nothing is
// written until the next save writes it.
TEST_F(TaskEditorWindowTest, RefusedSaveKeepsTheWindowOpenAndReloadKeepsTheTypedDescription)
{
    const QString refused =
        u"This task was changed since you opened it. Your changes were not saved."_s;
    const qlonglong n = addTask({{scr::Title, u"Plan"_s}, {scr::Comments, u"Stored words"_s}});
    SCR_FORM window(session, prompt, nullptr);
    ASSERT_TRUE(window.open(TaskOpening::existing(n)));
    window.show();
    auto* title = child<QLineEdit>(window, "T_TITLE");
    auto* description = child<QTextEdit>(window, "T_SCRCOMMENTS");
    title->setText(u"Ann's plan"_s);
    description->moveCursor(QTextCursor::End);
    description->insertPlainText(u" and Ann's"_s);
    db().execute(u"UPDATE SCR SET SCR_Title = ? WHERE SCR_Number = ?"_s, {u"Bob's plan"_s, n});

    prompt.answer(PromptAnswer::No);
    EXPECT_FALSE(window.saveTask());
    EXPECT_TRUE(prompt.last().text.startsWith(refused + u"\n\n"_s))
        << prompt.last().text.toStdString();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(title->text(), u"Ann's plan"_s);
    EXPECT_EQ(description->toPlainText(), u"Stored words and Ann's"_s);
    EXPECT_EQ(stored(n, "SCR_Title").toString(), u"Bob's plan"_s);

    prompt.answer(PromptAnswer::Yes);
    EXPECT_FALSE(window.saveTask());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(title->text(), u"Bob's plan"_s);
    EXPECT_EQ(description->toPlainText(), u"Stored words\nStored words and Ann's"_s);
    EXPECT_TRUE(window.isDirty());

    prompt.clear();
    EXPECT_TRUE(window.saveTask());
    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
    EXPECT_EQ(stored(n, "SCR_Title").toString(), u"Bob's plan"_s);
    EXPECT_EQ(stored(n, "SCR_Comments_AsText").toString(),
              u"Stored words\nStored words and Ann's"_s);
    EXPECT_FALSE(window.isVisible());
}
