// Saving, history, plug-in read-back, clones and routing of the task object.

#include "TaskTestSupport.h"
#include "tasks/cSCR.h"

#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <optional>
#include <tuple>

using namespace Qt::StringLiterals;
using namespace bx;
using namespace bx::test::tasks;

namespace {

// The notifier's record, not the database's change notice.
using bx::test::tasks::Notice;

const QString kVarName = u"USERS/DEFAULT ASSIGN/ann"_s;

class cSCRSaveTest : public TaskTest
{
protected:
    /** A task of mine in workshop 7, filed in kProjects, as another client saved it. */
    qlonglong baselineTask(const QVariantMap& extra = {})
    {
        const QVariantMap row{
            {scr::Title, u"Printer"_s},
            {scr::RequestId, u"dora"_s},
            {scr::RequestGroupId, kShop8},
            {scr::Category, kProjects},
            {scr::Comments, u"{\\rtf1 old}"_s},
            {scr::CommentsAsText, u"old"_s},
            {scr::CustomField, u"k=1"_s},
            {scr::RecurringFrequency, u""_s},
            {scr::OwnerTargetDate, at(2024, 2, 10, 15, 0)},
            {scr::StartDate, at(2024, 1, 29, 7, 0)},
            {scr::LifecycleEndDate, at(2024, 3, 1, 16, 0)},
            {scr::OwnerDateViewed, at(2024, 1, 30, 8, 0)},
            {scr::ParentFolderNumber, 5},
        };
        return bx::test::addTaskRow(db(), row, extra);
    }

    QStringList varValues()
    {
        QStringList values;
        const RecordSet rows = db().query(
            u"SELECT VarValue FROM Vars WHERE VarName = ? ORDER BY VarValue"_s, {kVarName});
        for (int i = 0; i < rows.rowCount(); ++i)
            values << rows.value(i, u"VarValue"_s).toString();
        return values;
    }

