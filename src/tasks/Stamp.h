#pragma once

#include <QDateTime>
#include <QString>

namespace bx {

/** How the attachment list and every stamp write a local date and time, in every locale. */
inline const QString kStampTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm");

/**
 * Marks `text` with who and when: the trimmed text, ", ", the trimmed user ID, ", " and the local
 * date and time `local` as the attachment list shows it. Sign-off notes, checklists, published
 * reports and renamed cabinet items are titled this way.
 */
QString stamped(const QString& text, const QString& user, const QDateTime& local);

/** Today's date as a stamp's readers expect it: "yyyy-MM-dd". */
QString todayText(const QDateTime& local);

} // namespace bx
