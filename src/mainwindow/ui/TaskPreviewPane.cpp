#include "mainwindow/ui/TaskPreviewPane.h"

#include "core/Session.h"
#include "core/db/DatabaseOpener.h"
#include "core/db/DbError.h"
#include "core/ui/StoredText.h"
#include "mainwindow/TaskPreview.h"

namespace bx {

TaskPreviewPane::TaskPreviewPane(Session& session, Prompt& prompt, QWidget* parent)
    : QTextBrowser(parent)
    , m_session(session)
    , m_prompt(prompt)
{
    setObjectName(QStringLiteral("Preview"));
    // Task texts load nothing, and their links are not followed inside the pane.
    useStoredTextDocument(*this);
}

bool TaskPreviewPane::showTask(qlonglong task)
{
    m_task = 0;
    if (task == 0 || !m_session.isOpen()) {
        clear();
        return true;
    }
    try {
        const QString html = taskPreviewHtml(m_session.db(), m_session.clock(), task);
        if (html.isEmpty()) {
            clear();
            return true;
        }
        setHtml(html);
        m_task = task;
    } catch (const DbError& e) {
        clear();
        reportDatabaseError(e, m_session, m_prompt);
        return false;
    }
    return true;
}

} // namespace bx
