#include "tasks/DocumentVersions.h"

#include "core/schema/TaskColumns.h"
#include "tasks/AttachmentTransfer.h"
#include "tasks/Stamp.h"

namespace bx::attachments {

std::optional<PublishedVersion> currentVersion(Database& db, qlonglong attachNumber)
{
    const RecordSet row =
        db.query(QStringLiteral("SELECT Attach_Number, Attach_Owner, Attach_Date, Attach_Filename, "
                                "Category, Publish FROM ATTACH WHERE Attach_Number = ?"),
                 {attachNumber});
    if (row.isEmpty())
        return std::nullopt;
    const auto version = [](const RecordSet& rs) {
        return PublishedVersion{rs.number(QStringLiteral("Attach_Number")),
                                rs.text(QStringLiteral("Attach_Owner")),
                                rs.dateTime(QStringLiteral("Attach_Date"))};
    };
    // A row without file name shares its identity with no other.
    if (!row.flag(QStringLiteral("Publish")) || row.isNull(QStringLiteral("Attach_Filename")))
        return version(row);
    const RecordSet newest = db.query(
        QStringLiteral("SELECT Attach_Number, Attach_Owner, Attach_Date FROM ATTACH WHERE "
                       "Attach_Number = (SELECT MAX(Attach_Number) FROM ATTACH WHERE Publish <> 0 "
                       "AND Attach_Filename = ? AND COALESCE(Category, '') = ?)"),
        {row.value(QStringLiteral("Attach_Filename")), row.text(QStringLiteral("Category"))});
    return version(newest.isEmpty() ? row : newest);
}

bool isSharedDocument(Database& db, qlonglong attachNumber)
{
    return db.scalar(QStringLiteral("SELECT Publish FROM ATTACH WHERE Attach_Number = ?"),
                     {attachNumber})
               .toLongLong() != 0;
}

Outcome<qlonglong> publishVersion(Database& db, qlonglong of, const QString& title,
                                  const VersionAuthor& author, QIODevice* content, qint64 size,
                                  const QString& contentName, const BlobProgress& progress)
{
    if (content) {
        if (auto refused = checkStorable(db, contentName, size))
            return *refused;
    }
    Transaction tx(db);
    const RecordSet row =
        db.query(QStringLiteral("SELECT %1, Attach_Type, Attach_Title, Attach_Filename, Category "
                                "FROM ATTACH WHERE Attach_Number = ?")
                     .arg(scr::Number),
                 {of});
    if (row.isEmpty())
        return RefusalOf<>{kAttachmentNotFound};
    const qlonglong number = db.insertNumbered(
        QStringLiteral("ATTACH"), QStringLiteral("Attach_Number"),
        {scr::Number, QStringLiteral("Attach_Type"), QStringLiteral("Attach_Title"),
         QStringLiteral("Attach_Filename"), QStringLiteral("Category"),
         QStringLiteral("Attach_Owner"), QStringLiteral("Attach_Date"), QStringLiteral("Publish"),
         QStringLiteral("Show_In_TabBar"), QStringLiteral("Group_ID")},
        {row.value(scr::Number), row.value(QStringLiteral("Attach_Type")),
         title.isEmpty() ? row.value(QStringLiteral("Attach_Title")) : QVariant(title),
         row.value(QStringLiteral("Attach_Filename")), row.value(QStringLiteral("Category")),
         author.owner, author.dateGmt, db.dialect().flag(true), db.dialect().flag(false),
         author.workshop != 0 ? QVariant(author.workshop) : QVariant()});
    if (content) {
        if (auto refused = importContent(db, number, *content, size, contentName, progress))
            return *refused;
    }
    tx.commit();
    return number;
}

QString newerVersionQuestion(const QString& name, const QString& owner, const QDateTime& local)
{
    return QStringLiteral("The file ") + name +
           QStringLiteral(" has been changed, but %1 published a newer version of this document "
                          "on %2 since you opened it. Save your changes as the newest version?")
               .arg(owner.trimmed(), local.toString(kStampTimeFormat));
}

} // namespace bx::attachments
