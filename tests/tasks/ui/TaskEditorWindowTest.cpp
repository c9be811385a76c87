#include "core/Clock.h"
#include "core/Session.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "support/ScriptedPrompt.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"
#include "tasks/Recurrence.h"
#include "tasks/TaskEditor.h"
#include "tasks/TaskEditorHost.h"
#include "tasks/ui/SCR_FORM.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QLineEdit>
#include <QTabWidget>

#include <gtest/gtest.h>

using namespace bx;
using bx::test::child;
using bx::test::ScriptedPrompt;
using namespace bx::test;

namespace {

const QString kMe = QStringLiteral("ann");
constexpr qlonglong kShop = 7;

class RecordingHost final : public TaskEditorHost
{
public:
    void taskSaved(qlonglong number, bool wasNew) override { saved.append({number, wasNew}); }
    void refreshTaskLists() override { ++refreshes; }
    qlonglong neighbourTask(qlonglong, int) override { return 0; }
    QList<std::pair<qlonglong, bool>> saved;
    int refreshes = 0;
};

class TaskEditorWindowTest : public bx::test::WindowTest
{
protected:
    void SetUp() override
    {
        qputenv("BRINDLEPAX_DATA", dir.path().toUtf8());
        WindowTest::SetUp();
        if (HasFatalFailure())
            return;
        session.user.userId = kMe;
        session.currentWorkshopId = static_cast<int>(kShop);
        addUsers(db(), {kMe, QStringLiteral("bob")});
        addWorkshop(db(), kShop, QStringLiteral("O'Neil's desk"));
        addCategories(db(), {QStringLiteral("O'Neil's folder")});
    }
    void TearDown() override
    {
        session.closeDatabase();
        qunsetenv("BRINDLEPAX_DATA");
    }

    qlonglong addTask(const QVariantMap& columns) { return addTaskRow(db(), columns); }
    qlonglong addAttachment(qlonglong task)
    {
        return db().insertNumbered(
            QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
            {scr::Number, QStringLiteral("Attach_Type"), QStringLiteral("Attach_Title")},
            {task, QStringLiteral("M"), QStringLiteral("Bob's memo")});
    }
    QVariant stored(qlonglong task, const char* column)
    {
        return db().scalar(
            QStringLiteral("SELECT %1 FROM SCR WHERE SCR_Number = ?").arg(QLatin1String(column)),
            {task});
    }
    void trigger(QWidget& window, const char* key) { child<QAction>(window, key)->trigger(); }

    RecordingHost host;
};

} // namespace

// A new task with only its name saves when nothing is mandatory: the row, its description cache
// and the host's notice; the window closes.
TEST_F(TaskEditorWindowTest, NewTaskWithOnlyATitleSaves)
{
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::newTask(TaskType::Task, kShop)));
    window.show();
    const qlonglong number = window.SCR().SCR_Number();
    child<QLineEdit>(window, "T_TITLE")->setText(QStringLiteral("O'Brien's \"plan\""));
    trigger(window, "Save");

    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
    EXPECT_EQ(stored(number, "SCR_Title").toString(), QStringLiteral("O'Brien's \"plan\""));
    EXPECT_EQ(stored(number, "SCR_Group_ID").toLongLong(), kShop);
    EXPECT_EQ(host.saved, (QList<std::pair<qlonglong, bool>>{{number, true}}));
    EXPECT_TRUE(QFile::exists(editor::commentFilePath(number)));
    EXPECT_FALSE(window.isVisible());
}

// With a mandatory folder, a folder of spaces stops the save on the first tab with the focus on
// the folder; an existing task of somebody else is not checked at all.
TEST_F(TaskEditorWindowTest, MandatoryFolderAndDisabledFields)
{
    session.system.mandCategory = true;
    {
        SCR_FORM window(session, prompt, &host);
        ASSERT_TRUE(window.open(TaskOpening::newTask(TaskType::Task, kShop)));
        window.show();
        child<QLineEdit>(window, "T_TITLE")->setText(QStringLiteral("Ann's"));
        child<QLineEdit>(window, "T_CATEGORY")->setText(QStringLiteral("   "));
        auto* tabs = child<QTabWidget>(window, "SSTab1");
        tabs->setCurrentIndex(3);
        trigger(window, "Save");
        EXPECT_EQ(prompt.texts(), QStringList{editor::kSpecifyFolder});
        EXPECT_EQ(tabs->currentIndex(), 0);
        EXPECT_EQ(window.focusWidget(), child<QLineEdit>(window, "T_CATEGORY"));
        EXPECT_TRUE(host.saved.isEmpty());
        EXPECT_TRUE(window.isVisible());
        prompt.answer(PromptAnswer::No); // "Do you want to save changes?"
        window.close();
    }
    prompt.clear();
    session.system.mandTargetDate = true;
    session.system.mandPriority = true;
    const qlonglong bobs = addTask({{scr::OwnerUserId, QStringLiteral("bob")}});
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(bobs)));
    EXPECT_FALSE(child<QLineEdit>(window, "T_TITLE")->isEnabled());
    trigger(window, "Save");
    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
    EXPECT_EQ(host.saved.size(), 1);
}

