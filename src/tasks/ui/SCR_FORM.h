#pragma once

#include "people/cSelUser.h"
#include "tasks/PlugInProtocol.h"
#include "tasks/TaskEditor.h"
#include "tasks/TaskOpening.h"
#include "tasks/TaskTypes.h"
#include "tasks/cSCR.h"
#include "workflow/CloseOutChoice.h"

#include <QList>
#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QMenu;
class QSpinBox;
class QTabWidget;
class QTextEdit;
class QToolBar;
class QTreeWidget;
class QPushButton;

namespace bx {

class AttachmentPane;
class F_COMMENTS;
class HostedPlugIn;
class TabBarHost;
class Prompt;
class Session;
class TaskEditorHost;
class TimeSheetPane;

/**
 * The task editor: one task, new or existing, with its fields, its recipients and the commands
 * that save, route, close out and reopen it. The checks, the enabling rules and the file and
 * attachment work are in tasks/TaskEditor.h; the task itself is written by its task object (SCR()).
 *
 * The opener makes the window, then calls open() with what it is opened for and shows it. The host
 * (may be null) is told about saves and gives the neighbouring task for Previous/Next. The session,
 * the prompt and the host must outlive the window.
 */
class SCR_FORM : public QMainWindow
{
    Q_OBJECT
public:
    /** Asks the close-out panel; nothing when it was closed without an answer. */
    using CloseOutAsker = std::function<std::optional<CloseOutChoice>(const cSCR& task)>;
    /** Asks the recipient chooser; empty when nobody was chosen. */
    using RecipientAsker = std::function<QList<cSelUser>()>;
    /** What the forward dialog gives: the recipients (empty when cancelled) and the note. */
    struct ForwardAnswer
    {
        QList<cSelUser> recipients;
        QString note;
    };
    using ForwardAsker = std::function<ForwardAnswer()>;

    SCR_FORM(Session& session, Prompt& prompt, TaskEditorHost* host, QWidget* parent = nullptr);
    ~SCR_FORM() override;

    /** Every caption the window takes, one per kind of task it shows: its CUSTOM rows' FORM_NAME.
     */
    static QStringList captions();

    /**
     * Opens the stored task, or starts a new task or meeting in the opening's workshop: a sub-task
     * of its parent (copying the parent's values when the copy flag is set), a task from its
     * template, or a plain one.
     * @return false when the task could not be read or no number could be drawn (the error was
     * shown)
     */
    bool open(const TaskOpening& opening);

    cSCR& SCR() { return *m_scr; }
    /** The task has not been saved since the editor created it. */
    bool isNew() const { return m_isNew; }

    /** The controls' values into the task object. */
    void controlsToTask();
    /** The task object's values into the controls. */
    void FillSCR(const cSCR& task);
    void FillSCRFromTemplate(qlonglong templateNumber);
    void CopySCRFromParent(qlonglong parentNumber);

    /** The save command: checks, writes, and closes the window once the task is saved. */
    bool saveTask();
    /** Close out; `ask` shows the close-out panel, otherwise the action is "YES". */
    void CLOSETASK(bool ask);
    void reopenTask();
    void forwardToSelf();
    void forwardTask();
    /** "Assign": chooses the recipients the save will send the task to. */
    void assignRecipients();
    void cancelAssign();
    void setRecipients(const QList<cSelUser>& recipients);
    void createSubTask();
    void showHistory();
    /** "Email": the e-mail window; a sent e-mail's record is added to the description. */
    void composeEmail();
    /** Moves to the neighbouring task of the host's list (+1 next, -1 previous). */
    void moveTo(int direction);
    /** Moves the due date of a recurring task on; run when the window is activated. */
    void UPDATE_RECURRING();
    /** Deletes the attachment rows this editor added to the task (see m_addedAttachments). */
    void DELETE_UNSAVED_ATTACH();

    bool isDirty() const { return m_dirty; }

    /**
     * The editors of the tasks whose plug-in ended the program during a call: each left-over call
     * record (taken, so removed) opens its task with the values the editor had not saved, unsaved,
     * after a message naming plug-in and task. The caller shows them.
     */
    static QList<SCR_FORM*> reopenAfterPlugInCrash(Session& session, Prompt& prompt,
                                                   TaskEditorHost* host, QWidget* parent);
    /** Opens stored task `task` and shows `values` over it as typed, unsaved. */
    bool openWithUnsaved(qlonglong task, const QVariantMap& values);

    /**
     * Removes the custom tab's plug-in ("BX_CustomTab"), if there is one: the task object tells it
     * "EXIT" and lets it go.
     */
    void CLEAR_CUSTOM();
    /** The custom tab's plug-in while it is hosted, else null. */
    HostedPlugIn* customTabPlugIn() const { return m_customTab.get(); }

    /** What a plug-in is told of the task as the editor shows it. */
    plugins::EditorValues plugInValues() const;

    /** The attachment and memo pages with the Attach commands. */
    AttachmentPane& attachmentPane() { return *m_attachPane; }

