#pragma once

#include "mainwindow/TaskViews.h"
#include "tasks/TaskEditorHost.h"
#include "tasks/TaskTypes.h"

#include <QMainWindow>

class QAction;
class QTabWidget;
class QMenu;
class QSystemTrayIcon;

namespace bx {

class CalendarPage;
class TeamView;

class Prompt;
class Session;

/**
 * The main window. For now it holds what a session's start and end need: the caption, Log Off,
 * Exit, the exit question of the close box (not asked when the desktop session ends or for the
 * Exit command), minimising to the notification area where the desktop has one, and the unload
 * steps of the session.
 */
class Access_Form : public QMainWindow, public TaskEditorHost
{
    Q_OBJECT
public:
    // The task editors' host.
    void taskSaved(qlonglong number, bool wasNew) override;
    void refreshTaskLists() override;
    qlonglong neighbourTask(qlonglong, int) override { return 0; }

    Access_Form(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~Access_Form() override;

    /** Builds caption and menus for the logged-on user (after a log-on or a log-off). */
    void rebuildForUser();

    /** Closes without the exit question (Exit command, end of the desktop session). */
    void closeWithoutQuestion();

signals:
    /** The user chose Log Off; the window's owner runs the log-on again. */
    void logOffRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void openSystemSettings();
    void openUsers();
    void openLookupLists();
    void newTask(TaskType type);
    void openTask(qlonglong number);
    /** Ticks the view commands after the filter and adds its suffixes to the caption. */
    void showFilter();
    void openLifecycles();
    void newWorkshop();
    void editWorkshop();
    void joinWorkshop();

    Session& m_session;
    Prompt& m_prompt;
    QAction* m_logOff;
    QMenu* m_admin;
    QAction* m_lifecycles;
    QTabWidget* m_tabs;
    TeamView* m_team;
    /** The caption without the view's suffixes. */
    QString m_caption;
    QList<std::pair<QAction*, ViewCommand>> m_filterActions;
    CalendarPage* m_calendar;
    QSystemTrayIcon* m_tray = nullptr;
    bool m_noQuestion = false;
    bool m_unloaded = false;
};

} // namespace bx
