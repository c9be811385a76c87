#pragma once

#include "tasks/PlugInProtocol.h"

#include <QDialog>
#include <QList>

class QListWidget;

namespace bx {

class Prompt;
class Session;

/**
 * "Custom Tab": which plug-in of LU_ACTIVEX the task editor shows on its custom tab for tasks of
 * one workshop, or none of its own (the workshop above decides). OK writes the choice; only
 * administrators may. The session and the prompt must outlive the window.
 */
class dlgCustomTab final : public QDialog
{
    Q_OBJECT
public:
    dlgCustomTab(Session& session, Prompt& prompt, qlonglong workshop, QWidget* parent = nullptr);

private:
    void fill();
    void onOk();

    Session& m_session;
    Prompt& m_prompt;
    qlonglong m_workshop;
    QListWidget* m_list;
    QList<plugins::RegisteredPlugIn> m_plugIns;
};

} // namespace bx
