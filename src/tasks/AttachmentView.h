#pragma once

#include "core/DesktopFile.h"
#include "core/Refusal.h"
#include "tasks/AttachmentType.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <optional>

/**
 * What the task editor shows of a task's attachments and how it opens them: the two lists, the
 * preview of the selected item, the note of the file dialog and the checks of the small add
 * dialogs. The window only puts these values into its controls.
 *
 * Nothing here reaches the network: previews are built from the stored rows alone.
 */
namespace bx {

class Clock;
class Database;

namespace attachments {

/** One row of the attachment or the memo list. The content (OLE_Data) is never read for it. */
struct ListedAttachment
{
    qlonglong number = 0;
    QString type; ///< the stored letter, trimmed
    QString title;
    QVariant fileName; ///< Attach_Filename as stored (Null stays Null)
    QString owner;
    QDateTime date; ///< local time
    bool showInTabBar = false;
};

/** The task's attachments, split as the editor shows them; each newest first. */
struct TaskAttachmentLists
{
    QList<ListedAttachment> attachments; ///< every type but memos and discussion items
    QList<ListedAttachment> memos;       ///< "M" and "D"
};

/** Reads the lists of task `taskNumber` (dates turned into local time). @throws DbError */
TaskAttachmentLists listFor(Database& db, const Clock& clock, qlonglong taskNumber);

/** The word the lists show in their Type column and delete names the kind by. */
QString kindWord(const QString& type);

/** The item's key in its list: "M00" + number for memos and discussion items, else "00" + it. */
QString listKey(const ListedAttachment& item);

/** The title a memo list shows; other items show their stored title. */
QString shownTitle(const ListedAttachment& item);

/** The date as the lists show it ("" for none). */
QString dateText(const QDateTime& local);

/** "You can see this attachment on "<caption>" Tab". */
QString tabBarSentence(const QString& caption);

/** The largest text file of which the preview shows the beginning, in bytes. */
inline constexpr qint64 kPreviewTextBytes = 64 * 1024;
/** The largest image the preview shows. */
inline constexpr qint64 kPreviewImageBytes = 8 * 1024 * 1024;

/** What the preview pane shows: HTML (every stored text escaped), and an image for "image". */
struct Preview
{
    QString html;
    QByteArray image; ///< the bytes of an image file when html shows it
    static inline const QString kImageName = QStringLiteral("bx-preview-image");
};

/**
 * The preview of an item: a memo's text; a web address as a link; the first kPreviewTextBytes of
 * a text file; an image file up to kPreviewImageBytes; a plug-in or checklist on the tab bar its
 * sentence; otherwise name, size, owner and date. Files are told apart by the MIME type of their
 * name. @throws DbError
 */
Preview previewOf(Database& db, const ListedAttachment& item);

/** The note ATTFILE shows for a chosen file: whether its name is stored already. @throws DbError */
QString baselineNote(Database& db, const QString& chosenPath);

// --- Opening -------------------------------------------------------------------------------------

using desktop::fileToOpen;
using desktop::kFileNotFound;
using desktop::kIsAProgram;

/** The web address of a "W" item to open: only http, https and ftp; anything else is refused. */
Outcome<QUrl> webAddressToOpen(const QString& address);

/** "The file <name> has been changed. Save the changes to the attachment?" */
QString changedQuestion(const QString& name);

/** The name Save As offers for an item: the file name, or the memo's title as a text file. */
QString suggestedSaveName(const ListedAttachment& item);

/** The chosen target of a memo's Save As with its default extension "txt" when it has none. */
QString withTextExtension(const QString& path);

// --- The small add dialogs
// ------------------------------------------------------------------------

/** The control a refusal of a small add dialog points at. */
enum class AddField
{
    Title,
    Address
};

/** A web page ("W") needs a title and an address. */
std::optional<RefusalOf<AddField>> checkWebPage(const QString& title, const QString& address);
/** A file shortcut ("H") needs a title and a path. */
std::optional<RefusalOf<AddField>> checkShortcut(const QString& title, const QString& path);
/** ATTFILE needs a file, then a title. */
std::optional<RefusalOf<AddField>> checkFile(const QString& path, const QString& title);

} // namespace attachments
} // namespace bx
