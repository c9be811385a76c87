#pragma once

#include "tasks/TaskOpening.h"

#include <QList>
#include <QString>

#include <optional>

namespace bx {

class Database;
class Prompt;
class Session;

/**
 * CreateSubTask's checks: reads the parent; without Edit_Unowned the parent's owner must be the
 * signed-in user, compared trimmed and upper-cased ("You must own the task for which you are
 * creating a subtask"); a missing parent: "Please select a Task for Creating a Subtask." (critical
 * box). On success returns the opening of a sub-task of the parent, in the parent's workshop
 * (SCR_Group_ID). nullopt when refused (the message has been shown). Throws DbError.
 */
std::optional<TaskOpening> prepareSubTask(Session& session, Prompt& prompt, qlonglong parentNumber);

/** One template offered by the main window. */
struct TemplateEntry
{
    qlonglong number;
    QString title;
};

/** The templates: SCR_Contact_Key <> 1 AND SCR_TEMPLATE <> 0, by title. Throws DbError. */
QList<TemplateEntry> templateList(Database& db);

/**
 * "Template record not found" when the template row is gone (nullopt); else the opening of a new
 * task from the template, in the current workshop. Throws DbError.
 */
std::optional<TaskOpening> prepareFromTemplate(Session& session, Prompt& prompt,
                                               qlonglong templateNumber);

} // namespace bx
