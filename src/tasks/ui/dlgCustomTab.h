#pragma once

#include "core/ui/SessionDialog.h"
#include "tasks/PlugInProtocol.h"

#include <QList>

class QListWidget;

namespace bx {

/**
 * "Custom Tab": which plug-in of LU_ACTIVEX the task editor shows on its custom tab for tasks of
 * one workshop, or none of its own (the workshop above decides). OK writes the choice; only
 * administrators may.
 */
class dlgCustomTab final : public SessionDialog
{
    Q_OBJECT
public:
    dlgCustomTab(Session& session, Prompt& prompt, qlonglong workshop, QWidget* parent = nullptr);

private:
    void fill();
    void onOk();

    qlonglong m_workshop;
    QListWidget* m_list;
    QList<plugins::RegisteredPlugIn> m_plugIns;
};

} // namespace bx
