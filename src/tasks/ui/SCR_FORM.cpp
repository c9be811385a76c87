#include "tasks/ui/SCR_FORM.h"

#include "core/AppPaths.h"
#include "core/Clock.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/schema/TaskEvents.h"
#include "core/ui/HelpContents.h"
#include "core/ui/Named.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "core/ui/StoredText.h"
#include "messaging/ui/dlgEmail.h"
#include "people/ui/dlgChooseUser.h"
#include "reports/ui/dlgTSHReport.h"
#include "tasks/Attachments.h"
#include "tasks/CustomTab.h"
#include "tasks/LookupLists.h"
#include "tasks/PlugInCatalog.h"
#include "tasks/Recurrence.h"
#include "tasks/SubTasks.h"
#include "tasks/TaskEditorHost.h"
#include "tasks/ui/AttachmentPane.h"
#include "tasks/ui/F_COMMENTS.h"
#include "tasks/ui/PlugInHost.h"
#include "tasks/ui/TabBarHost.h"
#include "tasks/ui/TimeSheetPane.h"
#include "tasks/ui/WindowCustomisation.h"
#include "tasks/ui/dlgCategories.h"
#include "workflow/ui/FORWARD_FORM.h"
#include "workflow/ui/F_TO_DO.h"
#include "workflow/ui/ROUTE_HISTORY.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace bx {

namespace {

/** Where the task stands in its lifecycle, for the to-do panel. */
TaskStage stageOf(const cSCR& task)
{
    return {task.SCR_Lifecycle_ID(), task.SCR_LC_Stage_Name(), task.SCR_LC_Owner_Group_ID(),
            task.SCR_Number(), task.SCR_LC_Owner_ID()};
}

// The window's captions, by what it shows; they name its CUSTOM rows.
const QString kCaptionTask = QStringLiteral("Task");
const QString kCaptionMeeting = QStringLiteral("Meeting");
const QString kCaptionNewTask = QStringLiteral("New Task");
const QString kCaptionNewMeeting = QStringLiteral("New Meeting");
const QString kCaptionNewSubtask = QStringLiteral("New Subtask");

/** The largest number of hours the estimate's spin offers. */
constexpr int kMaxEstimate = 9999;

QLabel* note(const QString& text)
{
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

QDateEdit* datePicker(const char* name)
{
    auto* picker = named(new QDateEdit, name);
    picker->setCalendarPopup(true);
    return picker;
}

} // namespace

SCR_FORM::SCR_FORM(Session& session, Prompt& prompt, TaskEditorHost* host, QWidget* parent)
    : QMainWindow(parent)
    , m_session(session)
    , m_prompt(prompt)
    , m_host(host)
    , m_scr(std::make_unique<cSCR>(session, prompt))
{
    setObjectName(QStringLiteral("SCR_FORM"));
    m_noteForm = std::make_unique<F_COMMENTS>(*m_scr, this);
    m_scr->setNoteForm(m_noteForm.get());
    // A task changed elsewhere is answered here, with the offer to reload it.
    m_scr->setShowsChangedElsewhere(false);
    AttachmentPane::Editor editor;
    editor.place = [this] {
        return AttachmentPlace{m_scr->SCR_Number(), m_category->text(),
                               m_isNew ? m_newWorkshop : m_scr->SCR_Group_ID()};
    };
    editor.added = [this](qlonglong number) { m_addedAttachments.append(number); };
    editor.touched = [this] {
        if (!m_filling)
            m_dirty = true;
    };
    editor.listed = [this](const QList<attachments::ListedAttachment>& items) {
        if (m_tabHost)
            m_tabHost->rebuild(items);
    };
    editor.deleting = [this](qlonglong number) {
        if (m_tabHost)
            m_tabHost->remove(number);
    };
    editor.plugInValues = [this] { return plugInValues(); };
    m_attachPane = new AttachmentPane(session, prompt, *this, std::move(editor));
    buildControls();
    buildMenusAndToolbar();
    connectDirtyTracking();
    if (session.taskFormSize.isValid())
        resize(session.taskFormSize);
    else
        resize(firstSize());
}

QStringList SCR_FORM::captions()
{
    return {kCaptionTask, kCaptionMeeting, kCaptionNewTask, kCaptionNewMeeting, kCaptionNewSubtask};
}

SCR_FORM::~SCR_FORM()
{
    m_scr->setActiveObject(nullptr);
    m_scr->setNoteForm(nullptr);
}

QSize SCR_FORM::firstSize() const
{
    // Left to itself the window would open at two thirds of the screen at most, which hides the
    // last toolbar commands: it takes the room its toolbar and pages ask for, as far as the screen
    // has it.
    const QSize wanted = sizeHint();
    const QScreen* where = screen();
    return where ? wanted.boundedTo(where->availableGeometry().size()) : wanted;
}

// --- Building the window -------------------------------------------------------------------------

void SCR_FORM::buildControls()
{
    m_tabs = named(new QTabWidget, "SSTab1");
    m_tabs->addTab(buildTaskTab(), QStringLiteral("Task"));
    m_tabs->addTab(m_attachPane->buildAttachmentsPage(), QStringLiteral("Attachments"));
    m_tabs->addTab(buildCustomTab(), QStringLiteral("Custom"));
    m_tabs->addTab(buildTimeTab(), QStringLiteral("Time"));
    m_tabs->addTab(m_attachPane->buildMemosPage(), QStringLiteral("Memos"));
    m_tabHost = new TabBarHost(m_session, m_prompt, *m_tabs);
    m_tabHost->setPlugInValues([this] { return plugInValues(); });
    connect(m_tabs, &QTabWidget::currentChanged, this, &SCR_FORM::customTabSelected);
    setCentralWidget(m_tabs);
}

/** The task tab's grid as it fills: a label, its field and maybe a picker or button a row. */
struct SCR_FORM::TaskTabRows
{
    QGridLayout* grid;
    int row = 0;

