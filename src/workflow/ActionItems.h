#pragma once

#include "core/Refusal.h"
#include "workflow/Lifecycle.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

class Prompt;
class Session;

/** One line of the trigger editor's stage list. */
struct StageListEntry
{
    QString key; ///< "Key" + LC_Sequence_Number
    int sequence = 0;
    QString stageName;
    QString ownerText; ///< User_ID + "(" + name of the workshop group_ID + ")"
};

/** An action item of a stage as the action-item editor edits it. */
struct ActionItem
{
    QString title; ///< Action_Name
    bool mandatory = false;
    QByteArray icon; ///< the picture's bytes; empty when there is none
};

/**
 * The logic of the trigger editor (TRIGGERS_FORM) and the action-item editor (ACTION): the stages
 * of one lifecycle of a workshop and the action-item templates of each stage (LIFECYCLE_ACTION
 * rows with SCR_Number 0). Refusals are returned, and a refused change writes nothing; save and
 * remove are refused first unless the user may create lifecycles or is an administrator
 * (UserRights::kNoLifecyclePrivilege). The delete question goes through the prompt. Every method
 * that reads or writes throws DbError.
 */
class ActionItems
{
public:
    ActionItems(Session& session, Prompt& prompt, const QString& lifecycleId,
                qlonglong ownerGroupId);

    const QString& lifecycleId() const { return m_lifecycleId; }
    qlonglong ownerGroupId() const { return m_ownerGroupId; }

    /** The lifecycle's stages in sequence order. */
    QList<StageListEntry> stageList();

    /**
     * The stage at position `sequence`; refused with "Unable to locate Phase of lifecycle in
     * database" when it is gone.
     */
    Outcome<LifecycleStage> stage(int sequence);

    /** The titles of the stage's templates, ordered by title. */
    QStringList actionTitles(const LifecycleStage& stage);

    /** The template titled `title`; refused with "Unable to locate action data" when it is gone. */
    Outcome<ActionItem> load(const LifecycleStage& stage, const QString& title);

    /**
     * Saves a template of the stage: a new one (`originalTitle` empty) or the one titled
     * `originalTitle`. The trimmed title is required ("Title must be specified") and must not be
     * another template's title in the stage in any letter case ("This Title already exists"; also
     * when the database refuses a duplicate key). Writes Action_Name, Mandatory, Icon (Null when
     * empty), Owner_ID = the signed-in user, the stage's lifecycle, name and workshop, and
     * SCR_Number 0. An edited template that is gone is "Unable to locate action data". Every
     * refusal concerns the title. Done when written.
     */
    Outcome<> save(const LifecycleStage& stage, const QString& originalTitle,
                   const ActionItem& item);

    /**
     * Deletes the template titled `title` of the stage at `sequence`, after "Are you sure?"
     * (title "DELETE", OK and Cancel). A gone stage or template is refused as by stage() and
     * load(); declined on Cancel.
     */
    Outcome<> remove(int sequence, const QString& title);

    /**
     * The bytes of a picture file for an item's icon; refused with "Unable to read icon file " +
     * path when it cannot be read.
     */
    static Outcome<QByteArray> readIconFile(const QString& path);

private:
    bool exists(const LifecycleStage& stage, const QString& title);

    Session& m_session;
    Prompt& m_prompt;
    QString m_lifecycleId;
    qlonglong m_ownerGroupId;
};

} // namespace bx
