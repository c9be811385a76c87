#include "mainwindow/ui/Access_Form.h"

#include "core/AppPaths.h"
#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/Database.h"
#include "core/db/DatabaseOpener.h"
#include "core/ui/F_SYSTEM.h"
#include "mainwindow/SessionUnload.h"
#include "mainwindow/ui/CalendarPage.h"
#include "mainwindow/ui/DlgTaskListOptions.h"
#include "mainwindow/ui/TeamView.h"
#include "people/UserRights.h"
#include "people/ui/DlgAddTeam.h"
#include "people/ui/F_USER.h"
#include "people/ui/jtWizard.h"
#include "people/workshops/RecentWorkshops.h"
#include "people/workshops/WorkshopService.h"
#include "tasks/ui/F_LOOKUP.h"
#include "tasks/ui/SCR_FORM.h"
#include "workflow/ui/Lifecycle_designer.h"
#include "workflow/ui/TRIGGERS_FORM.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>

namespace bx {

Access_Form::Access_Form(Session& session, Prompt& prompt, QWidget* parent)
    : QMainWindow(parent)
    , m_session(session)
    , m_prompt(prompt)
{
    setObjectName(QStringLiteral("Access_Form"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    m_logOff = file->addAction(QString());
    m_logOff->setObjectName(QStringLiteral("mnuLogOff"));
    connect(m_logOff, &QAction::triggered, this, &Access_Form::logOffRequested);
    file->addSeparator();
    QAction* exit = file->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("EXIT"));
    connect(exit, &QAction::triggered, this, &Access_Form::closeWithoutQuestion);

    // Administrators keep the system here; the menu shows only for them.
    m_admin = menuBar()->addMenu(QStringLiteral("&Administration"));
    m_admin->setObjectName(QStringLiteral("mnuAdmin"));
    QAction* system = m_admin->addAction(QStringLiteral("&System Settings..."));
    system->setObjectName(QStringLiteral("mnuSystem"));
    connect(system, &QAction::triggered, this, &Access_Form::openSystemSettings);
    QAction* users = m_admin->addAction(QStringLiteral("&Users..."));
    users->setObjectName(QStringLiteral("mnuUsers"));
    connect(users, &QAction::triggered, this, &Access_Form::openUsers);
    QAction* lookups = m_admin->addAction(QStringLiteral("&Lookup Lists..."));
    lookups->setObjectName(QStringLiteral("mnuRules"));
    connect(lookups, &QAction::triggered, this, &Access_Form::openLookupLists);

    QMenu* tasks = menuBar()->addMenu(QStringLiteral("&Task"));
    QAction* task = tasks->addAction(QStringLiteral("&New Task..."));
    task->setObjectName(QStringLiteral("mnuNewTask"));
    connect(task, &QAction::triggered, this, [this] { newTask(TaskType::Task); });
    QAction* meeting = tasks->addAction(QStringLiteral("New &Meeting..."));
    meeting->setObjectName(QStringLiteral("mnuMeeting"));
    connect(meeting, &QAction::triggered, this, [this] { newTask(TaskType::Meeting); });
    tasks->addSeparator();
    QAction* options = tasks->addAction(QStringLiteral("Task List &Options..."));
    options->setObjectName(QStringLiteral("mnuListOptions"));
    connect(options, &QAction::triggered, this, [this] {
        DlgTaskListOptions dialog(m_session, m_prompt, this);
        dialog.exec();
    });

    // The view filters: each command sets and clears its checks, then the team view is rebuilt.
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
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
        QAction* action = view->addAction(QString::fromUtf8(f.caption));
        action->setObjectName(QString::fromLatin1(f.name));
        action->setCheckable(true);
        const ViewCommand command = f.command;
        connect(action, &QAction::triggered, this, [this, command] {
            m_team->filter().apply(command);
            showFilter();
            m_team->refresh();
        });
        m_filterActions.append({action, command});
    }

    QMenu* workshops = menuBar()->addMenu(QStringLiteral("&Workshop"));
    QAction* create = workshops->addAction(QStringLiteral("&New Workshop..."));
    create->setObjectName(QStringLiteral("CreateGroup"));
    connect(create, &QAction::triggered, this, &Access_Form::newWorkshop);
    QAction* edit = workshops->addAction(QStringLiteral("&Edit Workshop..."));
    edit->setObjectName(QStringLiteral("mnuEditTeam"));
    connect(edit, &QAction::triggered, this, &Access_Form::editWorkshop);
    QAction* join = workshops->addAction(QStringLiteral("&Join Workshop..."));
    join->setObjectName(QStringLiteral("mnuJoin"));
    connect(join, &QAction::triggered, this, &Access_Form::joinWorkshop);

    m_lifecycles = workshops->addAction(QStringLiteral("&Lifecycles..."));
    m_lifecycles->setObjectName(QStringLiteral("LIFECYCLE"));
    connect(m_lifecycles, &QAction::triggered, this, &Access_Form::openLifecycles);

    // The pages by key; the team view and the other pages fill in as they come.
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("TabStrip2"));
    m_team = new TeamView(m_session, m_prompt, m_tabs);
    m_team->setObjectName(QStringLiteral("TEAMWORK"));
    m_tabs->addTab(m_team, QStringLiteral("Team"));
    connect(m_team, &TeamView::openTask, this, &Access_Form::openTask);
    m_calendar = new CalendarPage(m_session, m_prompt, m_tabs);
    m_calendar->setObjectName(QStringLiteral("CALENDAR"));
    m_tabs->addTab(m_calendar, QStringLiteral("Calendar"));
    connect(m_calendar, &CalendarPage::openTask, this, &Access_Form::openTask);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] {
        if (m_tabs->currentWidget() == m_calendar)
            m_calendar->refresh();
    });
    setCentralWidget(m_tabs);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray =
            new QSystemTrayIcon(QApplication::style()->standardIcon(QStyle::SP_ComputerIcon), this);
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
    // The end of the desktop session closes the window without asking.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { m_noQuestion = true; });
    resize(900, 600);
    rebuildForUser();
}

