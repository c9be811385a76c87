#pragma once

#include "messaging/GMimeSupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>

#include <memory>

// The test mail servers of scripts/smtp-test-server.sh, and the messages their sink received, read
// back with the same MIME library the program writes them with. Only test programs that link
// GMime include this header.
namespace bx::test {

/**
 * Empty when BX_TEST_SMTP and BX_TEST_SMTP_MAILDIR name the test mail servers; else why not. A
 * fixture skips on it, and fails instead under CI.
 */
inline QString mailServersMissing()
{
    if (qEnvironmentVariableIsEmpty("BX_TEST_SMTP") ||
        qEnvironmentVariableIsEmpty("BX_TEST_SMTP_MAILDIR"))
        return QStringLiteral("BX_TEST_SMTP is not set: start scripts/smtp-test-server.sh");
    gmime::init();
    return {};
}

/** The content of a leaf part with its transfer encoding undone, bytes as sent. */
inline QByteArray partBytes(GMimeObject* part)
{
    gmime::Ptr<GMimeStream> out(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(GMIME_PART(part)), out.get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    return QByteArray(reinterpret_cast<const char*>(bytes->data), qsizetype(bytes->len));
}

/** The text of a leaf part, line ends as LF. */
inline QString partText(GMimeObject* part)
{
    return QString::fromUtf8(partBytes(part)).remove(QLatin1Char('\r'));
}

/** A message read back from its bytes; null when they are no message. */
inline gmime::Ptr<GMimeMessage> parseMessage(const QByteArray& bytes)
{
    gmime::Ptr<GMimeStream> stream(
        g_mime_stream_mem_new_with_buffer(bytes.constData(), size_t(bytes.size())));
    gmime::Ptr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    return gmime::Ptr<GMimeMessage>(g_mime_parser_construct_message(parser.get(), nullptr));
}

/** The messages the sink received for the envelope recipient `to`, parsed. */
inline QList<std::shared_ptr<GMimeMessage>> sinkMessages(const QString& to)
{
    QList<std::shared_ptr<GMimeMessage>> found;
    const QDir dir(qEnvironmentVariable("BX_TEST_SMTP_MAILDIR") + QStringLiteral("/new"));
    for (const QString& name : dir.entryList(QDir::Files)) {
        QFile file(dir.filePath(name));
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        if (!bytes.contains("X-RcptTo: " + to.toUtf8() + '\n'))
            continue;
        found.append({parseMessage(bytes).release(), gmime::Unref()});
    }
    return found;
}

} // namespace bx::test
