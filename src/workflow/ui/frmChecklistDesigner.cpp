#include "workflow/ui/frmChecklistDesigner.h"

#include "core/Prompt.h"
#include "core/Session.h"
#include "core/ui/KeyedList.h"
#include "core/ui/RunCommand.h"
#include "core/ui/ShowRefusal.h"
#include "workflow/ui/dlgChecklist.h"

#include <QTreeWidget>

namespace bx {

frmChecklistDesigner::frmChecklistDesigner(Session& session, Prompt& prompt, QWidget* parent)
    : KeyedListDialog(session, prompt, "frmChecklistDesigner", QStringLiteral("Checklists"),
                      "lvChecklists", {QStringLiteral("Checklist"), QStringLiteral("Description")},
                      QStringLiteral("No item selected"), parent)
    , m_design(session, prompt)
{
    addCommand(
        "New", "New checklist", [this] { onNew(); }, false);
    addCommand(
        "Edit", "Edit checklist", [this] { onEdit(); }, true);
    addCommand(
        "Delete", "Delete checklist", [this] { onDelete(); }, true);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &frmChecklistDesigner::onEdit);
    resize(480, 360);
}

frmChecklistDesigner::~frmChecklistDesigner() = default;

bool frmChecklistDesigner::refresh()
{
    const QString keep = selectedName();
    Outcome<QList<ChecklistSummary>> lists;
    if (!runCommand(m_session, m_prompt, [&] { lists = m_design.open(); }) ||
        showRefusal(m_prompt, lists.refusal()) || !lists)
        return false;
    m_list->clear();
    for (const ChecklistSummary& row : *lists)
        m_list->addTopLevelItem(new QTreeWidgetItem(QStringList{row.name, row.description}));
    if (!keep.isEmpty())
        select(keep);
    return true;
}

void frmChecklistDesigner::runDialog(ChecklistDraft draft)
{
    dlgChecklist dialog(m_session, m_prompt, std::move(draft), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    refresh();
    select(dialog.savedName());
}

void frmChecklistDesigner::onNew()
{
    Outcome<ChecklistDraft> draft;
    if (runCommand(m_session, m_prompt, [&] { draft = m_design.create(); }) &&
        !showRefusal(m_prompt, draft.refusal()) && draft)
        runDialog(*draft);
}

void frmChecklistDesigner::onEdit()
{
    const QString name = requireSelection();
    if (name.isEmpty())
        return;
    Outcome<ChecklistDraft> draft;
    if (!runCommand(m_session, m_prompt, [&] { draft = m_design.edit(name); }) ||
        showRefusal(m_prompt, draft.refusal()))
        return;
    if (!draft) {
        // Deleted elsewhere meanwhile: show the list as it is now.
        refresh();
        return;
    }
    runDialog(*draft);
}

void frmChecklistDesigner::onDelete()
{
    if (deleteSelected([this](const QString& name) { return m_design.remove(name); }))
        refresh();
}

} // namespace bx
