#include "tasks/SubTasks.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/TextCompare.h"
#include "core/UserRights.h"
#include "core/db/Database.h"
#include "core/schema/TaskColumns.h"

namespace bx {

std::optional<TaskOpening> prepareSubTask(Session& session, Prompt& prompt, qlonglong parentNumber)
{
    const RecordSet parent =
        session.db().query(QStringLiteral("SELECT %1, %2 FROM SCR WHERE %3 = ?")
                               .arg(scr::OwnerUserId, scr::GroupId, scr::Number),
                           {parentNumber});
    // A missing parent is told as such whatever the user's rights: it has no owner to compare.
    if (parent.isEmpty()) {
        prompt.inform(QStringLiteral("Please select a Task for Creating a Subtask."), {},
                      PromptIcon::Critical);
        return std::nullopt;
    }
    const bool owns = sameText(parent.text(scr::OwnerUserId), session.user.userId);
    if (!UserRights::mayChangeTaskOwnership(session.user.record, owns)) {
        prompt.inform(UserRights::kMustOwnParentTask);
        return std::nullopt;
    }
    return TaskOpening::subTaskOf(parentNumber, parent.number(scr::GroupId));
}

QList<TemplateEntry> templateList(Database& db)
{
    const RecordSet rows =
        db.query(QStringLiteral("SELECT %1, %2 FROM SCR WHERE %3 <> ? AND %4 <> ? ORDER BY %2")
                     .arg(scr::Number, scr::Title, scr::ContactKey, scr::Template),
                 {1, 0});
    QList<TemplateEntry> list;
    list.reserve(rows.rowCount());
    for (int row = 0; row < rows.rowCount(); ++row) {
        list.append(
            {rows.value(row, scr::Number).toLongLong(), rows.value(row, scr::Title).toString()});
    }
    return list;
}

std::optional<TaskOpening> prepareFromTemplate(Session& session, Prompt& prompt,
                                               qlonglong templateNumber)
{
    const RecordSet row = session.db().query(
        QStringLiteral("SELECT %1 FROM SCR WHERE %2 = ?").arg(scr::OwnerTargetDate, scr::Number),
        {templateNumber});
    if (row.isEmpty()) {
        prompt.inform(QStringLiteral("Template record not found"));
        return std::nullopt;
    }
    return TaskOpening::fromTemplate(templateNumber, session.currentWorkshopId);
}

} // namespace bx
