// The command handlers of the main window: each checks the selection it needs, calls the logic
// and lets the team view follow.

#include "contacts/ui/ContactsCtrl.h"
#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/db/DatabaseOpener.h"
#include "core/ui/F_SYSTEM.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "mainwindow/TaskMoves.h"
#include "mainwindow/TeamTree.h"
#include "mainwindow/Tools.h"
#include "mainwindow/ViewListing.h"
#include "mainwindow/ui/Access_Form.h"
#include "mainwindow/ui/CalendarPage.h"
#include "mainwindow/ui/DiscussionPage.h"
#include "mainwindow/ui/F_FIND.h"
#include "mainwindow/ui/F_TOOL.h"
#include "mainwindow/ui/FileCabinetPage.h"
#include "mainwindow/ui/FindPage.h"
#include "mainwindow/ui/TOOL_FORM.h"
#include "mainwindow/ui/TeamView.h"
#include "mainwindow/ui/ViewPrinter.h"
#include "messaging/ui/MessagesPage.h"
#include "people/UserAdmin.h"
#include "people/ui/DlgAddTeam.h"
#include "people/ui/F_USER.h"
#include "people/ui/USER_FORM.h"
#include "people/ui/jtWizard.h"
#include "people/workshops/RecentWorkshops.h"
#include "people/workshops/WorkshopService.h"
#include "reports/ui/dlgBI.h"
#include "reports/ui/dlgTSHReport.h"
#include "reports/ui/frmARDesigner.h"
#include "tasks/ReportStore.h"
#include "tasks/SubTasks.h"
#include "tasks/ui/F_LOOKUP.h"
#include "tasks/ui/SCR_FORM.h"
#include "tasks/ui/dlgCategories.h"
#include "tasks/ui/dlgCustomTab.h"
#include "tasks/ui/dlgDateInF.h"
#include "tasks/ui/dlgPriority.h"
#include "tasks/ui/frmFormDesigner.h"
#include "tasks/ui/frmWindowCustomisation.h"
#include "workflow/ui/Lifecycle_designer.h"
#include "workflow/ui/TRIGGERS_FORM.h"
#include "workflow/ui/frmChecklistDesigner.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QTabWidget>

