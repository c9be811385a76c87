#pragma once

#include <QDialog>

namespace bx {

class Prompt;
class Session;

/**
 * A window that works on the session and asks, informs and refuses through the prompt: named as
 * the design names it (tests and the CUSTOM table find it by that name) and with its caption when
 * the caption is fixed (an empty one is left for the window to set). The session and the prompt
 * must outlive the window.
 */
class SessionDialog : public QDialog
{
protected:
    SessionDialog(Session& session, Prompt& prompt, const char* name, const QString& title,
                  QWidget* parent);

    Session& m_session;
    Prompt& m_prompt;
};

} // namespace bx
