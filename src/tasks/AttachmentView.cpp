#include "tasks/AttachmentView.h"

#include "core/Gmt.h"
#include "core/db/Database.h"
#include "tasks/AttachmentTransfer.h"
#include "tasks/MemoText.h"

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

} // namespace

TaskAttachmentLists listFor(Database& db, const Clock& clock, qlonglong taskNumber)
{
    RecordSet rows = db.query(
        QStringLiteral("SELECT Attach_Number, Attach_Type, Attach_Title, Attach_Filename, "
                       "Attach_Owner, Attach_Date, Show_In_TabBar FROM ATTACH WHERE SCR_Number = "
                       "? ORDER BY Attach_Date DESC, Attach_Number DESC"),
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
    return local.isValid() ? local.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
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
    return known ? kKnownFileNote : kNewFileNote;
}

Outcome<QUrl> webAddressToOpen(const QString& address)
{
    const QUrl url = QUrl::fromUserInput(address.trimmed());
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
         scheme != QLatin1String("ftp")))
        return RefusalOf<>{kNotAWebAddress};
    return url;
}

namespace {

/**
 * Types the desktop would run, install or hand to an interpreter rather than show. A type counts
 * when it is one of these or inherits one (a shell script inherits application/x-executable).
 */
const QStringList& programTypes()
{
    static const QStringList types = {
        // executables and shared libraries
        QStringLiteral("application/x-executable"),
        QStringLiteral("application/x-pie-executable"),
        QStringLiteral("application/x-sharedlib"),
        QStringLiteral("application/x-elf"),
        QStringLiteral("application/x-mach-binary"),
        // scripts
        QStringLiteral("application/x-shellscript"),
        QStringLiteral("application/x-csh"),
        QStringLiteral("text/x-python"),
        QStringLiteral("text/x-python3"),
        QStringLiteral("application/x-perl"),
        QStringLiteral("application/x-ruby"),
        QStringLiteral("application/javascript"),
        QStringLiteral("text/javascript"),
        QStringLiteral("application/x-php"),
        QStringLiteral("text/x-tcl"),
        QStringLiteral("application/x-tcl"),
        QStringLiteral("text/x-script"),
        // installers, packages and bundles
        QStringLiteral("application/vnd.debian.binary-package"),
        QStringLiteral("application/x-deb"),
        QStringLiteral("application/x-rpm"),
        QStringLiteral("application/x-msi"),
        QStringLiteral("application/x-ms-installer"),
        QStringLiteral("application/vnd.appimage"),
        QStringLiteral("application/x-iso9660-appimage"),
        QStringLiteral("application/vnd.flatpak"),
        QStringLiteral("application/vnd.flatpak.ref"),
        QStringLiteral("application/vnd.flatpak.repo"),
        QStringLiteral("application/vnd.snap"),
        // Windows programs
        QStringLiteral("application/vnd.microsoft.portable-executable"),
        QStringLiteral("application/x-ms-dos-executable"),
        QStringLiteral("application/x-ms-ne-executable"),
        QStringLiteral("application/x-msdownload"),
        QStringLiteral("application/x-bat"),
        QStringLiteral("application/x-ms-shortcut"),
        // Java
        QStringLiteral("application/x-java-archive"),
        QStringLiteral("application/x-java"),
        QStringLiteral("application/x-java-vm"),
        QStringLiteral("application/x-java-jnlp-file"),
        // desktop launchers
        QStringLiteral("application/x-desktop"),
    };
    return types;
}

/**
 * Endings of Windows programs and scripts the MIME database of the desktop may not know by
 * name; a wine or mono setup would still run them.
 */
bool hasWindowsProgramEnding(const QString& name)
{
    static const QStringList endings = {
        QStringLiteral("bat"), QStringLiteral("cmd"), QStringLiteral("com"), QStringLiteral("cpl"),
        QStringLiteral("exe"), QStringLiteral("hta"), QStringLiteral("lnk"), QStringLiteral("msc"),
        QStringLiteral("msi"), QStringLiteral("msp"), QStringLiteral("pif"), QStringLiteral("ps1"),
        QStringLiteral("scr"), QStringLiteral("vbe"), QStringLiteral("vbs"), QStringLiteral("wsf"),
        QStringLiteral("wsh"),
    };
    return endings.contains(QFileInfo(name).suffix(), Qt::CaseInsensitive);
}

/**
 * A Java archive is a zip archive whose first entry is its META-INF folder or manifest; the MIME
 * database tells it from a zip archive only by its name.
 */
bool isJavaArchive(const QFileInfo& info)
{
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(64);
    return head.startsWith("PK\x03\x04") && head.mid(30).startsWith("META-INF/");
}

bool isProgramType(const QMimeType& type)
{
    if (!type.isValid())
        return false;
    if (type.name().startsWith(QLatin1String("text/x-script"), Qt::CaseInsensitive))
        return true;
    for (const QString& program : programTypes())
        if (type.inherits(program))
            return true;
    const QStringList ancestors = type.allAncestors();
    return std::any_of(ancestors.begin(), ancestors.end(), [](const QString& ancestor) {
        return ancestor.startsWith(QLatin1String("text/x-script"), Qt::CaseInsensitive);
    });
}

/**
 * Whether the desktop would run the file instead of showing it: judged by its name (every type
 * its name may have) and, for a regular file, by its content, so that neither an innocent name
 * over a program nor a program's name over innocent bytes gets through.
 */
bool isProgramFile(const QFileInfo& info)
{
    if (info.isFile() && info.isExecutable())
        return true;
    const QString name = info.fileName();
    if (hasWindowsProgramEnding(name))
        return true;
    const QMimeDatabase mimes;
    const QList<QMimeType> byName = mimes.mimeTypesForFileName(name);
    if (std::any_of(byName.begin(), byName.end(), isProgramType))
        return true;
    // A pipe or device is not read: that could wait for ever.
    return info.isFile() &&
           (isProgramType(mimes.mimeTypeForFile(info, QMimeDatabase::MatchContent)) ||
            isJavaArchive(info));
}

} // namespace

Outcome<QUrl> fileToOpen(const QString& path)
{
    const QFileInfo info(path);
    if (path.trimmed().isEmpty() || !info.exists())
        return RefusalOf<>{kFileNotFound + path};
    if (!info.isDir() && isProgramFile(info))
        return RefusalOf<>{QStringLiteral("The file ") + path + kIsAProgram};
    return QUrl::fromLocalFile(info.absoluteFilePath());
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
    if (title.trimmed().isEmpty())
        return RefusalOf<AddField>{memo::kSpecifyTitle, AddField::Title};
    if (address.trimmed().isEmpty())
        return RefusalOf<AddField>{kSpecifyWebAddress, AddField::Address};
    return std::nullopt;
}

std::optional<RefusalOf<AddField>> checkShortcut(const QString& title, const QString& path)
{
    if (title.trimmed().isEmpty())
        return RefusalOf<AddField>{memo::kSpecifyTitle, AddField::Title};
    if (path.trimmed().isEmpty())
        return RefusalOf<AddField>{kSpecifyPath, AddField::Address};
    return std::nullopt;
}

std::optional<RefusalOf<AddField>> checkFile(const QString& path, const QString& title)
{
    if (path.trimmed().isEmpty())
        return RefusalOf<AddField>{kSelectFile, AddField::Address};
    if (title.trimmed().isEmpty())
        return RefusalOf<AddField>{memo::kSpecifyTitle, AddField::Title};
    return std::nullopt;
}

} // namespace bx::attachments
