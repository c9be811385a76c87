#include "tasks/Attachments.h"

#include "contacts/Contacts.h"
#include "core/db/SqliteDatabase.h"
#include "support/ActingPrompt.h"
#include "support/ContactRows.h"
#include "support/SampleFiles.h"
#include "tasks/AttachmentTransfer.h"
#include "tasks/AttachmentView.h"
#include "tasks/MemoText.h"
#include "tasks/TaskTestSupport.h"
#include "tasks/cSCR.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bx;
using namespace bx::attachments;
using namespace bx::test::tasks;
using bx::test::fileBytes;
using bx::test::writeFile;

namespace {

/** Gives `good` bytes, then fails as a broken disk or a vanished share would. */
class FailingSource final : public QIODevice
{
public:
    explicit FailingSource(qint64 good)
        : m_good(good)
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (m_given >= m_good) {
            setErrorString(QStringLiteral("the share went away"));
            return -1;
        }
        const qint64 n = std::min(maxSize, m_good - m_given);
        std::fill(data, data + n, 'x');
        m_given += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 m_good;
    qint64 m_given = 0;
};

QByteArray randomBytes(qint64 size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = char(QRandomGenerator::global()->bounded(256));
    return data;
}

class AttachmentsTest : public TaskTest
{
protected:
    void SetUp() override
    {
        TaskTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        task = addTaskRow(db(), {{scr::Title, QStringLiteral("O'Brien's task")}});
        removeViewerCopies();
    }

    PendingAttachment pending(AttachmentType type, const QString& title = QStringLiteral("Notes"))
    {
        PendingAttachment p;
        p.type = type;
        p.title = title;
        p.owner = kMe;
        p.date = at(2024, 1, 31, 12, 5);
        return p;
    }
    AttachmentPlace place() const { return {task, kProjects, kShop7}; }

    /** Adds a file attachment from `bytes` written to a file named `name`. */
    qlonglong addFile(const QByteArray& bytes, const QString& name = QStringLiteral("plan.bin"))
    {
        const QString path = files.filePath(name);
        EXPECT_TRUE(writeFile(path, bytes));
        PendingAttachment p = pending(AttachmentType::File);
        p.sourcePath = path;
        const Outcome<qlonglong> added = addFromFile(session.db(), place(), p);
        EXPECT_TRUE(added) << (added.refusal() ? added.refusal()->message.toStdString() : "");
        return added ? *added : 0;
    }

    qlonglong attachCount() { return countRows(QStringLiteral("SELECT COUNT(*) FROM ATTACH")); }
    qlonglong largeObjects()
    {
        return isServer()
                   ? countRows(QStringLiteral("SELECT COUNT(*) FROM pg_largeobject_metadata"))
                   : 0;
    }
    static std::string why(const Outcome<qlonglong>& o)
    {
        return o.refusal() ? o.refusal()->message.toStdString() : std::string("no refusal");
    }

    qlonglong task = 0;
    QTemporaryDir files;
};

} // namespace

// The content arrives byte for byte on every path out, at the piece boundaries too.
TEST_P(AttachmentsTest, ContentRoundTripsThroughAddSaveAsAndViewer)
{
    for (const qint64 size :
         {qint64(0), qint64(1), qint64(32000), qint64(32001), qint64(5'000'000)}) {
        SCOPED_TRACE(size);
        const QByteArray data = randomBytes(size);
        const qlonglong number = addFile(data, QStringLiteral("O'Brien's plan.bin"));
        EXPECT_EQ(attachContent(db(), number), data);

        const QString target = files.filePath(QStringLiteral("saved.bin"));
        EXPECT_TRUE(saveAs(session.db(), number, target));
        EXPECT_TRUE(fileBytes(target) == data);

        const Outcome<ViewerCopy> copy = exportForViewer(session.db(), number);
        ASSERT_TRUE(copy);
        EXPECT_TRUE(fileBytes(copy->path) == data);
    }
    // The row keeps the name without its folder, the place and the adder.
    const RecordSet row = db().query(
        QStringLiteral("SELECT Attach_Filename, Attach_Type, Category, Group_ID, Attach_Owner "
                       "FROM ATTACH WHERE SCR_Number = ? ORDER BY Attach_Number"),
        {task});
    ASSERT_EQ(row.rowCount(), 5);
    EXPECT_EQ(row.text(QStringLiteral("Attach_Filename")), QStringLiteral("O'Brien's plan.bin"));
    EXPECT_EQ(row.text(QStringLiteral("Attach_Type")), QStringLiteral("F"));
    EXPECT_EQ(row.text(QStringLiteral("Category")), kProjects);
    EXPECT_EQ(row.number(QStringLiteral("Group_ID")), kShop7);
}

