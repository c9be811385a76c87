#pragma once

#include "tasks/TaskTypes.h"

#include <QtGlobal>

namespace bx {

/**
 * What a task editor is opened for: an existing task, or a new one that is plain, a sub-task of a
 * parent or a copy of a template. The opener makes one and hands it to the editor, which keeps
 * nothing of it in the session.
 */
struct TaskOpening
{
    enum class Mode
    {
        New,          ///< a plain new task or meeting
        SubTask,      ///< a new task under `source` (its parent)
        FromTemplate, ///< a new task filled from the template `source`
        Existing      ///< the stored task `source`
    };

    Mode mode = Mode::New;
    TaskType type = TaskType::Task; ///< of a new task
    qlonglong source = 0;           ///< the parent, the template or the existing task
    qlonglong workshop = 0;         ///< the workshop a new task is created in

    static TaskOpening newTask(TaskType type, qlonglong workshop)
    {
        return {Mode::New, type, 0, workshop};
    }
    static TaskOpening subTaskOf(qlonglong parent, qlonglong workshop)
    {
        return {Mode::SubTask, TaskType::Task, parent, workshop};
    }
    static TaskOpening fromTemplate(qlonglong templateNumber, qlonglong workshop)
    {
        return {Mode::FromTemplate, TaskType::Task, templateNumber, workshop};
    }
    static TaskOpening existing(qlonglong number) { return {Mode::Existing, {}, number, 0}; }

    bool isNew() const { return mode != Mode::Existing; }
    bool operator==(const TaskOpening&) const = default;
};

} // namespace bx
