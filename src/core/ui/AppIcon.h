#pragma once

#include <QIcon>

namespace bx {

/**
 * The program's icon, from the PNGs built into the program at every size the desktop asks for
 * (no SVG plug-in needed). Windows get it through QApplication::setWindowIcon; the tray shows it.
 */
QIcon appIcon();

} // namespace bx