// A source that fails after three pieces, a cancel and a file over the engine's limit leave no
// row and no stored value; each says what happened.
TEST_P(AttachmentsTest, FailedCancelledOrTooLargeImportsLeaveNothing)
{
    const qlonglong rows = attachCount();
    const qlonglong objects = largeObjects();
    PendingAttachment p = pending(AttachmentType::File);
    p.sourcePath = QStringLiteral("/mnt/share/O'Brien's report.pdf");

    FailingSource failing(3 * Database::kBlobPiece);
    const Outcome<qlonglong> failed =
        add(session.db(), place(), p, &failing, 5 * Database::kBlobPiece);
    ASSERT_TRUE(failed.refusal());
    EXPECT_TRUE(failed.refusal()->message.contains(p.sourcePath)) << why(failed);
    EXPECT_TRUE(failed.refusal()->message.contains(QStringLiteral("the share went away")))
        << why(failed);

    QByteArray bytes = randomBytes(3 * Database::kBlobPiece);
    QBuffer source(&bytes);
    source.open(QIODevice::ReadOnly);
    int pieces = 0;
    const Outcome<qlonglong> cancelled =
        add(session.db(), place(), p, &source, bytes.size(), {}, [&](qint64, qint64) {
            if (++pieces == 2)
                throw TransferCancelled();
        });
    EXPECT_FALSE(cancelled);
    EXPECT_FALSE(cancelled.refusal()) << "a cancel is no refusal";

    if (!isServer()) {
        // The embedded engine's limit, lowered: the file is refused before a byte is read.
        static_cast<SqliteDatabase&>(session.db()).setMaxBlobSize(1000);
        source.seek(0);
        const Outcome<qlonglong> large = add(session.db(), place(), p, &source, 1001);
        ASSERT_TRUE(large.refusal());
        EXPECT_TRUE(large.refusal()->message.contains(p.sourcePath)) << why(large);
        EXPECT_EQ(source.pos(), 0);
    }
    EXPECT_EQ(attachCount(), rows);
    EXPECT_EQ(largeObjects(), objects);

    // The connection is still good for the next add.
    source.seek(0);
    EXPECT_TRUE(add(session.db(), place(), p, &source, 100));
}

// The shared add's rules for plug-ins, the tab bar and text.
TEST_P(AttachmentsTest, AddRefusesASecondPlugInAndMovesTheTabBar)
{
    PendingAttachment plugIn = pending(AttachmentType::PlugIn);
    plugIn.fileName = QStringLiteral("Bob's.Gauge");
    plugIn.showInTabBar = true;
    const Outcome<qlonglong> first = add(session.db(), place(), plugIn);
    ASSERT_TRUE(first);
    const Outcome<qlonglong> second = add(session.db(), place(), plugIn);
    ASSERT_TRUE(second.refusal());
    EXPECT_EQ(
        second.refusal()->message,
        QStringLiteral("The ActiveX with name Bob's.Gauge is already attached to this task."));

    // A new checklist on the tab bar takes the place of the task's other checklist only.
    const qlonglong other = addTaskRow(db());
    PendingAttachment list = pending(AttachmentType::Checklist);
    list.fileName = QStringLiteral("Launch");
    list.showInTabBar = true;
    const qlonglong oldList = *add(session.db(), place(), list);
    const qlonglong otherTasks = *add(session.db(), {other, {}, kShop7}, list);
    const qlonglong newList = *add(session.db(), place(), list);
    const auto onTabBar = [&](qlonglong number) {
        return db().scalar(QStringLiteral("SELECT Show_In_TabBar FROM ATTACH WHERE Attach_Number "
                                          "= ?"),
                           {number})
                   .toLongLong() != 0;
    };
    EXPECT_FALSE(onTabBar(oldList));
    EXPECT_TRUE(onTabBar(newList));
    EXPECT_TRUE(onTabBar(otherTasks));
    EXPECT_TRUE(onTabBar(*first));
}

