#pragma once

#include <QString>

#include <optional>

/**
 * Personal folders of the main window: task folders in the team tree and mail folders on the
 * Messages tab (table FOLDER). A folder belongs to the user who made it and to the workshop it was
 * made in; folders nest through Parent_Folder_Counter (0 = top level). A task is in a folder when
 * SCR_Parent_Folder_Number holds the folder's counter, a message when MAIL_Folder_Number does.
 *
 * The commands take the session and a prompt: they ask and show their messages themselves and
 * return what the tree needs to follow. Database errors travel up to the window's command.
 */
namespace bx {

class Database;
class DbError;
class Prompt;
class Session;

namespace folders {

inline const QString kNotFound = QStringLiteral("Folder not found");

/** "Would you like to delete folder " + name + "?" */
QString deleteQuestion(const QString& name);

/** The folder commands that word their database failures themselves. */
enum class FolderCommand
{
    Rename, ///< shows the error's description
    Delete  ///< shows the error's number, ": " and its description
};

/** Shows a failure of a folder command as that command words it (critical box), and logs it. */
void reportFailure(Session& session, Prompt& prompt, const DbError& e, FolderCommand command);

} // namespace folders

/** Folder_Type: what the folder files. */
enum class FolderType
{
    Task = 0, ///< a task folder of the team tree
    Mail = 1  ///< a mail folder of the Messages tab
};

/** One row of FOLDER. */
struct FolderRow
{
    qlonglong counter = 0; ///< Folder_Counter
    QString name;
    QString ownerId;
    qlonglong parent = 0; ///< Parent_Folder_Counter; 0 at the top level
    int type = 0;         ///< Folder_Type
    qlonglong groupId = 0;
};

/** The folder with this counter, in any workshop; nothing when there is none. Throws DbError. */
std::optional<FolderRow> readFolder(Database& db, qlonglong counter);

/**
 * IDM_FOLDER: asks for the name ("Create New Personal Folder") and adds a folder of the signed-in
 * user in the current workshop under `parent` (the selected folder, or 0). An empty answer or
 * Cancel ends the command.
 * @return the new folder; nothing when nothing was added. Throws DbError (runCommand reports it).
 */
std::optional<FolderRow> createFolder(Session& session, Prompt& prompt, FolderType type,
                                      qlonglong parent);

/**
 * IDM_RENAME_FOLDER: `folder` is the selected folder's counter, 0 when the selected node is not a
 * folder ("Please select a folder to rename"). Asks for the new name ("Rename Personal Folder",
 * starting from `oldName`); a non-empty answer is stored when the folder is one of the current
 * workshop ("Folder not found" otherwise).
 * @return the new name; nothing when nothing changed (message shown). Throws DbError
 *         (reportFailure with FolderCommand::Rename words it).
 */
std::optional<QString> renameFolder(Session& session, Prompt& prompt, qlonglong folder,
                                    const QString& oldName);

/**
 * IDM_DELETE_FOLDER: `folder` is the selected folder's counter, 0 when the selected node is not a
 * folder ("Please select a folder to delete"). Asks "Would you like to delete folder <name>?";
 * refuses a mail folder that holds messages and a task folder that holds tasks of the current
 * workshop. Otherwise, in one transaction, deletes the folder, lifts its sub-folders to its parent
 * and takes tasks of other workshops out of it (they would point at nothing).
 * @return the deleted folder's parent, under which the tree puts its sub-folders; nothing when
 *         nothing was deleted (message shown). Throws DbError (reportFailure with
 *         FolderCommand::Delete words it).
 */
std::optional<qlonglong> deleteFolder(Session& session, Prompt& prompt, FolderType type,
                                      qlonglong folder, const QString& name);

} // namespace bx
