#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <utility>

namespace bx::test {

/**
 * Catches what the program hands to the desktop's browser: while it lives, every file: URL given
 * to QDesktopServices::openUrl lands in urls instead of opening anything.
 */
class OpenedUrls : public QObject
{
    Q_OBJECT
public:
    OpenedUrls() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

    /** Takes the URLs caught so far, as text. */
    QStringList take()
    {
        QStringList urls;
        for (const QUrl& url : std::exchange(m_urls, {}))
            urls << url.toString();
        return urls;
    }

public slots:
    void open(const QUrl& url) { m_urls.append(url); }

private:
    QList<QUrl> m_urls;
};

} // namespace bx::test
