#include "tasks/FormPrint.h"

namespace bx::forms {

QString formHtml(const FormCopy& copy, const QList<FieldValue>& values)
{
    QString html = QStringLiteral("<html><body><h2>%1</h2><table cellspacing=\"0\" "
                                  "cellpadding=\"4\" width=\"100%\">")
                       .arg(copy.form.toHtmlEscaped());
    for (int i = 0; i < copy.fields.size(); ++i) {
        const FormField& f = copy.fields.at(i);
        const FieldValue v =
            i < values.size() ? values.at(i) : FieldValue{f.key, f.value, f.checked};
        if (f.type == FieldType::Label) {
            html += QStringLiteral("<tr><td colspan=\"2\"><b>%1</b></td></tr>")
                        .arg(f.value.toHtmlEscaped());
            continue;
        }
        const QString value = f.type == FieldType::Check
                                  ? (v.checked ? QStringLiteral("Yes") : QStringLiteral("No"))
                                  : v.value.toHtmlEscaped();
        const QString caption = f.type == FieldType::Check && !f.value.isEmpty() ? f.value : f.name;
        html += QStringLiteral("<tr><td width=\"35%\">%1</td><td>%2</td></tr>")
                    .arg(caption.toHtmlEscaped(), value);
    }
    return html + QStringLiteral("</table></body></html>");
}

} // namespace bx::forms
