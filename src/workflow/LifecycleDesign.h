#pragma once

#include "core/Refusal.h"
#include "workflow/Lifecycle.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

class Database;
class Prompt;
class Session;

// The logic behind the lifecycle designer (Lifecycle_designer and LIFECYCLE_FORM): the lifecycles
// of a workshop, one lifecycle loaded for editing, its checks and its save, delete and copy. The
// free functions read and write; LifecycleDesign adds the signed-in user, the current workshop and
// the messages.

/** Owner captions the designer shows: the task's requester, and any member of a workshop. */
namespace LifecycleText {
inline const QString kRequester = QStringLiteral("REQUESTER");
inline const QString kAnyUser = QStringLiteral("ANYUSER");
} // namespace LifecycleText

/** The most stages a lifecycle has. */
inline constexpr int kMaxLifecycleStages = 101;

/** A lifecycle as the designer lists it: a LIFECYCLE row. */
struct LifecycleSummary
{
    QString lifecycleId;
    QString description;
    QString designer; ///< Owner_ID

    friend bool operator==(const LifecycleSummary&, const LifecycleSummary&) = default;
};

/** One stage as the designer edits it. */
struct StageDraft
{
    /**
     * The stage's values: stageName, ownerKind, userId, groupId (for a named user the workshop he
     * was picked from, for a workshop the workshop; ignored for the requester), ruleName and the
     * three rule moments. lifecycleId, sequence, ownerGroupId and designer are set when saving.
     */
    LifecycleStage stage;
    int daysInCycle = 0; ///< Days_In_Cycle
    /**
     * The name the stage had when the lifecycle was loaded; empty for a stage added in the
     * designer. Its action-item templates follow it through a rename.
     */
    QString loadedName;
};

/** A lifecycle being designed. */
struct LifecycleDraft
{
    QString lifecycleId;
    QString description;
    QList<StageDraft> stages; ///< in sequence order
    bool isNew = true;        ///< false: loaded from the database; its identifier is fixed
};

/** The control of the lifecycle window a refusal puts the focus on. */
enum class DesignField
{
    None,
    Identifier,
    Description,
    Stages,
};

/** Why the designer refused a change of the lifecycle being designed. */
using DesignRefusal = RefusalOf<DesignField>;

/** A workshop of the owner tree with its enabled members. */
struct OwnerTreeWorkshop
{
    qlonglong groupId = 0;
    QString name;
    QStringList users; ///< enabled members (Disabled = 0) by user ID
};

// Every function below that takes a Database throws DbError; those that change rows do so in one
// transaction, rolled back when any statement fails.

/** The lifecycles of the workshop, by identifier. */
QList<LifecycleSummary> workshopLifecycles(Database& db, qlonglong ownerGroupId);

/** The lifecycle with its stages in sequence order; nothing when it has no LIFECYCLE row. */
std::optional<LifecycleDraft> loadLifecycle(Database& db, const QString& lifecycleId,
                                            qlonglong ownerGroupId);

/** Whether the workshop has a lifecycle of this identifier (compared without regard to case). */
bool lifecycleExists(Database& db, const QString& lifecycleId, qlonglong ownerGroupId);

/**
 * Whether tasks sit in the stage: SCR_Lifecycle_ID and SCR_LC_Stage_Name name it, and
 * SCR_LC_Owner_Group_ID names the owning workshop (a lifecycle of the same name in another
 * workshop does not count).
 */
bool isStageOccupied(Database& db, const QString& lifecycleId, qlonglong ownerGroupId,
                     const QString& stageName);

/**
 * Whether any task uses the lifecycle of this workshop: a task of the workshop (SCR_Group_ID) or a
 * task in the workshop's lifecycle of that name (SCR_LC_Owner_Group_ID).
 */
bool isLifecycleInUse(Database& db, const QString& lifecycleId, qlonglong ownerGroupId);

/** The workshops by name, each with its enabled members by user ID. */
QList<OwnerTreeWorkshop> ownerTree(Database& db);

/** The rule names of LU_RULES, sorted. */
QStringList ruleNames(Database& db);

