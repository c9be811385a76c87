#pragma once

#include "core/Refusal.h"
#include "mainwindow/DocumentSearch.h"
#include "tasks/DocumentVersions.h"
#include "tasks/PendingAttachment.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

/**
 * The file cabinet: shared documents (published ATTACH rows, see tasks/DocumentVersions.h) filed
 * in folders (categories), the commands on them and who may run them.
 *
 * Folder access: "admin" sees every folder; any other user sees the folders granted to him in
 * LU_ACCESS_LEVEL and "Unspecified Folder" (documents without category), and nothing at all
 * without a grant (the page shows kNoFolderAccess instead of the tree). Every command re-checks
 * the folder of its document first.
 *
 * Moving, renaming and deleting are for the owner of the document's current version and for
 * administrators. Each acts in one transaction on exactly the rows the user was shown: the
 * document's row and, after Yes, the archived versions listed when the question was asked (rows
 * published, moved or renamed by another client since then are left alone).
 *
 * Questions and the input box go through the Prompt given (Yes/No with the question icon, texts
 * below); No or Cancel returns declined, nothing written. Refusals come back as the Outcome's
 * refusal, nothing written, for the window to show with showRefusal. DbError travels up.
 */
namespace bx {

class Prompt;
class Session;
struct UserRecord;

namespace cabinet {

/** The row was deleted (or unpublished) by another client. */
inline const QString kDocumentNotFound = QStringLiteral("Attachment not found");

/** One published row as the tree and the archived list show it. */
struct Document
{
    qlonglong number = 0;
    QString type;      ///< Attach_Type: "F" file, "M" memo, "X" form, ...
    QString title;     ///< Attach_Title
    QDateTime date;    ///< Attach_Date, GMT
    QString owner;     ///< Attach_Owner
    QString category;  ///< "" for the Unspecified Folder (stored Null or empty)
    QVariant fileName; ///< Attach_Filename; Null: a document of its own
    qlonglong taskNumber = 0;
    bool operator==(const Document&) const = default;
};

/** The folders a user sees. */
struct FolderAccess
{
    bool all = false;    ///< "admin": every folder
    QStringList granted; ///< the granted folders (with all: every folder there is)
    /** No folder at all: show kNoFolderAccess instead of the tree. */
    bool none() const { return !all && granted.isEmpty(); }
    /** Whether documents of `category` ("" or kUnspecifiedFolder: none) are visible. */
    bool sees(const QString& category) const;
};

/** The folders `user` sees (reads LU_ACCESS_LEVEL). @throws DbError */
FolderAccess folderAccess(Database& db, const UserRecord& user);

/** The stored category of a folder node: "" for "Unspecified Folder", else the folder. */
QString storedCategory(const QString& folder);

/** Where the page's add commands put a new document: task 0, `folder`, the current workshop. */
AttachmentPlace placeFor(const Session& session, const QString& folder);

/**
 * A published row (a current or archived version); nothing when it is gone or not published.
 * @throws DbError
 */
std::optional<Document> readDocument(Database& db, qlonglong number);

/**
 * The archived versions of `doc`: the published rows of its identity (same file name and
 * category, Null category = empty) with a lower Attach_Number, newest first. None for a row
 * without file name. @throws DbError
 */
QList<Document> archivedVersions(Database& db, const Document& doc);

/** Refused unless the user sees `doc`'s folder. @throws DbError */
std::optional<RefusalOf<>> refuseUnlessVisible(Database& db, const UserRecord& user,
                                               const Document& doc);

/**
 * The folder check, then refused unless the user owns the current version of
 * `doc`'s document (user IDs compared trimmed, without case) or is an administrator.
 * @throws DbError
 */
std::optional<RefusalOf<>> refuseUnlessMayChange(Database& db, const UserRecord& user,
                                                 const Document& doc);

/**
 * Cut and paste or drop on a folder: moves document `number` into `folder` (a category, or
 * kUnspecifiedFolder / "" for none), setting Category and Group_id (the session's workshop).
 * With archived versions asks whether to move them also; Yes moves them too. Refused when the row
 * is gone, its folder or the target folder is not visible, or by the owner rule. @throws DbError
 */
Outcome<Done> moveDocument(Session& session, Prompt& prompt, qlonglong number,
                           const QString& folder);

/**
 * mnuSharedRename: asks for the new file name (input box, the old name offered; blank or
 * Cancel: declined), then, with archived versions, whether to rename them also. Writes the new
 * Attach_Filename (without any folder) and rebuilds each row's title as name, owner and the
 * row's own local date (see tasks/Stamp.h). File documents ("F") only.
 * @throws DbError
 */
Outcome<Done> renameDocument(Session& session, Prompt& prompt, qlonglong number);

/**
 * mnuRemoveShared, mnuDocRemove: asks "Are you sure?", then deletes the row (a form with its
 * CONTROL rows). The archived versions stay; the newest of them becomes current. @throws DbError
 */
Outcome<Done> deleteDocument(Session& session, Prompt& prompt, qlonglong number);

/** The author of a version published now by the session's user from its current workshop. */
attachments::VersionAuthor authorOf(const Session& session);

} // namespace cabinet
} // namespace bx