    RecordSet tasksTitled(const QString& title)
    {
        return db().query(u"SELECT * FROM SCR WHERE SCR_Title = ? ORDER BY SCR_Number"_s, {title});
    }
};

TEST_P(cSCRSaveTest, UnchangedLoadedTaskRecordsTaskSavedOnceAndEmptiesTheQueue)
{
    // The comments exist only as plain text: taking them for both forms is no change.
    const qlonglong number =
        baselineTask({{scr::Comments, QVariant()}, {scr::CommentsAsText, u"it's plain"_s}});
    cSCR task(session, prompt);
    ASSERT_TRUE(task.Load(number));
    EXPECT_EQ(task.value(scr::Comments), u"it's plain"_s);
    task.MakeHistory(u"from the note dialog"_s);
    ASSERT_EQ(task.pendingHistory().size(), 1);
    EXPECT_EQ(task.pendingHistory().first().action, u"Task saved"_s);
    EXPECT_EQ(task.SCR_Route_Note(), u"from the note dialog"_s);

    ASSERT_TRUE(task.SAVE());
    EXPECT_TRUE(task.Saved());
    EXPECT_TRUE(task.changedColumns().isEmpty()) << task.changedColumns().join(u',').toStdString();
    // No history yet: one row closed at once, then the open row of the owner.
    EXPECT_EQ(closedActions(number), QStringList{u"Task saved"_s});
    EXPECT_EQ(storedText(number, scr::RouteNote), u"from the note dialog"_s);
    EXPECT_EQ(storedNumber(number, scr::ParentFolderNumber), 5);
    EXPECT_EQ(notifier.notices.size(), 1);
    EXPECT_TRUE(prompt.records().isEmpty());
}

// Each changed column group queues its own entry; the dates take their notes from the note form.
TEST_P(cSCRSaveTest, MakeHistoryQueuesOneEntryPerChangedFieldInTheFixedOrder)
{
    const QString note = u"Bob's \"note\""_s;
    const QString targetNote = u"moved: supplier's delay"_s;
    addCategories(db(), {u"Other's folder"_s});
    db().execute(u"INSERT INTO LU_PRIORITY (Priority) VALUES (?)"_s, {u"It's urgent"_s});
    const struct
    {
        const char* column;
        QVariant value;
        const char* action;
        QString note;
    } fields[] = {
        {"SCR_Lifecycle_End_Date", at(2024, 3, 2, 18, 0), "LC End Date changed", note},
        {"SCR_Owner_Target_Date", at(2024, 2, 11, 17, 0), "Target Date changed", targetNote},
        {"SCR_StartDate", at(2024, 1, 30, 9, 0), "Start Date changed", QString()},
        {"SCR_Title", u"O'Brien's printer"_s, "Title changed", note},
        {"SCR_Comments", u"{\\rtf1 new}"_s, "Comments changed", note},
        {"SCR_Priority", u"It's urgent"_s, "Priority changed", note},
        {"SCR_Contact_Key", 12, "Contact Key changed", note},
        {"SCR_Category", u"Other's folder"_s, "Folder changed", note},
        {"SCR_Template", true, "Template changed", note},
        {"SCR_Sensitive", true, "Sensitivity changed", note},
        {"SCR_Percent_Complete", 8, "Percent Complete changed", note},
        {"SCR_Firm_Target_Date", true, "Firm Target changed", note},
        {"SCR_Recurring_Frequency", u"W"_s, "Recurring Frequency changed", note},
        {"SCR_Custom_Field", u"k='2'"_s, "Custom Field changed", note},
    };

    // Changed in the reverse order, every field is queued, and recorded, in the fixed order; the
    // start-date note is cancelled, which leaves the due-date note as the route note.
    FakeNoteSource notes;
    const qlonglong number = baselineTask();
    cSCR task(session, prompt);
    task.setNoteForm(&notes);
    ASSERT_TRUE(task.Load(number));
    for (int i = static_cast<int>(std::size(fields)) - 1; i >= 0; --i)
        ASSERT_TRUE(task.setValue(QString::fromUtf8(fields[i].column), fields[i].value));
    task.MakeHistory(note);
    EXPECT_EQ(notes.targetAsked, 1);
    EXPECT_EQ(notes.startAsked, 1);
    EXPECT_EQ(task.SCR_Route_Note(), targetNote);
    QStringList expected;
    QStringList queued;
    for (const auto& f : fields)
        expected << QString::fromUtf8(f.action) + u": "_s + f.note;
    for (const RouteHistoryEntry& e : task.pendingHistory())
        queued << e.action + u": "_s + e.comment;
    EXPECT_EQ(queued, expected);
    // Sensitive now: the save writes the row, but the task keeps no history.
    ASSERT_TRUE(task.SAVE());
    EXPECT_EQ(routeRows(number).rowCount(), 0);
    EXPECT_EQ(storedText(number, scr::Title), u"O'Brien's printer"_s);
    EXPECT_TRUE(prompt.records().isEmpty()) << shown();
}

TEST_P(cSCRSaveTest, MakeHistoryIgnoresCaseAndBlanksAndDoesNothingForANewTask)
{
    const qlonglong number = baselineTask();
    cSCR task(session, prompt);
    ASSERT_TRUE(task.Load(number));
    task.setSCR_Title(u"  PRINTER "_s);
    task.setValue(scr::CustomField, u"K=1"_s);
    // Only the due date really changed; without a note form its note is empty.
    task.setSCR_Owner_Target_Date(at(2024, 2, 12, 9, 0));
    task.setValue(scr::Priority, QString());
    task.setSCR_Category(u"bob's PROJECTS"_s);
    task.MakeHistory(u"two"_s);
    ASSERT_EQ(task.pendingHistory().size(), 1);
    EXPECT_EQ(task.pendingHistory()[0].action, u"Target Date changed"_s);
    EXPECT_EQ(task.pendingHistory()[0].comment, QString());

    cSCR fresh(session, prompt);
    ASSERT_GT(fresh.Create(), 0);
    fresh.setSCR_Title(u"new"_s);
    fresh.MakeHistory(u"ignored"_s);
    EXPECT_TRUE(fresh.pendingHistory().isEmpty());
}

TEST_P(cSCRSaveTest, NewTaskForThreeRecipientsMakesTwoClonesWithCopiesOfTheAttachments)
{
    const QString title = u"Bob's 'big' job"_s;
    cSCR task(session, prompt);
    const qlonglong number = task.Create();
    ASSERT_GT(number, 0);
    task.setSCR_Title(title);
    task.setCreateNote(u"Made from O'Brien's mail"_s);
    task.setValue(scr::CustomField, u"x='1'"_s);

    // Attachments added while the task is new: a file and a filled custom form with its values.
    const qlonglong file = addAttachment(number, u"F"_s,
                                         {{u"Attach_Title"_s, u"O'Brien's plan"_s},
                                          {u"Attach_Filename"_s, u"plan's.txt"_s},
                                          {u"Attach_Owner"_s, u"bob"_s},
                                          {u"Attach_Date"_s, at(2024, 1, 20, 10, 0)},
                                          {u"Category"_s, kProjects},
                                          {u"Group_ID"_s, kShop4},
                                          {u"Publish"_s, true},
                                          {u"Show_In_TabBar"_s, true},
                                          {u"Temp_Status"_s, 1}});
    const qlonglong form = addAttachment(number, u"X"_s,
                                         {{u"Attach_Title"_s, u"Order form"_s},
                                          {u"Attach_Filename"_s, u"Order"_s},
                                          {u"Attach_Date"_s, at(2024, 1, 21, 10, 0)}});
    for (const auto& [key, name, value, attach] :
         {std::tuple{1, "Qty", "3", form}, std::tuple{2, "Part", "O'Ring", form},
          std::tuple{1, "Qty", "", qlonglong{0}}, std::tuple{2, "Part", "", qlonglong{0}}}) {
        db().execute(u"INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY, ATTACH_NUMBER, "
                     "NAME, TYPE, VALUE, WIDTH) VALUES (?, ?, ?, ?, ?, ?, ?)"_s,
                     {u"Order"_s, key, attach, QString::fromUtf8(name), u"EDIT"_s,
                      QString::fromUtf8(value), 120});
    }

    task.UsersCol() = {{u"bob"_s, kShop4, OwnerType::User},
                       {u"carl"_s, kShop8, OwnerType::User},
                       {u"O'Brien"_s, kShop9, OwnerType::User}};
    ASSERT_TRUE(task.SAVE()) << shown();
    EXPECT_FALSE(task.isNew());

    const RecordSet original =
        db().query(u"SELECT * FROM ATTACH WHERE Attach_Number = ?"_s, {file});
    RecordSet tasks = tasksTitled(title);
    ASSERT_EQ(tasks.rowCount(), 3);
    const QStringList owners{u"bob"_s, u"carl"_s, u"O'Brien"_s};
    const QList<qlonglong> groups{kShop4, kShop8, kShop9};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(owners[i].toStdString());
        tasks.setPosition(i);
        const qlonglong n = tasks.number(scr::Number);
        EXPECT_EQ(n == number, i == 0);
        EXPECT_EQ(tasks.text(scr::OwnerUserId), owners[i]);
        EXPECT_EQ(tasks.number(scr::GroupId), groups[i]);
        EXPECT_EQ(tasks.text(scr::CustomField), u"x='1'"_s);
        EXPECT_EQ(closedActions(n),
                  QStringList{i == 0 ? u"Made from O'Brien's mail"_s : u"Task cloned"_s});

        // Attachments: the original keeps its own; each clone has copies under new numbers.
        const RecordSet attach =
            db().query(u"SELECT * FROM ATTACH WHERE SCR_Number = ? ORDER BY Attach_Date"_s, {n});
        ASSERT_EQ(attach.rowCount(), 2);
        const qlonglong fileCopy = attach.value(0, u"Attach_Number"_s).toLongLong();
        const qlonglong formCopy = attach.value(1, u"Attach_Number"_s).toLongLong();
        EXPECT_EQ(fileCopy == file, i == 0);
        EXPECT_EQ(formCopy == form, i == 0);
        for (const char* column :
             {"Attach_Title", "Attach_Filename", "Attach_Owner", "Attach_Date", "Category",
              "Group_ID", "Publish", "Show_In_TabBar", "Temp_Status", "Attach_Type"}) {
            EXPECT_EQ(attach.value(0, QString::fromLatin1(column)),
                      original.value(QString::fromLatin1(column)))
                << column;
        }
        EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM CONTROL WHERE ATTACH_NUMBER = ? "
                            "AND FORM_NAME = ? AND ((NAME = ? AND VALUE = ?) OR "
                            "(NAME = ? AND VALUE = ?))"_s,
                            {formCopy, u"Order"_s, u"Qty"_s, u"3"_s, u"Part"_s, u"O'Ring"_s}),
                  2);
    }
    // The form definition stays single.
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM CONTROL"_s), 2 + 3 * 2);

    // The default assignment is one row naming the last recipient.
    EXPECT_EQ(varValues(), QStringList{u"O'Brien"_s});
    EXPECT_TRUE(prompt.records().isEmpty());
}

