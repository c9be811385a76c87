#pragma once

#include "core/Refusal.h"
#include "tasks/DocumentVersions.h"

#include <QString>
#include <QVariant>

/**
 * The text of memo and discussion attachments ("M", "D"): stored in OLE_Data as UTF-8, at most
 * attachments::kMaxTextBytes, and always read whole.
 */
namespace bx {

class Database;

namespace memo {

inline const QString kSpecifyTitle = QStringLiteral("Please specify a title");

/**
 * The text of a file for a memo (UTF-8). A file over the limit, or one that cannot be read, is
 * refused with "File is too large to import" before it is read into memory.
 */
Outcome<QString> importText(const QString& path);

/** The title a memo shows: its file name, or when that is Null its title up to the first ",". */
QString shownTitle(const QVariant& fileName, const QString& title);

/** A stored memo or discussion item as its window shows it. */
struct StoredMemo
{
    QString title; ///< see shownTitle()
    QString text;
};

/**
 * Reads memo or discussion item `attachNumber` for its window. Refused with "Attachment not
 * found" when the row is gone. @throws DbError
 */
Outcome<StoredMemo> readMemo(Database& db, qlonglong attachNumber);

/** The stored text of an attachment ("" when it holds none). @throws DbError */
QString readText(Database& db, qlonglong attachNumber);

/**
 * Editing an existing memo: rewrites its file name and title (both `title`) and its text in one
 * transaction. A shared memo is not rewritten: a new version of it (same file name and category)
 * by `author` is published with the title and text, the old one stays archived. Refused with
 * "Please specify a title" for a blank title, with the limit's message for a text too long, and
 * with "Attachment not found" when the row is gone.
 * @return the row that holds the text now @throws DbError
 */
Outcome<qlonglong> rewrite(Database& db, qlonglong attachNumber, const QString& title,
                           const QString& text, const attachments::VersionAuthor& author);

/**
 * Writes the text of the editor's memo box into attachment `attachNumber`, only when `changed`
 * and only when that row belongs to task `taskNumber` and is a memo ("M"). Called by the editor's
 * save after MakeHistory.
 * @return true when the text was written; refused when it is too long. @throws DbError
 */
Outcome<bool> SaveMemo(Database& db, qlonglong taskNumber, qlonglong attachNumber,
                       const QString& text, bool changed);
/** The same for the discussion box and a discussion item ("D"). */
Outcome<bool> SaveDiscussion(Database& db, qlonglong taskNumber, qlonglong attachNumber,
                             const QString& text, bool changed);

} // namespace memo
} // namespace bx
