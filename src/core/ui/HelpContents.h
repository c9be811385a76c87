#pragma once

#include <QString>

class QAction;

namespace bx {

class Prompt;

/**
 * Opens the help's index page, help/index.html in `programDir`, in the desktop's browser; says
 * why not (through the prompt) when the page is missing.
 */
void openHelpContents(Prompt& prompt, const QString& programDir);

/**
 * Makes `contents` a window's Help > Contents command: F1 anywhere in the window triggers it,
 * and it opens the index page.
 */
void makeHelpContents(QAction* contents, Prompt& prompt, const QString& programDir);

} // namespace bx