    void add(QLabel* label, QWidget* field, QWidget* extra = nullptr)
    {
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        if (extra)
            grid->addWidget(extra, row, 2);
        ++row;
    }
};

QWidget* SCR_FORM::buildTaskTab()
{
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    TaskTabRows rows{grid, 0};
    addScheduleRows(rows);
    addDetailRows(rows);
    addLifecycleRows(rows);

    m_comments = named(withStoredTextDocument(new QTextEdit), "T_SCRCOMMENTS");
    m_comments->setAcceptRichText(true);
    m_attachPane->acceptDropsOn(*m_comments);
    grid->addWidget(new QLabel(QStringLiteral("Description:")), rows.row++, 0);
    grid->addWidget(m_comments, rows.row, 0, 1, 3);
    grid->setRowStretch(rows.row, 1);
    grid->setColumnStretch(1, 1);

    connectTaskTab();
    return page;
}

void SCR_FORM::addScheduleRows(TaskTabRows& rows)
{
    m_number = named(new QLineEdit, "T_SCR_NUMBER");
    m_number->setReadOnly(true);
    rows.add(new QLabel(QStringLiteral("Number:")), m_number);
    m_title = named(new QLineEdit, "T_TITLE");
    rows.add(new QLabel(QStringLiteral("Task name:")), m_title);

    m_targetLabel = new QLabel(QStringLiteral("Due Date:"));
    m_target = named(new QLineEdit, "T_TARGET");
    m_targetPicker = datePicker("T_CAL");
    rows.add(m_targetLabel, m_target, m_targetPicker);
    m_startLabel = new QLabel(QStringLiteral("Start Date:"));
    m_start = named(new QLineEdit, "T_Start");
    m_startPicker = datePicker("T_StartDate");
    rows.add(m_startLabel, m_start, m_startPicker);
}

void SCR_FORM::addDetailRows(TaskTabRows& rows)
{
    m_priority = named(new QComboBox, "T_PRIORITY");
    rows.add(new QLabel(QStringLiteral("Priority:")), m_priority);
    m_category = named(new QLineEdit, "T_CATEGORY");
    m_folderButton = named(new QPushButton(QStringLiteral("Folder...")), "Command7");
    rows.add(new QLabel(QStringLiteral("Folder:")), m_category, m_folderButton);
    connect(m_folderButton, &QPushButton::clicked, this, &SCR_FORM::chooseFolder);

    m_frequency = named(new QComboBox, "T_FREQUENCY");
    m_frequency->addItem(QString());
    m_frequency->addItems(editor::frequencies());
    rows.add(new QLabel(QStringLiteral("Recurring Frequency:")), m_frequency);
    m_firm = named(new QCheckBox(QStringLiteral("Firm Date")), "T_FIRM");
    rows.grid->addWidget(m_firm, rows.row++, 1);

    m_estimate = named(new QLineEdit, "T_ESTIMATE");
    m_estimateSpin = named(new QSpinBox, "VScroll2");
    m_estimateSpin->setRange(0, kMaxEstimate);
    rows.add(new QLabel(QStringLiteral("Hours Estimated:")), m_estimate, m_estimateSpin);
    m_template = named(new QCheckBox, "C_TEMPLATE");
    rows.add(new QLabel(QStringLiteral("Add as Template:")), m_template);
    m_sensitive = named(new QCheckBox, "C_Sensitive");
    rows.add(new QLabel(QStringLiteral("Sensitive:")), m_sensitive);

    m_customLabel = named(plainLabel(), "Label2");
    m_customField = named(new QLineEdit, "T_CUSTOMFIELD");
    rows.add(m_customLabel, m_customField);
}

void SCR_FORM::addLifecycleRows(TaskTabRows& rows)
{
    m_lifecycleLabel = new QLabel(QStringLiteral("Life Cycle:"));
    m_lifecycle = named(new QLineEdit, "T_LIFECYCLE");
    m_lifecycle->setReadOnly(true);
    rows.add(m_lifecycleLabel, m_lifecycle);
    m_stageLabel = new QLabel(QStringLiteral("Stage:"));
    m_stage = named(new QLineEdit, "T_STAGE");
    m_stage->setReadOnly(true);
    rows.add(m_stageLabel, m_stage);
    m_lcEndLabel = new QLabel(QStringLiteral("Stage Due Date:"));
    m_lcEnd = named(new QLineEdit, "LCEnd");
    m_lcEndPicker = datePicker("LCEndDate");
    rows.add(m_lcEndLabel, m_lcEnd, m_lcEndPicker);
}

void SCR_FORM::connectTaskTab()
{
    // The date boxes and their pickers keep each other in step.
    auto pair = [this](QLineEdit* box, QDateEdit* picker, const QString& message) {
        connect(picker, &QDateEdit::dateChanged, this, [this, box](const QDate& date) {
            if (!m_filling)
                box->setText(editor::dateText(date));
        });
        connect(box, &QLineEdit::editingFinished, this,
                [this, box, picker, message] { onDateBoxLeft(box, picker, message); });
    };
    pair(m_target, m_targetPicker, QStringLiteral("Please input due date value"));
    pair(m_start, m_startPicker, QStringLiteral("Please input start date value"));
    pair(m_lcEnd, m_lcEndPicker, QStringLiteral("Please input LifeCycle End Date value"));
    connect(m_estimateSpin, &QSpinBox::valueChanged, this,
            [this](int value) { m_estimate->setText(QString::number(value)); });
    connect(m_estimate, &QLineEdit::editingFinished, this, &SCR_FORM::onEstimateLeft);
}

QWidget* SCR_FORM::buildCustomTab()
{
    m_customPage = named(new QWidget, "CustomTabPanel");
    auto* box = new QVBoxLayout(m_customPage);
    m_customNote = note(QStringLiteral("The plug-in of this task's workshop is shown here."));
    box->addWidget(m_customNote);
    box->addStretch(1);
    return m_customPage;
}

void SCR_FORM::customTabSelected(int index)
{
    auto sendDatabase = [this] { m_customTab->sendDatabase(); };
    if (m_tabs->widget(index) != m_customPage) {
        if (index == 0 && m_customTab)
            plugins::UpdatePluginObject(QStringLiteral("FROM"), *m_customTab, plugInValues(),
                                        sendDatabase);
        return;
    }
    if (m_customTab) {
        plugins::UpdatePluginObject(QStringLiteral("TO"), *m_customTab, plugInValues(),
                                    sendDatabase);
        return;
    }
    if (m_customProgId.isEmpty())
        return;
    CLEAR_CUSTOM();
    m_customTab = std::make_unique<HostedPlugIn>(
        m_session, plugins::PlugInCatalog(), m_customProgId, QStringLiteral("BX_CustomTab"),
        m_customPage, m_scr->SCR_Number(),
        [this] { return plugins::recordValues(plugInValues()); });
    auto* box = static_cast<QVBoxLayout*>(m_customPage->layout());
    box->insertWidget(0, m_customTab->widget(), 1);
    m_customNote->hide();
    if (!m_customTab->isRunning())
        return; // its message stands in its place; the task saves without it
    m_scr->setActiveObject(m_customTab.get());
    if (!m_customTab->show(plugInValues(), QStringLiteral("key"))) {
        m_customTab->widget()->hide();
        return;
    }
    const bool filling = m_filling;
    m_filling = true;
    m_customField->setText(m_customTab->property(QString(scr::CustomField)).toString());
    const QVariant end = m_customTab->property(QString(scr::LifecycleEndDate));
    const QDate endDate = end.toDate().isValid() ? end.toDate() : end.toDateTime().date();
    m_lcEnd->setText(editor::dateText(endDate));
    if (endDate.isValid())
        m_lcEndPicker->setDate(endDate);
    m_filling = filling;
}

void SCR_FORM::CLEAR_CUSTOM()
{
    if (!m_customTab)
        return;
    m_scr->ClearObject();
    m_scr->setActiveObject(nullptr);
    m_customTab.reset();
    m_customNote->show();
}

QWidget* SCR_FORM::buildTimeTab()
{
    m_timePane = new TimeSheetPane(m_session, m_prompt);
    m_timePane->openReport = [this](qint64 task) {
        dlgTSHReport report(m_session, m_prompt, task, this);
        report.refresh();
        report.exec();
    };
    return m_timePane;
}

QAction* SCR_FORM::addCommand(QMenu* menu, const char* name, const QString& caption)
{
    QAction* action = named(menu->addAction(caption), name);
    return action;
}

QAction* SCR_FORM::addKey(const char* key, const QString& caption)
{
    QAction* action = named(m_toolbar->addAction(caption), key);
    return action;
}

void SCR_FORM::buildMenusAndToolbar()
{
    QMenu* file = named(menuBar()->addMenu(QStringLiteral("&File")), "mnuFile");
    m_mnuSave = addCommand(file, "mnuSave", QStringLiteral("&Save"));
    m_mnuCloseOut = addCommand(file, "mnuCloseOut", QStringLiteral("&Closeout Task"));
    m_mnuReopen = addCommand(file, "mnuReopen", QStringLiteral("&ReOpen"));
    m_mnuSubTask = addCommand(file, "mnuSubTask", QStringLiteral("Create a SubTask..."));
    addCommand(file, "mnuPrint", QStringLiteral("&Print View..."))->setEnabled(false);
    m_mnuForward = addCommand(file, "mnuForward", QStringLiteral("&Forward (Reassign)"));
    m_mnuCancelAssign = addCommand(file, "mnuCancelAssign", QStringLiteral("Cancel &Assign"));
    m_mnuToSelf = addCommand(file, "mnuToSelf", QStringLiteral("Forward to &Self"));
    m_mnuHistory = addCommand(file, "mnuHistory", QStringLiteral("Show &History"));
    m_mnuEmail = addCommand(file, "mnuEmail", QStringLiteral("Compose Email"));
    file->addSeparator();
    m_mnuExit = addCommand(file, "mnuExit", QStringLiteral("&Exit"));

    QMenu* attach = named(menuBar()->addMenu(QStringLiteral("&Attach")), "mnuAttach");
    m_attachPane->buildMenu(*attach);
    // The host's outside tools, read as the menu opens so that it follows every change.
    QMenu* addOns = named(menuBar()->addMenu(QStringLiteral("&AddOns")), "mnuAddOns");
    connect(addOns, &QMenu::aboutToShow, this, [this, addOns] {
        addOns->clear();
        if (!m_host)
            return;
        for (const QString& name : m_host->editorTools()) {
            QAction* item = addOns->addAction(QString(name).replace(u'&', QStringLiteral("&&")));
            item->setObjectName(QStringLiteral("mnuTool"));
            connect(item, &QAction::triggered, this,
                    [this, name] { m_host->startEditorTool(name, SCR().SCR_Number()); });
        }
    });
    QMenu* help = named(menuBar()->addMenu(QStringLiteral("&Help")), "mnuHelp");
    makeHelpContents(addCommand(help, "mnuContents", QStringLiteral("&Contents")), m_prompt,
                     AppPaths::programDir());

    m_toolbar = named(addToolBar(QStringLiteral("Task")), "Toolbar1");
    m_keySave = addKey("Save", QStringLiteral("Save"));
    m_keyCloseOut = addKey("CloseOut", QStringLiteral("Close out task"));
    m_keyAssign = addKey("Assign", QStringLiteral("Assign"));
    m_keyCancelAssign = addKey("CancelAssign", QStringLiteral("Cancel Assign"));
    m_keyReassign = addKey("Reassign", QStringLiteral("Reassign"));
    m_keyToSelf = addKey("ToSelf", QStringLiteral("To Self"));
    m_keyPrevious = addKey("Previous", QStringLiteral("Previous"));
    m_keyNext = addKey("Next", QStringLiteral("Next"));
    m_keyReopen = addKey("Reopen", QStringLiteral("Reopen task"));
    m_keyHistory = addKey("History", QStringLiteral("History"));
    m_keySubTask = addKey("SubTask", QStringLiteral("SubTask"));
    for (const QString& key : {QStringLiteral("Attach"), QStringLiteral("Discussion")})
        m_toolbar->addAction(m_attachPane->toolKey(key));
    m_keyEmail = addKey("Email", QStringLiteral("Email"));
    connect(addKey("Help", QStringLiteral("Help")), &QAction::triggered, this,
            [this] { openHelpContents(m_prompt, AppPaths::programDir()); });
    for (const QString& key : {QStringLiteral("AttachForm"), QStringLiteral("AttachFile")})
        m_toolbar->addAction(m_attachPane->toolKey(key));

    for (QAction* save : {m_mnuSave, m_keySave})
        connect(save, &QAction::triggered, this, [this] { saveTask(); });
    for (QAction* closeOut : {m_mnuCloseOut, m_keyCloseOut})
        connect(closeOut, &QAction::triggered, this, [this] { CLOSETASK(true); });
    for (QAction* reopen : {m_mnuReopen, m_keyReopen})
        connect(reopen, &QAction::triggered, this, &SCR_FORM::reopenTask);
    for (QAction* sub : {m_mnuSubTask, m_keySubTask})
        connect(sub, &QAction::triggered, this, &SCR_FORM::createSubTask);
    for (QAction* forward : {m_mnuForward, m_keyReassign})
        connect(forward, &QAction::triggered, this, &SCR_FORM::forwardTask);
    for (QAction* cancel : {m_mnuCancelAssign, m_keyCancelAssign})
        connect(cancel, &QAction::triggered, this, &SCR_FORM::cancelAssign);
    for (QAction* self : {m_mnuToSelf, m_keyToSelf})
        connect(self, &QAction::triggered, this, &SCR_FORM::forwardToSelf);
    for (QAction* history : {m_mnuHistory, m_keyHistory})
        connect(history, &QAction::triggered, this, &SCR_FORM::showHistory);
    for (QAction* mail : {m_mnuEmail, m_keyEmail})
        connect(mail, &QAction::triggered, this, &SCR_FORM::composeEmail);
    connect(m_keyAssign, &QAction::triggered, this, &SCR_FORM::assignRecipients);
    connect(m_keyPrevious, &QAction::triggered, this, [this] { moveTo(-1); });
    connect(m_keyNext, &QAction::triggered, this, [this] { moveTo(1); });
    connect(m_mnuExit, &QAction::triggered, this, &QWidget::close);
}

void SCR_FORM::connectDirtyTracking()
{
    auto touched = [this] {
        if (!m_filling)
            m_dirty = true;
    };
    for (QLineEdit* box :
         {m_title, m_target, m_start, m_category, m_estimate, m_customField, m_lcEnd})
        connect(box, &QLineEdit::textChanged, this, touched);
    for (QComboBox* list : {m_priority, m_frequency})
        connect(list, &QComboBox::currentTextChanged, this, touched);
    for (QCheckBox* check : {m_firm, m_template, m_sensitive})
        connect(check, &QCheckBox::toggled, this, touched);
    connect(m_comments, &QTextEdit::textChanged, this, touched);
}

// --- Opening -------------------------------------------------------------------------------------

void SCR_FORM::resetState()
{
    m_dirty = false;
    m_scr->UsersCol().clear();
    m_addedAttachments.clear();
}

void SCR_FORM::setTypeFace(TaskType type)
{
    const bool meeting = type == TaskType::Meeting;
    m_startLabel->setVisible(!meeting);
    m_start->setVisible(!meeting);
    m_startPicker->setVisible(!meeting);
    m_targetLabel->setText(meeting ? QStringLiteral("Date:") : QStringLiteral("Due Date:"));
    setWindowTitle(meeting ? kCaptionMeeting : kCaptionTask);
}

bool SCR_FORM::open(const TaskOpening& opening)
{
    return opening.isNew() ? openNew(opening) : openExisting(opening.source);
}

bool SCR_FORM::openExisting(qlonglong number)
{
    if (!m_scr->Load(number))
        return false;
    m_isNew = false;
    resetState();
    setTypeFace(m_scr->taskType());
    FillSCR(*m_scr);
    afterOpening();
    return true;
}

bool SCR_FORM::openNew(const TaskOpening& opening)
{
    const TaskType type = opening.type;
    const qlonglong workshop = opening.workshop;
    m_isNew = true;
    m_newWorkshop = workshop;
    m_scr->setCreateNote(events::kCreateRequest);
    if (m_scr->Create(type) == 0)
        return false;
    resetState();
    m_scr->setGroupKey(workshop);
    setTypeFace(type);
    FillSCR(*m_scr);

    if (type == TaskType::Meeting) {
        setWindowTitle(kCaptionNewMeeting);
    } else if (opening.mode == TaskOpening::Mode::SubTask) {
        setWindowTitle(kCaptionNewSubtask);
        m_scr->setSCR_Parent_Number(opening.source);
        if (m_session.system.getParentParams)
            CopySCRFromParent(opening.source);
    } else if (opening.mode == TaskOpening::Mode::FromTemplate) {
        setWindowTitle(kCaptionNewTask);
        FillSCRFromTemplate(opening.source);
    } else {
        setWindowTitle(kCaptionNewTask);
    }
    m_scr->setSCR_Group_ID(workshop);

    const QDate today = m_session.clock().nowLocal().date();
    m_filling = true;
    for (QDateEdit* picker : {m_targetPicker, m_startPicker})
        picker->setDate(today);
    m_target->setText(editor::dateText(today));
    m_start->setText(editor::dateText(today));
    m_filling = false;
    afterOpening();
    return true;
}

void SCR_FORM::afterOpening()
{
    m_dirty = false;
    m_comments->document()->setModified(false);
    applyEnabling();
    applyRecipientsFace();
    m_attachPane->setTask(m_scr->SCR_Number(), m_scr->SCR_Parent_Number(),
                          attachments::rightsFor(m_scr->SCR_Status(), m_scr->SCR_Permission_Write(),
                                                 m_session.system.editAttachments));
    m_timePane->setTask(m_scr->SCR_Number(), !m_isNew);
    applyWindowCustomisation(m_session, *this, windowTitle());
    const qlonglong workshop = m_isNew ? m_newWorkshop : m_scr->SCR_Group_ID();
    m_customProgId.clear();
    runCommand(m_session, m_prompt,
               [&] { m_customProgId = plugins::customTabProgId(m_session.db(), workshop); });
}

void SCR_FORM::fillPriorities(const QString& current)
{
    m_priority->clear();
    m_priority->addItem(QString());
    runCommand(m_session, m_prompt, [this] {
        m_priority->addItems(LookupLists(m_session, m_prompt).entries(LookupKind::Priority));
    });
    if (!current.isEmpty() && m_priority->findText(current) < 0)
        m_priority->addItem(current);
    m_priority->setCurrentIndex(std::max(0, m_priority->findText(current)));
}

void SCR_FORM::FillSCR(const cSCR& task)
{
    m_filling = true;
    auto showDate = [](QLineEdit* box, QDateEdit* picker, const QDateTime& value) {
        box->setText(editor::dateText(value.date()));
        if (value.isValid())
            picker->setDate(value.date());
    };
    m_number->setText(QString::number(task.SCR_Number()));
    m_title->setText(task.SCR_Title());
    showDate(m_target, m_targetPicker, task.SCR_Owner_Target_Date());
    showDate(m_start, m_startPicker, task.SCR_StartDate());
    fillPriorities(task.value(scr::Priority).toString());
    m_category->setText(task.SCR_Category());
    const QString frequency = task.value(scr::RecurringFrequency).toString();
    if (m_frequency->findText(frequency) < 0)
        m_frequency->addItem(frequency);
    m_frequency->setCurrentIndex(m_frequency->findText(frequency));
    m_firm->setChecked(task.value(scr::FirmTargetDate).toBool());
    const int estimate = task.value(scr::PercentComplete).toInt();
    m_estimateSpin->setValue(estimate);
    m_estimate->setText(QString::number(estimate));
    m_template->setChecked(task.value(scr::Template).toBool());
    m_sensitive->setChecked(task.SCR_Sensitive());
    const QString comments = task.value(scr::Comments).toString();
    if (Qt::mightBeRichText(comments))
        m_comments->setHtml(comments);
    else
        m_comments->setPlainText(comments);
    m_comments->document()->setModified(false);
    m_customField->setText(task.value(scr::CustomField).toString());
    m_lifecycle->setText(task.SCR_Lifecycle_ID());
    m_stage->setText(task.SCR_LC_Stage_Name());
    showDate(m_lcEnd, m_lcEndPicker, task.SCR_Lifecycle_End_Date());
    m_filling = false;
}

void SCR_FORM::FillSCRFromTemplate(qlonglong templateNumber)
{
    cSCR templ(m_session, m_prompt);
    if (!templ.Load(templateNumber))
        return;
    FillSCR(templ);
    m_scr->SCRCloneAttach(templateNumber, m_scr->SCR_Number(), &m_addedAttachments);
    m_number->setText(QString::number(m_scr->SCR_Number()));
    m_title->clear();
    m_template->setChecked(false);
    if (const auto recipient = editor::templateLifecycleRecipient(templ))
        setRecipients({*recipient});
}

void SCR_FORM::CopySCRFromParent(qlonglong parentNumber)
{
    cSCR parent(m_session, m_prompt);
    if (!parent.Load(parentNumber))
        return;
    FillSCR(parent);
    m_number->setText(QString::number(m_scr->SCR_Number()));
    m_title->setText(parent.SCR_Title() + QStringLiteral(" - Subtask"));
    m_template->setChecked(false);
    m_scr->setSCR_Parent_Number(parentNumber);
    m_lifecycle->clear();
    m_stage->clear();
}

QList<SCR_FORM*> SCR_FORM::reopenAfterPlugInCrash(Session& session, Prompt& prompt,
                                                  TaskEditorHost* host, QWidget* parent)
{
    QList<SCR_FORM*> editors;
    for (const plugins::PlugInCallRecord& record : plugins::takeLeftOverCallRecords()) {
        const QString message =
            QStringLiteral("The plug-in \"%1\" ended Brindlepax while task %2 was open. The "
                           "values you had not saved are shown again; save the task to keep them.")
                .arg(record.progId)
                .arg(record.task);
        session.errorLog().write(QStringLiteral("Plug-in"), message);
        prompt.inform(message, {}, PromptIcon::Warning);
        auto* editor = new SCR_FORM(session, prompt, host, parent);
        editor->setAttribute(Qt::WA_DeleteOnClose);
        if (!editor->openWithUnsaved(record.task, record.values)) {
            delete editor;
            continue;
        }
        editors << editor;
    }
    return editors;
}

bool SCR_FORM::openWithUnsaved(qlonglong task, const QVariantMap& values)
{
    if (!openExisting(task))
        return false;
    const plugins::EditorValues typed = plugins::valuesFromRecord(values, plugInValues());
    auto showDate = [](QLineEdit* box, QDateEdit* picker, const QDate& date) {
        box->setText(editor::dateText(date));
        if (date.isValid())
            picker->setDate(date);
    };
    m_title->setText(typed.title);
    m_category->setText(typed.category);
    if (m_priority->findText(typed.priority) < 0)
        m_priority->addItem(typed.priority);
    m_priority->setCurrentText(typed.priority);
    m_customField->setText(typed.customField);
    showDate(m_target, m_targetPicker, typed.ownerTargetDate);
    showDate(m_lcEnd, m_lcEndPicker, typed.lifecycleEndDate);
    // The stored description keeps its form unless the typed one differs from it.
    if (typed.comments != m_comments->toPlainText()) {
        m_comments->setPlainText(typed.comments);
        m_comments->document()->setModified(true);
    }
    m_dirty = true;
    return true;
}

plugins::EditorValues SCR_FORM::plugInValues() const
{
    plugins::EditorValues v;
    v.task = m_scr->SCR_Number();
    v.parent = m_scr->SCR_Parent_Number();
    v.lifecycleId = m_scr->SCR_Lifecycle_ID();
    if (!m_target->text().trimmed().isEmpty())
        v.ownerTargetDate = m_targetPicker->date();
    v.category = m_category->text();
    v.priority = m_priority->currentText();
    v.comments = m_comments->toPlainText();
    v.title = m_title->text();
    v.userId = m_session.user.userId;
    v.customField = m_customField->text();
    v.lifecycleEndDate = editor::parseDate(m_lcEnd->text());
    v.edit = UserRights::editsCustomTab(m_session.user.record) && m_scr->SCR_Permission_Write();
    return v;
}

// --- Enabling ------------------------------------------------------------------------------------

void SCR_FORM::applyEnabling()
{
    const editor::Enabling e = editor::enablingFor(*m_scr, m_session);
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_lifecycleLabel, m_lifecycle, m_stageLabel, m_stage,
                                         m_lcEndLabel, m_lcEnd, m_lcEndPicker})
        w->setVisible(e.lifecycleVisible);
    m_mnuForward->setEnabled(e.forward);
    m_keyReassign->setEnabled(e.forward);
    m_mnuReopen->setEnabled(e.reopen);
    m_keyReopen->setEnabled(e.reopen);
    m_mnuToSelf->setEnabled(e.toSelf);
    m_keyToSelf->setEnabled(e.toSelf);

    const bool showCustom = m_session.system.showCustom;
    m_customLabel->setVisible(showCustom);
    m_customField->setVisible(showCustom);
    const QString customCaption = m_session.system.labelCustom;
    m_customLabel->setText(customCaption.isEmpty() ? QStringLiteral("Number:") : customCaption);
    m_customField->setEnabled(e.write && e.customField);

    for (QAction* a :
         {m_mnuCloseOut, m_keyCloseOut, m_mnuSubTask, m_keySubTask, m_mnuEmail, m_keyEmail})
        a->setEnabled(e.write);
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_template, m_sensitive, m_start, m_startPicker, m_target, m_targetPicker, m_lcEnd,
             m_lcEndPicker, m_frequency, m_firm, m_folderButton, m_category, m_title, m_estimate,
             m_estimateSpin, m_priority})
        w->setEnabled(e.write);
    m_comments->setReadOnly(!e.write);
}