// Any failure while saving, even in the last clone, leaves nothing behind; a retry then works.
// The notice service fails with a plain exception here, with a database error below.
TEST_P(cSCRSaveTest, FailedSaveOfANewTaskLeavesNoTraceAndCanBeRetried)
{
    cSCR task(session, prompt);
    const qlonglong number = task.Create();
    ASSERT_GT(number, 0);
    task.setSCR_Title(u"Clone's fate"_s);
    addAttachment(number, u"M"_s, {{u"Attach_Title"_s, u"memo"_s}});
    task.UsersCol() = {{u"bob"_s, kShop4, OwnerType::User},
                       {u"carl"_s, kShop8, OwnerType::User},
                       {u"O'Brien"_s, kShop9, OwnerType::User}};
    const QVariantMap before = task.values();
    const qlonglong scrRows = countRows(u"SELECT COUNT(*) FROM SCR"_s);

    notifier.failWhen = [](const Notice& n) {
        return n.action == u"Task cloned"_s && n.ownerUser == u"O'Brien"_s;
    };
    bool saved = false;
    EXPECT_NO_THROW(saved = task.SAVE());
    EXPECT_FALSE(saved);
    ASSERT_EQ(taskErrors().size(), 1) << shown();
    EXPECT_TRUE(taskErrors().first().contains(notifier.failText)) << shown();
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM SCR"_s), scrRows);
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM ATTACH"_s), 1);
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM ROUTE"_s), 0);
    EXPECT_TRUE(varValues().isEmpty());
    EXPECT_TRUE(task.isNew());
    EXPECT_EQ(differingValues(task.values(), before), QStringList{});
    EXPECT_EQ(task.UsersCol().size(), 3);

    // The same object saves once the notices go through.
    notifier.failWhen = nullptr;
    ASSERT_TRUE(task.SAVE()) << shown();
    EXPECT_EQ(tasksTitled(u"Clone's fate"_s).rowCount(), 3);
    EXPECT_EQ(storedText(number, scr::OwnerUserId), u"bob"_s);
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM ATTACH"_s), 3);
}

