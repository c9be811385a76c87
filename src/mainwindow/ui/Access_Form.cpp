#include "mainwindow/ui/Access_Form.h"

#include "contacts/ui/ContactsCtrl.h"
#include "core/AppPaths.h"
#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/db/ChangeMarkers.h"
#include "core/db/DatabaseOpener.h"
#include "core/settings/WindowLayout.h"
#include "core/ui/AppIcon.h"
#include "core/ui/CommandMenus.h"
#include "core/ui/HelpContents.h"
#include "core/ui/StoredText.h"
#include "mainwindow/Poller.h"
#include "mainwindow/Reconnect.h"
#include "mainwindow/SessionUnload.h"
#include "mainwindow/TeamTree.h"
#include "mainwindow/ui/CalendarPage.h"
#include "mainwindow/ui/DiscussionPage.h"
#include "mainwindow/ui/DlgTaskListOptions.h"
#include "mainwindow/ui/FileCabinetPage.h"
#include "mainwindow/ui/FindPage.h"
#include "mainwindow/ui/TeamView.h"
#include "messaging/Mailbox.h"
#include "messaging/ui/MessagesPage.h"
#include "messaging/ui/dlgMailSetup.h"
#include "people/workshops/RecentWorkshops.h"
#include "tasks/ui/SCR_FORM.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace bx {

namespace {

/**
 * Where the window opens for a user who has not placed it yet: four fifths of the free area of
 * the screen, in its middle.
 */
QRect firstStartGeometry(const QRect& available)
{
    QRect geometry(QPoint(), available.size() * 0.8);
    geometry.moveCenter(available.center());
    return geometry;
}

/** A page whose content comes with a later part of the program: it says what it will hold. */
QWidget* plannedPage(const QString& key, const QString& text, QWidget* parent)
{
    auto* page = new QLabel(text, parent);
    page->setObjectName(key);
    page->setAlignment(Qt::AlignCenter);
    page->setWordWrap(true);
    return page;
}

/** The contacts page: the contact list under its toolbar. */
QWidget* contactsPage(Session& session, Prompt& prompt, QWidget* parent)
{
    auto* page = new QWidget(parent);
    page->setObjectName(QStringLiteral("CONTACTS"));
    auto* list = new ContactsCtrl(session, prompt, page);
    auto* box = new QVBoxLayout(page);
    box->addWidget(list->toolBar());
    box->addWidget(list, 1);
    return page;
}

struct PageInfo
{
    const char* key;
    const char* caption;
    const char* planned; ///< what a page still to come will hold; null for built pages
};

const PageInfo kPages[] = {
    {"TEAMWORK", "&Teamwork", nullptr},        {"MESSAGES", "&Messages", nullptr},
    {"FILECABINET", "&File Cabinet", nullptr}, {"DISCUSSION", "&Discussion", nullptr},
    {"CONTACTS", "C&ontacts", nullptr},        {"CALENDAR", "C&alendar", nullptr},
};

} // namespace

Access_Form::Access_Form(Session& session, Prompt& prompt, QWidget* parent)
    : QMainWindow(parent)
    , m_session(session)
    , m_prompt(prompt)
{
    setObjectName(QStringLiteral("Access_Form"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    buildPages();
    buildMenus();
    buildToolbars();
    buildPopups();
    buildTray();
    statusBar()->setObjectName(QStringLiteral("StatusLabel"));
    // The end of the desktop session closes the window without asking.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { m_noQuestion = true; });
    rebuildForUser();
}

Access_Form::~Access_Form() = default;

QAction* Access_Form::command(const char* name, const QString& caption, void (Access_Form::*slot)())
{
    return addCommand(m_commands, this, name, caption, slot);
}

void Access_Form::buildPages()
{
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("TabStrip2"));
    m_tabs->setTabsClosable(false);
    for (const PageInfo& p : kPages) {
        const QString key = QString::fromLatin1(p.key);
        QWidget* page = nullptr;
        if (key == QLatin1String("TEAMWORK")) {
            m_team = new TeamView(m_session, m_prompt, m_tabs);
            m_team->setObjectName(key);
            connect(m_team, &TeamView::openTask, this, &Access_Form::Open_Task);
            page = m_team;
        } else if (key == QLatin1String("DISCUSSION")) {
            m_discussion = new DiscussionPage(m_session, m_prompt, m_tabs);
            connect(m_discussion, &DiscussionPage::openTask, this, &Access_Form::Open_Task);
            page = m_discussion;
        } else if (key == QLatin1String("MESSAGES")) {
            m_messages = new MessagesPage(m_session, m_prompt, m_tabs);
            connect(m_messages, &MessagesPage::status, this, &Access_Form::showStatus);
            connect(m_messages, &MessagesPage::unreadChanged, this, &Access_Form::showUnread);
            connect(m_messages, &MessagesPage::listRead, this, [this](const QVariantList& probe) {
                if (m_poller)
                    m_poller->messagesSeen(probe);
            });
            page = m_messages;
        } else if (key == QLatin1String("CALENDAR")) {
            m_calendar = new CalendarPage(m_session, m_prompt, m_tabs);
            m_calendar->setObjectName(key);
            connect(m_calendar, &CalendarPage::openTask, this, &Access_Form::Open_Task);
            page = m_calendar;
        } else if (key == QLatin1String("CONTACTS")) {
            page = contactsPage(m_session, m_prompt, m_tabs);
        } else if (key == QLatin1String("FILECABINET")) {
            page = buildCabinetPage();
        } else {
            page = plannedPage(key, QString::fromUtf8(p.planned), m_tabs);
        }
        m_tabs->addTab(page, QString::fromUtf8(p.caption));
    }
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] {
        if (m_tabs->currentWidget() == m_calendar)
            m_calendar->refresh();
        else if (m_tabs->currentWidget() == m_discussion)
            m_discussion->refresh();
        else if (m_tabs->currentWidget() == m_messages)
            m_messages->refreshIfStale();
        else if (m_tabs->currentWidget() == m_cabinet)
            m_cabinet->refresh();
        else if (auto* contacts = m_tabs->currentWidget()->findChild<ContactsCtrl*>())
            contacts->RefreshContactList();
    });
    m_blink = new QTimer(this);
    m_blink->setInterval(500);
    connect(m_blink, &QTimer::timeout, this, &Access_Form::blink);
    connect(m_tabs, &QTabWidget::tabCloseRequested, this, &Access_Form::closePage);
    setCentralWidget(m_tabs);
}