void SCR_FORM::applyRecipientsFace()
{
    const editor::RecipientsFace face = editor::recipientsFace(m_scr->UsersCol());
    m_keySave->setText(face.saveCaption);
    m_keyAssign->setVisible(!face.chosen);
    m_keyCancelAssign->setVisible(face.chosen);
    m_mnuCancelAssign->setEnabled(face.chosen);
    if (face.chosen)
        m_mnuForward->setEnabled(false);
    m_mnuCloseOut->setText(face.closeOutMenu);
    m_keyCloseOut->setText(face.closeOutToolCaption);
    m_keyCloseOut->setToolTip(plainToolTip(face.closeOutToolTip));
    m_keyReopen->setToolTip(QStringLiteral("Reopen task"));
}

void SCR_FORM::setRecipients(const QList<cSelUser>& recipients)
{
    m_scr->UsersCol() = recipients;
    applyEnabling();
    applyRecipientsFace();
}

// --- Field-level checks --------------------------------------------------------------------------

void SCR_FORM::onDateBoxLeft(QLineEdit* box, QDateEdit* picker, const QString& message)
{
    if (box->text().trimmed().isEmpty())
        return;
    const QDate date = editor::parseDate(box->text());
    if (!date.isValid()) {
        m_prompt.inform(message);
        return;
    }
    picker->setDate(date);
}

