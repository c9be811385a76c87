#pragma once

#include "core/ui/KeyedList.h"
#include "workflow/ChecklistDesign.h"

namespace bx {

class Prompt;
class Session;

/**
 * The checklists of the current workshop, with the toolbar "New", "Edit" and "Delete" (which asks
 * "Are you sure?"). Edit and Delete say "No item selected" when no checklist is chosen. Only an
 * administrator or a member of the workshop designs its checklists: refresh() says so to anyone
 * else, and the caller does not show the window.
 */
class frmChecklistDesigner : public KeyedListDialog
{
    Q_OBJECT
public:
    frmChecklistDesigner(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~frmChecklistDesigner() override;

    /** Reads the list again, keeping the selection where it can; false when refused or failed. */
    bool refresh();
    /** The selected checklist's name; empty when none is selected. */
    QString selectedName() const { return selectedKey(); }

private:
    void onNew();
    void onEdit();
    void onDelete();
    /** Shows the checklist window on the draft; after OK the list is read again. */
    void runDialog(ChecklistDraft draft);

    ChecklistDesign m_design;
};

} // namespace bx
