#pragma once

#include "tasks/AttachmentType.h"

#include <QDateTime>
#include <QString>

namespace bx {

/**
 * A new attachment as a dialog hands it to the task editor (or the file cabinet), which stores it
 * with attachments::add. A plain value: it is passed along, never parked anywhere.
 */
struct PendingAttachment
{
    AttachmentType type = AttachmentType::Memo;
    QString title;
    /** Memo and discussion text, or the text content of the other non-file types; "" for none. */
    QString content;
    QString owner;
    /** When it was added, in GMT. */
    QDateTime date;
    /**
     * Attach_Filename: the plug-in, checklist, address, shortcut target, contact key or memo
     * title; for a file, the name it is stored under (empty: the source's name). Any folder in it
     * is dropped when it is stored.
     */
    QString fileName;
    /** The full path the content of a file or object is read from. */
    QString sourcePath;
    bool showInTabBar = false;
    bool publish = false;
};

/** Where a new attachment goes: the task (0 for the file cabinet), its folder and workshop. */
struct AttachmentPlace
{
    qlonglong taskNumber = 0;
    QString category;
    qlonglong workshop = 0;
};

} // namespace bx
