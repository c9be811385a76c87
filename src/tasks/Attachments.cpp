#include "tasks/Attachments.h"

#include "core/Prompt.h"
#include "core/schema/TaskColumns.h"
#include "tasks/AttachmentTransfer.h"
#include "tasks/TaskTypes.h"

#include <QBuffer>
#include <QFile>

namespace bx::attachments {

namespace {

const QString kAttach = QStringLiteral("ATTACH");
const QString kNumber = QStringLiteral("Attach_Number");

QVariant workshopValue(qlonglong workshop)
{
    // The column refers to LU_GROUP: no workshop is Null, never 0.
    return workshop != 0 ? QVariant(workshop) : QVariant();
}

/** Removes one attachment row of the task with the rows that hang on it. @return rows removed */
qlonglong removeRow(Database& db, qlonglong taskNumber, qlonglong attachNumber)
{
    const qlonglong removed = db.execute(
        QStringLiteral("DELETE FROM ATTACH WHERE Attach_Number = ? AND %1 = ?").arg(scr::Number),
        {attachNumber, taskNumber});
    if (removed == 0)
        return 0;
    // A form's values and a checklist's ticked items; the templates have number 0.
    db.execute(QStringLiteral("DELETE FROM CONTROL WHERE ATTACH_NUMBER = ?"), {attachNumber});
    db.execute(QStringLiteral("DELETE FROM CHECKLIST_ITEM WHERE Attach_Number = ?"),
               {attachNumber});
    return removed;
}

bool showsOnTabBar(AttachmentType type)
{
    return type == AttachmentType::Checklist || type == AttachmentType::PlugIn;
}

} // namespace

std::optional<RefusalOf<>> refuseLongText(const QByteArray& utf8)
{
    if (utf8.size() > kMaxTextBytes)
        return RefusalOf<>{
            QStringLiteral("The text is too long to store: at most 8 MiB are kept.")};
    return std::nullopt;
}

QString plugInAttachedMessage(const QString& name)
{
    return QStringLiteral("The ActiveX with name ") + name +
           QStringLiteral(" is already attached to this task.");
}

Outcome<qlonglong> add(Database& db, const AttachmentPlace& place, const PendingAttachment& pending,
                       QIODevice* source, qint64 size, const QString& sourceName,
                       const BlobProgress& progress)
{
    const QString typeCode = attachmentTypeCode(pending.type);
    const bool file = storesFile(pending.type);
    const QString fileName =
        file ? withoutFolder(pending.fileName.isEmpty() ? pending.sourcePath : pending.fileName)
             : pending.fileName;
    const QString name = !sourceName.isEmpty()           ? sourceName
                         : !pending.sourcePath.isEmpty() ? pending.sourcePath
                                                         : fileName;

    if (pending.type == AttachmentType::PlugIn &&
        !db.query(QStringLiteral("SELECT Attach_Number FROM ATTACH WHERE %1 = ? AND "
                                 "Attach_Filename = ?")
                      .arg(scr::Number),
                  {place.taskNumber, pending.fileName})
             .isEmpty())
        return RefusalOf<>{plugInAttachedMessage(pending.fileName)};

    QByteArray text;
    if (file) {
        if (!source)
            return RefusalOf<>{QStringLiteral("No file was given to attach.")};
        if (auto refused = checkStorable(db, name, size))
            return *refused;
    } else {
        text = pending.content.toUtf8();
        if (auto refused = storesText(pending.type) ? refuseLongText(text) : std::nullopt)
            return *refused;
        if (auto refused = checkStorable(db, pending.title, text.size()))
            return *refused;
    }

    QStringList columns{scr::Number,
                        QStringLiteral("Attach_Title"),
                        QStringLiteral("Attach_Type"),
                        QStringLiteral("Attach_Owner"),
                        QStringLiteral("Attach_Date"),
                        QStringLiteral("Show_In_TabBar"),
                        QStringLiteral("Publish"),
                        QStringLiteral("Category"),
                        QStringLiteral("Group_ID")};
    QVariantList values{place.taskNumber,
                        pending.title,
                        typeCode,
                        pending.owner,
                        pending.date,
                        db.dialect().flag(pending.showInTabBar),
                        db.dialect().flag(pending.publish),
                        place.category,
                        workshopValue(place.workshop)};
    if (!fileName.isEmpty()) {
        columns << QStringLiteral("Attach_Filename");
        values << fileName;
    }

    try {
        Transaction tx(db);
        const qlonglong number = db.insertNumbered(kAttach, kNumber, columns, values);
        if (file) {
            if (auto refused = importContent(db, number, *source, size, name, progress))
                return *refused;
        } else if (!text.isEmpty()) {
            QBuffer buffer(&text);
            buffer.open(QIODevice::ReadOnly);
            db.writeBlob(dataOf(number), buffer, text.size(), progress);
        }
        if (pending.showInTabBar && showsOnTabBar(pending.type))
            db.execute(QStringLiteral("UPDATE ATTACH SET Show_In_TabBar = 0 WHERE %1 = ? "
                                      "AND Attach_Type = ? AND Attach_Number <> ?")
                           .arg(scr::Number),
                       {place.taskNumber, typeCode, number});
        tx.commit();
        return number;
    } catch (const TransferCancelled&) {
        return Outcome<qlonglong>::declined();
    }
}

std::optional<PendingAttachment> contactAttachment(Database& db, const QString& contactKey,
                                                   const QString& owner, const QDateTime& date)
{
    bool numeric = false;
    const qlonglong key = contactKey.trimmed().toLongLong(&numeric);
    if (!numeric || key <= 0)
        return std::nullopt;
    const RecordSet contact = db.query(
        QStringLiteral("SELECT First_Name, Last_Name FROM CONTACT WHERE CONTACT_KEY = ?"), {key});
    if (contact.isEmpty())
        return std::nullopt;
    PendingAttachment pending;
    pending.type = AttachmentType::Contact;
    pending.fileName = QString::number(key);
    pending.title = contact.text(QStringLiteral("First_Name")) + QLatin1Char(' ') +
                    contact.text(QStringLiteral("Last_Name"));
    pending.owner = owner;
    pending.date = date;
    return pending;
}

Outcome<qlonglong> addFromFile(Database& db, const AttachmentPlace& place,
                               const PendingAttachment& pending, const BlobProgress& progress)
{
    QFile file(pending.sourcePath);
    if (!file.open(QIODevice::ReadOnly))
        return RefusalOf<>{QStringLiteral("The file %1 could not be imported: %2")
                               .arg(pending.sourcePath, file.errorString())};
    return add(db, place, pending, &file, file.size(), pending.sourcePath, progress);
}

void copyFormValues(Database& db, qlonglong from, qlonglong to)
{
    db.execute(QStringLiteral("INSERT INTO CONTROL (FORM_NAME, CONTROL_KEY, ATTACH_NUMBER, "
                              "MAIN_FORM, NAME, TYPE, \"table\", FIELD, WIDTH, DATABASE, "
                              "\"left\", HEIGHT, VALUE, TOP, CHECKED, MANDATORY, RIGHT_ALIGN) "
                              "SELECT FORM_NAME, CONTROL_KEY, CAST(? AS INTEGER), MAIN_FORM, "
                              "NAME, TYPE, \"table\", FIELD, WIDTH, DATABASE, \"left\", HEIGHT, "
                              "VALUE, TOP, CHECKED, MANDATORY, RIGHT_ALIGN FROM CONTROL WHERE "
                              "ATTACH_NUMBER = ?"),
               {to, from});
}

Outcome<qlonglong> copyToTask(Database& db, const AttachmentPlace& place, qlonglong sourceNumber,
                              const QString& owner, const QDateTime& date)
{
    if (sourceNumber == 0)
        return RefusalOf<>{kSelectAttachment};
    Transaction tx(db);
    // The stored content stays in the engine: only whether there is any is read here.
    const RecordSet source = db.queryLocked(
        QStringLiteral("SELECT Attach_Type, Attach_Filename, Attach_Title, CASE WHEN OLE_Data IS "
                       "NULL THEN 0 ELSE 1 END AS Has_Data FROM ATTACH WHERE Attach_Number = ?"),
        {sourceNumber});
    if (source.isEmpty())
        return RefusalOf<>{QStringLiteral("Unable to locate Attachment")};
    const qlonglong number = db.insertNumbered(
        kAttach, kNumber,
        {scr::Number, QStringLiteral("Attach_Type"), QStringLiteral("Attach_Filename"),
         QStringLiteral("Attach_Title"), QStringLiteral("Attach_Owner"),
         QStringLiteral("Attach_Date"), QStringLiteral("Category"), QStringLiteral("Group_ID")},
        {place.taskNumber, source.value(QStringLiteral("Attach_Type")),
         source.value(QStringLiteral("Attach_Filename")),
         source.value(QStringLiteral("Attach_Title")), owner, date, place.category,
         workshopValue(place.workshop)});
    if (source.flag(QStringLiteral("Has_Data")))
        db.copyBlob(dataOf(sourceNumber), dataOf(number));
    if (isAttachmentType(source.text(QStringLiteral("Attach_Type")), AttachmentType::Form))
        copyFormValues(db, sourceNumber, number);
    tx.commit();
    return number;
}

AttachmentRights rightsFor(const QString& taskStatus, bool permissionWrite, bool editAttachments)
{
    const bool open =
        hasStatus(taskStatus, TaskStatus::Active) || hasStatus(taskStatus, TaskStatus::Incomplete);
    AttachmentRights rights;
    rights.add = open && permissionWrite;
    rights.change = rights.add && editAttachments;
    return rights;
}

Outcome<Done> deleteAttachment(Database& db, Prompt& prompt, qlonglong taskNumber,
                               qlonglong attachNumber, bool mayChange)
{
    if (attachNumber == 0)
        return RefusalOf<>{QStringLiteral("Please select Attachment to delete")};
    if (db.query(QStringLiteral("SELECT Attach_Number FROM ATTACH WHERE Attach_Number = ? AND "
                                "%1 = ?")
                     .arg(scr::Number),
                 {attachNumber, taskNumber})
            .isEmpty())
        return RefusalOf<>{kAttachmentNotFound};
    if (!mayChange)
        return RefusalOf<>{QStringLiteral("You may not delete this item")};
    if (prompt.ask(QStringLiteral("Are you sure?"), QStringLiteral("DELETE"),
                   PromptButtons::YesNo) != PromptAnswer::Yes)
        return Outcome<Done>::declined();
    Transaction tx(db);
    // Another client may have deleted it while the question was open.
    if (removeRow(db, taskNumber, attachNumber) == 0)
        return RefusalOf<>{kAttachmentNotFound};
    tx.commit();
    return Done{};
}

int deleteAdded(Database& db, qlonglong taskNumber, const QList<qlonglong>& added)
{
    Transaction tx(db);
    int removed = 0;
    for (const qlonglong number : added)
        removed += int(removeRow(db, taskNumber, number));
    tx.commit();
    return removed;
}

} // namespace bx::attachments