/**
 * What is wrong with a stage name typed for a new stage (`renaming` -1) or as the new name of the
 * stage at `renaming`: nothing, or the refusal (on the stage list). Checked in this order:
 * required, unique (without regard to case, the renamed stage itself excepted), not "Requester" in
 * any case, and for a new stage room for it (kMaxLifecycleStages).
 */
std::optional<DesignRefusal> stageNameProblem(const QList<StageDraft>& stages, const QString& name,
                                              int renaming = -1);

/**
 * What keeps the draft from being saved, in the order the designer reports it: identifier,
 * description, at least one stage, a new identifier that the workshop already has, a stage the
 * draft drops while tasks sit in it.
 */
std::optional<DesignRefusal> draftProblem(Database& db, const LifecycleDraft& draft,
                                          qlonglong ownerGroupId);

/**
 * Writes the draft, without checking it, in one transaction: the LIFECYCLE row (Owner_ID =
 * `designer`), the action-item templates (SCR_Number 0) of dropped stages deleted and those of
 * renamed stages renamed with them, then the stage rows replaced, numbered 0, 1, 2... in list order
 * with Supervisor false and group_ID per owner kind (the requester's stage gets the owning
 * workshop; a named user without a workshop does too). Identifier and description are stored
 * trimmed. Task copies of action items are left alone.
 */
void writeLifecycle(Database& db, const LifecycleDraft& draft, qlonglong ownerGroupId,
                    const QString& designer);

/** Deletes the lifecycle, its stages and its action-item templates, in one transaction. */
void deleteLifecycle(Database& db, const QString& lifecycleId, qlonglong ownerGroupId);

/** The identifier of a lifecycle's copy: "Copy of " + the identifier. */
QString copyIdentifier(const QString& lifecycleId);

/**
 * Copies the lifecycle's LIFECYCLE row, stages and action-item templates (not the tasks' copies)
 * column by column under `copyId`, in one transaction. Stray stage and template rows already
 * under `copyId` are removed first, so the copy holds exactly what it copied.
 */
void copyLifecycle(Database& db, const QString& lifecycleId, qlonglong ownerGroupId,
                   const QString& copyId);

/** The refusal of a copy whose identifier the workshop already has. */
QString copyExistsMessage(const QString& copyId);

/** The owner column of the designer's stage list: the user, "ANYUSER" or "REQUESTER". */
QString ownerCaption(const LifecycleStage& stage);

/**
 * The designer's operations for the signed-in user in the current workshop of the session. A
 * refusal is returned, with nothing written; save, remove and makeCopy are refused first, before
 * any question, unless the user may create lifecycles or is an administrator
 * (UserRights::kNoLifecyclePrivilege). The delete question goes through the prompt. Every
 * method that reads or writes throws DbError.
 */
class LifecycleDesign
{
public:
    LifecycleDesign(Session& session, Prompt& prompt);

    /** The signed-in user's ID as his row spells it. */
    QString me() const;
    /** The workshop whose lifecycles are designed: the session's current workshop. */
    qlonglong workshop() const;

    QList<LifecycleSummary> list();
    std::optional<LifecycleDraft> open(const QString& lifecycleId);
    QList<OwnerTreeWorkshop> ownerTree();
    QStringList ruleNames();

    /**
     * Checks the draft (draftProblem) and writes it (writeLifecycle). On success the draft
     * becomes a loaded one: no longer new, each stage's loadedName its name.
     */
    Outcome<Done, DesignField> save(LifecycleDraft& draft);

    /**
     * Whether the stage at `index` (a valid index) may be removed from the draft: refused with
     * "There are tasks assigned to deleted lifecycle stage." when it was loaded and tasks sit in
     * it.
     */
    std::optional<DesignRefusal> mayRemoveStage(const LifecycleDraft& draft, int index);

    /**
     * Asks "Are you sure?" (title "DELETE", OK and Cancel); OK deletes the lifecycle unless a task
     * uses it ("There are tasks assigned to the lifecycle."). Declined on Cancel.
     */
    Outcome<> remove(const QString& lifecycleId);

    /**
     * Copies the lifecycle as "Copy of " + its identifier; refused when that lifecycle exists.
     * Hands back the copy's identifier.
     */
    Outcome<QString> makeCopy(const QString& lifecycleId);

private:
    Session& m_session;
    Prompt& m_prompt;
};

} // namespace bx
