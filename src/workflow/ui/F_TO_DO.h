#pragma once

#include "core/ui/SessionDialog.h"
#include "workflow/CloseOutChoice.h"
#include "workflow/ToDoPanel.h"

#include <QList>

#include <functional>
#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;
class QVBoxLayout;

namespace bx {

class Prompt;
class Session;

/**
 * The to-do panel of a task: the action items of its lifecycle stage to sign, the workshop that
 * owns the next stage, a comment and the buttons of the workflow actions. A press that passes its
 * check saves the signatures and closes the panel with the response word in T_RESPONSE (and the
 * distance of a jump in T_JUMP_STAGE); the task editor then takes the action (askCloseOut).
 *
 * The session and the prompt must outlive the window.
 */
class F_TO_DO : public SessionDialog
{
    Q_OBJECT
public:
    /** Picks the stage to jump to; "" chooses none. Defaults to the modal dlgStageList. */
    using StageChooser =
        std::function<QString(const QList<LifecycleStage>& stages, const QString& currentStage)>;

    F_TO_DO(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~F_TO_DO() override;

    /**
     * Fills the panel for task `taskNumber` at stage `stageName` of lifecycle `lifecycleId` owned
     * by workshop `ownerGroupId` (an empty lifecycle: a task in no lifecycle). `stageOwner` is
     * written as the owner of the task's signed items. A database error is shown and leaves the
     * panel without items. @return false on such an error
     */
    bool InitForm(const QString& lifecycleId, const QString& stageName, qlonglong ownerGroupId,
                  qlonglong taskNumber, const QString& stageOwner = {});

    void setStageChooser(StageChooser chooser) { m_chooseStage = std::move(chooser); }

    /** Presses a toolbar button, as its key or a command button does. */
    void press(ToDoButton button);

    /** The response word after a press was accepted; "" before. */
    QString response() const;
    /** The number of stages to move after "Jump"; 0 otherwise. */
    int jumpStage() const;
    QString comment() const;
    /** The member picked from the next stage's workshop; "" when none is offered. */
    QString nextStageUser() const;
    const QList<ToDoItem>& items() const { return m_items; }

private:
    void addItemRows();
    void onTicked(int index, bool ticked);
    void applyFaces();

    ToDoStage m_stage;
    QString m_stageOwner;
    QList<ToDoItem> m_items;
    StageChooser m_chooseStage;

    QLabel* m_lblTask;
    QLabel* m_lblLifecycle;
    QLabel* m_lblStage;
    QLabel* m_lblWorkshop;
    QVBoxLayout* m_itemRows;
    QList<QCheckBox*> m_checks;
    QList<QLabel*> m_signatures;
    QLabel* m_lblNextOwner;
    QComboBox* m_cmbNextUser;
    QList<std::pair<ToDoButton, QAction*>> m_actions;
    QPushButton* m_cmdAccept;
    QPushButton* m_cmdDecline;
    QTextEdit* m_comments;
    QLineEdit* m_response;
    QLineEdit* m_jumpStage;
};

/**
 * Shows the to-do panel of a task at its stage modally and returns the action the task editor hands
 * to the task object's CloseOut; nothing when the panel was closed without an answer.
 */
std::optional<CloseOutChoice> askCloseOut(Session& session, Prompt& prompt, const TaskStage& task,
                                          QWidget* parent = nullptr);

} // namespace bx
