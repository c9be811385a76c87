#pragma once

#include "core/ui/SessionDialog.h"
#include "tasks/PendingAttachment.h"

#include <optional>

class QCheckBox;
class QLayout;
class QLineEdit;
class QToolBar;

namespace bx {

class Prompt;
class Session;

/**
 * The frame of the windows that add an attachment (memo and discussion, web page and shortcut,
 * file): a title box "txtTitle" that the window places among its own rows, the box "Publish
 * this attachment?", and OK and Cancel ("cmdOK", "cmdCancel"). OK runs the window's onOk(); what
 * it hands back for the caller's shared add belongs to the signed-in user, is dated now (GMT) and
 * published as ticked. The session and the prompt must outlive the window.
 */
class AttachmentDialog : public SessionDialog
{
public:
    /** After OK on a new item: what the shared add is to store. */
    const std::optional<PendingAttachment>& pending() const { return m_pending; }

protected:
    AttachmentDialog(Session& session, Prompt& prompt, const char* name, QWidget* parent);

    /**
     * Lays the window out: `tools` above as its menu bar (when given), then `rows`, then `body`
     * taking the free height (when given; otherwise the free height stays empty above the
     * publish box's row), the publish box and the buttons. Called once, at the end of the
     * window's constructor.
     */
    void setFrame(QLayout* rows, QWidget* body = nullptr, QToolBar* tools = nullptr);

    /** OK: the window checks what was typed and calls handBack(), or shows its refusal. */
    virtual void onOk() = 0;

    /** Hands `attachment` back with its owner, date and publish choice, and closes with OK. */
    void handBack(PendingAttachment attachment);

    /** Leaves the publish box out: an item edited in place keeps its published state. */
    void hidePublish();

    QLineEdit* m_title;

private:
    QCheckBox* m_publish;
    std::optional<PendingAttachment> m_pending;
};

} // namespace bx