void SCR_FORM::onEstimateLeft()
{
    const editor::EstimateCheck r = editor::checkEstimate(
        m_estimate->text(), m_estimateSpin->value(), m_estimateSpin->maximum());
    if (!r.message.isEmpty())
        m_prompt.inform(r.message);
    m_estimateSpin->setValue(r.value);
    m_estimate->setText(QString::number(r.value));
}

void SCR_FORM::chooseFolder()
{
    const auto chosen = dlgCategories::choose(m_session, m_prompt, false, this, m_category->text());
    if (chosen && !chosen->isEmpty())
        m_category->setText(chosen->first());
}

// --- Saving --------------------------------------------------------------------------------------

void SCR_FORM::controlsToTask()
{
    cSCR& t = *m_scr;
    t.setSCR_Title(m_title->text());
    t.setValue(scr::Template, m_template->isChecked());
    t.setValue(scr::Sensitive, m_sensitive->isChecked());
    t.setValue(scr::PercentComplete,
               editor::checkEstimate(m_estimate->text(), m_estimateSpin->value(),
                                     m_estimateSpin->maximum())
                   .value);
    t.setValue(scr::Priority, m_priority->currentText());
    t.setSCR_Category(m_category->text());
    t.setValue(scr::CustomField, m_customField->text());
    t.setSCR_StartDate(
        editor::dateForColumn(editor::parseDate(m_start->text()), t.SCR_StartDate()));
    t.setSCR_Owner_Target_Date(
        editor::dateForColumn(editor::parseDate(m_target->text()), t.SCR_Owner_Target_Date()));
    if (!t.SCR_Lifecycle_ID().trimmed().isEmpty())
        t.setSCR_Lifecycle_End_Date(
            editor::dateForColumn(editor::parseDate(m_lcEnd->text()), t.SCR_Lifecycle_End_Date()));
    t.setValue(scr::FirmTargetDate, m_firm->isChecked());
    t.setValue(scr::RecurringFrequency, m_frequency->currentText());
    // An untouched description keeps its stored form, so that a save records no change to it.
    if (m_comments->document()->isModified() || m_isNew) {
        t.setValue(scr::CommentsAsText, m_comments->toPlainText());
        t.setValue(scr::Comments, m_comments->toHtml());
    }
    if (m_isNew)
        t.setSCR_Group_ID(m_newWorkshop);
}