// A chosen contact becomes a "C" row named by its key and titled with the person's name.
TEST_P(AttachmentsTest, AContactIsAttachedByItsKey)
{
    db().execute(QStringLiteral("INSERT INTO CONTACT (CONTACT_KEY, First_Name, Last_Name) "
                                "VALUES (?, ?, ?)"),
                 {42, QStringLiteral("Pat"), QStringLiteral("O'Brien")});
    for (const char* none : {"", "0", "-3", "x42", "43"})
        EXPECT_FALSE(
            contactAttachment(db(), QString::fromLatin1(none), kMe, at(2024, 1, 31, 12, 5)))
            << none;
    const std::optional<PendingAttachment> contact =
        contactAttachment(db(), QStringLiteral(" 42 "), kMe, at(2024, 1, 31, 12, 5));
    ASSERT_TRUE(contact);
    const Outcome<qlonglong> added = add(session.db(), place(), *contact);
    ASSERT_TRUE(added) << why(added);
    const RecordSet row = db().query(
        QStringLiteral("SELECT Attach_Type, Attach_Filename, Attach_Title, Attach_Owner FROM "
                       "ATTACH WHERE Attach_Number = ?"),
        {*added});
    EXPECT_EQ(row.text(QStringLiteral("Attach_Type")), QStringLiteral("C"));
    EXPECT_EQ(row.text(QStringLiteral("Attach_Filename")), QStringLiteral("42"));
    EXPECT_EQ(row.text(QStringLiteral("Attach_Title")), QStringLiteral("Pat O'Brien"));
    EXPECT_EQ(row.text(QStringLiteral("Attach_Owner")), kMe);
}

// Memo text: stored as UTF-8 and read whole; 8 MiB at most; the title of an unnamed memo.
TEST_P(AttachmentsTest, MemoTextRoundTripsAndIsBounded)
{
    const QString text = QStringLiteral("Grüße, O'Brien — ☃\r\nzweite Zeile");
    PendingAttachment memo = pending(AttachmentType::Memo, QStringLiteral("Ann's memo"));
    memo.fileName = memo.title;
    memo.content = text;
    const qlonglong number = *add(session.db(), place(), memo);
    EXPECT_EQ(memo::readText(session.db(), number), text);

    const QString big = files.filePath(QStringLiteral("big.txt"));
    ASSERT_TRUE(writeFile(big, QByteArray(9 * 1024 * 1024, 'a')));
    const Outcome<QString> imported = memo::importText(big);
    ASSERT_TRUE(imported.refusal());
    EXPECT_EQ(imported.refusal()->message, QStringLiteral("File is too large to import"));
    memo.content = QString(9 * 1024 * 1024, QLatin1Char('a'));
    EXPECT_TRUE(add(session.db(), place(), memo).refusal());
    // The limit itself is taken; one byte more is not.
    EXPECT_FALSE(refuseLongText(QByteArray(kMaxTextBytes, 'a')));
    EXPECT_TRUE(refuseLongText(QByteArray(kMaxTextBytes + 1, 'a')));

    const QString small = files.filePath(QStringLiteral("small.txt"));
    ASSERT_TRUE(writeFile(small, text.toUtf8()));
    EXPECT_EQ(*memo::importText(small), text);

    EXPECT_EQ(memo::shownTitle(QVariant(), QStringLiteral("Approved, ann, 2024-01-31")),
              QStringLiteral("Approved"));
    EXPECT_EQ(memo::shownTitle(QStringLiteral("Plan, v2"), QStringLiteral("x, y")),
              QStringLiteral("Plan, v2"));
}

// The editor's boxes write only a changed text, and only into a row of their own type and task;
// the memo window rewrites one in place and reads it back.
TEST_P(AttachmentsTest, SaveMemoWritesOnlyAChangedBoxIntoItsOwnRow)
{
    PendingAttachment memo = pending(AttachmentType::Memo);
    memo.content = QStringLiteral("before");
    const qlonglong number = *add(session.db(), place(), memo);
    const QString after = QStringLiteral("after: naïve");

    EXPECT_FALSE(*memo::SaveMemo(session.db(), task, number, after, false));
    EXPECT_FALSE(*memo::SaveDiscussion(session.db(), task, number, after, true));
    EXPECT_FALSE(*memo::SaveMemo(session.db(), task + 1, number, after, true));
    EXPECT_EQ(memo::readText(session.db(), number), QStringLiteral("before"));
    EXPECT_TRUE(*memo::SaveMemo(session.db(), task, number, after, true));
    EXPECT_EQ(memo::readText(session.db(), number), after);

    EXPECT_EQ(
        memo::rewrite(session.db(), number, QStringLiteral("  "), after, {}).refusal()->message,
        QStringLiteral("Please specify a title"));
    ASSERT_TRUE(
        memo::rewrite(session.db(), number, QStringLiteral("Bob's"), QStringLiteral("z"), {}));
    const Outcome<memo::StoredMemo> shown = memo::readMemo(session.db(), number);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->title, QStringLiteral("Bob's"));
    EXPECT_EQ(shown->text, QStringLiteral("z"));
    const Outcome<memo::StoredMemo> gone = memo::readMemo(session.db(), number + 1000);
    ASSERT_TRUE(gone.refusal());
    EXPECT_EQ(gone.refusal()->message, QStringLiteral("Attachment not found"));
    EXPECT_EQ(db().scalar(QStringLiteral("SELECT Attach_Title FROM ATTACH WHERE Attach_Number = ?"),
                          {number})
                  .toString(),
              QStringLiteral("Bob's"));
}

