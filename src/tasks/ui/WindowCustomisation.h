#pragma once

#include <QString>

class QWidget;

namespace bx {

class Session;

/**
 * Applies the CUSTOM rows of the window (FORM_NAME = the window's caption): every control
 * (QWidget or QAction, by objectName) named by CONTROL_NAME gets visible = CONTROL_VISIBLE and its
 * caption/text = CONTROL_VALUE (buttons, labels, actions: text; group boxes: title; a tab page:
 * its tab's text); rows naming controls the window lacks are ignored. The controls the rows of an
 * earlier call changed are first put back as they were, so that a window showing another caption
 * (the editor moving from a task to a meeting) takes only that caption's rows. Database errors are
 * logged, never shown.
 */
void applyWindowCustomisation(Session& session, QWidget& window, const QString& caption);

} // namespace bx
