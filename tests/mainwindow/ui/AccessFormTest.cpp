#include "contacts/ui/ContactsCtrl.h"
#include "core/AppPaths.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "mainwindow/Poller.h"
#include "mainwindow/Reconnect.h"
#include "mainwindow/TeamTree.h"
#include "mainwindow/ui/Access_Form.h"
#include "mainwindow/ui/TeamTreeModel.h"
#include "mainwindow/ui/TeamView.h"
#include "messaging/Outbox.h"
#include "messaging/OutboxSender.h"
#include "messaging/ui/dlgMailError.h"
#include "support/Lifecycles.h"
#include "support/OpenedUrls.h"
#include "support/QtPrinters.h"
#include "support/TaskRows.h"
#include "support/WindowTest.h"
#include "tasks/cSCR.h"
#include "tasks/ui/SCR_FORM.h"
#include "tasks/ui/dlgCategories.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace bx;
using bx::test::child;

namespace {

class AccessFormTest : public bx::test::WindowTest
{
protected:
    void arrange() override
    {
        enterWorkshop(kShop, u"O'Neil's desk"_s);
        bx::test::addUsers(db(), {u"ann"_s});
        bx::test::addMembers(db(), kShop, {u"ann"_s});
        session.user.record.fullAccess = true;
    }

    void addTask(qlonglong number, const QString& title, const QString& owner,
                 const QString& category = {})
    {
        bx::test::addTaskRow(db(), {{u"SCR_Number"_s, number},
                                    {u"SCR_Title"_s, title},
                                    {u"SCR_Owner_User_ID"_s, owner},
                                    {u"SCR_Request_ID"_s, u"admin"_s},
                                    {u"SCR_Group_ID"_s, kShop},
                                    {u"SCR_Category"_s, category},
                                    {u"Meeting_ID"_s, 0}});
    }

    /** The task numbers the grid shows once the view's read is in, sorted. */
    static QList<qlonglong> gridTasks(Access_Form& form)
    {
        waitForView(form);
        const QAbstractItemModel& grid = *form.teamView()->grid()->model();
        QList<qlonglong> out;
        for (int r = 0; r < grid.rowCount(); ++r)
            out << grid.index(r, 0).data(Qt::UserRole).toLongLong();
        std::sort(out.begin(), out.end());
        return out;
    }

    /** Waits for the team view's background read. */
    static void waitForView(Access_Form& form)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !form.teamView()->reading(); }, 20000));
    }

    /** Makes the tree's node of task `number` the selected one. */
    static void selectTask(Access_Form& form, qlonglong number)
    {
        waitForView(form);
        TeamView& view = *form.teamView();
        const TreeNode* node = view.tree().findTask(number);
        ASSERT_NE(node, nullptr);
        auto& model = static_cast<TeamTreeModel&>(*view.treeView()->model());
        view.treeView()->setCurrentIndex(model.indexOf(node));
    }

    static constexpr qlonglong kShop = 70;
};

// The pages by key, the closable Find page and the commands that switch pages.
TEST_F(AccessFormTest, PagesByKeyAndTheClosableFindPage)
{
    Access_Form form(session, prompt);
    waitForView(form);
    EXPECT_EQ(form.tabKeys(),
              u"TEAMWORK,MESSAGES,FILECABINET,DISCUSSION,CONTACTS,CALENDAR"_s.split(u','));
    EXPECT_EQ(form.currentTabKey(), u"TEAMWORK"_s);

    child<QAction>(form, "CALENDAR")->trigger();
    EXPECT_EQ(form.currentTabKey(), u"CALENDAR"_s);

    // Close Tab leaves the fixed pages alone and closes Find.
    child<QAction>(form, "mnuCloseTab")->trigger();
    EXPECT_EQ(form.tabKeys().size(), 6);
    form.runSearch();
    EXPECT_EQ(form.currentTabKey(), u"FIND"_s);
    form.runSearch();
    EXPECT_EQ(form.tabKeys().count(u"FIND"_s), 1);
    child<QAction>(form, "mnuCloseTab")->trigger();
    EXPECT_FALSE(form.tabKeys().contains(u"FIND"_s));

    // The file cabinet's "Contact" button adds a contact as the Contacts page does.
    auto* contacts = form.findChild<ContactsCtrl*>();
    ASSERT_NE(contacts, nullptr);
    QString shown;
    contacts->setDialogRunner([&](QDialog& dialog) {
        shown = dialog.objectName();
        return int(QDialog::Rejected);
    });
    child<QAction>(form, "MNUNEWCONTACT")->trigger();
    EXPECT_EQ(shown, u"F_CONTACT"_s);
}