TEST_P(cSCRSaveTest, FailedSaveOfALoadedTaskKeepsRowHistoryAndObject)
{
    const qlonglong number = baselineTask();
    cSCR task(session, prompt);
    ASSERT_TRUE(task.Load(number));
    task.setSCR_Title(u"Printer's toner"_s);
    task.setValue(scr::CustomField, u"k=2"_s);
    task.MakeHistory(u"two changes"_s);
    ASSERT_EQ(task.pendingHistory().size(), 2);
    const QVariantMap before = task.values();

    // The first entry is recorded, the second one's notice fails.
    notifier.throwDbError = true;
    notifier.failWhen = [](const Notice& n) { return n.action == u"Custom Field changed"_s; };
    bool saved = false;
    EXPECT_NO_THROW(saved = task.SAVE());
    EXPECT_FALSE(saved);
    EXPECT_EQ(notifier.notices.size(), 2);
    EXPECT_EQ(taskErrors().size(), 1) << shown();
    EXPECT_EQ(storedText(number, scr::Title), u"Printer"_s);
    EXPECT_EQ(storedNumber(number, scr::RouteNumber), 0);
    EXPECT_EQ(routeRows(number).rowCount(), 0);
    EXPECT_EQ(differingValues(task.values(), before), QStringList{});
    EXPECT_EQ(task.pendingHistory().size(), 2);
    EXPECT_FALSE(task.Saved());

    notifier.failWhen = nullptr;
    ASSERT_TRUE(task.SAVE());
    EXPECT_EQ(closedActions(number), (QStringList{u"Title changed"_s, u"Custom Field changed"_s}));
    EXPECT_EQ(storedText(number, scr::Title), u"Printer's toner"_s);
}