void SCR_FORM::focusField(editor::Field field)
{
    QWidget* target = nullptr;
    switch (field) {
    case editor::Field::Target:
        target = m_target;
        break;
    case editor::Field::Title:
        target = m_title;
        break;
    case editor::Field::Category:
        target = m_category;
        break;
    case editor::Field::Priority:
        target = m_priority;
        break;
    case editor::Field::None:
        break;
    }
    if (target)
        target->setFocus();
}

bool SCR_FORM::runChecks(bool newTaskChecks)
{
    editor::CheckInput in;
    in.isNew = newTaskChecks;
    in.meeting = m_scr->taskType() == TaskType::Meeting;
    in.targetEnabled = m_target->isEnabled();
    in.targetHasDate = editor::parseDate(m_target->text()).isValid();
    // The plug-in of the custom tab has its say when the task object saves (SavePlugIn).
    in.customFormPassed = true;
    in.titleEnabled = m_title->isEnabled();
    in.title = m_title->text();
    in.categoryEnabled = m_category->isEnabled();
    in.category = m_category->text();
    in.priorityEnabled = m_priority->isEnabled();
    in.priority = m_priority->currentText();
    const auto refusal = editor::checkBeforeSave(in, m_session.system);
    if (!refusal)
        return true;
    if (!refusal->message.isEmpty())
        m_prompt.inform(refusal->message);
    if (refusal->switchToFirstTab)
        m_tabs->setCurrentIndex(0);
    if (refusal->focus)
        focusField(refusal->field);
    return false;
}

