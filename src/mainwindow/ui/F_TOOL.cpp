#include "mainwindow/ui/F_TOOL.h"

#include "core/Session.h"
#include "core/UserRights.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "mainwindow/Tools.h"
#include "mainwindow/ui/TOOL_FORM.h"

#include <QTreeWidget>

namespace bx {

F_TOOL::F_TOOL(Session& session, Prompt& prompt, QWidget* parent)
    : KeyedListDialog(session, prompt, "F_TOOL", QStringLiteral("Tools"), "lvTools",
                      {QStringLiteral("Tool_Name")}, QStringLiteral("No item selected"), parent)
{
    addCommand(
        "New", "Add a tool", [this] { newTool(); }, false);
    addCommand(
        "Delete", "Delete the selected tool", [this] { deleteSelectedTool(); }, true);
    addCommand(
        "Prop", "Change the selected tool", [this] { editSelected(); }, true);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { editSelected(); });
    resize(420, 380);
}

bool F_TOOL::refresh()
{
    if (showRefusal(m_prompt, UserRights::refuseUnlessAdministrator(m_session.user.record)))
        return false;
    return runCommand(m_session, m_prompt, [&] { fill(selectedKey()); });
}

void F_TOOL::fill(const QString& current)
{
    m_list->clear();
    for (const QString& name : ToolStore(m_session, m_prompt).names())
        m_list->addTopLevelItem(new QTreeWidgetItem(QStringList{name}));
    if (!current.isEmpty())
        select(current);
}

void F_TOOL::newTool()
{
    TOOL_FORM form(m_session, m_prompt, QStringLiteral("NEW"), {}, this);
    if (form.exec() != QDialog::Accepted)
        return;
    m_changed = true;
    runCommand(m_session, m_prompt, [&] { fill(form.savedName()); });
}

void F_TOOL::editSelected()
{
    const QString name = requireSelection();
    if (name.isEmpty())
        return;
    TOOL_FORM form(m_session, m_prompt, QStringLiteral("OPEN"), name, this);
    if (form.exec() != QDialog::Accepted)
        return;
    m_changed = true;
    runCommand(m_session, m_prompt, [&] { fill(form.savedName()); });
}

void F_TOOL::deleteSelectedTool()
{
    ToolStore store(m_session, m_prompt);
    if (!deleteSelected([&](const QString& name) { return store.remove(name); }))
        return;
    m_changed = true;
    runCommand(m_session, m_prompt, [&] { fill({}); });
}

} // namespace bx
