#pragma once

#include "core/ui/SessionDialog.h"
#include "tasks/PendingAttachment.h"

#include <optional>

class QCheckBox;
class QComboBox;

namespace bx {

class Prompt;
class Session;

/**
 * "Select Checklist": one of the current workshop's checklists, and whether the task editor shows
 * it on its tab bar. OK hands back the checklist attachment for the caller's shared add. The
 * session and the prompt must outlive the window.
 */
class CHECKLIST_FORM final : public SessionDialog
{
    Q_OBJECT
public:
    CHECKLIST_FORM(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** After OK: the checklist to attach. */
    const std::optional<PendingAttachment>& pending() const { return m_pending; }

private:
    void fill();
    void onOk();

    QComboBox* m_list;
    QCheckBox* m_tabBar;
    std::optional<PendingAttachment> m_pending;
};

} // namespace bx
