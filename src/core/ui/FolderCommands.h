#pragma once

#include "core/Folders.h"

namespace bx {

/**
 * The folder commands of the team tree and the Messages tab, run from a window's slot: each asks
 * and refuses through the prompt as core/Folders.h says, and reports a database failure the way
 * that command words it. Each returns whether the folders changed, so that the window reads its
 * tree again.
 */
bool newFolderCommand(Session& session, Prompt& prompt, FolderType type, qlonglong parent);
bool renameFolderCommand(Session& session, Prompt& prompt, qlonglong folder,
                         const QString& oldName);
bool deleteFolderCommand(Session& session, Prompt& prompt, FolderType type, qlonglong folder,
                         const QString& name);

} // namespace bx
