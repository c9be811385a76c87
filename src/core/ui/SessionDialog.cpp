#include "core/ui/SessionDialog.h"

#include "core/Prompt.h"

#include <QCloseEvent>
#include <QShowEvent>

namespace bx {

SessionDialog::SessionDialog(Session& session, Prompt& prompt, const char* name,
                             const QString& title, QWidget* parent)
    : QDialog(parent)
    , m_session(session)
    , m_prompt(prompt)
{
    setObjectName(QString::fromLatin1(name));
    if (!title.isEmpty())
        setWindowTitle(title);
}

bool SessionDialog::leaving()
{
    // QDialog's close event rejects the dialog: the question is asked once for both.
    if (!m_leaving)
        m_leaving = mayLeave();
    return m_leaving;
}

void SessionDialog::reject()
{
    if (leaving())
        QDialog::reject();
}

void SessionDialog::closeEvent(QCloseEvent* event)
{
    if (leaving())
        QDialog::closeEvent(event);
    else
        event->ignore();
}

void SessionDialog::showEvent(QShowEvent* event)
{
    m_leaving = false;
    QDialog::showEvent(event);
}

bool SessionDialog::askToSaveChanges(const std::function<bool()>& save, const QString& question)
{
    switch (m_prompt.ask(question.isEmpty() ? kSaveChanges : question, windowTitle(),
                         PromptButtons::YesNoCancel)) {
    case PromptAnswer::Yes:
        return save();
    case PromptAnswer::No:
        return true;
    default:
        return false;
    }
}

} // namespace bx