namespace bx {

// --- Tasks ---------------------------------------------------------------------------------------

void Access_Form::startEditor(const TaskOpening& opening)
{
    auto* editor = new SCR_FORM(m_session, m_prompt, this, this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    if (!editor->open(opening)) {
        delete editor;
        return;
    }
    editor->show();
}

void Access_Form::newTask()
{
    startEditor(TaskOpening::newTask(TaskType::Task, m_session.currentWorkshopId));
}

void Access_Form::newMeeting()
{
    startEditor(TaskOpening::newTask(TaskType::Meeting, m_session.currentWorkshopId));
}

SCR_FORM* Access_Form::IsSCRAlreadyOpen(qlonglong number) const
{
    if (number == 0)
        return nullptr;
    const QList<SCR_FORM*> editors = findChildren<SCR_FORM*>(Qt::FindDirectChildrenOnly);
    for (SCR_FORM* editor : editors) {
        if (!editor->isNew() && editor->SCR().SCR_Number() == number)
            return editor;
    }
    return nullptr;
}

void Access_Form::Open_Task(qlonglong number)
{
    if (SCR_FORM* open = IsSCRAlreadyOpen(number)) {
        open->showNormal();
        open->raise();
        open->activateWindow();
        return;
    }
    startEditor(TaskOpening::existing(number));
}

void Access_Form::openSelectedTask()
{
    if (const qlonglong task = selectedTask())
        Open_Task(task);
}

void Access_Form::newSubTask()
{
    // prepareSubTask names the missing selection itself.
    std::optional<TaskOpening> opening;
    if (runCommand(m_session, m_prompt,
                   [&] { opening = prepareSubTask(m_session, m_prompt, selectedTask()); }) &&
        opening)
        startEditor(*opening);
}

void Access_Form::closeSelectedTask()
{
    const qlonglong task = selectedTask();
    bool closed = false;
    if (task != 0 &&
        runCommand(m_session, m_prompt, [&] { closed = closeTask(m_session, m_prompt, task); }) &&
        closed)
        m_team->taskChanged(task);
}

void Access_Form::makeSelectedIndependent()
{
    const qlonglong task = selectedTask();
    bool detached = false;
    if (task != 0 &&
        runCommand(m_session, m_prompt,
                   [&] { detached = makeIndependent(m_session, m_prompt, task); }) &&
        detached)
        m_team->refresh();
}

void Access_Form::UPDATE_TEMPLATES()
{
    m_templates->clear();
    QList<TemplateEntry> templates;
    if (!runCommand(m_session, m_prompt, [&] { templates = templateList(m_session.db()); }))
        return;
    for (const TemplateEntry& t : std::as_const(templates)) {
        QAction* action = m_templates->addAction(t.title);
        action->setData(t.number);
        const qlonglong number = t.number;
        connect(action, &QAction::triggered, this, [this, number] {
            std::optional<TaskOpening> opening;
            if (runCommand(m_session, m_prompt,
                           [&] { opening = prepareFromTemplate(m_session, m_prompt, number); }) &&
                opening)
                startEditor(*opening);
        });
    }
    if (templates.isEmpty())
        m_templates->addAction(QStringLiteral("(no templates)"))->setEnabled(false);
}

void Access_Form::taskSaved(qlonglong number, bool)
{
    m_team->taskChanged(number);
}

void Access_Form::refreshTaskLists()
{
    m_team->refresh();
}

qlonglong Access_Form::neighbourTask(qlonglong number, int direction)
{
    return m_team->neighbourTask(number, direction);
}

// --- Views ---------------------------------------------------------------------------------------

void Access_Form::quickView(QuickView view)
{
    if (view == QuickView::Approval) {
        m_team->setApproval(true);
        setWindowTitle(m_caption + QStringLiteral(" (Approval)"));
        m_team->refreshInBackground();
        showTab(QStringLiteral("TEAMWORK"));
        return;
    }
    m_team->filter().apply(view);
    filterChanged();
    showTab(QStringLiteral("TEAMWORK"));
}

void Access_Form::chooseCategories()
{
    const auto chosen = dlgCategories::choose(m_session, m_prompt, true, this);
    if (chosen)
        m_team->filter().categories = *chosen;
    filterChanged();
}

void Access_Form::allCategories()
{
    m_team->filter().categories.clear();
    filterChanged();
}

void Access_Form::choosePriorities()
{
    const auto chosen = dlgPriority::choose(m_session, m_prompt, true, this);
    if (chosen)
        m_team->filter().priorities = *chosen;
    filterChanged();
}

void Access_Form::allPriorities()
{
    m_team->filter().priorities.clear();
    filterChanged();
}

void Access_Form::chooseDates()
{
    const auto chosen = dlgDateInF::choose(m_session, m_prompt, this);
    if (chosen)
        m_team->filter().window = TaskDateWindow::fromChoice(*chosen);
    filterChanged();
}

void Access_Form::allDates()
{
    m_team->filter().window.on = false;
    filterChanged();
}

void Access_Form::walkUp()
{
    QString user = selectedUser();
    if (user.isEmpty())
        user = m_session.user.userId;
    std::optional<QString> supervisor;
    if (!runCommand(m_session, m_prompt,
                    [&] { supervisor = supervisorOf(m_session, m_prompt, user); }) ||
        !supervisor)
        return;
    if (!m_team->selectUser(*supervisor))
        showStatus(*supervisor);
}

void Access_Form::refreshPage()
{
    const QString key = currentTabKey();
    if (key == QLatin1String("CALENDAR"))
        m_calendar->refresh();
    else if (key == QLatin1String("TEAMWORK"))
        m_team->refreshInBackground();
    else if (key == QLatin1String("DISCUSSION"))
        m_discussion->refresh();
    else if (key == QLatin1String("MESSAGES"))
        m_messages->refresh();
    else if (key == QLatin1String("FILECABINET"))
        m_cabinet->refresh();
    else if (auto* contacts = m_tabs->currentWidget()->findChild<ContactsCtrl*>())
        contacts->RefreshContactList();
}

void Access_Form::closeTab()
{
    closePage(m_tabs->currentIndex());
}

void Access_Form::find()
{
    F_FIND dialog(m_session, m_prompt, this);
    if (dialog.exec() == QDialog::Accepted)
        runSearch();
}

void Access_Form::printView() {}

// --- Selection -----------------------------------------------------------------------------------

qlonglong Access_Form::selectedWorkshop() const
{
    const TreeNode* n = m_team->selectedNode();
    if (n && (n->kind == TreeNodeKind::Workshop || n->kind == TreeNodeKind::SubWorkshop))
        return n->key.toLongLong();
    return m_session.currentWorkshopId;
}

QString Access_Form::selectedUser() const
{
    const TreeNode* n = m_team->selectedNode();
    return n && n->kind == TreeNodeKind::User ? n->key.toString() : QString();
}

// --- Administration ------------------------------------------------------------------------------

void Access_Form::openSystemSettings()
{
    F_SYSTEM dialog(m_session, m_prompt, this);
    if (dialog.exec() == QDialog::Accepted)
        RELOAD_SYSTEM_SETTINGS();
}

void Access_Form::openUsers()
{
    if (!UserRights::isAdministrator(m_session.user.record)) {
        m_prompt.inform(UserRights::kNotAdministrator);
        return;
    }
    F_USER dialog(m_session, m_prompt, this);
    dialog.exec();
    m_team->refresh();
}

void Access_Form::newUser()
{
    if (!UserRights::isAdministrator(m_session.user.record)) {
        m_prompt.inform(UserRights::kNotAdministrator);
        return;
    }
    USER_FORM dialog(m_session, m_prompt, QStringLiteral("NEW"), {}, this);
    if (dialog.exec() == QDialog::Accepted)
        m_team->refresh();
}

void Access_Form::editUser()
{
    if (!UserRights::isAdministrator(m_session.user.record)) {
        m_prompt.inform(UserRights::kNotAdministrator);
        return;
    }
    const QString user = selectedUser();
    if (user.isEmpty()) {
        m_prompt.inform(kPleaseSelectUser);
        return;
    }
    USER_FORM dialog(m_session, m_prompt, QStringLiteral("OPEN"), user, this);
    if (dialog.exec() == QDialog::Accepted)
        m_team->refresh();
}

void Access_Form::deleteSelectedUser()
{
    // The deletion checks the rights and the selection itself.
    Outcome<> deleted;
    if (runCommand(m_session, m_prompt,
                   [&] { deleted = deleteUser(m_session, m_prompt, selectedUser()); }) &&
        !showRefusal(m_prompt, deleted.refusal()) && deleted)
        m_team->refresh();
}

void Access_Form::openLookupLists()
{
    F_LOOKUP dialog(m_session, m_prompt, this);
    dialog.exec();
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

void Access_Form::openChecklists()
{
    // The designer says itself why a user outside the workshop may not open it.
    frmChecklistDesigner designer(m_session, m_prompt, this);
    if (designer.refresh())
        designer.exec();
}

void Access_Form::openFormDesigner()
{
    // The designer says itself why anyone but an administrator may not open it.
    frmFormDesigner designer(m_session, m_prompt, this);
    if (designer.refresh())
        designer.exec();
}

void Access_Form::openWindowCustomisation()
{
    // The window says itself why anyone but an administrator may not open it.
    frmWindowCustomisation customisation(m_session, m_prompt, this);
    if (customisation.refresh())
        customisation.exec();
}

void Access_Form::openTools()
{
    F_TOOL tools(m_session, m_prompt, this);
    if (tools.refresh())
        tools.exec();
    if (tools.changed())
        reloadTools();
}

void Access_Form::newTool()
{
    if (showRefusal(m_prompt, UserRights::refuseUnlessAdministrator(m_session.user.record)))
        return;
    TOOL_FORM tool(m_session, m_prompt, QStringLiteral("NEW"), {}, this);
    if (tool.exec() == QDialog::Accepted)
        reloadTools();
}

// --- Outside tools -------------------------------------------------------------------------------

void Access_Form::reloadTools()
{
    QStringList mainWindow;
    QStringList editor;
    if (m_session.isOpen() && !runCommand(m_session, m_prompt, [&] {
            mainWindow = toolNames(m_session.db(), ToolPlace::MainWindow);
            editor = toolNames(m_session.db(), ToolPlace::TaskEditor);
        }))
        return;
    m_tools->clear();
    for (const QString& name : mainWindow) {
        QAction* item = m_tools->addAction(QString(name).replace(u'&', QStringLiteral("&&")));
        item->setObjectName(QStringLiteral("M_TOOL"));
        connect(item, &QAction::triggered, this, [this, name] { startTool(name); });
    }
    m_tools->menuAction()->setVisible(!mainWindow.isEmpty());
    m_editorTools = editor;
}

void Access_Form::startTool(const QString& name)
{
    std::optional<RefusalOf<>> refused;
    if (runCommand(m_session, m_prompt, [&] {
            refused = bx::startTool(m_session, ToolPlace::MainWindow, name, selectedTask(),
                                    QCoreApplication::applicationDirPath());
        }))
        showRefusal(m_prompt, refused);
}

void Access_Form::startEditorTool(const QString& name, qlonglong number)
{
    std::optional<RefusalOf<>> refused;
    if (runCommand(m_session, m_prompt, [&] {
            refused = bx::startTool(m_session, ToolPlace::TaskEditor, name, number,
                                    QCoreApplication::applicationDirPath());
        }))
        showRefusal(m_prompt, refused);
}

void Access_Form::openTimeSheetReport()
{
    dlgTSHReport report(m_session, m_prompt, 0, this);
    report.refresh();
    report.exec();
}

void Access_Form::openAnalyses()
{
    if (!UserRights::hasBusinessIntelligence(m_session.user.record))
        return;
    std::optional<Connector> opener = workerConnector();
    if (!opener)
        return;
    dlgBI analyses(m_session, m_prompt, std::move(*opener), this);
    analyses.exec();
}

void Access_Form::openReportDesigner(bool blank)
{
    ReportStore store(m_session);
    frmARDesigner designer(m_session, m_prompt, store, this);
    if (blank)
        designer.newReport();
    designer.exec();
}

// --- Workshops -----------------------------------------------------------------------------------

void Access_Form::newWorkshop()
{
    DlgAddTeam dialog(m_session, m_prompt, 0, this);
    if (dialog.exec() == QDialog::Accepted)
        m_team->refresh();
}

void Access_Form::editWorkshop()
{
    DlgAddTeam dialog(m_session, m_prompt, selectedWorkshop(), this);
    if (dialog.exec() == QDialog::Accepted)
        m_team->refresh();
}

void Access_Form::chooseCustomTab()
{
    if (showRefusal(m_prompt, UserRights::refuseUnlessAdministrator(m_session.user.record)))
        return;
    if (const qlonglong workshop = selectedWorkshop()) {
        dlgCustomTab dialog(m_session, m_prompt, workshop, this);
        dialog.exec();
    }
}

void Access_Form::joinWorkshop()
{
    jtWizard wizard(m_session, m_prompt, this);
    connect(&wizard, &jtWizard::workshopReady, this, [this](qlonglong id) {
        bool opened = false;
        runCommand(m_session, m_prompt, [&] {
            const Outcome<> outcome = WorkshopService(m_session, m_prompt).open(id);
            opened = !showRefusal(m_prompt, outcome.refusal());
        });
        if (opened)
            m_team->refresh();
    });
    wizard.exec();
}

void Access_Form::leaveWorkshop()
{
    const qlonglong workshop = selectedWorkshop();
    bool left = false;
    if (!runCommand(m_session, m_prompt,
                    [&] { left = WorkshopService(m_session, m_prompt).leave(workshop); }) ||
        !left)
        return;
    // Leaving the workshop shown opens the one the user would start in.
    if (workshop == m_session.currentWorkshopId) {
        m_session.currentWorkshopId = 0;
        ensureWorkshop();
    }
    m_team->refresh();
}

void Access_Form::deleteWorkshop()
{
    const qlonglong workshop = selectedWorkshop();
    Outcome<> removed;
    if (!runCommand(m_session, m_prompt,
                    [&] { removed = WorkshopService(m_session, m_prompt).remove(workshop); }) ||
        showRefusal(m_prompt, removed.refusal()) || !removed)
        return;
    if (workshop == m_session.currentWorkshopId) {
        m_session.currentWorkshopId = 0;
        ensureWorkshop();
    }
    m_team->refresh();
}

} // namespace bx
