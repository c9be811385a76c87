#pragma once

#include "core/Refusal.h"
#include "workflow/Checklists.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

class Database;
class Prompt;
class Session;

// The logic behind the checklist designer (frmChecklistDesigner and dlgChecklist): a workshop's
// checklists, one loaded for editing, its checks, its save and its deletion. The free functions
// read and write; ChecklistDesign adds the signed-in user, his rights and the questions.

namespace ChecklistText {
/** The designer's refusal of a name given to two items: "The item " + name + " is listed twice". */
QString listedTwice(const QString& item);
} // namespace ChecklistText

/** A checklist being designed. */
struct ChecklistDraft
{
    QString name;
    QString description;
    QList<ChecklistItem> items; ///< in the order typed
    bool isNew = true;          ///< false: loaded from the database; its name is fixed
};

/** The control of dlgChecklist a refusal puts the focus on. */
enum class ChecklistField
{
    None,
    Name,
    Items,
};

using ChecklistRefusal = RefusalOf<ChecklistField>;

// Every function below that takes a Database throws DbError; those that change rows do so in one
// transaction, rolled back when any statement fails.

/** The workshop of checklist `name` (compared without case), or none when it has no row. */
std::optional<qlonglong> checklistWorkshop(Database& db, const QString& name);

/**
 * Whether any workshop has a checklist of this name, compared trimmed and without regard to case
 * in every alphabet: the name is the key of all checklists.
 */
bool checklistExists(Database& db, const QString& name);

/** Whether a task carries the checklist: an ATTACH row of type 'K' names it. */
bool isChecklistAttached(Database& db, const QString& name);

/**
 * What keeps the draft from being saved, in the order the designer reports it: a name, at least
 * one item, a text for every item, no text twice (trimmed, without regard to case), and for a new
 * checklist a name no workshop has.
 */
std::optional<ChecklistRefusal> checklistProblem(Database& db, const ChecklistDraft& draft);

/**
 * Writes the draft, without checking it, in one transaction: the CHECKLIST row (name, description,
 * Checklist_Date `nowGmt`; a new one, or one deleted meanwhile, in `workshop`), then the template
 * rows (Attach_Number 0, ItemType 0) replaced by the draft's items. The rows of ticked items
 * (Attach_Number not 0) are left alone. Names and texts are stored trimmed; a signer "" as Null.
 */
void writeChecklist(Database& db, const ChecklistDraft& draft, qlonglong workshop,
                    const QDateTime& nowGmt);

/** Deletes the checklist's template rows and its CHECKLIST row, in one transaction. */
void deleteChecklist(Database& db, const QString& name);

/**
 * The designer's operations for the signed-in user. Each asks first, before any question or
 * write, UserRights::refuseUnlessChecklistDesigner for the workshop in question: the current
 * workshop for the list and a new checklist, the stored checklist's own workshop for the others.
 * Every method that reads or writes throws DbError.
 */
class ChecklistDesign
{
public:
    ChecklistDesign(Session& session, Prompt& prompt);

    /** The workshop whose checklists are designed: the session's current workshop. */
    qlonglong workshop() const;

    /** The current workshop's checklists, by name (the designer opening). */
    Outcome<QList<ChecklistSummary>> open();
    /** An empty draft for a new checklist of the current workshop. */
    Outcome<ChecklistDraft> create();
    /**
     * The checklist `name` loaded for editing (items by text). Declined when it is gone: deleted
     * elsewhere meanwhile.
     */
    Outcome<ChecklistDraft> edit(const QString& name);

    /** The users a signer may be: every enabled user, by user ID. */
    QStringList signers();

    /**
     * Checks the draft (checklistProblem) and writes it (writeChecklist) with the session clock's
     * present moment in GMT. On success the draft becomes a loaded one with trimmed texts.
     */
    Outcome<Done, ChecklistField> save(ChecklistDraft& draft);

    /**
     * Asks "Are you sure?" (title "DELETE", OK and Cancel); OK deletes the checklist unless a task
     * carries it ("There are tasks with this checklist attached."). Declined on Cancel.
     */
    Outcome<> remove(const QString& name);

private:
    /** Whether the signed-in user belongs to the workshop (has a GROUPLINK row for it). */
    bool isMember(qlonglong workshop) const;
    /** The workshop a stored checklist belongs to; the current one for a checklist without row. */
    qlonglong workshopOf(const QString& name) const;

    Session& m_session;
    Prompt& m_prompt;
};

} // namespace bx
