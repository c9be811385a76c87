#pragma once

#include <QList>
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

/** A control that CUSTOM rows can address, as the window shows it before any row applies. */
struct CustomisableControl
{
    QString name;    ///< its objectName, the CONTROL_NAME of its rows
    QString kind;    ///< "Tab", "Menu", "Command", "Button", "Label", "Frame" or "Field"
    QString caption; ///< its caption; "" for a kind without one
};

/**
 * The controls of `window` that CUSTOM rows can address: every named widget and action, one per
 * name (rows act on all controls of a name), sorted by name without case. Qt's own inner parts
 * are left out.
 */
QList<CustomisableControl> customisableControls(const QWidget& window);

} // namespace bx
