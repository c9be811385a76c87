#pragma once

#include <QTextDocument>

namespace bx {

/**
 * A text document for text that comes from the database (comments, memos, mail, pages built
 * from them). It loads no resource: no file, no network address, no style sheet. The only images
 * it shows are `data:` images of at most kMaxInlineImageBytes (decoded) and kMaxInlineImagePixels;
 * every other image shows as an empty placeholder, which also keeps the text layout from reading
 * the image's file itself. A comment naming /dev/zero or a pipe therefore shows at once.
 */
class StoredTextDocument : public QTextDocument
{
    Q_OBJECT
public:
    explicit StoredTextDocument(QObject* parent = nullptr);

    static constexpr qsizetype kMaxInlineImageBytes = 1024 * 1024;
    static constexpr qint64 kMaxInlineImagePixels = 2048LL * 2048;

    /** The image of a `data:` address within the limits; a null image otherwise. */
    static QImage inlineImage(const QUrl& address);

protected:
    QVariant loadResource(int type, const QUrl& name) override;
};

} // namespace bx
