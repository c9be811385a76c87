#include "core/WholeFile.h"

#include <QSaveFile>

namespace bx {

QString writeWholeFile(const QString& path, const QByteArray& data,
                       std::optional<QFileDevice::Permissions> permissions)
{
    QSaveFile file(path);
    // Unbuffered: a buffered write that the disk cuts short is not reported when the buffer is
    // flushed, and the short file would replace the old one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        (permissions && !file.setPermissions(*permissions)))
        return file.errorString();
    const qint64 written = file.write(data);
    if (written != data.size()) {
        if (file.error() != QFileDevice::NoError)
            return file.errorString();
        return QStringLiteral("only %1 of %2 bytes could be written").arg(written).arg(data.size());
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

} // namespace bx
