#include "core/ui/FolderCommands.h"

#include "core/ui/RunCommand.h"

namespace bx {

bool newFolderCommand(Session& session, Prompt& prompt, FolderType type, qlonglong parent)
{
    std::optional<FolderRow> made;
    return runCommand(session, prompt,
                      [&] { made = createFolder(session, prompt, type, parent); }) &&
           made;
}

bool renameFolderCommand(Session& session, Prompt& prompt, qlonglong folder, const QString& oldName)
{
    std::optional<QString> renamed;
    const bool ran = runCommandReporting(
        [&] { renamed = renameFolder(session, prompt, folder, oldName); },
        [&](const DbError& e) {
            folders::reportFailure(session, prompt, e, folders::FolderCommand::Rename);
        });
    return ran && renamed;
}

bool deleteFolderCommand(Session& session, Prompt& prompt, FolderType type, qlonglong folder,
                         const QString& name)
{
    std::optional<qlonglong> parent;
    const bool ran = runCommandReporting(
        [&] { parent = deleteFolder(session, prompt, type, folder, name); },
        [&](const DbError& e) {
            folders::reportFailure(session, prompt, e, folders::FolderCommand::Delete);
        });
    return ran && parent;
}

} // namespace bx
