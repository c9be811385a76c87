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

using namespace Qt::StringLiterals;
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
            setErrorString(u"the share went away"_s);
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
        task = addTaskRow(db(), {{scr::Title, u"O'Brien's task"_s}});
        removeViewerCopies();
    }

    PendingAttachment pending(AttachmentType type, const QString& title = u"Notes"_s)
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
    qlonglong addFile(const QByteArray& bytes, const QString& name = u"plan.bin"_s)
    {
        const QString path = files.filePath(name);
        EXPECT_TRUE(writeFile(path, bytes));
        PendingAttachment p = pending(AttachmentType::File);
        p.sourcePath = path;
        const Outcome<qlonglong> added = addFromFile(session.db(), place(), p);
        EXPECT_TRUE(added) << (added.refusal() ? added.refusal()->message.toStdString() : "");
        return added ? *added : 0;
    }

    qlonglong attachCount() { return countRows(u"SELECT COUNT(*) FROM ATTACH"_s); }
    qlonglong largeObjects()
    {
        return isServer() ? countRows(u"SELECT COUNT(*) FROM pg_largeobject_metadata"_s) : 0;
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
        const qlonglong number = addFile(data, u"O'Brien's plan.bin"_s);
        EXPECT_EQ(attachContent(db(), number), data);

        const QString target = files.filePath(u"saved.bin"_s);
        EXPECT_TRUE(saveAs(session.db(), number, target));
        EXPECT_TRUE(fileBytes(target) == data);

        const Outcome<ViewerCopy> copy = exportForViewer(session.db(), number);
        ASSERT_TRUE(copy);
        EXPECT_TRUE(fileBytes(copy->path) == data);
    }
    // The row keeps the name without its folder, the place and the adder.
    const RecordSet row =
        db().query(u"SELECT Attach_Filename, Attach_Type, Category, Group_ID, Attach_Owner "
                   "FROM ATTACH WHERE SCR_Number = ? ORDER BY Attach_Number"_s,
                   {task});
    ASSERT_EQ(row.rowCount(), 5);
    EXPECT_EQ(row.text(u"Attach_Filename"_s), u"O'Brien's plan.bin"_s);
    EXPECT_EQ(row.text(u"Attach_Type"_s), u"F"_s);
    EXPECT_EQ(row.text(u"Category"_s), kProjects);
    EXPECT_EQ(row.number(u"Group_ID"_s), kShop7);
}

