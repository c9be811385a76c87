#include "tasks/WindowCustomRows.h"

#include "core/db/Database.h"

namespace bx {

QList<WindowCustomRow> windowCustomRows(Database& db, const QString& formName)
{
    const RecordSet rows = db.query(
        QStringLiteral(
            "SELECT CONTROL_NAME, CONTROL_VALUE, CONTROL_VISIBLE FROM CUSTOM WHERE FORM_NAME = ?"),
        {formName});
    QList<WindowCustomRow> result;
    result.reserve(rows.rowCount());
    for (int row = 0; row < rows.rowCount(); ++row) {
        WindowCustomRow r;
        r.controlName = rows.value(row, QStringLiteral("CONTROL_NAME")).toString();
        const QVariant caption = rows.value(row, QStringLiteral("CONTROL_VALUE"));
        if (!caption.isNull())
            r.caption = caption.toString();
        const QVariant visible = rows.value(row, QStringLiteral("CONTROL_VISIBLE"));
        r.visible = visible.isNull() || visible.toLongLong() != 0;
        result.append(r);
    }
    return result;
}

} // namespace bx
