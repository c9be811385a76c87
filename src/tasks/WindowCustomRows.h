#pragma once

#include "core/Refusal.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace bx {

class Database;
struct UserRecord;

/** One row of CUSTOM: what to do with one control of a window. */
struct WindowCustomRow
{
    QString controlName; ///< CONTROL_NAME, as stored
    /** CONTROL_VALUE; nullopt when Null (the caption is left as it is). */
    std::optional<QString> caption;
    /** CONTROL_VISIBLE: non-zero = visible; Null counts as the column's default, visible. */
    bool visible = true;

    bool operator==(const WindowCustomRow&) const = default;
};

/** The CUSTOM rows of the window whose caption is `formName`, in stored order. Throws DbError. */
QList<WindowCustomRow> windowCustomRows(Database& db, const QString& formName);

/** The window captions that have CUSTOM rows, sorted without case. Throws DbError. */
QStringList windowCustomCaptions(Database& db);

/**
 * Makes the CUSTOM rows of window `formName` those of `rows`, one per control: the rows of
 * controls no longer named are deleted, the changed ones updated, the new ones added, all in one
 * transaction. A row that would change nothing (visible, caption left) is not kept. Control names
 * are trimmed and compared without case, as the window compares them. Administrators only; a blank
 * caption, a blank control name or a control named twice is refused (field: the row's index, -1
 * for the caption), with nothing written. Throws DbError, having written nothing.
 */
std::optional<RefusalOf<int>> saveWindowCustomRows(Database& db, const UserRecord& me,
                                                   const QString& formName,
                                                   const QList<WindowCustomRow>& rows);

} // namespace bx
