#pragma once

#include "tasks/CustomForms.h"

#include <QList>

class QWidget;

namespace bx {

/**
 * The fields of a copy on a panel (objectName "FieldPanel"), each placed where the copy says and
 * named "Field" + its key: a label, a line edit, an editable drop-down list or a check box. The
 * widgets are appended to `fields` in the order of copy.fields. The panel is sized to hold them.
 */
QWidget* buildFieldPanel(const forms::FormCopy& copy, QList<QWidget*>& fields);

} // namespace bx