QWidget* Access_Form::buildCabinetPage()
{
    // The file cabinet reads its tree on a connection of its own; its new contact is the
    // Contacts page's.
    m_cabinet = new FileCabinetPage(m_session, m_prompt, m_tabs);
    m_cabinet->setConnector([this] { return workerConnector(); });
    connect(m_cabinet, &FileCabinetPage::newContactRequested, this, [this] {
        if (auto* contacts = m_tabs->findChild<ContactsCtrl*>())
            contacts->AddContact();
    });
    connect(m_cabinet, &FileCabinetPage::newReportRequested, this,
            [this] { openReportDesigner(true); });
    connect(m_cabinet, &FileCabinetPage::searchChosen, this,
            [this] { showTab(QStringLiteral("FILECABINET")); });
    return m_cabinet;
}

void Access_Form::addCommands(QMenu* menu, std::initializer_list<CommandRow> rows)
{
    for (const CommandRow& row : rows)
        menu->addAction(command(row.name, QString::fromUtf8(row.caption), row.slot));
}

QAction* Access_Form::folderCommand(const char* name, const QString& caption,
                                    void (MessagesPage::*onMail)(), void (TeamView::*onTeam)())
{
    QAction* action = command(name, caption, nullptr);
    connect(action, &QAction::triggered, this, [this, onMail, onTeam] {
        if (m_tabs->currentWidget() == m_messages)
            (m_messages->*onMail)();
        else
            (m_team->*onTeam)();
    });
    return action;
}

void Access_Form::buildMenus()
{
    buildFileMenu();
    buildTaskMenu();
    buildViewMenu();
    buildWorkshopMenu();
    buildAdminMenu();
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* contents = command("CONTENTS", QStringLiteral("&Contents"), nullptr);
    makeHelpContents(contents, m_prompt, AppPaths::programDir());
    help->addAction(contents);
}

void Access_Form::buildFileMenu()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    addCommands(file, {{"NEWTask", "&New Task...", &Access_Form::newTask},
                       {"mnuMeeting", "New &Meeting...", &Access_Form::newMeeting}});
    m_templates = file->addMenu(QStringLiteral("New from &Template"));
    m_templates->setObjectName(QStringLiteral("mnuTemplate"));
    connect(m_templates, &QMenu::aboutToShow, this, &Access_Form::UPDATE_TEMPLATES);
    addCommands(file, {{"OPENTask", "&Open Task", &Access_Form::openSelectedTask}});
    file->addSeparator();
    addCommands(file, {{"PPRINT", "&Print...", &Access_Form::printView}});
    file->addSeparator();
    QAction* mailSetup = command("mnuMailSetup", QStringLiteral("&Mail Settings..."), nullptr);
    connect(mailSetup, &QAction::triggered, this, [this] {
        if (dlgMailSetup(m_session, m_prompt, this).exec() == QDialog::Accepted)
            RELOAD_SYSTEM_SETTINGS();
    });
    file->addAction(mailSetup);
    file->addSeparator();
    QAction* logOff = command("mnuLogOff", QString(), nullptr);
    connect(logOff, &QAction::triggered, this, [this] {
        // The poll of the user logging off stops before his presence row goes; the log-on
        // starts it again for whoever is signed in afterwards.
        stopPoll();
        emit logOffRequested();
        if (!m_poller && m_session.isOpen())
            startPoll();
    });
    file->addAction(logOff);
    addCommands(file, {{"EXIT", "E&xit", &Access_Form::closeWithoutQuestion}});
}