// A sub-task opened with the copy flag takes the parent's values, its title with " - Subtask",
// no lifecycle, and the parent's number; without the flag it takes only the parent's number.
TEST_F(TaskEditorWindowTest, SubTaskCopiesItsParent)
{
    const qlonglong parent = addTask({{scr::Title, QStringLiteral("Ann's \"big\" job")},
                                      {scr::Category, QStringLiteral("O'Neil's folder")},
                                      {scr::LifecycleId, QStringLiteral("Review")},
                                      {scr::LcStageName, QStringLiteral("Draft")}});
    session.system.getParentParams = true;
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::subTaskOf(parent, kShop)));
    EXPECT_EQ(child<QLineEdit>(window, "T_TITLE")->text(),
              QStringLiteral("Ann's \"big\" job - Subtask"));
    EXPECT_EQ(child<QLineEdit>(window, "T_CATEGORY")->text(), QStringLiteral("O'Neil's folder"));
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
    db().execute(QStringLiteral("INSERT INTO LIFECYCLE (Lifecycle_ID, Lifecycle_Description, "
                                "Owner_ID, owner_group_id) VALUES (?, ?, ?, ?)"),
                 {QStringLiteral("Bob's review"), QStringLiteral("review"), kMe, kShop});
    db().execute(QStringLiteral("INSERT INTO LIFECYCLE_USER (Lifecycle_ID, LC_Stage_Name, "
                                "LC_Sequence_Number, UserType, User_ID, group_ID, owner_group_id, "
                                "Days_In_Cycle, Owner_ID) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                 {QStringLiteral("Bob's review"), QStringLiteral("Draft"), 0, 0,
                  QStringLiteral("bob"), kShop, kShop, 3, kMe});
    const qlonglong templ = addTask({{scr::Title, QStringLiteral("template")},
                                     {scr::Template, true},
                                     {scr::LifecycleId, QStringLiteral("Bob's review")}});
    addAttachment(templ);
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::fromTemplate(templ, kShop)));
    EXPECT_EQ(child<QLineEdit>(window, "T_TITLE")->text(), QString());
    const qlonglong number = window.SCR().SCR_Number();
    child<QLineEdit>(window, "T_TITLE")->setText(QStringLiteral("From O'Brien's template"));
    trigger(window, "Save");

    EXPECT_EQ(stored(number, "SCR_Lifecycle_ID").toString(), QStringLiteral("Bob's review"));
    EXPECT_EQ(stored(number, "SCR_LC_Stage_Name").toString(), QStringLiteral("Draft"));
    EXPECT_EQ(stored(number, "SCR_Owner_User_ID").toString(), QStringLiteral("bob"));
    EXPECT_GT(
        db().scalar(QStringLiteral("SELECT COUNT(*) FROM ROUTE WHERE SCR_Number = ?"), {number})
            .toLongLong(),
        0);
    EXPECT_EQ(
        db().scalar(QStringLiteral("SELECT COUNT(*) FROM ATTACH WHERE SCR_Number = ?"), {number})
            .toLongLong(),
        1);
}

// No to "Do you want to save changes?" removes what the editor added (the template's copies) and
// keeps what another client attached meanwhile; Cancel keeps the window open.
TEST_F(TaskEditorWindowTest, DiscardRemovesOnlyWhatTheEditorAdded)
{
    const qlonglong templ =
        addTask({{scr::Title, QStringLiteral("template")}, {scr::Template, true}});
    const qlonglong kept = addAttachment(templ);
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::fromTemplate(templ, kShop)));
    window.show();
    const qlonglong task = window.SCR().SCR_Number();
    const qlonglong elsewhere = addAttachment(task);
    child<QLineEdit>(window, "T_TITLE")->setText(QStringLiteral("Ann's"));

    prompt.answer(PromptAnswer::Cancel);
    window.close();
    EXPECT_TRUE(window.isVisible());
    prompt.answer(PromptAnswer::No);
    window.close();
    EXPECT_FALSE(window.isVisible());
    const RecordSet left =
        db().query(QStringLiteral("SELECT Attach_Number FROM ATTACH WHERE SCR_Number = ?"), {task});
    ASSERT_EQ(left.rowCount(), 1);
    EXPECT_EQ(left.value(0, QStringLiteral("Attach_Number")).toLongLong(), elsewhere);
    EXPECT_EQ(
        db().scalar(QStringLiteral("SELECT SCR_Number FROM ATTACH WHERE Attach_Number = ?"), {kept})
            .toLongLong(),
        templ);
}

// Activating the window moves a passed weekly due date on and says so once.
TEST_F(TaskEditorWindowTest, RecurrenceNoteOnceOnActivation)
{
    const qlonglong task =
        addTask({{scr::Title, QStringLiteral("weekly")},
                 {scr::RecurringFrequency, QStringLiteral("weekly")},
                 {scr::OwnerTargetDate, naive(QDate(2024, 1, 16), QTime(9, 0))}});
    SCR_FORM window(session, prompt, &host);
    ASSERT_TRUE(window.open(TaskOpening::existing(task)));
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&window, &activate);
    QCoreApplication::sendEvent(&window, &activate);
    EXPECT_EQ(prompt.texts(), QStringList{kRecurringUpdated});
    EXPECT_EQ(child<QLineEdit>(window, "T_TARGET")->text(), QStringLiteral("2024-02-06"));
}
