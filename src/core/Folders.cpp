#include "core/Folders.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/db/Database.h"
#include "core/db/DbError.h"
#include "core/schema/TaskColumns.h"

namespace bx {

namespace folders {

QString deleteQuestion(const QString& name)
{
    return QStringLiteral("Would you like to delete folder ") + name + QStringLiteral("?");
}

void reportFailure(Session& session, Prompt& prompt, const DbError& e, FolderCommand command)
{
    session.errorLog().write(QStringLiteral("Error ") + e.number(), e.text());
    const QString text = command == FolderCommand::Delete
                             ? e.number() + QStringLiteral(": ") + e.description()
                             : e.description();
    prompt.inform(text, {}, PromptIcon::Critical);
}

} // namespace folders

namespace {

/** The label of the one-line input of creating and renaming. */
const QString kNameLabel = QStringLiteral("Folder name:");

FolderRow toFolder(const RecordSet& rs)
{
    FolderRow f;
    f.counter = rs.number(QStringLiteral("Folder_Counter"));
    f.name = rs.text(QStringLiteral("Folder_Name"));
    f.ownerId = rs.text(QStringLiteral("Folder_Owner_ID"));
    f.parent = rs.number(QStringLiteral("Parent_Folder_Counter"));
    f.type = static_cast<int>(rs.number(QStringLiteral("Folder_Type")));
    f.groupId = rs.number(QStringLiteral("Group_ID"));
    return f;
}

/** The folder when it belongs to the current workshop. */
std::optional<FolderRow> folderOfWorkshop(Session& session, qlonglong counter)
{
    const RecordSet rs = session.db().query(
        QStringLiteral("SELECT * FROM FOLDER WHERE Folder_Counter = ? AND Group_ID = ?"),
        {counter, session.currentWorkshopId});
    if (rs.isEmpty())
        return std::nullopt;
    return toFolder(rs);
}

} // namespace

std::optional<FolderRow> readFolder(Database& db, qlonglong counter)
{
    const RecordSet rs =
        db.query(QStringLiteral("SELECT * FROM FOLDER WHERE Folder_Counter = ?"), {counter});
    if (rs.isEmpty())
        return std::nullopt;
    return toFolder(rs);
}

std::optional<FolderRow> createFolder(Session& session, Prompt& prompt, FolderType type,
                                      qlonglong parent)
{
    const std::optional<QString> typed =
        prompt.input(kNameLabel, QStringLiteral("Create New Personal Folder"));
    if (!typed || typed->trimmed().isEmpty())
        return std::nullopt;
    FolderRow f;
    f.name = *typed;
    f.ownerId = session.user.userId;
    f.parent = parent;
    f.type = static_cast<int>(type);
    f.groupId = session.currentWorkshopId;
    f.counter = session.db().insertNumbered(
        QStringLiteral("FOLDER"), QStringLiteral("Folder_Counter"),
        {QStringLiteral("Folder_Owner_ID"), QStringLiteral("Folder_Name"),
         QStringLiteral("Parent_Folder_Counter"), QStringLiteral("Folder_Type"),
         QStringLiteral("Group_ID")},
        {f.ownerId, f.name, f.parent, f.type, f.groupId});
    return f;
}

std::optional<QString> renameFolder(Session& session, Prompt& prompt, qlonglong folder,
                                    const QString& oldName)
{
    if (folder == 0) {
        prompt.inform(QStringLiteral("Please select a folder to rename"));
        return std::nullopt;
    }
    const std::optional<QString> typed =
        prompt.input(kNameLabel, QStringLiteral("Rename Personal Folder"), oldName);
    if (!typed || typed->trimmed().isEmpty())
        return std::nullopt;
    Transaction tx(session.db());
    if (!folderOfWorkshop(session, folder)) {
        prompt.inform(folders::kNotFound);
        return std::nullopt;
    }
    session.db().execute(
        QStringLiteral("UPDATE FOLDER SET Folder_Name = ? WHERE Folder_Counter = ?"),
        {*typed, folder});
    tx.commit();
    return *typed;
}

std::optional<qlonglong> deleteFolder(Session& session, Prompt& prompt, FolderType type,
                                      qlonglong folder, const QString& name)
{
    if (folder == 0) {
        prompt.inform(QStringLiteral("Please select a folder to delete"));
        return std::nullopt;
    }
    if (prompt.ask(folders::deleteQuestion(name), QStringLiteral("Delete Folder?")) !=
        PromptAnswer::Yes)
        return std::nullopt;
    Database& db = session.db();
    Transaction tx(db);
    if (type == FolderType::Mail) {
        if (db.scalar(QStringLiteral("SELECT COUNT(*) FROM MAIL WHERE MAIL_Folder_Number = ?"),
                      {folder})
                .toLongLong() > 0) {
            prompt.inform(
                QStringLiteral("You can not delete this folder because it contains messages"));
            return std::nullopt;
        }
    } else if (db.scalar(QStringLiteral("SELECT COUNT(*) FROM SCR WHERE %1 = ? AND %2 = ?")
                             .arg(scr::ParentFolderNumber, scr::GroupId),
                         {folder, session.currentWorkshopId})
                   .toLongLong() > 0) {
        prompt.inform(QStringLiteral("You can not delete this folder because it contains tasks"));
        return std::nullopt;
    }
    const std::optional<FolderRow> row = folderOfWorkshop(session, folder);
    if (!row) {
        prompt.inform(folders::kNotFound);
        return std::nullopt;
    }
    db.execute(QStringLiteral("DELETE FROM FOLDER WHERE Folder_Counter = ?"), {folder});
    db.execute(QStringLiteral("UPDATE FOLDER SET Parent_Folder_Counter = ? WHERE "
                              "Parent_Folder_Counter = ?"),
               {row->parent, folder});
    if (type == FolderType::Task) {
        db.execute(
            QStringLiteral("UPDATE SCR SET %1 = 0 WHERE %1 = ?").arg(scr::ParentFolderNumber),
            {folder});
    }
    tx.commit();
    return row->parent;
}

} // namespace bx
