#pragma once

#include "core/ui/KeyedList.h"
#include "workflow/LifecycleDesign.h"

namespace bx {

class LIFECYCLE_FORM;
class Prompt;
class Session;

/**
 * The lifecycles of the current workshop, with the toolbar "New", "Prop" (edit), "Adv" (the
 * lifecycle's triggers), "Delete", "Copy" (a copy named "Copy of " + the identifier) and
 * "Triggers". A command that needs a lifecycle says "No item selected" when none is.
 */
class Lifecycle_designer : public KeyedListDialog
{
    Q_OBJECT
public:
    Lifecycle_designer(Session& session, Prompt& prompt, QWidget* parent = nullptr);
    ~Lifecycle_designer() override;

    /** Reads the list again, keeping the selection where it can. */
    void refresh();
    /** The selected lifecycle's identifier; empty when none is selected. */
    QString selectedId() const { return selectedKey(); }

signals:
    /** "Adv" or "Triggers" on a lifecycle: its triggers are to be edited. */
    void triggersRequested(QString lifecycleId, qlonglong ownerGroupId);

private:
    void onNew();
    void onProperties();
    void onTriggers();
    void onDelete();
    void onCopy();
    /** Shows the form modally; after OK the list is read again and the saved lifecycle chosen. */
    void runForm(LIFECYCLE_FORM& form);

    LifecycleDesign m_design;
};

} // namespace bx
