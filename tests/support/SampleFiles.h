#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>

namespace bx::test {

/** The beginning of a real program: this test program's own ELF image. */
inline QByteArray programBytes()
{
    QFile self(QStringLiteral("/proc/self/exe"));
    return self.open(QIODevice::ReadOnly) ? self.read(4096) : QByteArray();
}

/** A PNG image of `width` x `height` pixels. */
inline QByteArray pngBytes(int width = 3, int height = 2)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer sink(&bytes);
    sink.open(QIODevice::WriteOnly);
    image.save(&sink, "PNG");
    return bytes;
}

/** Writes `bytes` to the file at `path`, replacing it; whether all of them were written. */
inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

/** The content of the file at `path`; a marker when it cannot be read. */
inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

/** A zip archive's first local entry, stored: what MIME sniffing reads of an archive. */
inline QByteArray zipWithFirstEntry(const QByteArray& name, const QByteArray& content)
{
    auto le = [](quint32 value, int bytes) {
        QByteArray out;
        for (int i = 0; i < bytes; ++i)
            out.append(char((value >> (8 * i)) & 0xff));
        return out;
    };
    return QByteArray("PK\x03\x04", 4) + le(10, 2) + le(0, 2) + le(0, 2) + le(0, 4) + le(0, 4) +
           le(quint32(content.size()), 4) + le(quint32(content.size()), 4) +
           le(quint32(name.size()), 2) + le(0, 2) + name + content;
}

} // namespace bx::test
