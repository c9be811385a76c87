#pragma once

#include "tasks/LookupLists.h"

#include <QList>
#include <QStringList>

namespace bx {

class Prompt;
class Session;

/** The priorities the priority picker offers, in order. @throws DbError */
QStringList priorityChoices(Session& session, Prompt& prompt);

/**
 * The folders the folder picker offers: the category tree of LU_CATEGORY in display order,
 * without the pseudo-entry "Unspecified Folder", which is no folder of its own. @throws DbError
 */
QList<CategoryNode> folderChoices(Session& session, Prompt& prompt);

} // namespace bx