void Access_Form::buildTaskMenu()
{
    QMenu* tasks = menuBar()->addMenu(QStringLiteral("&Task"));
    addCommands(tasks,
                {{"DELEGATE", "New &Sub-task...", &Access_Form::newSubTask},
                 {"mnuCloseTask", "&Close Task", &Access_Form::closeSelectedTask},
                 {"mnuIndepend", "Make &Independent", &Access_Form::makeSelectedIndependent}});
    tasks->addSeparator();
    tasks->addActions({folderCommand("IDM_FOLDER", QStringLiteral("New &Folder..."),
                                     &MessagesPage::newFolder, &TeamView::newFolder),
                       folderCommand("IDM_RENAME_FOLDER", QStringLiteral("&Rename Folder..."),
                                     &MessagesPage::renameFolder, &TeamView::renameFolder),
                       folderCommand("IDM_DELETE_FOLDER", QStringLiteral("&Delete Folder"),
                                     &MessagesPage::deleteFolder, &TeamView::deleteFolder)});
    tasks->addSeparator();
    addCommands(tasks, {{"FIND", "F&ind...", &Access_Form::find}});
    // The document search of the file cabinet, which shows what it finds.
    tasks->addAction(m_cabinet->action(QStringLiteral("mnuFindDoc")));
    tasks->addSeparator();
    QAction* options = command("mnuListOptions", QStringLiteral("Task List &Options..."), nullptr);
    connect(options, &QAction::triggered, this, [this] {
        DlgTaskListOptions dialog(m_session, m_prompt, this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        m_team->applyListOptions();
        // The dialog also sets the task poll's interval.
        if (m_poller)
            m_poller->setIntervals(PollIntervals::fromSettings(m_session.settings()));
    });
    tasks->addAction(options);
}

void Access_Form::buildViewMenu()
{
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    buildFilterCommands(view);
    view->addSeparator();
    const auto pair = [&](const QString& caption, QAction* all, QAction* choose) {
        QMenu* sub = view->addMenu(caption);
        all->setCheckable(true);
        choose->setCheckable(true);
        sub->addActions({all, choose});
    };
    pair(
        QStringLiteral("&Categories"),
        command("mnuAllCat", QStringLiteral("&All Categories"), &Access_Form::allCategories),
        command("mnuCat", QStringLiteral("&Choose Categories..."), &Access_Form::chooseCategories));
    pair(
        QStringLiteral("&Priorities"),
        command("mnuAllPriorities", QStringLiteral("&All Priorities"), &Access_Form::allPriorities),
        command("mnuChoosePriority", QStringLiteral("&Choose Priorities..."),
                &Access_Form::choosePriorities));
    pair(QStringLiteral("&Dates"),
         command("mnuAllDateIn", QStringLiteral("&All Dates"), &Access_Form::allDates),
         command("mnuDateIn", QStringLiteral("&Date Window..."), &Access_Form::chooseDates));
    view->addSeparator();
    buildPreviewCommands(view);
    view->addSeparator();
    addCommands(view, {{"mnuUp", "&Up to Supervisor", &Access_Form::walkUp},
                       {"mnuRefresh", "&Refresh", &Access_Form::refreshPage},
                       {"mnuCloseTab", "C&lose Tab", &Access_Form::closeTab}});
    m_commands.value(QStringLiteral("mnuRefresh"))->setShortcut(QKeySequence::Refresh);
}

void Access_Form::buildFilterCommands(QMenu* view)
{
    const struct
    {
        const char* name;
        const char* caption;
        ViewCommand command;
    } filters[] = {
        {"IDM_ACTIVE", "&Active", ViewCommand::Active},
        {"IDM_COMPLETE", "&Complete", ViewCommand::Complete},
        {"IDM_INCOMPLETE", "&Incomplete", ViewCommand::Incomplete},
        {"IDM_CANCELED", "C&anceled", ViewCommand::Canceled},
        {"IDM_VIEWED", "&Viewed", ViewCommand::Viewed},
        {"IDM_UNVIEWED", "&Unviewed", ViewCommand::Unviewed},
        {"IDM_BOTH_VIEWED", "Viewed && Unviewed", ViewCommand::BothViewed},
        {"IDM_REQUESTED_BY", "&Requested by Me", ViewCommand::RequestedBy},
        {"IDM_OWNED_BY", "&Owned by", ViewCommand::OwnedBy},
        {"mnuLate", "&Late", ViewCommand::Late},
    };
    for (const auto& f : filters) {
        QAction* action = command(f.name, QString::fromUtf8(f.caption), nullptr);
        action->setCheckable(true);
        const ViewCommand which = f.command;
        connect(action, &QAction::triggered, this, [this, which] {
            m_team->filter().apply(which);
            filterChanged();
        });
        view->addAction(action);
        m_filterActions.append({action, which});
    }
}

void Access_Form::buildPreviewCommands(QMenu* view)
{
    QAction* preview = command("mnuShowPreview", QStringLiteral("Show &Preview"), nullptr);
    preview->setCheckable(true);
    connect(preview, &QAction::toggled, m_team, &TeamView::setPreviewShown);
    view->addAction(preview);
    const auto tile = [this](const char* name, const QString& caption, const QString& orientation) {
        QAction* action = command(name, caption, nullptr);
        connect(action, &QAction::triggered, this, [this, orientation] {
            m_team->setPreviewOrientation(orientation);
            m_commands.value(QStringLiteral("mnuShowPreview"))->setChecked(true);
        });
        return action;
    };
    view->addActions({tile("TILEH", QStringLiteral("Preview &Below"), QStringLiteral("H")),
                      tile("TILEV", QStringLiteral("Preview &Beside"), QStringLiteral("V"))});
}

void Access_Form::buildWorkshopMenu()
{
    QMenu* workshops = menuBar()->addMenu(QStringLiteral("&Workshop"));
    addCommands(workshops, {{"CreateGroup", "&New Workshop...", &Access_Form::newWorkshop},
                            {"mnuEditTeam", "&Edit Workshop...", &Access_Form::editWorkshop},
                            {"mnuJoin", "&Join Workshop...", &Access_Form::joinWorkshop},
                            {"mnuLeaveTeam", "&Leave Workshop", &Access_Form::leaveWorkshop},
                            {"mnuDeleteTeam", "&Delete Workshop", &Access_Form::deleteWorkshop}});
    workshops->addSeparator();
    addCommands(workshops, {{"LIFECYCLE", "L&ifecycles...", &Access_Form::openLifecycles},
                            {"mnuChecklists", "Chec&klists...", &Access_Form::openChecklists},
                            {"mnuCustomTab", "Custom &Tab...", &Access_Form::chooseCustomTab}});
    QMenu* reports = menuBar()->addMenu(QStringLiteral("&Reports"));
    addCommands(reports,
                {{"mnuTSHReport", "&Timesheet Report...", &Access_Form::openTimeSheetReport},
                 {"M_REPORTFILE", "&Stored Reports...", &Access_Form::openStoredReports},
                 {"mnuBI", "&Business Intelligence...", &Access_Form::openAnalyses}});
    addQuickReports(reports);
}

void Access_Form::buildAdminMenu()
{
    // Administrators keep the system here; the menu shows only for them.
    // The outside tools an administrator registered, "M_TOOL" each (reloadTools()).
    m_tools = menuBar()->addMenu(QStringLiteral("T&ools"));
    m_tools->setObjectName(QStringLiteral("mnuTool"));
    m_admin = menuBar()->addMenu(QStringLiteral("&Administration"));
    m_admin->setObjectName(QStringLiteral("mnuAdmin"));
    addCommands(m_admin, {{"mnuSystem", "&System Settings...", &Access_Form::openSystemSettings},
                          {"mnuUsers", "&Users...", &Access_Form::openUsers},
                          {"mnuNewUser", "&New User...", &Access_Form::newUser},
                          {"mnuEditUser", "&Edit User...", &Access_Form::editUser},
                          {"mnuDeleteUser", "&Delete User", &Access_Form::deleteSelectedUser},
                          {"mnuRules", "&Lookup Lists...", &Access_Form::openLookupLists},
                          {"mnuFormDesigner", "&Forms...", &Access_Form::openFormDesigner},
                          {"mnuCustomise", "&Window Customisation...",
                           &Access_Form::openWindowCustomisation},
                          {"mnuTools", "E&xternal Tools...", &Access_Form::openTools},
                          {"mnuNewTool", "New &Tool...", &Access_Form::newTool},
                          {"mnuActiveX", "&Plug-ins...", &Access_Form::openPlugIns},
                          {"mnuNewActiveX", "New Plu&g-in...", &Access_Form::newPlugIn}});
}

void Access_Form::buildToolbars()
{
    // Toolbar2: the pages by key, then the quick views.
    m_toolbar2 = addToolBar(QStringLiteral("Views"));
    m_toolbar2->setObjectName(QStringLiteral("Toolbar2"));
    for (const PageInfo& p : kPages) {
        const QString key = QString::fromLatin1(p.key);
        QAction* page = command(p.key, QString::fromUtf8(p.caption).remove(u'&'), nullptr);
        connect(page, &QAction::triggered, this, [this, key] { showTab(key); });
        m_toolbar2->addAction(page);
    }
    m_toolbar2->addSeparator();
    const struct
    {
        const char* key;
        const char* caption;
        QuickView view;
    } quick[] = {
        {"ActiveTasks", "Active", QuickView::ActiveTasks},
        {"LateTasks", "Late", QuickView::LateTasks},
        {"UnviewedTasks", "Unviewed", QuickView::UnviewedTasks},
        {"RequestedBy", "Requested by Me", QuickView::RequestedBy},
        {"Approval", "Approval", QuickView::Approval},
    };
    for (const auto& q : quick) {
        QAction* action = command(q.key, QString::fromUtf8(q.caption), nullptr);
        const QuickView which = q.view;
        connect(action, &QAction::triggered, this, [this, which] { quickView(which); });
        m_toolbar2->addAction(action);
    }
    m_toolbar2->addAction(
        command("CheckLists", QStringLiteral("Checklists"), &Access_Form::openChecklists));
    m_toolbar2->addAction(
        command("Forms", QStringLiteral("Forms"), &Access_Form::openFormDesigner));
    m_toolbar2->addAction(
        command("TIMESHEET", QStringLiteral("Timesheet"), &Access_Form::openTimeSheetReport));
    m_toolbar2->addAction(command("BI", QStringLiteral("BI"), &Access_Form::openAnalyses));

    // Toolbar3: refreshing the page shown, on a row of its own: Toolbar2 fills the width of the
    // smallest screen.
    addToolBarBreak();
    m_toolbar3 = addToolBar(QStringLiteral("Refresh"));
    m_toolbar3->setObjectName(QStringLiteral("Toolbar3"));
    QAction* refresh = command("Refresh", QStringLiteral("Refresh"), &Access_Form::refreshPage);
    m_toolbar3->addAction(refresh);
    m_toolbar3->addAction(m_commands.value(QStringLiteral("NEWTask")));
    m_toolbar3->addAction(m_commands.value(QStringLiteral("PPRINT")));
    buildPlugInToolbar();
}

void Access_Form::buildPopups()
{
    // One context menu per node tag; the actions are the commands of the menus.
    const auto popup = [this](const QString& name, const QStringList& commands) {
        QMenu* menu = commandMenu(this, name, commands, m_commands);
        m_team->setPopupMenu(name, menu);
        return menu;
    };
    popup(QStringLiteral("POPUP_TASK"), {QStringLiteral("OPENTask"),
                                         QStringLiteral("DELEGATE"),
                                         {},
                                         QStringLiteral("mnuCloseTask"),
                                         QStringLiteral("mnuIndepend"),
                                         {},
                                         QStringLiteral("IDM_FOLDER")});
    popup(QStringLiteral("POPUP_USER"), {QStringLiteral("NEWTask"),
                                         QStringLiteral("mnuUp"),
                                         {},
                                         QStringLiteral("IDM_FOLDER"),
                                         {},
                                         QStringLiteral("mnuEditUser"),
                                         QStringLiteral("mnuDeleteUser")});
    popup(QStringLiteral("POPUP_TEAM"), {QStringLiteral("NEWTask"),
                                         QStringLiteral("mnuEditTeam"),
                                         QStringLiteral("mnuLeaveTeam"),
                                         QStringLiteral("mnuDeleteTeam"),
                                         {},
                                         QStringLiteral("IDM_FOLDER")});
    popup(QStringLiteral("POPUP_FOLDER"),
          {QStringLiteral("IDM_FOLDER"), QStringLiteral("IDM_RENAME_FOLDER"),
           QStringLiteral("IDM_DELETE_FOLDER")});
    popup(QStringLiteral("POPUP_CATEGORY"), {QStringLiteral("NEWTask"), QStringLiteral("PPRINT")});
    // The Delete key closes a task and deletes a workshop.
    m_team->setDeleteAction(QStringLiteral("POPUP_TASK"),
                            m_commands.value(QStringLiteral("mnuCloseTask")));
    m_team->setDeleteAction(QStringLiteral("POPUP_TEAM"),
                            m_commands.value(QStringLiteral("mnuDeleteTeam")));
    m_team->setDeleteAction(QStringLiteral("POPUP_FOLDER"),
                            m_commands.value(QStringLiteral("IDM_DELETE_FOLDER")));
}

void Access_Form::buildTray()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_tray = new QSystemTrayIcon(appIcon(), this);
    auto* menu = new QMenu(this);
    QAction* restore = menu->addAction(QStringLiteral("&Restore"));
    connect(restore, &QAction::triggered, this, [this] {
        showNormal();
        activateWindow();
    });
    QAction* unload = menu->addAction(QStringLiteral("E&xit"));
    unload->setObjectName(QStringLiteral("mnuUnload"));
    connect(unload, &QAction::triggered, this, [this] {
        showNormal();
        close();
    });
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick) {
                    showNormal();
                    activateWindow();
                }
            });
    m_tray->show();
}