// Deleting: the refusals in their order, the question, and the rows that hang on the attachment.
TEST_P(AttachmentsTest, DeleteRefusesInOrderAndTakesItsRowsAlong)
{
    const qlonglong form = addAttachment(task, QStringLiteral("X"));
    db().execute(
        QStringLiteral("INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY, ATTACH_NUMBER, VALUE) "
                       "VALUES ('Order', 1, ?, 'x'), ('Order', 1, 0, 'layout')"),
        {form});
    const qlonglong list = attachChecklist(task, QStringLiteral("Launch"));
    addChecklistItem(QStringLiteral("Launch"), QStringLiteral("Check"), true);
    tickChecklistItem(QStringLiteral("Launch"), QStringLiteral("Check"), list);

    const auto message = [&](qlonglong number, bool mayChange) {
        const Outcome<Done> o = deleteAttachment(session.db(), prompt, task, number, mayChange);
        return o.refusal() ? o.refusal()->message : QStringLiteral("<none>");
    };
    EXPECT_EQ(message(0, false), QStringLiteral("Please select Attachment to delete"));
    EXPECT_EQ(message(form + 1000, false), QStringLiteral("Attachment not found"));
    EXPECT_EQ(message(form, false), QStringLiteral("You may not delete this item"));
    prompt.answer(PromptAnswer::No);
    EXPECT_FALSE(deleteAttachment(session.db(), prompt, task, form, true));
    EXPECT_EQ(prompt.last().title, QStringLiteral("DELETE"));

    prompt.answer(PromptAnswer::Yes).answer(PromptAnswer::Yes);
    EXPECT_TRUE(deleteAttachment(session.db(), prompt, task, form, true));
    EXPECT_TRUE(deleteAttachment(session.db(), prompt, task, list, true));
    EXPECT_EQ(countRows(QStringLiteral("SELECT COUNT(*) FROM CONTROL")), 1)
        << "the form's layout stays";
    EXPECT_EQ(countRows(QStringLiteral("SELECT COUNT(*) FROM CHECKLIST_ITEM")), 1)
        << "the template item stays";
    EXPECT_EQ(countRows(QStringLiteral("SELECT COUNT(*) FROM ATTACH WHERE SCR_Number = ?"), {task}),
              0);

    // Another client deletes it while the question is open.
    const qlonglong memo = addAttachment(task, QStringLiteral("M"));
    test::ActingPrompt acting;
    acting.whileAsked = [&] {
        db().execute(QStringLiteral("DELETE FROM ATTACH WHERE Attach_Number = ?"), {memo});
    };
    const Outcome<Done> gone = deleteAttachment(session.db(), acting, task, memo, true);
    ASSERT_TRUE(gone.refusal());
    EXPECT_EQ(gone.refusal()->message, QStringLiteral("Attachment not found"));
}

// Only an open task (A, I) with write permission takes attachments; changing needs the setting.
TEST_P(AttachmentsTest, RightsFollowStatusPermissionAndSetting)
{
    for (const char* status : {"A", "i "}) {
        EXPECT_EQ(rightsFor(QLatin1String(status), true, true), (AttachmentRights{true, true}));
        EXPECT_EQ(rightsFor(QLatin1String(status), true, false), (AttachmentRights{true, false}));
        EXPECT_EQ(rightsFor(QLatin1String(status), false, true), (AttachmentRights{false, false}));
    }
    for (const char* status : {"C", "X"})
        EXPECT_EQ(rightsFor(QLatin1String(status), true, true), (AttachmentRights{false, false}));
}

