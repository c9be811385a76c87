#pragma once

#include <QDialog>

#include <functional>

namespace bx {

class Prompt;
class Session;

/**
 * A window that works on the session and asks, informs and refuses through the prompt: named as
 * the design names it (tests and the CUSTOM table find it by that name) and with its caption when
 * the caption is fixed (an empty one is left for the window to set). The session and the prompt
 * must outlive the window.
 *
 * Escape, Cancel and the title bar's close leave only when mayLeave() agrees; once the window has
 * agreed it asks no more until it is shown again.
 */
class SessionDialog : public QDialog
{
public:
    void reject() override;

protected:
    SessionDialog(Session& session, Prompt& prompt, const char* name, const QString& title,
                  QWidget* parent);

    void closeEvent(QCloseEvent* event) override;
    /** A window shown again asks again. */
    void showEvent(QShowEvent* event) override;
    /** Whether the window may close now; a window holding unsaved edits asks first. */
    virtual bool mayLeave() { return true; }
    /**
     * `question` ("Do you want to save changes?" unless given) under the window's caption: Yes
     * leaves when `save` wrote the edits, No leaves without them, Cancel stays.
     */
    bool askToSaveChanges(const std::function<bool()>& save, const QString& question = {});

    Session& m_session;
    Prompt& m_prompt;

private:
    bool leaving();

    bool m_leaving = false;
};

} // namespace bx
