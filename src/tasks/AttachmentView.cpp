#include "tasks/AttachmentView.h"

#include "contacts/Contacts.h"
#include "core/Gmt.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"
#include "tasks/AttachmentTransfer.h"
#include "tasks/MemoText.h"
#include "tasks/Stamp.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMimeDatabase>
#include <QStringDecoder>

#include <algorithm>

namespace bx::attachments {

namespace {

/** Stops a read of the content once enough of it arrived. */
struct EnoughRead
{
};

ListedAttachment listed(const RecordSet& rows, const GmtConverter& gmt)
{
    ListedAttachment item;
    item.number = rows.number(QStringLiteral("Attach_Number"));
    item.type = rows.text(QStringLiteral("Attach_Type")).trimmed().toUpper();
    item.title = rows.text(QStringLiteral("Attach_Title"));
    item.fileName = rows.variant(QStringLiteral("Attach_Filename"));
    item.owner = rows.text(QStringLiteral("Attach_Owner"));
    item.date = gmt.toLocal(rows.dateTime(QStringLiteral("Attach_Date")));
    item.showInTabBar = rows.flag(QStringLiteral("Show_In_TabBar"));
    return item;
}

bool isMemo(const QString& type)
{
    return isAttachmentType(type, AttachmentType::Memo) ||
           isAttachmentType(type, AttachmentType::Discussion);
}

bool isStoredFile(const QString& type)
{
    return isAttachmentType(type, AttachmentType::File) ||
           isAttachmentType(type, AttachmentType::Object);
}

QString escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

QString paragraphs(const QString& text)
{
    return QStringLiteral("<pre style=\"white-space: pre-wrap\">") + escaped(text) +
           QStringLiteral("</pre>");
}

/** Reads at most `limit` bytes of the content: whole pieces until the limit is passed. */
QByteArray readBeginning(Database& db, qlonglong number, qint64 limit)
{
    QByteArray bytes;
    QBuffer sink(&bytes);
    sink.open(QIODevice::WriteOnly);
    try {
        db.readBlob(dataOf(number), sink, [limit](qint64 done, qint64) {
            if (done >= limit)
                throw EnoughRead{};
        });
    } catch (const EnoughRead&) {
    }
    return bytes.left(limit);
}

QString summary(const ListedAttachment& item, qint64 size)
{
    const QString name = item.fileName.toString().isEmpty() ? item.title : item.fileName.toString();
    QString html = QStringLiteral("<p><b>") + escaped(name) + QStringLiteral("</b></p><p>");
    if (isStoredFile(item.type))
        html += escaped(QLocale::system().formattedDataSize(size)) + QStringLiteral("<br>");
    html += escaped(kindWord(item.type)) + QStringLiteral("<br>") + escaped(item.owner) +
            QStringLiteral("<br>") + escaped(dateText(item.date)) + QStringLiteral("</p>");
    return html;
}

/** A link needs a title, then its target: a blank target is refused with `noTarget`. */
std::optional<RefusalOf<AddField>> checkLink(const QString& title, const QString& target,
                                             const QString& noTarget)
{
    if (title.trimmed().isEmpty())
        return RefusalOf<AddField>{memo::kSpecifyTitle, AddField::Title};
    if (target.trimmed().isEmpty())
        return RefusalOf<AddField>{noTarget, AddField::Address};
    return std::nullopt;
}

} // namespace

TaskAttachmentLists listFor(Database& db, const Clock& clock, qlonglong taskNumber)
{
    RecordSet rows = db.query(
        QStringLiteral("SELECT Attach_Number, Attach_Type, Attach_Title, Attach_Filename, "
                       "Attach_Owner, Attach_Date, Show_In_TabBar FROM ATTACH WHERE %1 = ? "
                       "ORDER BY Attach_Date DESC, Attach_Number DESC")
            .arg(scr::Number),
        {taskNumber});
    const GmtConverter gmt(clock);
    TaskAttachmentLists lists;
    for (rows.moveFirst(); !rows.eof(); rows.moveNext()) {
        ListedAttachment item = listed(rows, gmt);
        (isMemo(item.type) ? lists.memos : lists.attachments).append(std::move(item));
    }
    return lists;
}

QString kindWord(const QString& type)
{
    const QString code = type.trimmed().toUpper();
    if (code.size() != 1)
        return code;
    switch (static_cast<AttachmentType>(code.at(0).toLatin1())) {
    case AttachmentType::File:
        return QStringLiteral("File");
    case AttachmentType::Shortcut:
        return QStringLiteral("File shortcut");
    case AttachmentType::WebPage:
        return QStringLiteral("Web page");
    case AttachmentType::Memo:
        return QStringLiteral("Memo");
    case AttachmentType::Discussion:
        return QStringLiteral("Discussion item");
    case AttachmentType::Form:
        return QStringLiteral("Brindlepax Form");
    case AttachmentType::PlugIn:
        return QStringLiteral("ActiveX");
    case AttachmentType::Checklist:
        return QStringLiteral("Checklist");
    case AttachmentType::Object:
        return QStringLiteral("Object");
    case AttachmentType::Contact:
        return QStringLiteral("Contact");
    case AttachmentType::Report:
        return QStringLiteral("Report");
    }
    return code;
}

QString listKey(const ListedAttachment& item)
{
    return (isMemo(item.type) ? QStringLiteral("M00") : QStringLiteral("00")) +
           QString::number(item.number);
}

QString shownTitle(const ListedAttachment& item)
{
    return isMemo(item.type) ? memo::shownTitle(item.fileName, item.title) : item.title;
}

QString dateText(const QDateTime& local)
{
    return local.isValid() ? local.toString(kStampTimeFormat) : QString();
}

QString tabBarSentence(const QString& caption)
{
    return QStringLiteral("You can see this attachment on \"") + caption + QStringLiteral("\" Tab");
}

Preview previewOf(Database& db, const ListedAttachment& item)
{
    Preview preview;
    const QString name = item.fileName.toString();
    if (isMemo(item.type)) {
        preview.html = paragraphs(memo::readText(db, item.number));
        return preview;
    }
    if (isAttachmentType(item.type, AttachmentType::Contact)) {
        const QString card = contacts::cardText(db, name.trimmed().toLongLong());
        preview.html = paragraphs(
            card.isEmpty() ? contacts::kNotFound
                           : QString(card).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        return preview;
    }
    if (isAttachmentType(item.type, AttachmentType::WebPage)) {
        // Shown as a link only; nothing is fetched. A click goes through webAddressToOpen.
        preview.html = QStringLiteral("<p><a href=\"") + escaped(name) + QStringLiteral("\">") +
                       escaped(name) + QStringLiteral("</a></p>");
        return preview;
    }
    if ((isAttachmentType(item.type, AttachmentType::PlugIn) ||
         isAttachmentType(item.type, AttachmentType::Checklist)) &&
        item.showInTabBar) {
        preview.html =
            QStringLiteral("<p>") + escaped(tabBarSentence(item.title)) + QStringLiteral("</p>");
        return preview;
    }
    qint64 size = 0;
    if (isStoredFile(item.type)) {
        size = db.blobSize(dataOf(item.number));
        const QMimeType mime =
            QMimeDatabase().mimeTypeForFile(withoutFolder(name), QMimeDatabase::MatchExtension);
        if (mime.inherits(QStringLiteral("text/plain"))) {
            const QByteArray bytes = readBeginning(db, item.number, kPreviewTextBytes);
            // A character cut at the end of the preview is dropped, not shown as garbage.
            QStringDecoder utf8(QStringDecoder::Utf8);
            preview.html = paragraphs(utf8.decode(bytes));
            return preview;
        }
        if (mime.name().startsWith(QLatin1String("image/")) && size > 0 &&
            size <= kPreviewImageBytes) {
            preview.image = readBeginning(db, item.number, kPreviewImageBytes);
            preview.html = QStringLiteral("<p><img src=\"") + Preview::kImageName +
                           QStringLiteral("\"></p>") + summary(item, size);
            return preview;
        }
    }
    preview.html = summary(item, size);
    return preview;
}

QString baselineNote(Database& db, const QString& chosenPath)
{
    const bool known =
        !db.query(QStringLiteral("SELECT Attach_Number FROM ATTACH WHERE Attach_Filename = ?"),
                  {withoutFolder(chosenPath)})
             .isEmpty();
    if (known)
        return QStringLiteral(
            "NOTE: This file represents an updated version of a currently baselined file");
    return QStringLiteral("NOTE: You are adding a new file to the Brindlepax baseline.  To replace "
                          "an existing file, please check the file name.");
}

Outcome<QUrl> webAddressToOpen(const QString& address)
{
    const QUrl url = QUrl::fromUserInput(address.trimmed());
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
         scheme != QLatin1String("ftp")))
        return RefusalOf<>{
            QStringLiteral("Only web addresses that start with http, https or ftp are opened.")};
    return url;
}

QString changedQuestion(const QString& name)
{
    return QStringLiteral("The file ") + name +
           QStringLiteral(" has been changed. Save the changes to the attachment?");
}

QString suggestedSaveName(const ListedAttachment& item)
{
    if (isMemo(item.type))
        return withTextExtension(withoutFolder(shownTitle(item)).trimmed());
    return withoutFolder(item.fileName.toString());
}

QString withTextExtension(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + QStringLiteral(".txt");
}

std::optional<RefusalOf<AddField>> checkWebPage(const QString& title, const QString& address)
{
    return checkLink(title, address, QStringLiteral("Please specify a web address"));
}

std::optional<RefusalOf<AddField>> checkShortcut(const QString& title, const QString& path)
{
    return checkLink(title, path, QStringLiteral("Please specify the path of the file"));
}

std::optional<RefusalOf<AddField>> checkFile(const QString& path, const QString& title)
{
    if (path.trimmed().isEmpty())
        return RefusalOf<AddField>{QStringLiteral("Please select a file"), AddField::Address};
    if (title.trimmed().isEmpty())
        return RefusalOf<AddField>{memo::kSpecifyTitle, AddField::Title};
    return std::nullopt;
}

} // namespace bx::attachments