TEST_P(cSCRSaveTest, MeetingStoresItsOwnNumber)
{
    const struct
    {
        const char* name;
        TaskType created;
        std::optional<TaskType> setAfter;
        bool meeting;
    } cases[] = {
        {"created as meeting", TaskType::Meeting, {}, true},
        {"made a meeting before the first save", TaskType::Task, TaskType::Meeting, true},
        {"plain task", TaskType::Task, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cSCR task(session, prompt);
        const qlonglong number = task.Create(c.created);
        ASSERT_GT(number, 0);
        if (c.setAfter)
            task.setTaskType(*c.setAfter);
        ASSERT_TRUE(task.SAVE());
        EXPECT_EQ(storedNumber(number, scr::MeetingId), c.meeting ? number : 0);
        cSCR again(session, prompt);
        ASSERT_TRUE(again.Load(number));
        EXPECT_EQ(again.taskType(), c.meeting ? TaskType::Meeting : TaskType::Task);
    }
    EXPECT_TRUE(prompt.records().isEmpty());
}

TEST_P(cSCRSaveTest, EmptyCategoryIsSavedAsTheWorkshopRootFolder)
{
    const struct
    {
        const char* name;
        bool loaded;
        qlonglong group;
        QString category;
        QString expected;
    } cases[] = {
        {"new, workshop with root folder", false, kShop7, QString(), kSevenRoot},
        {"new, category chosen", false, kShop7, kProjects, kProjects},
        {"loaded, category cleared", true, kShop7, u"  "_s, kSevenRoot},
        {"loaded, workshop without root folder", true, kShop4, QString(), QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<cSCR> task = std::make_unique<cSCR>(session, prompt);
        qlonglong number = 0;
        if (c.loaded) {
            number = baselineTask({{scr::GroupId, c.group}});
            ASSERT_TRUE(task->Load(number));
        } else {
            number = task->Create();
            task->setSCR_Group_ID(c.group);
        }
        task->setSCR_Category(c.category);
        ASSERT_TRUE(task->SAVE()) << shown();
        EXPECT_EQ(storedText(number, scr::Category), c.expected);
        EXPECT_EQ(storedNumber(number, scr::GroupId), c.group);
    }
}

TEST_P(cSCRSaveTest, WorkshopZeroIsStoredAsNullAndReadBackAsZero)
{
    const struct
    {
        const char* name;
        int currentWorkshop;
        qlonglong lcOwnerGroup;
    } cases[] = {
        {"workshop 7, no lifecycle workshop", 7, 0},
        {"no workshop, lifecycle workshop 9", 0, kShop9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        session.currentWorkshopId = c.currentWorkshop;
        cSCR task(session, prompt);
        const qlonglong number = task.Create();
        ASSERT_GT(number, 0);
        ASSERT_EQ(task.SCR_Request_Group_ID(), c.currentWorkshop);
        task.setValue(scr::LcOwnerGroupId, c.lcOwnerGroup);
        ASSERT_TRUE(task.SAVE()) << shown();
        const QVariant request = stored(number, scr::RequestGroupId);
        const QVariant lc = stored(number, scr::LcOwnerGroupId);
        EXPECT_EQ(request.isNull(), c.currentWorkshop == 0);
        EXPECT_EQ(request.toLongLong(), c.currentWorkshop);
        EXPECT_EQ(lc.isNull(), c.lcOwnerGroup == 0);
        EXPECT_EQ(lc.toLongLong(), c.lcOwnerGroup);

        cSCR again(session, prompt);
        ASSERT_TRUE(again.Load(number));
        EXPECT_EQ(again.SCR_Request_Group_ID(), c.currentWorkshop);
        EXPECT_EQ(again.SCR_LC_Owner_Group_ID(), c.lcOwnerGroup);
        // Saving the loaded task again keeps them.
        ASSERT_TRUE(again.SAVE());
        EXPECT_EQ(stored(number, scr::LcOwnerGroupId).isNull(), c.lcOwnerGroup == 0);
    }
}

TEST_P(cSCRSaveTest, NewTaskWritesEveryColumnOnce)
{
    clock.set(at(2024, 1, 31, 23, 30, 15)); // 21:30:15 GMT
    cSCR task(session, prompt);
    const qlonglong number = task.Create();
    ASSERT_GT(number, 0);
    const QString title = u"It's \"quoted\"; O''Brien -- ' OR 1=1"_s;
    task.setSCR_Title(title);
    task.setSCR_Owner_Target_Date(at(2024, 2, 5, 1, 15));
    task.setSCR_StartDate(QDateTime());
    task.setValue(scr::CommentsAsText, u"plain"_s);
    task.setValue(scr::FirmTargetDate, true);
    task.setValue(scr::RouteNote, u"not written"_s);
    // An earlier default assignment of mine is replaced; bob's stays.
    db().execute(u"INSERT INTO Vars (VarName, VarValue) VALUES (?, ?)"_s, {kVarName, u"carl"_s});
    db().execute(u"INSERT INTO Vars (VarName, VarValue) VALUES (?, ?)"_s,
                 {u"USERS/DEFAULT ASSIGN/bob"_s, u"dora"_s});
    ASSERT_TRUE(task.SAVE()) << shown();

    EXPECT_EQ(storedTexts(number, {scr::Number, scr::Title, scr::OwnerUserId, scr::RouteNote}),
              (QStringList{QString::number(number), title, kMe, {}}));
    EXPECT_NE(storedNumber(number, scr::FirmTargetDate), 0);
    EXPECT_EQ(RecordSet::toDateTime(stored(number, scr::RequestDate)), at(2024, 1, 31, 21, 30, 15));
    EXPECT_EQ(RecordSet::toDateTime(stored(number, scr::OwnerDateIn)), at(2024, 1, 31, 21, 30, 15));
    EXPECT_EQ(RecordSet::toDateTime(stored(number, scr::OwnerTargetDate)), at(2024, 2, 4, 23, 15));
    EXPECT_TRUE(stored(number, scr::StartDate).isNull());
    // Create Request: closed at once, then the open row of the owner.
    EXPECT_EQ(closedActions(number), QStringList{u"Create Request"_s});
    ASSERT_EQ(notifier.notices.size(), 1);
    EXPECT_EQ(notifier.notices[0].targetDate, at(2024, 2, 4, 23, 15));
    EXPECT_EQ(varValues(), QStringList{kMe});
    EXPECT_EQ(db().scalar(u"SELECT VarValue FROM Vars WHERE VarName = ?"_s,
                          {u"USERS/DEFAULT ASSIGN/bob"_s}),
              u"dora"_s);

    // A second save updates the same row.
    task.setSCR_Title(u"second"_s);
    ASSERT_TRUE(task.SAVE());
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM SCR WHERE SCR_Number = ?"_s, {number}), 1);
    EXPECT_EQ(storedText(number, scr::Title), u"second"_s);
    EXPECT_EQ(closedActions(number), QStringList{u"Create Request"_s});
}

TEST_P(cSCRSaveTest, TaskCreatedAndNeverSavedGivesItsRowBack)
{
    qlonglong discarded = 0;
    qlonglong saved = 0;
    const qlonglong loaded = baselineTask();
    {
        cSCR a(session, prompt);
        discarded = a.Create();
        cSCR b(session, prompt);
        saved = b.Create();
        ASSERT_TRUE(b.SAVE());
        cSCR c(session, prompt);
        ASSERT_TRUE(c.Load(loaded));
        ASSERT_GT(discarded, 0);
    }
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM SCR WHERE SCR_Counter = ?"_s, {discarded}), 0);
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM SCR WHERE SCR_Number = ?"_s, {saved}), 1);
    EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM SCR WHERE SCR_Number = ?"_s, {loaded}), 1);
    // The number is not handed out again.
    cSCR d(session, prompt);
    EXPECT_GT(d.Create(), discarded);
}

// The attachment list leaves the stored files in the database; publishing touches only the
// task's own attachment.
TEST_P(cSCRSaveTest, AttachmentsAreListedNewestFirstAndPublishedOneByOne)
{
    const qlonglong number = baselineTask();
    const qlonglong other = baselineTask();
    const qlonglong older = addAttachment(
        number, {{u"Attach_Title"_s, u"Ann's plan"_s}, {u"Attach_Date"_s, at(2024, 1, 2, 9, 0)}});
    const qlonglong newer = addAttachment(
        number, {{u"Attach_Title"_s, u"minutes"_s}, {u"Attach_Date"_s, at(2024, 1, 20, 9, 0)}});
    const qlonglong foreign = addAttachment(other, QVariantMap());
    cSCR task(session, prompt);
    ASSERT_TRUE(task.Load(number));

    const RecordSet list = task.RS_ATTACH();
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.value(0, u"Attach_Number"_s).toLongLong(), newer);
    EXPECT_EQ(list.value(1, u"Attach_Number"_s).toLongLong(), older);
    EXPECT_FALSE(list.hasColumn(u"OLE_Data"_s));

    ASSERT_TRUE(task.PublishAttach(older, true));
    ASSERT_TRUE(task.PublishAttach(foreign, true));
    const auto published = [&](qlonglong attach) {
        return countRows(u"SELECT COUNT(*) FROM ATTACH WHERE Attach_Number = ? AND "
                         "Publish <> 0"_s,
                         {attach});
    };
    EXPECT_EQ(published(older), 1);
    EXPECT_EQ(published(newer), 0);
    EXPECT_EQ(published(foreign), 0);
    ASSERT_TRUE(task.PublishAttach(older, false));
    EXPECT_EQ(published(older), 0);
}

TEST_P(cSCRSaveTest, PlugInMayCancelTheSaveAndHandsBackItsValuesOnce)
{
    const qlonglong number = baselineTask();
    FakePlugIn plugIn;
    cSCR task(session, prompt);
    task.setActiveObject(&plugIn);
    ASSERT_TRUE(task.Load(number));
    task.setSCR_Title(u"changed"_s);
    task.MakeHistory(QString());

    // Cancelled: nothing written, nothing shown.
    plugIn.cancelSave = true;
    plugIn.props.insert(scr::CustomField, u"from 'plug-in'"_s);
    EXPECT_FALSE(task.SAVE());
    EXPECT_EQ(storedText(number, scr::Title), u"Printer"_s);
    EXPECT_EQ(routeRows(number).rowCount(), 0);
    EXPECT_TRUE(prompt.records().isEmpty());
    EXPECT_TRUE(plugIn.actions.contains(u"SAVE"_s));

    // A plug-in that goes on hands back its custom field.
    plugIn.cancelSave = false;
    ASSERT_TRUE(task.SAVE()) << shown();
    EXPECT_EQ(storedText(number, scr::CustomField), u"from 'plug-in'"_s);
    EXPECT_EQ(storedText(number, scr::Title), u"changed"_s);

    // Read back once in the object's life; the lifecycle end date is taken every time.
    plugIn.props.insert(scr::CustomField, u"second"_s);
    plugIn.props.insert(scr::OwnerTargetDate, at(2024, 7, 7, 0, 0));
    plugIn.props.insert(scr::LifecycleEndDate, at(2024, 8, 1, 9, 0));
    ASSERT_TRUE(task.SAVE());
    EXPECT_EQ(storedText(number, scr::CustomField), u"from 'plug-in'"_s);
    EXPECT_EQ(task.SCR_Owner_Target_Date(), at(2024, 2, 10, 17, 0));
    EXPECT_EQ(RecordSet::toDateTime(stored(number, scr::LifecycleEndDate)), at(2024, 8, 1, 7, 0));

    task.ClearObject();
    EXPECT_EQ(plugIn.actions.last(), u"EXIT"_s);
}

TEST_P(cSCRSaveTest, PlugInDueDateKeepsItsTimeOfDayOrIsIgnoredWhenEmpty)
{
    const struct
    {
        const char* name;
        QVariant handed;
        QDateTime expected;
    } cases[] = {
        {"midnight", at(2024, 5, 6, 0, 0), at(2024, 5, 6, 14, 5, 9)},
        {"date only", QDate(2024, 5, 6), at(2024, 5, 6, 14, 5, 9)},
        {"with time of day", at(2024, 5, 6, 9, 30), at(2024, 5, 6, 9, 30)},
        {"none", QVariant(), at(2024, 2, 10, 17, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakePlugIn plugIn;
        plugIn.props.insert(scr::OwnerTargetDate, c.handed);
        cSCR task(session, prompt);
        task.setActiveObject(&plugIn);
        ASSERT_TRUE(task.Load(baselineTask()));
        EXPECT_TRUE(task.SavePlugIn(true));
        EXPECT_EQ(task.SCR_Owner_Target_Date(), c.expected);
    }
}

// ---------------------------------------------------------------------------------------------
// Routing to users and workshops

TEST_P(cSCRSaveTest, RouteToAUserOrWorkshopRecordsTheRecipient)
{
    const QString note = u"Please check O'Brien's \"figures\""_s;
    const struct
    {
        const char* name;
        cSelUser to;
    } cases[] = {
        {"user", {u"O'Brien"_s, kShop9, OwnerType::User}},
        {"workshop", {QString(), kShop4, OwnerType::Workshop}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        notifier.notices.clear();
        const qlonglong number = baselineTask();
        startHistory(number, kMe, kShop7);
        FakePlugIn plugIn;
        cSCR task(session, prompt);
        task.setActiveObject(&plugIn);
        ASSERT_TRUE(task.Load(number));
        ASSERT_TRUE(task.SCR_Permission_Write());
        ASSERT_TRUE(task.Route_SCR({c.to}, note)) << shown();

        EXPECT_EQ(storedTexts(number, {scr::OwnerUserId, scr::GroupId, scr::OwnerDateViewed,
                                       scr::RouteNote}),
                  (QStringList{c.to.User_ID, QString::number(c.to.Group_id), {}, note}));
        EXPECT_EQ(storedNumber(number, scr::ParentFolderNumber), 0);
        EXPECT_FALSE(task.SCR_Permission_Write());
        EXPECT_TRUE(plugIn.actions.contains(u"CANCEL"_s));

        const RecordSet rows = routeRows(number);
        ASSERT_EQ(rows.rowCount(), 3);
        EXPECT_EQ(rows.value(1, u"Route_Note"_s).toString(), note);
        EXPECT_EQ(rows.value(2, u"USER_ID"_s).toString(), c.to.User_ID);

        // One notice for the one entry, with the values the action left.
        ASSERT_EQ(notifier.notices.size(), 1);
        const Notice& n = notifier.notices.first();
        EXPECT_EQ(n.action, u"Task routed"_s);
        EXPECT_EQ(n.targetDate, at(2024, 2, 10, 15, 0));
        EXPECT_EQ(n.ownerUser, c.to.User_ID);
        EXPECT_EQ(n.groupId, c.to.Group_id);
    }
    EXPECT_TRUE(prompt.records().isEmpty());
}

TEST_P(cSCRSaveTest, RouteToThreeRecipientsClonesForTheOthers)
{
    const qlonglong number = baselineTask({{scr::Title, u"Trio"_s}});
    startHistory(number, kMe, kShop7);
    addAttachment(number, u"M"_s, {{u"Attach_Title"_s, u"memo"_s}});
    cSCR task(session, prompt);
    ASSERT_TRUE(task.Load(number));
    ASSERT_TRUE(task.Route_SCR({{u"bob"_s, kShop4, OwnerType::User},
                                {QString(), kShop8, OwnerType::Workshop},
                                {u"O'Brien"_s, kShop9, OwnerType::User}},
                               u"to all"_s))
        << shown();

    RecordSet tasks = tasksTitled(u"Trio"_s);
    ASSERT_EQ(tasks.rowCount(), 3);
    const QStringList owners{u"bob"_s, QString(), u"O'Brien"_s};
    const QList<qlonglong> groups{kShop4, kShop8, kShop9};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        tasks.setPosition(i);
        const qlonglong n = tasks.number(scr::Number);
        EXPECT_EQ(n == number, i == 0);
        EXPECT_EQ(tasks.text(scr::OwnerUserId), owners[i]);
        EXPECT_EQ(tasks.number(scr::GroupId), groups[i]);
        EXPECT_EQ(tasks.text(scr::RequestId), u"dora"_s);
        const QStringList expected =
            i == 0 ? QStringList{u"Create Request"_s, u"Task routed to 'bob' (Workshop:  4 )"_s}
                   : QStringList{u"Task cloned"_s};
        EXPECT_EQ(closedActions(n), expected);
        EXPECT_EQ(countRows(u"SELECT COUNT(*) FROM ATTACH WHERE SCR_Number = ?"_s, {n}), 1);
    }
    // Each clone's first save remembers its owner as the default assignment.
    EXPECT_EQ(varValues(), QStringList{u"O'Brien"_s});
}

TEST_P(cSCRSaveTest, RefusedOrFailedRouteLeavesTaskAndObjectAsTheyWere)
{
    const qlonglong number = baselineTask({{scr::Title, u"Duo"_s}});
    startHistory(number, kMe, kShop7);
    cSCR task(session, prompt);
    ASSERT_TRUE(task.Load(number));
    const QVariantMap before = task.values();
    // Without a recipient the route is refused before anything is written.
    EXPECT_FALSE(task.Route_SCR({}, u"note"_s));
    ASSERT_EQ(taskErrors(), QStringList{u"Please specify recipient"_s});
    prompt.clear();

    notifier.throwDbError = true;
    notifier.failWhen = [](const Notice& n) { return n.action == u"Task routed"_s; };
    bool routed = true;
    EXPECT_NO_THROW(routed = task.Route_SCR(
                        {{u"bob"_s, kShop4, OwnerType::User}, {u"carl"_s, kShop8, OwnerType::User}},
                        u"twice"_s));
    EXPECT_FALSE(routed);
    EXPECT_EQ(taskErrors().size(), 1) << shown();
    EXPECT_EQ(differingValues(task.values(), before), QStringList{});
    EXPECT_TRUE(task.SCR_Permission_Write());
    EXPECT_EQ(tasksTitled(u"Duo"_s).rowCount(), 1);
    EXPECT_EQ(storedText(number, scr::OwnerUserId), kMe);
    EXPECT_EQ(storedNumber(number, scr::ParentFolderNumber), 5);
    EXPECT_FALSE(stored(number, scr::OwnerDateViewed).isNull());
    EXPECT_EQ(routeRows(number).rowCount(), 2);
    EXPECT_TRUE(varValues().isEmpty());
}

BX_INSTANTIATE_ENGINES(cSCRSaveTest);

} // namespace