void Access_Form::rebuildForUser()
{
    const QString user = m_session.user.userId;
    if (m_session.isOpen())
        RELOAD_SYSTEM_SETTINGS();
    // Editors of the user who logged off close (each asks about unsaved changes).
    const QList<SCR_FORM*> editors = findChildren<SCR_FORM*>(Qt::FindDirectChildrenOnly);
    for (SCR_FORM* editor : editors)
        editor->close();
    // The default view: Active, both viewed states, the date window off over 180 days.
    m_team->setApproval(false);
    m_team->filter() = TaskViewFilter::defaults(m_session.clock().nowLocal().date());
    ensureWorkshop();
    m_caption =
        m_session.company.name + QStringLiteral(" Brindlepax ") + QStringLiteral(" : ") + user;
    m_commands.value(QStringLiteral("mnuLogOff"))->setText(QStringLiteral("Log off ") + user);
    reloadTools();
    closePlugInPages();
    Update_PLUGINS();
    const bool admin = UserRights::isAdministrator(m_session.user.record);
    m_admin->menuAction()->setVisible(admin);
    m_commands.value(QStringLiteral("Forms"))->setVisible(admin);
    m_commands.value(QStringLiteral("LIFECYCLE"))
        ->setVisible(UserRights::mayCreateLifecycles(m_session.user.record));
    const bool analyst = UserRights::hasBusinessIntelligence(m_session.user.record);
    m_commands.value(QStringLiteral("BI"))->setVisible(analyst);
    m_commands.value(QStringLiteral("mnuBI"))->setVisible(analyst);
    const bool reports = UserRights::hasReports(m_session.user.record) || admin;
    m_commands.value(QStringLiteral("M_REPORTFILE"))->setVisible(reports);
    if (m_cabinet)
        m_cabinet->action(QStringLiteral("MNUNEWREPORT"))->setVisible(reports);
    showFilter();
    if (m_tray)
        m_tray->setToolTip(plainToolTip(windowTitle()));
    // The layout the user left: window, splitters, preview, columns; the list options' fonts
    // and columns.
    const WindowLayout layout = WindowLayout::load(m_session.settings());
    if (layout.taskFormSize.isValid())
        m_session.taskFormSize = layout.taskFormSize;
    if (layout.geometry.isValid())
        setGeometry(layout.geometry);
    else if (!isVisible() && screen())
        setGeometry(firstStartGeometry(screen()->availableGeometry()));
    if (layout.maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
    m_team->applyListOptions();
    m_team->restoreLayout(layout);
    m_messages->restoreLayout(layout);
    m_commands.value(QStringLiteral("mnuShowPreview"))->setChecked(layout.previewShown);
    // The trees of the default page.
    m_tabs->setCurrentWidget(m_team);
    m_team->refreshInBackground();
    // The message list of the new user, whose unread messages the MESSAGES button shows.
    m_messages->newMessage();
    m_messages->refresh();
    startPoll();
    m_unloaded = false;
    // Tasks whose plug-in took the program down come back with what the user had typed.
    if (m_session.isOpen())
        for (SCR_FORM* editor : SCR_FORM::reopenAfterPlugInCrash(m_session, m_prompt, this, this))
            editor->show();
}

void Access_Form::ensureWorkshop()
{
    if (m_session.currentWorkshopId != 0 || !m_session.isOpen())
        return;
    try {
        m_session.currentWorkshopId =
            int(RecentWorkshops(m_session.settings())
                    .startWorkshop(m_session.db(), m_session.user.userId));
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
    }
}

std::optional<Connector> Access_Form::workerConnector()
{
    if (!m_session.isOpen())
        return std::nullopt;
    try {
        return secondConnectionTo(m_session.db());
    } catch (const DbError& e) {
        reportDatabaseError(e, m_session, m_prompt);
        return std::nullopt;
    }
}

void Access_Form::startPoll()
{
    stopPoll();
    std::optional<Connector> opener = workerConnector();
    if (!opener)
        return;
    m_poller = new Poller(m_session.clock(),
                          std::make_unique<DatabasePollBackend>(std::move(*opener)), this);
    m_poller->setUserId(m_session.user.userId);
    m_poller->setIntervals(PollIntervals::fromSettings(m_session.settings()));
    m_poller->setDatabaseOpen([this] { return m_session.isOpen(); });
    m_poller->setTaskProbe([this] { return m_team->viewStatement(); });
    // The view is read again only when the change markers of what it shows moved.
    if (m_session.db().hasTable(change_markers::kTable))
        m_poller->setMarkerScope([this] { return m_team->markerScope(); });
    // On an engine with notices the poll hears of changed tasks and reads only those again.
    m_poller->setNotices(m_session.db().dialect().hasNotices());
    m_poller->setWorkshop([this] { return qlonglong(m_session.currentWorkshopId); });
    m_poller->setKeyedTaskProbe(
        [this](const QList<qlonglong>& numbers) { return m_team->keyedStatement(numbers); });
    connect(m_poller, &Poller::tasksRead, this,
            [this](const QList<qlonglong>& numbers, const RecordSet& rows) {
                try {
                    tasksRead(numbers, rows);
                } catch (const DbError& e) {
                    m_poller->refreshFailed(e.text());
                }
            });
    connect(m_poller, &Poller::clearStatus, statusBar(), &QStatusBar::clearMessage);
    connect(m_poller, &Poller::refreshTasks, this, [this] {
        // The poll's own refresh: a database error here means the connection is gone, which the
        // poller settles (connectionLost), so it is handed back rather than shown.
        try {
            tasksChanged();
        } catch (const DbError& e) {
            m_poller->refreshFailed(e.text());
        }
    });
    connect(m_poller, &Poller::presenceChanged, m_team, &TeamView::setOnline);
    // The message check reads the unread count and the newest number on the poll's connection;
    // the list is read again only when they changed.
    m_poller->setMessageProbe([this]() -> MessageProbe {
        const QString user = m_session.user.userId;
        const qlonglong workshop = m_session.currentWorkshopId;
        return [user, workshop](Database& db) {
            return Mailbox::probe(db, user, workshop).toVariant();
        };
    });
    m_poller->messagesSeen(m_messages->probeState());
    connect(m_poller, &Poller::refreshMessages, this, [this] {
        try {
            m_messages->RefreshMessageList();
        } catch (const DbError& e) {
            m_poller->refreshFailed(e.text());
        }
    });
    connect(m_poller, &Poller::connectionLost, this, [this] {
        // A new connection of the session has none of the old one's commit watches.
        if (askToReconnect(
                m_prompt, [this] { return reopenSession(m_session, m_prompt); },
                [this] {
                    stopPoll();
                    m_terminate();
                }))
            watchOutboxCommits();
    });
    m_poller->start();
    startMailSender();
}

void Access_Form::stopPoll()
{
    stopMailSender();
    if (!m_poller)
        return;
    // The poll's work is over when this returns (the log-off removes the user's presence row
    // next). The object itself goes once control is back in the event loop: this may run inside
    // one of its own signals (No to the connection-lost question), which goes on using it. What
    // it still emits meanwhile reaches nobody.
    m_poller->shutDown();
    m_poller->disconnect();
    m_poller->deleteLater();
    m_poller = nullptr;
}

void Access_Form::RELOAD_SYSTEM_SETTINGS()
{
    m_session.reloadSystemSettings(AppPaths::programDir());
    if (m_poller)
        m_poller->setIntervals(PollIntervals::fromSettings(m_session.settings()));
    if (m_mailSender)
        startMailSender();
}

void Access_Form::tasksChanged()
{
    // The Messages page follows its own changes; every other page shown reads its tasks again.
    if (currentTabKey() != QLatin1String("MESSAGES"))
        refreshPage();
}

void Access_Form::tasksRead(const QList<qlonglong>& numbers, const RecordSet& rows)
{
    const QString key = currentTabKey();
    if (key == QLatin1String("TEAMWORK"))
        m_team->showTasks(numbers, rows);
    else if (key != QLatin1String("MESSAGES"))
        refreshPage();
}

void Access_Form::showStatus(const QString& text)
{
    statusBar()->showMessage(text);
    if (m_poller)
        m_poller->statusShown();
}

void Access_Form::showUnread(qlonglong unread)
{
    if (unread > 0 && !m_blink->isActive()) {
        m_blink->start();
    } else if (unread <= 0 && m_blink->isActive()) {
        m_blink->stop();
        blink(); // stopped, it puts the icons back
    }
}

void Access_Form::blink()
{
    m_blinkOn = !m_blinkOn && m_blink->isActive();
    const QIcon mail =
        m_blinkOn ? style()->standardIcon(QStyle::SP_MessageBoxInformation) : QIcon();
    m_tabs->setTabIcon(m_tabs->indexOf(m_messages), mail);
    if (QAction* button = m_commands.value(QStringLiteral("MESSAGES"))) {
        // A colour rather than an icon: the toolbar keeps its width.
        if (QWidget* w = m_toolbar2->widgetForAction(button))
            w->setStyleSheet(m_blinkOn ? QStringLiteral("background-color: #ffd54f;") : QString());
    }
    if (m_tray)
        m_tray->setIcon(m_blinkOn ? mail : appIcon());
}

QStringList Access_Form::tabKeys() const
{
    QStringList keys;
    for (int i = 0; i < m_tabs->count(); ++i)
        keys << m_tabs->widget(i)->objectName();
    return keys;
}

QString Access_Form::currentTabKey() const
{
    return m_tabs->currentWidget() ? m_tabs->currentWidget()->objectName() : QString();
}

void Access_Form::runSearch()
{
    showTab(QStringLiteral("FIND"));
    setWindowTitle(m_caption + QStringLiteral(": Find Tasks"));
    m_find->run(m_session.search);
}

qlonglong Access_Form::selectedTask() const
{
    if (m_find && m_tabs->currentWidget() == m_find) {
        const QModelIndex index = m_find->tree()->currentIndex();
        return index.isValid() ? index.data(FindPage::kNumberRole).toLongLong() : 0;
    }
    return m_team->selectedTask();
}

bool Access_Form::showTab(const QString& key)
{
    const int at = tabKeys().indexOf(key);
    if (at >= 0) {
        m_tabs->setCurrentIndex(at);
        return true;
    }
    if (key != QLatin1String("FIND"))
        return false;
    m_find = new FindPage(m_session, m_prompt, m_tabs);
    m_find->setObjectName(key);
    connect(m_find, &FindPage::openTask, this, &Access_Form::Open_Task);
    // The found tasks have the task menu of the team tree.
    connect(m_find->tree(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& where) {
                QTreeView* tree = m_find->tree();
                const QModelIndex index = tree->indexAt(where);
                if (!index.isValid())
                    return;
                tree->setCurrentIndex(index);
                if (auto* menu = findChild<QMenu*>(QStringLiteral("POPUP_TASK")))
                    menu->popup(tree->viewport()->mapToGlobal(where));
            });
    m_tabs->setCurrentIndex(m_tabs->addTab(m_find, QStringLiteral("Find")));
    showCloseButtons();
    return true;
}

void Access_Form::showFilter()
{
    const TaskViewFilter& f = m_team->filter();
    for (const auto& [action, which] : std::as_const(m_filterActions)) {
        bool on = false;
        switch (which) {
        case ViewCommand::Active:
            on = f.active;
            break;
        case ViewCommand::Complete:
            on = f.complete;
            break;
        case ViewCommand::Incomplete:
            on = f.incomplete;
            break;
        case ViewCommand::Canceled:
            on = f.canceled;
            break;
        case ViewCommand::Viewed:
            on = f.viewed == ViewedState::Viewed;
            break;
        case ViewCommand::Unviewed:
            on = f.viewed == ViewedState::Unviewed;
            break;
        case ViewCommand::BothViewed:
            on = f.viewed == ViewedState::Both;
            break;
        case ViewCommand::RequestedBy:
            on = f.requestedBy;
            break;
        case ViewCommand::OwnedBy:
            on = f.ownedBy;
            break;
        case ViewCommand::Late:
            on = f.late;
            break;
        }
        action->setChecked(on);
    }
    const auto tick = [this](const char* name, bool on) {
        m_commands.value(QString::fromLatin1(name))->setChecked(on);
    };
    tick("mnuAllCat", f.categories.isEmpty());
    tick("mnuCat", !f.categories.isEmpty());
    tick("mnuAllPriorities", f.priorities.isEmpty());
    tick("mnuChoosePriority", !f.priorities.isEmpty());
    tick("mnuAllDateIn", !f.window.on);
    tick("mnuDateIn", f.window.on);
    setWindowTitle(m_caption + f.captionSuffix());
}

void Access_Form::filterChanged()
{
    m_team->setApproval(false);
    showFilter();
    m_team->refreshInBackground();
}

void Access_Form::closeWithoutQuestion()
{
    m_noQuestion = true;
    // The Exit command closes the task editors and dialogs with the window.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != this && w->isVisible() && w->parentWidget() == this)
            w->close();
    }
    close();
}

void Access_Form::closeEvent(QCloseEvent* event)
{
    if (!m_noQuestion &&
        m_prompt.ask(QStringLiteral("Do you really want to exit Brindlepax?"), {},
                     PromptButtons::YesNo, PromptIcon::Question) != PromptAnswer::Yes) {
        event->ignore();
        return;
    }
    m_noQuestion = false;
    if (!m_unloaded) {
        // No heartbeat may follow the presence row's deletion.
        stopPoll();
        closePlugInPages();
        m_cabinet->closeViewerCopies();
        WindowLayout layout = WindowLayout::load(m_session.settings());
        layout.geometry = normalGeometry();
        layout.maximized = isMaximized();
        m_team->keepLayout(layout);
        m_messages->keepLayout(layout);
        layout.save(m_session.settings());
        unloadSession(m_session);
        m_unloaded = true;
    }
    if (m_tray)
        m_tray->hide();
    event->accept();
}

void Access_Form::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Minimised, the window leaves the task bar and waits behind its notification-area icon.
    if (event->type() == QEvent::WindowStateChange && m_tray && isMinimized())
        QTimer::singleShot(0, this, &QWidget::hide);
}

} // namespace bx
