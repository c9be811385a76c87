#include "core/ui/StoredText.h"

#include "core/StoredTextDocument.h"
#include "support/SampleFiles.h"
#include "support/Watchdog.h"

#include <QAbstractTextDocumentLayout>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QUrl>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace bx;
using namespace Qt::StringLiterals;
using bx::test::pngBytes;

namespace {

QString dataImage(const QByteArray& bytes)
{
    return u"data:image/png;base64,"_s + QString::fromLatin1(bytes.toBase64());
}

/** Lays out and paints `html` in a browser given a StoredTextDocument; returns its document. */
QTextDocument* render(QTextBrowser& view, const QString& html)
{
    useStoredTextDocument(view);
    const bx::test::Watchdog watchdog("rendering " + html.left(80).toStdString());
    QElapsedTimer clock;
    clock.start();
    view.setHtml(html);
    view.resize(400, 300);
    view.document()->documentLayout()->documentSize();
    view.viewport()->grab();
    EXPECT_LT(clock.elapsed(), 1000) << html.left(80).toStdString();
    return view.document();
}

/** The image the document holds for `source` after rendering: its size, or none. */
QSize shownImage(QTextDocument& document, const QString& source)
{
    const QVariant image = document.resource(QTextDocument::ImageResource, QUrl(source));
    if (image.typeId() == QMetaType::QImage)
        return image.value<QImage>().size();
    if (image.typeId() == QMetaType::QPixmap)
        return image.value<QPixmap>().size();
    return {};
}

} // namespace

// Stored HTML loads no file and no network address: not /dev/zero, not a pipe no one writes to,
// not an image or style sheet on disk; a data: image is shown up to its limit.
TEST(StoredTextDocument, LoadsNothingButSmallDataImages)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(u"fifo"_s);
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString picture = dir.filePath(u"picture.png"_s);
    {
        QFile file(picture);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(pngBytes(70, 50));
    }
    const QByteArray big =
        pngBytes(7, 5) + QByteArray(StoredTextDocument::kMaxInlineImageBytes, '\0');
    const QSize none(1, 1); // the placeholder of an image not loaded
    struct Case
    {
        QString source;
        QSize shown;
    };
    const Case cases[] = {
        {u"file:///dev/zero"_s, none},
        {u"/dev/zero"_s, none},
        {fifo, none},
        {QUrl::fromLocalFile(fifo).toString(), none},
        {picture, none},
        {dataImage(pngBytes(7, 5)), QSize(7, 5)},
        {dataImage(big), none},
        {u"data:text/plain;base64,aGVsbG8="_s, none},
    };
    for (const Case& c : cases) {
        QTextBrowser view;
        QTextDocument* document =
            render(view, u"<p>before<img src=\""_s + c.source.toHtmlEscaped() + u"\">after</p>"_s);
        EXPECT_EQ(shownImage(*document, c.source), c.shown) << c.source.left(80).toStdString();
        EXPECT_TRUE(view.toPlainText().startsWith(u"before"_s));
    }
    for (const QString& sheet : {u"/dev/zero"_s, fifo}) {
        QTextBrowser view;
        render(view, u"<html><head><link rel=\"stylesheet\" type=\"text/css\" href=\""_s + sheet +
                         u"\"></head><body>text</body></html>"_s);
        EXPECT_EQ(view.toPlainText(), u"text"_s);
    }
}

// An image on a web server is not fetched, and a link in a browser is not followed inside it.
TEST(StoredTextDocument, FetchesNothingFromTheNetwork)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const QString address = u"http://127.0.0.1:%1/picture.png"_s.arg(server.serverPort());
    QTextBrowser view;
    QTextDocument* document =
        render(view, u"<img src=\""_s + address + u"\"><a href=\"file:///etc/passwd\">link</a>"_s);
    EXPECT_EQ(shownImage(*document, address), QSize(1, 1));
    EXPECT_FALSE(server.waitForNewConnection(300));
    EXPECT_FALSE(view.openLinks());
    EXPECT_FALSE(view.openExternalLinks());
    EXPECT_TRUE(view.searchPaths().isEmpty());
}

// Labels and tool tips show stored text as written.
TEST(StoredText, LabelsAndToolTipsShowMarkupLiterally)
{
    for (const QString& stored :
         {u"<b>x</b><img src=x>"_s, u"Ann O'Brien & <Co>"_s, u"plain name"_s}) {
        QLabel* label = plainLabel(stored);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        delete label;
        const QString tip = plainToolTip(stored);
        if (!Qt::mightBeRichText(stored)) {
            EXPECT_EQ(tip, stored);
            continue;
        }
        // Qt shows a tool tip that might be rich text as HTML: what it shows is the stored text.
        ASSERT_TRUE(Qt::mightBeRichText(tip));
        QTextDocument shown;
        shown.setHtml(tip);
        EXPECT_EQ(shown.toPlainText(), stored);
    }
}