// A discard takes back what the editor added (template copies with their form values) and
// nothing that another client added meanwhile.
TEST_P(AttachmentsTest, DiscardDeletesOnlyWhatThisEditorAdded)
{
    const qlonglong templ = addTaskRow(db(), {{scr::Template, true}});
    const qlonglong form = addAttachment(templ, QStringLiteral("X"));
    db().execute(QStringLiteral("INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY, ATTACH_NUMBER) "
                                "VALUES ('Order', 1, ?)"),
                 {form});
    setAttachContent(db(), addAttachment(templ, QStringLiteral("F")), "template file");
    const qlonglong earlier = addAttachment(task, QStringLiteral("M"));

    QList<qlonglong> added;
    cSCR scr(session, prompt);
    ASSERT_TRUE(scr.SCRCloneAttach(templ, task, &added));
    ASSERT_EQ(added.size(), 2);
    PendingAttachment memo = pending(AttachmentType::Memo);
    added << *add(session.db(), place(), memo);
    const qlonglong elsewhere = addAttachment(task, QStringLiteral("M"));

    EXPECT_EQ(deleteAdded(session.db(), task, added), 3);
    const RecordSet left = db().query(
        QStringLiteral("SELECT Attach_Number FROM ATTACH WHERE SCR_Number = ? ORDER BY 1"), {task});
    ASSERT_EQ(left.rowCount(), 2);
    EXPECT_EQ(left.value(0, QStringLiteral("Attach_Number")).toLongLong(), earlier);
    EXPECT_EQ(left.value(1, QStringLiteral("Attach_Number")).toLongLong(), elsewhere);
    EXPECT_EQ(countRows(QStringLiteral("SELECT COUNT(*) FROM CONTROL")), 1) << "the template's";
}

