#include "tasks/Stamp.h"

namespace bx {

QString stamped(const QString& text, const QString& user, const QDateTime& local)
{
    return text.trimmed() + QStringLiteral(", ") + user.trimmed() + QStringLiteral(", ") +
           local.toString(kStampTimeFormat);
}

QString todayText(const QDateTime& local)
{
    return local.date().toString(QStringLiteral("yyyy-MM-dd"));
}

} // namespace bx
