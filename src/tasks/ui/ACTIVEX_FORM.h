#pragma once

#include "core/ui/SessionDialog.h"
#include "tasks/PendingAttachment.h"
#include "tasks/PlugInProtocol.h"

#include <QList>

#include <optional>

class QCheckBox;
class QListWidget;

namespace bx {

/**
 * "Add Plug-in": one of the plug-ins of LU_ACTIVEX, and whether the task editor shows it on its
 * tab bar. OK hands back the plug-in attachment for the caller's shared add.
 */
class ACTIVEX_FORM final : public SessionDialog
{
    Q_OBJECT
public:
    ACTIVEX_FORM(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** After OK: the plug-in to attach. */
    const std::optional<PendingAttachment>& pending() const { return m_pending; }

private:
    void fill();
    void onOk();

    QListWidget* m_list;
    QCheckBox* m_tabBar;
    QList<plugins::RegisteredPlugIn> m_plugIns;
    std::optional<PendingAttachment> m_pending;
};

} // namespace bx