bool SCR_FORM::commitSave()
{
    if (m_scr->Saved())
        return true;
    controlsToTask();
    if (!runChecks(m_isNew))
        return false;
    if (const auto refused = m_attachPane->checkMemoBoxes()) {
        showRefusal(m_prompt, refused->message);
        return false;
    }
    const bool wasNew = m_isNew;
    // A save that is not written takes its history back: the next attempt makes it again.
    const cSCR::HistoryMark history = m_scr->historyMark();
    // A plain save carries no note of its own; the date changes ask for theirs.
    if (!wasNew)
        m_scr->MakeHistory(QString());
    // The memo boxes of a new task's memos are written too: the rows exist already.
    if (!m_attachPane->saveMemoBoxes()) {
        m_scr->undoHistory(history);
        return false;
    }
    const qlonglong number = m_scr->SCR_Number();
    editor::removeCommentFile(number);
    const QList<cSelUser> recipients = m_scr->UsersCol();
    const bool written = editor::routesIntoLifecycle(recipients)
                             ? m_scr->Route_SCR(recipients, QString())
                             : m_scr->SAVE();
    if (!written) {
        m_scr->undoHistory(history);
        offerReload();
        return false;
    }
    // The task is saved; only the main window's copy of its description is missing.
    if (const QString failed = editor::writeCommentFile(number, m_comments->toHtml());
        !failed.isEmpty()) {
        m_session.errorLog().write(QStringLiteral("Error "), failed);
        m_prompt.inform(failed, {}, PromptIcon::Critical);
    }
    m_isNew = false;
    m_dirty = false;
    m_timePane->setTask(number, true);
    m_addedAttachments.clear(); // saved with the task: no longer the editor's to take back
    applyRecipientsFace();
    if (m_host)
        m_host->taskSaved(number, wasNew);
    return true;
}

