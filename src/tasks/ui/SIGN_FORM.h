#pragma once

#include "core/ui/SessionDialog.h"
#include "tasks/PendingAttachment.h"

#include <functional>
#include <optional>

class QLineEdit;

namespace bx {

class Prompt;
class Session;

/**
 * The approval window: a text, then "Approve" or "Disapprove" hands the task editor the memo
 * that records who signed it, when, and under which title; "Cancel" (or Escape) hands nothing.
 * The session and the prompt must outlive the window.
 */
class SIGN_FORM final : public SessionDialog
{
    Q_OBJECT
public:
    /** Runs the window modally and returns its result (QDialog::exec by default). */
    using DialogRunner = std::function<int(QDialog&)>;

    SIGN_FORM(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    void setDialogRunner(DialogRunner runner) { m_run = std::move(runner); }

    /**
     * Shows the window for task `taskNumber` (0 for one not yet saved) until it closes.
     * @return the approval or disapproval memo to add, or none when cancelled
     */
    std::optional<PendingAttachment> do_approval(qlonglong taskNumber);

private:
    void sign(bool approved);

    QLineEdit* m_text;
    DialogRunner m_run;
    std::optional<PendingAttachment> m_pending;
};

} // namespace bx
