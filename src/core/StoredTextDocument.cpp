#include "core/StoredTextDocument.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QUrl>

namespace bx {

namespace {

/** What an image the document does not load shows: one transparent pixel. */
QImage placeholder()
{
    QImage image(1, 1, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

} // namespace

StoredTextDocument::StoredTextDocument(QObject* parent)
    : QTextDocument(parent)
{
}

QImage StoredTextDocument::inlineImage(const QUrl& address)
{
    if (address.scheme().compare(QLatin1String("data"), Qt::CaseInsensitive) != 0)
        return {};
    // data:[<media type>][;base64],<data>
    const QByteArray whole = address.toEncoded(QUrl::RemoveScheme);
    const qsizetype comma = whole.indexOf(',');
    if (comma < 0)
        return {};
    const QByteArray header = whole.left(comma).trimmed().toLower();
    const QByteArray body = whole.mid(comma + 1);
    if (!header.startsWith("image/"))
        return {};
    const bool base64 = header.endsWith(";base64");
    // Judged before decoding: neither form decodes to more than about its own length.
    if ((base64 ? body.size() / 4 * 3 : body.size() / 3) > kMaxInlineImageBytes + 3)
        return {};
    const QByteArray percentDecoded = QByteArray::fromPercentEncoding(body);
    const QByteArray bytes = base64 ? QByteArray::fromBase64(percentDecoded) : percentDecoded;
    if (bytes.isEmpty() || bytes.size() > kMaxInlineImageBytes)
        return {};
    QBuffer source;
    source.setData(bytes);
    source.open(QIODevice::ReadOnly);
    QImageReader reader(&source);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > kMaxInlineImagePixels)
        return {};
    return reader.read();
}

QVariant StoredTextDocument::loadResource(int type, const QUrl& name)
{
    if (type != ImageResource)
        return {};
    const QImage image = inlineImage(name);
    if (!image.isNull()) {
        addResource(type, name, image); // decoded once, not at every paint
        return image;
    }
    // Never nothing: for an image the document could not load, the layout would read the named
    // file itself.
    return placeholder();
}

} // namespace bx