// Help > Contents and F1 open the help's index page, in the main window and in a task editor.
TEST_F(AccessFormTest, HelpContentsAndF1OpenTheIndexPage)
{
    addTask(701, u"Helped"_s, u"admin"_s);
    bx::test::OpenedUrls opened;
    const QString index =
        QUrl::fromLocalFile(QDir(AppPaths::programDir()).filePath(u"help/index.html"_s)).toString();
    Access_Form form(session, prompt);
    waitForView(form);
    form.Open_Task(701);
    SCR_FORM* editor = form.IsSCRAlreadyOpen(701);
    ASSERT_NE(editor, nullptr);
    struct Window
    {
        QWidget* window;
        const char* contents;
    };
    for (const Window& w : {Window{&form, "CONTENTS"}, Window{editor, "mnuContents"}}) {
        w.window->show();
        QApplication::setActiveWindow(w.window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.window)) << w.contents;
        child<QAction>(*w.window, w.contents)->trigger();
        QTest::keyClick(w.window, Qt::Key_F1);
        EXPECT_EQ(opened.take(), (QStringList{index, index})) << w.contents;
    }
    child<QAction>(*editor, "Help")->trigger();
    EXPECT_EQ(opened.take(), QStringList{index}) << "the editor's Help key";
    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
}

// Delete on a task closes it.
TEST_F(AccessFormTest, DeleteKeyClosesTheTask)
{
    addTask(501, u"Mine"_s, u"admin"_s);
    Access_Form form(session, prompt);
    selectTask(form, 501);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(form.teamView()->treeView(), &del);
    EXPECT_EQ(db().scalar(u"SELECT SCR_Status FROM SCR WHERE SCR_Number = 501"_s).toString(),
              u"C"_s);
    // The Active view drops the closed task without a rebuild.
    EXPECT_FALSE(gridTasks(form).contains(501));
    EXPECT_EQ(form.teamView()->tree().findTask(501), nullptr);
}

// One editor per task; Previous/Next walk the grid; a saved task joins the lists by itself.
TEST_F(AccessFormTest, OneEditorPerTaskSavedTasksJoinTheViewAndExitTakesTheEditors)
{
    addTask(601, u"First"_s, u"admin"_s);
    addTask(602, u"Second"_s, u"admin"_s);
    Access_Form form(session, prompt);
    waitForView(form);
    form.show();
    form.Open_Task(601);
    ASSERT_NE(form.IsSCRAlreadyOpen(601), nullptr);
    form.Open_Task(601);
    EXPECT_EQ(form.findChildren<SCR_FORM*>().size(), 1);
    EXPECT_EQ(form.IsSCRAlreadyOpen(602), nullptr);

    const qlonglong next = form.neighbourTask(601, 1);
    EXPECT_EQ(next, 602);
    EXPECT_EQ(form.neighbourTask(next, 1), 0);
    EXPECT_EQ(form.neighbourTask(next, -1), 601);

    addTask(603, u"Third"_s, u"ann"_s);
    form.taskSaved(603, true);
    EXPECT_EQ(gridTasks(form), (QList<qlonglong>{601, 602, 603}));
    EXPECT_NE(form.teamView()->tree().findTask(603), nullptr);

    // Exit closes without the question and takes the open editors with it.
    prompt.clear();
    child<QAction>(form, "EXIT")->trigger();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(form.IsSCRAlreadyOpen(601), nullptr);
}

