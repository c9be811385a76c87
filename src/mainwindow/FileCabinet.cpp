#include "mainwindow/FileCabinet.h"

#include "core/Gmt.h"
#include "core/Prompt.h"
#include "core/Session.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "tasks/AttachmentTransfer.h"
#include "tasks/AttachmentType.h"
#include "tasks/Stamp.h"

#include <functional>

namespace bx::cabinet {

namespace {

/** The document's folder, or the folder it is to go to, is not one the user may see. */
const QString kNoAccessToFolder =
    QStringLiteral("You do not have access to the folder of this document.");

const QString kColumns =
    QStringLiteral("SELECT Attach_Number, Attach_Type, Attach_Title, Attach_Date, Attach_Owner, "
                   "Category, Attach_Filename, SCR_Number FROM ATTACH ");

QList<Document> documentsOf(const RecordSet& rs)
{
    QList<Document> out;
    for (int i = 0; i < rs.rowCount(); ++i) {
        const QVariantList& r = rs.rows().at(i);
        out << Document{r.value(0).toLongLong(),
                        r.value(1).toString(),
                        r.value(2).toString(),
                        RecordSet::toDateTime(r.value(3)),
                        r.value(4).toString(),
                        r.value(5).toString(),
                        r.value(6),
                        r.value(7).toLongLong()};
    }
    return out;
}

bool isBuiltInAdmin(const QString& userId)
{
    return userId.trimmed().compare(QLatin1String("admin"), Qt::CaseInsensitive) == 0;
}

/**
 * The condition that a row still belongs to `doc`'s document as the user was shown it: published,
 * with its file name and category. Rows another client moved, renamed or unpublished since fail.
 */
QString sameDocument(const Document& doc, QVariantList& params)
{
    params << doc.category;
    if (doc.fileName.isNull())
        return QStringLiteral(" AND Publish <> 0 AND COALESCE(Category, '') = ? AND "
                              "Attach_Filename IS NULL");
    params << doc.fileName;
    return QStringLiteral(" AND Publish <> 0 AND COALESCE(Category, '') = ? AND "
                          "Attach_Filename = ?");
}

QVariant workshopValue(qlonglong workshop)
{
    return workshop != 0 ? QVariant(workshop) : QVariant();
}

/** The document, its refusal when gone or not to be changed by the user. */
Outcome<Document> changeable(Session& session, qlonglong number)
{
    const std::optional<Document> doc = readDocument(session.db(), number);
    if (!doc)
        return RefusalOf<>{kDocumentNotFound};
    if (auto refused = refuseUnlessMayChange(session.db(), session.user.record, *doc))
        return *refused;
    return *doc;
}

/** The archived versions to change with the document: asks `question` when there are any. */
QList<Document> withArchived(Database& db, Prompt& prompt, const Document& doc,
                             const QString& question)
{
    const QList<Document> archived = archivedVersions(db, doc);
    if (archived.isEmpty() || prompt.ask(question) != PromptAnswer::Yes)
        return {doc};
    return QList<Document>{doc} + archived;
}

/**
 * Sets the columns `assignments` names on every row of `rows` (versions of `doc`), in one
 * transaction, each with the values `valuesOf` gives for it. The document itself must still be
 * as shown; an archived row changed since is skipped.
 */
Outcome<Done> updateVersions(Database& db, const Document& doc, const QList<Document>& rows,
                             const QString& assignments,
                             const std::function<QVariantList(const Document& row)>& valuesOf)
{
    const QString update = QStringLiteral("UPDATE ATTACH SET ") + assignments +
                           QStringLiteral(" WHERE Attach_Number = ?");
    Transaction tx(db);
    for (const Document& row : rows) {
        QVariantList params = valuesOf(row);
        params << row.number;
        const QString same = sameDocument(doc, params);
        if (db.execute(update + same, params) == 0 && row.number == doc.number)
            return RefusalOf<>{kDocumentNotFound};
    }
    tx.commit();
    return Done{};
}

} // namespace

bool FolderAccess::sees(const QString& category) const
{
    if (all)
        return true;
    const QString stored = storedCategory(category);
    if (stored.isEmpty())
        return !granted.isEmpty();
    return granted.contains(stored, Qt::CaseInsensitive);
}

FolderAccess folderAccess(Database& db, const UserRecord& user)
{
    return {isBuiltInAdmin(user.userId), grantedFolders(db, user.userId)};
}

QString storedCategory(const QString& folder)
{
    return folder.trimmed().compare(kUnspecifiedFolder, Qt::CaseInsensitive) == 0 ? QString()
                                                                                  : folder;
}

AttachmentPlace placeFor(const Session& session, const QString& folder)
{
    return {0, storedCategory(folder), session.currentWorkshopId};
}

attachments::VersionAuthor authorOf(const Session& session)
{
    return {session.user.userId, GmtConverter(session.clock()).nowGmt(), session.currentWorkshopId};
}

std::optional<Document> readDocument(Database& db, qlonglong number)
{
    const QList<Document> found = documentsOf(
        db.query(kColumns + QStringLiteral("WHERE Attach_Number = ? AND Publish <> 0"), {number}));
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

QList<Document> archivedVersions(Database& db, const Document& doc)
{
    if (doc.fileName.isNull())
        return {};
    QVariantList params{doc.number};
    const QString same = sameDocument(doc, params);
    return documentsOf(db.query(kColumns + QStringLiteral("WHERE Attach_Number < ?") + same +
                                    QStringLiteral(" ORDER BY Attach_Number DESC"),
                                params));
}

std::optional<RefusalOf<>> refuseUnlessVisible(Database& db, const UserRecord& user,
                                               const Document& doc)
{
    if (folderAccess(db, user).sees(doc.category))
        return std::nullopt;
    return RefusalOf<>{kNoAccessToFolder};
}

std::optional<RefusalOf<>> refuseUnlessMayChange(Database& db, const UserRecord& user,
                                                 const Document& doc)
{
    if (auto refused = refuseUnlessVisible(db, user, doc))
        return refused;
    if (UserRights::isAdministrator(user))
        return std::nullopt;
    const auto current = attachments::currentVersion(db, doc.number);
    const QString owner = current ? current->owner : doc.owner;
    if (owner.trimmed().compare(user.userId.trimmed(), Qt::CaseInsensitive) == 0)
        return std::nullopt;
    return RefusalOf<>{
        QStringLiteral("Only the owner of the current version of this document or an administrator "
                       "may move, rename or delete it.")};
}

Outcome<Done> moveDocument(Session& session, Prompt& prompt, qlonglong number,
                           const QString& folder)
{
    Database& db = session.db();
    const Outcome<Document> doc = changeable(session, number);
    if (!doc)
        return *doc.refusal();
    const QString target = storedCategory(folder);
    if (!folderAccess(db, session.user.record).sees(target))
        return RefusalOf<>{kNoAccessToFolder};
    const QList<Document> rows =
        withArchived(db, prompt, *doc, QStringLiteral("Move archived documents also?"));
    const QVariant workshop = workshopValue(session.currentWorkshopId);
    return updateVersions(db, *doc, rows, QStringLiteral("Category = ?, Group_ID = ?"),
                          [&](const Document&) {
                              return QVariantList{target, workshop};
                          });
}

Outcome<Done> renameDocument(Session& session, Prompt& prompt, qlonglong number)
{
    Database& db = session.db();
    const Outcome<Document> doc = changeable(session, number);
    if (!doc)
        return *doc.refusal();
    if (!isAttachmentType(doc->type, AttachmentType::File))
        return RefusalOf<>{QStringLiteral("Only file documents can be given a new file name.")};
    const std::optional<QString> typed =
        prompt.input(QStringLiteral("Please, enter new filename"),
                     QStringLiteral("Brindlepax 2006"), doc->fileName.toString());
    const QString name = typed ? attachments::withoutFolder(typed->trimmed()) : QString();
    if (name.isEmpty())
        return Outcome<Done>::declined();
    const QList<Document> rows =
        withArchived(db, prompt, *doc, QStringLiteral("Rename archived documents also?"));

    const GmtConverter gmt(session.clock());
    return updateVersions(
        db, *doc, rows, QStringLiteral("Attach_Filename = ?, Attach_Title = ?"),
        [&](const Document& row) {
            return QVariantList{name, stamped(name, row.owner, gmt.toLocal(row.date))};
        });
}

Outcome<Done> deleteDocument(Session& session, Prompt& prompt, qlonglong number)
{
    Database& db = session.db();
    const Outcome<Document> doc = changeable(session, number);
    if (!doc)
        return *doc.refusal();
    if (prompt.ask(QStringLiteral("Are you sure?")) != PromptAnswer::Yes)
        return Outcome<Done>::declined();
    Transaction tx(db);
    if (isAttachmentType(doc->type, AttachmentType::Form))
        db.execute(QStringLiteral("DELETE FROM CONTROL WHERE ATTACH_NUMBER = ?"), {number});
    if (db.execute(QStringLiteral("DELETE FROM ATTACH WHERE Attach_Number = ? AND Publish <> 0"),
                   {number}) == 0)
        return RefusalOf<>{kDocumentNotFound};
    tx.commit();
    return Done{};
}

} // namespace bx::cabinet
