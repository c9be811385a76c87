#pragma once

#include "core/ui/SessionDialog.h"
#include "workflow/LifecycleDesign.h"

#include <QHash>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace bx {

class Prompt;
class Session;

/**
 * Edits one lifecycle of the current workshop: identifier (KEY_LIFECYCLE, fixed once saved),
 * description, the stage list (its order is the sequence), the owner of the chosen stage (picked
 * in the owner tree: "REQUESTER", or a workshop with "ANYUSER" and its enabled users) and the
 * stage's rule, rule moments and prospective days. OK saves through LifecycleDesign; a refusal
 * keeps the window open with focus on the field at fault.
 *
 * The stage commands that ask for a name ("Add", "Rename") have counterparts that take the name,
 * for callers that have it already.
 */
class LIFECYCLE_FORM : public SessionDialog
{
    Q_OBJECT
public:
    /** A new lifecycle when `draft` is a default (new) one, otherwise the loaded lifecycle. */
    LIFECYCLE_FORM(Session& session, Prompt& prompt, LifecycleDraft draft = {},
                   QWidget* parent = nullptr);
    ~LIFECYCLE_FORM() override;

    /** The lifecycle as edited so far (identifier and description as typed). */
    LifecycleDraft draft() const;
    /** The identifier saved by OK; empty before. */
    const QString& savedId() const { return m_savedId; }

    /**
     * Adds a stage after the others, owned by the owner chosen in the tree (without one, any user
     * of the current workshop), and selects it. Refused names are shown; returns whether added.
     */
    bool addStage(const QString& name);
    bool renameStage(int index, const QString& name);
    /** Removes the stage unless tasks sit in it. */
    bool removeStage(int index);
    /** Moves the stage one place up (-1) or down (+1); false at either end. */
    bool moveStage(int index, int delta);
    /** Selects a stage in the list; its properties show. */
    void selectStage(int index);
    int currentStage() const;

    /**
     * Picks the owner of the selected stage in the tree: the requester, a workshop (any of its
     * users), or a user of a workshop. False when the tree has no such entry.
     */
    bool selectOwner(StageOwnerKind kind, qlonglong groupId = 0, const QString& userId = {});

private:
    /** The rule, its moments and the days of the stage chosen. */
    void buildStageProperties();
    void connectControls();
    void onAdd();
    void onRename();
    void onRemove();
    void onStageChosen();
    void onOwnerChosen(QTreeWidgetItem* item);
    void onPropertyEdited();
    void onOk();
    void fillOwnerTree();
    void fillStages(int select);
    void showStage();
    QString ownerText(const LifecycleStage& stage) const;
    /** Shows a refusal with the focus on its control; false when there is none. */
    bool refused(const std::optional<DesignRefusal>& refusal);

    LifecycleDesign m_design;
    LifecycleDraft m_draft;
    QString m_savedId;
    QHash<qlonglong, QString> m_groupNames;
    bool m_filling = false;

    QLineEdit* m_key;
    QLineEdit* m_description;
    QTreeWidget* m_stages;
    QPushButton* m_cmdAdd;
    QPushButton* m_cmdRename;
    QPushButton* m_cmdRemove;
    QPushButton* m_cmdUp;
    QPushButton* m_cmdDown;
    QTreeWidget* m_owners;
    QGroupBox* m_properties;
    QComboBox* m_rule;
    QCheckBox* m_received;
    QCheckBox* m_approved;
    QCheckBox* m_declined;
    QSpinBox* m_days;
};

} // namespace bx