Access_Form::~Access_Form() = default;

void Access_Form::rebuildForUser()
{
    const QString user = m_session.user.userId;
    if (m_session.currentWorkshopId == 0 && m_session.isOpen()) {
        try {
            m_session.currentWorkshopId =
                int(RecentWorkshops(m_session.settings()).startWorkshop(m_session.db(), user));
        } catch (const DbError& e) {
            reportDatabaseError(e, m_session, m_prompt);
        }
    }
    m_caption =
        m_session.company.name + QStringLiteral(" Brindlepax ") + QStringLiteral(" : ") + user;
    m_logOff->setText(QStringLiteral("Log off ") + user);
    m_admin->menuAction()->setVisible(m_session.user.record.administrator);
    m_lifecycles->setVisible(UserRights::mayCreateLifecycles(m_session.user.record));
    m_tabs->setCurrentWidget(m_team);
    // A user starts on the default view.
    m_team->filter() = TaskViewFilter::defaults(m_session.clock().nowLocal().date());
    showFilter();
    if (m_tray)
        m_tray->setToolTip(windowTitle());
    m_team->refresh();
    m_unloaded = false;
}

void Access_Form::openSystemSettings()
{
    F_SYSTEM dialog(m_session, m_prompt, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_session.reloadSystemSettings(AppPaths::programDir());
}

void Access_Form::openUsers()
{
    if (!UserRights::isAdministrator(m_session.user.record)) {
        m_prompt.inform(UserRights::kNotAdministrator);
        return;
    }
    F_USER dialog(m_session, m_prompt, this);
    dialog.exec();
}

void Access_Form::openLookupLists()
{
    F_LOOKUP dialog(m_session, m_prompt, this);
    dialog.exec();
}

void Access_Form::newTask(TaskType type)
{
    m_session.openMode.clear();
    auto* editor = new SCR_FORM(m_session, m_prompt, this, this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    if (!editor->openNew(type, m_session.currentWorkshopId)) {
        delete editor;
        return;
    }
    editor->show();
}

void Access_Form::showFilter()
{
    const TaskViewFilter& f = m_team->filter();
    for (const auto& [action, command] : std::as_const(m_filterActions)) {
        bool on = false;
        switch (command) {
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
    setWindowTitle(m_caption + f.captionSuffix());
}

void Access_Form::taskSaved(qlonglong, bool)
{
    refreshTaskLists();
}

void Access_Form::refreshTaskLists()
{
    m_team->refresh();
}

void Access_Form::openTask(qlonglong number)
{
    auto* editor = new SCR_FORM(m_session, m_prompt, this, this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    if (!editor->openExisting(number)) {
        delete editor;
        return;
    }
    editor->show();
}

void Access_Form::openLifecycles()
{
    Lifecycle_designer designer(m_session, m_prompt, this);
    connect(&designer, &Lifecycle_designer::triggersRequested, &designer,
            [this, &designer](const QString& lifecycleId, qlonglong ownerGroupId) {
                TRIGGERS_FORM triggers(m_session, m_prompt, lifecycleId, ownerGroupId, &designer);
                triggers.exec();
            });
    designer.exec();
}

void Access_Form::newWorkshop()
{
    DlgAddTeam dialog(m_session, m_prompt, 0, this);
    dialog.exec();
}

void Access_Form::editWorkshop()
{
    DlgAddTeam dialog(m_session, m_prompt, m_session.currentWorkshopId, this);
    dialog.exec();
}

void Access_Form::joinWorkshop()
{
    jtWizard wizard(m_session, m_prompt, this);
    connect(&wizard, &jtWizard::workshopReady, this,
            [this](qlonglong id) { WorkshopService(m_session, m_prompt).open(id); });
    wizard.exec();
}

void Access_Form::closeWithoutQuestion()
{
    m_noQuestion = true;
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