bool SCR_FORM::offerReload()
{
    const QString refusal = m_scr->changedElsewhere();
    if (refusal.isEmpty())
        return false;
    if (m_prompt.ask(editor::reloadQuestion(refusal), {}, PromptButtons::YesNo,
                     PromptIcon::Warning) != PromptAnswer::Yes)
        return true;
    // Only the description can be long work; it is kept where the user typed it, after the stored
    // text, and nothing is written until the user saves again. The other fields show the row.
    const bool typedDescription = m_comments->document()->isModified();
    const QTextDocumentFragment typed(m_comments->document());
    // Attachments added before the reload are still this editor's to take back.
    const QList<qlonglong> added = m_addedAttachments;
    if (!openExisting(m_scr->SCR_Number()))
        return true;
    m_addedAttachments = added;
    if (typedDescription && !typed.isEmpty()) {
        QTextCursor end(m_comments->document());
        end.movePosition(QTextCursor::End);
        if (!m_comments->document()->isEmpty())
            end.insertBlock();
        end.insertFragment(typed);
        m_comments->document()->setModified(true);
        m_dirty = true;
    }
    return true;
}

bool SCR_FORM::saveTask()
{
    const bool wasNew = m_isNew;
    if (!commitSave())
        return false;
    if (m_scr->Saved()) {
        if (wasNew && m_host)
            m_host->refreshTaskLists();
        close();
    }
    return true;
}

void SCR_FORM::moveTo(int direction)
{
    if (!m_host)
        return;
    const qlonglong other = m_host->neighbourTask(m_scr->SCR_Number(), direction);
    if (other == 0)
        return;
    if (m_keySave->isEnabled() && !m_scr->Saved() && m_dirty) {
        if (m_prompt.ask(kSaveChanges, {}, PromptButtons::YesNo) == PromptAnswer::Yes) {
            if (!commitSave())
                return;
        } else {
            DELETE_UNSAVED_ATTACH();
        }
    }
    if (m_attachPane->busy())
        return;
    m_attachPane->closeViewerCopies();
    m_attachPane->forgetMemoBoxes();
    m_tabHost->clear();
    CLEAR_CUSTOM();
    openExisting(other);
}

void SCR_FORM::closeEvent(QCloseEvent* event)
{
    // A transfer runs in this window's progress window: it ends first, by itself or by Cancel.
    if (m_attachPane->busy()) {
        event->ignore();
        return;
    }
    m_attachPane->offerSaveBack();
    if (!m_scr->Saved() && m_dirty) {
        switch (m_prompt.ask(kSaveChanges, {}, PromptButtons::YesNoCancel)) {
        case PromptAnswer::Yes:
            if (!commitSave()) {
                event->ignore();
                return;
            }
            break;
        case PromptAnswer::No:
            DELETE_UNSAVED_ATTACH();
            m_dirty = false;
            break;
        default:
            event->ignore();
            return;
        }
    }
    m_attachPane->closeViewerCopies();
    m_session.taskFormSize = size();
    m_tabHost->clear();
    CLEAR_CUSTOM();
    if (m_host)
        m_host->refreshTaskLists();
    event->accept();
}