    void setCloseOutAsker(CloseOutAsker asker) { m_askCloseOut = std::move(asker); }
    void setRecipientAsker(RecipientAsker asker) { m_askRecipients = std::move(asker); }
    void setForwardAsker(ForwardAsker asker) { m_askForward = std::move(asker); }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    /** The size the window opens at when the user has not sized it yet. */
    QSize firstSize() const;
    void buildControls();
    struct TaskTabRows;
    QWidget* buildTaskTab();
    /** Number, name and the due and start dates. */
    void addScheduleRows(TaskTabRows& rows);
    /** Priority, folder, recurrence, estimate, flags and the custom field. */
    void addDetailRows(TaskTabRows& rows);
    /** The life cycle, its stage and the stage's due date. */
    void addLifecycleRows(TaskTabRows& rows);
    /** Keeps the date boxes and their pickers, and the estimate and its spin, in step. */
    void connectTaskTab();
    QWidget* buildCustomTab();
    /** Shows the custom tab's plug-in when its tab is selected; tells it the values again. */
    void customTabSelected(int index);
    QWidget* buildTimeTab();
    void buildMenusAndToolbar();
    QAction* addCommand(QMenu* menu, const char* name, const QString& caption);
    QAction* addKey(const char* key, const QString& caption);
    void connectDirtyTracking();

    bool openExisting(qlonglong number);
    bool openNew(const TaskOpening& opening);
    void resetState();
    void setTypeFace(TaskType type);
    void fillPriorities(const QString& current);
    void afterOpening();
    void applyEnabling();
    void applyRecipientsFace();

    QList<cSelUser> chooseRecipients();
    bool runChecks(bool newTaskChecks);
    void focusField(editor::Field field);
    bool commitSave();
    /**
     * After a failed write: when the task was changed elsewhere, asks whether to reload it and
     * does so on Yes, keeping the typed description after the stored one; on No the editor keeps
     * what was typed. @return whether the write was refused for that reason
     */
    bool offerReload();
    void chooseFolder();
    void onDateBoxLeft(QLineEdit* box, QDateEdit* picker, const QString& message);
    void onEstimateLeft();

    Session& m_session;
    Prompt& m_prompt;
    TaskEditorHost* m_host;
    std::unique_ptr<cSCR> m_scr;
    std::unique_ptr<F_COMMENTS> m_noteForm;
    AttachmentPane* m_attachPane = nullptr;
    /**
     * The attachments this editor added to the task (added, copied, dropped, from the template):
     * exactly the rows a discard takes back.
     */
    QList<qlonglong> m_addedAttachments;
    bool m_isNew = false;
    /** The workshop a new task is created in. */
    qlonglong m_newWorkshop = 0;
    bool m_dirty = false;
    bool m_filling = false;
    bool m_closing = false;

    CloseOutAsker m_askCloseOut;
    RecipientAsker m_askRecipients;
    ForwardAsker m_askForward;

    QTabWidget* m_tabs = nullptr;
    TabBarHost* m_tabHost = nullptr;
    QLineEdit* m_number = nullptr;
    QLineEdit* m_title = nullptr;
    QLabel* m_targetLabel = nullptr;
    QLineEdit* m_target = nullptr;
    QDateEdit* m_targetPicker = nullptr;
    QLabel* m_startLabel = nullptr;
    QLineEdit* m_start = nullptr;
    QDateEdit* m_startPicker = nullptr;
    QComboBox* m_priority = nullptr;
    QLineEdit* m_category = nullptr;
    QPushButton* m_folderButton = nullptr;
    QComboBox* m_frequency = nullptr;
    QCheckBox* m_firm = nullptr;
    QLineEdit* m_estimate = nullptr;
    QSpinBox* m_estimateSpin = nullptr;
    QCheckBox* m_template = nullptr;
    QCheckBox* m_sensitive = nullptr;
    QTextEdit* m_comments = nullptr;
    QLabel* m_customLabel = nullptr;
    QLineEdit* m_customField = nullptr;
    QLabel* m_lifecycleLabel = nullptr;
    QLineEdit* m_lifecycle = nullptr;
    QLabel* m_stageLabel = nullptr;
    QLineEdit* m_stage = nullptr;
    QLabel* m_lcEndLabel = nullptr;
    QLineEdit* m_lcEnd = nullptr;
    QDateEdit* m_lcEndPicker = nullptr;
    TimeSheetPane* m_timePane = nullptr;
    QWidget* m_customPage = nullptr;
    QLabel* m_customNote = nullptr;
    /** The plug-in of the custom tab for this task's workshop ("" for none). */
    QString m_customProgId;
    std::unique_ptr<HostedPlugIn> m_customTab;

    QAction* m_mnuSave = nullptr;
    QAction* m_mnuCloseOut = nullptr;
    QAction* m_mnuReopen = nullptr;
    QAction* m_mnuSubTask = nullptr;
    QAction* m_mnuForward = nullptr;
    QAction* m_mnuCancelAssign = nullptr;
    QAction* m_mnuToSelf = nullptr;
    QAction* m_mnuHistory = nullptr;
    QAction* m_mnuEmail = nullptr;
    QAction* m_mnuExit = nullptr;
    QToolBar* m_toolbar = nullptr;
    QAction* m_keySave = nullptr;
    QAction* m_keyCloseOut = nullptr;
    QAction* m_keyAssign = nullptr;
    QAction* m_keyCancelAssign = nullptr;
    QAction* m_keyReassign = nullptr;
    QAction* m_keyToSelf = nullptr;
    QAction* m_keyPrevious = nullptr;
    QAction* m_keyNext = nullptr;
    QAction* m_keyReopen = nullptr;
    QAction* m_keyHistory = nullptr;
    QAction* m_keySubTask = nullptr;
    QAction* m_keyEmail = nullptr;
};

} // namespace bx
