#pragma once

#include "tasks/CustomForms.h"

#include <QList>
#include <QString>

class QPagedPaintDevice;

namespace bx::forms {

/**
 * A copy as a printable page: the form's name as its heading, then one line a field in order of
 * the fields, the field's name beside its value (a check box "Yes" or "No"); a label spans the
 * line. Every text is escaped.
 */
QString formHtml(const FormCopy& copy, const QList<FieldValue>& values);

/** Draws `html` onto `device` page by page. */
void printFormHtml(const QString& html, QPagedPaintDevice& device);

/**
 * The page as a PDF document (A4) at `path`, made in memory and written in one step.
 * @return "" when written; otherwise why not
 */
QString writeFormPdf(const QString& html, const QString& title, const QString& path);

} // namespace bx::forms
