#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace bx {

/** What the task editor window asks of the window that opened it (normally the
 *  main window): it is told about saves and is asked for the neighbouring task
 *  when the user steps with Previous/Next. */
class TaskEditorHost
{
public:
    virtual ~TaskEditorHost() = default;
    /** The task `number` was written; `wasNew` when it was inserted by this save. */
    virtual void taskSaved(qlonglong number, bool wasNew) = 0;
    /** The task lists should be read again (a task was closed out, reopened, forwarded...). */
    virtual void refreshTaskLists() = 0;
    /** The neighbour of `number` in the main list (+1 next, -1 previous), 0 when none. */
    virtual qlonglong neighbourTask(qlonglong number, int direction) = 0;
    /** The outside tools the editor's "&AddOns" menu lists; none unless the host keeps them. */
    virtual QStringList editorTools() const { return {}; }
    /** Starts the editor's tool `name` for task `number`. */
    virtual void startEditorTool(const QString& name, qlonglong number)
    {
        Q_UNUSED(name);
        Q_UNUSED(number);
    }
};

} // namespace bx
