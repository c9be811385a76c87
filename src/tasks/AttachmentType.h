#pragma once

#include <QString>

namespace bx {

/** What an attachment row (ATTACH.Attach_Type) stands for; stored as one letter. */
enum class AttachmentType : char
{
    File = 'F',       ///< a file whose bytes are stored in OLE_Data
    Shortcut = 'H',   ///< a file shortcut: only the path is stored
    WebPage = 'W',    ///< a web address
    Memo = 'M',       ///< text in OLE_Data
    Discussion = 'D', ///< text in OLE_Data
    Form = 'X',       ///< a filled-in custom form, its values in CONTROL rows
    PlugIn = 'A',     ///< a plug-in, named in Attach_Filename
    Checklist = 'K',  ///< a checklist, ticked items in CHECKLIST_ITEM rows
    Object = 'O',     ///< an embedded object, stored as a file in OLE_Data
    Contact = 'C',    ///< a contact key
    Report = 'R',     ///< a stored report layout
};

/** The stored letter. */
inline QString attachmentTypeCode(AttachmentType type)
{
    return QString(QLatin1Char(static_cast<char>(type)));
}

/** Whether a stored code (trimmed, in either case) is that type. */
inline bool isAttachmentType(const QString& code, AttachmentType type)
{
    return code.trimmed().compare(attachmentTypeCode(type), Qt::CaseInsensitive) == 0;
}

/** Types whose content is a file streamed in from a source (never held in memory whole). */
inline bool storesFile(AttachmentType type)
{
    return type == AttachmentType::File || type == AttachmentType::Object;
}

/** Types whose content is text typed or imported by the user. */
inline bool storesText(AttachmentType type)
{
    return type == AttachmentType::Memo || type == AttachmentType::Discussion;
}

} // namespace bx
