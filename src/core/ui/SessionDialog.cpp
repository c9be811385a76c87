#include "core/ui/SessionDialog.h"

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

} // namespace bx
