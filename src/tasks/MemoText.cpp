#include "tasks/MemoText.h"

#include "core/db/Database.h"
#include "tasks/AttachmentTransfer.h"
#include "tasks/AttachmentType.h"
#include "tasks/Attachments.h"

#include <QBuffer>
#include <QFile>

namespace bx::memo {

namespace {

const QString kTooLargeToImport = QStringLiteral("File is too large to import");

/** Replaces the stored text, inside the caller's transaction. */
void writeText(Database& db, qlonglong attachNumber, QByteArray utf8)
{
    QBuffer buffer(&utf8);
    buffer.open(QIODevice::ReadOnly);
    db.writeBlob(attachments::dataOf(attachNumber), buffer, utf8.size());
}

Outcome<bool> saveBox(Database& db, AttachmentType type, qlonglong taskNumber,
                      qlonglong attachNumber, const QString& text, bool changed)
{
    if (!changed || attachNumber == 0)
        return false;
    const QByteArray utf8 = text.toUtf8();
    if (auto refused = attachments::refuseLongText(utf8))
        return *refused;
    Transaction tx(db);
    const RecordSet row = db.queryLocked(
        QStringLiteral("SELECT Attach_Type FROM ATTACH WHERE Attach_Number = ? AND SCR_Number = ?"),
        {attachNumber, taskNumber});
    if (row.isEmpty() || !isAttachmentType(row.text(QStringLiteral("Attach_Type")), type))
        return false;
    writeText(db, attachNumber, utf8);
    tx.commit();
    return true;
}

} // namespace

Outcome<QString> importText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > attachments::kMaxTextBytes)
        return RefusalOf<>{kTooLargeToImport};
    const QByteArray bytes = file.read(attachments::kMaxTextBytes + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > attachments::kMaxTextBytes)
        return RefusalOf<>{kTooLargeToImport};
    return QString::fromUtf8(bytes);
}

QString shownTitle(const QVariant& fileName, const QString& title)
{
    if (!fileName.isNull())
        return fileName.toString();
    return title.section(QLatin1Char(','), 0, 0);
}

Outcome<StoredMemo> readMemo(Database& db, qlonglong attachNumber)
{
    const RecordSet row = db.query(
        QStringLiteral("SELECT Attach_Title, Attach_Filename FROM ATTACH WHERE Attach_Number = ?"),
        {attachNumber});
    if (row.isEmpty())
        return RefusalOf<>{attachments::kAttachmentNotFound};
    return StoredMemo{shownTitle(row.variant(QStringLiteral("Attach_Filename")),
                                 row.text(QStringLiteral("Attach_Title"))),
                      readText(db, attachNumber)};
}

QString readText(Database& db, qlonglong attachNumber)
{
    QByteArray bytes;
    QBuffer sink(&bytes);
    sink.open(QIODevice::WriteOnly);
    db.readBlob(attachments::dataOf(attachNumber), sink);
    return QString::fromUtf8(bytes);
}

Outcome<qlonglong> rewrite(Database& db, qlonglong attachNumber, const QString& title,
                           const QString& text, const attachments::VersionAuthor& author)
{
    if (title.trimmed().isEmpty())
        return RefusalOf<>{kSpecifyTitle};
    const QByteArray utf8 = text.toUtf8();
    if (auto refused = attachments::refuseLongText(utf8))
        return *refused;
    Transaction tx(db);
    qlonglong number = attachNumber;
    if (attachments::isSharedDocument(db, attachNumber)) {
        // A shared memo keeps its file name (its identity) and the old text as a version.
        const Outcome<qlonglong> published =
            attachments::publishVersion(db, attachNumber, title, author);
        if (!published)
            return *published.refusal();
        number = *published;
    } else if (db.execute(QStringLiteral("UPDATE ATTACH SET Attach_Filename = ?, Attach_Title = ? "
                                         "WHERE Attach_Number = ?"),
                          {title, title, attachNumber}) == 0) {
        return RefusalOf<>{attachments::kAttachmentNotFound};
    }
    writeText(db, number, utf8);
    tx.commit();
    return number;
}

Outcome<bool> SaveMemo(Database& db, qlonglong taskNumber, qlonglong attachNumber,
                       const QString& text, bool changed)
{
    return saveBox(db, AttachmentType::Memo, taskNumber, attachNumber, text, changed);
}

Outcome<bool> SaveDiscussion(Database& db, qlonglong taskNumber, qlonglong attachNumber,
                             const QString& text, bool changed)
{
    return saveBox(db, AttachmentType::Discussion, taskNumber, attachNumber, text, changed);
}

} // namespace bx::memo
