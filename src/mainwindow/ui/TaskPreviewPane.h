#pragma once

#include <QTextBrowser>

namespace bx {

class Prompt;
class Session;

/** The main window's preview pane ("Preview"): the page of the task chosen in the tree or grid. */
class TaskPreviewPane : public QTextBrowser
{
    Q_OBJECT
public:
    TaskPreviewPane(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /**
     * Shows the task, or nothing for 0, a task that no longer exists or a closed database.
     * @return false after a database error (reported to the user; the pane is then empty)
     */
    bool showTask(qlonglong task);

    /** The task shown, 0 when none. */
    qlonglong task() const { return m_task; }

private:
    Session& m_session;
    Prompt& m_prompt;
    qlonglong m_task = 0;
};

} // namespace bx
