#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <optional>

namespace bx {

/**
 * Writes `data` to the file `path` in one step: into a new file beside it, which replaces the old
 * file only once it is complete. On any failure (no such folder, no right to write, a full disk)
 * the old file stays as it was and nothing is left behind.
 *
 * @param permissions of the new file, set before anything is written into it; none: the usual
 *        ones for a new file
 * @return "" when written; otherwise the reason, as the system words it
 */
QString writeWholeFile(const QString& path, const QByteArray& data,
                       std::optional<QFileDevice::Permissions> permissions = std::nullopt);

} // namespace bx
