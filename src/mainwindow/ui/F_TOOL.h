#pragma once

#include "core/ui/KeyedList.h"

namespace bx {

/**
 * The outside tools, by name, with the commands "New", "Delete" and "Prop" (TOOL_FORM). Only an
 * administrator opens it; refresh() says why anybody else may not. changed() tells whether a tool
 * was added, changed or deleted, so that the menus listing them are built again.
 */
class F_TOOL : public KeyedListDialog
{
public:
    F_TOOL(Session& session, Prompt& prompt, QWidget* parent = nullptr);

    /** Reads the tools again. @return false when the user may not administer them (said). */
    bool refresh();
    bool changed() const { return m_changed; }

    void newTool();
    void editSelected();
    void deleteSelectedTool();

private:
    void fill(const QString& current);

    bool m_changed = false;
};

} // namespace bx
