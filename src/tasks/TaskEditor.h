#pragma once

#include "core/Refusal.h"
#include "people/cSelUser.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

/**
 * The logic behind the task editor window (tasks/ui/SCR_FORM): the checks before a save and their
 * messages, which controls the user may use, the captions that follow the chosen recipients, the
 * description cache file the main window reads. The window only moves values between its controls
 * and these functions; attachments are in tasks/Attachments.h.
 */
namespace bx {

class Database;
class Session;
class cSCR;
struct SystemSettings;

namespace editor {

/**
 * The question after a write refused because another client changed the task: the refusal's
 * message, then "Reload the task? ..." (Yes reloads it, keeping the typed description after the
 * stored one; No leaves the editor as it is).
 */
QString reloadQuestion(const QString& refusal);
/** The values of the recurrence list, in the order offered. */
const QStringList& frequencies();

// --- Checks before a save ------------------------------------------------------------------------

/** The control a refused check puts the focus on. */
enum class Field
{
    None,
    Target,
    Title,
    Category,
    Priority
};

/** What the checks read from the window. */
struct CheckInput
{
    bool isNew = false;
    bool meeting = false;
    bool targetEnabled = true;
    bool targetHasDate = false;
    /** The custom form's own mandatory fields passed (it shows its own message when not). */
    bool customFormPassed = true;
    bool titleEnabled = true;
    QString title;
    bool categoryEnabled = true;
    QString category;
    bool priorityEnabled = true;
    QString priority;
};

/** Why a save was refused. An empty message: the custom form refused and has said why. */
struct Refusal : RefusalOf<Field>
{
    /** Whether the window should focus `field` (a disabled due date box is not focused). */
    bool focus = true;
    bool switchToFirstTab = false;
    bool operator==(const Refusal&) const = default;
};

/**
 * The checks, in order: 1 due date (task, Mand_Target_Date, only while the box is enabled),
 * 2 meeting date, 3 custom form, 4 task name, 5 folder (Mand_CATEGORY; trimmed), 6 priority
 * (Mand_Priority). A disabled field is not checked. A new task runs 3 to 6 only.
 * @return the first refusal, nothing when the save may go on
 */
std::optional<Refusal> checkBeforeSave(const CheckInput& in, const SystemSettings& settings);

// --- Enabling ------------------------------------------------------------------------------------

/** Which controls the user may use, after opening and after each change of recipients. */
struct Enabling
{
    bool lifecycleVisible = false; ///< lifecycle, stage and stage due date
    bool forward = false;          ///< "&Forward (Reassign)" / "Reassign"
    bool reopen = false;           ///< "&ReOpen" / "Reopen"
    bool customField = false;      ///< T_CUSTOMFIELD
    bool toSelf = false;           ///< "Forward to &Self" / "ToSelf"
    bool write = false;            ///< every input of the task
    bool operator==(const Enabling&) const = default;
};

Enabling enablingFor(const cSCR& task, const Session& session);

// --- Recipients ----------------------------------------------------------------------------------

/** The face of the window for the chosen recipients (none: the window's normal face). */
struct RecipientsFace
{
    bool chosen = false;
    QString saveCaption;         ///< "Save" or "Send"
    QString closeOutMenu;        ///< caption of "&Closeout Task"
    QString closeOutToolTip;     ///< tool tip of toolbar "CloseOut"
    QString closeOutToolCaption; ///< caption of toolbar "CloseOut"
};

RecipientsFace recipientsFace(const QList<cSelUser>& recipients);

/** True when the save routes the task into a lifecycle: exactly one recipient, a lifecycle. */
bool routesIntoLifecycle(const QList<cSelUser>& recipients);

/** The recipient that routes a task made from `templ` into its lifecycle; none without one. */
std::optional<cSelUser> templateLifecycleRecipient(const cSCR& templ);

// --- Field values --------------------------------------------------------------------------------

/** A date as a date box shows it ("" for an empty date). */
QString dateText(const QDate& date);
/** The date a date box holds; invalid when its text is empty or not a date. */
QDate parseDate(const QString& text);
/**
 * The value a date box gives its column: empty for no date; the current value when it is on the
 * same day (its time of day is kept); else the date at midnight.
 */
QDateTime dateForColumn(const QDate& date, const QDateTime& current);

/** The outcome of leaving the hours-estimated box. */
struct EstimateCheck
{
    int value = 0;   ///< what the box and its spin hold afterwards
    QString message; ///< "" when the text was accepted
};

/**
 * "Must be between 0 and " + maximum above the spin's maximum, "Hours estimated must be between 0
 * and " + maximum below 0; in both cases, and for text that is not a number, the spin's value is
 * put back.
 */
EstimateCheck checkEstimate(const QString& text, int spinValue, int maximum);

// --- Description cache ---------------------------------------------------------------------------

/** The per-user file the main window shows a task's description from: "BXComm/<number>.bx". */
QString commentFilePath(qlonglong taskNumber);
/** Deletes the file when present. */
void removeCommentFile(qlonglong taskNumber);
/**
 * Writes the rich text (UTF-8), creating the folder; the file is replaced whole or not at all.
 * @return empty on success, else what went wrong, naming the file
 */
QString writeCommentFile(qlonglong taskNumber, const QString& richText);

} // namespace editor
} // namespace bx
