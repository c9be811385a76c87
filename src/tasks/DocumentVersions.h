#pragma once

#include "core/Refusal.h"
#include "core/db/Database.h"

#include <QDateTime>
#include <QString>

#include <optional>

class QIODevice;

/**
 * Versions of shared documents. A published attachment (Publish non-zero) is a shared document
 * identified by its file name and category (Null and empty are one category); among the published
 * rows of one identity the highest Attach_Number is the current version, the others are its
 * archived versions. A row without file name is a document of its own.
 *
 * A shared document is never rewritten: saving it (a viewer copy saved back, a memo or a form
 * saved) adds a new version under the same identity and task, owned by whoever saved it, dated
 * then. Two clients saving one document at once both keep theirs; the higher number is current.
 */
namespace bx::attachments {

/** Who publishes a new version, when (GMT) and from which workshop (0: none). */
struct VersionAuthor
{
    QString owner;
    QDateTime dateGmt;
    qlonglong workshop = 0;
};

/** One published version: its row, owner and date (GMT). */
struct PublishedVersion
{
    qlonglong number = 0;
    QString owner;
    QDateTime dateGmt;
    bool operator==(const PublishedVersion&) const = default;
};

/** Whether attachment `attachNumber` is a shared document (a published row). @throws DbError */
bool isSharedDocument(Database& db, qlonglong attachNumber);

/**
 * The current version of the document that row `attachNumber` belongs to (itself when it has no
 * newer published row, or is not published); nothing when the row is gone. @throws DbError
 */
std::optional<PublishedVersion> currentVersion(Database& db, qlonglong attachNumber);

/**
 * Adds a new version of the document of row `of`: a published row with its type, file name,
 * category and task, titled `title`, by `author`, and returns its number. Its content is
 * `size` bytes streamed from `content` (nothing stored when null), its form values (for a form)
 * are the caller's to write. Inside the caller's transaction when one is open. Refused with
 * "Attachment not found" when `of` is gone, and when the content cannot be read or stored.
 * @throws DbError, TransferCancelled
 */
Outcome<qlonglong> publishVersion(Database& db, qlonglong of, const QString& title,
                                  const VersionAuthor& author, QIODevice* content = nullptr,
                                  qint64 size = 0, const QString& contentName = {},
                                  const BlobProgress& progress = {});

/**
 * The save-back question for a shared document when another client published a newer version
 * after `newestAtOpen` was the newest: names the file, that version's owner and its local date.
 */
QString newerVersionQuestion(const QString& name, const QString& owner, const QDateTime& local);

} // namespace bx::attachments