// The Tools menu lists the main window's tools, the editor's AddOns its own; both follow a tool
// added in the window; only an administrator reaches the tool windows.
TEST_F(AccessFormTest, ToolMenusFollowEveryChangeAndOnlyAnAdministratorChangesTools)
{
    db().execute(u"INSERT INTO TOOL (Tool_Name, Tool_EXE, Tool_Access_Screen, "
                 "Tool_SCR_Screen) VALUES (?, ?, ?, ?), (?, ?, ?, ?)"_s,
                 {u"Stock & count"_s, u"no-such-stockcount"_s, true, false, u"Chair sheet"_s,
                  u"sheet"_s, false, true});
    addTask(601, u"First"_s, u"admin"_s);
    Access_Form form(session, prompt);
    form.Open_Task(601);
    SCR_FORM* editor = form.IsSCRAlreadyOpen(601);
    ASSERT_NE(editor, nullptr);
    const auto captions = [](QMenu* menu) {
        emit menu->aboutToShow();
        QStringList out;
        for (QAction* item : menu->actions())
            out << item->text();
        return out;
    };
    QMenu* tools = child<QMenu>(form, "mnuTool");
    QMenu* addOns = child<QMenu>(*editor, "mnuAddOns");
    EXPECT_EQ(captions(tools), QStringList{u"Stock && count"_s});
    EXPECT_EQ(captions(addOns), QStringList{u"Chair sheet"_s});

    tools->actions().constFirst()->trigger();
    EXPECT_EQ(prompt.texts(),
              QStringList{u"Tool not found.\n\"no-such-stockcount\"\nPlease change "
                          "settings for this tool using QV Administrator Utility."_s});

    session.user.userId = session.user.record.userId = u"ann"_s;
    prompt.clear();
    child<QAction>(form, "mnuTools")->trigger();
    EXPECT_EQ(prompt.texts(), QStringList{UserRights::kNotAdministrator});

    session.user.userId = session.user.record.userId = u"admin"_s;
    prompt.clear();
    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        // A taken name (without case) is refused and the window stays; then a new one is saved.
        child<QLineEdit>(*dialog, "txtToolName")->setText(u"stock & COUNT"_s);
        child<QLineEdit>(*dialog, "txtExe")->setText(u"viewer"_s);
        child<QCheckBox>(*dialog, "chkAccess")->setChecked(true);
        child<QCheckBox>(*dialog, "chkSCR")->setChecked(true);
        child<QPushButton>(*dialog, "cmdOK")->click();
        child<QLineEdit>(*dialog, "txtToolName")->setText(u"Viewer"_s);
        child<QPushButton>(*dialog, "cmdOK")->click();
    });
    child<QAction>(form, "mnuNewTool")->trigger();
    EXPECT_EQ(prompt.texts(), QStringList{u"Tool with such Name already exists"_s});
    EXPECT_EQ(captions(tools), (QStringList{u"Stock && count"_s, u"Viewer"_s}));
    EXPECT_EQ(captions(addOns), (QStringList{u"Chair sheet"_s, u"Viewer"_s}));
}

// The category filter narrows the view and ticks its menu; All Categories lifts it.
TEST_F(AccessFormTest, CategoryFilterMenus)
{
    bx::test::addCategories(db(), {u"O'Hara's"_s});
    addTask(701, u"Filed"_s, u"admin"_s, u"O'Hara's"_s);
    addTask(702, u"Loose"_s, u"admin"_s);
    Access_Form form(session, prompt);
    waitForView(form);
    EXPECT_TRUE(child<QAction>(form, "mnuAllCat")->isChecked());

    dlgCategories::setChoiceForTests([] { return QStringList{u"O'Hara's"_s}; });
    child<QAction>(form, "mnuCat")->trigger();
    dlgCategories::setChoiceForTests({});
    EXPECT_EQ(gridTasks(form), (QList<qlonglong>{701}));
    EXPECT_TRUE(child<QAction>(form, "mnuCat")->isChecked());
    EXPECT_FALSE(child<QAction>(form, "mnuAllCat")->isChecked());

    child<QAction>(form, "mnuAllCat")->trigger();
    EXPECT_EQ(gridTasks(form), (QList<qlonglong>{701, 702}));
    EXPECT_TRUE(child<QAction>(form, "mnuAllCat")->isChecked());
}

