#pragma once

#include "core/ui/KeyedList.h"

namespace bx {

/**
 * The plug-ins of LU_ACTIVEX, by ID, with the commands "New", "Delete" and "Prop"
 * (dlgModifyActiveX). Only an administrator opens it; refresh() says why anybody else may not.
 * changed() tells whether a plug-in was added, changed or deleted, so that the toolbar offering
 * them is built again.
 */
class dlgActiveX final : public KeyedListDialog
{
public:
    dlgActiveX(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** Reads the plug-ins again. @return false when the user may not administer them (said). */
    bool refresh();
    bool changed() const { return m_changed; }

    void newPlugIn();
    void editSelected();
    void deleteSelectedPlugIn();

private:
    void fill(qlonglong current);

    bool m_changed = false;
};

} // namespace bx
