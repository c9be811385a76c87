#include "mainwindow/ui/dlgActiveX.h"

#include "core/Session.h"
#include "core/UserRights.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "mainwindow/PlugInToolbox.h"
#include "mainwindow/ui/dlgModifyActiveX.h"
#include "tasks/PlugInProtocol.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace bx {

dlgActiveX::dlgActiveX(Session& session, Prompt& prompt, QWidget* parent)
    : KeyedListDialog(
          session, prompt, "dlgActiveX", QStringLiteral("Plug-ins"), "lvPlugIns",
          {QStringLiteral("ID"), QStringLiteral("Label"), QStringLiteral("Control Name")},
          QStringLiteral("No item selected"), parent)
{
    addCommand(
        "New", "Add a plug-in", [this] { newPlugIn(); }, false);
    addCommand(
        "Delete", "Delete the selected plug-in", [this] { deleteSelectedPlugIn(); }, true);
    addCommand(
        "Prop", "Change the selected plug-in", [this] { editSelected(); }, true);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { editSelected(); });
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    resize(520, 380);
}

bool dlgActiveX::refresh()
{
    if (showRefusal(m_prompt, UserRights::refuseUnlessAdministrator(m_session.user.record)))
        return false;
    return runCommand(m_session, m_prompt, [&] { fill(selectedKey().toLongLong()); });
}

void dlgActiveX::fill(qlonglong current)
{
    m_list->clear();
    for (const plugins::RegisteredPlugIn& plugIn : plugins::registeredPlugIns(m_session.db()))
        m_list->addTopLevelItem(new QTreeWidgetItem(
            QStringList{QString::number(plugIn.id), plugIn.label, plugIn.progId}));
    if (current != 0)
        select(QString::number(current));
}

void dlgActiveX::newPlugIn()
{
    dlgModifyActiveX form(m_session, m_prompt, QStringLiteral("ADD"), 0, this);
    if (form.exec() != QDialog::Accepted)
        return;
    m_changed = true;
    runCommand(m_session, m_prompt, [&] { fill(form.savedId()); });
}

void dlgActiveX::editSelected()
{
    const QString key = requireSelection();
    if (key.isEmpty())
        return;
    dlgModifyActiveX form(m_session, m_prompt, QStringLiteral("EDIT"), key.toLongLong(), this);
    if (form.exec() != QDialog::Accepted)
        return;
    m_changed = true;
    runCommand(m_session, m_prompt, [&] { fill(form.savedId()); });
}

void dlgActiveX::deleteSelectedPlugIn()
{
    plugins::PlugInStore store(m_session, m_prompt);
    if (!deleteSelected([&](const QString& key) { return store.remove(key.toLongLong()); }))
        return;
    m_changed = true;
    runCommand(m_session, m_prompt, [&] { fill(0); });
}

} // namespace bx