// A copy from another task is independent of its source: it stays readable when the source goes.
TEST_P(AttachmentsTest, CopiesStayReadableWhenTheSourceIsDeleted)
{
    const qlonglong parent = addTaskRow(db());
    const QByteArray data = randomBytes(70'001);
    const qlonglong source =
        addAttachment(parent, QStringLiteral("F"),
                      {{QStringLiteral("Attach_Filename"), QStringLiteral("O'Brien.bin")},
                       {QStringLiteral("Attach_Title"), QStringLiteral("Plan")}});
    setAttachContent(db(), source, data);

    EXPECT_EQ(copyToTask(session.db(), place(), 0, kMe, {}).refusal()->message,
              QStringLiteral("Please select an attachment"));
    EXPECT_EQ(copyToTask(session.db(), place(), source + 1000, kMe, {}).refusal()->message,
              QStringLiteral("Unable to locate Attachment"));
    const Outcome<qlonglong> copy =
        copyToTask(session.db(), place(), source, kMe, at(2024, 1, 31, 12, 0));
    ASSERT_TRUE(copy);
    QList<qlonglong> clones;
    cSCR scr(session, prompt);
    ASSERT_TRUE(scr.SCRCloneAttach(parent, task, &clones));
    ASSERT_EQ(clones.size(), 1);

    db().execute(QStringLiteral("DELETE FROM ATTACH WHERE Attach_Number = ?"), {source});
    EXPECT_TRUE(attachContent(db(), *copy) == data);
    EXPECT_TRUE(attachContent(db(), clones.first()) == data);
    const RecordSet row = db().query(
        QStringLiteral("SELECT Attach_Type, Attach_Filename, Attach_Owner FROM ATTACH WHERE "
                       "Attach_Number = ?"),
        {*copy});
    EXPECT_EQ(row.text(QStringLiteral("Attach_Filename")), QStringLiteral("O'Brien.bin"));
    EXPECT_EQ(row.text(QStringLiteral("Attach_Owner")), kMe);
}

// A viewer copy lands inside its own folder under the stored name's last part, for the user alone
// and never executable; a changed copy is saved back; a deleted row refuses the save-back.
TEST_P(AttachmentsTest, ViewerCopyStaysInsideItsFolderAndSavesBack)
{
    const qlonglong number =
        addAttachment(task, QStringLiteral("F"),
                      {{QStringLiteral("Attach_Filename"), QStringLiteral("../../x.sh")}});
    setAttachContent(db(), number, "#!/bin/sh\necho planted\n");
    Outcome<ViewerCopy> exported = exportForViewer(session.db(), number);
    ASSERT_TRUE(exported);
    ViewerCopy copy = *exported;
    const QString folder = QDir(viewerRoot()).filePath(QString::number(number));
    EXPECT_EQ(copy.path, QDir(folder).filePath(QStringLiteral("x.sh")));
    EXPECT_EQ(QFileInfo(copy.path).permissions() & 0x7777,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                  QFileDevice::WriteUser);
    EXPECT_EQ(QFileInfo(folder).permissions() & 0x0077, 0);
    EXPECT_FALSE(changedSinceExport(copy));
    // A viewer that only touches the file changes nothing: the fingerprint taken while the copy
    // was written, and again while it was saved back, still matches.
    const auto touch = [&copy] {
        QFile file(copy.path);
        return file.open(QIODevice::ReadWrite) &&
               file.setFileTime(copy.modified.addSecs(-60), QFileDevice::FileModificationTime);
    };
    ASSERT_TRUE(touch());
    EXPECT_FALSE(changedSinceExport(copy));

    // Longer than a transfer's piece and the fingerprint's block, and no multiple of either.
    const QByteArray edited = randomBytes(200'001);
    ASSERT_TRUE(writeFile(copy.path, edited));
    EXPECT_TRUE(changedSinceExport(copy));
    ASSERT_TRUE(saveBack(session.db(), copy, {}));
    EXPECT_FALSE(changedSinceExport(copy));
    ASSERT_TRUE(touch());
    EXPECT_FALSE(changedSinceExport(copy));
    EXPECT_TRUE(attachContent(db(), number) == edited);

    // Export again replaces the old copy; a cancelled Save As keeps the existing target.
    ASSERT_TRUE(exportForViewer(session.db(), number));
    const QString target = files.filePath(QStringLiteral("kept.txt"));
    ASSERT_TRUE(writeFile(target, "keep me"));
    EXPECT_FALSE(
        saveAs(session.db(), number, target, [](qint64, qint64) { throw TransferCancelled(); }));
    EXPECT_EQ(fileBytes(target), QByteArray("keep me"));

    db().execute(QStringLiteral("DELETE FROM ATTACH WHERE Attach_Number = ?"), {number});
    const Outcome<Done> gone = saveBack(session.db(), copy, {});
    ASSERT_TRUE(gone.refusal());
    EXPECT_EQ(gone.refusal()->message, QStringLiteral("Attachment not found"));
    removeViewerCopies();
    EXPECT_FALSE(QFileInfo::exists(viewerRoot()));
}

// The lists: memos apart, newest first, local dates, a memo without file name titled up to its
// comma; a user's read-only copy cannot be written.
TEST_P(AttachmentsTest, ListsSplitMemosNewestFirstInLocalTime)
{
    clock.setStandardOffsetSeconds(-5 * kHour);
    const qlonglong older = addAttachment(task, QStringLiteral("F"),
                                          {{QStringLiteral("Attach_Date"), at(2024, 1, 2, 9, 0)}});
    const qlonglong newer = addAttachment(task, QStringLiteral("w "),
                                          {{QStringLiteral("Attach_Date"), at(2024, 1, 3, 9, 0)}});
    const qlonglong memo =
        addAttachment(task, QStringLiteral("D"),
                      {{QStringLiteral("Attach_Title"), QStringLiteral("O'Brien's, 2024")}});
    addAttachment(addTaskRow(db(), {}), QStringLiteral("F"));

    const TaskAttachmentLists lists = listFor(session.db(), clock, task);
    ASSERT_EQ(lists.attachments.size(), 2);
    EXPECT_EQ(lists.attachments.at(0).number, newer);
    EXPECT_EQ(lists.attachments.at(1).number, older);
    EXPECT_EQ(kindWord(lists.attachments.at(0).type), QStringLiteral("Web page"));
    EXPECT_EQ(lists.attachments.at(1).date, at(2024, 1, 2, 4, 0));
    ASSERT_EQ(lists.memos.size(), 1);
    EXPECT_EQ(listKey(lists.memos.at(0)), QStringLiteral("M00") + QString::number(memo));
    EXPECT_EQ(listKey(lists.attachments.at(1)), QStringLiteral("00") + QString::number(older));
    EXPECT_EQ(shownTitle(lists.memos.at(0)), QStringLiteral("O'Brien's"));

    setAttachContent(db(), older, "kept");
    const Outcome<ViewerCopy> copy = exportForViewer(session.db(), older, {}, true);
    ASSERT_TRUE(copy);
    EXPECT_EQ(QFileInfo(copy->path).permissions() & 0x7077, QFileDevice::ReadOwner);
}

// Previews escape every stored text, show only the beginning of a long text file and an image
// only up to its limit; nothing else is read whole.
TEST_P(AttachmentsTest, PreviewsAreEscapedAndBounded)
{
    auto item = [&](const QString& type, const QString& fileName) {
        const qlonglong number = addAttachment(
            task, {{QStringLiteral("Attach_Type"), type},
                   {QStringLiteral("Attach_Filename"), fileName},
                   {QStringLiteral("Attach_Title"), QStringLiteral("<b>O'Brien</b>")}});
        ListedAttachment listed;
        listed.number = number;
        listed.type = type;
        listed.title = QStringLiteral("<b>O'Brien</b>");
        listed.fileName = fileName;
        return listed;
    };

    ListedAttachment text = item(QStringLiteral("F"), QStringLiteral("notes.txt"));
    QByteArray longText(100'000, 'a');
    longText.replace(0, 8, "<script>");
    longText.replace(kPreviewTextBytes - 1, 2, "\xc3\xa9"); // a character across the cut
    setAttachContent(db(), text.number, longText);
    const QString html = previewOf(session.db(), text).html;
    EXPECT_FALSE(html.contains(QStringLiteral("<script>")));
    EXPECT_TRUE(html.contains(QStringLiteral("&lt;script&gt;")));
    EXPECT_LT(html.count(u'a'), kPreviewTextBytes);
    EXPECT_GT(html.count(u'a'), kPreviewTextBytes - 100);
    EXPECT_FALSE(html.contains(QChar::ReplacementCharacter));

    ListedAttachment image = item(QStringLiteral("F"), QStringLiteral("dot.png"));
    const QByteArray png = bx::test::pngBytes();
    setAttachContent(db(), image.number, png);
    EXPECT_EQ(previewOf(session.db(), image).image, png);
    setAttachContent(db(), image.number, QByteArray(kPreviewImageBytes + 1, 'x'));
    const Preview big = previewOf(session.db(), image);
    EXPECT_TRUE(big.image.isEmpty());
    EXPECT_TRUE(big.html.contains(QStringLiteral("dot.png")));

    const ListedAttachment web =
        item(QStringLiteral("W"), QStringLiteral("https://example.org/?a=1&b=\"2\""));
    EXPECT_TRUE(previewOf(session.db(), web)
                    .html.contains(
                        QStringLiteral("href=\"https://example.org/?a=1&amp;b=&quot;2&quot;\"")));
    ListedAttachment plugIn = item(QStringLiteral("A"), QStringLiteral("Bx.Plug"));
    plugIn.showInTabBar = true;
    EXPECT_TRUE(previewOf(session.db(), plugIn)
                    .html.contains(QStringLiteral("You can see this attachment on &quot;&lt;b&gt;"
                                                  "O'Brien&lt;/b&gt;&quot; Tab")));
}

// A contact's preview is its card, a line each and every text escaped, found by the key the row
// names (blanks and all); a contact that is gone, or no key, says it cannot be found.
TEST_P(AttachmentsTest, ContactPreviewsShowTheCardOrThatItIsGone)
{
    const qlonglong key =
        bx::test::addContactRow(db(), QStringLiteral("<b>O'Brien</b>"), QStringLiteral("Pat"),
                                QStringLiteral("Smith & Sons"), QStringLiteral("pat@example.org"));
    const QString card =
        QStringLiteral("&lt;b&gt;O'Brien&lt;/b&gt;, Pat\nSmith &amp; Sons\npat@example.org");
    const struct
    {
        QString fileName;
        QString shown;
    } cases[] = {
        {QStringLiteral(" %1 ").arg(key), card},
        {QString::number(key + 1000), contacts::kNotFound},
        {QString(), contacts::kNotFound},
    };
    for (const auto& c : cases) {
        ListedAttachment item;
        item.type = QStringLiteral("C");
        item.fileName = c.fileName;
        const QString html = previewOf(session.db(), item).html;
        EXPECT_TRUE(html.contains(c.shown)) << html.toStdString();
        EXPECT_FALSE(html.contains(u'\r')) << c.fileName.toStdString();
    }
}

// The note of the file dialog looks the bare name up as stored, quotes and all.
TEST_P(AttachmentsTest, BaselineNoteKnowsStoredNames)
{
    addAttachment(task, QStringLiteral("F"),
                  {{QStringLiteral("Attach_Filename"), QStringLiteral("O'Brien's plan.txt")}});
    EXPECT_EQ(baselineNote(session.db(), QStringLiteral("/home/ann/O'Brien's plan.txt")),
              kKnownFileNote);
    EXPECT_EQ(baselineNote(session.db(), QStringLiteral("/home/ann/O'Brien.txt")), kNewFileNote);
}

// Only web addresses of http, https and ftp are opened; a file only when it is there and is
// neither a program nor a desktop launcher.
TEST(AttachmentOpening, OnlyWebSchemesAndExistingShortcuts)
{
    for (const char* good :
         {"http://example.org", "HTTPS://example.org/a b", "ftp://files.example"})
        EXPECT_TRUE(webAddressToOpen(QString::fromLatin1(good))) << good;
    for (const char* bad : {"javascript:alert(1)", "file:///etc/passwd", "/etc/passwd",
                            "smb://host/share", "mailto:ann@example.org", ""})
        EXPECT_FALSE(webAddressToOpen(QString::fromLatin1(bad))) << bad;
    const QString missing = QStringLiteral("/nowhere/O'Brien's.doc");
    const Outcome<QUrl> gone = fileToOpen(missing);
    ASSERT_TRUE(gone.refusal());
    EXPECT_EQ(gone.refusal()->message, QStringLiteral("File not found: ") + missing);
    QTemporaryDir folder;
    const QString doc = folder.filePath(QStringLiteral("O'Brien's.doc"));
    ASSERT_TRUE(writeFile(doc, "text"));
    EXPECT_EQ(fileToOpen(doc) ? *fileToOpen(doc) : QUrl(), QUrl::fromLocalFile(doc));
    const QString launcher = folder.filePath(QStringLiteral("readme.Desktop"));
    ASSERT_TRUE(writeFile(launcher, "[Desktop Entry]\nExec=sh -c planted\n"));
    EXPECT_FALSE(fileToOpen(launcher));
    ASSERT_TRUE(QFile::setPermissions(doc, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    EXPECT_FALSE(fileToOpen(doc));
    EXPECT_EQ(withTextExtension(QStringLiteral("/tmp/O'Brien")),
              QStringLiteral("/tmp/O'Brien.txt"));
    EXPECT_EQ(withTextExtension(QStringLiteral("/tmp/a.log")), QStringLiteral("/tmp/a.log"));
}

// The desktop is handed no program, whatever its name says, nor a file whose name is a program's,
// whatever it holds; documents keep opening.
TEST(AttachmentOpening, ProgramsAreJudgedByContentAndByName)
{
    using bx::test::programBytes;
    using bx::test::zipWithFirstEntry;
    const QByteArray manifest = "Manifest-Version: 1.0\nMain-Class: Planted\n";
    const QByteArray pdf = "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\ntrailer << >>\n%%EOF\n";
    struct Case
    {
        const char* name;
        QByteArray content;
        bool refused;
    };
    const Case cases[] = {
        // innocent names over programs
        {"report.pdf", programBytes(), true},
        {"notes.txt", "#!/bin/sh\necho planted\n", true},
        {"tool.txt", "#!/usr/bin/env python3\nprint('planted')\n", true},
        {"launch.txt", "[Desktop Entry]\nType=Application\nExec=sh -c planted\n", true},
        {"setup.pdf", QByteArray("MZ\x90\x00\x03\x00\x00\x00\x04\x00", 10), true},
        {"data.zip", zipWithFirstEntry("META-INF/MANIFEST.MF", manifest), true},
        // documents
        {"report.pdf", pdf, false},
        {"picture.png", bx::test::pngBytes(), false},
        {"O'Brien's notes.txt", "Remember the milk.\n", false},
        {"letter.odt", zipWithFirstEntry("mimetype", "application/vnd.oasis.opendocument.text"),
         false},
        {"data.zip", zipWithFirstEntry("data.csv", "a,b\n1,2\n"), false},
    };
    QList<Case> all(std::begin(cases), std::end(cases));
    // programs' names over innocent content
    for (const char* name : {"setup.exe", "tool.jar", "readme.Desktop", "run.sh", "run.bat",
                             "link.lnk", "setup.msi", "tool.deb", "tool.AppImage", "tool.py"})
        all.append({name, "hello", true});
    for (const Case& c : all) {
        QTemporaryDir folder;
        const QString path = folder.filePath(QString::fromUtf8(c.name));
        ASSERT_TRUE(writeFile(path, c.content));
        const Outcome<QUrl> url = fileToOpen(path);
        if (c.refused) {
            ASSERT_TRUE(url.refusal()) << c.name;
            EXPECT_EQ(url.refusal()->message, QStringLiteral("The file ") + path + kIsAProgram);
        } else {
            EXPECT_EQ(url ? *url : QUrl(), QUrl::fromLocalFile(path)) << c.name;
        }
    }
}

BX_INSTANTIATE_ENGINES(AttachmentsTest);