// A source that fails after three pieces, a cancel and a file over the engine's limit leave no
// row and no stored value; each says what happened.
TEST_P(AttachmentsTest, FailedCancelledOrTooLargeImportsLeaveNothing)
{
    const qlonglong rows = attachCount();
    const qlonglong objects = largeObjects();
    PendingAttachment p = pending(AttachmentType::File);
    p.sourcePath = u"/mnt/share/O'Brien's report.pdf"_s;

    FailingSource failing(3 * Database::kBlobPiece);
    const Outcome<qlonglong> failed =
        add(session.db(), place(), p, &failing, 5 * Database::kBlobPiece);
    ASSERT_TRUE(failed.refusal());
    EXPECT_TRUE(failed.refusal()->message.contains(p.sourcePath)) << why(failed);
    EXPECT_TRUE(failed.refusal()->message.contains(u"the share went away"_s)) << why(failed);

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
    plugIn.fileName = u"Bob's.Gauge"_s;
    plugIn.showInTabBar = true;
    const Outcome<qlonglong> first = add(session.db(), place(), plugIn);
    ASSERT_TRUE(first);
    const Outcome<qlonglong> second = add(session.db(), place(), plugIn);
    ASSERT_TRUE(second.refusal());
    EXPECT_EQ(second.refusal()->message,
              u"The ActiveX with name Bob's.Gauge is already attached to this task."_s);

    // A new checklist on the tab bar takes the place of the task's other checklist only.
    const qlonglong other = addTaskRow(db());
    PendingAttachment list = pending(AttachmentType::Checklist);
    list.fileName = u"Launch"_s;
    list.showInTabBar = true;
    const qlonglong oldList = *add(session.db(), place(), list);
    const qlonglong otherTasks = *add(session.db(), {other, {}, kShop7}, list);
    const qlonglong newList = *add(session.db(), place(), list);
    const auto onTabBar = [&](qlonglong number) {
        return db().scalar(u"SELECT Show_In_TabBar FROM ATTACH WHERE Attach_Number "
                           "= ?"_s,
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
    db().execute(u"INSERT INTO CONTACT (CONTACT_KEY, First_Name, Last_Name) "
                 "VALUES (?, ?, ?)"_s,
                 {42, u"Pat"_s, u"O'Brien"_s});
    for (const char* none : {"", "0", "-3", "x42", "43"})
        EXPECT_FALSE(
            contactAttachment(db(), QString::fromLatin1(none), kMe, at(2024, 1, 31, 12, 5)))
            << none;
    const std::optional<PendingAttachment> contact =
        contactAttachment(db(), u" 42 "_s, kMe, at(2024, 1, 31, 12, 5));
    ASSERT_TRUE(contact);
    const Outcome<qlonglong> added = add(session.db(), place(), *contact);
    ASSERT_TRUE(added) << why(added);
    const RecordSet row =
        db().query(u"SELECT Attach_Type, Attach_Filename, Attach_Title, Attach_Owner FROM "
                   "ATTACH WHERE Attach_Number = ?"_s,
                   {*added});
    EXPECT_EQ(row.text(u"Attach_Type"_s), u"C"_s);
    EXPECT_EQ(row.text(u"Attach_Filename"_s), u"42"_s);
    EXPECT_EQ(row.text(u"Attach_Title"_s), u"Pat O'Brien"_s);
    EXPECT_EQ(row.text(u"Attach_Owner"_s), kMe);
}

// Memo text: stored as UTF-8 and read whole; 8 MiB at most; the title of an unnamed memo.
TEST_P(AttachmentsTest, MemoTextRoundTripsAndIsBounded)
{
    const QString text = u"Grüße, O'Brien — ☃\r\nzweite Zeile"_s;
    PendingAttachment memo = pending(AttachmentType::Memo, u"Ann's memo"_s);
    memo.fileName = memo.title;
    memo.content = text;
    const qlonglong number = *add(session.db(), place(), memo);
    EXPECT_EQ(memo::readText(session.db(), number), text);

    const QString big = files.filePath(u"big.txt"_s);
    ASSERT_TRUE(writeFile(big, QByteArray(9 * 1024 * 1024, 'a')));
    const Outcome<QString> imported = memo::importText(big);
    ASSERT_TRUE(imported.refusal());
    EXPECT_EQ(imported.refusal()->message, u"File is too large to import"_s);
    memo.content = QString(9 * 1024 * 1024, QLatin1Char('a'));
    EXPECT_TRUE(add(session.db(), place(), memo).refusal());
    // The limit itself is taken; one byte more is not.
    EXPECT_FALSE(refuseLongText(QByteArray(kMaxTextBytes, 'a')));
    EXPECT_TRUE(refuseLongText(QByteArray(kMaxTextBytes + 1, 'a')));

    const QString small = files.filePath(u"small.txt"_s);
    ASSERT_TRUE(writeFile(small, text.toUtf8()));
    EXPECT_EQ(*memo::importText(small), text);

    EXPECT_EQ(memo::shownTitle(QVariant(), u"Approved, ann, 2024-01-31"_s), u"Approved"_s);
    EXPECT_EQ(memo::shownTitle(u"Plan, v2"_s, u"x, y"_s), u"Plan, v2"_s);
}

// The editor's boxes write only a changed text, and only into a row of their own type and task;
// the memo window rewrites one in place and reads it back.
TEST_P(AttachmentsTest, SaveMemoWritesOnlyAChangedBoxIntoItsOwnRow)
{
    PendingAttachment memo = pending(AttachmentType::Memo);
    memo.content = u"before"_s;
    const qlonglong number = *add(session.db(), place(), memo);
    const QString after = u"after: naïve"_s;

    EXPECT_FALSE(*memo::SaveMemo(session.db(), task, number, after, false));
    EXPECT_FALSE(*memo::SaveDiscussion(session.db(), task, number, after, true));
    EXPECT_FALSE(*memo::SaveMemo(session.db(), task + 1, number, after, true));
    EXPECT_EQ(memo::readText(session.db(), number), u"before"_s);
    EXPECT_TRUE(*memo::SaveMemo(session.db(), task, number, after, true));
    EXPECT_EQ(memo::readText(session.db(), number), after);

    EXPECT_EQ(memo::rewrite(session.db(), number, u"  "_s, after, {}).refusal()->message,
              u"Please specify a title"_s);
    ASSERT_TRUE(memo::rewrite(session.db(), number, u"Bob's"_s, u"z"_s, {}));
    const Outcome<memo::StoredMemo> shown = memo::readMemo(session.db(), number);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->title, u"Bob's"_s);
    EXPECT_EQ(shown->text, u"z"_s);
    const Outcome<memo::StoredMemo> gone = memo::readMemo(session.db(), number + 1000);
    ASSERT_TRUE(gone.refusal());
    EXPECT_EQ(gone.refusal()->message, u"Attachment not found"_s);
    EXPECT_EQ(db().scalar(u"SELECT Attach_Title FROM ATTACH WHERE Attach_Number = ?"_s, {number})
                  .toString(),
              u"Bob's"_s);
}

// Deleting: the refusals in their order, the question, and the rows that hang on the attachment.
TEST_P(AttachmentsTest, DeleteRefusesInOrderAndTakesItsRowsAlong)
{
    const qlonglong form = addAttachment(task, u"X"_s);
    db().execute(u"INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY, ATTACH_NUMBER, VALUE) "
                 "VALUES ('Order', 1, ?, 'x'), ('Order', 1, 0, 'layout')"_s,
                 {form});
    const qlonglong list = attachChecklist(task, u"Launch"_s);
    addChecklistItem(u"Launch"_s, u"Check"_s, true);
    tickChecklistItem(u"Launch"_s, u"Check"_s, list);

    const auto message = [&](qlonglong number, bool mayChange) {
        const Outcome<Done> o = deleteAttachment(session.db(), prompt, task, number, mayChange);
        return o.refusal() ? o.refusal()->message : u"<none>"_s;
    };
    EXPECT_EQ(message(0, false), u"Please select Attachment to delete"_s);
    EXPECT_EQ(message(form + 1000, false), u"Attachment not found"_s);
    EXPECT_EQ(message(form, false), u"You may not delete this item"_s);
    prompt.answer(PromptAnswer::No);
    EXPECT_FALSE(deleteAttachment(session.db(), prompt, task, form, true));
    EXPECT_EQ(prompt.last().title, u"DELETE"_s);

    prompt.answer(PromptAnswer::Yes).answer(PromptAnswer::Yes);
    EXPECT_TRUE(deleteAttachment(session.db(), prompt, task, form, true));
    EXPECT_TRUE(deleteAttachment(session.db(), prompt, task, list, true));
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM CONTROL"_s), 1) << "the form's layout stays";
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM CHECKLIST_ITEM"_s), 1) << "the template item stays";
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM ATTACH WHERE SCR_Number = ?"_s, {task}), 0);

    // Another client deletes it while the question is open.
    const qlonglong memo = addAttachment(task, u"M"_s);
    test::ActingPrompt acting;
    acting.whileAsked = [&] {
        db().execute(u"DELETE FROM ATTACH WHERE Attach_Number = ?"_s, {memo});
    };
    const Outcome<Done> gone = deleteAttachment(session.db(), acting, task, memo, true);
    ASSERT_TRUE(gone.refusal());
    EXPECT_EQ(gone.refusal()->message, u"Attachment not found"_s);
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
    const qlonglong form = addAttachment(templ, u"X"_s);
    db().execute(u"INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY, ATTACH_NUMBER) "
                 "VALUES ('Order', 1, ?)"_s,
                 {form});
    setAttachContent(db(), addAttachment(templ, u"F"_s), "template file");
    const qlonglong earlier = addAttachment(task, u"M"_s);

    QList<qlonglong> added;
    cSCR scr(session, prompt);
    ASSERT_TRUE(scr.SCRCloneAttach(templ, task, &added));
    ASSERT_EQ(added.size(), 2);
    PendingAttachment memo = pending(AttachmentType::Memo);
    added << *add(session.db(), place(), memo);
    const qlonglong elsewhere = addAttachment(task, u"M"_s);

    EXPECT_EQ(deleteAdded(session.db(), task, added), 3);
    const RecordSet left =
        db().query(u"SELECT Attach_Number FROM ATTACH WHERE SCR_Number = ? ORDER BY 1"_s, {task});
    ASSERT_EQ(left.rowCount(), 2);
    EXPECT_EQ(left.value(0, u"Attach_Number"_s).toLongLong(), earlier);
    EXPECT_EQ(left.value(1, u"Attach_Number"_s).toLongLong(), elsewhere);
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM CONTROL"_s), 1) << "the template's";
}

// A copy from another task is independent of its source: it stays readable when the source goes.
TEST_P(AttachmentsTest, CopiesStayReadableWhenTheSourceIsDeleted)
{
    const qlonglong parent = addTaskRow(db());
    const QByteArray data = randomBytes(70'001);
    const qlonglong source = addAttachment(
        parent, u"F"_s, {{u"Attach_Filename"_s, u"O'Brien.bin"_s}, {u"Attach_Title"_s, u"Plan"_s}});
    setAttachContent(db(), source, data);

    EXPECT_EQ(copyToTask(session.db(), place(), 0, kMe, {}).refusal()->message,
              u"Please select an attachment"_s);
    EXPECT_EQ(copyToTask(session.db(), place(), source + 1000, kMe, {}).refusal()->message,
              u"Unable to locate Attachment"_s);
    const Outcome<qlonglong> copy =
        copyToTask(session.db(), place(), source, kMe, at(2024, 1, 31, 12, 0));
    ASSERT_TRUE(copy);
    QList<qlonglong> clones;
    cSCR scr(session, prompt);
    ASSERT_TRUE(scr.SCRCloneAttach(parent, task, &clones));
    ASSERT_EQ(clones.size(), 1);

    db().execute(u"DELETE FROM ATTACH WHERE Attach_Number = ?"_s, {source});
    EXPECT_TRUE(attachContent(db(), *copy) == data);
    EXPECT_TRUE(attachContent(db(), clones.first()) == data);
    const RecordSet row =
        db().query(u"SELECT Attach_Type, Attach_Filename, Attach_Owner FROM ATTACH WHERE "
                   "Attach_Number = ?"_s,
                   {*copy});
    EXPECT_EQ(row.text(u"Attach_Filename"_s), u"O'Brien.bin"_s);
    EXPECT_EQ(row.text(u"Attach_Owner"_s), kMe);
}

// A viewer copy lands inside its own folder under the stored name's last part, for the user alone
// and never executable; a changed copy is saved back; a deleted row refuses the save-back.
TEST_P(AttachmentsTest, ViewerCopyStaysInsideItsFolderAndSavesBack)
{
    const qlonglong number = addAttachment(task, u"F"_s, {{u"Attach_Filename"_s, u"../../x.sh"_s}});
    setAttachContent(db(), number, "#!/bin/sh\necho planted\n");
    Outcome<ViewerCopy> exported = exportForViewer(session.db(), number);
    ASSERT_TRUE(exported);
    ViewerCopy copy = *exported;
    const QString folder = QDir(viewerRoot()).filePath(QString::number(number));
    EXPECT_EQ(copy.path, QDir(folder).filePath(u"x.sh"_s));
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
    const QString target = files.filePath(u"kept.txt"_s);
    ASSERT_TRUE(writeFile(target, "keep me"));
    EXPECT_FALSE(
        saveAs(session.db(), number, target, [](qint64, qint64) { throw TransferCancelled(); }));
    EXPECT_EQ(fileBytes(target), QByteArray("keep me"));

    db().execute(u"DELETE FROM ATTACH WHERE Attach_Number = ?"_s, {number});
    const Outcome<Done> gone = saveBack(session.db(), copy, {});
    ASSERT_TRUE(gone.refusal());
    EXPECT_EQ(gone.refusal()->message, u"Attachment not found"_s);
    removeViewerCopies();
    EXPECT_FALSE(QFileInfo::exists(viewerRoot()));
}

// The lists: memos apart, newest first, local dates, a memo without file name titled up to its
// comma; a user's read-only copy cannot be written.
TEST_P(AttachmentsTest, ListsSplitMemosNewestFirstInLocalTime)
{
    clock.setStandardOffsetSeconds(-5 * kHour);
    const qlonglong older = addAttachment(task, u"F"_s, {{u"Attach_Date"_s, at(2024, 1, 2, 9, 0)}});
    const qlonglong newer =
        addAttachment(task, u"w "_s, {{u"Attach_Date"_s, at(2024, 1, 3, 9, 0)}});
    const qlonglong memo = addAttachment(task, u"D"_s, {{u"Attach_Title"_s, u"O'Brien's, 2024"_s}});
    addAttachment(addTaskRow(db(), {}), u"F"_s);

    const TaskAttachmentLists lists = listFor(session.db(), clock, task);
    ASSERT_EQ(lists.attachments.size(), 2);
    EXPECT_EQ(lists.attachments.at(0).number, newer);
    EXPECT_EQ(lists.attachments.at(1).number, older);
    EXPECT_EQ(kindWord(lists.attachments.at(0).type), u"Web page"_s);
    EXPECT_EQ(lists.attachments.at(1).date, at(2024, 1, 2, 4, 0));
    ASSERT_EQ(lists.memos.size(), 1);
    EXPECT_EQ(listKey(lists.memos.at(0)), u"M00"_s + QString::number(memo));
    EXPECT_EQ(listKey(lists.attachments.at(1)), u"00"_s + QString::number(older));
    EXPECT_EQ(shownTitle(lists.memos.at(0)), u"O'Brien's"_s);

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
        const qlonglong number = addAttachment(task, {{u"Attach_Type"_s, type},
                                                      {u"Attach_Filename"_s, fileName},
                                                      {u"Attach_Title"_s, u"<b>O'Brien</b>"_s}});
        ListedAttachment listed;
        listed.number = number;
        listed.type = type;
        listed.title = u"<b>O'Brien</b>"_s;
        listed.fileName = fileName;
        return listed;
    };

    ListedAttachment text = item(u"F"_s, u"notes.txt"_s);
    QByteArray longText(100'000, 'a');
    longText.replace(0, 8, "<script>");
    longText.replace(kPreviewTextBytes - 1, 2, "\xc3\xa9"); // a character across the cut
    setAttachContent(db(), text.number, longText);
    const QString html = previewOf(session.db(), text).html;
    EXPECT_FALSE(html.contains(u"<script>"_s));
    EXPECT_TRUE(html.contains(u"&lt;script&gt;"_s));
    EXPECT_LT(html.count(u'a'), kPreviewTextBytes);
    EXPECT_GT(html.count(u'a'), kPreviewTextBytes - 100);
    EXPECT_FALSE(html.contains(QChar::ReplacementCharacter));

    ListedAttachment image = item(u"F"_s, u"dot.png"_s);
    const QByteArray png = bx::test::pngBytes();
    setAttachContent(db(), image.number, png);
    EXPECT_EQ(previewOf(session.db(), image).image, png);
    setAttachContent(db(), image.number, QByteArray(kPreviewImageBytes + 1, 'x'));
    const Preview big = previewOf(session.db(), image);
    EXPECT_TRUE(big.image.isEmpty());
    EXPECT_TRUE(big.html.contains(u"dot.png"_s));

    const ListedAttachment web = item(u"W"_s, u"https://example.org/?a=1&b=\"2\""_s);
    EXPECT_TRUE(previewOf(session.db(), web)
                    .html.contains(u"href=\"https://example.org/?a=1&amp;b=&quot;2&quot;\""_s));
    ListedAttachment plugIn = item(u"A"_s, u"Bx.Plug"_s);
    plugIn.showInTabBar = true;
    EXPECT_TRUE(previewOf(session.db(), plugIn)
                    .html.contains(u"You can see this attachment on &quot;&lt;b&gt;"
                                   "O'Brien&lt;/b&gt;&quot; Tab"_s));
}

// A contact's preview is its card, a line each and every text escaped, found by the key the row
// names (blanks and all); a contact that is gone, or no key, says it cannot be found.
TEST_P(AttachmentsTest, ContactPreviewsShowTheCardOrThatItIsGone)
{
    const qlonglong key = bx::test::addContactRow(db(), u"<b>O'Brien</b>"_s, u"Pat"_s,
                                                  u"Smith & Sons"_s, u"pat@example.org"_s);
    const QString card = u"&lt;b&gt;O'Brien&lt;/b&gt;, Pat\nSmith &amp; Sons\npat@example.org"_s;
    const struct
    {
        QString fileName;
        QString shown;
    } cases[] = {
        {u" %1 "_s.arg(key), card},
        {QString::number(key + 1000), contacts::kNotFound},
        {QString(), contacts::kNotFound},
    };
    for (const auto& c : cases) {
        ListedAttachment item;
        item.type = u"C"_s;
        item.fileName = c.fileName;
        const QString html = previewOf(session.db(), item).html;
        EXPECT_TRUE(html.contains(c.shown)) << html.toStdString();
        EXPECT_FALSE(html.contains(u'\r')) << c.fileName.toStdString();
    }
}

// The note of the file dialog looks the bare name up as stored, quotes and all.
TEST_P(AttachmentsTest, BaselineNoteKnowsStoredNames)
{
    addAttachment(task, u"F"_s, {{u"Attach_Filename"_s, u"O'Brien's plan.txt"_s}});
    EXPECT_EQ(baselineNote(session.db(), u"/home/ann/O'Brien's plan.txt"_s),
              u"NOTE: This file represents an updated version of a currently baselined file"_s);
    EXPECT_EQ(
        baselineNote(session.db(), u"/home/ann/O'Brien.txt"_s),
        u"NOTE: You are adding a new file to the Brindlepax baseline.  To replace an existing file, please check the file name."_s);
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
    const QString missing = u"/nowhere/O'Brien's.doc"_s;
    const Outcome<QUrl> gone = fileToOpen(missing);
    ASSERT_TRUE(gone.refusal());
    EXPECT_EQ(gone.refusal()->message, u"File not found: "_s + missing);
    QTemporaryDir folder;
    const QString doc = folder.filePath(u"O'Brien's.doc"_s);
    ASSERT_TRUE(writeFile(doc, "text"));
    EXPECT_EQ(fileToOpen(doc) ? *fileToOpen(doc) : QUrl(), QUrl::fromLocalFile(doc));
    const QString launcher = folder.filePath(u"readme.Desktop"_s);
    ASSERT_TRUE(writeFile(launcher, "[Desktop Entry]\nExec=sh -c planted\n"));
    EXPECT_FALSE(fileToOpen(launcher));
    ASSERT_TRUE(QFile::setPermissions(doc, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    EXPECT_FALSE(fileToOpen(doc));
    EXPECT_EQ(withTextExtension(u"/tmp/O'Brien"_s), u"/tmp/O'Brien.txt"_s);
    EXPECT_EQ(withTextExtension(u"/tmp/a.log"_s), u"/tmp/a.log"_s);
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
            EXPECT_EQ(url.refusal()->message, u"The file "_s + path + kIsAProgram);
        } else {
            EXPECT_EQ(url ? *url : QUrl(), QUrl::fromLocalFile(path)) << c.name;
        }
    }
}

BX_INSTANTIATE_ENGINES(AttachmentsTest);
