#pragma once

#include <QString>

namespace bx {

/**
 * Whether two user IDs, names or words are the same to the program: trimmed, without regard to
 * case across all of Unicode (as the server's text type and the embedded engine's folding
 * collation compare).
 */
inline bool sameText(const QString& a, const QString& b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

} // namespace bx
