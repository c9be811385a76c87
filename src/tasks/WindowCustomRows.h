#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace bx {

class Database;

/** One row of CUSTOM: what to do with one control of a window. */
struct WindowCustomRow
{
    QString controlName; ///< CONTROL_NAME, as stored
    /** CONTROL_VALUE; nullopt when Null (the caption is left as it is). */
    std::optional<QString> caption;
    /** CONTROL_VISIBLE: non-zero = visible; Null counts as the column's default, visible. */
    bool visible = true;
};

/** The CUSTOM rows of the window whose caption is `formName`, in stored order. Throws DbError. */
QList<WindowCustomRow> windowCustomRows(Database& db, const QString& formName);

} // namespace bx