// Selecting a user narrows the grid to his tasks; walking up reaches his supervisor.
TEST_F(AccessFormTest, UserSelectionNarrowsTheGridAndUpWalksTheTeam)
{
    db().execute(u"UPDATE LU_USER SET Supervisor_User_ID = 'admin' WHERE USER_ID = "
                 "'ann'"_s);
    addTask(801, u"Mine"_s, u"admin"_s);
    addTask(802, u"Ann's"_s, u"ann"_s);
    {
        // A user kept to his own tasks sees only those, in the grid as in the tree.
        session.user.record.fullAccess = false;
        Access_Form own(session, prompt);
        waitForView(own);
        EXPECT_EQ(gridTasks(own), (QList<qlonglong>{801}));
        EXPECT_EQ(own.teamView()->tree().findUser(u"ann"_s), nullptr);
        // Nor does a saved task of another's join his lists.
        own.taskSaved(802, false);
        EXPECT_EQ(gridTasks(own), (QList<qlonglong>{801}));
        session.user.record.fullAccess = true;
    }
    Access_Form form(session, prompt);
    waitForView(form);
    TeamView& view = *form.teamView();
    ASSERT_TRUE(view.selectUser(u"ann"_s));
    EXPECT_EQ(gridTasks(form), (QList<qlonglong>{802}));

    child<QAction>(form, "mnuUp")->trigger();
    ASSERT_NE(view.selectedNode(), nullptr);
    EXPECT_EQ(view.selectedNode()->key.toString(), u"admin"_s);
    EXPECT_EQ(gridTasks(form), (QList<qlonglong>{801}));
}

// The templates menu lists the templates when it opens; choosing one starts an editor from it.
TEST_F(AccessFormTest, TemplatesMenuStartsATaskFromATemplate)
{
    bx::test::addCategories(db(), {u"O'Neil's folder"_s});
    addTask(951, u"O'Brien's checklist"_s, u"admin"_s, u"O'Neil's folder"_s);
    db().execute(u"UPDATE SCR SET SCR_Template = 1 WHERE SCR_Number = 951"_s);
    Access_Form form(session, prompt);
    waitForView(form);
    auto* menu = child<QMenu>(form, "mnuTemplate");
    emit menu->aboutToShow();
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions().first()->text(), u"O'Brien's checklist"_s);

    menu->actions().first()->trigger();
    const QList<SCR_FORM*> editors = form.findChildren<SCR_FORM*>();
    ASSERT_EQ(editors.size(), 1);
    EXPECT_TRUE(editors.first()->isNew());
    // The new task is filled from the template.
    EXPECT_EQ(child<QLineEdit>(*editors.first(), "T_CATEGORY")->text(), u"O'Neil's folder"_s);
}

