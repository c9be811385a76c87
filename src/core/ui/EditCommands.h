#pragma once

class QMenu;
class QToolBar;
class QWidget;

namespace bx {

/**
 * Adds "Cut", "Copy", "Paste" and "Delete" (object names the same) to `tools` and, when given, to
 * `menu`. Each acts on the text box of `window` that has (or last had) the focus: a line, text or
 * plain-text box; Delete removes the selection. Toolbar buttons take no focus, so a click leaves
 * the box the user was typing in the active one.
 */
void addEditCommands(QWidget& window, QToolBar& tools, QMenu* menu = nullptr);

} // namespace bx
