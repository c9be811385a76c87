#pragma once

#include <QString>

#include <optional>

namespace bx {

/** Where a task stands in its lifecycle, as the to-do panel shows it. */
struct TaskStage
{
    QString lifecycleId; ///< empty: a task in no lifecycle
    QString stageName;
    qlonglong ownerGroupId = 0; ///< the workshop that owns the lifecycle
    qlonglong taskNumber = 0;
    QString stageOwner; ///< written as the owner of the task's signed items
};

/**
 * What the user chose in the to-do panel, in the words the task object's CloseOut takes: the
 * action, the number of stages to move (used by "Jump" only, 0 otherwise) and the comment.
 */
struct CloseOutChoice
{
    QString action;
    int step = 0;
    QString note;

    bool operator==(const CloseOutChoice&) const = default;
};

/**
 * The CloseOut action for a response word of the panel (compared trimmed and without regard to
 * case): "YES", "NO", "Jump", "CONDITIONAL", "Cancel" and "LCEnd". Any other word is handed on
 * trimmed, as it is, so that CloseOut reports it.
 */
QString closeOutAction(const QString& response);

/**
 * The choice for a panel that closed with `response`, `jumpStage` and `comment`; nothing when
 * the response is blank (the panel was closed without an answer). The step is kept for "Jump"
 * only.
 */
std::optional<CloseOutChoice> closeOutChoice(const QString& response, int jumpStage,
                                             const QString& comment);

} // namespace bx
