#pragma once

#include "core/DesktopFile.h"
#include "core/Refusal.h"
#include "core/db/Database.h"
#include "tasks/DocumentVersions.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <exception>
#include <optional>

class QIODevice;

/**
 * Moving the content of attachments (ATTACH.OLE_Data) between the database and files, always in
 * pieces of Database::kBlobPiece bytes so that memory stays bounded for any size.
 *
 * A progress callback may throw TransferCancelled to stop a transfer: whatever it was writing is
 * undone (no row, no stored value, no target file) and the operation reports it as declined.
 * Failures of the database throw DbError; failures of the files are refusals naming the file.
 */
namespace bx::attachments {

/** Thrown by a progress callback to cancel the transfer it reports on. */
struct TransferCancelled final : std::exception
{
    const char* what() const noexcept override { return "transfer cancelled"; }
};

inline const QString kAttachmentNotFound = QStringLiteral("Attachment not found");

/** The stored content of one attachment. */
BlobRef dataOf(qlonglong attachNumber);

/** The last part of a stored or typed file name, without any folder (either separator). */
QString withoutFolder(const QString& name);

/**
 * Refuses content of `size` bytes that the engine cannot store, naming the file; checked before
 * anything is written.
 */
std::optional<RefusalOf<>> checkStorable(Database& db, const QString& name, qint64 size);

/**
 * Streams `size` bytes of `source` into the content of an existing attachment row, replacing what
 * it held, inside the caller's transaction when one is open. A source that fails or ends early
 * gives a refusal naming `name` and saying why (the caller rolls back).
 * @throws DbError, TransferCancelled
 */
std::optional<RefusalOf<>> importContent(Database& db, qlonglong attachNumber, QIODevice& source,
                                         qint64 size, const QString& name,
                                         const BlobProgress& progress = {});

/**
 * "Save Attachment As...": writes the content to `target` through a temporary file that replaces
 * the target only when everything was written, so a failed or cancelled export leaves an existing
 * file as it was. Refused with "Attachment not found" when the row is gone, and with the file and
 * the reason when it cannot be written; declined when cancelled. @throws DbError
 */
Outcome<Done> saveAs(Database& db, qlonglong attachNumber, const QString& target,
                     const BlobProgress& progress = {});

// --- Copies for a viewer -------------------------------------------------------------------------

/** The file a viewer was given, and what it looked like when it was written. */
struct ViewerCopy
{
    qlonglong attachNumber = 0;
    QString path;
    qint64 size = 0;
    QDateTime modified;
    /** Fingerprint of the content, taken in the same pass that wrote or last read the file. */
    QByteArray digest;
    /**
     * A shared document: the newest version of it when the copy was written (then the one each
     * save-back published); 0 for other attachments.
     */
    qlonglong newest = 0;
};

using desktop::viewerRoot;

/**
 * Writes the content of a file or object attachment ("F", "O") to
 * viewerRoot()/<number>/<name>, where <name> is only the last part of the stored file name (never
 * a folder or ".."), replacing an older copy. The folders are readable by the user alone (0700),
 * the file too, and never executable (0600; 0400 when `readOnly`, for a user who may not change
 * the attachment). Refused with "Attachment not found", for other types, or when the file cannot
 * be written; declined when cancelled. @throws DbError
 */
Outcome<ViewerCopy> exportForViewer(Database& db, qlonglong attachNumber,
                                    const BlobProgress& progress = {}, bool readOnly = false);

/** Whether the copy was changed (or removed) since it was written or last saved back. */
bool changedSinceExport(const ViewerCopy& copy);

/** Takes what the copy looks like now as its unchanged state (after the user kept a change out). */
void keepCurrentState(ViewerCopy& copy);

/**
 * Streams the copy back into its attachment in one transaction ("save-back") and records the
 * copy's new state in `copy`. A shared document is not rewritten: the copy becomes a new version
 * of it by `author` (copy.newest its number). Refused with "Attachment not found" when another
 * client deleted the row, when the copy cannot be read or is too large to store (nothing is
 * written then); declined when cancelled. @throws DbError
 */
Outcome<Done> saveBack(Database& db, ViewerCopy& copy, const VersionAuthor& author,
                       const BlobProgress& progress = {});

/**
 * The version of a shared document another client published after copy.newest, which the
 * save-back question then names (newerVersionQuestion); nothing otherwise. @throws DbError
 */
std::optional<PublishedVersion> newerVersion(Database& db, const ViewerCopy& copy);

/** Removes the viewer copy of one attachment with its folder. */
void removeViewerCopy(qlonglong attachNumber);
using desktop::removeViewerCopies;

} // namespace bx::attachments
