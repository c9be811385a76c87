#pragma once

#include "core/Refusal.h"
#include "core/db/Database.h"
#include "tasks/PendingAttachment.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

class QIODevice;

/**
 * Attachments of tasks and of the file cabinet (table ATTACH): adding, copying and deleting rows,
 * and who may change them. The content moves through tasks/AttachmentTransfer.h.
 *
 * Every change is one transaction: on a refusal, a cancel or an error nothing is left behind (no
 * row, no stored value). Refusals carry the message as the user reads it; DbError travels up.
 */
namespace bx {

class Prompt;

namespace attachments {

inline const QString kSelectAttachment = QStringLiteral("Please select an attachment");
/** The longest memo or discussion text stored, in bytes of UTF-8. */
inline constexpr qint64 kMaxTextBytes = 8 * 1024 * 1024;

/**
 * "The text is too long to store: at most 8 MiB are kept." for memo or discussion text over
 * kMaxTextBytes of UTF-8; nothing otherwise.
 */
std::optional<RefusalOf<>> refuseLongText(const QByteArray& utf8);

/** "The ActiveX with name <name> is already attached to this task." */
QString plugInAttachedMessage(const QString& name);

/**
 * The shared add: writes the ATTACH row of `pending` at `place` and returns its new number.
 *
 * A plug-in ("A") whose name the task already has is refused. The file name is stored without
 * its folder. Memo and discussion text is stored as UTF-8 (at most kMaxTextBytes); a file or
 * object ("F", "O") is streamed from `source` (`size` bytes, named `sourceName` in messages)
 * after its size was checked against the engine's limit, so that a file too large is refused
 * before anything is written. A new checklist or plug-in shown on the tab bar takes that place
 * from the task's others of its type. Row, content and tab-bar change are one transaction.
 *
 * @return the new Attach_Number; a refusal (nothing written) for a duplicate plug-in, a file too
 *         large or a source that fails; declined when the progress callback cancelled.
 * @throws DbError (nothing written)
 */
Outcome<qlonglong> add(Database& db, const AttachmentPlace& place, const PendingAttachment& pending,
                       QIODevice* source = nullptr, qint64 size = 0, const QString& sourceName = {},
                       const BlobProgress& progress = {});

/**
 * "Add Contact": the pending attachment for the contact the chooser returned, its key kept as
 * Attach_Filename and its title First_Name + " " + Last_Name, owned by `owner` at `date` (GMT).
 * Nothing when the key is not a number above 0 or names no contact. Reads only. @throws DbError
 */
std::optional<PendingAttachment> contactAttachment(Database& db, const QString& contactKey,
                                                   const QString& owner, const QDateTime& date);

/** The shared add reading a file or object from pending.sourcePath (refused when unreadable). */
Outcome<qlonglong> addFromFile(Database& db, const AttachmentPlace& place,
                               const PendingAttachment& pending, const BlobProgress& progress = {});

/**
 * "Add from Parent": copies attachment `sourceNumber` (0: none chosen, "Please select an
 * attachment"; gone: "Unable to locate Attachment") to `place` as a new row owned by `owner` at
 * `date` (GMT), with the source's type, file name, title and content; a custom form keeps its
 * values. The content is copied inside the database. One transaction. @throws DbError
 */
Outcome<qlonglong> copyToTask(Database& db, const AttachmentPlace& place, qlonglong sourceNumber,
                              const QString& owner, const QDateTime& date);

/**
 * Copies the form values (CONTROL rows) of attachment `from` to attachment `to`, inside the
 * caller's transaction. @throws DbError
 */
void copyFormValues(Database& db, qlonglong from, qlonglong to);

/** What the user may do with the attachments of a task. */
struct AttachmentRights
{
    bool add = false;    ///< add new attachments
    bool change = false; ///< edit or delete existing ones (also the memo boxes, the object)
    bool operator==(const AttachmentRights&) const = default;
};

/**
 * Attachments may be added to an active or incomplete task ("A", "I") by a user with write
 * permission on it; changed or deleted only when, in addition, the system setting
 * Edit_Attachments is on. A completed or cancelled task ("C", "X") takes no change.
 */
AttachmentRights rightsFor(const QString& taskStatus, bool permissionWrite, bool editAttachments);

/**
 * "Delete Item": refused with "Please select Attachment to delete" when `attachNumber` is 0,
 * "Attachment not found" when the task has no such row (also when another client deleted it
 * meanwhile), "You may not delete this item" without `mayChange`; then asks "Are you sure?"
 * (title "DELETE"). On Yes one transaction removes the row with a form's values and a
 * checklist's ticked items. @throws DbError
 */
Outcome<Done> deleteAttachment(Database& db, Prompt& prompt, qlonglong taskNumber,
                               qlonglong attachNumber, bool mayChange);

/**
 * Discarding a task's changes: deletes exactly the attachments `added` (numbers the editor added
 * itself) that are still rows of the task, with their form values and ticked items, in one
 * transaction. @return how many rows went. @throws DbError (nothing deleted)
 */
int deleteAdded(Database& db, qlonglong taskNumber, const QList<qlonglong>& added);

} // namespace attachments
} // namespace bx