void SCR_FORM::DELETE_UNSAVED_ATTACH()
{
    for (qlonglong number : m_addedAttachments)
        m_tabHost->remove(number);
    runTaskCommand(m_session, m_prompt, QStringLiteral("SCR_FORM"), [this] {
        attachments::deleteAdded(m_session.db(), m_scr->SCR_Number(), m_addedAttachments);
        m_addedAttachments.clear();
        m_attachPane->forgetMemoBoxes();
    });
}

// --- Workflow commands ---------------------------------------------------------------------------

void SCR_FORM::CLOSETASK(bool ask)
{
    QString action = QStringLiteral("YES");
    int step = 0;
    QString noteText;
    if (ask) {
        const std::optional<CloseOutChoice> choice =
            m_askCloseOut ? m_askCloseOut(*m_scr)
                          : askCloseOut(m_session, m_prompt, stageOf(*m_scr), this);
        if (!choice || choice->action.isEmpty())
            return;
        action = choice->action;
        step = choice->step;
        noteText = choice->note;
    }
    if (!m_scr->CloseOut(action, step, noteText) && offerReload())
        return;
    if (m_scr->Saved()) {
        if (m_host)
            m_host->refreshTaskLists();
        close();
    }
}

void SCR_FORM::reopenTask()
{
    const auto noteText = F_COMMENTS::askNote(
        this, QStringLiteral("Please explain why this task is being reopened, or other comments"));
    if (!noteText)
        return;
    if (!m_scr->CloseOut(QStringLiteral("Reopen"), 0, *noteText) && offerReload())
        return;
    if (m_host)
        m_host->refreshTaskLists();
    m_dirty = false;
    close();
}

void SCR_FORM::forwardToSelf()
{
    const qlonglong number = m_scr->SCR_Number();
    const QList<cSelUser> self = {
        cSelUser{m_session.user.userId, m_scr->SCR_Group_ID(), OwnerType::User}};
    if (!m_scr->Route_SCR(self, QStringLiteral("Routed to Self")) && offerReload())
        return;
    if (m_host)
        m_host->refreshTaskLists();
    CLEAR_CUSTOM();
    openExisting(number);
}

void SCR_FORM::forwardTask()
{
    if (m_isNew) {
        setRecipients(chooseRecipients());
        return;
    }
    if (!runChecks(true))
        return;
    controlsToTask();
    ForwardAnswer answer;
    if (m_askForward) {
        answer = m_askForward();
    } else {
        FORWARD_FORM dialog(m_session, m_prompt, this);
        if (dialog.exec() == QDialog::Accepted)
            answer = {dialog.recipients(), dialog.note()};
    }
    if (answer.recipients.isEmpty()) {
        setRecipients({});
        return;
    }
    if (m_scr->Route_SCR(answer.recipients, answer.note)) {
        if (m_host)
            m_host->refreshTaskLists();
        close();
    } else {
        offerReload();
    }
}

QList<cSelUser> SCR_FORM::chooseRecipients()
{
    if (m_askRecipients)
        return m_askRecipients();
    dlgChooseUser chooser(m_session, m_prompt, this);
    return chooser.exec() == QDialog::Accepted ? chooser.recipients() : QList<cSelUser>{};
}

void SCR_FORM::assignRecipients()
{
    const QList<cSelUser> chosen = chooseRecipients();
    if (!chosen.isEmpty())
        setRecipients(chosen);
}

void SCR_FORM::cancelAssign()
{
    setRecipients({});
}

void SCR_FORM::createSubTask()
{
    std::optional<TaskOpening> opening;
    if (!runCommand(m_session, m_prompt,
                    [&] { opening = prepareSubTask(m_session, m_prompt, m_scr->SCR_Number()); }) ||
        !opening)
        return;
    auto* editorWindow = new SCR_FORM(m_session, m_prompt, m_host, parentWidget());
    editorWindow->setAttribute(Qt::WA_DeleteOnClose);
    if (!editorWindow->open(*opening)) {
        delete editorWindow;
        return;
    }
    editorWindow->show();
}

void SCR_FORM::showHistory()
{
    auto* history = new ROUTE_HISTORY(m_session, m_prompt, m_scr->SCR_Number(), this);
    history->setAttribute(Qt::WA_DeleteOnClose);
    history->show();
}

void SCR_FORM::composeEmail()
{
    dlgEmail dialog(m_session, m_prompt, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The record joins the description, which the next save keeps.
    QTextCursor cursor(m_comments->document());
    cursor.movePosition(QTextCursor::End);
    if (!m_comments->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(dialog.record());
}

// --- Recurrence ----------------------------------------------------------------------------------

void SCR_FORM::UPDATE_RECURRING()
{
    const QString frequency = m_frequency->currentText();
    const QDate due = editor::parseDate(m_target->text());
    if (frequency.trimmed().isEmpty() || !due.isValid())
        return;
    const RecurrenceResult r =
        advanceRecurring(frequency, due, m_session.clock().nowLocal().date());
    if (r.updated || r.gaveUp) {
        m_targetPicker->setDate(r.due);
        m_target->setText(editor::dateText(r.due));
    }
    if (r.gaveUp)
        m_prompt.inform(
            QStringLiteral("Unable to update Target Date to reflect recurring schedule"));
    else if (r.updated)
        m_prompt.inform(
            QStringLiteral("Note: Target date has been updated to reflect recurring task"));
}

bool SCR_FORM::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        UPDATE_RECURRING();
        m_attachPane->offerSaveBack();
    }
    return QMainWindow::event(event);
}

} // namespace bx