// The layout the user leaves is the one he finds: preview beside the grid, hidden or shown; a
// grid row drags as its task onto the tree like a tree node does.
TEST_F(AccessFormTest, LayoutIsKeptAndGridRowsDragAsTasks)
{
    addTask(961, u"Dragged"_s, u"admin"_s);
    {
        Access_Form form(session, prompt);
        waitForView(form);
        EXPECT_EQ(form.teamView()->previewOrientation(), u"H"_s);
        child<QAction>(form, "TILEV")->trigger();
        child<QAction>(form, "mnuShowPreview")->setChecked(false);
        EXPECT_FALSE(form.teamView()->previewShown());

        QAbstractItemModel& grid = *form.teamView()->grid()->model();
        std::unique_ptr<QMimeData> mime(grid.mimeData({grid.index(0, 0)}));
        ASSERT_TRUE(mime);
        EXPECT_EQ(TeamTreeModel::draggedTask(mime.get()), 961);
        child<QAction>(form, "EXIT")->trigger();
    }
    EXPECT_EQ(settings.get(u"Access Form"_s, u"Preview"_s), u"V"_s);
    Access_Form again(session, prompt);
    waitForView(again);
    EXPECT_EQ(again.teamView()->previewOrientation(), u"V"_s);
    EXPECT_FALSE(again.teamView()->previewShown());
    EXPECT_FALSE(child<QAction>(again, "mnuShowPreview")->isChecked());
}

// The window's poll writes the user's heartbeat and marks the users whose clients live.
TEST_F(AccessFormTest, PollMarksLiveUsersOnline)
{
    Access_Form form(session, prompt);
    waitForView(form);
    ASSERT_NE(form.poller(), nullptr);
    clock.advanceSeconds(31); // a heartbeat is due every 30 seconds
    form.poller()->tick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.poller()->busy(); }, 20000));
    const TreeNode* me = form.teamView()->tree().findUser(u"admin"_s);
    ASSERT_NE(me, nullptr);
    EXPECT_TRUE(me->online);
    EXPECT_FALSE(form.teamView()->tree().findUser(u"ann"_s)->online);
    auto& model = static_cast<TeamTreeModel&>(*form.teamView()->treeView()->model());
    EXPECT_EQ(model.indexOf(me).data(Qt::ToolTipRole).toString(), u"Online"_s);
}

// No to the reconnect question ends the poll from within the poller's own signal, which goes on
// using the poller once the answer is handled: it may only go after that.
TEST_F(AccessFormTest, NoToReconnectEndsThePollOnlyAfterItsSignal)
{
    Access_Form form(session, prompt);
    waitForView(form);
    bool terminated = false;
    form.setTerminate([&] { terminated = true; });
    const QPointer<Poller> poller = form.poller();
    ASSERT_NE(poller, nullptr);
    // The heartbeat's table out of reach fails the tick as a lost connection does.
    db().execute(u"ALTER TABLE LOGIN RENAME TO LOGIN_AWAY"_s);
    prompt.answer(PromptAnswer::No);
    clock.advanceSeconds(31);
    poller->tick();
    EXPECT_TRUE(QTest::qWaitFor([&] { return poller.isNull(); }, 20000));
    EXPECT_TRUE(terminated);
    EXPECT_EQ(form.poller(), nullptr);
    EXPECT_EQ(
        prompt.texts(),
        QStringList{
            u"Your Brindlepax connection has been lost. Would you like to try to reconnect?  Press 'No' to terminate Brindlepax."_s});
    db().execute(u"ALTER TABLE LOGIN_AWAY RENAME TO LOGIN"_s);
}

// The signed-in user's mail leaves from the window's sender, away from its thread; a failure
// shows in the mail error dialog, and the sender ends with the window.
TEST_F(AccessFormTest, MailLeavesThroughTheWindowsSenderWhichShowsItsError)
{
    db().execute(u"UPDATE SYSTEM SET SMTPServer = '127.0.0.1:1'"_s);
    outbox::QueuedMail mail;
    mail.recipient = u"obrien@example.org"_s;
    mail.senderAddress = u"admin@example.org"_s;
    mail.subject = u"BX#1"_s;
    ASSERT_TRUE(outbox::queue(db(), mail, session.user.userId, QDateTime::currentDateTimeUtc()));
    QPointer<outbox::OutboxSender> sender;
    {
        Access_Form form(session, prompt);
        waitForView(form);
        sender = form.mailSender();
        ASSERT_NE(sender, nullptr);
        dlgMailError* shown = nullptr;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return (shown = form.findChild<dlgMailError*>()) != nullptr; }, 20000));
        EXPECT_TRUE(shown->text().startsWith(u"An e-mail error has occurred: "_s));
        EXPECT_TRUE(shown->text().endsWith(u" Notification may not have been sent."_s));
    }
    EXPECT_TRUE(sender.isNull());
}

