#pragma once

#include "tasks/CustomForms.h"

#include <QList>
#include <QString>

namespace bx::forms {

/**
 * A copy as a printable page: the form's name as its heading, then one line a field in order of
 * the fields, the field's name beside its value (a check box "Yes" or "No"); a label spans the
 * line. Every text is escaped. The window prints it, or writes it as a PDF, with HtmlPrinter.
 */
QString formHtml(const FormCopy& copy, const QList<FieldValue>& values);

} // namespace bx::forms
