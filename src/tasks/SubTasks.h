#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace bx {

class Database;
class Prompt;
class Session;

inline const QString kSelectTaskForSubtask =
    QStringLiteral("Please select a Task for Creating a Subtask.");
inline const QString kTemplateNotFound = QStringLiteral("Template record not found");

/**
 * CreateSubTask's checks: reads the parent; without Edit_Unowned the parent's owner must be the
 * signed-in user, compared trimmed and upper-cased ("You must own the task for which you are
 * creating a subtask"); a missing parent: "Please select a Task for Creating a Subtask." (critical
 * box). On success sets session.openMode = "DELEGATE", session.openFromTask = parent and returns
 * the parent's workshop (SCR_Group_ID) in which the new editor opens. nullopt when refused (the
 * message has been shown) or on a database error (logged and shown).
 */
std::optional<qlonglong> prepareSubTask(Session& session, Prompt& prompt, qlonglong parentNumber);

/** One template offered by the main window. */
struct TemplateEntry
{
    qlonglong number;
    QString title;
};

/** The templates: SCR_Contact_Key <> 1 AND SCR_TEMPLATE <> 0, by title. Throws DbError. */
QList<TemplateEntry> templateList(Database& db);

/**
 * "Template record not found" when the template row is gone; else sets openMode "CLONE",
 * openFromTask = the template, and returns true. The new editor opens in the current workshop.
 */
bool prepareFromTemplate(Session& session, Prompt& prompt, qlonglong templateNumber);

} // namespace bx