// A search lists its tasks on the Find page, names it in the caption, and the task commands
// work on the task found there.
TEST_F(AccessFormTest, FoundTasksTakeTheTaskCommands)
{
    addTask(971, u"O'Brien's lamp"_s, u"ann"_s);
    Access_Form form(session, prompt);
    waitForView(form);
    session.search.titlePattern = u"O'Brien's lamp"_s;
    session.search.from = QDate(1990, 1, 1);
    session.search.to = QDate(2100, 1, 1);
    session.search.dateField = u"SCR_Owner_Date_In"_s;
    db().execute(u"UPDATE SCR SET SCR_Owner_Date_In = ? WHERE SCR_Number = 971"_s,
                 {naive(QDate(2024, 5, 1), QTime(9, 0))});
    session.search.searchMode = true;
    form.runSearch();
    EXPECT_TRUE(form.windowTitle().endsWith(u": Find Tasks"_s));
    auto* found = child<QTreeView>(form, "IvvTree4");
    ASSERT_EQ(found->model()->rowCount(), 1);
    found->setCurrentIndex(found->model()->index(0, 0));
    child<QAction>(form, "mnuCloseTask")->trigger();
    EXPECT_EQ(prompt.last().text, u"You can close only your own tasks"_s);
}

} // namespace

// The Reports menu's quick reports: the page of the view's users handed to the browser, or the
// no-data message.
TEST_F(AccessFormTest, QuickReportsOpenTheirPagesOrSayWhyNot)
{
    Access_Form form(session, prompt);
    waitForView(form);
    bx::test::OpenedUrls opened;
    child<QAction>(form, "mnuCurTasks")->trigger();
    EXPECT_TRUE(opened.take().isEmpty());
    EXPECT_EQ(prompt.texts(), QStringList{u"The report contains no data"_s});
    prompt.clear();

    addTask(702, u"O'Neil's <task>"_s, u"admin"_s);
    child<QAction>(form, "mnuCurTasks")->trigger();
    const QString page = QDir(AppPaths::dataDir()).filePath(u"CurTasks.html"_s);
    EXPECT_EQ(opened.take(), QStringList{QUrl::fromLocalFile(page).toString()});
    EXPECT_TRUE(prompt.records().isEmpty()) << prompt.texts().join(u'|').toStdString();
    EXPECT_TRUE(QFile::exists(QDir(AppPaths::dataDir()).filePath(u"BXLogo.png"_s)));
}

// The analyses are offered only with the right to them: the "BI" button and the Reports entry,
// both opening dlgBI.
TEST_F(AccessFormTest, AnalysesOnlyWithTheirRight)
{
    session.user.record.businessIntelligence = false;
    Access_Form form(session, prompt);
    waitForView(form);
    EXPECT_FALSE(child<QAction>(form, "BI")->isVisible());
    EXPECT_FALSE(child<QAction>(form, "mnuBI")->isVisible());

    session.user.record.businessIntelligence = true;
    form.rebuildForUser();
    EXPECT_TRUE(child<QAction>(form, "BI")->isVisible());
    EXPECT_TRUE(child<QAction>(form, "mnuBI")->isVisible());
    for (const char* command : {"BI", "mnuBI"}) {
        QString opened;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            opened = dialog->objectName();
            dialog->close();
        });
        child<QAction>(form, command)->trigger();
        EXPECT_EQ(opened, u"dlgBI"_s) << command;
    }
    EXPECT_TRUE(prompt.texts().isEmpty()) << prompt.texts().join(u'|').toStdString();
}
