#pragma once

#include "core/db/SecondConnection.h"
#include "mainwindow/TaskViews.h"
#include "tasks/TaskEditorHost.h"
#include "tasks/TaskTypes.h"

#include <QCoreApplication>
#include <QHash>
#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <initializer_list>
#include <optional>

class QAction;
class QActionGroup;
class QMenu;
class QSystemTrayIcon;
class QTabWidget;
class QTimer;
class QToolBar;

namespace bx {

class CalendarPage;
class DiscussionPage;
class FileCabinetPage;
class FindPage;
class MessagesPage;
class Poller;
class Prompt;
class SCR_FORM;
class Session;
class TeamView;
struct TaskOpening;
namespace outbox {
class OutboxSender;
}
namespace quick {
enum class QuickReport;
}

/**
 * The main window: the pages of TabStrip2 by key, the menus, toolbars and context menus that
 * share one action per command (the action's objectName is the command's name), the caption
 * with the view's suffixes, the exit question of the close box (not asked when the desktop
 * session ends or for the Exit command), minimising to the notification area where the desktop
 * has one, and the unload steps of the session. It is the task editors' host: one editor per
 * task, the tree follows each save, Previous/Next walk the grid.
 */
class Access_Form : public QMainWindow, public TaskEditorHost
{
    Q_OBJECT
public:
    Access_Form(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~Access_Form() override;

    // The task editors' host.
    void taskSaved(qlonglong number, bool wasNew) override;
    void refreshTaskLists() override;
    qlonglong neighbourTask(qlonglong number, int direction) override;
    QStringList editorTools() const override { return m_editorTools; }
    void startEditorTool(const QString& name, qlonglong number) override;

    /** Reads the tools again: the Tools menu's "M_TOOL" items and the editors' list. */
    void reloadTools();

    /**
     * Builds the plug-in toolbar again from LU_ACTIVEX: a "BXCustomControl" button for each plug-in
     * with a button of its own, an entry of the plug-ins' menu for each other one the toolbar
     * offers. Earlier ones go first, so it may be repeated.
     */
    void Update_PLUGINS();
    /**
     * Shows the page of plug-in `id` (captioned `label` while its row is unknown), opening it when
     * it is not there; a plug-in whose row has gone or which fails says so and gets no page.
     */
    void openPlugIn(qlonglong id, const QString& label);

    /** Builds the window for the logged-on user (after a log-on or a log-off). */
    void rebuildForUser();

    /** Closes without the exit question (Exit command, end of the desktop session). */
    void closeWithoutQuestion();

    /** The page keys in tab order: "TEAMWORK", "MESSAGES", ... */
    QStringList tabKeys() const;
    /** Shows the page of `key`; a closable page ("FIND") is opened when it is not there. */
    bool showTab(const QString& key);
    /** The key of the page shown. */
    QString currentTabKey() const;

    /** Opens a task, or brings forward the editor that already has it. */
    void Open_Task(qlonglong number);
    /** The open editor of task `number`, or null. */
    SCR_FORM* IsSCRAlreadyOpen(qlonglong number) const;
    /** Lists on the "FIND" page the tasks the session's search options find. */
    void runSearch();
    /** Fills the templates menu again. */
    void UPDATE_TEMPLATES();

    TeamView* teamView() const { return m_team; }
    FileCabinetPage* cabinetPage() const { return m_cabinet; }
    MessagesPage* messagesPage() const { return m_messages; }
    Poller* poller() const { return m_poller; }
    /** Delivers the outbox while a user is signed in (wake() it after queuing mail); or null. */
    outbox::OutboxSender* mailSender() const { return m_mailSender; }
    /**
     * What No to the connection-lost question does once the poll is stopped; ends the program
     * (exit code 1) unless replaced, as tests do, where ending the event loops would end theirs.
     */
    void setTerminate(std::function<void()> terminate) { m_terminate = std::move(terminate); }

    /** Reads the system settings again and gives the poll its intervals anew. */
    void RELOAD_SYSTEM_SETTINGS();

signals:
    /** The user chose Log Off; the window's owner runs the log-on again. */
    void logOffRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QAction* command(const char* name, const QString& caption, void (Access_Form::*slot)());
    /** One command of a menu: its object name, caption and slot. */
    struct CommandRow
    {
        const char* name;
        const char* caption;
        void (Access_Form::*slot)();
    };
    /** Makes the commands of `rows` and adds them to `menu`, in order. */
    void addCommands(QMenu* menu, std::initializer_list<CommandRow> rows);
    /** A folder command: on the Messages page it works on mail folders, elsewhere on the team's. */
    QAction* folderCommand(const char* name, const QString& caption, void (MessagesPage::*onMail)(),
                           void (TeamView::*onTeam)());
    void buildMenus();
    void buildFileMenu();
    void buildTaskMenu();
    void buildViewMenu();
    /** The view filters: each command sets and clears its checks, then the team view is rebuilt. */
    void buildFilterCommands(QMenu* view);
    /** The preview commands of the View menu. */
    void buildPreviewCommands(QMenu* view);
    void buildWorkshopMenu();
    void buildAdminMenu();
    /** Starts tool `name` of the Tools menu for the selected task. */
    void startTool(const QString& name);
    void buildToolbars();
    /** The plug-ins' toolbar and its menu button; Update_PLUGINS() fills them. */
    void buildPlugInToolbar();
    /** Closes the page at `index` when it may be closed, telling a plug-in "EXIT" first. */
    void closePage(int index);
    /** Only the pages that may be closed get a close button. */
    void showCloseButtons();
    /** Closes every plug-in's page (the user leaves). */
    void closePlugInPages();
    void openPlugIns();
    void newPlugIn();
    void buildPages();
    /** The "FILECABINET" page with its toolbar and popups. */
    QWidget* buildCabinetPage();
    void buildPopups();
    void buildTray();
    /**
     * The opener of a connection of its own for work on another thread, to the session's open
     * database; nothing (the failure reported) when none can be made.
     */
    std::optional<Connector> workerConnector();
    /** Starts the poll (Timer1) for the signed-in user; a running one is stopped first. */
    void startPoll();
    void stopPoll();
    /**
     * Starts the outbox's sender for the signed-in user, on its own thread, or gives the running
     * one the session's mail settings anew; its errors show dlgMailError.
     */
    void startMailSender();
    void stopMailSender();
    /**
     * Mail this window's commands queue wakes the sender; the watch is on the session's
     * connection, so a reconnect sets it again.
     */
    void watchOutboxCommits();
    /** The poll found the tasks changed: the page shown reads them again. */
    void tasksChanged();
    /**
     * The poll read some tasks again after notices: the team page takes them in; another page
     * but the messages reads itself again.
     */
    void tasksRead(const QList<qlonglong>& numbers, const RecordSet& rows);
    void showStatus(const QString& text);
    /** While messages are unread, the MESSAGES button, tab and tray icon blink. */
    void showUnread(qlonglong unread);
    void blink();

    // Commands.
    void newTask();
    void newMeeting();
    void openSelectedTask();
    void newSubTask();
    void closeSelectedTask();
    void makeSelectedIndependent();
    void printView();
    void refreshPage();
    void closeTab();
    void find();
    void walkUp();
    void chooseCategories();
    void allCategories();
    void choosePriorities();
    void allPriorities();
    void chooseDates();
    void allDates();
    void quickView(QuickView view);
    void openSystemSettings();
    void openUsers();
    void newUser();
    void editUser();
    void deleteSelectedUser();
    void openLookupLists();
    void openLifecycles();
    void openChecklists();
    void openFormDesigner();
    void openWindowCustomisation();
    void openTools();
    void newTool();
    void openTimeSheetReport();
    /** The analyses (dlgBI), for users with the right to them. */
    void openAnalyses();
    /** M_REPORTFILE: the report window. */
    void openStoredReports() { openReportDesigner(false); }
    /** The report window, with a blank report held when `blank`. */
    void openReportDesigner(bool blank);
    /** The quick team reports of the Reports menu, one command each. */
    void addQuickReports(QMenu* reports);
    /** Writes the report's page over the users the team view shows and opens it in the browser. */
    void runQuickReport(quick::QuickReport report);
    void newWorkshop();
    void editWorkshop();
    /** The plug-in of the selected workshop's custom tab; administrators only. */
    void chooseCustomTab();
    void joinWorkshop();
    void leaveWorkshop();
    void deleteWorkshop();

    /** Opens a task editor for `opening`; a task that cannot be read or made opens none. */
    void startEditor(const TaskOpening& opening);
    /** Without a current workshop, the one the user starts in becomes current. */
    void ensureWorkshop();
    /** The task selected on the page shown (the found tasks, or the team view's). */
    qlonglong selectedTask() const;
    /** The workshop of the selected workshop node, else the current one. */
    qlonglong selectedWorkshop() const;
    /** The user of the selected user node; empty when none is selected. */
    QString selectedUser() const;
    /** Ticks the view commands after the filter and adds its suffixes to the caption. */
    void showFilter();
    /** The view menus changed: the checks, the caption and the team view follow. */
    void filterChanged();

    Session& m_session;
    Prompt& m_prompt;
    QHash<QString, QAction*> m_commands;
    QMenu* m_admin = nullptr;
    QMenu* m_tools = nullptr;
    QStringList m_editorTools;
    QMenu* m_templates = nullptr;
    QToolBar* m_toolbar2 = nullptr;
    QToolBar* m_toolbar3 = nullptr;
    QToolBar* m_plugInBar = nullptr;
    QMenu* m_plugInMenu = nullptr;
    QTabWidget* m_tabs = nullptr;
    TeamView* m_team = nullptr;
    CalendarPage* m_calendar = nullptr;
    DiscussionPage* m_discussion = nullptr;
    MessagesPage* m_messages = nullptr;
    FileCabinetPage* m_cabinet = nullptr;
    QTimer* m_blink = nullptr;
    bool m_blinkOn = false;
    Poller* m_poller = nullptr;
    outbox::OutboxSender* m_mailSender = nullptr;
    std::function<void()> m_terminate = [] { QCoreApplication::exit(1); };
    FindPage* m_find = nullptr;
    /** The caption without the view's suffixes. */
    QString m_caption;
    QList<std::pair<QAction*, ViewCommand>> m_filterActions;
    QSystemTrayIcon* m_tray = nullptr;
    bool m_noQuestion = false;
    bool m_unloaded = false;
};

/** Tabs that can be closed, besides the plug-ins' pages; the others stay for the session. */
inline const QStringList kClosableTabs = {QStringLiteral("VOIP"), QStringLiteral("VCN"),
                                          QStringLiteral("FIND")};

} // namespace bx
